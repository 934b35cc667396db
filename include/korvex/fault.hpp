// korvex::Fault: the one exception type that ends a public member. A host sees it as a failed call;
// the kind tells what went wrong (index, overflow, division, ...), the message names the operation.
#pragma once

#include <stdexcept>
#include <string>

#include "korvex/export.h"

namespace korvex {

enum class FaultKind {
    index,        // an index outside its table
    overflow,     // a value that does not fit its target type
    division,     // division by zero (also: reading the clock before initialization)
    invalid_float,// NaN or infinity that would reach an integer or a device
    eof,          // input ended before a value was read
    type,         // a value of the wrong type in a file
    file,         // a file could not be opened or read
    device,       // a driver or serial control refused an operation
    unavailable,  // the member exists but this build does not carry its machine code yet
};

// The short word the host-script trace prints for a kind ("index", "overflow", ...).
KORVEX_API const char* fault_kind_name(FaultKind kind);

class KORVEX_API Fault : public std::runtime_error {
public:
    Fault(FaultKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    FaultKind kind() const { return kind_; }

private:
    FaultKind kind_;
};

// Throws a Fault; kept out of line so hot paths carry only a call.
[[noreturn]] KORVEX_API void raise_fault(FaultKind kind, const char* message);
[[noreturn]] KORVEX_API void raise_fault(FaultKind kind, const std::string& message);

}  // namespace korvex
