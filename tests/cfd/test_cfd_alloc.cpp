// The solver's iterations allocate nothing: a call that iterates ten times as long makes the
// same allocations (those of reading the case) as a short one.
#include <gtest/gtest.h>

#include "../../bench/cfd_case.h"
#include "alloc_count.h"
#include "cfd/cfd_solve.h"
#include "cfd_fixture.h"

#if FLOWMIR_COUNTS_ALLOCATIONS

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
            allocationCalls = 0;
            countAllocations = true;
            flow(k.s.fms, 0);
            countAllocations = false;
            counted[t] = allocationCalls;
            EXPECT_EQ(k.s->cfdRun->iter, c.itmax);
        }
        EXPECT_EQ(counted[0], counted[1]) << "multigrid " << mg;
        cfd_free(k.s.fms);
    }
}
#endif
