// Fault records of the C boundary: per handle (the last call on it) and per thread (the last call of
// any C function), plus the small argument helpers the C functions share.
#include "capi/c_boundary.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "capi/c_messages.hpp"

namespace korvex::capi {

namespace {
struct LastFault {
    korvex_fault_kind kind = KORVEX_FAULT_NONE;
    std::string message;
};
thread_local LastFault t_last;

void store(korvex_fault_kind& kind_out, std::string& message_out, korvex_fault_kind kind, const char* message) noexcept {
    kind_out = kind;
    try {
        message_out = message;
    } catch (...) {
        message_out.clear();  // no memory for the text: the kind still tells what happened
    }
}
}  // namespace

int32_t record_fault(Object* object, korvex_fault_kind kind, const char* message) noexcept {
    store(t_last.kind, t_last.message, kind, message);
    if (object) store(object->fault_kind, object->fault_message, kind, message);
    try {
        log_line(KORVEX_LOG_LEVEL_ERROR, std::string(korvex_fault_kind_name(kind)) + " fault: " + message);
    } catch (...) {
    }
    return KORVEX_ERROR_BASE - static_cast<int32_t>(kind);
}

void record_success(Object* object) noexcept {
    t_last.kind = KORVEX_FAULT_NONE;
    t_last.message.clear();
    if (object) {
        object->fault_kind = KORVEX_FAULT_NONE;
        object->fault_message.clear();
    }
}

void require_array(const void* data, std::size_t count, std::size_t size, const char* what) {
    require(data, what);
    // No object is larger than PTRDIFF_MAX bytes, and none wraps around the end of the address space.
    const std::uintptr_t room = std::min<std::uintptr_t>(PTRDIFF_MAX, UINTPTR_MAX - reinterpret_cast<std::uintptr_t>(data));
    if (count > room / size)
        throw ArgumentError(std::string(what) + ": a count of " + std::to_string(count) +
                            " elements is more than memory holds");
}

void copy_string(const char* text, std::string& out, const char* what) {
    require(text, what);
    out.assign(text);
}

void give_string(const std::string& text, char* buffer, std::size_t size, std::size_t* length) {
    if (size != 0) {
        require(buffer, "the buffer");
        const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(buffer, text.data(), n);
        buffer[n] = '\0';
    }
    if (length) *length = text.size();
}

}  // namespace korvex::capi

using korvex::capi::t_last;

extern "C" {

const char* korvex_fault_kind_name(korvex_fault_kind kind) {
    switch (kind) {
        case KORVEX_FAULT_NONE: return "none";
        case KORVEX_FAULT_INDEX: return korvex::fault_kind_name(korvex::FaultKind::index);
        case KORVEX_FAULT_OVERFLOW: return korvex::fault_kind_name(korvex::FaultKind::overflow);
        case KORVEX_FAULT_DIVISION: return korvex::fault_kind_name(korvex::FaultKind::division);
        case KORVEX_FAULT_FLOAT: return korvex::fault_kind_name(korvex::FaultKind::invalid_float);
        case KORVEX_FAULT_EOF: return korvex::fault_kind_name(korvex::FaultKind::eof);
        case KORVEX_FAULT_TYPE: return korvex::fault_kind_name(korvex::FaultKind::type);
        case KORVEX_FAULT_FILE: return korvex::fault_kind_name(korvex::FaultKind::file);
        case KORVEX_FAULT_DEVICE: return korvex::fault_kind_name(korvex::FaultKind::device);
        case KORVEX_FAULT_UNAVAILABLE: return korvex::fault_kind_name(korvex::FaultKind::unavailable);
        case KORVEX_FAULT_ARGUMENT: return "argument";
        case KORVEX_FAULT_MEMORY: return "memory";
        case KORVEX_FAULT_INTERNAL: return "internal";
    }
    return "unknown";
}

korvex_fault_kind korvex_fault_kind_of(const korvex_object* object) {
    const korvex::capi::Lookup found = korvex::capi::look_up(object);
    return found.object ? found.object->fault_kind : KORVEX_FAULT_ARGUMENT;
}

// The text lives in the object, which the registry keeps until the owning thread destroys it.
const char* korvex_fault_message(const korvex_object* object) {
    const korvex::capi::Lookup found = korvex::capi::look_up(object);
    return found.object ? found.object->fault_message.c_str() : found.refusal;
}

korvex_fault_kind korvex_last_fault_kind(void) { return t_last.kind; }
const char* korvex_last_fault_message(void) { return t_last.message.c_str(); }

int32_t korvex_set_last_fault(korvex_fault_kind kind, const char* message) {
    if (kind == KORVEX_FAULT_NONE) {
        korvex::capi::record_success(nullptr);
        return 0;
    }
    return korvex::capi::record_fault(nullptr, kind, message ? message : "");
}

}  // extern "C"
