// The control value files and the control log: interpolation of the continuous values file,
// the events of the discrete values file, the connection of control nodes and components to
// their columns, every reader message, and the control log of a run through the host.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "controls/ctrl.h"
#include "controls/ctrl_data.h"
#include "controls/valfile.h"
#include "engine/simloop.h"
#include "project/components.h"
#include "support/nxt.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

static int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

static bool contains(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}

static int occurrences(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}


static std::string cvfText(const std::string& period, const std::string& columns, const std::string& records)
{
    return "ContinuousValuesFile Flowpad 2.1\ntest values\n" + period + "\n" + columns + "\n" + records;
}

static std::string dvfText(const std::string& period, const std::string& columns, const std::string& events)
{
    return "DiscreteValuesFile Flowpad 2.1\ntest events\n" + period + "\n" + columns + "\n" + events;
}

// A state reading a CVF and/or a DVF written to a scratch folder.
struct Vf {
    TestState s;
    explicit Vf(const std::string& cvf, const std::string& dvf = "", bool logged = true)
    {
        if (logged) {
            s.openLog();
            s->errorFcn = quietFcn;
        }
        std::string dir = scratchDir();
        if (!cvf.empty()) {
            writeFile(dir + "/t.cvf", cvf);
            snprintf(s->cvfPath, sizeof s->cvfPath, "%s/t.cvf", dir.c_str());
        }
        if (!dvf.empty()) {
            writeFile(dir + "/t.dvf", dvf);
            snprintf(s->dvfPath, sizeof s->dvfPath, "%s/t.dvf", dir.c_str());
        }
    }
    ~Vf()
    {
        CVF_close(s.fms);
        DVF_close(s.fms);
    }
    FlowmirState* fms() { return s.fms; }
};

// 10 at 01:00 and 20 at 02:00 give 12.5 at 01:15 and 15 at 01:30: the value is continuous at
// both records.
TEST(Cvf, InterpolatesBetweenTheRecordsAroundTheTime)
{
    Vf v(cvfText("1/1 1/1", "2\nA\nB",
                 "1/1 01:00:00 10 -1\n1/1 02:00:00 20 -2\n1/1 04:00:00 0 -4\n1/1 04:00:00 8 -8\n"));
    FlowmirState* fms = v.fms();
    CVF_init_data(fms, 1, 1, 1);
    ASSERT_EQ(fms->ncvf, 2);
    EXPECT_STREQ(fms->cvfNames[0], "A");
    EXPECT_STREQ(fms->cvfNames[1], "B");
    struct Case {
        int time, advance, ahead;
        float a, b;
    } cases[] = {
        {0, 1, 3600, 10, -1},     // before the first record: its values
        {3600, 0, 0, 10, -1},     // at it
        {3600, 1, 3600, 10, -1},  // past it: the next record read, still the first's values
        {4500, 0, 2700, 12.5f, -1.25f},
        {5400, 0, 1800, 15, -1.5f},
        {7200, 0, 0, 20, -2},
        {7200, 1, 7200, 20, -2},
        {10800, 0, 3600, 10, -3},   // half-way to 0 at 04:00
        {14400, 1, 0, 8, -8},       // a step change at 04:00, then the end of the file
        {18000, 0, -3600, 8, -8},   // held
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.time);
        EXPECT_EQ(CVF_get(fms, 1, k.time, k.advance), k.ahead);
        EXPECT_FLOAT_EQ(fms->cvfV[0], k.a);
        EXPECT_FLOAT_EQ(fms->cvfV[1], k.b);
    }
    EXPECT_EQ(occurrences(v.s.log(), " End of CVF file before end of simulation\n"), 1);
    EXPECT_EQ(fms->errorCount, 0) << v.s.log();
}

// A run that starts on day 2: the record of 18:00 on day 1 becomes the earlier record with its own
// value, 200, and not the value of the record before it.
TEST(Cvf, RecordsBeforeTheStartDayCarryTheirValues)
{
    Vf v(cvfText("1/1 1/3", "1\nA", "1/1 06:00:00 100\n1/1 18:00:00 200\n1/2 06:00:00 300\n1/2 24:00:00 400\n"));
    FlowmirState* fms = v.fms();
    CVF_init_data(fms, 2, 2, 1);
    struct Case {
        int time, advance;
        float a;
    } cases[] = {{0, 1, 250}, {3 * 3600, 0, 275}, {15 * 3600, 0, 350}, {86400, 0, 400}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.time);
        CVF_get(fms, 2, k.time, k.advance);
        EXPECT_FLOAT_EQ(fms->cvfV[0], k.a);
    }
}

// Steps of an hour from 06:00; the event at 08:00 sets column 2 to 5 from the step after the one
// ending at 08:00.
TEST(Dvf, EventAppliesFromTheStepAfterIt)
{
    Vf v("", dvfText("1/1 1/1", "2\nFan 1\nDoor 0", "1/1 08:00:00 2 5\n1/1 10:00:00 1 0.25\n"));
    FlowmirState* fms = v.fms();
    DVF_init_data(fms, 1, 1);
    ASSERT_EQ(fms->ndvf, 2);
    EXPECT_FLOAT_EQ(fms->dvfV[0], 1);
    EXPECT_FLOAT_EQ(fms->dvfV[1], 0);

    // Set-up at 06:00: the first event read is only pending.
    EXPECT_EQ(DVF_get(fms, 1, 6 * 3600, 1), 7200);
    EXPECT_EQ(fms->dvfPendIdx, 2);
    EXPECT_FLOAT_EQ(fms->dvfPendVal, 5);
    EXPECT_FLOAT_EQ(fms->dvfV[0], 1);
    EXPECT_FLOAT_EQ(fms->dvfV[1], 0);

    struct Case {
        int stepEnd;
        float fan, door;
    } cases[] = {{7, 1, 0}, {8, 1, 0}, {9, 1, 5}, {10, 1, 5}, {11, 0.25f, 5}, {12, 0.25f, 5}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.stepEnd);
        DVF_get(fms, 1, (k.stepEnd - 1) * 3600, 1);
        DVF_get(fms, 1, k.stepEnd * 3600, 0);
        EXPECT_FLOAT_EQ(fms->dvfV[0], k.fan);
        EXPECT_FLOAT_EQ(fms->dvfV[1], k.door);
    }
    EXPECT_EQ(occurrences(v.s.log(), " End of DVF file before end of simulation\n"), 1);
    EXPECT_EQ(fms->afResolve, 1);  // set by the state's initialisation, never cleared here
    EXPECT_EQ(fms->errorCount, 0) << v.s.log();
}

// Events read while the wind pressures come from the wind-pressure file ask for a new airflow
// solution.
TEST(Dvf, EventsReadAskForAnAirflowSolutionWithFileWindPressures)
{
    Vf v("", dvfText("1/1 1/1", "1\nFan 1", "1/1 08:00:00 1 5\n"));
    FlowmirState* fms = v.fms();
    fms->_useWPCwp = 1;
    DVF_init_data(fms, 1, 1);
    fms->afResolve = 0;
    DVF_get(fms, 1, 0, 1);
    EXPECT_EQ(fms->afResolve, 1);
    fms->afResolve = 0;
    DVF_get(fms, 1, 3600, 0);  // nothing read
    EXPECT_EQ(fms->afResolve, 0);
}

// Control nodes point at their columns; components too, through vf_link.
TEST(ValueFiles, NodesAndComponentsPointAtTheirColumns)
{
    Vf v(cvfText("1/1 1/1", "2\nA\nB", "1/1 00:00:00 1 2\n1/1 01:00:00 3 4\n"),
         dvfText("1/1 1/1", "1\nD 7", "1/1 00:30:00 1 9\n"));
    FlowmirState* fms = v.fms();
    CVF_init_data(fms, 1, 1, 1);
    DVF_init_data(fms, 1, 1);

    ColumnData colB{"B"}, colD{"D"};
    CtrlNode nodeB{}, nodeD{};
    nodeB.type = CT_CVF;
    nodeB.data = &colB;
    nodeD.type = CT_DVF;
    nodeD.data = &colD;
    nodeB.next = &nodeD;
    fms->ctrlSeq = &nodeB;

    float none = -1;
    float *zoneT = &none, *pathMult = &none;
    vf_link(fms, &zoneT, VFILE_CVF, "A");
    vf_link(fms, &pathMult, VFILE_DVF, "D");
    EXPECT_EQ(CVF_init_controls(fms), 0);
    EXPECT_EQ(DVF_init_controls(fms), 0);
    EXPECT_EQ(fms->cvfNames, nullptr);  // dropped once connected
    EXPECT_EQ(fms->dvfNames, nullptr);

    CVF_get(fms, 1, 1800, 1);
    DVF_get(fms, 1, 3600, 1);
    EXPECT_FLOAT_EQ(*zoneT, 2);
    EXPECT_FLOAT_EQ(*nodeB.in1, 3);
    EXPECT_FLOAT_EQ(*pathMult, 9);
    EXPECT_FLOAT_EQ(*nodeD.in1, 9);
    EXPECT_EQ(fms->errorCount, 0) << v.s.log();
    fms->ctrlSeq = nullptr;
}

// Who needs a file: control nodes of its type and components whose value source it is.
TEST(ValueFiles, NeedFollowsNodesAndValueSources)
{
    TestState s;
    FlowmirState* fms = s.fms;
    EXPECT_EQ(ctrl_NeedCvfDvf(fms, 3), 0);
    EXPECT_EQ(ctrl_NeedCvfDvf(fms, 4), 0);

    CtrlNode node{};
    CtrlNode* nodes[2] = {nullptr, &node};
    fms->CtLst = nodes;
    fms->nctrl = 1;
    node.type = CT_DVF;
    EXPECT_EQ(ctrl_NeedCvfDvf(fms, 3), 0);
    EXPECT_EQ(ctrl_NeedCvfDvf(fms, 4), 1);
    node.type = CT_CVF;
    EXPECT_EQ(ctrl_NeedCvfDvf(fms, 3), 1);
    fms->nctrl = 0;

    Zone zone{};
    Zone* zones[2] = {nullptr, &zone};
    fms->ZnLst = zones;
    fms->nzone = 1;
    zone.tsrc = VSRC_CONTROL;  // a control node wins over its file column
    EXPECT_EQ(ctrl_NeedCvfDvf(fms, 3), 0);
    zone.tsrc = VSRC_CVF;
    EXPECT_EQ(ctrl_NeedCvfDvf(fms, 3), 1);
    EXPECT_EQ(ctrl_NeedCvfDvf(fms, 4), 0);
    fms->nzone = 0;

    Path path{};
    Path* paths[2] = {nullptr, &path};
    fms->PthLst = paths;
    fms->npath = 1;
    path.msrc = VSRC_DVF;
    EXPECT_EQ(ctrl_NeedCvfDvf(fms, 4), 1);
    fms->npath = 0;
    fms->CtLst = nullptr;
    fms->ZnLst = nullptr;
    fms->PthLst = nullptr;

    ChildResult r = runChild([&] { ctrl_NeedCvfDvf(fms, 5); });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL Invalid controls file type requested (CVF/DVF): 5\n");
}

// Every name that is not found is reported before the run stops.
TEST(ValueFiles, NamesNotFoundStopTheRun)
{
    const std::string cvf = cvfText("1/1 1/1", "1\nA", "1/1 00:00:00 1\n");
    const std::string dvf = dvfText("1/1 1/1", "1\nD 0", "");
    struct Case {
        const char* name;
        std::vector<std::string> nodeColumns;  // of the `cvf` nodes, then `dvf` nodes with a "dvf:" prefix
        std::vector<std::string> componentKeys;  // "cvf:" or "dvf:" and the key; "3:" an invalid kind
        std::string err;
    } cases[] = {
        {"two nodes", {"X", "A", "Y"}, {},
         "ERROR Name not in CVF: X\nERROR Name not in CVF: Y\nFATAL Fix CVF file or control node errors\n"},
        {"a discrete node", {"dvf:A"}, {}, "ERROR Name not in DVF: A\nFATAL Fix DVF file or control node errors\n"},
        {"a zone's key", {}, {"cvf:Troom"},
         "ERROR Node name Troom not found in CVF file.\n\nFATAL Fix CVF file or control node errors\n"},
        {"a path's key in the other file", {}, {"dvf:A"},
         "ERROR Node name A not found in DVF file.\n\nFATAL Fix DVF file or control node errors\n"},
        {"an invalid kind", {}, {"3:A"}, "ERROR Invalid CVF/DVF vf_type, 3.\n\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ChildResult r = runChild([&] {
            Vf v(cvf, dvf, false);
            FlowmirState* fms = v.fms();
            CVF_init_data(fms, 1, 1, 1);
            DVF_init_data(fms, 1, 1);
            std::vector<ColumnData> columns(k.nodeColumns.size());
            std::vector<CtrlNode> nodes(k.nodeColumns.size());
            for (size_t i = 0; i < nodes.size(); i++) {
                std::string c = k.nodeColumns[i];
                nodes[i].type = c.rfind("dvf:", 0) == 0 ? CT_DVF : CT_CVF;
                if (nodes[i].type == CT_DVF) c = c.substr(4);
                snprintf(columns[i].column, sizeof columns[i].column, "%s", c.c_str());
                nodes[i].data = &columns[i];
                nodes[i].next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
            }
            fms->ctrlSeq = nodes.empty() ? nullptr : &nodes[0];
            for (const std::string& key : k.componentKeys) {
                float* p = nullptr;
                int kind = key[0] == 'c' ? VFILE_CVF : key[0] == 'd' ? VFILE_DVF : 3;
                vf_link(fms, &p, kind, key.substr(key.find(':') + 1).c_str());
            }
            CVF_init_controls(fms);
            DVF_init_controls(fms);
        });
        EXPECT_EQ(r.status, contains(k.err, "FATAL") ? 2 : 0) << r.err;
        EXPECT_EQ(r.err, k.err);
    }
}

// Broken files and stopped runs, each in a child process, with their exact messages.
TEST(ValueFiles, ReaderMessages)
{
    const std::string one = "1/1 00:00:00 1\n";
    auto cvfAt = [](int time, int advance) {
        return [=](FlowmirState* fms) { CVF_get(fms, 1, time, advance); };
    };
    auto dvfAt = [](int time, int advance) {
        return [=](FlowmirState* fms) { DVF_get(fms, 1, time, advance); };
    };
    struct Case {
        const char* name;
        bool discrete;
        std::string text;  // empty: no file ("null")
        int startDay, endDay;
        std::function<void(FlowmirState*)> after;
        std::vector<std::string> messages;  // in order
    };
    const std::string dcol = "1\nFan 1";
    // clang-format off
    const std::vector<Case> cases = {
        {"no CVF", false, "", 1, 1, nullptr, {"FATAL Continuous Values File (CVF) required\n"}},
        {"CVF header", false, "ContinuousValuesFile Flowpad 2.0\nx\n1/1 1/1\n1\nA\n" + one, 1, 1, nullptr,
         {"WARNING Bad CVF: ", "FATAL Invalid header: ContinuousValuesFile Flowpad 2.0\n"}},
        {"CVF dates reversed", false, cvfText("1/5 1/3", "1\nA", one), 3, 3, nullptr,
         {"ERROR Invalid CVF date sequence\n", "FATAL Fix CVF file or control node errors\n"}},
        {"CVF starts late", false, cvfText("1/2 1/5", "1\nA", one), 1, 3, nullptr,
         {"ERROR Start date not on CVF file\n", "FATAL Fix CVF file or control node errors\n"}},
        {"CVF ends early", false, cvfText("1/1 1/3", "1\nA", one), 1, 5, nullptr,
         {"ERROR End date not on CVF file\n", "FATAL Fix CVF file or control node errors\n"}},
        {"CVF starts late and ends early", false, cvfText("1/2 1/3", "1\nA", one), 1, 5, nullptr,
         {"ERROR Start date not on CVF file\n", "ERROR End date not on CVF file\n",
          "FATAL Fix CVF file or control node errors\n"}},
        {"CVF year's end not covered", false, cvfText("1/2 12/31", "1\nA", one), 365, 1, nullptr,
         {"ERROR End date not on CVF file\n", "FATAL Fix CVF file or control node errors\n"}},
        {"CVF no dates", false, "ContinuousValuesFile Flowpad 2.1\nonly a description\n", 1, 1, nullptr,
         {"FATAL Missing start and end dates (line 3 of CVF file "}},
        {"CVF negative count", false, cvfText("1/1 1/1", "-1\nA", one), 1, 1, nullptr,
         {"FATAL Bad number of columns: -1 (line 4 of CVF file "}},
        {"CVF count not a number", false, cvfText("1/1 1/1", "two\nA", one), 1, 1, nullptr,
         {"FATAL Bad number of columns: two (line 4 of CVF file "}},
        {"CVF names missing", false, cvfText("1/1 1/1", "3\nA\nB", ""), 1, 1, nullptr,
         {"FATAL Missing name of column 3 of 3 (line "}},
        {"CVF name too long", false, cvfText("1/1 1/1", "1\nSixteenCharsLong", one), 1, 1, nullptr,
         {"FATAL Name of column 1 longer than 15 characters: SixteenCharsLong (line 5 of CVF file "}},
        {"CVF no records", false, cvfText("1/1 1/1", "1\nA", ""), 1, 1, nullptr,
         {"FATAL Bad day, bad time, or end-of-file, in first hourly entry of CVF file\n"}},
        {"CVF value not a number", false, cvfText("1/1 1/1", "2\nA\nB", "1/1 00:00:00 1 much\n"), 1, 1, nullptr,
         {"ERROR CVF record 1/1 00:00:00, column 2: much is not a (valid) number (line 7 of CVF file ",
          "FATAL Error encountered while reading CVF file\n"}},
        {"CVF record ends early", false, cvfText("1/1 1/1", "2\nA\nB", "1/1 00:00:00 1 2\n1/1 01:00:00 3"), 1, 1,
         cvfAt(1800, 0), {"FATAL CVF record 1/1 01:00:00 ends after 1 of 2 values (line 8 of CVF file "}},
        {"CVF value not finite", false, cvfText("1/1 1/1", "1\nA", "1/1 00:00:00 inf\n"), 1, 1, nullptr,
         {"FATAL CVF record 1/1 00:00:00, column 1: inf is not finite (line 6 of CVF file "}},
        {"CVF value beyond single precision", false, cvfText("1/1 1/1", "1\nA", "1/1 00:00:00 1e39\n"), 1, 1,
         nullptr, {"FATAL CVF record 1/1 00:00:00, column 1: 1e39 is beyond single-precision range (line 6 "}},
        {"CVF times decrease", false, cvfText("1/1 1/1", "1\nA", "1/1 02:00:00 1\n1/1 01:00:00 2\n"), 1, 1,
         cvfAt(7200, 1),
         {"ERROR File day-times decrease near day 1/1 time 01:00:00\n",
          "FATAL Error encountered while reading CVF file\n"}},
        {"CVF same instant", false,
         cvfText("1/1 1/1", "1\nA", "1/1 01:00:00 1\n1/1 02:00:00 2\n1/1 02:00:00 3\n"), 1, 1,
         [](FlowmirState* fms) {
             CVF_get(fms, 1, 7201, 0);  // both records at 02:00 read, then the end
             CVF_get(fms, 1, 5400, 0);  // a value between them
         },
         {"FATAL CVF file day-times must increase\n"}},

        {"no DVF", true, "", 1, 1, nullptr, {"FATAL Discrete Values File (DVF) required\n"}},
        {"DVF header", true, "DiscreteValuesFile Flowpad 2.0\nx\n1/1 1/1\n" + dcol + "\n", 1, 1, nullptr,
         {"WARNING Bad DVF: ", "FATAL Invalid header: DiscreteValuesFile Flowpad 2.0\n"}},
        {"CVF header on a DVF", true, cvfText("1/1 1/1", "1\nA", one), 1, 1, nullptr,
         {"WARNING Bad DVF: ", "FATAL Invalid header: ContinuousValuesFile Flowpad 2.1\n"}},
        {"DVF dates reversed", true, dvfText("1/5 1/3", dcol, ""), 3, 3, nullptr,
         {"FATAL Invalid DVF date sequence\n"}},
        {"DVF starts late", true, dvfText("1/2 1/5", dcol, ""), 1, 3, nullptr, {"FATAL Start date not on DVF file\n"}},
        {"DVF ends early", true, dvfText("1/1 1/3", dcol, ""), 1, 5, nullptr, {"FATAL End date not on DVF file\n"}},
        {"DVF negative count", true, dvfText("1/1 1/1", "-2", ""), 1, 1, nullptr,
         {"FATAL Bad number of columns: -2 (line 4 of DVF file "}},
        {"DVF initial value missing", true, dvfText("1/1 1/1", "1\nFan", ""), 1, 1, nullptr,
         {"FATAL Missing initial value of DVF column 1 (Fan) (line 5 of DVF file "}},
        {"DVF initial value not a number", true, dvfText("1/1 1/1", "1\nFan on", ""), 1, 1, nullptr,
         {"FATAL Bad initial value of DVF column 1 (Fan): on (line 5 of DVF file "}},
        {"DVF index 0", true, dvfText("1/1 1/1", dcol, "1/1 08:00:00 0 5\n"), 1, 1, dvfAt(0, 1),
         {"FATAL Invalid DVF index 0 at 1/1 08:00:00\n"}},
        {"DVF index beyond the columns", true, dvfText("1/1 1/1", dcol, "1/1 08:00:00 3 5\n"), 1, 1, dvfAt(0, 1),
         {"FATAL Invalid DVF index 3 at 1/1 08:00:00\n"}},
        {"DVF index not a number", true, dvfText("1/1 1/1", dcol, "1/1 08:00:00 one 5\n"), 1, 1, dvfAt(0, 1),
         {"ERROR DVF record 1/1 08:00:00: column number one is not a (valid) number (line 6 of DVF file ",
          "FATAL Error encountered while reading DVF file\n"}},
        {"DVF value missing", true, dvfText("1/1 1/1", dcol, "1/1 08:00:00 1"), 1, 1, dvfAt(0, 1),
         {"FATAL DVF record 1/1 08:00:00 ends before its value (line 6 of DVF file "}},
        {"DVF value not a number", true, dvfText("1/1 1/1", dcol, "1/1 08:00:00 1 high\n"), 1, 1, dvfAt(0, 1),
         {"ERROR DVF record 1/1 08:00:00, column 1: high is not a (valid) number (line 6 of DVF file ",
          "FATAL Error encountered while reading DVF file\n"}},
        {"DVF times decrease", true, dvfText("1/1 1/1", dcol, "1/1 08:00:00 1 5\n1/1 07:00:00 1 6\n"), 1, 1,
         dvfAt(8 * 3600, 1),
         {"ERROR File day-times decrease near day 1/1 time 07:00:00\n",
          "FATAL Error encountered while reading DVF file\n"}},
        {"DVF date without time", true, dvfText("1/1 1/1", dcol, "1/1\n"), 1, 1, dvfAt(0, 1),
         {"ERROR Expecting time after read date 1/1\n", "FATAL Error encountered while reading DVF file\n"}},
    };
    // clang-format on
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ChildResult r = runChild([&] {
            Vf v(k.discrete ? "" : k.text, k.discrete ? k.text : "", false);
            FlowmirState* fms = v.fms();
            if (k.text.empty()) snprintf(k.discrete ? fms->dvfPath : fms->cvfPath, 260, "null");
            if (k.discrete)
                DVF_init_data(fms, k.startDay, k.endDay);
            else
                CVF_init_data(fms, k.startDay, k.endDay, 1);
            if (k.after) k.after(fms);
        });
        EXPECT_EQ(r.status, 2) << r.err;
        size_t at = 0;
        for (const std::string& m : k.messages) {
            size_t found = r.err.find(m, at);
            EXPECT_NE(found, std::string::npos) << m << "\n" << r.err;
            if (found != std::string::npos) at = found + m.size();
        }
        EXPECT_EQ(occurrences(r.err, "FATAL"), 1) << r.err;
    }

    // An empty name is no file either.
    ChildResult r = runChild([&] {
        TestState s;
        CVF_init_data(s.fms, 1, 1, 1);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL Continuous Values File (CVF) required\n");
}

// The arrays are made once; stepping and preparing again allocate nothing and leave the text
// reader's own input alone; closing releases everything. A file without columns is legal.
TEST(ValueFiles, ArraysMadeOnceAndReleased)
{
    struct Case {
        const char* name;
        std::string columns, records;
        int n;
    } cases[] = {
        {"two columns", "2\nA\nB", "1/1 00:00:00 1 2\n1/1 12:00:00 3 4\n1/1 24:00:00 5 6\n", 2},
        {"no columns", "0", "1/1 00:00:00\n1/1 12:00:00\n", 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Vf v(cvfText("1/1 1/1", k.columns, k.records), dvfText("1/1 1/1", "1\nD 0", "1/1 06:00:00 1 1\n"));
        FlowmirState* fms = v.fms();
        std::string other = scratchDir() + "/other.txt";
        writeFile(other, "alpha beta\n");
        ASSERT_EQ(nxtopen(fms, other.c_str(), __FILE__, __LINE__), 0);
        FILE* input = fms->_UNXT;
        char word[64];
        nxtwrd(fms, word, 0, sizeof word);

        uint64_t before = fms->bytesAllocated;
        CVF_init_data(fms, 1, 1, 1);
        EXPECT_EQ(fms->bytesAllocated - before, (uint64_t)k.n * (16 + 3 * sizeof(float)));
        EXPECT_EQ(fms->ncvf, k.n);
        DVF_init_data(fms, 1, 1);
        float* values = fms->cvfV;
        uint64_t allocated = fms->bytesAllocated;
        for (int t = 0; t < 86400; t += 900) {
            CVF_get(fms, 1, t, 1);
            CVF_get(fms, 1, t + 900, 0);
            DVF_get(fms, 1, t, 1);
            DVF_get(fms, 1, t + 900, 0);
        }
        CVF_restart(fms, 1, 1);
        DVF_restart(fms, 1, 1);
        EXPECT_EQ(fms->bytesAllocated, allocated);
        EXPECT_EQ(fms->cvfV, values);  // what was pointed at stays
        EXPECT_FLOAT_EQ(fms->dvfV[0], 0);  // the initial value again
        if (k.n > 0) {
            CVF_get(fms, 1, 6 * 3600, 1);
            EXPECT_FLOAT_EQ(fms->cvfV[0], 2);
        }
        EXPECT_EQ(fms->_UNXT, input);
        nxtwrd(fms, word, 0, sizeof word);
        EXPECT_STREQ(word, "beta");
        nxtclose(fms);

        CVF_close(fms);
        DVF_close(fms);
        EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
        EXPECT_EQ(fms->cvfFile, nullptr);
        EXPECT_EQ(fms->dvfFile, nullptr);
        CVF_close(fms);  // harmless twice
        CVF_restart(fms, 1, 1);  // and nothing to prepare once closed
        EXPECT_EQ(fms->cvfFile, nullptr);
        EXPECT_EQ(CVF_get(fms, 1, 0, 1), 0);
        EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
        EXPECT_EQ(fms->errorCount, 0) << v.s.log();
    }
}

// A run from day 365 into day 1 prepares both files again from day 1 at midnight.
TEST(ValueFiles, NewYearStartsTheFilesAgain)
{
    Vf v(cvfText("1/1 12/31", "1\nA", "1/1 00:00:00 1\n1/1 12:00:00 2\n12/31 12:00:00 3\n12/31 24:00:00 4\n"),
         dvfText("1/1 12/31", "1\nD 10", "1/1 06:00:00 1 11\n12/31 06:00:00 1 12\n"));
    FlowmirState* fms = v.fms();
    CVF_init_data(fms, 365, 1, 1);
    DVF_init_data(fms, 365, 1);
    CVF_get(fms, 365, 86400, 0);
    DVF_get(fms, 365, 86400, 1);
    EXPECT_FLOAT_EQ(fms->cvfV[0], 4);
    EXPECT_FLOAT_EQ(fms->dvfV[0], 12);

    uint64_t allocated = fms->bytesAllocated;
    fms->dayofy = 365;
    fms->endDate = 1;
    fms->stepEndTime = 86400;
    rolloverNewSimDate(fms, 0);
    EXPECT_EQ(fms->dayofy, 1);
    EXPECT_EQ(fms->bytesAllocated, allocated);
    EXPECT_FLOAT_EQ(fms->dvfV[0], 10);
    EXPECT_EQ(CVF_get(fms, 1, 0, 1), 43200);
    EXPECT_FLOAT_EQ(fms->cvfV[0], 1);
    EXPECT_EQ(CVF_get(fms, 1, 21600, 0), 21600);
    EXPECT_FLOAT_EQ(fms->cvfV[0], 1.5f);
    DVF_get(fms, 1, 7 * 3600, 1);
    EXPECT_FLOAT_EQ(fms->dvfV[0], 11);
    EXPECT_EQ(fms->errorCount, 0) << v.s.log();
}

// --- through the host --------------------------------------------------------------------------

static std::string fixture(const std::string& name)
{
    return readFile(kProjects + "/" + name);
}

// The room project and its two value files in a fresh folder, each as given or changed.
static std::string stageRoom(const std::string& prj, const std::string& cvf, const std::string& dvf)
{
    std::string dir = scratchDir();
    writeFile(dir + "/vf_room.prj", prj);
    writeFile(dir + "/vf_room.cvf", cvf);
    writeFile(dir + "/vf_room.dvf", dvf);
    return dir;
}

static std::string e6(double v)
{
    char text[32];
    snprintf(text, sizeof text, "%.6e", v);
    return text;
}

// A day of hourly steps: the line labelled with a step's start holds the outputs computed for its
// end, and the closing line at 24:00:00 the outputs evaluated once more.
TEST(ControlLog, OneDayOfHourlyLinesThroughTheHost)
{
    std::string dir = stageRoom(fixture("vf_room.prj"), fixture("vf_room.cvf"), fixture("vf_room.dvf"));
    ChildResult r = runHost("-q vf_room", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "NOTE End of DVF file before end of simulation\n");

    std::string expected = "!\t \t \tTout\tDoor\tTroom\tFan\n!Date\tTime\t[s]\tK\t-\tK\t-\n";
    for (int h = 0; h < 24; h++) {
        char time[16];
        snprintf(time, sizeof time, "%02d:00:00", h);
        // Tout and Troom every three hours, interpolated; the door opens at 08:00, the fan halves at
        // 16:00; the room's temperature is sensed before the step sets it.
        expected += std::string("1/1\t") + time + "\t" + std::to_string(h * 3600) + "\t" + e6(271 + h) + "\t" +
                    e6(h >= 8 ? 5 : 0) + "\t" + e6(290 + h) + "\t" + e6(h >= 16 ? 0.5 : 1) + "\n";
    }
    expected += "1/1\t24:00:00\t86400\t" + e6(294) + "\t" + e6(5) + "\t" + e6(314) + "\t" + e6(0.5) + "\n";
    EXPECT_EQ(readFile(dir + "/vf_room.log"), expected);
    EXPECT_FALSE(fileExists(dir + "/vf_room.log.part"));

    std::string xlog = readFile(dir + "/vf_room.xlog");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(xlog, m, std::regex("\nFinal: ([0-9]+) bytes allocated, ([0-9]+) freed, 0 net\n")))
        << xlog;
    EXPECT_EQ(m[1], m[2]);
}

// Entries closer than the time step are reported for the step that spans them.
TEST(ControlLog, StepsSpanningEntriesAreReported)
{
    std::string cvf = replaceFirst(fixture("vf_room.cvf"), "1/1 3:00:00", "1/1 0:30:00 270.5 290.5\n1/1 3:00:00");
    std::string dvf = replaceFirst(fixture("vf_room.dvf"), "1/1 08:00:00", "1/1 02:30:00 1 1\n1/1 08:00:00");
    std::string dir = stageRoom(fixture("vf_room.prj"), cvf, dvf);
    ChildResult r = runHost("-q vf_room", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err,
              "WARNING Timestep ending 1/1, 01:00:00 spans multiple entries in CVF file\n"
              "WARNING Timestep ending 1/1, 03:00:00 spans multiple entries in DVF file\n"
              "NOTE End of DVF file before end of simulation\n");
}

// Runs that stop before they start: a file the project needs is absent, or a name is not in it.
TEST(ControlLog, MissingFilesAndNamesStopTheRun)
{
    const std::string prj = fixture("vf_room.prj");
    struct Case {
        const char* name;
        std::string prj;
        std::string err;
    } cases[] = {
        {"no CVF", replaceFirst(prj, "vf_room.cvf", "null"), "FATAL Continuous Values File (CVF) required\n"},
        {"no DVF", replaceFirst(prj, "vf_room.dvf", "null"), "FATAL Discrete Values File (DVF) required\n"},
        // Only the zone reads the CVF now: the component alone needs the file.
        {"no CVF for a zone", replaceFirst(replaceFirst(replaceFirst(prj, "vf_room.cvf", "null"), "1 cvf 1 0 0 0 0 Tout", "1 set 1 0 0 0 0 Tout"),
                                       "\nTout\n2 dvf", "\n270\n2 dvf"),
         "FATAL Continuous Values File (CVF) required\n"},
        // Assembly stops at its own check, after every link has been made.
        {"a zone's key", replaceFirst(prj, "1 Troom 0", "1 Tzone 0"),
         "ERROR Node name Tzone not found in CVF file.\n\nFATAL Fix errors, may need to call Orvo\n"},
        {"a node's column", replaceFirst(prj, "\nFan\n4 sns", "\nFans\n4 sns"),
         "ERROR Name not in DVF: Fans\nFATAL Fix DVF file or control node errors\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::string dir = stageRoom(k.prj, fixture("vf_room.cvf"), fixture("vf_room.dvf"));
        writeFile(dir + "/vf_room.log", "an earlier run's log\n");
        ChildResult r = runHost("-q vf_room", dir);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.err, k.err);
        EXPECT_EQ(readFile(dir + "/vf_room.log"), "an earlier run's log\n");  // a failed run keeps it
    }
}

// An earlier control log is deleted when the run completes without one: the project has no `log`
// node, or the switch is off.
TEST(ControlLog, EarlierLogDeletedWhenNoneIsWritten)
{
    const std::string prj = fixture("vf_room.prj");
    std::string noLogs = replaceFirst(prj, "8 ! control nodes", "4 ! control nodes");
    noLogs = noLogs.substr(0, noLogs.find("5 log 5")) + noLogs.substr(noLogs.find("-999\n0 ! simple air"));
    struct Case {
        const char* name;
        std::string prj, as;
    } cases[] = {
        {"no controls at all", fixture("tr_stack.prj"), "tr_stack"},
        {"no log nodes", noLogs, "vf_room"},
        {"switch off", replaceFirst(prj, "0 0 0 0 0 1\n", "0 0 0 0 0 0\n"), "vf_room"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::string dir = stageRoom(k.prj, fixture("vf_room.cvf"), fixture("vf_room.dvf"));
        if (k.as != "vf_room") {
            rename((dir + "/vf_room.prj").c_str(), (dir + "/" + k.as + ".prj").c_str());
            writeFile(dir + "/tr_stack.wth", fixture("tr_stack.wth"));
        }
        writeFile(dir + "/" + k.as + ".log", "an earlier run's log\n");
        ChildResult r = runHost("-q " + k.as, dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_FALSE(fileExists(dir + "/" + k.as + ".log"));
        EXPECT_TRUE(fileExists(dir + "/" + k.as + ".sim"));
    }
}

// A steady run has no listing times: only the closing line is written.
TEST(ControlLog, SteadyRunWritesOnlyTheClosingLine)
{
    std::string prj = replaceFirst(fixture("vf_room.prj"), "1 0 30 1e-5", "0 0 30 1e-5");
    prj = replaceFirst(prj, "Jan01 24:00:00 1:00:00 1:00:00 1:00:00", "Jan01 24:00:00 1:00:00 0:00:00 1:00:00");
    std::string dir = stageRoom(prj, fixture("vf_room.cvf"), fixture("vf_room.dvf"));
    ChildResult r = runHost("-q vf_room", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir + "/vf_room.log"), "!\t \t \tTout\tDoor\tTroom\tFan\n!Date\tTime\t[s]\tK\t-\tK\t-\n"
                                              "1/1\t00:00:00\t0\t" + e6(270) + "\t" + e6(0) + "\t" + e6(290) +
                                                  "\t" + e6(1) + "\n");
}
