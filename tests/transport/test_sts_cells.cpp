// Cells of the short-time-step method: a duct segment carrying a front with fixed cells and
// with cells moving with the air, in both directions, the switch between the two schemes, and
// a closed one-dimensional zone whose cells only exchange by diffusion.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "network/airnet.h"
#include "support/heap.h"
#include "testutil.h"
#include "transport/species.h"
#include "transport/sts.h"

namespace
{

// One segment of length L and cross-section A between two nodes of density 1.2 kg/m3.
struct OneDuct {
    TestState ts;
    StsRun run{};
    AirNode N{}, M{};
    AirLink link{};
    DuctSeg seg{};
    StsDuct d{};
    Species sp{};
    std::vector<double> work[5];

    OneDuct(double L, double A, double dxDuct, double C0)
    {
        ts->msBlock = alc_eci(ts.fms, 32000, "ms-block");
        ts->nctm = 1;
        ts->ctm = &sp;
        sp.Dm = 2e-5f;
        ts->dxDuct = (float)dxDuct;
        ts->sts = &run;
        for (AirNode* n : {&N, &M}) {
            n->rho = 1.2;
            n->mu = 1.81625e-5f;
        }
        seg.len = (float)L;
        seg.area = (float)A;
        link.dd = &seg;
        link.nodeN = &N;
        link.nodeM = &M;
        d.link = &link;
        sts_duct_cells_init(ts.fms, &d, &C0);
        double** arrays[5] = {&run.ta, &run.tb, &run.tc, &run.td, &run.tx};
        for (int k = 0; k < 5; k++) {
            work[k].assign(d.cells->n + 4, 0.0);
            *arrays[k] = work[k].data();
        }
    }
    ~OneDuct() { fre_ec(ts.fms, ts->msBlock, "ms-block"); }
    double step(double F, double dt, double up)
    {
        ts->dt = (float)dt;
        d.F = F;
        sts_duct_step(ts.fms, &d, &up);
        return d.cells->outMf[0];
    }
};

struct FrontCase {
    const char* name;
    double F;    // kg/s
    double dt;   // s
    bool moving; // the cells move with the air
};

} // namespace

// A step change at the inlet reaches the outlet after the duct's air mass over its flow,
// L A rho / F = 10 s, within one cell's passage; the air leaving in a step stands for the
// middle of the step.
TEST(StsDuctCells, FrontArrivesAfterTheDuctsAirOverItsFlow)
{
    const double L = 10.0, A = 0.1, dx = 0.5;
    const FrontCase cases[] = {
        {"fixed cells towards M", 0.12, 0.25, false},
        {"fixed cells towards N", -0.12, 0.25, false},
        {"moving cells towards M", 0.12, 2.0, true},
        {"moving cells towards N", -0.12, 2.0, true},
    };
    for (const FrontCase& c : cases) {
        SCOPED_TRACE(c.name);
        OneDuct duct(L, A, dx, 0.0);
        ASSERT_EQ(duct.d.cells->n, 20);
        double arrival = -1.0, prev = 0.0;
        for (int k = 1; k <= 200 && arrival < 0.0; k++) {
            double out = duct.step(c.F, c.dt, 1.0);
            ASSERT_GE(out, -1e-12);
            ASSERT_LE(out, 1.0 + 1e-12);
            if (out >= 0.5) arrival = (k - 1 + (0.5 - prev) / (out - prev)) * c.dt - c.dt / 2;
            prev = out;
        }
        double expected = L * A * 1.2 / std::fabs(c.F);
        double cell = c.moving ? c.dt : dx * A * 1.2 / std::fabs(c.F);
        EXPECT_NEAR(arrival, expected, cell);
        if (c.moving) {
            EXPECT_GT(duct.ts->nDuctLag, 0);
            EXPECT_EQ(duct.ts->nDuctEul, 0);
        } else {
            EXPECT_EQ(duct.ts->nDuctLag, 0);
        }
        // Long after the front, the duct holds the inflow everywhere.
        for (int k = 0; k < 400; k++)
            duct.step(c.F, c.dt, 1.0);
        EXPECT_NEAR(duct.step(c.F, c.dt, 1.0), 1.0, 1e-9);
    }
}

// Air entering at the value the duct holds leaves it unchanged, whatever the scheme.
TEST(StsDuctCells, UniformInflowLeavesTheDuctUnchanged)
{
    const double dts[] = {0.25, 2.0};
    for (double dt : dts)
        for (double F : {0.12, -0.12}) {
            OneDuct duct(10.0, 0.1, 0.5, 3e-4);
            for (int k = 0; k < 50; k++)
                EXPECT_NEAR(duct.step(F, dt, 3e-4), 3e-4, 1e-15);
            for (LagCell* c = duct.d.cells->head;; c = c->next) {
                EXPECT_NEAR(c->Mf[0], 3e-4, 1e-15);
                if (c == duct.d.cells->tail) break;
            }
        }
}

// Above one cell per step the cells start moving; below half a cell per step they return to
// the grid, keeping the profile they carried.
TEST(StsDuctCells, SchemeFollowsTheCourantLength)
{
    OneDuct duct(10.0, 0.1, 0.5, 0.0);
    for (int k = 0; k < 3; k++)
        duct.step(0.12, 1.0, 1.0); // 1 m per step: two cells
    EXPECT_EQ(duct.ts->nDuctLag, 3);
    EXPECT_EQ(duct.d.cells->lagDir, 1);
    duct.step(0.012, 1.0, 1.0); // 0.1 m per step
    EXPECT_EQ(duct.d.cells->lagDir, 0);
    EXPECT_EQ(duct.ts->nDuctEul, 1);
    // the grid again: head, 20 cells, tail at their centres
    int k = 0;
    for (LagCell* c = duct.d.cells->head;; c = c->next, k++) {
        EXPECT_NEAR(c->x, (k - 0.5) * 0.5, 1e-12);
        if (c == duct.d.cells->tail) break;
    }
    EXPECT_EQ(k, 21);
    // the front had travelled 3 m: the first cells hold the inflow, the far ones none
    LagCell* c = duct.d.cells->head->next;
    EXPECT_NEAR(c->Mf[0], 1.0, 0.05);
    EXPECT_NEAR(duct.d.cells->tail->prev->Mf[0], 0.0, 0.05);
}

// A cell length far below the segment's gives a thousand cells, not millions.
TEST(StsDuctCells, CellCountIsCapped)
{
    OneDuct duct(10.0, 0.1, 1e-4, 0.0);
    EXPECT_EQ(duct.d.cells->n, 1000);
    EXPECT_NEAR(duct.d.cells->dx, 0.01, 1e-12);
    EXPECT_NEAR(duct.step(0.12, 0.005, 1.0), 0.0, 1e-12);
}
