// The ".sim" results file: written through the writer for a hand-built network of two zones,
// the ambient and three paths, compared byte for byte with the layout built here, read back
// with the reader, and refused by the reader and by flowmir-sim when cut or foreign.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "network/airnet.h"
#include "results/extremes_report.h"
#include "results/resfile.h"
#include "results/simfile.h"
#include "results/simread.h"
#include "support/log.h"
#include "testutil.h"

namespace {

int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

// The state of the network at one listing time.
struct Snapshot {
    int day, dayType, time;
    float Ta, Ws, Wd;
    double dP[3], F0[3], F1[3];  // paths
    double T[2], rho[2], M[2];   // zones
    float Pg[2];
    double mf[3][2];             // zone 1, zone 2, ambient; two species
};

// Bytes in the file's order, little-endian.
struct Bytes {
    std::string b;
    void i16(int v)
    {
        uint16_t u = (uint16_t)v;
        b += (char)(u & 0xff);
        b += (char)(u >> 8);
    }
    void i32(int v)
    {
        uint32_t u = (uint32_t)v;
        for (int k = 0; k < 4; k++) b += (char)((u >> (8 * k)) & 0xff);
    }
    void f32(double v)
    {
        float f = (float)v;
        uint32_t u;
        memcpy(&u, &f, 4);
        i32((int)u);
    }
};

struct TinyNet {
    TestState s;
    std::string dir;
    AirNode z1{}, z2{}, amb{};
    AirLink p1{}, p2{}, p3{};
    double mf[3][2] = {};
    float mfmaxData[4][2] = {};
    float* mfmax[4] = {nullptr, mfmaxData[1], mfmaxData[2], mfmaxData[3]};
    int bins[6] = {0, 5, 0, 7, 0, 0};

    // Whatever a test left open goes as after a failed run.
    ~TinyNet() { resfile_abandon_all(s.fms); }

    TinyNet(int pf, int zf, int zc, int nctm)
    {
        s.openLog();
        FlowmirState* f = s.fms;
        f->errorFcn = quietFcn;
        dir = scratchDir();
        snprintf(f->_pdir, sizeof f->_pdir, "%s/", dir.c_str());
        snprintf(f->_prjname, sizeof f->_prjname, "tiny");
        f->pfres = pf, f->zfres = zf, f->zcres = zc;
        f->nctm = nctm;
        f->nzone = 2, f->npath = 3, f->nafnd = 3, f->nafpt = 3;
        f->listStep = 3600;
        f->dayofy = 365, f->dayType = 7, f->stepStartTime = f->stepEndTime = 0;
        f->endDate = 1, f->endTime = 3600;
        f->Pambt = 101325.0;
        AirNode* nodes[3] = {&z1, &z2, &amb};
        int snr[3] = {5, 2, 0};
        for (int i = 0; i < 3; i++) {
            nodes[i]->nr = i + 1;
            nodes[i]->styp = NODE_ZONE;
            nodes[i]->s_nr = snr[i];
            nodes[i]->flags = i < 2 ? NF_VARP : 0;
            nodes[i]->Mf = mf[i];
            nodes[i]->next = i < 2 ? nodes[i + 1] : nullptr;
        }
        f->nodeList = &z1;
        f->ambt = &amb;
        link(p1, 1, 3, amb, z1);
        link(p2, 2, 1, z1, z2);
        link(p3, 3, 2, z2, amb);
        p3.flags = LF_AHO;  // a system path: no daily maxima
        p1.next = &p2;
        p2.next = &p3;
        f->linkList = &p1;
        f->Mfmax = nctm ? mfmax : nullptr;
        f->stepCount = 26, f->stepIters = 52, f->nSolveSTS = 3, f->nSolveAf = 27, f->nFillAf = 60;
        f->nLufSkyS = 61, f->nSaPcg = 4, f->nSaPcgIt = 40, f->nSolveMft = 9, f->nSolveMfn = 8;
        f->nLufSkyN = 7, f->nSaBcg = 6, f->nSaBcgIt = 66;
        f->JfacBins = bins;
        f->nJfacBins = 6;
    }
    static void link(AirLink& l, int nr, int snr, AirNode& n, AirNode& m)
    {
        l.nr = nr;
        l.styp = LINK_PATH;
        l.s_nr = snr;
        l.nodeN = &n;
        l.nodeM = &m;
    }
    FlowmirState* fms() { return s.fms; }
    std::string simPath() const { return dir + "/tiny.sim"; }

    void apply(const Snapshot& v)
    {
        FlowmirState* f = s.fms;
        f->dayofy = v.day, f->dayType = v.dayType, f->stepEndTime = v.time;
        f->Tambt = v.Ta, f->Wspd = v.Ws, f->Wdir = v.Wd;
        AirLink* links[3] = {&p1, &p2, &p3};
        for (int i = 0; i < 3; i++) {
            links[i]->dP = v.dP[i];
            links[i]->Flow[0] = v.F0[i];
            links[i]->Flow[1] = v.F1[i];
        }
        AirNode* zones[2] = {&z1, &z2};
        for (int i = 0; i < 2; i++) {
            zones[i]->T = v.T[i];
            zones[i]->rho = v.rho[i];
            zones[i]->M = v.M[i];
            zones[i]->Pgage = v.Pg[i];
        }
        memcpy(mf, v.mf, sizeof mf);
    }
};

// Two days across the year's end: day 365 listed at 0, 12:00 and 24:00, day 1 at 0 and 01:00.
const Snapshot snaps[5] = {
    {365, 7, 0, 280.0f, 3.0f, 90.0f, {1.5, -2.0, 0.25}, {0.01, 0.0, 0.02}, {0.0, -0.03, 0.0},
     {293.15, 295.0}, {1.20, 1.19}, {60.0, 72.0}, {1.0f, -0.5f}, {{1e-6, 0.5}, {2e-6, 0.25}, {3e-6, 0.125}}},
    {365, 7, 43200, 290.0f, 1.0f, 180.0f, {-3.0, 1.0, 4.0}, {0.0, 0.04, 0.05}, {-0.02, 0.0, 0.0},
     {294.0, 296.5}, {1.21, 1.18}, {61.0, 71.0}, {3.0f, -1.5f}, {{4e-6, 0.4}, {1e-6, 0.3}, {3e-6, 0.125}}},
    {365, 7, 86400, 275.0f, 5.0f, 270.0f, {0.5, -0.5, 2.0}, {0.015, 0.0, 0.01}, {0.0, -0.01, 0.0},
     {292.0, 294.0}, {1.22, 1.2}, {62.0, 70.0}, {-2.0f, 0.75f}, {{2e-6, 0.6}, {5e-6, 0.2}, {3e-6, 0.125}}},
    {1, 1, 0, 275.0f, 5.0f, 270.0f, {0.5, -0.5, 2.0}, {0.015, 0.0, 0.01}, {0.0, -0.01, 0.0},
     {292.0, 294.0}, {1.22, 1.2}, {62.0, 70.0}, {-2.0f, 0.75f}, {{2e-6, 0.6}, {5e-6, 0.2}, {3e-6, 0.125}}},
    {1, 1, 3600, 278.5f, 2.5f, 0.0f, {2.5, -6.0, 1.0}, {0.03, 0.0, 0.0}, {0.0, -0.06, -0.01},
     {291.0, 293.5}, {1.23, 1.21}, {63.0, 69.0}, {0.5f, -3.25f}, {{1e-6, 0.1}, {1e-6, 0.1}, {4e-6, 0.25}}},
};

// Daily maxima of the mass fractions as the time-step loop would have kept them (rows 1..3).
const float dayMf[2][4][2] = {
    {{0, 0}, {4e-6f, 0.6f}, {5e-6f, 0.3f}, {3e-6f, 0.125f}},
    {{0, 0}, {2e-6f, 0.6f}, {5e-6f, 0.2f}, {4e-6f, 0.25f}},
};

// The daily values of snapshots [a, b] as the day summary must hold them.
struct DayValues {
    float Tmax, Tmin, Wmax, Wmin;
    float dPmax[3], Fmax[3];
    float Pgmax[2], Pgmin[2];
};

DayValues dayValues(int a, int b)
{
    DayValues d{};
    d.Tmax = d.Tmin = snaps[a].Ta;
    d.Wmax = d.Wmin = snaps[a].Ws;
    for (int i = 0; i < 3; i++) {
        d.dPmax[i] = (float)fabs(snaps[a].dP[i]);
        d.Fmax[i] = (float)std::max(fabs(snaps[a].F0[i]), fabs(snaps[a].F1[i]));
    }
    for (int i = 0; i < 2; i++) d.Pgmax[i] = d.Pgmin[i] = snaps[a].Pg[i];
    for (int k = a + 1; k <= b; k++) {
        const Snapshot& v = snaps[k];
        d.Tmax = std::max(d.Tmax, v.Ta), d.Tmin = std::min(d.Tmin, v.Ta);
        d.Wmax = std::max(d.Wmax, v.Ws), d.Wmin = std::min(d.Wmin, v.Ws);
        for (int i = 0; i < 2; i++) {  // path 3 is a system path and keeps its first values
            d.dPmax[i] = std::max(d.dPmax[i], (float)fabs(v.dP[i]));
            d.Fmax[i] = std::max(d.Fmax[i], (float)std::max(fabs(v.F0[i]), fabs(v.F1[i])));
        }
        for (int i = 0; i < 2; i++) d.Pgmax[i] = std::max(d.Pgmax[i], v.Pg[i]), d.Pgmin[i] = std::min(d.Pgmin[i], v.Pg[i]);
    }
    return d;
}

// The end of a completed run: the trailer, then the results take their final names.
void completeRun(FlowmirState* f)
{
    set_usim_close(f, 0);
    resfile_commit_all(f);
}

// Writes the two-day run through the writer, as the time-step loop drives it.
void writeRun(TinyNet& n)
{
    FlowmirState* f = n.fms();
    n.apply(snaps[0]);
    set_usim_open(f);
    writeSim_daySummary_init(f);
    writeSim_stepTime(f, 0);
    for (int k = 1; k <= 2; k++) {
        n.apply(snaps[k]);
        writeSim_daySummary_note(f);
        writeSim_stepTime(f, snaps[k].time);
    }
    memcpy(n.mfmaxData, dayMf[0], sizeof n.mfmaxData);
    writeSim_daySummary(f);
    n.apply(snaps[3]);
    writeSim_stepTime(f, 0);
    writeSim_daySummary_init(f);
    for (int i = 1; f->Mfmax && i <= 3; i++) EXPECT_EQ(f->Mfmax[i][1], 0.0f) << "cleared at the start of a day";
    n.apply(snaps[4]);
    writeSim_daySummary_note(f);
    writeSim_stepTime(f, 3600);
    memcpy(n.mfmaxData, dayMf[1], sizeof n.mfmaxData);
    writeSim_daySummary(f);
    completeRun(f);
}

// The file the run above must produce, built from the layout alone.
std::string expectedFile(int pf, int zf, int zc, int nctm)
{
    Bytes o;
    int any = pf || zf || zc;
    int head[17] = {24, 2, 3, nctm, 0, 0, 3600, 365, 0, 1, 3600, pf, zf, zc, 3, zc ? 3 : 0, 3};
    for (int v : head) o.i32(v);
    int styp[3] = {0, 0, 0}, snr[3] = {5, 2, 0}, psnr[3] = {3, 1, 2};
    for (int pass = 0; pass < (zc ? 2 : 1); pass++) {
        for (int v : styp) o.i32(v);
        for (int v : snr) o.i32(v);
    }
    for (int i = 0; i < 3; i++) o.i32(0);
    for (int v : psnr) o.i32(v);

    auto step = [&](const Snapshot& v) {
        if (any) {
            o.i16(v.day), o.i16(v.dayType), o.i32(v.time);
            o.f32(v.Ta), o.f32(101325.0), o.f32(v.Ws), o.f32(v.Wd);
            for (int j = 0; j < nctm; j++) o.f32(v.mf[2][j]);
        }
        if (pf)
            for (int i = 0; i < 3; i++) o.i32(i + 1), o.f32(v.dP[i]), o.f32(v.F0[i]), o.f32(v.F1[i]);
        if (zf)
            for (int i = 0; i < 2; i++) o.i32(i + 1), o.f32(v.T[i]), o.f32(v.Pg[i]), o.f32(v.rho[i]);
        if (zc)
            for (int i = 0; i < 2; i++) {
                o.i32(i + 1);
                for (int j = 0; j < nctm; j++) o.f32(v.mf[i][j]);
            }
    };
    auto summary = [&](const Snapshot& v, const DayValues& d, const float (*mfmax)[2]) {
        if (any) {
            o.i16(v.day), o.i16(v.dayType), o.i32(v.time);
            o.f32(d.Tmax), o.f32(d.Tmin), o.f32(d.Wmax), o.f32(d.Wmin);
            for (int j = 0; j < nctm; j++) o.f32(mfmax[3][j]);
        }
        if (pf)
            for (int i = 0; i < 3; i++) o.i32(i + 1), o.f32(d.dPmax[i]), o.f32(d.Fmax[i]), o.i32(0);
        if (zf)
            for (int i = 0; i < 2; i++) o.i32(i + 1), o.f32(d.Pgmax[i]), o.f32(d.Pgmin[i]), o.i32(0);
        if (zc)
            for (int i = 0; i < 2; i++) {
                o.i32(i + 1);
                for (int j = 0; j < nctm; j++) o.f32(mfmax[i + 1][j]);
            }
    };
    step(snaps[0]), step(snaps[1]), step(snaps[2]);
    summary(snaps[2], dayValues(0, 2), dayMf[0]);
    step(snaps[3]), step(snaps[4]);
    summary(snaps[4], dayValues(3, 4), dayMf[1]);

    int trailer[16] = {3, 26, 52, 3, 27, 60, 61, 4, 40, 9, 8, 7, 6, 66, 0, 0};
    for (int v : trailer) o.i32(v);
    for (int v : {0, 5, 0, 7}) o.i32(v);
    return o.b;
}

struct FlagCase {
    int pf, zf, zc, nctm;
};

void PrintTo(const FlagCase& c, std::ostream* os)
{
    *os << "pfres " << c.pf << ", zfres " << c.zf << ", zcres " << c.zc << ", nctm " << c.nctm;
}

}  // namespace

class SimLayout : public testing::TestWithParam<FlagCase> {};

TEST_P(SimLayout, WrittenBytesMatchTheLayoutAndReadBack)
{
    FlagCase c = GetParam();
    TinyNet n(c.pf, c.zf, c.zc, c.nctm);
    writeRun(n);
    EXPECT_EQ(n.fms()->errorCount, 0) << n.s.log();
    EXPECT_EQ(n.fms()->simout.usim, nullptr);
    EXPECT_EQ(n.fms()->simout.ambC, nullptr) << "the ambient buffer is released at close";
    EXPECT_EQ(n.fms()->bytesAllocated, n.fms()->bytesFreed);

    std::string bytes = readFile(n.simPath());
    std::string expected = expectedFile(c.pf, c.zf, c.zc, c.nctm);
    ASSERT_EQ(bytes.size(), expected.size());
    for (size_t i = 0; i < bytes.size(); i++)
        ASSERT_EQ(bytes[i], expected[i]) << "first difference at byte " << i;

    SimFile f;
    std::string why;
    ASSERT_TRUE(simRead(n.simPath().c_str(), &f, &why)) << why;
    EXPECT_EQ(f.h.type, 24);
    EXPECT_EQ(f.h.nccnd, c.zc ? 3 : 0);
    EXPECT_EQ(f.nodeSnr, (std::vector<int32_t>{5, 2, 0}));
    EXPECT_EQ(f.pathSnr, (std::vector<int32_t>{3, 1, 2}));
    EXPECT_EQ(f.concSnr.size(), c.zc ? 3u : 0u);
    EXPECT_EQ(f.trailer[0], 3);
    EXPECT_EQ(f.trailer[13], 66);
    EXPECT_EQ(f.jfacBins, (std::vector<int32_t>{0, 5, 0, 7}));
    if (!(c.pf || c.zf || c.zc)) {
        EXPECT_TRUE(f.records.empty());
        return;
    }
    // Step, step, step, summary; then the new day's step at 0, a step, and the closing summary.
    const int kinds[7] = {0, 0, 0, 1, 0, 0, 1};
    const int source[7] = {0, 1, 2, 2, 3, 4, 4};
    ASSERT_EQ(f.records.size(), 7u);
    for (int r = 0; r < 7; r++) {
        const SimRecord& rec = f.records[r];
        const Snapshot& v = snaps[source[r]];
        SCOPED_TRACE("record " + std::to_string(r + 1));
        EXPECT_EQ(rec.kind, kinds[r]);
        EXPECT_EQ(rec.day, v.day);
        EXPECT_EQ(rec.dayType, v.dayType);
        EXPECT_EQ(rec.time, v.time);
        if (rec.kind == SIM_STEP_RECORD) {
            EXPECT_EQ(rec.Ta, v.Ta);
            EXPECT_EQ(rec.Pb, 101325.0f);
            EXPECT_EQ(rec.Ws, v.Ws);
            EXPECT_EQ(rec.Wd, v.Wd);
            for (int j = 0; j < c.nctm; j++) EXPECT_EQ(rec.ambMf[j], (float)v.mf[2][j]);
            ASSERT_EQ(rec.paths.size(), c.pf ? 3u : 0u);
            for (size_t i = 0; i < rec.paths.size(); i++) {
                EXPECT_EQ(rec.paths[i].dP, (float)v.dP[i]);
                EXPECT_EQ(rec.paths[i].F0, (float)v.F0[i]);
                EXPECT_EQ(rec.paths[i].F1, (float)v.F1[i]);
            }
            ASSERT_EQ(rec.nodes.size(), c.zf ? 2u : 0u);
            for (size_t i = 0; i < rec.nodes.size(); i++) {
                EXPECT_EQ(rec.nodes[i].T, (float)v.T[i]);
                EXPECT_EQ(rec.nodes[i].Pg, v.Pg[i]);
                EXPECT_EQ(rec.nodes[i].D, (float)v.rho[i]);
            }
            ASSERT_EQ(rec.concs.size(), c.zc ? 2u : 0u);
            for (size_t i = 0; i < rec.concs.size(); i++)
                for (int j = 0; j < c.nctm; j++) EXPECT_EQ(rec.concs[i].mf[j], (float)v.mf[i][j]);
        } else {
            DayValues d = r == 3 ? dayValues(0, 2) : dayValues(3, 4);
            const float(*mfmax)[2] = dayMf[r == 3 ? 0 : 1];
            EXPECT_EQ(rec.Tmax, d.Tmax);
            EXPECT_EQ(rec.Tmin, d.Tmin);
            EXPECT_EQ(rec.Wmax, d.Wmax);
            EXPECT_EQ(rec.Wmin, d.Wmin);
            for (int j = 0; j < c.nctm; j++) EXPECT_EQ(rec.ambMf[j], mfmax[3][j]);
            for (size_t i = 0; i < rec.paths.size(); i++) {
                EXPECT_EQ(rec.paths[i].dPmax, d.dPmax[i]);
                EXPECT_EQ(rec.paths[i].Fmax, d.Fmax[i]);
            }
            for (size_t i = 0; i < rec.nodes.size(); i++) {
                EXPECT_EQ(rec.nodes[i].Pgmax, d.Pgmax[i]);
                EXPECT_EQ(rec.nodes[i].Pgmin, d.Pgmin[i]);
            }
            for (size_t i = 0; i < rec.concs.size(); i++)
                for (int j = 0; j < c.nctm; j++) EXPECT_EQ(rec.concs[i].mf[j], mfmax[i + 1][j]);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Flags, SimLayout,
                         testing::Values(FlagCase{1, 1, 1, 2}, FlagCase{1, 1, 1, 0}, FlagCase{1, 0, 0, 2},
                                         FlagCase{0, 1, 0, 0}, FlagCase{0, 0, 1, 2}, FlagCase{0, 0, 0, 0}));

TEST(SimFile, DaySummaryWithoutMaximaTableUsesCurrentFractions)
{
    TinyNet n(0, 0, 1, 2);
    FlowmirState* f = n.fms();
    f->Mfmax = nullptr;  // a run without a transport solution keeps no daily maxima
    n.apply(snaps[0]);
    set_usim_open(f);
    writeSim_daySummary_init(f);
    writeSim_stepTime(f, 0);
    writeSim_daySummary(f);
    completeRun(f);
    SimFile sf;
    std::string why;
    ASSERT_TRUE(simRead(n.simPath().c_str(), &sf, &why)) << why;
    ASSERT_EQ(sf.records.size(), 2u);
    const SimRecord& d = sf.records[1];
    EXPECT_EQ(d.kind, SIM_DAY_SUMMARY);
    EXPECT_EQ(d.ambMf[1], 0.125f);
    EXPECT_EQ(d.concs[1].mf[0], 2e-6f);
}

TEST(SimFile, TrailerHistogramEndsAtItsLastNonzeroEntry)
{
    const struct {
        std::vector<int> bins;  // empty: no histogram at all
        int n;
    } cases[] = {
        {{0, 0, 0, 0}, 0},  // all zero: n = 0 and one entry
        {{9, 0, 0}, 0},     // entry 0 alone is never the scan's stop
        {{0, 0, 0, 2}, 3},
        {{1, 4, 0, 0, 0}, 1},
        {{}, 0},
    };
    for (const auto& c : cases) {
        TinyNet n(1, 0, 0, 0);
        std::vector<int> bins = c.bins;
        n.fms()->JfacBins = bins.empty() ? nullptr : bins.data();
        n.fms()->nJfacBins = (int)bins.size();
        set_usim_open(n.fms());
        completeRun(n.fms());
        SimFile f;
        std::string why;
        ASSERT_TRUE(simRead(n.simPath().c_str(), &f, &why)) << why;
        EXPECT_EQ(f.trailer[0], c.n);
        ASSERT_EQ(f.jfacBins.size(), (size_t)c.n + 1);
        for (int k = 0; k <= c.n; k++) EXPECT_EQ(f.jfacBins[k], bins.empty() ? 0 : bins[k]);
    }
}

// The file is written under a temporary name and takes the final one only when the run
// completes; a run that ends otherwise, or whose switches are off, leaves an earlier run's
// results until it completes.
TEST(SimFile, CloseKeepsOrDeletesTheFile)
{
    enum End { COMPLETES, FAILS };
    const struct {
        const char* name;
        bool open;   // opened by this run, else a stale file of an earlier run
        bool stale;  // the switches are off: the earlier file is to go
        int remove;
        End end;
        const char* left;  // the final file's content afterwards, none: no file
    } cases[] = {
        {"written and completed", true, false, 0, COMPLETES, "written"},
        {"written and dropped", true, false, 1, COMPLETES, nullptr},
        {"earlier file, run fails", false, false, 1, FAILS, "stale results"},
        {"switches off, run completes", false, true, 0, COMPLETES, nullptr},
        {"switches off, run fails", false, true, 0, FAILS, "stale results"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TinyNet n(1, 1, 0, 0);
        writeFile(n.simPath(), "stale results");
        if (c.open) set_usim_open(n.fms());
        if (c.stale) set_usim_stale(n.fms());
        EXPECT_EQ(fileExists(n.simPath() + ".part"), c.open);
        set_usim_close(n.fms(), c.remove);
        EXPECT_EQ(n.fms()->simout.usim, nullptr);
        set_usim_close(n.fms(), c.remove);  // a second close finds nothing open
        if (c.end == COMPLETES)
            resfile_commit_all(n.fms());
        else
            resfile_abandon_all(n.fms());
        EXPECT_FALSE(fileExists(n.simPath() + ".part"));
        if (!c.left)
            EXPECT_FALSE(fileExists(n.simPath()));
        else if (std::string(c.left) == "written")
            EXPECT_EQ(readFile(n.simPath()).substr(0, 4), std::string("\x18\0\0\0", 4));
        else
            EXPECT_EQ(readFile(n.simPath()), c.left);
    }
}

TEST(SimFile, FailedWritesAreReportedAndTheRunGoesOn)
{
    TinyNet n(1, 1, 0, 0);
    FlowmirState* f = n.fms();
    n.apply(snaps[0]);
    set_usim_open(f);
    fclose(f->simout.usim);
    f->simout.usim = f->simout.res->fp = fopen("/dev/full", "w");  // a disk without room
    ASSERT_NE(f->simout.usim, nullptr);
    writeSim_daySummary_init(f);
    for (int k = 0; k < 3; k++) writeSim_stepTime(f, 0);
    int afterRecords = f->errorCount;
    writeSim_daySummary(f);
    set_usim_close(f, 0);
    EXPECT_GE(afterRecords, 3) << "each record that did not reach the disk is reported";
    EXPECT_GT(f->errorCount, afterRecords) << "and so are the summary and the trailer";
    EXPECT_EQ(f->simout.usim, nullptr);
    EXPECT_NE(n.s.log().find("ERROR  (file simfile, line "), std::string::npos);
    EXPECT_NE(n.s.log().find(" fwrite failed\n"), std::string::npos) << n.s.log();
    // Results that lost data are not committed: the run fails instead.
    char lost[RESFILE_PATH];
    EXPECT_TRUE(resfile_any_failed(f, lost, sizeof lost));
    EXPECT_EQ(std::string(lost), n.simPath());
    resfile_abandon_all(f);
}

TEST(SimFile, MisnumberedNodeIsReported)
{
    TinyNet n(0, 1, 1, 0);
    FlowmirState* f = n.fms();
    n.apply(snaps[0]);
    set_usim_open(f);
    n.z2.nr = 7;
    writeSim_stepTime(f, 0);
    set_usim_close(f, 0);
    EXPECT_EQ(f->errorCount, 2) << "once in the node rows, once in the concentration rows";
    EXPECT_NE(n.s.log().find(" Node number\n"), std::string::npos) << n.s.log();
}

TEST(SimFile, OpenFailsFatallyWhenTheFileCannotBeCreated)
{
    TinyNet n(1, 0, 0, 0);
    snprintf(n.fms()->_pdir, sizeof n.fms()->_pdir, "%s/missing/", n.dir.c_str());
    ChildResult r = runChild([&] { set_usim_open(n.fms()); });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(n.s.log().find(" Could not open SIM file; is it already open?\n"), std::string::npos) << n.s.log();
}

TEST(SimFile, TraceEchoesWhatIsWritten)
{
    TinyNet n(1, 1, 0, 0);
    FlowmirState* f = n.fms();
    f->listLevel = 2;
    n.apply(snaps[1]);
    set_usim_open(f);
    writeSim_daySummary_init(f);
    writeSim_stepTime(f, 43200);
    writeSim_daySummary(f);
    set_usim_close(f, 0);
    std::string log = n.s.log();
    // Header 68 bytes, identification 48; a record: 24-byte head, 3 paths and 2 zones of 16.
    const char* lines[] = {
        "SIM: nnode 2, npath 3, ncont 0, step 3600\n",
        "     date0 365, time0 0, date1 1, time1 3600\n",
        "     pfres 1, zfres 1, zcres 0\n",
        "     nafnd 3, nccnd 0, nafpt 3\n",
        "offset: 68\nAF node: 1 0 5\nAF node: 2 0 2\nAF node: 3 0 0\n",
        "AF path: 1 0 3  nd 1 3\nAF path: 2 0 1  nd 2 1\nAF path: 3 0 2  nd 3 2\noffset: 116\n",
        "writeSim_stepTime(): time 12:00:00\n",
        " time  offset  dy dt   Ta       P      Ws    Wd\n43200     116 365  7 290.000 101325.0  1.00 180\n",
        " path  offset      dP           F0           F1\n    1     140  -3.0000e+00   0.0000e+00  -2.0000e-02\n",
        " zone  offset      T            P            D            M\n",
        "    2     204   2.9650e+02  -1.5000e+00   1.1800e+00   7.1000e+01\n",
        "writeSim_daySummary: time 12:00:00\n",
        " time  offset  dy dt   Tmax    Tmin   Wmax  Wmin -- summary\n"
        "43200     220 365  7 290.000 290.000  1.00  1.00\n",
        " path  offset     dPmax        Fmax\n    1     244   3.0000e+00   2.0000e-02\n",
        " zone  offset      Pgmax        Pgmin\n    1     292   3.0000e+00   3.0000e+00\n",
        "performance at     324 - 3 26 52 3 27\n",
    };
    for (const char* l : lines) EXPECT_NE(log.find(l), std::string::npos) << "missing:\n" << l << "\nin:\n" << log;
}

TEST(SimFile, DailyValuesSkipSystemPathsAndFixedPressureNodes)
{
    TinyNet n(1, 1, 0, 0);
    FlowmirState* f = n.fms();
    n.apply(snaps[0]);
    n.amb.Pgage = 0.0f;
    writeSim_daySummary_init(f);
    EXPECT_EQ(n.p3.dPmax, 0.25f) << "the start of a day takes every path";
    n.apply(snaps[1]);
    n.amb.Pgage = 9.0f;
    writeSim_daySummary_note(f);
    EXPECT_EQ(n.p1.dPmax, 3.0f);
    EXPECT_EQ(n.p1.Fmax, 0.02f);
    EXPECT_EQ(n.p2.Fmax, 0.04f);
    EXPECT_EQ(n.p3.dPmax, 0.25f);
    EXPECT_EQ(n.p3.Fmax, 0.02f);
    EXPECT_EQ(n.z1.Pgmax, 3.0f);
    EXPECT_EQ(n.z2.Pgmin, -1.5f);
    EXPECT_EQ(n.amb.Pgmax, 0.0f) << "the ambient pressure is not solved";
    EXPECT_EQ(f->simout.Tmax, 290.0f);
    EXPECT_EQ(f->simout.Wmin, 1.0f);
}

TEST(SimRead, CutFilesAreRefusedAsTruncated)
{
    TinyNet n(1, 1, 1, 2);
    writeRun(n);
    std::string good = readFile(n.simPath());
    long header = 68, ids = 4 * (6 + 6 + 6), record = 24 + 8 + 48 + 32 + 2 * 12;
    const long cuts[] = {0, 3, 40, header + 10, header + ids + 1, header + ids + record / 2,
                         header + ids + record, (long)good.size() - 70, (long)good.size() - 4};
    for (long cut : cuts) {
        SimFile f;
        std::string why;
        EXPECT_FALSE(simParse(reinterpret_cast<const unsigned char*>(good.data()), cut, &f, &why)) << cut;
        EXPECT_NE(why.find("truncated"), std::string::npos) << "cut at " << cut << ": " << why;
    }
    // And the program says so with status 2.
    std::string cutPath = n.dir + "/cut.sim";
    writeFile(cutPath, good.substr(0, good.size() - 4));
    ChildResult r = runSimTool("'" + cutPath + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cut.sim: truncated"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(SimRead, ForeignFilesAreRefused)
{
    TinyNet n(1, 1, 0, 0);
    writeRun(n);
    std::string good = readFile(n.simPath());
    auto withInt = [&](size_t at, int v) {
        std::string s = good;
        memcpy(&s[at], &v, 4);
        return s;
    };
    const struct {
        std::string bytes;
        const char* says;
    } cases[] = {
        {"ProjectFormat 3.4\nnot results at all\n", "not a results file"},
        {withInt(0, 23), "not a results file"},
        {withInt(4 * 14, 4), "do not make 4 airflow nodes"},      // nafnd
        {withInt(4 * 11, 2), "pfres = 2"},
        {withInt(68 + 8, 1), "not the ambient node"},              // styp of the ambient node
        {withInt(68 + 48 + 24, 9), "record 1 at byte 116: path number 9 in place 1"},
        {good + std::string(4, '\0'), "bytes follow the trailer"},
    };
    for (const auto& c : cases) {
        SimFile f;
        std::string why;
        EXPECT_FALSE(simParse(reinterpret_cast<const unsigned char*>(c.bytes.data()), (long)c.bytes.size(), &f, &why));
        EXPECT_NE(why.find(c.says), std::string::npos) << "expected \"" << c.says << "\", got: " << why;
    }
    std::string path = n.dir + "/foreign.sim";
    writeFile(path, cases[0].bytes);
    ChildResult r = runSimTool("'" + path + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("foreign.sim: not a results file"), std::string::npos) << r.err;
    r = runSimTool("'" + n.dir + "/none.sim'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;
}

// What the header claims is checked against the size the file has before anything is read on or
// printed, and only regular files are read at all: a device would never end, a FIFO without a
// writer would never open.
TEST(SimTool, RefusesWhatTheFileCannotHoldAndWhatIsNoFile)
{
    TinyNet n(1, 1, 1, 2);
    writeRun(n);
    std::string good = readFile(n.simPath());
    ASSERT_EQ(good.size(), 1172u);
    auto withInts = [&](std::vector<std::pair<int, int>> fields) {  // header field index, value
        std::string s = good;
        for (auto [at, v] : fields) memcpy(&s[4 * at], &v, 4);
        return s;
    };
    // The smallest file with results switched on: the ambient node alone, no paths, no records.
    Bytes tiny;
    for (int v : {24, 0, 0, 2000000000, 0, 0, 3600, 1, 0, 1, 3600, 1, 0, 0, 1, 0, 0}) tiny.i32(v);
    for (int v : {0, 0}) tiny.i32(v);
    for (int k = 0; k < 17; k++) tiny.i32(0);
    ASSERT_EQ(tiny.b.size(), 144u);

    std::string dir = n.dir + "/dir.sim", fifo = n.dir + "/pipe.sim";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // and no writer ever
    const struct {
        std::string path;
        std::string bytes;  // written to path unless it exists
        const char* says;
    } cases[] = {
        {n.dir + "/cut.sim", good.substr(0, 108),
         "truncated: the header claims 3 airflow nodes, 3 concentration nodes and 3 airflow paths, which take at "
         "least 208 bytes; the file holds only 108 bytes"},
        {n.dir + "/species.sim", tiny.b,
         "truncated: the header claims 2000000000 contaminants, which make every record 8000000024 bytes; the "
         "file holds only 144 bytes"},
        // Few enough to be believed from the header, too many for the records that follow it.
        {n.dir + "/records.sim", withInts({{3, 1000}}),
         "truncated: the header claims 1000 contaminants, which make every record 12112 bytes; the file holds "
         "only 1172 bytes"},
        {n.dir + "/nodes.sim", withInts({{1, 2000000000}, {14, 2000000001}, {15, 2000000001}}),
         "truncated: the header claims 2000000001 airflow nodes, 2000000001 concentration nodes and 3 airflow "
         "paths, which take at least 32000000176 bytes; the file holds only 1172 bytes"},
        {n.dir + "/unheld.sim", withInts({{3, 2000000000}, {11, 0}, {12, 0}, {13, 0}, {15, 0}}),
         "not a results file: the header claims 2000000000 contaminants and no results that hold them"},
        {n.dir + "/empty.sim", "", "truncated: the file is empty"},
        {"/dev/zero", "", "is a character device, not a regular file"},
        {dir, "", "is a directory, not a regular file"},
        {fifo, "", "is a FIFO, not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (!fileExists(c.path)) writeFile(c.path, c.bytes);
        auto start = std::chrono::steady_clock::now();
        ChildResult r = runSimTool("--table ambient '" + c.path + "'", "", "timeout -s KILL 10 ");
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, 2);
        EXPECT_LT(seconds, 1.0);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "flowmir-sim: " + c.path + ": " + c.says + "\n");
    }
}

TEST(SimTool, PrintsTablesAsCsv)
{
    TinyNet n(1, 1, 1, 2);
    writeRun(n);
    std::string file = "'" + n.simPath() + "'";
    ChildResult r = runSimTool(file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("field,value\ntype,24\nnnode,2\nnpath,3\nncont,2\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n\nday,time,node,styp,s_nr,T_K,Pg_Pa,D_kg/m3\n365,0,1,0,5,293.149994,1,1.20000005\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n\nday,time,path,styp,s_nr,dP_Pa,F0_kg/s,F1_kg/s\n365,0,1,0,3,1.5,0.00999999978,0\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n1,3600,3,0,2,1,0,-0.00999999978\n"), std::string::npos) << r.out;

    r = runSimTool("--table nodes " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1 + 5 * 2) << "day summaries stay out: " << r.out;

    r = runSimTool("--table days " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("day,daytype,time,what,nr,max,min\n365,7,86400,Ta_K,0,290,275\n365,7,86400,Ws_m/s,0,5,1\n", 0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("\n1,1,3600,Pg_Pa,2,0.75,-3.25\n"), std::string::npos) << r.out;

    r = runSimTool("--table=trailer " + file);
    EXPECT_NE(r.out.find("\ncalls to SolveAf,27\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nJfacBins[3],7\n"), std::string::npos) << r.out;

    r = runSimTool("--table flows " + file);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown table flows"), std::string::npos) << r.err;
}

TEST(ExtremesReport, PrintsTheValuesItHas)
{
    TestState s;
    s.openLog();
    FlowmirState* f = s.fms;
    f->achMax = {2.46f, 3, 7200, 32};
    f->zonePgMax = {0.0f, -999, 0, 1};       // no positive maximum: not printed
    f->zonePgMin = {-4.04f, 2, 86400, 365};
    f->jctPgMax = {12.5f, 7, 3600, 1};
    f->jctPgMin = {0.0f, -999, 0, 1};
    writeLog_extremes(f, printToLogAndFlush);
    EXPECT_EQ(s.log(),
              "Maximum air exchange rate: ~2.5 ACH in zone 3 at 02:00:00 on Feb01\n"
              "Minimum gage pressure: -4.0 Pa in zone 2 at 24:00:00 on Dec31\n"
              "Maximum gage pressure: 12.5 Pa in junction 7 at 01:00:00 on Jan01\n"
              "\n");
}
