// The solver's iterations allocate nothing: a call that iterates ten times as long makes the
// same allocations (those of reading the case) as a short one.
#include <gtest/gtest.h>

#include "../../bench/cfd_case.h"
#include "cfd/cfd_solve.h"
#include "cfd_fixture.h"

// The test program's malloc family forwards to the C library's and counts calls while
// `counting` is set; an address-sanitized build brings its own allocator and is not counted.
#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void __libc_free(void*);

static volatile bool counting = false;
static volatile long calls = 0;

extern "C" void* malloc(size_t n) noexcept
{
    if (counting) calls = calls + 1;
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t count, size_t n) noexcept
{
    if (counting) calls = calls + 1;
    return __libc_calloc(count, n);
}
extern "C" void* realloc(void* p, size_t n) noexcept
{
    if (counting) calls = calls + 1;
    return __libc_realloc(p, n);
}
extern "C" void free(void* p) noexcept
{
    __libc_free(p);
}

TEST(CfdSolverMemory, IterationsAllocateNothing)
{
    for (int mg = 0; mg < 2; mg++) {
        CfdCaseSpec c;
        c.energy = 1;
        c.laminar = false;
        c.n[0] = 10;
        c.n[1] = 8;
        c.tol = 1e-30;
        c.itmax = 2;
        c.inlets.push_back(cfdOpening("Supply", 1, 1, 6, 8, 1, 1, "0,1,0,0,0,0.01,18"));
        c.outlets.push_back(cfdOpening("Exhaust", 10, 10, 1, 2, 1, 1, "0,2,0,1,0.5,20"));
        c.twalls.push_back(cfdWall(1, 10, 8, 8, 1, 1, "25,0.1,0,0"));
        CfdCase k(cfdCaseText(c), 1);
        k.s->cfdMultigrid = mg;
        cfd_run(k.s.fms);
        cfd_set_base(k.s.fms, "Office");
        flow(k.s.fms, 0); // allocates the fields and opens the files
        long counted[2];
        for (int t = 0; t < 2; t++) {
            c.itmax = t == 0 ? 5 : 50;
            writeFile(k.path(".CFD"), cfdCaseText(c));
            calls = 0;
            counting = true;
            flow(k.s.fms, 0);
            counting = false;
            counted[t] = calls;
            EXPECT_EQ(k.s->cfdRun->iter, c.itmax);
        }
        EXPECT_EQ(counted[0], counted[1]) << "multigrid " << mg;
        cfd_free(k.s.fms);
    }
}
#endif
