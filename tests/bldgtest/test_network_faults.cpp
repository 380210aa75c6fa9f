// Zone and junction numbers that no project can produce, and the second flow of an envelope
// path, on networks put together by hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "airflow/afe.h"
#include "bldgtest/bldgtest.h"
#include "network/airnet.h"
#include "testutil.h"

// The ambient and one conditioned zone of 10 m3, numbered as assembly numbers them.
struct HandNet {
    TestState s;
    AirNode zone{}, amb{}, stray{};
    Afe crack{}, trm{};
    AirLink link{};
    std::vector<FlowRow> rows;
    HandNet() : rows(2)
    {
        zone.styp = amb.styp = stray.styp = NODE_ZONE;
        zone.s_nr = 1;
        zone.V = 10.0f;
        zone.next = &amb;
        amb.flags = NF_UNCOND;
        s->nodeList = &zone;
        s->ambt = &amb;
        s->nzone = 1;
        crack.type = AFE_PLR_CRACK;
        trm.type = AFE_D_TERM;
        link.nodeN = &zone;
        link.nodeM = &amb;
        link.elem = &crack;
        s->linkList = &link;
    }
};

TEST(BuildingTestNetwork, NumbersOutOfRangeAreFatal)
{
    struct Case {
        const char* message;
        void (*setUp)(HandNet&);
        bool table;  // reached by the flow table, else by the volumes
    };
    const Case cases[] = {
        {"FATAL Invalid zone number: 5", [](HandNet& n) { n.zone.s_nr = 5; }, false},
        {"FATAL Invalid junction number: 2",
         [](HandNet& n) {
             n.stray.styp = NODE_JCT;
             n.stray.s_nr = 2;
             n.amb.next = &n.stray;
             n.s->njct = 1;
         },
         false},
        {"FATAL Invalid zone number: 7 path: 3",
         [](HandNet& n) {
             n.stray.s_nr = 7;
             n.link.nodeM = &n.stray;
             n.link.s_nr = 3;
         },
         true},
        {"FATAL Invalid zone number: 9 terminal: 4\n",
         [](HandNet& n) {
             n.stray.s_nr = 9;
             n.link.styp = LINK_TERM;
             n.link.elem = &n.trm;
             n.link.nodeM = &n.stray;
             n.link.s_nr = 4;
         },
         true},
        {"FATAL Invalid zone number: 9 terminal: \n",
         [](HandNet& n) {
             n.stray.s_nr = 9;
             n.link.styp = LINK_LEAK;
             n.link.nodeM = &n.stray;
             n.link.s_nr = 4;
         },
         true},
    };
    for (const Case& c : cases) {
        HandNet n;
        c.setUp(n);
        ChildResult r = runChild([&] {
            BtVolumes v{};
            if (c.table)
                bt_flow_table(n.s.fms, n.rows.data(), &v);
            else
                bt_volumes(n.s.fms, &v);
            _exit(0);
        });
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

// Only a two-opening door adds its second flow; any other element with one is reported and
// counted by its first flow alone.
TEST(BuildingTestNetwork, SecondFlowOfAnEnvelopePath)
{
    HandNet n;
    n.link.Flow[0] = -0.3;
    n.link.Flow[1] = 0.1;
    n.link.s_nr = 6;
    n.crack.type = AFE_DOR_PL2;
    EXPECT_DOUBLE_EQ(bt_envelope_flow(n.s.fms, &n.link, 1), 0.4);
    n.crack.type = AFE_DOR_DOOR;
    n.s.openLog();
    EXPECT_DOUBLE_EQ(bt_envelope_flow(n.s.fms, &n.link, 1), 0.3);
    EXPECT_NE(n.s.log().find("Unexpected 2nd flow, path 6; call Orvo"), std::string::npos) << n.s.log();
}
