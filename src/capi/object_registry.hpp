// The registry of live C handles. korvex_create hands out an opaque token, never a pointer, and every
// call looks its token up here, so a handle used after korvex_destroy, destroyed twice, made up, or
// used on a thread other than the one that created it is refused instead of touching stray memory.
// Tokens are never handed out twice; the objects of a thread that ends go with it.
#pragma once

#include <memory>

#include "korvex/korvex.h"

namespace korvex::capi {

struct Object;  // one korvex_dll with its fault record (c_boundary.hpp)

// What a handle stands for on the calling thread: the object, or (object null) why it is refused.
struct Lookup {
    std::shared_ptr<Object> object;
    const char* refusal = nullptr;
};

// Registers a new object as owned by the calling thread and returns its handle.
korvex_object* register_object(std::shared_ptr<Object> object);
// Never throws: an unknown, null or foreign handle gives a refusal (a constant text).
Lookup look_up(const korvex_object* handle) noexcept;
// Unregisters the calling thread's object; returns the refusal, or null when it went.
const char* release_object(const korvex_object* handle) noexcept;

}  // namespace korvex::capi
