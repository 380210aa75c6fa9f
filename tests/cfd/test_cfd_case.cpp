// Reading a CFD case: the grid built from the cell widths, the values kept, and the arrays
// released with the record.
#include <gtest/gtest.h>

#include "cfd_fixture.h"
#include "results/resfile.h"
#include "support/heap.h"

static uint64_t netBytes(FlowmirState* fms)
{
    return fms->bytesAllocated - fms->bytesFreed;
}

TEST(CfdCase, GridFromWidths)
{
    CfdCase c(cfdFixture("cfd_box.CFD"), 0);
    uint64_t before = netBytes(c.s.fms);
    CfdRun* r = c.read();
    ASSERT_EQ(r->ni, 3);
    // Widths 1, 2, 3 over 6 m.
    const double xf[] = {0, 0, 1, 3, 6, 6}, x[] = {0, 0, 0.5, 2, 4.5, 6}, dxc[] = {0, 0.5, 1.5, 2.5, 1.5};
    for (int i = 1; i <= 5; i++) {
        EXPECT_DOUBLE_EQ(r->XF[i], xf[i]) << i;
        EXPECT_DOUBLE_EQ(r->X[i], x[i]) << i;
    }
    for (int i = 1; i <= 4; i++)
        EXPECT_DOUBLE_EQ(r->DELXC[i], dxc[i]) << i;
    // y has one cell: not resolved, whatever the file says (width 5, length 1).
    EXPECT_DOUBLE_EQ(r->DELY[2], 1.0);
    EXPECT_DOUBLE_EQ(r->Ly, 1.0);
    EXPECT_DOUBLE_EQ(r->DELYC[1], 1.0);
    EXPECT_DOUBLE_EQ(r->DELYC[2], 1.0);
    EXPECT_DOUBLE_EQ(r->ZF[2], 0.5);
    EXPECT_DOUBLE_EQ(r->ZF[4], 1.0);
    EXPECT_DOUBLE_EQ(r->AREX[2][3], 0.5);
    EXPECT_DOUBLE_EQ(r->AREZ[4][2], 3.0);
    EXPECT_DOUBLE_EQ(r->VOL[3][2][2], 1.0);
    EXPECT_DOUBLE_EQ(r->VOL[1][2][2], 0.0);
    // Cell types: boundary layers 1, cells 0.
    EXPECT_EQ(r->ICELL[1][2][2], 1);
    EXPECT_EQ(r->ICELL[2][2][2], 0);
    EXPECT_EQ(r->ICELL[4][2][4], 1);
    // Openings: faces, areas, and the lower of the two boundary pressures.
    EXPECT_EQ(r->in[1].face, CFD_WEST);
    EXPECT_DOUBLE_EQ(r->in[1].area, 0.5);
    EXPECT_EQ(r->out[1].face, CFD_EAST);
    EXPECT_EQ(r->out[2].type, CFD_PRESSURE);
    EXPECT_TRUE(r->hasPressure);
    EXPECT_DOUBLE_EQ(r->pbMin, -1.0);
    EXPECT_EQ(r->OBJECTNM[1][2][2], 1);
    EXPECT_EQ(r->OBJECTNM[5][2][3], 2);
    EXPECT_EQ(r->OBJECTNM[5][2][2], 3);
    // Turbulent flow, energy off; temperatures in K by adding 273.
    EXPECT_FALSE(r->laminar);
    EXPECT_EQ(r->turbModel, 2);
    EXPECT_FALSE(r->energy);
    EXPECT_DOUBLE_EQ(r->T0, 293.0);
    EXPECT_DOUBLE_EQ(r->Tref, 298.0);
    EXPECT_DOUBLE_EQ(r->beta, 1.0 / 298.0);
    EXPECT_DOUBLE_EQ(r->in[1].T, 291.0);
    EXPECT_DOUBLE_EQ(r->g, 9.8055);
    EXPECT_EQ(r->ftsMode, 0);
    // A print interval of 0 would take a modulo by 0.
    EXPECT_EQ(r->printInterval, 1);
    cfd_free(c.s.fms);
    resfile_abandon_all(c.s.fms);
    EXPECT_EQ(c.s->cfdRun, nullptr);
    EXPECT_EQ(netBytes(c.s.fms), before);
}

TEST(CfdCase, RoomValues)
{
    CfdCase c(cfdFixture("cfd_room.CFD"));
    c.s->time_step = 600;
    c.s->listStep = 3600;
    CfdRun* r = c.read();
    EXPECT_STREQ(r->title, "Two-dimensional office room, isnt it");
    EXPECT_EQ(r->ni, 128);
    EXPECT_EQ(r->nj, 1);
    EXPECT_EQ(r->nk, 128);
    EXPECT_EQ(r->nc, 1);
    EXPECT_DOUBLE_EQ(r->dt, 600.0);
    EXPECT_EQ(r->outInterval, 6);
    EXPECT_DOUBLE_EQ(r->ctmCnvg, 0.001);
    EXPECT_EQ(r->ctmItmax, 500);
    EXPECT_DOUBLE_EQ(r->tol, 0.001);
    EXPECT_EQ(r->itmax, 2000);
    EXPECT_TRUE(r->laminar);
    EXPECT_TRUE(r->energy);
    // Inlet flows are kept positive, outlet flows negative.
    EXPECT_STREQ(r->in[1].name, "Supply");
    EXPECT_DOUBLE_EQ(r->in[1].mass, 0.2);
    EXPECT_DOUBLE_EQ(r->in[1].u, 0.5);
    EXPECT_DOUBLE_EQ(r->in[1].c[1], 0.001);
    EXPECT_EQ(r->in[1].lb.lo[2], 121);
    EXPECT_EQ(r->in[1].lb.hi[2], 125);
    EXPECT_DOUBLE_EQ(r->in[1].area, 0.125);
    EXPECT_DOUBLE_EQ(r->out[1].mass, -0.2);
    EXPECT_EQ(r->out[2].face, CFD_TOP);
    EXPECT_NEAR(r->out[2].area, 0.45, 1e-12);
    EXPECT_DOUBLE_EQ(r->out[2].P, -1.0);
    EXPECT_DOUBLE_EQ(r->out[2].T, 295.0);
    // The block covers its cells and carries the first object number after the openings.
    EXPECT_STREQ(r->bl[1].name, "REFBLOCK desk");
    EXPECT_DOUBLE_EQ(r->bl[1].hsou, 100.0);
    EXPECT_EQ(r->ICELL[41][2][2], 1);
    EXPECT_EQ(r->OBJECTNM[61][2][21], 4);
    EXPECT_EQ(r->ICELL[62][2][2], 0);
    EXPECT_DOUBLE_EQ(r->bl[1].csoucut[1], 1e10);
    // A wall temperature of 1e10 stands for the user-defined file.
    EXPECT_TRUE(r->tw[1].ucd);
    EXPECT_DOUBLE_EQ(r->tw[1].tnaw, 0.0);
    EXPECT_EQ(r->tw[1].face, CFD_BOTTOM);
    EXPECT_DOUBLE_EQ(r->qw[1].qnaw, 10.0);
    EXPECT_DOUBLE_EQ(r->qw[1].cnaw[1], 1e-6);
    EXPECT_DOUBLE_EQ(r->qw[1].cnawcut[1], 0.01);
    EXPECT_NEAR(r->qw[1].awq, 6.4, 1e-9);
    EXPECT_EQ(r->scheme[4], 2);
    EXPECT_DOUBLE_EQ(r->bound[0], -10.0);
    EXPECT_DOUBLE_EQ(r->bound[7], 373.0);
    // Two places of each set are fixed by the reader.
    EXPECT_DOUBLE_EQ(r->relax[5], 1.0);
    EXPECT_DOUBLE_EQ(r->relax[7], 0.9);
    EXPECT_DOUBLE_EQ(r->fts[4], 1e30);
    EXPECT_DOUBLE_EQ(r->fts[6], 10.0);
    EXPECT_EQ(r->ftsMode, 2);
    EXPECT_EQ(r->ftsSwitch, 100);
    EXPECT_DOUBLE_EQ(r->fts2[3], 2.0);
    EXPECT_DOUBLE_EQ(r->fts2[5], 1e30);
    EXPECT_EQ(r->printInterval, 10);
    EXPECT_EQ(r->mon[0], 64);
    // Report ranges become array indices.
    EXPECT_EQ(r->rep[0][0], 2);
    EXPECT_EQ(r->rep[0][1], 129);
    EXPECT_EQ(r->rep[0][2], 64);
    // Each direction keeps its own slice count.
    EXPECT_EQ(r->nsl[0], 3);
    EXPECT_EQ(r->nsl[1], 1);
    EXPECT_EQ(r->nsl[2], 2);
    EXPECT_EQ(r->sl[0][3], 97);
    EXPECT_EQ(r->sl[2][2], 101);
    EXPECT_FALSE(r->restart);
    EXPECT_TRUE(r->ewc);
    EXPECT_DOUBLE_EQ(r->ewcRef, 10.0);
    EXPECT_DOUBLE_EQ(r->rho, 1.2);
    EXPECT_DOUBLE_EQ(r->nu, 1.5e-5);
    EXPECT_DOUBLE_EQ(r->cp, 1005.0);
    EXPECT_DOUBLE_EQ(r->Pr, 0.71);

    // A later reading keeps the arrays and the first false time steps.
    double*** U = r->U;
    r->fts[0] = 7.0;
    input(c.s.fms, 0);
    EXPECT_EQ(r->U, U);
    EXPECT_DOUBLE_EQ(r->fts[0], 7.0);
    EXPECT_EQ(r->calls, 2);
    cfd_free(c.s.fms);
    resfile_abandon_all(c.s.fms);
    EXPECT_EQ(netBytes(c.s.fms), 0u);
}

TEST(CfdCase, StepsAndCoupledValues)
{
    struct Steps {
        int step, list, interval;
    };
    // A steady run has no time step; a listing step below the time step lists every step.
    for (Steps k : {Steps{0, 3600, 1}, Steps{600, 300, 1}, Steps{300, 900, 3}}) {
        CfdCase c(cfdFixture("cfd_box.CFD"), 0);
        c.s->time_step = k.step;
        c.s->listStep = k.list;
        EXPECT_EQ(c.read()->outInterval, k.interval) << k.step << " " << k.list;
        cfd_free(c.s.fms);
        resfile_abandon_all(c.s.fms);
    }

    // Coupled, the zone's temperature and density replace the case's; the openings are read
    // all the same, for the coupling to find by name.
    CfdCase c(cfdFixture("cfd_box.CFD"), 0);
    CfdRun* r = cfd_run(c.s.fms);
    r->zoneT = 300.0;
    r->zoneRho = 1.15;
    c.read(1);
    EXPECT_DOUBLE_EQ(r->T0, 300.0);
    EXPECT_DOUBLE_EQ(r->Tref, 300.0);
    EXPECT_DOUBLE_EQ(r->beta, 1.0 / 300.0);
    EXPECT_DOUBLE_EQ(r->rho, 1.15);
    EXPECT_EQ(r->nout, 2);
    EXPECT_EQ(cfd_opening(c.s.fms, "Lower"), &r->out[2]);
    EXPECT_EQ(cfd_opening(c.s.fms, "Vent")->lb.lo[0], 2);
    ChildResult k = runChild([&] { cfd_opening(c.s.fms, "Door"); });
    EXPECT_EQ(k.status, 2);
    EXPECT_EQ(k.err, "FATAL CFD case has no opening named Door\n");
    cfd_free(c.s.fms);
    resfile_abandon_all(c.s.fms);
}
