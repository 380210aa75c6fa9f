// The ambient contaminant file: its columns and their species, forward reading through the
// bracket, interpolation of the ambient mass fractions, the water vapour left to the weather
// file, its messages, the step and the start of a new year.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "boundary/ctm_file.h"
#include "boundary/weather.h"
#include "engine/simloop.h"
#include "network/airnet.h"
#include "support/nxt.h"
#include "testutil.h"
#include "transport/species.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

static int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

static std::string ctmText(const std::string& period, const std::string& columns, const std::string& records)
{
    return "SpeciesFile Flowpad 2.0\ntest contaminants ! not a comment here\n" + period + "\n" + columns +
           "\n" + records;
}

static std::string writeCtm(const std::string& text)
{
    std::string path = scratchDir() + "/ctm_test.ctm";
    writeFile(path, text);
    return path;
}

struct SpeciesSpec {
    const char* name;
    float CC0;
    bool nonTrace;
};

// A state with simulated species (non-trace ones first), an ambient node and a contaminant
// file. Species are given by name and default ambient value; the ambient starts at `start`.
struct Ctm {
    TestState s;
    std::vector<Species> species;
    std::vector<double> mf;
    AirNode ambient{};

    Ctm(const std::string& path, const std::vector<SpeciesSpec>& defs, double start = -1.0,
        bool logged = true)
    {
        if (logged) {
            s.openLog();
            s->errorFcn = quietFcn;
        }
        snprintf(s->ctmPath, sizeof s->ctmPath, "%s", path.c_str());
        species.resize(defs.size());
        mf.resize(defs.size());
        for (size_t i = 0; i < defs.size(); i++) {
            species[i] = Species{};
            snprintf(species[i].name, sizeof species[i].name, "%s", defs[i].name);
            species[i].CC0 = defs[i].CC0;
            species[i].nonTrace = defs[i].nonTrace;
            if (defs[i].nonTrace) s->nNonTrace++;
            if (std::string(defs[i].name) == "H2O") s->iH2O = (int)i;
            mf[i] = start >= 0.0 ? start : defs[i].CC0;
        }
        s->nctm = (int)defs.size();
        s->ctm = species.data();
        ambient.Mf = mf.data();
        s->ambt = &ambient;
    }
    ~Ctm()
    {
        CTM_close(s.fms);
        WTH_close(s.fms);
    }
    FlowmirState* fms() { return s.fms; }
    int count(const std::string& text)
    {
        std::string log = s.log();
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            n++;
        return n;
    }
};

static int occurrences(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

// Three columns, CO2, NO2 and SF6, of which the run simulates CO2 and SF6 (in another order) and
// a third species the file does not give.
TEST(CtmFile, ColumnsMapToTheSimulatedSpeciesAndInterpolate)
{
    Ctm c(kProjects + "/ctm_hourly.ctm",
          {{"SF6", 7e-9f, false}, {"CO2", 4e-4f, false}, {"PM25", 7e-9f, false}}, 5e-9);
    FlowmirState* fms = c.fms();
    fms->listLevel = 2;
    CTM_init(fms, 1, 1, 1);
    ASSERT_EQ(fms->nctmCols, 3);
    EXPECT_EQ(fms->spindx[0], 1);  // CO2
    EXPECT_EQ(fms->spindx[1], -1); // NO2: read and dropped
    EXPECT_EQ(fms->spindx[2], 0);  // SF6

    struct Case {
        int time, advance, ahead;
        double co2, sf6;
    } cases[] = {
        {0, 1, 3600, 0.001, 1e-9},         // set-up: the first record, the next one read
        {1800, 0, 1800, 0.002, 2e-9},      // half-way between 0.001 and 0.003
        {3600, 0, 0, 0.003, 3e-9},         // at the record, not past it
        {3600, 1, 3600, 0.003, 3e-9},      // past it: the next record is read, same values
        {4500, 0, 2700, 0.00275, 2.75e-9}, // a quarter of the way from 0.003 to 0.002
        {9000, 0, 1800, 0.00225, 1e-9},    // half-way between 0.002 and 0.0025
        {10800, 0, 0, 0.0025, 0},          // the last record
        {14400, 1, -3600, 0.0025, 0},      // beyond it: held
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.time);
        EXPECT_EQ(CTM_get(fms, 1, k.time, k.advance), k.ahead);
        EXPECT_NEAR(c.mf[1], k.co2, 1e-6 * k.co2);
        EXPECT_NEAR(c.mf[0], k.sf6, 1e-6 * k.sf6);
        EXPECT_EQ(c.mf[2], 5e-9); // no column: the ambient keeps its value
    }
    EXPECT_EQ(c.count("  CTM: 2e-09 0.002 5e-09\n"), 1);
    EXPECT_EQ(c.count(" End of CTM file before end of simulation\n"), 1);
    EXPECT_EQ(fms->errorCount, 0) << c.s.log();
}

// The first species takes up what the other non-trace species leave of one, whatever its own
// column says; trace species do not count.
TEST(CtmFile, FirstNonTraceSpeciesBalancesTheOthers)
{
    struct Case {
        const char* name;
        std::string columns, values;
        double a, b, c;
    } cases[] = {
        {"only B given", "1 B", "0.23", 0.77, 0.23, 1e-6},
        {"A given too", "3 C A B", "2e-5 0.5 0.23", 0.77, 0.23, 2e-5},
        {"no non-trace column", "1 C", "3e-5", 0.79, 0.21, 3e-5},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::string path = writeCtm(ctmText("1/1 1/1", k.columns, "1/1 00:00:00 " + k.values + "\n"));
        Ctm c(path, {{"A", 0.79f, true}, {"B", 0.21f, true}, {"C", 1e-6f, false}});
        CTM_init(c.fms(), 1, 1, 1);
        CTM_get(c.fms(), 1, 0, 1);
        EXPECT_NEAR(c.mf[0], k.a, 1e-7);
        EXPECT_NEAR(c.mf[1], k.b, 1e-7);
        EXPECT_NEAR(c.mf[2], k.c, 1e-7 * k.c);
        EXPECT_EQ(c.fms()->errorCount, 0) << c.s.log();
    }
}

// The weather file owns the ambient water vapour: read first at set-up and after the contaminant
// file in every step, it is never overwritten by a contaminant-file column of H2O.
TEST(CtmFile, WaterVapourFollowsTheWeatherFileAtSetUpAndInEveryStep)
{
    std::string wth = scratchDir() + "/ctm_water.wth";
    writeFile(wth, "WeatherFile Flowpad 2.0\nhumid\n1/1 1/1\n1/1 1 1 0 0\n"
                   "1/1 00:00:00 280 101325 0 0 5 0 0 0 0 0\n1/1 02:00:00 280 101325 0 0 9 0 0 0 0 0\n");
    std::string path =
        writeCtm(ctmText("1/1 1/1", "2 CO2 H2O",
                         "1/1 00:00:00 0.001 0.02\n1/1 01:00:00 0.002 0.03\n1/1 02:00:00 0.003 0.04\n"));
    Ctm c(path, {{"CO2", 4e-4f, false}, {"H2O", 0.004f, false}});
    FlowmirState* fms = c.fms();
    snprintf(fms->wthPath, sizeof fms->wthPath, "%s", wth.c_str());

    // Set-up order: weather, then contaminants.
    WTH_init(fms, 1, 1, 1);
    WTH_get(fms, 1, 0, 1);
    CTM_init(fms, 1, 1, 1);
    CTM_get(fms, 1, 0, 1);
    EXPECT_EQ(fms->spindx[1], 1);
    EXPECT_NEAR(c.mf[0], 0.001, 1e-9);
    EXPECT_NEAR(c.mf[1], 0.005 / 1.005, 1e-9);

    // A step: contaminants, then weather; the water vapour comes from the weather at every read.
    double water = c.mf[1];
    for (int t : {1800, 3600, 5400}) {
        SCOPED_TRACE(t);
        CTM_get(fms, 1, t, 0);
        EXPECT_EQ(c.mf[1], water); // untouched by the contaminant file ...
        EXPECT_NEAR(c.mf[0], 0.001 + 0.001 * t / 3600.0, 1e-9);
        WTH_get(fms, 1, t, 0);
        double w = (5 + 4 * t / 7200.0) / 1000;
        EXPECT_NEAR(c.mf[1], w / (1 + w), 1e-9); // ... and set by the weather
        water = c.mf[1];
    }

    // Without a weather file the ambient water vapour keeps its default.
    WTH_close(fms);
    c.mf[1] = 0.004;
    CTM_restart(fms, 1, 1);
    CTM_get(fms, 1, 1800, 0);
    EXPECT_EQ(c.mf[1], 0.004);
    EXPECT_EQ(c.count(" H2O column of CTM file not used"), 1); // once per run, not per restart
    EXPECT_EQ(fms->errorCount, 0) << c.s.log();

    // H2O as the first non-trace species: the balance does not reach the ambient either.
    std::string second = writeCtm(ctmText("1/1 1/1", "1 AIR", "1/1 00:00:00 0.98\n"));
    Ctm d(second, {{"H2O", 0.01f, true}, {"AIR", 0.99f, true}});
    CTM_init(d.fms(), 1, 1, 1);
    CTM_get(d.fms(), 1, 0, 1);
    EXPECT_NEAR(d.mf[1], 0.98, 1e-7);
    EXPECT_NEAR(d.mf[0], 0.01, 1e-9);
}

// Records before the start day are passed on the way to the start; the earlier record of the
// first bracket must carry its own values, not those of a record further back.
TEST(CtmFile, EarlierRecordBeforeTheStartCarriesItsOwnValues)
{
    std::string hourlyDay1;
    for (int h = 1; h <= 24; h++)
        hourlyDay1 += "1/1 " + std::to_string(h) + ":00:00 " + std::to_string(h) + "e-4\n";
    struct Case {
        const char* name;
        std::string records;
        int day, time;
        double co2;
    } cases[] = {
        {"daily at noon", "1/1 12:00:00 1e-4\n1/2 12:00:00 2e-4\n1/3 12:00:00 3e-4\n", 3, 6 * 3600, 2.75e-4},
        {"24:00 of the day before", hourlyDay1 + "1/2 01:00:00 5e-4\n", 2, 1800, 14.5e-4},
        {"evening of the day before", "1/1 00:00:00 9e-4\n1/1 18:00:00 4e-4\n1/2 06:00:00 6e-4\n", 2, 0,
         5e-4},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::string path = writeCtm(ctmText("1/1 1/3", "1 CO2", k.records));
        Ctm c(path, {{"CO2", 4e-4f, false}});
        CTM_init(c.fms(), k.day, 3, 1);
        CTM_get(c.fms(), k.day, 0, 1);
        CTM_get(c.fms(), k.day, k.time, 0);
        EXPECT_NEAR(c.mf[0], k.co2, 1e-7 * k.co2);
        EXPECT_EQ(c.fms()->errorCount, 0) << c.s.log();
    }
}

// The transient loop brings the file to each step first and warns when a record falls strictly
// inside a step.
TEST(CtmFile, StepSpanningARecordIsReported)
{
    std::string path = writeCtm(ctmText(
        "1/1 1/1", "1 CO2",
        "1/1 00:00:00 1e-4\n1/1 00:30:00 2e-4\n1/1 01:00:00 3e-4\n1/1 02:00:00 4e-4\n1/1 03:00:00 5e-4\n"
        "1/1 03:30:00 6e-4\n1/1 04:00:00 7e-4\n"));
    ChildResult r = runChild([&] {
        Ctm c(path, {{"CO2", 4e-4f, false}}, -1.0, false);
        FlowmirState* fms = c.fms();
        c.ambient.T = 293.15;
        c.ambient.R = 287.055;
        fms->quiet = 1;
        fms->afsim = 0;
        fms->mfsim = 2;
        fms->time_step = 3600;
        fms->dt = 3600.0f;
        fms->dayofy = fms->endDate = 1;
        fms->stepStartTime = fms->stepEndTime = 0;
        fms->endTime = 4 * 3600;
        CTM_init(fms, 1, 1, 1);
        CTM_get(fms, 1, 0, 1);
        sim_loop_start(fms, 0);
        printf("%g\n", c.mf[0]);
    });
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(occurrences(r.err, "WARNING"), 2) << r.err;
    EXPECT_EQ(
        occurrences(r.err, "WARNING Timestep ending 1/1, 01:00:00 spans multiple entries in CTM file\n"), 1)
        << r.err;
    EXPECT_EQ(
        occurrences(r.err, "WARNING Timestep ending 1/1, 04:00:00 spans multiple entries in CTM file\n"), 1)
        << r.err;
    EXPECT_EQ(r.out, "0.0007\n"); // the values of the last step's end
}

// A run from day 365 into day 1: at midnight the file is prepared again from day 1, also when a
// "*" ended it early.
TEST(CtmFile, NewYearStartsTheFileAgainFromDayOne)
{
    std::string starred = writeCtm(ctmText("1/1 12/31", "1 CO2",
                                           "1/1 00:00:00 0.001\n1/1 12:00:00 0.002\n12/31 06:00:00 0.003\n*\n"
                                           "12/31 24:00:00 never read\n"));
    struct Case {
        const char* name;
        std::string path;
        double lastDay;
    } cases[] = {
        {"records to 24:00", kProjects + "/ctm_yearend.ctm", 0.004},
        {"ended by a star", starred, 0.003},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Ctm c(k.path, {{"CO2", 4e-4f, false}});
        FlowmirState* fms = c.fms();
        CTM_init(fms, 365, 1, 1);
        CTM_get(fms, 365, 43200, 1);
        CTM_get(fms, 365, 86400, 0);
        EXPECT_NEAR(c.mf[0], k.lastDay, 1e-9);

        uint64_t allocated = fms->bytesAllocated;
        fms->dayofy = 365;
        fms->endDate = 1;
        fms->stepEndTime = 86400;
        rolloverNewSimDate(fms, 0);
        EXPECT_EQ(fms->dayofy, 1);
        EXPECT_EQ(fms->bytesAllocated, allocated); // the arrays are kept
        EXPECT_EQ(CTM_get(fms, 1, 0, 1), 43200);
        EXPECT_NEAR(c.mf[0], 0.001, 1e-9);
        EXPECT_EQ(CTM_get(fms, 1, 21600, 0), 21600);
        EXPECT_NEAR(c.mf[0], 0.0015, 1e-9);
        EXPECT_EQ(fms->errorCount, 0) << c.s.log();
    }
}

TEST(CtmFile, ReadingLeavesTheTextReaderAndTheHeapBalanced)
{
    Ctm c(kProjects + "/ctm_hourly.ctm", {{"CO2", 4e-4f, false}, {"SF6", 0, false}, {"PM25", 0, false}});
    FlowmirState* fms = c.fms();
    std::string other = scratchDir() + "/other.txt";
    writeFile(other, "alpha beta\n");
    ASSERT_EQ(nxtopen(fms, other.c_str(), __FILE__, __LINE__), 0);
    FILE* input = fms->_UNXT;
    char word[64];
    nxtwrd(fms, word, 0, sizeof word);

    uint64_t before = fms->bytesAllocated;
    CTM_init(fms, 1, 1, 1);
    EXPECT_EQ(fms->bytesAllocated - before, 3 * sizeof(int) + 2 * 3 * sizeof(float)); // spindx, Mf0, Mf1
    uint64_t allocated = fms->bytesAllocated;
    for (int t = 0; t < 4 * 3600; t += 600) {
        CTM_get(fms, 1, t, 1);
        CTM_get(fms, 1, t + 600, 0);
    }
    EXPECT_EQ(fms->bytesAllocated, allocated); // the per-step path allocates nothing
    CTM_restart(fms, 1, 1);
    EXPECT_EQ(fms->bytesAllocated, allocated);
    EXPECT_EQ(fms->_UNXT, input);
    nxtwrd(fms, word, 0, sizeof word);
    EXPECT_STREQ(word, "beta");
    nxtclose(fms);

    CTM_close(fms);
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
    EXPECT_EQ(fms->ctmFile, nullptr);
    EXPECT_EQ(fms->spindx, nullptr);
    CTM_close(fms);         // harmless twice
    CTM_restart(fms, 1, 1); // and nothing to prepare again once closed
    EXPECT_EQ(fms->ctmFile, nullptr);
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
}

// Files refused or runs stopped, each in a child process.
TEST(CtmFile, RefusedFilesAndStoppedRuns)
{
    const std::string one = "1/1 00:00:00 1e-4\n";
    const std::string two = "1/1 00:00:00 1e-4 1e-9\n";
    auto getAt = [](int time, int advance) {
        return [=](FlowmirState* fms) { CTM_get(fms, 1, time, advance); };
    };
    auto betweenSameInstants = [](FlowmirState* fms) {
        CTM_get(fms, 1, 7201, 0); // reads both records at 02:00 and meets the end
        CTM_get(fms, 1, 5400, 0); // a value between them is asked for
    };
    struct Case {
        const char* name;
        std::string text;
        int startDay, endDay;
        std::function<void(FlowmirState*)> after; // what the run does after opening
        std::vector<std::string> messages;
    };
    // clang-format off
    const Case cases[] = {
        {"header", "SpeciesFile Flowpad 2.1\n" + ctmText("1/1 1/1", "1 CO2", one).substr(24), 1, 1, nullptr,
         {"WARNING Bad contaminant file: ", "FATAL Invalid header: SpeciesFile Flowpad 2.1\n"}},
        {"weather header", "WeatherFile Flowpad 2.0\n" + ctmText("1/1 1/1", "1 CO2", one).substr(24), 1, 1,
         nullptr, {"FATAL Invalid header: WeatherFile Flowpad 2.0\n"}},
        {"dates reversed", ctmText("1/5 1/3", "1 CO2", one), 3, 3, nullptr,
         {"FATAL Invalid CTM file date sequence\n"}},
        {"date not valid", ctmText("1/1 2/30", "1 CO2", one), 1, 1, nullptr,
         {"ERROR 2/30 is not a valid mm/dd date\n", "FATAL Invalid CTM file date sequence\n"}},
        {"starts too late", ctmText("1/2 1/5", "1 CO2", one), 1, 3, nullptr,
         {"FATAL Start date not on CTM file\n"}},
        {"ends too early", ctmText("1/1 1/3", "1 CO2", one), 1, 5, nullptr,
         {"FATAL End date not on CTM file\n"}},
        {"year's end not covered", ctmText("1/2 12/31", "1 CO2", one), 365, 1, nullptr,
         {"FATAL End date not on CTM file\n"}},
        {"no dates", "SpeciesFile Flowpad 2.0\nonly a description\n", 1, 1, nullptr,
         {"FATAL Missing start and end dates (line 3 of CTM file "}},
        {"no column count", ctmText("1/1 1/1", "", ""), 1, 1, nullptr,
         {"FATAL Missing number of columns (line "}},
        {"column count not a number", ctmText("1/1 1/1", "two CO2 SF6", one), 1, 1, nullptr,
         {"FATAL Bad number of columns: two (line 4 of CTM file "}},
        {"negative column count", ctmText("1/1 1/1", "-1 CO2", one), 1, 1, nullptr,
         {"FATAL Bad number of columns: -1 (line 4 of CTM file "}},
        {"column count beyond the file", ctmText("1/1 1/1", "2000000000 CO2", one), 1, 1, nullptr,
         {"FATAL Bad number of columns: 2000000000 (line 4 of CTM file "}},
        {"names missing", ctmText("1/1 1/1", "3 CO2 SF6", ""), 1, 1, nullptr,
         {"FATAL Missing name of column 3 of 3 (line "}},
        {"no records", ctmText("1/1 1/1", "1 CO2", ""), 1, 1, nullptr,
         {"FATAL Bad day, bad time, or end-of-file, in first hourly entry of CTM file\n"}},
        {"bad time in the first record", ctmText("1/1 1/1", "1 CO2", "1/1 0:7x:00 1e-4\n"), 1, 1, nullptr,
         {"ERROR 0:7x:00 is not a valid time\n",
          "FATAL Bad day, bad time, or end-of-file, in first hourly entry of CTM file\n"}},
        {"value not a number", ctmText("1/1 1/1", "2 CO2 NO2", "1/1 00:00:00 1e-4 much\n"), 1, 1, nullptr,
         {"ERROR CTM record 1/1 00:00:00, column 2: much is not a (valid) number (line 5 of CTM file ",
          "FATAL Error encountered while reading CTM file\n"}},
        {"record short of a value", ctmText("1/1 1/1", "2 CO2 SF6", one + "1/1 01:00:00 1e-4 2e-9\n"), 1, 1,
         nullptr,
         {"ERROR CTM record 1/1 00:00:00, column 2 (SF6): 1/1 is not a (valid) number (line 5 of CTM file ",
          "FATAL Error encountered while reading CTM file\n"}},
        {"file ends in a record", ctmText("1/1 1/1", "2 CO2 SF6", two + "1/1 01:00:00 1e-4"), 1, 1,
         getAt(1800, 0), {"FATAL CTM record 1/1 01:00:00 ends after 1 of 2 values (line 6 of CTM file "}},
        {"star in a record", ctmText("1/1 1/1", "2 CO2 SF6", two + "1/1 01:00:00 1e-4 * 2e-9\n"), 1, 1,
         getAt(1800, 0), {"FATAL CTM record 1/1 01:00:00 ends after 1 of 2 values (CTM file "}},
        {"not finite", ctmText("1/1 1/1", "1 CO2", "1/1 00:00:00 nan\n"), 1, 1, nullptr,
         {"FATAL CTM record 1/1 00:00:00, column 1 (CO2): nan is not finite (line 5 of CTM file "}},
        {"beyond single precision", ctmText("1/1 1/1", "1 CO2", one + "1/1 01:00:00 1e39\n"), 1, 1,
         getAt(1800, 0),
         {"FATAL CTM record 1/1 01:00:00, column 1 (CO2): 1e39 is beyond single-precision range (line 6 of CTM "
          "file "}},
        {"beyond double precision", ctmText("1/1 1/1", "1 CO2", "1/1 00:00:00 -1e400\n"), 1, 1, nullptr,
         {"FATAL CTM record 1/1 00:00:00, column 1 (CO2): -1e400 is beyond single-precision range"}},
        {"times decrease", ctmText("1/1 1/1", "1 CO2", "1/1 02:00:00 1e-4\n1/1 01:00:00 2e-4\n"), 1, 1,
         getAt(7200, 1),
         {"ERROR File day-times decrease near day 1/1 time 01:00:00\n",
          "FATAL Error encountered while reading CTM file\n"}},
        {"date without time", ctmText("1/1 1/2", "1 CO2", one + "1/2\n"), 1, 2, getAt(3600, 1),
         {"ERROR Expecting time after read date 1/2\n", "FATAL Error encountered while reading CTM file\n"}},
        {"same instant", ctmText("1/1 1/1", "1 CO2", "1/1 01:00:00 1e-4\n1/1 02:00:00 2e-4\n1/1 02:00:00 3e-4\n"),
         1, 1, betweenSameInstants, {"FATAL CTM file day-times must increase\n"}},
    };
    // clang-format on
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::string path = writeCtm(k.text);
        ChildResult r = runChild([&] {
            Ctm c(path, {{"CO2", 4e-4f, false}, {"SF6", 0, false}}, -1.0, false);
            CTM_init(c.fms(), k.startDay, k.endDay, 1);
            if (k.after) k.after(c.fms());
        });
        EXPECT_EQ(r.status, 2) << r.err;
        for (const std::string& m : k.messages)
            EXPECT_NE(r.err.find(m), std::string::npos) << m << "\n" << r.err;
    }

    // A file that cannot be opened is a fatal error too, and the message says why.
    std::string missing = scratchDir() + "/missing.ctm";
    ChildResult r = runChild([&] {
        TestState s;
        snprintf(s->ctmPath, sizeof s->ctmPath, "%s", missing.c_str());
        CTM_init(s.fms, 1, 1, 1);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL Could not open CTM file " + missing + ": No such file or directory\n");
}
