// Transient runs end to end: a heated room under a two-day weather file through the host, the
// results file it leaves and what flowmir-sim prints of it, a run across the year's end, refused
// starts and weather files, runs stopped midway, and a time-step loop that allocates nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "flowmir/flowmir.h"
#include "results/simread.h"
#include "testutil.h"

#include "alloc_count.h"

// --- fixtures --------------------------------------------------------------------------------

static std::string fixture(const std::string& name)
{
    return readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/" + name);
}

// A fresh folder with the project and its weather file (the fixture's, or the text given).
static std::string stageRun(const std::string& name, const std::string& prj = "", const std::string& wth = "")
{
    std::string dir = scratchDir();
    writeFile(dir + "/" + name + ".prj", prj.empty() ? fixture(name + ".prj") : prj);
    writeFile(dir + "/" + name + ".wth", wth.empty() ? fixture(name + ".wth") : wth);
    return dir;
}

static bool contains(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}

static SimFile readSim(const std::string& path)
{
    SimFile f;
    std::string why;
    EXPECT_TRUE(simRead(path.c_str(), &f, &why)) << why;
    return f;
}

// --- the weather as the file gives it --------------------------------------------------------

struct WeatherRecord {
    long at;  // seconds from the start of January 1
    double T, P, ws, wd;
};

// The records of a weather file in January (header, description, period line, one calendar
// line per day, then the records).
static std::vector<WeatherRecord> januaryRecords(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    std::vector<WeatherRecord> out;
    int first = 0, last = 0;
    for (int n = 0; std::getline(in, line); n++) {
        if (n == 2) sscanf(line.c_str(), "1/%d 1/%d", &first, &last);
        if (n < 3 + last - first + 1) continue;
        int day, h, m, s;
        WeatherRecord r;
        if (sscanf(line.c_str(), "1/%d %d:%d:%d %lf %lf %lf %lf", &day, &h, &m, &s, &r.T, &r.P, &r.ws, &r.wd) != 8)
            continue;
        r.at = (day - 1) * 86400L + h * 3600L + m * 60L + s;
        out.push_back(r);
    }
    return out;
}

// Linear interpolation between the records around the time.
static WeatherRecord interpolate(const std::vector<WeatherRecord>& records, long at)
{
    for (size_t i = 1; i < records.size(); i++) {
        const WeatherRecord& a = records[i - 1];
        const WeatherRecord& b = records[i];
        if (at < a.at || at > b.at) continue;
        double w = (double)(at - a.at) / (double)(b.at - a.at);
        return {at, a.T + (b.T - a.T) * w, a.P + (b.P - a.P) * w, a.ws + (b.ws - a.ws) * w, 0.0};
    }
    ADD_FAILURE() << "no records around " << at;
    return {};
}

// --- the heated room by hand -----------------------------------------------------------------
// A room at Ti with an opening 0.5 m and another 2.5 m above its floor, each F = C·√ΔP (kg/s).
// With no wind the same mass flow enters low and leaves high, so each opening takes half of the
// stack pressure g·Δρ·(z2 - z1), and the room's pressure is -g·Δρ·(z1 + z2)/2.
struct StackRoom {
    double F, P;
};

static StackRoom stackByHand(double Ta, double Pb)
{
    const double g = 9.8055, R = 287.055, Ti = 298.15, C = 0.01, z1 = 0.5, z2 = 2.5;
    double drho = Pb / (R * Ta) - Pb / (R * Ti);
    return {C * std::sqrt(g * drho * (z2 - z1) / 2.0), -g * drho * (z1 + z2) / 2.0};
}

// --- tests -----------------------------------------------------------------------------------

TEST(TransientRun, TwoDaysUnderAWeatherFile)
{
    std::string dir = stageRun("tr_stack");
    // Started from elsewhere: the weather file, named without a folder, is found beside the project.
    ChildResult r = runHost("-q '" + dir + "/tr_stack'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = readFile(dir + "/tr_stack.xlog");
    EXPECT_FALSE(contains(log, "ERROR")) << log;
    EXPECT_FALSE(contains(log, "WARNING")) << log;
    EXPECT_TRUE(contains(log, "Simulation completed successfully.\n"));

    SimFile f = readSim(dir + "/tr_stack.sim");
    const SimHeader& h = f.h;
    EXPECT_EQ(std::vector<int>({h.nnode, h.npath, h.step, h.date0, h.time0, h.date1, h.time1, h.nafnd, h.nafpt}),
              std::vector<int>({1, 2, 3600, 1, 0, 2, 86400, 2, 2}));

    // Per day: the record at its start, one per hour, then the day's summary at 24:00; the
    // second day starts with a repeat of midnight.
    std::vector<std::string> want, got;
    for (int day = 1; day <= 2; day++) {
        for (int t = 0; t <= 86400; t += 3600) want.push_back("step " + std::to_string(day) + " " + std::to_string(t));
        want.push_back("day " + std::to_string(day) + " 86400");
    }
    for (const SimRecord& rec : f.records)
        got.push_back((rec.kind == SIM_STEP_RECORD ? "step " : "day ") + std::to_string(rec.day) + " " +
                      std::to_string(rec.time));
    ASSERT_EQ(got, want);
    EXPECT_EQ(f.trailer[1], 48);  // time steps

    // The ambient values follow the file, interpolated between its two-hourly records; the day
    // types come from its calendar (3, then 4).
    std::vector<WeatherRecord> weather = januaryRecords(fixture("tr_stack.wth"));
    std::map<int, float> dayMax, dayMin;
    for (const SimRecord& rec : f.records) {
        if (rec.kind != SIM_STEP_RECORD) continue;
        SCOPED_TRACE("day " + std::to_string(rec.day) + " time " + std::to_string(rec.time));
        WeatherRecord w = interpolate(weather, (rec.day - 1) * 86400L + rec.time);
        EXPECT_NEAR(rec.Ta, w.T, 1e-3);
        EXPECT_NEAR(rec.Pb, w.P, 1e-2);
        EXPECT_NEAR(rec.Ws, w.ws, 1e-5);
        EXPECT_EQ(rec.dayType, rec.day + 2);
        float& mx = dayMax.try_emplace(rec.day, rec.Ta).first->second;
        float& mn = dayMin.try_emplace(rec.day, rec.Ta).first->second;
        mx = std::max(mx, rec.Ta);
        mn = std::min(mn, rec.Ta);
    }
    for (const SimRecord& rec : f.records) {
        if (rec.kind != SIM_DAY_SUMMARY) continue;
        EXPECT_EQ(rec.Tmax, dayMax[rec.day]) << rec.day;
        EXPECT_EQ(rec.Tmin, dayMin[rec.day]) << rec.day;
    }

    // The wind turns from 350 to 10 degrees between 20:00 and 22:00 of the first day: the short
    // way, through north.
    std::map<int, float> wd;
    for (const SimRecord& rec : f.records)
        if (rec.kind == SIM_STEP_RECORD && rec.day == 1) wd[rec.time / 3600] = rec.Wd;
    EXPECT_FLOAT_EQ(wd[19], 347.5f);
    EXPECT_FLOAT_EQ(wd[20], 350.0f);
    EXPECT_FLOAT_EQ(wd[21], 0.0f);
    EXPECT_FLOAT_EQ(wd[22], 10.0f);
    EXPECT_FLOAT_EQ(wd[23], 15.0f);

    // The stack flow by hand at the coldest record (day 1, 04:00, 264.95 K: about 0.0103 kg/s)
    // and between two records (day 2, 13:00, 280.45 K and 101140 Pa: about 0.00855 kg/s).
    struct Hour {
        int day, time;
    } hours[] = {{1, 4 * 3600}, {2, 13 * 3600}};
    for (const Hour& at : hours) {
        SCOPED_TRACE("day " + std::to_string(at.day) + " time " + std::to_string(at.time));
        auto rec = std::find_if(f.records.begin(), f.records.end(), [&](const SimRecord& x) {
            return x.kind == SIM_STEP_RECORD && x.day == at.day && x.time == at.time;
        });
        ASSERT_NE(rec, f.records.end());
        WeatherRecord w = interpolate(weather, (at.day - 1) * 86400L + at.time);
        StackRoom want = stackByHand(w.T, w.P);
        ASSERT_EQ(rec->paths.size(), 2u);
        EXPECT_NEAR(rec->paths[0].F0, want.F, 1e-4 * want.F);  // in low
        EXPECT_NEAR(rec->paths[1].F0, want.F, 1e-4 * want.F);  // out high
        ASSERT_EQ(rec->nodes.size(), 1u);
        EXPECT_NEAR(rec->nodes[0].Pg, want.P, 1e-4 * std::fabs(want.P));
    }

    // flowmir-sim prints the same records.
    ChildResult t = runSimTool("--table ambient '" + dir + "/tr_stack.sim'");
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_EQ(std::count(t.out.begin(), t.out.end(), '\n'), 1 + 50);
    EXPECT_TRUE(contains(t.out, "\n1,3,75600,270.950012,101220,3.625,0\n")) << t.out;
    EXPECT_TRUE(contains(t.out, "\n2,4,0,268.149994,101205,4,20\n")) << t.out;
    t = runSimTool("--table days '" + dir + "/tr_stack.sim'");
    ASSERT_EQ(t.status, 0) << t.err;
    EXPECT_TRUE(contains(t.out, "\n1,3,86400,Ta_K,0,278.549988,264.950012\n")) << t.out;
    EXPECT_TRUE(contains(t.out, "\n2,4,86400,Ta_K,0,281.149994,266.75\n")) << t.out;
}

TEST(TransientRun, FromDecember31IntoTheNewYear)
{
    std::string dir = stageRun("tr_yearend");
    ChildResult r = runHost("-q tr_yearend", dir);
    ASSERT_EQ(r.status, 0) << r.err << readFile(dir + "/tr_yearend.xlog");
    SimFile f = readSim(dir + "/tr_yearend.sim");
    EXPECT_EQ(std::vector<int>({f.h.date0, f.h.time0, f.h.date1, f.h.time1}),
              std::vector<int>({365, 43200, 1, 43200}));

    std::vector<std::string> want, got;
    for (int t = 43200; t <= 86400; t += 3600) want.push_back("step 365 " + std::to_string(t));
    want.push_back("day 365 86400");
    for (int t = 0; t <= 43200; t += 3600) want.push_back("step 1 " + std::to_string(t));
    want.push_back("day 1 43200");
    for (const SimRecord& rec : f.records)
        got.push_back((rec.kind == SIM_STEP_RECORD ? "step " : "day ") + std::to_string(rec.day) + " " +
                      std::to_string(rec.time));
    ASSERT_EQ(got, want);

    // December 31 from its own records; after midnight the file is read again from the top,
    // so the new year's day gets the records of January 1. Midnight is repeated at 0:00.
    for (const SimRecord& rec : f.records) {
        if (rec.kind != SIM_STEP_RECORD) continue;
        double hour = rec.time / 3600.0;
        double T = rec.day == 365 ? 260.0 + 0.25 * hour : rec.time == 0 ? 266.0 : 280.0 + 0.5 * hour;
        EXPECT_FLOAT_EQ(rec.Ta, (float)T) << rec.day << " " << rec.time;
        EXPECT_FLOAT_EQ(rec.Pb, rec.day == 365 || rec.time == 0 ? 101000.0f : 101325.0f);
    }
}

// The bundled example stays a clean two-day run.
TEST(TransientRun, BundledExample)
{
    std::string dir = scratchDir();
    for (const char* name : {"office.prj", "office.wth"})
        writeFile(dir + "/" + name, readFile(std::string(FLOWMIR_EXAMPLES) + "/" + name));
    ChildResult r = runHost("-q office", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = readFile(dir + "/office.xlog");
    EXPECT_FALSE(contains(log, "ERROR")) << log;
    EXPECT_FALSE(contains(log, "WARNING")) << log;
    SimFile f = readSim(dir + "/office.sim");
    EXPECT_EQ(f.records.size(), 52u);
    EXPECT_EQ(f.trailer[1], 48);
}

TEST(TransientRun, StartTimeAndListingStep)
{
    struct Case {
        const char* start;
        const char* list;
        int status;
        std::vector<int> times;  // of the step records
    } cases[] = {
        {"1:30:00", "1:00:00", 2, {}},
        {"1:00:00", "2:00:00", 0, {3600, 7200, 14400, 21600}},  // 2 h is a multiple of 1 h
        {"2:00:00", "1:00:00", 0, {7200, 10800, 14400, 18000, 21600}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " " + c.list);
        std::string prj = replaceFirst(fixture("tr_stack.prj"), "Jan01 00:00:00 Jan01 00:00:00 Jan02 24:00:00 1:00:00 1:00:00",
                                   std::string("Jan01 00:00:00 Jan01 ") + c.start + " Jan01 06:00:00 1:00:00 " + c.list);
        std::string dir = stageRun("tr_stack", prj);
        ChildResult r = runHost("-q tr_stack", dir);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status != 0) {
            EXPECT_TRUE(contains(r.err, "FATAL Start time must be a multiple of the listing time step\n")) << r.err;
            EXPECT_FALSE(fileExists(dir + "/tr_stack.sim"));
            continue;
        }
        SimFile f = readSim(dir + "/tr_stack.sim");
        std::vector<int> times;
        for (const SimRecord& rec : f.records)
            if (rec.kind == SIM_STEP_RECORD) times.push_back(rec.time);
        EXPECT_EQ(times, c.times);
    }
}

// Weather files that cannot carry the run: refused at the start, or stopping it on the second
// day. A stopped run leaves no results file behind.
TEST(TransientRun, WeatherFileFaultsStopTheRun)
{
    const std::string good = fixture("tr_stack.wth");
    struct Case {
        const char* name;
        std::string wth;
        bool midway;  // the first day was simulated
        std::vector<std::string> messages;
    } cases[] = {
        {"calendar ends before the period",
         // A broken first record shows that no record was read.
         replaceFirst(replaceFirst(replaceFirst(good, "1/1 1/2\n", "1/1 1/1\n"), "1/2 4 4 0 0.0\n", ""), "1/1 0:00:00",
                  "1/1 0:xx:00"),
         false,
         {"FATAL End date not on weather file\n"}},
        {"times decrease", replaceFirst(good, "1/2 6:00:00", "1/2 3:00:00"), true,
         {"ERROR File day-times decrease near day 1/2 time 03:00:00\n",
          "FATAL Error encountered while reading WTH file\n"}},
        {"bad time", replaceFirst(good, "1/2 6:00:00", "1/2 6:xx:00"), true,
         {"ERROR 6:xx:00 is not a valid time\n", "FATAL Error encountered while reading WTH file\n"}},
        {"bad value", replaceFirst(good, "1/2 6:00:00 268.15", "1/2 6:00:00 cold"), true,
         {"ERROR cold is not a (valid) number\n", "FATAL Error encountered while reading WTH file\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = stageRun("tr_stack", "", c.wth);
        ChildResult r = runHost("tr_stack", dir);
        EXPECT_EQ(r.status, 2) << r.err;
        for (const std::string& m : c.messages) EXPECT_TRUE(contains(r.err, m)) << m << r.err;
        EXPECT_FALSE(contains(r.err, "0:xx:00")) << r.err;
        EXPECT_EQ(contains(r.err, " DATE: Jan01   time: 24:00:00   day:   1   step: 24\n"), c.midway) << r.err;
        EXPECT_FALSE(fileExists(dir + "/tr_stack.sim"));
        EXPECT_TRUE(contains(readFile(dir + "/tr_stack.xlog"), "Flowmir finish(2)\n"));
    }
}

#if FLOWMIR_COUNTS_ALLOCATIONS
// The engine's progress lines on standard error mark the steps: counting runs from the line of
// step 2 to the line of the last step, which spans whole steps, their results records and the
// day change. The stream keeps what it is given in a fixed buffer, so it allocates nothing.
static int lastStep = 0;
static int stepsCounted = 0;
static char progressLine[256];
static size_t progressLength = 0;

static ssize_t watchProgress(void*, const char* data, size_t size)
{
    for (size_t i = 0; i < size; i++) {
        if (progressLength < sizeof progressLine - 1) progressLine[progressLength++] = data[i];
        if (data[i] != '\n') continue;
        progressLine[progressLength] = '\0';
        progressLength = 0;
        const char* at = strstr(progressLine, "   step: ");
        if (!at) continue;
        int step = atoi(at + 9);
        if (step == 2) countAllocations = true;
        if (countAllocations) stepsCounted++;
        if (step == lastStep) countAllocations = false;
    }
    return (ssize_t)size;
}

// Runs the project in a child through the library, counting the allocations of the steps from
// the second to the last one; prints "rc R allocations A steps S transport T". A factorisation
// of -1 leaves the engine's choice.
static ChildResult countedRun(const std::string& project, int last, int factor = -1)
{
    return runChild([&] {
        cookie_io_functions_t io = {nullptr, watchProgress, nullptr, nullptr};
        FILE* watched = fopencookie(nullptr, "w", io);
        setvbuf(watched, nullptr, _IONBF, 0);
        FILE* saved = stderr;
        stderr = watched;
        lastStep = last;
        FlowmirState* fms = flowmirNewState();
        if (factor >= 0) flowmirSetFactorisation(fms, factor);
        int rc = SetupSimulation(fms, project.c_str(), 0, "", nullptr);
        stderr = saved;
        printf("rc %d allocations %ld steps %d transport %d\n", rc, (long)allocationCalls, stepsCounted,
               fms->nSolveMft);
    });
}

TEST(TransientRun, TimeStepLoopAllocatesNothing)
{
    std::string dir = stageRun("tr_stack");
    // Both factorisations of the skyline method.
    for (int factor : {FLOWMIR_FACTOR_SKYLINE, FLOWMIR_FACTOR_LDLT}) {
        SCOPED_TRACE(factor);
        ChildResult r = countedRun(dir + "/tr_stack", 48, factor);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "rc 0 allocations 0 steps 47 transport 0\n");
    }
}

// The same with two species transported: a source, a boundary-layer sink, a reaction and a
// filter on the inlet, for both factorisations of the transport's skyline method.
TEST(TransientRun, TransportStepAllocatesNothing)
{
    std::string prj = fixture("tr_stack.prj");
    prj = replaceFirst(prj, "0 0 1e-4 1e-15 0 0\n", "2 0 1e-4 1e-15 0 0\n");
    prj = replaceFirst(prj, "0 ! species: none simulated\n0 ! species: none defined\n",
                   "2 1 2\n2\n1 0 0 44.01 0 0 0 0 6e-4 819 0 0 0 0 0 0 CO2\nCarbon dioxide\n"
                   "2 0 0 100 1e-6 0 0 0 0 1000 0 0 0 0 0 0 PM\nParticles\n");
    prj = replaceFirst(prj, "0 ! kinetic reactions\n", "1\n1 1 settle\nSettling\nPM PM -1e-5\n");
    prj = replaceFirst(prj, "0 ! filter elements\n", "1\n1 cef 1 1 1 0 0 inlet\nInlet filter\n1\nPM 0.5\n");
    prj = replaceFirst(prj, "0 ! filters\n", "1\n1 1 1\n0 0\n");
    prj = replaceFirst(prj, "0 ! source/sink elements\n",
                   "2\n1 CO2 ccf people\nOccupants\n 6e-6 0 0 0\n2 PM bls walls\nWalls\n 1e-3 1.2 100 10 0 0 0\n");
    prj = replaceFirst(prj, "1 3 0 0 0 1 0 50 298.15 0 Room", "1 3 0 0 1 1 0 50 298.15 0 Room");
    prj = replaceFirst(prj, "0 ! zone initial mass fractions\n", "2\n1 6e-4 0\n");
    prj = replaceFirst(prj, "1 0 -1 1 1 0 0 0 0 0 1 0 0 0.5", "1 0 -1 1 1 1 0 0 0 0 1 0 0 0.5");
    prj = replaceFirst(prj, "0 ! sources and sinks\n",
                   "2\n1 1 1 0 0 2 0 0 0 0 0 0 0 0 0 0 0\n2 1 2 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n");
    std::string dir = stageRun("tr_stack", prj);
    for (int factor : {FLOWMIR_FACTOR_SKYLINE, FLOWMIR_FACTOR_LDLT}) {
        SCOPED_TRACE(factor);
        ChildResult r = countedRun(dir + "/tr_stack", 48, factor);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "rc 0 allocations 0 steps 47 transport 48\n");
        std::string log = readFile(dir + "/tr_stack.xlog");
        EXPECT_TRUE(contains(log, factor == FLOWMIR_FACTOR_LDLT ? "factorization by sparse LU (KLU) (requested)"
                                                                 : "factorization by skyline (requested)"));
    }
}

// Wind pressures and outdoor CO2 per opening from a WPC file, read and interpolated at every
// step, with the CO2 transported: the file's arrays are all made when it is opened.
TEST(TransientRun, WpcStepAllocatesNothing)
{
    std::string prj = fixture("wpc_rooms.prj");
    prj = replaceFirst(prj, "\n0 0 30 1e-5", "\n1 0 30 1e-5");
    prj = replaceFirst(prj, "\n1 0 1e-4 1e-15 0 0\n", "\n2 0 1e-4 1e-15 0 0\n");
    prj = replaceFirst(prj, "Jan01 00:00:00 Jan01 00:00:00 Jan01 2:00:00", "Jan01 00:00:00 Jan01 00:00:00 Jan01 24:00:00");
    std::string wpc = fixture("wpc_rooms.wpc");
    wpc = wpc.substr(0, wpc.find("1/1 00:00:00"));
    for (int h = 0; h <= 24; h++) {
        char record[160];
        snprintf(record, sizeof record, "1/1 %d:00:00 101325 1.2041\n%d -6 %d 0\n1e-3 5e-3 %g 5e-3\n", h, 10 + h % 3,
                 4 + h % 5, 2e-4 * (1 + h % 4));
        wpc += record;
    }
    std::string dir = scratchDir();
    writeFile(dir + "/wpc_rooms.prj", prj);
    writeFile(dir + "/wpc_rooms.wpc", wpc);
    ChildResult r = countedRun(dir + "/wpc_rooms", 24);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rc 0 allocations 0 steps 23 transport 24\n");
    std::string log = readFile(dir + "/wpc_rooms.xlog");
    EXPECT_TRUE(contains(log, "Testing WPC file\n")) << log;
}
// Occupants moving between two rooms with the source they carry, a sensor that reads the
// office's occupancy into the control log, and the exposure file's step lines and statistics.
TEST(TransientRun, OccupantStepAllocatesNothing)
{
    std::string prj = fixture("occ_office.prj");
    prj = replaceFirst(prj, "0 0 0 0 0 0\n0 0 0 0 0\n1.2041", "0 0 0 0 0 1\n0 0 0 0 0\n1.2041");
    prj = replaceFirst(prj, "0 ! control nodes\n",
                   "2 ! control nodes\n1 sns 1 0 0 0 0 people\nOccupancy of the office\n0 1 0 0 1 1 5 0 0 0 0 none\n"
                   "2 log 2 0 0 1 0 people_log\nOccupants in the log\n0 1 0 people -\n");
    std::string dir = scratchDir();
    writeFile(dir + "/occ_office.prj", prj);
    ChildResult r = countedRun(dir + "/occ_office", 24);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rc 0 allocations 0 steps 23 transport 24\n");
    // The run did what was counted: the sensor saw the occupants, the file has their exposures.
    EXPECT_TRUE(contains(readFile(dir + "/occ_office.log"), "1/1\t10:00:00\t36000\t2.000000e+00\n"));
    EXPECT_TRUE(contains(readFile(dir + "/occ_office.ebw"), "final\t1\t1\t"));
}
// The short-time-step method on a duct system with cells, filters and a weather file, writing
// its zone files: relinking the ducts and moving their cells allocate nothing either.
TEST(TransientRun, StsStepAllocatesNothing)
{
    std::string dir = scratchDir();
    std::string prj = replaceFirst(fixture("sts_ducts.prj"), "\n0 0 0 0 0 0\n0 0 0 0 0\n1.2041", "\n1 1 0 0 0 0\n0 0 0 0 0\n1.2041");
    prj = replaceFirst(prj, "0:10:00 1:00:00 1:00:00", "0:10:00 1:00:00 0:10:00");  // a progress line every step
    writeFile(dir + "/sts_ducts.prj", prj);
    writeFile(dir + "/tr_stack.wth", fixture("tr_stack.wth"));
    ChildResult r = countedRun(dir + "/sts_ducts", 288);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rc 0 allocations 0 steps 287 transport 0\n");
    EXPECT_TRUE(contains(readFile(dir + "/sts_ducts.xlog"), "     288 calls to solve_STS()\n"));
}
#else
TEST(TransientRun, StsStepAllocatesNothing)
{
    GTEST_SKIP() << "the sanitizer's allocator replaces the counting one";
}
TEST(TransientRun, TimeStepLoopAllocatesNothing)
{
    GTEST_SKIP() << "the sanitizer's allocator replaces the counting one";
}
TEST(TransientRun, TransportStepAllocatesNothing)
{
    GTEST_SKIP() << "the sanitizer's allocator replaces the counting one";
}
TEST(TransientRun, WpcStepAllocatesNothing)
{
    GTEST_SKIP() << "the sanitizer's allocator replaces the counting one";
}
TEST(TransientRun, OccupantStepAllocatesNothing)
{
    GTEST_SKIP() << "the sanitizer's allocator replaces the counting one";
}
#endif
