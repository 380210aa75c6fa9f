// A counting allocator for a test program: the program's malloc family forwards to the C
// library's and counts calls while `countAllocations` is set (libraries and the C++ library
// allocate through it too). Include it in exactly one file of a test program. An
// address-sanitized build brings its own allocator and does not count:
// FLOWMIR_COUNTS_ALLOCATIONS is 0 there.
#ifndef FLOWMIR_TESTS_ALLOC_COUNT_H
#define FLOWMIR_TESTS_ALLOC_COUNT_H

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define FLOWMIR_COUNTS_ALLOCATIONS 0
#else
#define FLOWMIR_COUNTS_ALLOCATIONS 1
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

static volatile bool countAllocations = false;
static volatile long allocationCalls = 0;

extern "C" void* malloc(size_t n) noexcept
{
    if (countAllocations) allocationCalls = allocationCalls + 1;
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t count, size_t n) noexcept
{
    if (countAllocations) allocationCalls = allocationCalls + 1;
    return __libc_calloc(count, n);
}
extern "C" void* realloc(void* p, size_t n) noexcept
{
    if (countAllocations) allocationCalls = allocationCalls + 1;
    return __libc_realloc(p, n);
}
extern "C" void free(void* p) noexcept
{
    __libc_free(p);
}
#endif

#endif
