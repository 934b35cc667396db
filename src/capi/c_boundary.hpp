// The C boundary: the object behind a handle, and the guard every C function runs its body in. The
// guard turns whatever a body throws into an error code and records the fault's kind and message on
// the object and for the thread, so no exception ever crosses into C.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "capi/fault_guard.hpp"
#include "capi/object_registry.hpp"
#include "korvex/korvex.h"
#include "korvex/korvex_dll.hpp"

namespace korvex::capi {

// What a handle stands for (found through the registry, object_registry.hpp).
struct Object {
    korvex_dll dll;
    korvex_fault_kind fault_kind = KORVEX_FAULT_NONE;
    std::string fault_message;
    // Scratch for the arrays a member takes as vectors, kept for their capacity so a host that
    // marks in a loop does not allocate on every call.
    std::vector<double> md;
    std::vector<uint8_t> bytes_a, bytes_b;
    std::vector<std::string> strings_a, strings_b;
};

// Records the outcome of a call on the handle (if any) and for the thread; returns the error code.
int32_t record_fault(Object* object, korvex_fault_kind kind, const char* message) noexcept;
void record_success(Object* object) noexcept;

// Throws ArgumentError when [data, data + count * size) cannot be an array in memory.
void require_array(const void* data, std::size_t count, std::size_t size, const char* what);
// The array [data, data + count), or an ArgumentError when data is null with a non-zero count or
// the count is more than memory holds.
template <class T>
const T* array_or_empty(const T* data, std::size_t count, const char* what) {
    if (count != 0) require_array(data, count, sizeof(T), what);
    return data;
}
// Copies a C string into `out` (UTF-8, as it is); a null pointer is an ArgumentError.
void copy_string(const char* text, std::string& out, const char* what);
// Writes text into buffer, truncated to size - 1 bytes and NUL-terminated when size > 0; *length
// gets the full length.
void give_string(const std::string& text, char* buffer, std::size_t size, std::size_t* length);

// Runs body() for `object` (which may be null for functions without a handle) and returns its result,
// or the error code of what it threw.
template <class Body>
int32_t guarded(Object* object, Body&& body) noexcept {
    return guard_with(
        [object](korvex_fault_kind kind, const char* message) noexcept {
            if (kind != KORVEX_FAULT_NONE) return record_fault(object, kind, message);
            record_success(object);
            return int32_t{0};
        },
        body);
}

// guarded() for a member: body runs with the handle's korvex_dll (or, if it takes one, its whole
// Object); a handle the registry refuses (null, unknown, another thread's) is an argument error.
template <class Body>
int32_t member(const korvex_object* handle, Body&& body) noexcept {
    const Lookup found = look_up(handle);
    if (!found.object) return record_fault(nullptr, KORVEX_FAULT_ARGUMENT, found.refusal);
    return guarded(found.object.get(), [&]() -> int32_t {
        if constexpr (std::is_invocable_v<Body&, korvex_dll&>)
            return body(found.object->dll);
        else
            return body(*found.object);
    });
}

}  // namespace korvex::capi
