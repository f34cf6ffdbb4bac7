// Global allocation through malloc, so that a failed allocation can name its byte count in
// the fatal stop. install_out_of_memory_handler lives here so that calling it links this file.
#include "text/fatal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdlib.h>

namespace quillmoor {

namespace {

thread_local std::size_t failed_request = 0;

void out_of_memory() {
    char detail[64];
    std::snprintf(detail, sizeof detail, "分配 %zu 字节内存失败!", failed_request);
    fatal_stop(detail);
}

// Asks try_allocate until it gives memory; between tries the new-handler runs (it stops the
// program once installed), and without one the failure is std::bad_alloc.
template <class TryAllocate> void* allocate_or_stop(std::size_t size, TryAllocate try_allocate) {
    if (size == 0) {
        size = 1;
    }
    for (;;) {
        if (void* p = try_allocate(size)) {
            return p;
        }
        std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            throw std::bad_alloc();
        }
        failed_request = size;
        handler();
    }
}

void* allocate(std::size_t size) {
    return allocate_or_stop(size, [](std::size_t n) { return std::malloc(n); });
}

void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
    const std::size_t align = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
    return allocate_or_stop(size, [align](std::size_t n) -> void* {
        void* p = nullptr;
        return posix_memalign(&p, align, n) == 0 ? p : nullptr;
    });
}

} // namespace

void install_out_of_memory_handler() {
    std::set_new_handler(out_of_memory);
}

} // namespace quillmoor

void* operator new(std::size_t size) {
    return quillmoor::allocate(size);
}
void* operator new[](std::size_t size) {
    return quillmoor::allocate(size);
}
void* operator new(std::size_t size, std::align_val_t al) {
    return quillmoor::allocate_aligned(size, al);
}
void* operator new[](std::size_t size, std::align_val_t al) {
    return quillmoor::allocate_aligned(size, al);
}

// The no-throw forms keep their promise: they give a null pointer, they do not stop.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
    void* p = nullptr;
    std::size_t align = std::max(static_cast<std::size_t>(al), sizeof(void*));
    return posix_memalign(&p, align, size == 0 ? 1 : size) == 0 ? p : nullptr;
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t& nt) noexcept {
    return operator new(size, al, nt);
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
