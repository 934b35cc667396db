// The handle registry: live objects by token, each with the serial of the thread that created it,
// behind one mutex (calls cost microseconds against the milliseconds a member marks). A token is a
// bijective scramble of a 64-bit creation serial, so tokens never repeat and a made-up value almost
// never names a live object. Threads get serials of their own since std::thread::id values are
// reused after a thread ends.
#include "capi/object_registry.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "capi/c_boundary.hpp"

namespace korvex::capi {

namespace {

constexpr const char* kNullHandle = "the object handle is null";
constexpr const char* kUnknownHandle =
    "unknown object handle: destroyed already, its thread ended, or not made by korvex_create";
constexpr const char* kForeignHandle =
    "the object handle belongs to another thread: use an object only on the thread that created it";

std::atomic<std::uint64_t> g_thread_serials{0};
std::uint64_t this_thread_serial() {
    thread_local const std::uint64_t serial = ++g_thread_serials;
    return serial;
}

// splitmix64's finalizer: a bijection on 64-bit values that spreads consecutive serials apart.
std::uint64_t scramble(std::uint64_t x) {
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

class Registry {
public:
    korvex_object* add(std::shared_ptr<Object> object, std::uint64_t owner) {
        std::lock_guard lock(mutex_);
        std::uintptr_t token = 0;
        do token = static_cast<std::uintptr_t>(scramble(++serials_));
        while (token == 0 || entries_.count(token) != 0);  // only where uintptr_t is narrower than 64 bits
        entries_.emplace(token, Entry{std::move(object), owner});
        return reinterpret_cast<korvex_object*>(token);
    }

    Lookup find(const korvex_object* handle, std::uint64_t caller) {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == entries_.end()) return {nullptr, kUnknownHandle};
        if (it->second.owner != caller) return {nullptr, kForeignHandle};
        return {it->second.object, nullptr};
    }

    // Takes the entry out (the object goes when the caller drops it, outside the lock).
    Lookup remove(const korvex_object* handle, std::uint64_t caller) {
        std::lock_guard lock(mutex_);
        const auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == entries_.end()) return {nullptr, kUnknownHandle};
        if (it->second.owner != caller) return {nullptr, kForeignHandle};
        Lookup gone{std::move(it->second.object), nullptr};
        entries_.erase(it);
        return gone;
    }

    std::vector<std::shared_ptr<Object>> remove_all_of(std::uint64_t owner) {
        std::vector<std::shared_ptr<Object>> gone;
        std::lock_guard lock(mutex_);
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->second.owner == owner) {
                gone.push_back(std::move(it->second.object));
                it = entries_.erase(it);
            } else {
                ++it;
            }
        }
        return gone;
    }

private:
    struct Entry {
        std::shared_ptr<Object> object;
        std::uint64_t owner;
    };
    std::mutex mutex_;
    std::uint64_t serials_ = 0;
    std::unordered_map<std::uintptr_t, Entry> entries_;
};

// Never destroyed: threads may still end (and release their objects) while the program exits.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

// Releases a thread's remaining objects when it ends; nothing else could ever use them.
struct ThreadObjects {
    bool any = false;
    ~ThreadObjects() {
        if (any) registry().remove_all_of(this_thread_serial());
    }
};
thread_local ThreadObjects t_objects;

}  // namespace

korvex_object* register_object(std::shared_ptr<Object> object) {
    korvex_object* handle = registry().add(std::move(object), this_thread_serial());
    t_objects.any = true;
    return handle;
}

Lookup look_up(const korvex_object* handle) noexcept {
    if (!handle) return {nullptr, kNullHandle};
    return registry().find(handle, this_thread_serial());
}

const char* release_object(const korvex_object* handle) noexcept {
    if (!handle) return kNullHandle;
    return registry().remove(handle, this_thread_serial()).refusal;
}

}  // namespace korvex::capi
