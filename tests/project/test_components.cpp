// The building-component sections: levels, systems, zones, paths, junctions, ducts and the
// initial mass fractions, read from small section files.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "airflow/afe.h"
#include "project/components.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "testutil.h"

namespace
{

// One record line of each kind, with valid defaults that a test overrides field by field.
struct ZoneRec {
    int nr = 1, flags = 3, wsh = 0, ctrl = 0, knr = 0, lev = 1;
    std::string relHt = "0", vol = "50", T = "293.15", P = "0", name = "Zone";
    std::string tail = "0 0 0"; // one-dimensional indicator, value file, CFD (and what follows)
    std::string str() const
    {
        return std::to_string(nr) + " " + std::to_string(flags) + " " + std::to_string(wsh) + " " +
               std::to_string(ctrl) + " " + std::to_string(knr) + " " + std::to_string(lev) + " " + relHt +
               " " + vol + " " + T + " " + P + " " + name + " 0 0 0 0 0 " + tail + "\n";
    }
};

struct PathRec {
    int nr = 1, flags = 0, zn = -1, zm = 1, afe = 1, flt = 0, wpf = 0, ahs = 0, wsh = 0, ctrl = 0, lev = 1;
    std::string reals = "2.5 -1 1.25 1 0.5 0.8 90 0.1"; // x y relHt mult wind modifier azimuth flow
    std::string tail = "0 0";                           // value file, CFD
    std::string str() const
    {
        return std::to_string(nr) + " " + std::to_string(flags) + " " + std::to_string(zn) + " " +
               std::to_string(zm) + " " + std::to_string(afe) + " " + std::to_string(flt) + " " +
               std::to_string(wpf) + " " + std::to_string(ahs) + " " + std::to_string(wsh) + " " +
               std::to_string(ctrl) + " " + std::to_string(lev) + " " + reals + " 0 0 0 0 0 0 0 0 0 " + tail +
               "\n";
    }
};

struct JctRec {
    int nr = 1, flags = 0, term = 0, zone = 1, dct = 0, knr = 0, wsh = 0, ctrl = 0, lev = 1;
    std::string x = "1", y = "2", relHt = "0.5", T = "293.15";
    std::string vf = "0";
    // word, filter, profile, wind const/modifier/azimuth, bal, area, -, Fdes, loss1, loss2, -, 4 I2
    std::string terminal = "t 0 0 1.5 0.7 180 1 0.04 0 0.05 0.3 0.6 0 0 0 0 0";
    std::string str() const
    {
        return std::to_string(nr) + " " + std::to_string(flags) + " " + std::to_string(term) + " " +
               std::to_string(zone) + " " + std::to_string(dct) + " " + std::to_string(knr) + " " +
               std::to_string(wsh) + " " + std::to_string(ctrl) + " " + std::to_string(lev) + " " + x + " " +
               y + " " + relHt + " " + T + " 0 0 0 0 0 0 0 " + vf + (term > 0 ? " " + terminal : "") + "\n";
    }
};

struct DuctRec {
    int nr = 1, flags = 0, j1 = 1, j2 = 2, dfe = 1, flt = 0, wsh = 0, ctrl = 0;
    std::string len = "3", sumC = "0";
    std::string vf = "0";
    std::string str() const
    {
        return std::to_string(nr) + " " + std::to_string(flags) + " " + std::to_string(j1) + " " +
               std::to_string(j2) + " " + std::to_string(dfe) + " " + std::to_string(flt) + " " +
               std::to_string(wsh) + " " + std::to_string(ctrl) + " 0 " + len + " 0.1 0.2 " + sumC +
               " 0 0 0 " + vf + "\n";
    }
};

template <class Rec> std::string section(const std::vector<Rec>& recs)
{
    std::string s = std::to_string(recs.size()) + "\n";
    for (const Rec& r : recs)
        s += r.str();
    return s + "-999\n";
}

// One level at 3 m; most tests place their components on it.
const char* const kLevel = "1\n1 3.0 0 0 0 0 Ground\n-999\n";

size_t count(const std::string& text, const std::string& piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        n++;
    return n;
}

class Components : public ::testing::Test
{
  protected:
    std::unique_ptr<TestState> ts;
    FlowmirState* fms = nullptr;
    MemBlock* pool = nullptr;
    Afe afe[3] = {};
    Afe* afeList[3] = {};
    Afe* dfeList[3] = {};

    void SetUp() override { start(); }
    void TearDown() override { finish(); }

    // A fresh state with a log, a record pool and the elements: an orifice in the airflow
    // list, a Darcy-Weisbach duct and a fan in the duct list.
    void start()
    {
        ts = std::make_unique<TestState>();
        ts->openLog();
        fms = ts->fms;
        // Messages are read from the log; keep the standard error stream quiet.
        fms->errorFcn = [](FlowmirState*, const char*, const char*, int*) { return 0; };
        pool = alc_eci(fms, 8000, "mb-block");
        afe[0].type = AFE_PLR_ORFC;
        afe[1].type = AFE_DCT_DWC;
        afe[2].type = AFE_DCT_FAN;
        afeList[1] = &afe[0];
        dfeList[1] = &afe[1];
        dfeList[2] = &afe[2];
        fms->AfeLst = afeList;
        fms->nafe = 1;
        fms->DfeLst = dfeList;
        fms->ndfe = 2;
    }

    void finish()
    {
        nxtclose(fms);
        components_free_lists(fms);
        levels_free_list(fms);
        if (fms->MfZ) fre_vt(fms, fms->MfZ, 0, fms->nMfZ - 1);
        if (fms->MfZi) fre_vt(fms, fms->MfZi, 0, fms->nMfZ - 1);
        if (fms->MfJ) fre_vt(fms, fms->MfJ, 0, fms->nMfJ - 1);
        if (fms->MfJi) fre_vt(fms, fms->MfJi, 0, fms->nMfJ - 1);
        fre_ec(fms, pool, "mb-block");
        // Every array released with the size it was allocated with.
        EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
        ts.reset();
    }

    void restart()
    {
        finish();
        start();
    }

    // Opens the sections; the first line is a title, as the count is read from a new line.
    void open(const std::string& text)
    {
        std::string path = scratchDir() + "/sections.txt";
        writeFile(path, "! sections under test\n" + text);
        ASSERT_EQ(nxtopen(fms, path.c_str(), __FILE__, __LINE__), 0);
    }

    int errors() { return fms->errorCount; }
    std::string log() { return ts->log(); }
    bool inLog(const std::string& text) { return log().find(text) != std::string::npos; }
    // An error message as the log shows it: a blank, the message, a newline.
    bool logged(const std::string& msg) { return inLog(" " + msg + "\n"); }
};

TEST_F(Components, LevelsKeepFileOrderAndSkipIcons)
{
    open("2\n1 0 0 2 0 0 Ground\n 1 2 3 4\n 5 6 7 8\n2 3.5 0 0 0 0 First\n-999\n");
    EXPECT_EQ(lev_read(fms, &pool), 2);
    EXPECT_EQ(errors(), 0);
    ASSERT_EQ(fms->nlev, 2);
    EXPECT_EQ(fms->levels, fms->LevLst[1]);
    EXPECT_EQ(fms->levels->next, fms->LevLst[2]);
    EXPECT_EQ(fms->LevLst[2]->next, nullptr);
    EXPECT_STREQ(fms->LevLst[2]->name, "First");
    EXPECT_FLOAT_EQ(fms->LevLst[2]->elevation, 3.5f);
    EXPECT_TRUE(inLog("Level section read successfully.\n"));
}

TEST_F(Components, LevelCountZeroIsFatal)
{
    open("0\n-999\n");
    ChildResult r = runChild([&] { lev_read(fms, &pool); });
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(logged("Max index(0) < min index(1): LevLst")) << log();
}

TEST_F(Components, SystemKeepsItsNumbersAndSkipsTheDescription)
{
    open("1\n1 4 5 7 8 9 0 AHS-1\nsupply side, 3 fans ! not a comment\n-999\n");
    EXPECT_EQ(ahs_read(fms, &pool), 1);
    EXPECT_EQ(errors(), 0);
    Ahs* a = fms->AhsLst[1];
    EXPECT_EQ(a->num1, 4);
    EXPECT_EQ(a->num2, 5);
    EXPECT_EQ(a->pathNr[0], 7);
    EXPECT_EQ(a->pathNr[2], 9);
    EXPECT_STREQ(a->name, "AHS-1");
}

TEST_F(Components, ZoneRecordFields)
{
    ZoneRec z;
    z.flags = 71; // 64 + 7: only the low six bits stay
    z.relHt = "1.5";
    z.vol = "42";
    z.P = "12.5";
    z.name = "Kitchen";
    z.tail = "0 1 temp_key 1 cfd_key";
    ZoneRec z2;
    z2.nr = 2;
    z2.flags = 0x3F | 0x40;
    open(std::string(kLevel) + section<ZoneRec>({z, z2}) + "0\n-999\n");
    lev_read(fms, &pool);
    EXPECT_EQ(zone_read(fms, &pool, 0), 2);
    EXPECT_EQ(errors(), 0);
    Zone* r = fms->ZnLst[1];
    EXPECT_EQ(r->flags, 7);
    EXPECT_EQ(fms->ZnLst[2]->flags, 0x3F);
    EXPECT_FLOAT_EQ(r->hgt, 4.5f); // level at 3 m
    EXPECT_EQ(r->level, fms->LevLst[1]);
    EXPECT_FLOAT_EQ(r->Vol, 42.0f);
    EXPECT_DOUBLE_EQ(r->P, 12.5);
    EXPECT_STREQ(r->name, "Kitchen");
    EXPECT_EQ(r->vfType, VFILE_CVF);
    EXPECT_STREQ(r->vfKey, "temp_key");
    EXPECT_EQ(r->tsrc, VSRC_CVF);
    EXPECT_EQ(r->cfd, 1);
    EXPECT_STREQ(r->cfdKey, "cfd_key");
    EXPECT_EQ(fms->ZnLst[2]->tsrc, VSRC_NONE);
    EXPECT_EQ(fms->MfZ, nullptr); // no species: no arrays
    std::string text = log();
    EXPECT_NE(text.find("Zone section read successfully.\n"), std::string::npos);
    EXPECT_NE(text.find("Zone CC section read successfully.\n"), std::string::npos);
}

TEST_F(Components, ValueSourcePrecedence)
{
    struct Case {
        int ctrl, vf, wsh;
        ValueSource want;
    } cases[] = {
        {3, VFILE_CVF, 2, VSRC_CONTROL},   {0, VFILE_DVF, 2, VSRC_DVF},   {0, VFILE_CVF, 0, VSRC_CVF},
        {0, VFILE_NONE, 2, VSRC_SCHEDULE}, {0, VFILE_NONE, 0, VSRC_NONE},
    };
    for (const Case& c : cases)
        EXPECT_EQ(comp_value_source(c.ctrl, c.vf, c.wsh), c.want) << c.ctrl << " " << c.vf << " " << c.wsh;

    // A value-file kind other than 1 or 2 is none and takes no key word.
    fms->nctrl = 2;
    fms->nwsh = 1;
    ZoneRec z;
    z.wsh = 1;
    z.ctrl = 2;
    z.tail = "0 2 dvf_key 0";
    ZoneRec z2;
    z2.nr = 2;
    z2.wsh = 1;
    z2.tail = "0 3 0";
    open(std::string(kLevel) + section<ZoneRec>({z, z2}) + "0\n-999\n");
    lev_read(fms, &pool);
    zone_read(fms, &pool, 0);
    EXPECT_EQ(errors(), 0);
    EXPECT_EQ(fms->ZnLst[1]->tsrc, VSRC_CONTROL);
    EXPECT_EQ(fms->ZnLst[1]->vfType, VFILE_DVF);
    EXPECT_EQ(fms->ZnLst[2]->vfType, VFILE_NONE);
    EXPECT_EQ(fms->ZnLst[2]->tsrc, VSRC_SCHEDULE);
}

TEST_F(Components, OneDimensionalZoneDataReadEvenWhenDisabled)
{
    for (int cdzOn : {0, 1}) {
        SCOPED_TRACE(cdzOn);
        restart();
        fms->cdzOn = cdzOn;
        ZoneRec z;
        z.tail = "1 0 0 axis 0 0 0.5 10 0 0.5 0.25 0.001 0 0";
        ZoneRec z2;
        z2.nr = 2;
        z2.name = "After";
        open(std::string(kLevel) + section<ZoneRec>({z, z2}) + "0\n-999\n");
        lev_read(fms, &pool);
        zone_read(fms, &pool, 0);
        EXPECT_EQ(errors(), 0);
        Zone* r = fms->ZnLst[1];
        EXPECT_EQ(r->cdzRead, 1);
        EXPECT_EQ(r->cdz, cdzOn);
        EXPECT_FLOAT_EQ(r->cdzP2[0], 10.0f);
        EXPECT_FLOAT_EQ(r->cdzDx, 0.25f);
        EXPECT_FLOAT_EQ(r->cdzDax, 0.001f);
        EXPECT_STREQ(fms->ZnLst[2]->name, "After");
    }
}

TEST_F(Components, ZoneFieldErrorsNameTheZoneAndStopTheSection)
{
    struct Case {
        const char* what;
        void (*change)(ZoneRec&);
        const char* msg;
    } cases[] = {
        {"schedule", [](ZoneRec& z) { z.wsh = 1; }, "Invalid schedule number, zone 2"},
        {"control", [](ZoneRec& z) { z.ctrl = 1; }, "Invalid control node number, zone 2"},
        {"reaction", [](ZoneRec& z) { z.knr = 1; }, "Invalid reaction number, zone 2"},
        {"no level", [](ZoneRec& z) { z.lev = 0; }, "Invalid level number, zone 2"},
        {"level past end", [](ZoneRec& z) { z.lev = 2; }, "Invalid level number, zone 2"},
        {"0 K", [](ZoneRec& z) { z.T = "0"; }, "Invalid temperature, zone 2"},
        {"negative K", [](ZoneRec& z) { z.T = "-20"; }, "Invalid temperature, zone 2"},
        {"number", [](ZoneRec& z) { z.nr = 3; }, "Zone number mis-match: 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        ZoneRec z1, z2, z3;
        z2.nr = 2;
        z3.nr = 3;
        c.change(z2);
        z3.wsh = 7; // never reached: the section stops after zone 2
        open(std::string(kLevel) + section<ZoneRec>({z1, z2, z3}) + "0\n-999\n");
        lev_read(fms, &pool);
        zone_read(fms, &pool, 0);
        EXPECT_TRUE(logged(c.msg)) << log();
        EXPECT_EQ(log().find("zone 3"), std::string::npos);
        EXPECT_EQ(log().find("Zone CC"), std::string::npos); // not read after errors
    }
}

TEST_F(Components, ZoneMassFractions)
{
    fms->nctm = 3;
    ZoneRec z1, z2;
    z2.nr = 2;
    open(std::string(kLevel) + section<ZoneRec>({z1, z2}) + "6\n1 0.1 0.2 0.3\n2 0.4 0.5 0.6\n-999\n");
    lev_read(fms, &pool);
    zone_read(fms, &pool, 0);
    EXPECT_EQ(errors(), 0);
    ASSERT_EQ(fms->nMfZ, 9); // the ambient first
    EXPECT_DOUBLE_EQ(fms->MfZ[0], 0.0);
    EXPECT_DOUBLE_EQ(fms->MfZ[3], 0.1f);
    EXPECT_DOUBLE_EQ(fms->MfZ[8], 0.6f);
    EXPECT_DOUBLE_EQ(fms->MfZi[5], 0.3f);
}

TEST_F(Components, ZoneMassFractionErrors)
{
    struct Case {
        const char* cc;
        const char* msg;
    } cases[] = {
        {"4\n-999\n", "Zones*contaminant count mis-match: 4"},
        {"6\n1 -0.1 0.2 -0.3\n2 0.4 -0.5 0.6\n-999\n", "Zone initial mass fraction(s) < 0"},
        {"6\n1 0.1 0.2 0.3\n3 0.4 0.5 0.6\n-999\n", "Zone number mis-match: 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.msg);
        restart();
        fms->nctm = 3;
        ZoneRec z1, z2;
        z2.nr = 2;
        open(std::string(kLevel) + section<ZoneRec>({z1, z2}) + c.cc);
        lev_read(fms, &pool);
        zone_read(fms, &pool, 0);
        EXPECT_EQ(errors(), 1);
        EXPECT_EQ(count(log(), " " + std::string(c.msg) + "\n"), 1u) << log();
    }
}

TEST_F(Components, NameLongerThanItsLimitIsFatal)
{
    ZoneRec z;
    z.name = std::string(31, 'n');
    ZoneRec z2;
    z2.nr = 2;
    z2.name = std::string(32, 'n');
    open(std::string(kLevel) + section<ZoneRec>({z, z2}) + "0\n-999\n");
    lev_read(fms, &pool);
    ChildResult r = runChild([&] { zone_read(fms, &pool, 0); });
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(logged("Buffer overflow: " + std::string(31, 'n'))) << log();
    EXPECT_EQ(count(log(), "Buffer overflow"), 1u);
}

TEST_F(Components, CirdalRecordsCarryOneMoreLine)
{
    ZoneRec z1, z2;
    z2.nr = 2;
    std::string zones = "2\n" + z1.str() + "! extra line, even one that looks like a comment\n" + z2.str() +
                        "9 9 9 extra line\n-999\n0\n-999\n";
    open(std::string(kLevel) + zones);
    lev_read(fms, &pool);
    EXPECT_EQ(zone_read(fms, &pool, 1), 2);
    EXPECT_EQ(errors(), 0) << log();
}

class Paths : public Components
{
  protected:
    // Two zones on the level at 3 m, one system.
    int read(const std::vector<PathRec>& paths)
    {
        ZoneRec z1, z2;
        z2.nr = 2;
        z2.relHt = "2";
        open(std::string(kLevel) + "1\n1 0 0 0 0 0 0 S\ndescription\n-999\n" + section<ZoneRec>({z1, z2}) +
             "0\n-999\n" + section(paths));
        lev_read(fms, &pool);
        ahs_read(fms, &pool);
        zone_read(fms, &pool, 0);
        return path_read(fms, &pool, 0);
    }
};

TEST_F(Paths, RecordFields)
{
    PathRec p;
    p.flags = 0x3FF; // bits above 8 are dropped; bit 3 needs a system
    p.ahs = 1;
    p.zn = 2;
    p.tail = "1 mult_key 1 cfd_key 4 5 6";
    PathRec p2;
    p2.nr = 2;
    EXPECT_EQ(read({p, p2}), 2);
    EXPECT_EQ(errors(), 0) << log();
    Path* r = fms->PthLst[1];
    EXPECT_EQ(r->flags, 0x1FF);
    EXPECT_EQ(r->zoneN, fms->ZnLst[2]);
    EXPECT_EQ(r->zoneM, fms->ZnLst[1]);
    EXPECT_EQ(r->afe, nullptr); // a system path takes no element from the file
    EXPECT_EQ(r->ahs, fms->AhsLst[1]);
    EXPECT_FLOAT_EQ(r->x, 2.5f);
    EXPECT_FLOAT_EQ(r->y, -1.0f);
    EXPECT_FLOAT_EQ(r->hgt, 4.25f);
    EXPECT_DOUBLE_EQ(r->mult, 1.0);
    EXPECT_FLOAT_EQ(r->windConst, 0.5f);
    EXPECT_FLOAT_EQ(r->windMod, 0.8f);
    EXPECT_FLOAT_EQ(r->azimuth, 90.0f);
    EXPECT_FLOAT_EQ(r->designFlow, 0.1f);
    EXPECT_STREQ(r->vfKey, "mult_key");
    EXPECT_EQ(r->msrc, VSRC_CVF);
    EXPECT_STREQ(r->cfdKey, "cfd_key");
    EXPECT_EQ(r->cfdData[2], 6);
    Path* r2 = fms->PthLst[2];
    EXPECT_EQ(r2->zoneN, nullptr); // ambient
    EXPECT_EQ(r2->afe, fms->AfeLst[1]);
    EXPECT_EQ(r2->msrc, VSRC_NONE);
    EXPECT_NE(log().find("Path section read successfully.\n"), std::string::npos);
}

TEST_F(Paths, FlagAndReferenceRules)
{
    struct Case {
        const char* what;
        void (*change)(PathRec&);
        const char* msg; // null: accepted
    } cases[] = {
        {"recirculation path ignores its element",
         [](PathRec& p) {
             p.flags = 16;
             p.afe = 999;
         },
         nullptr},
        {"ordinary path needs an element", [](PathRec& p) { p.afe = 999; },
         "Invalid flow element number, path 1"},
        {"element 0", [](PathRec& p) { p.afe = 0; }, "Invalid flow element number, path 1"},
        {"system without flag 8", [](PathRec& p) { p.ahs = 2; }, "Invalid AHS number, path 1"},
        {"flag 8 without system", [](PathRec& p) { p.flags = 8; }, "Invalid AHS number, path 1"},
        {"flag 8, system past end",
         [](PathRec& p) {
             p.flags = 8;
             p.ahs = 2;
         },
         "Invalid AHS number, path 1"},
        {"flag 8 with its system",
         [](PathRec& p) {
             p.flags = 8;
             p.ahs = 1;
         },
         nullptr},
        {"zone past end", [](PathRec& p) { p.zm = 3; }, "Invalid zone number, path 1"},
        {"zone 0", [](PathRec& p) { p.zn = 0; }, "Invalid zone number, path 1"},
        {"ambient to ambient", [](PathRec& p) { p.zm = -1; }, "Path 1 joins zone -1 to itself"},
        {"zone to itself",
         [](PathRec& p) {
             p.zn = 2;
             p.zm = 2;
         },
         "Path 1 joins zone 2 to itself"},
        {"filter", [](PathRec& p) { p.flt = 1; }, "Invalid filter number, path 1"},
        {"wind profile", [](PathRec& p) { p.wpf = 1; }, "Invalid wind profile number, path 1"},
        {"schedule", [](PathRec& p) { p.wsh = 1; }, "Invalid week-schedule number, path 1"},
        {"control", [](PathRec& p) { p.ctrl = 1; }, "Invalid control node number, path 1"},
        {"level", [](PathRec& p) { p.lev = 0; }, "Invalid level number, path 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        PathRec p;
        c.change(p);
        read({p});
        if (!c.msg) {
            EXPECT_EQ(errors(), 0) << log();
        } else {
            EXPECT_EQ(errors(), 1) << log();
            EXPECT_TRUE(logged(c.msg)) << log();
        }
    }
}

class Ducts : public Components
{
  protected:
    // Two zones, the given junctions, then the given ducts.
    void read(const std::vector<JctRec>& jcts, const std::vector<DuctRec>& ducts,
              const std::string& jcc = "0\n-999\n")
    {
        ZoneRec z1, z2;
        z2.nr = 2;
        std::string zcc = fms->nctm ? "6\n1 0 0 0\n2 0 0 0\n-999\n" : "0\n-999\n";
        open(std::string(kLevel) + section<ZoneRec>({z1, z2}) + zcc + section(jcts) + jcc + section(ducts));
        lev_read(fms, &pool);
        zone_read(fms, &pool, 0);
        jct_read(fms, &pool, 0);
        if (errors() == 0) dct_read(fms, &pool, 0);
    }
    static std::vector<JctRec> two()
    {
        JctRec j1, j2;
        j2.nr = 2;
        return {j1, j2};
    }
};

TEST_F(Ducts, JunctionAndTerminalFields)
{
    JctRec j;
    j.flags = 0x205;
    j.term = 1;
    j.zone = -1;
    j.dct = 1;
    j.vf = "2 tkey";
    JctRec j2;
    j2.nr = 2;
    j2.zone = 2;
    read({j, j2}, {DuctRec()});
    EXPECT_EQ(errors(), 0) << log();
    Junction* r = fms->JctLst[1];
    EXPECT_EQ(r->flags, 0x205);
    EXPECT_EQ(r->terminal, 1);
    EXPECT_EQ(r->zone, nullptr);
    EXPECT_FLOAT_EQ(r->hgt, 3.5f);
    EXPECT_FLOAT_EQ(r->x, 1.0f);
    EXPECT_FLOAT_EQ(r->T, 293.15f);
    EXPECT_STREQ(r->vfKey, "tkey");
    EXPECT_EQ(r->tsrc, VSRC_DVF);
    EXPECT_FLOAT_EQ(r->windConst, 1.5f);
    EXPECT_FLOAT_EQ(r->azimuth, 180.0f);
    EXPECT_EQ(r->bal, 1);
    EXPECT_FLOAT_EQ(r->area, 0.04f);
    EXPECT_FLOAT_EQ(r->Fdes, 0.05f);
    EXPECT_FLOAT_EQ(r->loss1, 0.3f);
    EXPECT_FLOAT_EQ(r->loss2, 0.6f);
    EXPECT_EQ(fms->JctLst[2]->zone, fms->ZnLst[2]);
    EXPECT_EQ(fms->JctLst[2]->terminal, 0);

    Duct* d = fms->DctLst[1];
    EXPECT_EQ(d->jctN, fms->JctLst[1]);
    EXPECT_EQ(d->jctM, fms->JctLst[2]);
    EXPECT_EQ(d->dfe, fms->DfeLst[1]);
    EXPECT_FLOAT_EQ(d->len, 3.0f);

    jct_link_ducts(fms);
    EXPECT_EQ(errors(), 0);
    EXPECT_EQ(r->duct, d);
    EXPECT_EQ(fms->JctLst[2]->duct, nullptr);
    std::string text = log();
    for (const char* s : {"Duct Junction", "Duct Junction CC", "Duct Segment"})
        EXPECT_NE(text.find(std::string(s) + " section read successfully.\n"), std::string::npos) << s;
}

TEST_F(Ducts, JunctionErrors)
{
    struct Case {
        const char* what;
        void (*change)(JctRec&);
        const char* msg;
    } cases[] = {
        {"zone 0", [](JctRec& j) { j.zone = 0; }, "Invalid zone number, junction 2"},
        {"zone past end", [](JctRec& j) { j.zone = 3; }, "Invalid zone number, junction 2"},
        {"reaction", [](JctRec& j) { j.knr = 1; }, "Invalid reaction number, junction 2"},
        {"schedule", [](JctRec& j) { j.wsh = 1; }, "Invalid schedule number, junction 2"},
        {"control", [](JctRec& j) { j.ctrl = 1; }, "Invalid control node number, junction 2"},
        {"level", [](JctRec& j) { j.lev = 2; }, "Invalid level number, junction 2"},
        {"0 K", [](JctRec& j) { j.T = "0"; }, "Invalid temperature, junction 2"},
        {"terminal filter",
         [](JctRec& j) {
             j.term = 1;
             j.terminal = "t 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
         },
         "Invalid filter number, junction 2"},
        {"terminal profile",
         [](JctRec& j) {
             j.term = 1;
             j.terminal = "t 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
         },
         "Invalid wind profile number, junction 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        std::vector<JctRec> js = two();
        c.change(js[1]);
        read(js, {});
        EXPECT_EQ(errors(), 1) << log();
        EXPECT_TRUE(logged(c.msg)) << log();
        EXPECT_EQ(log().find("Duct Junction CC"), std::string::npos);
    }
}

TEST_F(Ducts, JunctionDuctNumberIsRangeChecked)
{
    for (int dct : {-1, 2}) {
        SCOPED_TRACE(dct);
        restart();
        std::vector<JctRec> js = two();
        js[1].dct = dct;
        read(js, {DuctRec()});
        EXPECT_EQ(errors(), 0);
        jct_link_ducts(fms);
        EXPECT_EQ(errors(), 1);
        EXPECT_TRUE(logged("Invalid duct number, junction 2")) << log();
        EXPECT_EQ(fms->JctLst[2]->duct, nullptr);
    }
}

TEST_F(Ducts, JunctionMassFractions)
{
    fms->nctm = 3;
    read(two(), {}, "6\n1 0.1 0.2 0.3\n2 0.4 0.5 0.6\n-999\n");
    EXPECT_EQ(errors(), 0) << log();
    ASSERT_EQ(fms->nMfJ, 6); // junction j starts at (j - 1) * 3
    EXPECT_DOUBLE_EQ(fms->MfJ[0], 0.1f);
    EXPECT_DOUBLE_EQ(fms->MfJ[5], 0.6f);
    EXPECT_DOUBLE_EQ(fms->MfJi[3], 0.4f);

    struct Case {
        const char* cc;
        const char* msg;
    } cases[] = {
        {"3\n-999\n", "Junctions*contaminant count mis-match: 3"},
        {"6\n1 -0.1 0.2 0.3\n2 0.4 0.5 -0.6\n-999\n", "Junction initial mass fraction(s) < 0"},
        {"6\n1 0.1 0.2 0.3\n3 0.4 0.5 0.6\n-999\n", "Junction number mis-match: 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.msg);
        restart();
        fms->nctm = 3;
        read(two(), {}, c.cc);
        EXPECT_EQ(errors(), 1);
        EXPECT_EQ(count(log(), " " + std::string(c.msg) + "\n"), 1u) << log();
    }
}

TEST_F(Ducts, SegmentRules)
{
    struct Case {
        const char* what;
        void (*change)(DuctRec&);
        const char* msg; // null: accepted
    } cases[] = {
        {"DWC with length", [](DuctRec&) {}, nullptr},
        {"DWC without length or loss", [](DuctRec& d) { d.len = "0"; },
         "Duct 1 with DWC element has neither length nor loss coefficient"},
        {"DWC with a loss coefficient only",
         [](DuctRec& d) {
             d.len = "0";
             d.sumC = "0.5";
         },
         nullptr},
        {"fan without length or loss",
         [](DuctRec& d) {
             d.dfe = 2;
             d.len = "0";
         },
         nullptr},
        {"junction to itself", [](DuctRec& d) { d.j1 = 2; }, "Duct 1 joins junction 2 to itself"},
        {"no junctions",
         [](DuctRec& d) {
             d.j1 = 0;
             d.j2 = 0;
         },
         nullptr},
        {"junction past end", [](DuctRec& d) { d.j2 = 3; }, "Invalid junction number, duct 1"},
        {"element 0", [](DuctRec& d) { d.dfe = 0; }, "Invalid duct element number, duct 1"},
        {"element past end", [](DuctRec& d) { d.dfe = 3; }, "Invalid duct element number, duct 1"},
        {"filter", [](DuctRec& d) { d.flt = 1; }, "Invalid filter number, duct 1"},
        {"schedule", [](DuctRec& d) { d.wsh = 1; }, "Invalid week-schedule number, duct 1"},
        {"control", [](DuctRec& d) { d.ctrl = 1; }, "Invalid control node number, duct 1"},
        {"number", [](DuctRec& d) { d.nr = 2; }, "Duct number mis-match: 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        DuctRec d;
        c.change(d);
        read(two(), {d});
        if (!c.msg) {
            EXPECT_EQ(errors(), 0) << log();
        } else {
            EXPECT_EQ(errors(), 1) << log();
            EXPECT_TRUE(logged(c.msg)) << log();
        }
    }
}

} // namespace
