// Pages for the big tables: anonymous private mappings, zero until written and backed by memory
// only where written.
#include <sys/mman.h>

#include <new>

#include "state/table.hpp"

namespace korvex {

void* zero_pages_allocate(std::size_t bytes) {
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return p;
}

void zero_pages_release(void* pages, std::size_t bytes) noexcept { ::munmap(pages, bytes); }

}  // namespace korvex
