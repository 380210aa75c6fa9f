// The control network of whole projects: the section reader, linking to the network and to
// schedules, the evaluation order, the temperatures controls set, and the refusals of reading
// and linking.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "controls/valfile.h"
#include "ctrl_fixture.h"

// One control record: "nr type seq flags 0 in1 in2 name", a description, then its parameters.
static std::string ctrl(int nr, const char* type, int seq, int in1 = 0, int in2 = 0, const std::string& params = "",
                        int flags = 0)
{
    std::string s = std::to_string(nr) + " " + type + " " + std::to_string(seq) + " " + std::to_string(flags) +
                    " 0 " + std::to_string(in1) + " " + std::to_string(in2) + " node" + std::to_string(nr) +
                    "\nnode " + std::to_string(nr) + " of the test\n";
    if (!params.empty()) s += params + "\n";
    return s;
}

static std::string controls(const std::vector<std::string>& records)
{
    std::string s = std::to_string(records.size()) + " ! control nodes\n";
    for (const std::string& r : records) s += r;
    return s.substr(0, s.size() - 1);
}

// Sensor parameters: offset scale tau (ignored) index type measure x y z (ignored) species.
static std::string sensor(int index, int type, int measure, const char* species = "none", float offset = 0,
                          float scale = 1)
{
    char buf[160];
    snprintf(buf, sizeof buf, "%g %g 0 0 %d %d %d 0 0 0 0 %s", offset, scale, index, type, measure, species);
    return buf;
}

static const char* kDay = "1 ! day schedules\n1 2 1 0 0\nramp\n0:00:00 0\n24:00:00 2";
static const char* kWeek = "1 ! week schedules\n1 0 0 w\nw\n1 1 1 1 1 1 1 1 1 1 1 1";

TEST(CtrlNetwork, ReadAndLink)
{
    std::string c = controls({
        ctrl(1, "set", 3, 0, 0, "21.5"),
        ctrl(2, "sch", 1, 0, 0, "1"),
        ctrl(3, "log", 4, 5, 0, "1 2 0 Flow_label kg/s"),
        ctrl(4, "sum", 2, 0, 0, "3 1 2 1"),
        ctrl(5, "ply", 5, 1, 0, "2 1 0 0.5"),
        ctrl(6, "dls", 6, 1, 0, "1 1"),
        ctrl(7, "cvf", 7, 0, 0, "column"),
        ctrl(8, "sup", 8, 0, 0, "0 0 0"),
        ctrl(9, "log", 9, 1, 0, "0 1 0 Second -"),
        ctrl(10, "rav", 10, 1, 0, "1:00:00"),
    });
    CtrlProject p(minimalWith({kDay, kWeek, c}));
    FlowmirState* fms = p.fms;
    EXPECT_NE(p.log().find("Controls section read successfully.\n"), std::string::npos);
    ASSERT_EQ(fms->nctrl, 10);
    EXPECT_EQ(fms->nlogCtrl, 2);
    ASSERT_NE(fms->ctrlLogs, nullptr);
    EXPECT_EQ(fms->ctrlLogs[0], p.node(3));
    EXPECT_EQ(fms->ctrlLogs[1], p.node(9));
    auto* log = static_cast<LogData*>(p.node(3)->data);
    EXPECT_STREQ(log->label, "Flow_label");
    EXPECT_STREQ(log->units, "kg/s");
    EXPECT_FLOAT_EQ(log->os.scale, 2.0f);
    EXPECT_STREQ(static_cast<ColumnData*>(p.node(7)->data)->column, "column");
    EXPECT_STREQ(p.node(5)->name, "node5");
    EXPECT_EQ(static_cast<RavData*>(p.node(10)->data)->span, 3600);

    // Linking: the constant is out, inputs point at outputs and at the schedule's value.
    EXPECT_FLOAT_EQ(p.node(1)->out, 21.5f);
    EXPECT_EQ(p.node(2)->in1, &fms->WshLst[1]->value);
    EXPECT_EQ(fms->WshLst[1]->useCount, 1);
    EXPECT_EQ(fms->DshLst[1]->seeked, 1);
    EXPECT_EQ(p.node(3)->in1, &p.node(5)->out);
    auto* list = static_cast<ListData*>(p.node(4)->data);
    ASSERT_EQ(list->n, 3);
    EXPECT_EQ(list->vals[0], &p.node(1)->out);
    EXPECT_EQ(list->vals[1], &p.node(2)->out);
    EXPECT_EQ(list->nodeNrs, nullptr);
    EXPECT_EQ(p.node(7)->in1, nullptr);  // connected by the value file

    // Evaluation order by sequence number.
    std::vector<int> order;
    for (CtrlNode* n = fms->ctrlSeq; n; n = n->next) order.push_back(n->nr);
    EXPECT_EQ(order, (std::vector<int>{2, 4, 1, 3, 5, 6, 7, 8, 9, 10}));
    EXPECT_TRUE(haveCtrlNode_byType(fms->ctrlSeq, CT_PLY));
    EXPECT_FALSE(haveCtrlNode_byType(fms->ctrlSeq, CT_IRS));
    EXPECT_FALSE(haveCtrlNode_usesListTime(fms));

    // At 06:00 the ramp is at 0.5; sum = 21.5 + 0.5 + 21.5; ply = 1 + 0.5 * 21.5^2.
    setSchedulesAndControls(fms, 6 * 3600, 0);
    EXPECT_FLOAT_EQ(p.node(2)->out, 0.5f);
    EXPECT_FLOAT_EQ(p.node(4)->out, 43.5f);
    EXPECT_FLOAT_EQ(p.node(5)->out, 1.0f + 0.5f * 21.5f * 21.5f);
    // The log node comes before the polynomial it reads: it saw the polynomial's first 0.
    EXPECT_FLOAT_EQ(p.node(3)->out, -2.0f);
    EXPECT_FLOAT_EQ(p.node(9)->out, 21.5f);
    EXPECT_FLOAT_EQ(p.node(10)->out, 0.0f);
}

// A reads B. Earlier in the sequence it sees B's previous value, later the current one.
TEST(CtrlNetwork, SequenceDecidesWhetherAnInputLagsOneStep)
{
    struct Case {
        int seqA, seqB;
        std::vector<float> a;  // A after each evaluation; B counts 1, 2, 3
    } cases[] = {{1, 2, {0, 1, 2}}, {2, 1, {1, 2, 3}}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.seqA);
        // B adds the constant 1 to itself: a loop, which lags by one step.
        CtrlProject p(minimalWith(
            {"", "", controls({ctrl(1, "pas", k.seqA, 2), ctrl(2, "add", k.seqB, 2, 3), ctrl(3, "set", 3, 0, 0, "1")})}));
        for (int i = 0; i < 3; i++) {
            ctrl_sim(p.fms, 0);
            EXPECT_FLOAT_EQ(p.node(2)->out, (float)(i + 1));
            EXPECT_FLOAT_EQ(p.node(1)->out, k.a[i]);
        }
    }
}

TEST(CtrlNetwork, SensorsReadTheNetwork)
{
    std::string c = controls({
        ctrl(1, "sns", 1, 0, 0, sensor(1, 1, 1, "none", 273.15f), 1),
        ctrl(2, "sns", 2, 0, 0, sensor(-1, 1, 1)),
        ctrl(3, "sns", 3, 0, 0, sensor(1, 2, 2)),
        ctrl(4, "sns", 4, 0, 0, sensor(1, 2, 3)),
        ctrl(5, "sns", 5, 0, 0, sensor(1, 1, 3)),
        ctrl(6, "sns", 6, 0, 0, sensor(1, 1, 4)),
        ctrl(7, "sns", 7, 0, 0, sensor(1, 1, 0, "CO2", 2, 3), 1),
        ctrl(8, "sns", 8, 0, 0, sensor(1, 1, 5)),
    });
    CtrlProject p(minimalWith({"", "", c}));
    FlowmirState* fms = p.fms;
    EXPECT_EQ(fms->occupancyOn, 1);
    AirLink* path = p.link(LINK_PATH, 1);
    ASSERT_NE(path, nullptr);
    path->Flow[0] = 0.3;
    path->Flow[1] = -0.1;
    path->dP = 2.5;
    AirNode* z = p.zone(1);
    z->P = -1.25;
    z->Pgage = 0.75f;
    ctrl_sim(fms, 0);
    EXPECT_NEAR(p.node(1)->out, 20.0f, 1e-4f);
    EXPECT_FLOAT_EQ(p.node(2)->out, 293.15f);
    EXPECT_FLOAT_EQ(p.node(3)->out, 0.2f);
    EXPECT_FLOAT_EQ(p.node(4)->out, 2.5f);
    EXPECT_FLOAT_EQ(p.node(5)->out, -1.25f);
    EXPECT_FLOAT_EQ(p.node(6)->out, 0.75f);
    EXPECT_FLOAT_EQ(p.node(7)->out, -6.0f);  // no such species: 0, then offset and scale
    EXPECT_FLOAT_EQ(p.node(8)->out, 0.0f);   // no occupants
    // Values change in place: the sensors hold pointers, not copies.
    z->T = 303.15;
    ctrl_sim(fms, 0);
    EXPECT_NEAR(p.node(1)->out, 30.0f, 1e-4f);
}

TEST(CtrlNetwork, SpeciesSensor)
{
    std::string text = withSections(fixture("tr_tracer.prj"),
                                    {"", "", controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 1, 0, "tracer")),
                                                       ctrl(2, "sns", 2, 0, 0, sensor(-1, 1, 0, "tracer"))})});
    CtrlProject p(text);
    ctrl_sim(p.fms, 0);
    EXPECT_FLOAT_EQ(p.node(1)->out, 1e-3f);
    EXPECT_FLOAT_EQ(p.node(2)->out, 0.0f);
    EXPECT_EQ(static_cast<SensorData*>(p.node(1)->data)->species, 0);
}

// Junction 1 and 3 have terminals, junction 2 has none.
TEST(CtrlNetwork, JunctionAndTerminalSensors)
{
    std::string text = withSections(fixture("net_ducts.prj"),
                                    {"", "", controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 6, 2)),
                                                       ctrl(2, "sns", 2, 0, 0, sensor(1, 6, 1)),
                                                       ctrl(3, "sns", 3, 0, 0, sensor(2, 3, 1)),
                                                       ctrl(4, "sns", 4, 0, 0, sensor(3, 6, 3))})});
    CtrlProject p(text);
    AirLink* term = p.link(LINK_TERM, 1);
    ASSERT_NE(term, nullptr);
    term->Flow[0] = 0.05;
    term->Flow[1] = 0.02;
    p.link(LINK_TERM, 3)->dP = -4.0;
    ctrl_sim(p.fms, 0);
    EXPECT_FLOAT_EQ(p.node(1)->out, 0.07f);
    EXPECT_FLOAT_EQ(p.node(2)->out, 293.15f);
    EXPECT_FLOAT_EQ(p.node(3)->out, 295.15f);
    EXPECT_FLOAT_EQ(p.node(4)->out, -4.0f);
}

// A controlled temperature below 200 K is refused, and the node keeps its temperature.
TEST(CtrlNetwork, ControlledZoneTemperature)
{
    CtrlProject low(minimalWith({"", "", controls({ctrl(1, "set", 1, 0, 0, "150")})}, 1));
    setSchedulesAndControls(low.fms, 3600, 0);
    EXPECT_DOUBLE_EQ(low.zone(1)->T, 293.15f);
    EXPECT_NE(low.log().find("Control attempting to set temperature of zone 1 to 150 K."), std::string::npos);
    EXPECT_EQ(low->errorCount, 1);

    CtrlProject ok(minimalWith({"", "", controls({ctrl(1, "set", 1, 0, 0, "300")})}, 1));
    ok->densZP = 1;
    setSchedulesAndControls(ok.fms, 3600, 0);
    EXPECT_DOUBLE_EQ(ok.zone(1)->T, 300.0);
    EXPECT_NEAR(ok.zone(1)->rho, 1.1766038, 1e-6);
    EXPECT_EQ(ok->errorCount, 0);
}

TEST(CtrlNetwork, ControlledJunctionTemperature)
{
    std::string text = fixture("net_ducts.prj");
    text = replaced(text, "\n2 0 0 2 1 0 0 0 2 ", "\n2 0 0 2 1 0 0 1 2 ");
    text = replaced(text, "\n1 0 1 1 2 0 0 0 1 ", "\n1 0 1 1 2 0 0 1 1 ");
    CtrlProject p(withSections(text, {"", "", controls({ctrl(1, "set", 1, 0, 0, "150")})}));
    setSchedulesAndControls(p.fms, 3600, 0);
    std::string log = p.log();
    EXPECT_NE(log.find("Control attempting to set temperature of junction 2 to 150 K."), std::string::npos);
    // A junction with a terminal is not reported.
    EXPECT_EQ(log.find("temperature of junction 1"), std::string::npos);
    EXPECT_EQ(p->errorCount, 1);
    EXPECT_DOUBLE_EQ(p.junction(2)->T, 295.15f);
    EXPECT_DOUBLE_EQ(p.junction(1)->T, 293.15f);
}

struct Refusal {
    const char* label;
    std::string controls;
    const char* message;
};

// Errors of the section: the reading stops and the run ends.
TEST(CtrlNetwork, ReaderRefusals)
{
    const Refusal cases[] = {
        {"number", "1\n2 pas 1 0 0 1 0 a\nd", "Control number mis-match: 1"},
        {"sequence 0", controls({ctrl(1, "set", 0, 0, 0, "1")}), "Control node 1 has invalid sequence number"},
        {"sequence high", controls({ctrl(1, "set", 2, 0, 0, "1")}), "Control node 1 has invalid sequence number"},
        {"input 1", controls({ctrl(1, "pas", 1, 2)}), "Invalid control node number, node 1"},
        {"input 2", controls({ctrl(1, "add", 1, 1, -1)}), "Invalid control node number, node 1"},
        {"keyword", controls({ctrl(1, "xyz", 1)}), "Undefined Element Type: xyz"},
        {"type", controls({ctrl(1, "xyz", 1)}), "Invalid control type 52"},
        {"week schedule", controls({ctrl(1, "sch", 1, 0, 0, "2")}), "Bad week-schedule: 2"},
        {"day schedule", controls({ctrl(1, "dls", 1, 1, 0, "1 3")}), "Bad day-schedule: 3"},
        {"list count", controls({ctrl(1, "sum", 1, 0, 0, "-1")}), "Invalid list count of control 1: -1"},
        {"huge list", controls({ctrl(1, "max", 1, 0, 0, "30000 1")}), "Invalid list count of control 1: 30000"},
        {"degree", controls({ctrl(1, "ply", 1, 1, 0, "-2")}), "Invalid polynomial degree of control 1: -2"},
        {"count", "-3 ! control nodes", "Invalid record count in Controls section: -3"},
        {"end", "1 ! control nodes\n" + ctrl(1, "set", 1, 0, 0, "1") + ctrl(2, "set", 2, 0, 0, "1"),
         "PRJ read error in Controls section; enable the echo feature then see Log file for where error occurred"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.label);
        std::string text = minimalWith({kDay, kWeek, c.controls});
        ChildResult r = runChild([&] {
            CtrlProject p(text, false);
            _exit(0);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(std::string("ERROR ") + c.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("FATAL Project file errors must be fixed."), std::string::npos) << r.err;
    }
}

// Faults found while linking end the run at once.
TEST(CtrlNetwork, LinkingRefusals)
{
    std::string ducts = fixture("net_ducts.prj");
    std::string minimal = fixture("prj_minimal.prj");
    struct Case {
        const char* label;
        std::string project;
        std::string controls;
        const char* message;
    } cases[] = {
        {"no input", minimal, controls({ctrl(1, "pas", 1)}), " Invalid link, control 1"},
        {"no second input", minimal, controls({ctrl(1, "set", 1, 0, 0, "1"), ctrl(2, "mul", 2, 1, 0)}),
         " Invalid link, control 2"},
        {"list entry", minimal, controls({ctrl(1, "avg", 1, 0, 0, "2 1 5")}), " Invalid link, control 1"},
        {"zone", minimal, controls({ctrl(1, "sns", 1, 0, 0, sensor(2, 1, 1))}), " Invalid node, control 1"},
        {"zone 0", minimal, controls({ctrl(1, "sns", 1, 0, 0, sensor(0, 1, 1))}), " Invalid node, control 1"},
        {"junction", minimal, controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 3, 1))}), " Invalid node, control 1"},
        {"path", minimal, controls({ctrl(1, "sns", 1, 0, 0, sensor(2, 2, 2))}), " Invalid path, control 1"},
        {"duct", ducts, controls({ctrl(1, "sns", 1, 0, 0, sensor(3, 4, 2))}), " Invalid path, control 1"},
        {"occupant", minimal, controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 5, 0))}), " Invalid node, control 1"},
        {"terminal index", ducts, controls({ctrl(1, "sns", 1, 0, 0, sensor(4, 6, 2))}), " Invalid node, control 1"},
        {"no terminal", ducts, controls({ctrl(1, "sns", 1, 0, 0, sensor(2, 6, 2))}), " Invalid node, control 1"},
        {"zone flow", minimal, controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 1, 2))}), " Invalid measure, control 1"},
        {"zone measure 6", minimal, controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 1, 6))}),
         " Invalid measure, control 1"},
        {"path temperature", minimal, controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 2, 1))}),
         " Invalid measure, control 1"},
        {"duct gauge", ducts, controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 4, 4))}), " Invalid measure, control 1"},
        {"terminal occupancy", ducts, controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 6, 5))}),
         " Invalid measure, control 1"},
        {"sensor type", minimal, controls({ctrl(1, "sns", 1, 0, 0, sensor(1, 7, 1))}),
         " Invalid sensor type, control 1"},
        {"sequence", minimal,
         controls({ctrl(1, "set", 2, 0, 0, "1"), ctrl(2, "set", 1, 0, 0, "1"), ctrl(3, "pas", 2, 1)}),
         "Control node 3 sequenced twice"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string text = withSections(c.project, {"", "", c.controls});
        ChildResult r = runChild([&] {
            CtrlProject p(text);
            _exit(0);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(std::string("FATAL ") + c.message), std::string::npos) << r.err;
    }
    // Code 36 has no keyword; a node that holds it anyway is refused.
    ChildResult r = runChild([&] {
        CtrlProject p(withSections(minimal, {"", "", controls({ctrl(1, "pas", 1, 1)})}), false);
        p.node(1)->type = CT_SNS2;
        sim_data(p.fms);
        _exit(0);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Invalid control type: 36"), std::string::npos) << r.err;
}

// Every tracked byte comes back, including the moving average's ring and the log table.
TEST(CtrlNetwork, MemoryBalances)
{
    std::string c = controls({ctrl(1, "rav", 1, 2, 0, "0:05:00"), ctrl(2, "sch", 2, 0, 0, "1"),
                              ctrl(3, "log", 3, 1, 0, "0 1 0 avg -"), ctrl(4, "min", 4, 0, 0, "2 1 2")});
    CtrlProject p(minimalWith({kDay, kWeek, c}));
    for (int t = 60; t <= 600; t += 60) setSchedulesAndControls(p.fms, t, 1);
    // Schedule 0 .. 2 over the day: the mean of the last five steps' values.
    EXPECT_NEAR(p.node(1)->out, 2.0f * 420.0f / 86400.0f, 1e-7f);
    releaseRunMemory(p.fms);
    EXPECT_EQ(p->bytesAllocated, p->bytesFreed);
}

// A run calls the step evaluation at initialisation and once per step: a refused zone
// temperature is reported each time (hourly steps from 00:00 to 02:00).
TEST(CtrlNetwork, RunEvaluatesAtInitialisationAndEveryStep)
{
    std::string dir = scratchDir();
    std::string text = withSections(fixture("tr_tracer.prj"), {"", "", controls({ctrl(1, "set", 1, 0, 0, "150")})});
    text = replaced(text, "1 3 0 0 0 1 0 100 293.15", "1 3 0 1 0 1 0 100 293.15");
    writeFile(dir + "/tr_ctl.prj", text);
    ChildResult r = runHost("-q tr_ctl", dir);
    std::string log = readFile(dir + "/tr_ctl.xlog");
    size_t count = 0;
    for (size_t pos = 0; (pos = log.find("Control attempting to set temperature of zone 1 to 150 K.", pos)) !=
                         std::string::npos;
         pos++)
        count++;
    EXPECT_EQ(count, 3u) << log;
    (void)r;
}
