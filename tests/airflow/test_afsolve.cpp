// The airflow network solution on small hand-built networks: assembly signs and storage,
// isolated nodes, the linear first estimate, both Newton variants with every linear solver
// against closed forms, convergence, the iteration limit and the failure report.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "airflow/afe.h"
#include "airflow/afe_models.h"
#include "airflow/afsolve.h"
#include "airflow/pcg.h"
#include "airflow/skyline.h"
#include "airflow/spline.h"
#include "network/airnet.h"
#include "network/sparse.h"
#include "support/heap.h"
#include "testutil.h"

namespace
{

// Power law F = turb |dP|^expt in the direction of dP, times mult; linear below 1e-9 Pa.
double powerLaw(const AirLink* link, double* dFdP)
{
    const AfePlr* p = static_cast<const AfePlr*>(link->elem->data);
    double a = fabs(link->dP);
    if (a < 1e-9) {
        *dFdP = p->turb * pow(1e-9, p->expt - 1.0) * link->mult;
        return *dFdP * link->dP;
    }
    double F = p->turb * pow(a, p->expt) * link->mult;
    *dFdP = p->expt * F / a;
    return link->dP < 0 ? -F : F;
}

int testPlr(FlowmirState*, AirLink* link)
{
    link->Flow[0] = powerLaw(link, &link->dFdP);
    link->Flow[1] = 0.0;
    return 1;
}

// The same law without a derivative, in two equal halves: needs the numerical derivative.
int testSplit(FlowmirState*, AirLink* link)
{
    double d;
    double F = powerLaw(link, &d);
    link->Flow[0] = link->Flow[1] = 0.5 * F;
    link->dFdP = 0.0;
    return 2;
}

int testConst(FlowmirState*, AirLink* link)
{
    link->Flow[0] = static_cast<const AfeCnf*>(link->elem->data)->flowRate * link->mult;
    link->Flow[1] = link->dFdP = 0.0;
    return 1;
}

// A hand-built network: nodes, links and elements, numbered and with the matrix storage
// of the chosen solver. Variable-pressure nodes are numbered first, in list order.
struct Net {
    FlowmirState* fms;
    std::deque<AirNode> nodes;
    std::deque<AirLink> links;
    std::deque<Afe> elems;
    std::deque<AfePlr> plrs;
    std::deque<AfeCnf> cnfs;
    std::deque<float> winds;
    float one = 1.0f;
    std::vector<int> ija;
    std::vector<double> sa, b, x;
    Skyline sky{};
    AfMat mat{};
    bool built = false;

    explicit Net(FlowmirState* f) : fms(f)
    {
        fms->dayofy = 1;
        fms->stepEndTime = 3600;
        fms->Pambt = 101325.0;
        fms->rdt = 1.0 / 300.0;
    }
    ~Net()
    {
        if (!built) return;
        if (mat.slae == 0) sky_fre(fms, &sky);
        if (mat.slae == 1) pcg_fre(fms, &mat);
        if (mat.slae == 2) fre_mc(fms, mat.aa, 1, mat.nvar, 1, mat.nvar, sizeof(double));
        if (fms->JfacBins) fre_vt(fms, fms->JfacBins, 0, fms->nJfacBins - 1);
        fms->nJfacBins = 0;
    }

    AirNode* node(int styp, int s_nr, bool var)
    {
        nodes.emplace_back();
        AirNode* n = &nodes.back();
        n->flags = var ? NF_VARP : 0;
        n->styp = styp;
        n->s_nr = s_nr;
        n->nr = (int)nodes.size();
        n->T = 293.15;
        n->R = 287.055;
        n->rho = 1.2;
        n->rhomu = 1.0f;
        n->Fmin = 1e-12f;
        snprintf(n->name, sizeof n->name, "%c%d", styp == NODE_ZONE ? 'Z' : 'J', s_nr);
        return n;
    }
    AirNode* zone(int s_nr) { return node(NODE_ZONE, s_nr, true); }
    AirNode* ambient() { return node(NODE_ZONE, 0, false); }

    AirLink* link(AirNode* N, AirNode* M, Afe* e, float wind)
    {
        winds.push_back(wind);
        links.emplace_back();
        AirLink* l = &links.back();
        l->nodeN = N;
        l->nodeM = M;
        l->elem = e;
        l->windP = &winds.back();
        l->ctrl = &one;
        l->mult = 1.0;
        l->nr = (int)links.size();
        l->s_nr = l->nr;
        return l;
    }
    Afe* elem(int type, void* data, AfeModel model)
    {
        elems.push_back(Afe{data, model, (int)elems.size() + 1, type, "e"});
        return &elems.back();
    }
    AirLink* crack(AirNode* N, AirNode* M, float turb, float expt, float wind = 0.0f,
                   AfeModel model = testPlr)
    {
        plrs.push_back(AfePlr{turb, turb, expt});
        return link(N, M, elem(AFE_PLR_CRACK, &plrs.back(), model), wind);
    }
    AirLink* constFlow(AirNode* N, AirNode* M, float flow)
    {
        cnfs.push_back(AfeCnf{flow});
        return link(N, M, elem(AFE_FAN_CMF, &cnfs.back(), testConst), 0.0f);
    }

    // Numbering, the lower-triangle structure and the solver storage.
    void build(int slae, int method = 1, int itmax = 30, float relcnvg = 1e-8f)
    {
        built = true;
        for (size_t i = 0; i < nodes.size(); i++)
            nodes[i].next = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
        for (size_t i = 0; i < links.size(); i++)
            links[i].next = i + 1 < links.size() ? &links[i + 1] : nullptr;
        fms->nodeList = &nodes[0];
        fms->linkList = links.empty() ? nullptr : &links[0];
        fms->nafnd = (int)nodes.size();
        fms->nafpt = (int)links.size();
        int n = 0;
        for (AirNode& nd : nodes)
            if (nd.flags & NF_VARP) nd.eqn = ++n;
        int e = n;
        for (AirNode& nd : nodes)
            if (!(nd.flags & NF_VARP)) nd.eqn = ++e;
        int neq = e;
        std::vector<std::set<int>> rows(neq + 1);
        for (AirLink& l : links)
            if ((l.nodeN->flags & l.nodeM->flags & NF_VARP) && !(l.flags & LF_NOOFFD)) {
                int r = std::max(l.nodeN->eqn, l.nodeM->eqn), c = std::min(l.nodeN->eqn, l.nodeM->eqn);
                rows[r].insert(c);
            }
        ija.assign(neq + 2, 0);
        ija[1] = neq + 2;
        for (int i = 1; i <= neq; i++) {
            for (int c : rows[i]) ija.push_back(c);
            ija[i + 1] = (int)ija.size();
        }
        sa.assign(ija.size(), 0.0);
        b.assign(neq + 1, 0.0);
        x.assign(neq + 1, 0.0);
        for (AirLink& l : links)
            if ((l.nodeN->flags & l.nodeM->flags & NF_VARP) && !(l.flags & LF_NOOFFD))
                l.offd = sa_find(ija.data(), std::max(l.nodeN->eqn, l.nodeM->eqn),
                                 std::min(l.nodeN->eqn, l.nodeM->eqn));
        mat.neq = neq;
        mat.nvar = n;
        mat.nsa = (int)sa.size() - 1;
        mat.method = n == 0 ? -1 : method;
        mat.itmax = itmax;
        mat.relcnvg = relcnvg;
        mat.relax = 0.75f;
        mat.sym = 1;
        mat.slae = slae;
        mat.pcgItmax = neq + 10;
        mat.pcgCnvg = 1e-10f;
        mat.ija = ija.data();
        mat.sa = sa.data();
        mat.b = b.data();
        mat.x = x.data();
        if (slae == 0) {
            sky.sym = 1;
            sky_alc(fms, n, mat.ija, &sky, nullptr);
            mat.sky = &sky;
        } else if (slae == 1) {
            pcg_alc(fms, &mat);
        } else {
            mat.aa = static_cast<double**>(
                alc_mc(fms, 1, std::max(n, 1), 1, std::max(n, 1), sizeof(double), "af-aa"));
        }
        fms->nJfacBins = itmax + 2;
        fms->JfacBins = alc_vt<int>(fms, 0, itmax + 1, "JfacBins");
        fms->afMat = &mat;
    }

    int solve() { return mat.method == 1 ? SolveAfstr(fms, &mat) : SolveAfsur(fms, &mat); }
};

// Pressure of one node between its links, by bisection of its balance.
double bisect(const std::function<double(double)>& balance, double lo, double hi)
{
    for (int i = 0; i < 200; i++) {
        double mid = 0.5 * (lo + hi);
        if ((balance(mid) > 0) == (balance(lo) > 0))
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

double signedPow(double v, double e)
{
    return v < 0 ? -pow(-v, e) : pow(v, e);
}

struct Variant {
    int method, slae;
};
const Variant variants[] = {{1, 0}, {1, 1}, {1, 2}, {0, 0}, {0, 1}, {0, 2}};

std::string name(const Variant& v)
{
    return std::string(v.method ? "trust region" : "under-relaxation") + ", slae " + std::to_string(v.slae);
}

// --- assembly -----------------------------------------------------------------------

TEST(FillAf, SignsOfFlowsDerivativesAndTheStorageTerm)
{
    TestState ts;
    Net net(ts.fms);
    AirNode* z1 = net.zone(1);
    AirNode* z2 = net.zone(2);
    AirNode* amb = net.ambient();
    z1->flags |= NF_VOLUME | NF_STORAGE;
    z1->V = 50.0f;
    z1->M = 60.0;
    z1->M0 = 59.9;
    z1->src = 0.001;
    AirLink* in = net.crack(amb, z1, 0.01f, 0.6f, 5.0f);
    AirLink* mid = net.crack(z1, z2, 0.02f, 0.7f);
    AirLink* out = net.crack(z2, amb, 0.015f, 0.5f);
    net.build(0);
    z1->P = 2.0;
    z2->P = 1.0;
    ASSERT_EQ(FillAf(ts.fms, &net.mat), 0);

    // The element data are single precision.
    double F1 = 0.01f * pow(3.0, 0.6f), F2 = 0.02f * pow(1.0, 0.7f), F3 = 0.015f;
    EXPECT_DOUBLE_EQ(in->dP, 3.0);
    EXPECT_DOUBLE_EQ(in->Flow[0], F1);
    double dMdt = (60.0 - 59.9) * ts->rdt;
    double storage = (double)(float)(50.0f * ts->rdt) / (293.15 * 287.055);
    EXPECT_DOUBLE_EQ(z1->dMdt, dMdt);
    EXPECT_NEAR(z1->resid, 0.001 - dMdt + F1 - F2, 1e-15);
    EXPECT_NEAR(z1->sumF, 0.001 + dMdt + F1 + F2, 1e-15);
    EXPECT_NEAR(z2->resid, F2 - F3, 1e-15);
    EXPECT_NEAR(net.sa[z1->eqn], storage + in->dFdP + mid->dFdP, 1e-15);
    EXPECT_NEAR(net.sa[z2->eqn], mid->dFdP + out->dFdP, 1e-15);
    EXPECT_DOUBLE_EQ(net.sa[mid->offd], -mid->dFdP);
    // The constant-pressure row: identity, no residual, but its flows are summed.
    EXPECT_EQ(net.sa[amb->eqn], 1.0);
    EXPECT_EQ(amb->resid, 0.0);
    EXPECT_NEAR(amb->sumF, F1 + F3, 1e-15);
    EXPECT_FLOAT_EQ(out->Ftot, (float)F3);
    EXPECT_EQ(ts->nFillAf, 1);
}

TEST(FillAf, IsolatedNodesAreHeldForOneAssembly)
{
    TestState ts;
    ts.openLog();
    Net net(ts.fms);
    AirNode* amb = net.ambient();
    AirNode* z1 = net.zone(1);
    AirNode* z2 = net.zone(2);
    AirNode* j3 = net.node(NODE_JCT, 3, true);
    z1->flags |= NF_VOLUME;
    z1->V = 40.0f;
    z1->M = 48.0;
    z1->P = 7.0;
    j3->P = 3.0;
    // Zone 1 and junction 3 only see fixed flows: their rows have no diagonal.
    net.constFlow(amb, z1, 0.01f);
    net.constFlow(z1, amb, 0.01f);
    net.constFlow(j3, amb, 0.002f);
    net.crack(amb, z2, 0.01f, 0.65f, 4.0f);
    net.crack(z2, amb, 0.01f, 0.65f);
    net.build(0);
    ASSERT_EQ(FillAf(ts.fms, &net.mat), 0);

    std::string log = ts.log();
    EXPECT_NE(log.find(" Isolated zone: 1 Jan01 01:00:00\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" Isolated junction: 3 Jan01 01:00:00\n"), std::string::npos) << log;
    EXPECT_DOUBLE_EQ(z1->P, 48.0 * 287.055 * 293.15 / 40.0 - 101325.0);
    EXPECT_EQ(j3->P, 3.0);  // no volume: keeps its pressure
    for (AirNode* n : {z1, j3}) {
        EXPECT_EQ(n->flags & (NF_VARP | NF_ISOLATED), (uint32_t)NF_VARP);
        EXPECT_EQ(net.sa[n->eqn], 1.0);
        EXPECT_EQ(n->resid, 0.0);
    }
    EXPECT_EQ(ts->errorCount, 0);

    // They are re-examined, and stand aside, in every assembly of a solution.
    EXPECT_GE(SolveAfstr(ts.fms, &net.mat), 1);
    EXPECT_TRUE(af_converged(ts.fms, &net.mat));
    EXPECT_NEAR(z2->P, 2.0, 1e-6);
}

// --- solutions against closed forms -----------------------------------------------

TEST(Newton, SeriesCracksMatchTheClosedFormWithEveryVariantAndSolver)
{
    // Ambient -> zone 1 -> zone 2 -> ambient, driven by 10 Pa of wind on the first crack.
    const double C[] = {0.01, 0.02, 0.015}, n = 0.65, w = 10.0;
    double sum = 0.0;
    for (double c : C) sum += pow(c, -1.0 / n);
    double F = pow(w / sum, n);
    double P1 = w - pow(F / C[0], 1.0 / n), P2 = pow(F / C[2], 1.0 / n);

    std::vector<double> first;
    for (const Variant& v : variants) {
        SCOPED_TRACE(name(v));
        TestState ts;
        Net net(ts.fms);
        AirNode* amb = net.ambient();
        AirNode* z1 = net.zone(1);
        AirNode* z2 = net.zone(2);
        net.crack(amb, z1, C[0], n, w);
        net.crack(z1, z2, C[1], n);
        AirLink* out = net.crack(z2, amb, C[2], n);
        net.build(v.slae, v.method);
        ts->afInit = 1;
        ASSERT_EQ(init_Af(ts.fms, &net.mat), 0);
        int it = net.solve();
        EXPECT_GT(it, 0);
        EXPECT_LT(it, 30);
        EXPECT_TRUE(af_converged(ts.fms, &net.mat));
        EXPECT_NEAR(out->Flow[0], F, 1e-7 * F);
        EXPECT_NEAR(z1->P, P1, 1e-5);
        EXPECT_NEAR(z2->P, P2, 1e-5);
        EXPECT_EQ(ts->nSolveAf, 1);
        EXPECT_EQ(ts->JfacBins[it], 1);
        EXPECT_EQ(ts->errorCount, 0);
        // All variants agree within what the convergence test allows.
        if (first.empty()) {
            first = {z1->P, z2->P};
        } else {
            EXPECT_NEAR(z1->P, first[0], 1e-5);
            EXPECT_NEAR(z2->P, first[1], 1e-5);
        }
    }
}

TEST(Newton, ParallelCracksWithASourceAndNumericalDerivatives)
{
    // Two openings in parallel from the ambient (one differentiated numerically and
    // returning two flows), a fan-like source in the zone, one crack out.
    const double w = 5.0, src = 0.002;
    auto balance = [&](double P) {
        return src + 0.004 * signedPow(w - P, 0.5) + 0.006 * signedPow(w - P, 0.65) -
               0.012 * signedPow(P, 0.6);
    };
    double P = bisect(balance, -100.0, 100.0);
    for (const Variant& v : variants) {
        SCOPED_TRACE(name(v));
        TestState ts;
        Net net(ts.fms);
        AirNode* amb = net.ambient();
        AirNode* z1 = net.zone(1);
        z1->src = src;
        net.crack(amb, z1, 0.004f, 0.5f, w);
        AirLink* split = net.crack(amb, z1, 0.006f, 0.65f, w, testSplit);
        split->flags |= LF_NUMDRV;
        net.crack(z1, amb, 0.012f, 0.6f);
        net.build(v.slae, v.method);
        ts->afInit = 1;
        init_Af(ts.fms, &net.mat);
        EXPECT_GT(net.solve(), 0);
        EXPECT_TRUE(af_converged(ts.fms, &net.mat));
        EXPECT_NEAR(z1->P, P, 1e-5);
        // The derivative of each of the two halves.
        EXPECT_NEAR(split->dFdP, 0.5 * 0.65 * 0.006 * pow(w - P, 0.65) / (w - P), 1e-7);
        EXPECT_FLOAT_EQ(split->Ftot, (float)(0.006 * pow(w - P, 0.65)));
    }
}

TEST(Newton, ConvergedStartMakesNoIteration)
{
    for (int method = 0; method <= 1; method++) {
        TestState ts;
        Net net(ts.fms);
        AirNode* amb = net.ambient();
        AirNode* z1 = net.zone(1);
        net.crack(amb, z1, 0.01f, 0.5f, 8.0f);
        net.crack(z1, amb, 0.01f, 0.5f);
        net.build(0, method);
        z1->P = 4.0;  // the exact solution
        EXPECT_EQ(net.solve(), 0) << method;
        EXPECT_EQ(ts->JfacBins[0], 1);
        EXPECT_EQ(ts->nLufSkyS, 0);
        EXPECT_EQ(ts->nFillAf, 1);
    }
}

TEST(Newton, NetworkWithoutVariableNodesIsOnlyAssembled)
{
    TestState ts;
    Net net(ts.fms);
    AirNode* amb = net.ambient();
    AirNode* z1 = net.node(NODE_ZONE, 1, false);
    z1->P = 9.0;
    AirLink* l = net.crack(z1, amb, 0.01f, 0.5f);
    net.build(0);
    EXPECT_EQ(net.mat.method, -1);
    EXPECT_EQ(SolveAfnvn(ts.fms, &net.mat), 0);
    EXPECT_FLOAT_EQ(l->Ftot, 0.03f);
}

// --- the iteration limit and the failure report -----------------------------------

// A network that one Newton step cannot solve: a square-root law from a zero start.
void hardNetwork(Net& net, int slae, int method, int itmax)
{
    AirNode* amb = net.ambient();
    AirNode* z1 = net.zone(1);
    AirNode* z2 = net.zone(2);
    net.crack(amb, z1, 0.01f, 0.5f, 50.0f);
    net.crack(z1, z2, 0.03f, 0.5f);
    net.crack(z2, amb, 0.002f, 0.5f);
    net.build(slae, method, itmax, 1e-9f);
}

TEST(Newton, ItmaxZeroMakesExactlyOneIteration)
{
    for (int method = 0; method <= 1; method++) {
        TestState ts;
        Net net(ts.fms);
        hardNetwork(net, 0, method, 0);
        EXPECT_EQ(net.solve(), 1) << method;
        EXPECT_EQ(ts->nLufSkyS, 1) << method;  // one factorisation, one Newton step
        EXPECT_EQ(ts->JfacBins[1], 1);
        EXPECT_EQ(ts->afIgnoreFail, 1);
    }
}

TEST(Newton, NegativeItmaxUnderRelaxationReportsAtOnce)
{
    TestState ts;
    ts.openLog();
    Net net(ts.fms);
    hardNetwork(net, 0, 0, 5);
    net.mat.itmax = -1;
    EXPECT_EQ(net.solve(), 0);
    EXPECT_EQ(ts->nFillAf, 0);
    EXPECT_NE(ts.log().find(" Airflow iterations failed to converge at 01:00:00 / Jan01\n"),
              std::string::npos);
}

TEST(Newton, FailureReportListsTheUnconvergedNodesOnce)
{
    TestState ts;
    ts.openLog();
    Net net(ts.fms);
    hardNetwork(net, 1, 1, 0);
    AirNode* z2 = &net.nodes[2];
    z2->Fmin = 1e3f;  // counts as converged: not listed
    net.solve();
    AirNode* z1 = &net.nodes[1];
    ASSERT_FALSE(fabs(z1->resid) <= 1e-9 * z1->sumF);
    char line[128];
    snprintf(line, sizeof line, "   1z  %11.3e %11.3e %11.3e\n", z1->resid, z1->sumF,
             fabs(z1->resid) / z1->sumF);
    std::string log = ts.log();
    std::string want = " Airflow iterations failed to converge at 01:00:00 / Jan01\n"
                       " node    sum(F)      sum|F|      rel err\n" +
                       std::string(line);
    EXPECT_NE(log.find(want), std::string::npos) << log;
    EXPECT_NE(log.find("WARNING  (file afsolve, line"), std::string::npos);
    EXPECT_EQ(ts->errorCount, 0);

    // Once ignored, a failure is one log line.
    size_t before = log.size();
    net.solve();
    std::string later = ts.log().substr(before);
    EXPECT_EQ(later.find("(file afsolve"), std::string::npos) << later;
    EXPECT_NE(later.find("WARNING: Airflow iterations failed to converge at 01:00:00 / Jan01\n"),
              std::string::npos)
        << later;
    EXPECT_EQ(later.find(" node    sum(F)"), std::string::npos);
}

TEST(Newton, PerIterationAndPerSolutionLogLines)
{
    TestState ts;
    ts.openLog();
    Net net(ts.fms);
    hardNetwork(net, 1, 1, 30);
    ts->afLogSolve = ts->afLogIter = 1;
    int it = net.solve();
    std::string log = ts.log();
    EXPECT_NE(log.find("    iter  1, damp 1.000, Emax "), std::string::npos) << log;
    EXPECT_NE(log.find("(E=1 "), std::string::npos);
    char tail[96];
    snprintf(tail, sizeof tail, "01:00:00 SolveAfSTR: %d NR iter, %d CG iter, ", it, ts->nSaPcgIt);
    EXPECT_NE(log.find(tail), std::string::npos) << log;
}

// --- refusing unsound nodes --------------------------------------------------------

TEST(Newton, NodeWithoutTemperatureOrGasConstantIsRefused)
{
    for (int which = 0; which < 2; which++) {
        TestState ts;
        ts.openLog();
        Net net(ts.fms);
        hardNetwork(net, 0, 1, 10);
        AirNode* z1 = &net.nodes[1];
        z1->flags |= NF_VOLUME | NF_STORAGE;
        z1->V = 30.0f;
        (which ? z1->R : z1->T) = 0.0;
        z1->P = 1.5;
        EXPECT_EQ(SolveAfstr(ts.fms, &net.mat), 0);
        EXPECT_EQ(SolveAfsur(ts.fms, &net.mat), 0);
        EXPECT_EQ(init_Af(ts.fms, &net.mat), 1);
        EXPECT_EQ(FillAf(ts.fms, &net.mat), 1);
        EXPECT_EQ(z1->P, 1.5);
        EXPECT_EQ(ts->errorCount, 4);
        EXPECT_NE(ts.log().find(" Air node 2 (zone 1 Z1) has temperature"), std::string::npos) << ts.log();
        EXPECT_EQ(ts->nLufSkyS, 0);
    }
}

// --- the linear first estimate ------------------------------------------------------

// One zone held by a reference crack of known coefficient to the ambient, and the link
// under test from the ambient with 10 Pa of wind: C (w - P) + X = Cref P.
struct LinearCase {
    const char* name;
    int type;
    std::function<void(Net&, AirLink*)> setup;
    std::function<double(Net&, AirLink*)> C;  // expected
    std::function<double(Net&, AirLink*)> X;
};

TEST(InitAf, LinearLawOfEachElementKind)
{
    static AfePlr plr{0.003f, 0.01f, 0.6f};
    static AfePl2 pl2{0.002f, 0.01f, 0.6f, 0.5f, 0.0f};
    static AfeJwa jwa{0.05f, 20.0f, 0.5f};
    static AfeQfr qfr{4.0f, 2.0f}, qfr0{0.0f, 16.0f};
    static AfeCnf cnf{0.02f};
    static AfeFan fan{0.004f, 0.01f, 0.5f, 1.2f, 0.6f, 80.0f, 0.3f, 200.0f, -100.0f, 0.0f, 0.0f};
    static AfeTrm trm{0.01f, 0.007f, 0, 0, 0.1f, 0, 0};
    static DuctSeg seg{};
    seg.Clin = 0.009f;
    static CsfPoint fspPts[] = {{-10, -0.2, 0, 0, 0}, {0, 0, 0, 0, 0}, {10, 0.2, 0, 0, 0}};
    static CsfPoint psfPts[] = {{-1, -50, 0, 0, 0}, {0, 0, 0, 0, 0}, {1, 50, 0, 0, 0}};
    // Flat at 0: the first segment is the straight line through the first two points.
    static CsfPoint flatPts[] = {{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {2, 40, 0, 0, 0}};
    static AfeCsf fsp{3, 0, fspPts}, psf{3, 0, psfPts}, flat{3, 0, flatPts};
    TestState probe;
    ASSERT_EQ(CSFinit(probe.fms, 3, fspPts), 0);
    ASSERT_EQ(CSFinit(probe.fms, 3, psfPts), 0);
    ASSERT_EQ(CSFinit(probe.fms, 3, flatPts), 0);
    static float half = 0.5f, zero = 0.0f;

    auto rhomu = [](Net&, AirLink* l) { return 0.5 * ((double)l->nodeN->rhomu + l->nodeM->rhomu); };
    auto none = [](Net&, AirLink*) { return 0.0; };
    auto scaled = [](AirLink* l) {
        l->ctrl = &half;
        l->mult = 2.0;
    };
    const LinearCase cases[] = {
        {"power law", AFE_PLR_CRACK,
         [&](Net&, AirLink* l) {
             l->elem->data = &plr;
             scaled(l);
         },
         [&](Net& n, AirLink* l) { return rhomu(n, l) * 0.003f * 0.5 * 2.0; }, none},
        {"two-opening door", AFE_DOR_PL2,
         [&](Net&, AirLink* l) {
             l->elem->data = &pl2;
             scaled(l);
         },
         [&](Net& n, AirLink* l) { return 2.0 * rhomu(n, l) * 0.002f * 0.5 * 2.0; }, none},
        {"self-regulating vent", AFE_SRV_JWA, [&](Net&, AirLink* l) { l->elem->data = &jwa; },
         [](Net&, AirLink* l) { return 0.5 * (l->nodeN->rho + l->nodeM->rho) * 0.05f / 20.0f; }, none},
        {"quadratic law", AFE_QFR_QAB, [&](Net&, AirLink* l) { l->elem->data = &qfr; },
         [](Net&, AirLink*) { return 0.25; }, none},
        {"quadratic law without a linear term", AFE_QFR_FAB, [&](Net&, AirLink* l) { l->elem->data = &qfr0; },
         [](Net&, AirLink*) { return 0.25; }, none},  // secant through 1 Pa
        {"constant mass flow", AFE_FAN_CMF,
         [&](Net&, AirLink* l) {
             l->elem->data = &cnf;
             scaled(l);
         },
         none, [](Net&, AirLink*) { return (double)(0.5f * 0.02f) * 2.0; }},
        {"constant volume flow", AFE_FAN_CVF,
         [&](Net&, AirLink* l) {
             l->elem->data = &cnf;
             scaled(l);
         },
         none, [](Net&, AirLink* l) { return 0.5 * (l->nodeN->rho + l->nodeM->rho) * 0.02f * 0.5 * 2.0; }},
        {"fan off", AFE_FAN_FAN,
         [&](Net&, AirLink* l) {
             l->elem->data = &fan;
             l->ctrl = &zero;
             l->mult = 2.0;
         },
         [&](Net& n, AirLink* l) { return rhomu(n, l) * 0.004f * 2.0; }, none},
        {"fan running", AFE_FAN_FAN, [&](Net&, AirLink* l) { l->elem->data = &fan; }, none,
         [&](Net& n, AirLink* l) {
             // The curve at half the initialisation pressure, from half its flow.
             AirLink probeLink = *l;
             probeLink.dP = 0.5 * 80.0;
             probeLink.lastX = 0.5f * 0.6f;
             afe_fan(n.fms, &probeLink);
             return probeLink.Flow[0];
         }},
        {"flow spline", AFE_CSF_FSP, [&](Net&, AirLink* l) { l->elem->data = &fsp; },
         [](Net&, AirLink*) { return 0.02; }, none},
        {"pressure spline", AFE_CSF_PSF, [&](Net&, AirLink* l) { l->elem->data = &psf; },
         [](Net&, AirLink*) { return 1.0 / 50.0; }, none},
        {"pressure spline flat at zero", AFE_CSF_PSF, [&](Net&, AirLink* l) { l->elem->data = &flat; },
         [](Net&, AirLink*) { return 2.0 / 40.0; }, none},  // secant to the last point
        {"Darcy-Weisbach duct", AFE_DCT_DWC,
         [&](Net&, AirLink* l) {
             l->elem->data = nullptr;
             l->dd = &seg;
         },
         [&](Net& n, AirLink* l) { return rhomu(n, l) * 0.009f; }, none},
        {"terminal", AFE_D_TERM, [&](Net&, AirLink* l) { l->elem->data = &trm; },
         [&](Net& n, AirLink* l) { return rhomu(n, l) * 0.007f; }, none},
        {"system supply", AFE_AHS_SR,
         [&](Net&, AirLink* l) {
             l->elem->data = nullptr;
             l->designFlow = 0.03f;
             l->ctrl = &half;
         },
         none, [](Net&, AirLink*) { return 0.5 * 0.03f; }},
        {"duct leak", AFE_D_LEAK, [&](Net&, AirLink* l) { l->elem->data = nullptr; }, none, none},
    };
    const double w = 10.0, Cref = 0.01;
    for (const LinearCase& c : cases) {
        SCOPED_TRACE(c.name);
        TestState ts;
        Net net(ts.fms);
        AirNode* amb = net.ambient();
        AirNode* z1 = net.zone(1);
        amb->rhomu = 1.1f;
        z1->rhomu = 0.9f;
        z1->rho = 1.1;
        AirLink* l = net.link(amb, z1, net.elem(c.type, nullptr, testPlr), (float)w);
        c.setup(net, l);
        net.plrs.push_back(AfePlr{(float)(Cref / 1.0), 0.01f, 0.5f});
        AirLink* ref = net.link(z1, amb, net.elem(AFE_PLR_CRACK, &net.plrs.back(), testPlr), 0.0f);
        ref->nodeN->rhomu = 0.9f;
        net.build(0);
        double wantC = c.C(net, l), wantX = c.X(net, l);
        ts->afInit = 1;
        ASSERT_EQ(init_Af(ts.fms, &net.mat), 0);
        double cref = 0.5 * (0.9 + 1.1) * (float)Cref;
        // C (w - P) + X = cref P.
        double P = z1->P;
        ASSERT_TRUE(std::isfinite(P));
        EXPECT_NEAR(P, (wantC * w + wantX) / (wantC + cref), 1e-9 * (1 + fabs(P)));
        EXPECT_NEAR(l->dP, w - P, 1e-9 * (1 + fabs(P)));
        EXPECT_EQ(ts->nFillAf, 1);
    }
}

TEST(InitAf, SuperElementIsRefused)
{
    ChildResult r = runChild([] {
        TestState ts;
        Net net(ts.fms);
        AirNode* amb = net.ambient();
        AirNode* z1 = net.zone(1);
        net.link(amb, z1, net.elem(AFE_SUP_AFE, nullptr, testPlr), 0.0f);
        net.build(0);
        init_Af(ts.fms, &net.mat);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL Invalid AFE type: 28; call Orvo\n"), std::string::npos) << r.err;
}

TEST(InitAf, OffLeavesThePressuresAndStillAssembles)
{
    TestState ts;
    Net net(ts.fms);
    AirNode* amb = net.ambient();
    AirNode* z1 = net.zone(1);
    net.crack(amb, z1, 0.01f, 0.5f, 10.0f);
    net.crack(z1, amb, 0.01f, 0.5f);
    net.build(0);
    z1->P = 3.0;
    ts->afInit = 0;
    EXPECT_EQ(init_Af(ts.fms, &net.mat), 0);
    EXPECT_EQ(z1->P, 3.0);
    EXPECT_EQ(ts->nLufSkyS, 0);
    EXPECT_DOUBLE_EQ(net.sa[z1->eqn], 2 * 0.01f);
}

}  // namespace
