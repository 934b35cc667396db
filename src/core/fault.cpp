// Fault kinds' names and the out-of-line throw used by every checked operation.
#include "korvex/fault.hpp"

namespace korvex {

const char* fault_kind_name(FaultKind kind) {
    switch (kind) {
        case FaultKind::index: return "index";
        case FaultKind::overflow: return "overflow";
        case FaultKind::division: return "division";
        case FaultKind::invalid_float: return "float";
        case FaultKind::eof: return "eof";
        case FaultKind::type: return "type";
        case FaultKind::file: return "file";
        case FaultKind::device: return "device";
        case FaultKind::unavailable: return "unavailable";
    }
    return "unknown";
}

void raise_fault(FaultKind kind, const char* message) { throw Fault(kind, message); }
void raise_fault(FaultKind kind, const std::string& message) { throw Fault(kind, message); }

}  // namespace korvex
