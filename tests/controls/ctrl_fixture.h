// Projects with schedules and control nodes: the test projects with their schedule and
// control sections replaced, read and assembled into a network as a run does.
#ifndef FLOWMIR_TESTS_CONTROLS_CTRL_FIXTURE_H
#define FLOWMIR_TESTS_CONTROLS_CTRL_FIXTURE_H

#include <gtest/gtest.h>

#include <string>

#include "controls/ctrl.h"
#include "controls/ctrl_data.h"
#include "controls/schedule.h"
#include "engine/driver.h"
#include "network/airnet.h"
#include "network/sim_data.h"
#include "project/prj_read.h"
#include "support/heap.h"
#include "testutil.h"

inline std::string fixture(const std::string& name)
{
    return readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/" + name);
}

// Text with the one occurrence of `from` replaced.
inline std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t pos = text.find(from);
    EXPECT_NE(pos, std::string::npos) << from;
    if (pos != std::string::npos) text.replace(pos, from.size(), to);
    return text;
}

// The sections of a project; an empty text keeps the project's own empty section.
struct Sections {
    std::string days, weeks, controls;
};

inline std::string withSections(std::string text, const Sections& s)
{
    if (!s.days.empty()) text = replaced(text, "0 ! day schedules\n-999", s.days + "\n-999");
    if (!s.weeks.empty()) text = replaced(text, "0 ! week schedules\n-999", s.weeks + "\n-999");
    if (!s.controls.empty()) text = replaced(text, "0 ! control nodes\n-999", s.controls + "\n-999");
    return text;
}

// The minimal project (one zone, one path) whose zone follows control node `zoneCtrl`.
inline std::string minimalWith(const Sections& s, int zoneCtrl = 0)
{
    std::string text = fixture("prj_minimal.prj");
    if (zoneCtrl)
        text = replaced(text, "1 3 0 0 0 1 0 60 293.15", "1 3 0 " + std::to_string(zoneCtrl) + " 0 1 0 60 293.15");
    return withSections(text, s);
}

// A project read and assembled; the tables stay until the end, as during assembly.
struct CtrlProject : TestState {
    bool built = false;
    explicit CtrlProject(const std::string& text, bool build = true)
    {
        openLog();
        fms->msBlock = alc_eci(fms, 32000, "ms-block");
        fms->mbBlock = alc_eci(fms, 8000, "mb-block");
        std::string path = scratchDir() + "/ctrl.prj";
        writeFile(path, text);
        EXPECT_EQ(prj_read(fms, path.c_str()), 0) << fms->lastError;
        fms->listLevel = fms->listSetting;
        fms->time_step = 60;
        fms->dt = 60.0f;
        fms->rdt = 1.0f / 60.0f;
        fms->dayType = 1;
        fms->dayOfWeek = 1;
        if (build) {
            sim_data(fms);
            built = true;
        }
    }
    ~CtrlProject() { releaseRunMemory(fms); }
    CtrlNode* node(int nr) { return fms->CtLst[nr]; }
    AirNode* zone(int nr)
    {
        for (AirNode* n = fms->nodeList; n; n = n->next)
            if (n->styp == NODE_ZONE && n->s_nr == nr && n != fms->ambt) return n;
        return nullptr;
    }
    AirNode* junction(int nr)
    {
        for (AirNode* n = fms->nodeList; n; n = n->next)
            if ((n->styp == NODE_JCT || n->styp == NODE_TERM) && n->s_nr == nr) return n;
        return nullptr;
    }
    AirLink* link(int styp, int nr)
    {
        for (AirLink* l = fms->linkList; l; l = l->next)
            if (l->styp == styp && l->s_nr == nr) return l;
        return nullptr;
    }
};

#endif
