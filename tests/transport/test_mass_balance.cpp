// Mass balance of the implicit transport on a generated building with ducts and sources on
// every floor: with theta = 1 the change of the species mass held by the air over a step is
// what the sources generated and the removal took, plus what the envelope let in, less what
// it let out, to round-off.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "building_gen.h"
#include "engine/simloop.h"
#include "flowmir/flowmir.h"
#include "network/airnet.h"
#include "transport/cse.h"
#include "transport/filter.h"
#include "testutil.h"

// Mass of species j in the air of every node whose concentration is solved.
static double airMass(const FlowmirState* fms, int j)
{
    double m = 0.0;
    for (const AirNode* n = fms->nodeList; n; n = n->next)
        if (n->flags & NF_MASSFRAC) m += n->M * n->Mf[j];
    return m;
}

// Generation less removal, and envelope inflow less outflow, in kg/s at the step's end state.
static double netRate(FlowmirState* fms, int j)
{
    double rate = 0.0;
    for (const CseInstance* c = fms->css[0]; c; c = c->next)
        if (c->element->species == j) rate += c->G - c->R * c->zoneNode->Mf[j];
    const AirNode* ambt = fms->ambt;
    for (const AirLink* l = fms->linkList; l; l = l->next) {
        if (l->nodeN != ambt && l->nodeM != ambt) continue;
        const float* p = filter_get_eff(fms, l);
        for (double q : l->Flow) {
            if (q > 0.0 && l->nodeN == ambt) rate += p[j] * q * l->srcN[j];
            if (q > 0.0 && l->nodeM == ambt) rate -= q * l->nodeN->Mf[j];
            if (q < 0.0 && l->nodeN == ambt) rate += q * l->nodeM->Mf[j];
            if (q < 0.0 && l->nodeM == ambt) rate -= p[j] * q * l->srcM[j];
        }
    }
    return rate;
}

TEST(MassBalance, ImplicitStepsConserveSpeciesMass)
{
    BuildingOptions opt;
    opt.floors = 3;
    opt.roomsPerFloor = 6;
    opt.ducts = true;
    opt.species = 2;
    std::string dir = scratchDir();
    ASSERT_TRUE(writeBuilding(dir + "/b.prj", opt));
    ChildResult r = runChild([&] {
        FlowmirState* fms = flowmirNewState();
        if (SetupSimulation(fms, (dir + "/b").c_str(), 1, "", nullptr) != 0) _exit(3);
        fms->advance = 1;
        double worst = 0.0, held0[2], totalIn[2] = {0, 0};
        for (int j = 0; j < 2; j++) held0[j] = airMass(fms, j);
        for (int step = 0; step < 36; step++) {
            double before[2];
            for (int j = 0; j < 2; j++) before[j] = airMass(fms, j);
            sim_loop_start(fms, 0);
            for (int j = 0; j < 2; j++) {
                double change = airMass(fms, j) - before[j];
                double booked = fms->dt * netRate(fms, j);
                totalIn[j] += booked;
                double scale = fabs(change) + fabs(booked) + 1e-30;
                worst = fmax(worst, fabs(change - booked) / scale);
            }
        }
        printf("worst %.3g moved %d %d\n", worst, fabs(totalIn[0]) > 1e-6 * held0[0],
               fabs(totalIn[1]) > 0.0);
        fflush(stdout);
        _exit(worst < 1e-9 ? 0 : 4);
    });
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("moved 1 1"), std::string::npos) << r.out;
}
