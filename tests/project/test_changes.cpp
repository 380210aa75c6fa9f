// Named changes to a project as read: each kind reaches the component it names, and a change
// naming nothing, a field the thing lacks or a value that does not read is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "airflow/afe.h"
#include "engine/driver.h"
#include "project/changes.h"
#include "project/components.h"
#include "project/prj_read.h"
#include "support/heap.h"
#include "transport/cse.h"
#include "testutil.h"

static const std::string kExamples = FLOWMIR_EXAMPLES;

namespace {

// An example project read as the driver reads it, then changed.
struct ChangedProject : TestState {
    int refused = -1;
    ChangedProject(const char* name, const std::vector<const char*>& changes)
    {
        openLog();
        fms->msBlock = alc_eci(fms, 32000, "ms-block");
        fms->mbBlock = alc_eci(fms, 8000, "mb-block");
        EXPECT_EQ(prj_read(fms, (kExamples + "/" + name).c_str()), 0) << fms->lastError;
        fms->changes = changes.data();
        fms->nchanges = (int)changes.size();
        refused = prj_apply_changes(fms);
        fms->changes = nullptr;
    }
    ~ChangedProject() { releaseRunMemory(fms); }
    AfePlr* plr(int nr) { return static_cast<AfePlr*>(fms->AfeLst[nr]->data); }
};

}  // namespace

TEST(ProjectChanges, EachKindReachesItsComponent)
{
    ChangedProject o("office.prj", {"zone:UpperOpen.T=299.5", "zone:Corridor.volume=50", "path:7.mult=0.5", "path:3.element=door",
                     "element:wallcrack.scale=2", "element:stair.expt=0.6", "element:exhaust.flow=0.09",
                     "weather=cold.wth"});
    EXPECT_EQ(o.refused, 0) << o.log();
    EXPECT_FLOAT_EQ(o->ZnLst[4]->T, 299.5f);
    EXPECT_FLOAT_EQ(o->ZnLst[2]->Vol, 50.0f);
    EXPECT_DOUBLE_EQ(o->PthLst[7]->mult, 0.5);
    EXPECT_EQ(o->PthLst[3]->afe, o->AfeLst[2]);
    EXPECT_EQ(o->PthLst[3]->afeNr, 2);
    // The crack's coefficients as written, both doubled; the exponent stays.
    EXPECT_FLOAT_EQ(o.plr(1)->lam, 4.0e-6f);
    EXPECT_FLOAT_EQ(o.plr(1)->turb, 0.0024f);
    EXPECT_FLOAT_EQ(o.plr(1)->expt, 0.65f);
    EXPECT_FLOAT_EQ(o.plr(3)->expt, 0.6f);
    EXPECT_FLOAT_EQ(static_cast<AfeCnf*>(o->AfeLst[4]->data)->flowRate, 0.09f);
    EXPECT_STREQ(o->wthPath, "cold.wth");
    EXPECT_NE(o.log().find("Project change: zone:UpperOpen.T=299.5"), std::string::npos);
}

TEST(ProjectChanges, SourcesAndSchedules)
{
    ChangedProject co2("co2_office.prj", {"sourceElement:occupant.rate=1e-5", "sourceElement:occupant.scale=2",
                                          "source:3.mult=4"});
    EXPECT_EQ(co2.refused, 0) << co2.log();
    EXPECT_FLOAT_EQ(static_cast<CseCcf*>(co2->CseLst[1]->data)->G0, 2e-5f);
    int mult = 0;
    for (CseInstance* c = co2->cssRead; c; c = c->next)
        if (c->nr == 3) mult = (int)c->mult;
    EXPECT_EQ(mult, 4);

    // The fan's control node still wins over a schedule given to its path.
    ChangedProject fan("fan_control.prj", {"path:1.schedule=2", "path:2.schedule=1", "zone:Office.schedule=0",
                                           "zone:Office.schedule=3"});
    EXPECT_EQ(fan.refused, 1) << fan.log();
    EXPECT_EQ(fan->PthLst[1]->wshNr, 2);
    EXPECT_EQ(fan->PthLst[1]->msrc, VSRC_SCHEDULE);
    EXPECT_EQ(fan->PthLst[2]->msrc, VSRC_CONTROL);
    EXPECT_EQ(fan->ZnLst[1]->wshNr, 0);
    EXPECT_EQ(fan->ZnLst[1]->tsrc, VSRC_NONE);
}

TEST(ProjectChanges, ChangesNamingNothingAreRefused)
{
    const std::vector<const char*> bad = {
        "zone:Attic.T=290",        // no such zone
        "path:11.mult=2",          // beyond the last path
        "path:0.mult=2",
        "element:exhaust.turb=1",  // a fan has no power-law coefficient
        "element:wallcrack.flow=1",
        "zone:Corridor.T=warm",    // not a number
        "zone:Corridor.colour=3",  // no such field
        "zone:Corridor.schedule=1", // the project has no week schedules
        "path:3.element=nothing",
        "source:1.mult=2",         // no sources
        "sky=blue",
        "noequals",
        "zone:.T=3",
    };
    ChangedProject o("office.prj", bad);
    EXPECT_EQ(o.refused, (int)bad.size()) << o.log();
    EXPECT_EQ(o->errorCount, (int)bad.size());
    EXPECT_NE(o.log().find("Project change not applied: zone:Attic.T=290"), std::string::npos);
    EXPECT_FLOAT_EQ(o->ZnLst[2]->T, 293.15f);  // the refused changes left the zone as read
}

TEST(ProjectChanges, ARefusedChangeStopsTheRunAsAnUnreadableProject)
{
    std::string dir = scratchDir();
    writeFile(dir + "/office.prj", readFile(kExamples + "/office.prj"));
    writeFile(dir + "/office.wth", readFile(kExamples + "/office.wth"));
    ChildResult r = runHost("-q --set zone:Attic.T=290 office.prj", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Project change not applied: zone:Attic.T=290"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(dir + "/office.sim"));
}
