// Duct sequencing of the short-time-step method on hand-built duct networks: the flow order,
// the weakest-link cut of a circulation (logged once, its flow counted once), the failure
// table of a loop driven by a fan, and the air temperature carried through the ordered ducts.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "airflow/afe.h"
#include "network/airnet.h"
#include "testutil.h"
#include "transport/sts.h"

namespace
{

// A duct network of junctions 1..n and segments given as (from, to, flow).
struct DuctNet {
    TestState ts;
    StsRun run{};
    std::deque<AirNode> nodes;
    std::deque<StsJunction> jcts;
    std::deque<AirLink> links;
    std::deque<StsDuct> ducts;
    std::deque<Afe> elems;

    explicit DuctNet(int njct)
    {
        ts.openLog();
        ts->sts = &run;
        ts->dt = 10.0f;
        StsJunction** tail = &run.junctions;
        for (int j = 1; j <= njct; j++) {
            AirNode& n = nodes.emplace_back();
            n.nr = j;
            n.s_nr = j;
            n.T = 293.15;
            n.cp = 1003.5f;
            n.sumF = 1.0;
            n.Fmin = 1e-6f;
            StsJunction& r = jcts.emplace_back();
            r.node = &n;
            r.nr = j;
            r.net = 1;
            *tail = &r;
            tail = &r.next;
        }
    }
    StsJunction* J(int j) { return &jcts[j - 1]; }
    StsDuct* head() { return run.ducts; }

    void duct(int from, int to, double F, int code = AFE_DCT_PLR)
    {
        Afe& e = elems.emplace_back();
        e.type = code;
        AirLink& l = links.emplace_back();
        l.nodeN = J(from)->node;
        l.nodeM = J(to)->node;
        l.elem = &e;
        l.Flow[0] = F;
        StsDuct& d = ducts.emplace_back();
        d.link = &l;
        d.nr = (int)ducts.size();
        d.jctN = J(from);
        d.jctM = J(to);
        d.F = F;
        d.net = 1;
        StsDuct** p = &run.ducts;
        while (*p)
            p = &(*p)->next;
        *p = &d;
    }
    // A new step: accumulators cleared, terminal flows (kg/s, K) added.
    void step(const std::map<int, std::pair<double, double>>& into = {})
    {
        for (StsJunction& j : jcts)
            j.inflow = j.outflow = j.heatIn = j.heatTIn = 0.0;
        for (const auto& [j, ft] : into) {
            J(j)->inflow += ft.first;
            J(j)->heatIn += ft.first * 1003.5;
            J(j)->heatTIn += ft.first * 1003.5 * ft.second;
        }
        run.ducts = LinkSeq(ts.fms, run.ducts);
    }
    std::vector<int> order()
    {
        std::vector<int> o;
        for (StsDuct* d = run.ducts; d; d = d->next)
            o.push_back(d->nr);
        return o;
    }
};

int count(const std::string& text, const std::string& piece)
{
    int n = 0;
    for (size_t p = text.find(piece); p != std::string::npos; p = text.find(piece, p + 1))
        n++;
    return n;
}

int position(const std::vector<int>& order, int nr)
{
    for (size_t i = 0; i < order.size(); i++)
        if (order[i] == nr) return (int)i;
    return -1;
}

} // namespace

// A supply tree fed through one terminal junction, listed leaves first: each segment comes
// after every segment that feeds its upstream junction, and no cut is needed. A segment
// without flow is placed at once and changes no counts.
TEST(StsLinkSeq, TreeIsOrderedWithoutCut)
{
    DuctNet net(7);
    net.duct(4, 6, 0.1); // 1
    net.duct(4, 7, 0.1); // 2
    net.duct(2, 4, 0.2); // 3
    net.duct(3, 5, 0.1); // 4
    net.duct(1, 3, 0.1); // 5
    net.duct(1, 2, 0.2); // 6
    net.duct(5, 7, 0.0); // 7: closed damper
    net.step({{1, {0.3, 300.0}}});
    std::vector<int> o = net.order();
    ASSERT_EQ(o.size(), 7u);
    EXPECT_LT(position(o, 6), position(o, 3));
    EXPECT_LT(position(o, 3), position(o, 1));
    EXPECT_LT(position(o, 3), position(o, 2));
    EXPECT_LT(position(o, 5), position(o, 4));
    EXPECT_EQ(net.J(5)->outflow, 0.0);
    EXPECT_EQ(count(net.ts.log(), "Weakest Link"), 0);
    EXPECT_EQ(net.J(7)->nIn, 1);
    EXPECT_DOUBLE_EQ(net.J(7)->inflow, 0.1);
    EXPECT_DOUBLE_EQ(net.J(1)->outflow, 0.3);
    // The next step finds the order already made: one pass, the same order.
    net.step({{1, {0.3, 300.0}}});
    EXPECT_EQ(net.order(), o);
}

struct RingCase {
    const char* name;
    double terminal;  // kg/s into junction 1
    double f3;        // flow of the segment 3 -> 1
    int cut;          // duct expected to be cut
    const char* line; // its log line
};

// A ring J1 -> J2 -> J3 -> J1 fed at J1 is cut once, at the segment entering J1: the smallest
// share of its junction's inflow below 1; that inflow still holds each flow once.
TEST(StsLinkSeq, RingIsCutAtItsWeakestLink)
{
    const RingCase cases[] = {
        {"ring at 0.2 with 0.1 in", 0.1, 0.2, 3, " Weakest Link: 3, ratio 0.66667\n"},
        {"ring at 0.1 with 0.3 in", 0.3, 0.1, 3, " Weakest Link: 3, ratio 0.25000\n"},
    };
    for (const RingCase& c : cases) {
        SCOPED_TRACE(c.name);
        DuctNet net(3);
        net.duct(1, 2, c.f3);
        net.duct(2, 3, c.f3);
        net.duct(3, 1, c.f3);
        net.step({{1, {c.terminal, 280.0}}});
        std::string log = net.ts.log();
        EXPECT_EQ(count(log, "Weakest Link"), 1) << log;
        EXPECT_EQ(count(log, c.line), 1) << log;
        EXPECT_EQ(net.order().front(), c.cut);
        EXPECT_DOUBLE_EQ(net.J(1)->inflow, c.terminal + c.f3);
        EXPECT_EQ(net.order().size(), 3u);
    }
}

// Of two segments with the same share the first in the pending order is cut; the pending
// order is reversed by every pass that leaves records pending.
TEST(StsLinkSeq, EqualRatiosCutTheFirstPending)
{
    DuctNet net(4);
    net.duct(1, 2, 0.1); // 1: J2 gets 0.1 of 0.2
    net.duct(2, 1, 0.1); // 2: J1 gets 0.1 of 0.2
    net.duct(3, 4, 0.1); // unrelated pair, each fed by the other
    net.duct(4, 3, 0.1);
    net.step({{1, {0.1, 280.0}}, {2, {0.1, 280.0}}, {3, {0.1, 280.0}}, {4, {0.1, 280.0}}});
    std::string log = net.ts.log();
    EXPECT_EQ(count(log, "Weakest Link"), 2) << log;
    size_t first = log.find(" Weakest Link: 4, ratio 0.50000\n");
    size_t second = log.find(" Weakest Link: 2, ratio 0.50000\n");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_NE(second, std::string::npos) << log;
    EXPECT_LT(first, second);
    EXPECT_EQ(net.order(), (std::vector<int>{4, 3, 2, 1}));
}

// A ring driven by a duct fan with nothing else entering cannot be ordered: each segment
// carries all of its junction's inflow.
TEST(StsLinkSeq, FanLoopEndsTheRunWithTheTable)
{
    DuctNet net(3);
    net.J(3)->kind = 1;
    net.J(2)->node->sumF = 0.0;
    net.duct(1, 2, 0.2, AFE_DCT_FAN);
    net.duct(2, 3, 0.2);
    net.duct(3, 1, 0.2, AFE_DCT_DWC);
    net.ts->stepEndTime = 3600;
    ChildResult r = runChild([&] { net.step(); });
    EXPECT_EQ(r.status, 2);
    std::string log = net.ts.log();
    EXPECT_NE(log.find("\n*** Duct sequencing failed at 01:00:00\n"
                       "Still to be sequenced:\n"
                       "  Duct   From    To   Net  Flow [kg/s]  F-elt\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("     1     1J     2J **    1    2.000e-01  dct_fan ***\n"), std::string::npos) << log;
    EXPECT_NE(log.find("     2     2J **     3R    1    2.000e-01  dct_plr\n"), std::string::npos) << log;
    EXPECT_NE(log.find("     3     3R     1J    1    2.000e-01  dct_dwc\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Do the ducts form a loop with fans?\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Duct sequencing failed, see XLog file"), std::string::npos) << log;
}

// Heat: a junction without air mass takes the flow-weighted temperature of its inflows.
TEST(StsLinkTSim, MasslessJunctionMixesItsInflows)
{
    DuctNet net(3);
    net.J(1)->node->T = 300.0;
    net.J(2)->node->T = 280.0;
    net.duct(1, 3, 0.1);
    net.duct(2, 3, 0.3);
    net.step();
    LinkTSim(net.ts.fms, net.head());
    EXPECT_NEAR(net.J(3)->node->T, 285.0, 1e-9);
    // Fed only from zones: mixed first; with nothing entering it keeps its temperature.
    DuctNet lone(2);
    lone.J(1)->node->T = 290.0;
    lone.J(2)->node->T = 290.0;
    lone.duct(1, 2, 0.0);
    lone.step({{1, {0.2, 310.0}}});
    LinkTSim(lone.ts.fms, lone.head());
    EXPECT_NEAR(lone.J(1)->node->T, 310.0, 1e-9);
    EXPECT_EQ(lone.J(2)->node->T, 290.0);
}

// A junction with air mass downstream of a cut settles at the balance of what enters it:
// 0.1 kg/s at 300 K around the ring and 0.3 kg/s at 280 K from a terminal give 285 K.
TEST(StsLinkTSim, JunctionAfterACutSettlesAtTheBalance)
{
    DuctNet net(3);
    float held = 300.0f;
    net.J(3)->node->T = 300.0;
    net.J(3)->node->tctl = &held;
    for (int j = 1; j <= 3; j++)
        net.J(j)->node->M = 1.0;
    net.duct(1, 2, 0.1);
    net.duct(2, 3, 0.1);
    net.duct(3, 1, 0.1);
    for (int k = 0; k < 2000; k++) {
        net.step({{1, {0.3, 280.0}}});
        LinkTSim(net.ts.fms, net.head());
    }
    EXPECT_NEAR(net.J(1)->node->T, 285.0, 1e-6);
    EXPECT_NEAR(net.J(2)->node->T, 285.0, 1e-6);
    EXPECT_EQ(net.J(3)->node->T, 300.0);
}
