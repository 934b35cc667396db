// The guard a C function runs its body in, on its own: whatever the body throws becomes a fault kind
// and message handed to a recorder, which gives the error code back, so no exception crosses into C.
// Header-only, so a library layered on the C interface (the picture library) guards its functions
// the same way and records through korvex_set_last_fault.
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include "korvex/fault.hpp"
#include "korvex/korvex.h"

namespace korvex::capi {

// A C caller's mistake (null pointer, unknown name): reported as KORVEX_FAULT_ARGUMENT.
class ArgumentError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Throws ArgumentError naming `what` when `pointer` is null.
inline void require(const void* pointer, const char* what) {
    if (!pointer) throw ArgumentError(std::string(what) + " is null");
}

inline korvex_fault_kind fault_kind_code(FaultKind kind) {
    switch (kind) {
        case FaultKind::index: return KORVEX_FAULT_INDEX;
        case FaultKind::overflow: return KORVEX_FAULT_OVERFLOW;
        case FaultKind::division: return KORVEX_FAULT_DIVISION;
        case FaultKind::invalid_float: return KORVEX_FAULT_FLOAT;
        case FaultKind::eof: return KORVEX_FAULT_EOF;
        case FaultKind::type: return KORVEX_FAULT_TYPE;
        case FaultKind::file: return KORVEX_FAULT_FILE;
        case FaultKind::device: return KORVEX_FAULT_DEVICE;
        case FaultKind::unavailable: return KORVEX_FAULT_UNAVAILABLE;
    }
    return KORVEX_FAULT_INTERNAL;
}

// Runs body() and returns its result after record(KORVEX_FAULT_NONE, ""), or what record(kind,
// message) returns for what body threw. `record` must not throw.
template <class Body, class Record>
int32_t guard_with(Record&& record, Body&& body) noexcept {
    try {
        const int32_t result = body();
        record(KORVEX_FAULT_NONE, "");
        return result;
    } catch (const Fault& f) {
        return record(fault_kind_code(f.kind()), f.what());
    } catch (const ArgumentError& e) {
        return record(KORVEX_FAULT_ARGUMENT, e.what());
    } catch (const std::bad_alloc&) {
        return record(KORVEX_FAULT_MEMORY, "out of memory");
    } catch (const std::exception& e) {
        return record(KORVEX_FAULT_INTERNAL, e.what());
    } catch (...) {
        return record(KORVEX_FAULT_INTERNAL, "unknown failure inside the library");
    }
}

}  // namespace korvex::capi
