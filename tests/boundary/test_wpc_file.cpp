// The wind pressure and contaminant file on a small hand-made network: the versions and the
// orientation of each link, held and interpolated pressures, the change test and its log,
// records before the start, the matching distance, the arrays kept over a new year, and every
// reader refusal with its message.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "boundary/wpc_file.h"
#include "network/airnet.h"
#include "network/sim_data.h"
#include "support/log.h"
#include "support/nxt.h"
#include "testutil.h"
#include "transport/species.h"

static const double R_AIR = 287.055;

static int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

static bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A file of n locations: the counts line, the period, the names, the location lines given
// (one per line, "x y z"), then the records.
static std::string wpcText(const std::string& version, int m, int pressures, const std::string& period,
                           const std::string& names, const std::vector<std::string>& locations,
                           const std::string& records)
{
    std::string t = "WPCfile Flowpad " + version + "\nwind tunnel study, case 3 ! not a comment here\n";
    t += std::to_string(locations.size()) + " " + std::to_string(m) + " " + std::to_string(pressures) + " 0\n";
    t += period + "\n" + names + "\n";
    for (size_t i = 0; i < locations.size(); i++) t += std::to_string(i + 1) + " " + locations[i] + " 0\n";
    return t + records;
}

// The text with its one `from` replaced by `to`.
static std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    EXPECT_EQ(text.find(from, at + 1), std::string::npos) << "more than one: " << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

static std::string writeWpc(const std::string& text)
{
    std::string path = scratchDir() + "/test.wpc";
    writeFile(path, text);
    return path;
}

// An ambient node and a room with three openings. Link 1 lets air in at (1, 0, 0) (ambient as
// node N); link 2 lets it out at (2, 0, 3) (ambient as node M); link 3 opens at link 1's place
// but with the ambient as node M. Two species, CO2 and PM.
struct Wpc {
    TestState s;
    std::vector<Species> species;
    AirNode amb{}, room{};
    double ambMf[2] = {4e-4, 1e-9}, roomMf[2] = {8e-4, 2e-9};
    AirLink links[3]{};
    float zero = 0.0f;
    PLDloc locs[3]{};

    Wpc(const std::string& path, int useWp, int useMf, int option = 0, const std::string& logPath = "")
    {
        if (logPath.empty()) {
            s.openLog();
            s->errorFcn = quietFcn;
        } else {
            s.logPath = logPath;
            s->logFile = fopen(logPath.c_str(), "w");
            s->logFcn = printToLog;
        }
        FlowmirState* fms = s.fms;
        snprintf(fms->wpcPath, sizeof fms->wpcPath, "%s", path.c_str());
        fms->_useWPCwp = useWp;
        fms->_useWPCmf = useMf;
        fms->wpcUse = useWp | useMf;
        fms->wpcOption = option;
        fms->gravity = 9.8055f;
        species.resize(2);
        const char* names[2] = {"CO2", "PM"};
        for (int i = 0; i < 2; i++) {
            snprintf(species[i].name, sizeof species[i].name, "%s", names[i]);
            species[i].CC0 = (float)ambMf[i];
        }
        fms->nctm = 2;
        fms->ctm = species.data();
        amb.R = room.R = R_AIR;
        amb.T = room.T = 293.15;
        amb.Mf = ambMf;
        room.Mf = roomMf;
        fms->ambt = &amb;
        AirNode* ends[3][2] = {{&amb, &room}, {&room, &amb}, {&room, &amb}};
        for (int k = 0; k < 3; k++) {
            AirLink& l = links[k];
            l.nr = k + 1;
            l.nodeN = ends[k][0];
            l.nodeM = ends[k][1];
            l.srcN = l.nodeN->Mf;
            l.srcM = l.nodeM->Mf;
            l.windP = &zero;
            l.next = k < 2 ? &links[k + 1] : nullptr;
        }
        fms->linkList = links;
        locs[1] = PLDloc{1, 1.0f, 0.0f, 0.0f, 0, 1};
        locs[2] = PLDloc{2, 2.0f, 0.0f, 3.0f, 0, 2};
        links[0].locIdx = 1;
        links[1].locIdx = 2;
        links[2].locIdx = 1;
        fms->PLDlist = locs;
        fms->npld = 2;
    }
    ~Wpc() { WPC_close(s.fms); }
    FlowmirState* fms() { return s.fms; }
    FlowmirState* operator->() { return s.fms; }
    float wind(int k) { return *links[k - 1].windP; }
};

// Both versions: 2.4 gives the wind pressure itself, 2.1 the total pressure, from which the
// weight of the outdoor air column up to the location is taken away. Each link sees the
// pressure with the sign of its orientation, also two links of opposite orientation at one
// location.
TEST(WpcFile, VersionsAndOrientationGiveEachLinkItsWindPressure)
{
    // Location 2 at z = 3 m: rho g z = 1.2 * 9.8055 * 3 = 35.2998 Pa.
    struct Case {
        const char* name;
        std::string version, record;
    } cases[] = {
        {"wind pressures", "2.4", "1/1 00:00:00 101000 1.2\n5 -3\n"},
        {"total pressures", "2.1", "1/1 00:00:00 101000 1.2\n101005 100961.7002\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = writeWpc(wpcText(c.version, 0, 1, "1/1 1/1", "", {"1 0 0", "2 0 3"}, c.record));
        Wpc w(path, 1, 0);
        FlowmirState* fms = w.fms();
        WPC_init(fms, 1, 1, 1);
        EXPECT_EQ(WPC_get(fms, 1, 0, 1), 0);
        EXPECT_NEAR(w.wind(1), 5.0, 1e-3);  // ambient as node N: the pressure itself
        EXPECT_NEAR(w.wind(2), 3.0, 1e-3);  // ambient as node M: reversed
        EXPECT_NEAR(w.wind(3), -5.0, 1e-3); // at link 1's location, reversed
        EXPECT_EQ(w.links[2].locIdx, 1);
        // The ambient follows the record: T = Pb / (rho R).
        EXPECT_DOUBLE_EQ(fms->Pambt, 101000.0);
        EXPECT_NEAR(w.amb.T, 101000.0 / (1.2 * R_AIR), 1e-4);
        EXPECT_FLOAT_EQ(fms->Tambt, (float)w.amb.T);
        EXPECT_EQ(fms->afResolve, 1);
        // The concentrations are not the file's: every end keeps its node's.
        EXPECT_EQ(w.links[0].srcN, w.ambMf);
        EXPECT_EQ(w.links[1].srcM, w.ambMf);
        EXPECT_EQ(fms->errorCount, 0) << w.s.log();
    }
}

// Between two records the pressures, the barometric pressure and the ambient temperature are
// interpolated, or with the option set held at the earlier record; the mass fractions are
// interpolated in both modes. Each outdoor end takes its location's row; the other ends keep
// the room's fractions.
TEST(WpcFile, HeldAndInterpolatedValuesBetweenRecords)
{
    // Columns PM, then a species the run does not simulate, in two records an hour apart.
    const std::string records = "1/1 00:00:00 101325 1.2\n4 0\n1e-6 2e-6\n7 7\n"
                                "1/1 01:00:00 101125 1.1\n8 2\n3e-6 6e-6\n7 7\n";
    std::string path =
        writeWpc(wpcText("2.4", 2, 1, "1/1 1/1", "PM NO2", {"1 0 0", "2.0014 0 2.9986"}, records));
    struct Case {
        int option, time, advance, ahead;
        double wind1, pb, rho, pm1, pm2;
    } cases[] = {
        {0, 0, 1, 3600, 4, 101325, 1.2, 1e-6, 2e-6},
        {0, 1800, 0, 1800, 6, 101225, 1.15, 2e-6, 4e-6},
        {0, 2700, 0, 900, 7, 101175, 1.125, 2.5e-6, 5e-6},
        {0, 3600, 0, 0, 8, 101125, 1.1, 3e-6, 6e-6},
        {1, 0, 1, 3600, 4, 101325, 1.2, 1e-6, 2e-6},
        {1, 1800, 0, 1800, 4, 101325, 1.2, 2e-6, 4e-6},
        {1, 2700, 0, 900, 4, 101325, 1.2, 2.5e-6, 5e-6},
        {1, 3600, 0, 0, 8, 101125, 1.1, 3e-6, 6e-6},
        {1, 5400, 0, -1800, 8, 101125, 1.1, 3e-6, 6e-6}, // past the last record: held
    };
    int option = -1;
    Wpc* w = nullptr;
    std::vector<std::unique_ptr<Wpc>> runs;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.option) + " " + std::to_string(c.time));
        if (c.option != option) {
            option = c.option;
            runs.emplace_back(new Wpc(path, 1, 1, option));
            w = runs.back().get();
            WPC_init(w->fms(), 1, 1, 1);
            EXPECT_EQ(w->fms()->wpcSpindx[0], 1);
            EXPECT_EQ(w->fms()->wpcSpindx[1], -1);
        }
        FlowmirState* fms = w->fms();
        EXPECT_EQ(WPC_get(fms, 1, c.time, c.advance), c.ahead);
        EXPECT_NEAR(w->wind(1), c.wind1, 1e-5);
        EXPECT_NEAR(w->wind(3), -c.wind1, 1e-5);
        EXPECT_NEAR(w->wind(2), -(c.wind1 - 4) / 2, 1e-5); // location 2 goes from 0 to 2
        EXPECT_NEAR(fms->Pambt, c.pb, 1e-6);
        EXPECT_NEAR(w->amb.T, c.pb / (c.rho * R_AIR), 1e-4);
        // Link 1 and link 3 share location 1 (the outdoor end is N, then M); link 2 takes
        // location 2, 1.4 mm off in x and z.
        const double* row1 = w->links[0].srcN;
        ASSERT_NE(row1, w->ambMf);
        EXPECT_EQ(w->links[2].srcM, row1);
        EXPECT_NEAR(row1[1], c.pm1, 1e-6 * c.pm1);
        EXPECT_NEAR(w->links[1].srcM[1], c.pm2, 1e-6 * c.pm2);
        EXPECT_EQ(row1[0], (double)(float)4e-4); // CO2 has no column: its default
        EXPECT_EQ(w->links[0].srcM, w->roomMf);
        EXPECT_EQ(w->links[1].srcN, w->roomMf);
        EXPECT_EQ(w->links[2].srcN, w->roomMf);
        EXPECT_EQ(w->ambMf[1], 1e-9); // the ambient node itself is not touched
        EXPECT_EQ(fms->errorCount, 0) << w->s.log();
    }
    EXPECT_TRUE(contains(runs.back()->s.log(), " End of WPC file before end of simulation\n"));
}

// With the option set, a record whose pressures equal the earlier ones within 1e-5 leaves the
// airflow as solved; one that changes them asks for a new solution. Each record is logged at a
// log level above 1, with 0 counted into the minimum and the maximum.
TEST(WpcFile, ChangeTestAndRecordLog)
{
    const std::string records = "1/1 00:00:00 101325 1.2\n4 0\n1e-6 2e-6\n"
                                "1/1 01:00:00 101325 1.2\n4.00001 0\n1e-6 3e-6\n"
                                "1/1 02:00:00 101325 1.2\n4.5 -1\n1e-6 4e-6\n";
    std::string path = writeWpc(wpcText("2.4", 1, 1, "1/1 1/1", "PM", {"1 0 0", "2 0 3"}, records));
    Wpc w(path, 1, 1, 1);
    FlowmirState* fms = w.fms();
    fms->listLevel = 2;
    fms->afResolve = 0;
    WPC_init(fms, 1, 1, 1);
    EXPECT_EQ(fms->afResolve, 1); // opening a file of pressures
    fms->afResolve = 0;           // the airflow has been solved
    WPC_get(fms, 1, 0, 1);        // the second record: 4.00001 against 4
    EXPECT_EQ(fms->afResolve, 0);
    WPC_get(fms, 1, 3600, 1);
    EXPECT_EQ(fms->afResolve, 1);
    std::string log = w.s.log();
    EXPECT_TRUE(contains(log, "WPCf 00:00:00 wind: min 0.0, max 4.0, RMS 2.8 [Pa] new\n"
                              "WPCf 00:00:00 max Mf: 2.000e-06\n"))
        << log;
    EXPECT_TRUE(contains(log, "WPCf 01:00:00 wind: min 0.0, max 4.0, RMS 2.8 [Pa] old\n")) << log;
    EXPECT_TRUE(contains(log, "WPCf 02:00:00 wind: min -1.0, max 4.5, RMS 3.3 [Pa] new\n")) << log;

    // Without the option the airflow is solved at every step: the flag is never cleared here.
    Wpc v(path, 1, 1, 0);
    v->afResolve = 0;
    WPC_init(v.fms(), 1, 1, 1);
    WPC_get(v.fms(), 1, 0, 1);
    v->afResolve = 0;
    WPC_get(v.fms(), 1, 3600, 1);
    EXPECT_EQ(v->afResolve, 0);
}

// The records up to the start are passed: the one at 24:00 of the day before becomes the
// earlier record with its own values, not those of a record further back.
TEST(WpcFile, RecordsBeforeTheStartDay)
{
    const std::string records = "1/1 12:00:00 101325 1.2\n1 0\n1/1 24:00:00 101325 1.2\n2 0\n"
                                "1/2 12:00:00 101325 1.2\n4 0\n";
    std::string path = writeWpc(wpcText("2.4", 0, 1, "1/1 1/3", "", {"1 0 0", "2 0 3"}, records));
    Wpc w(path, 1, 0);
    FlowmirState* fms = w.fms();
    WPC_init(fms, 2, 3, 1);
    EXPECT_EQ(WPC_get(fms, 2, 0, 1), 43200);
    EXPECT_NEAR(w.wind(1), 2.0, 1e-6);
    EXPECT_EQ(WPC_get(fms, 2, 21600, 0), 21600);
    EXPECT_NEAR(w.wind(1), 3.0, 1e-6);
    EXPECT_EQ(fms->errorCount, 0) << w.s.log();
}

// Opened again from its start at a new year, the file keeps its arrays and every link keeps its
// location; the reader's own input is untouched and closing balances the heap.
TEST(WpcFile, NewYearKeepsTheArraysAndTheHeapBalances)
{
    const std::string records = "1/1 00:00:00 101325 1.2\n4 0\n1e-6 2e-6\n"
                                "12/31 24:00:00 101325 1.2\n8 0\n5e-6 2e-6\n";
    std::string path = writeWpc(wpcText("2.4", 1, 1, "1/1 12/31", "PM", {"1 0 0", "2 0 3"}, records));
    Wpc w(path, 1, 1);
    FlowmirState* fms = w.fms();
    std::string other = scratchDir() + "/other.txt";
    writeFile(other, "alpha beta\n");
    ASSERT_EQ(nxtopen(fms, other.c_str(), __FILE__, __LINE__), 0);
    FILE* input = fms->_UNXT;
    char word[64];
    nxtwrd(fms, word, 0, sizeof word);

    WPC_init(fms, 365, 1, 1);
    float* windAt1 = w.links[0].windP;
    double* rowAt1 = w.links[0].srcN;
    WPC_get(fms, 365, 86400, 0);
    EXPECT_NEAR(w.wind(1), 8.0, 1e-6);
    uint64_t allocated = fms->bytesAllocated;
    for (int t = 0; t < 86400; t += 3600) {
        WPC_get(fms, 365, t, 1);
        WPC_get(fms, 365, t + 3600, 0);
    }
    EXPECT_EQ(fms->bytesAllocated, allocated);
    WPC_restart(fms, 1, 1);
    EXPECT_EQ(fms->bytesAllocated, allocated);
    EXPECT_EQ(w.links[0].windP, windAt1);
    EXPECT_EQ(w.links[0].srcN, rowAt1);
    EXPECT_EQ(w.links[0].locIdx, 1);
    EXPECT_EQ(WPC_get(fms, 1, 0, 1), 365 * 86400); // to 12/31 24:00
    EXPECT_NEAR(w.wind(1), 4.0, 1e-6);
    EXPECT_EQ(fms->_UNXT, input);
    nxtwrd(fms, word, 0, sizeof word);
    EXPECT_STREQ(word, "beta");
    nxtclose(fms);

    WPC_close(fms);
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
    EXPECT_EQ(fms->wpcFile, nullptr);
    WPC_close(fms);         // harmless twice
    WPC_restart(fms, 1, 1); // nothing to prepare again once closed
    EXPECT_EQ(fms->wpcFile, nullptr);
    EXPECT_EQ(WPC_get(fms, 1, 0, 1), 0);
}

// Files refused and runs stopped, each in a child process: the message on the standard error
// stream and the lines that go to the log only.
TEST(WpcFile, RefusedFilesWithTheirMessages)
{
    const std::vector<std::string> two = {"1 0 0", "2 0 3"};
    const std::string rec = "1/1 00:00:00 101325 1.2\n4 0\n";
    const std::string recMf = "1/1 00:00:00 101325 1.2\n4 0\n1e-6 2e-6\n";
    auto file = [&](const std::string& records) { return wpcText("2.4", 0, 1, "1/1 1/1", "", two, records); };
    auto getAt = [](int time, int advance) {
        return [=](FlowmirState* fms) { WPC_get(fms, 1, time, advance); };
    };
    struct Case {
        const char* name;
        std::string text;
        int useWp, useMf, endDay;
        std::function<void(FlowmirState*)> after;
        std::vector<std::string> messages; // on the standard error stream
        std::vector<std::string> logged;   // in the log only
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"version", "WPCfile Flowpad 2.2\n" + file(rec).substr(20), 1, 0, 1, nullptr,
         {"WARNING Bad wind pressure file: ", "FATAL Invalid header: WPCfile Flowpad 2.2\n"}, {}},
        {"first word", "WPCFile Flowpad 2.4\n" + file(rec).substr(20), 1, 0, 1, nullptr,
         {"FATAL Invalid header: WPCFile Flowpad 2.4\n"}, {}},
        {"columns without the project's mass fractions", wpcText("2.4", 1, 1, "1/1 1/1", "PM", two, recMf), 1, 0, 1,
         nullptr, {"ERROR WPC and PRJ contaminant flags do not match\n",
                   "FATAL Mapping errors in WPC file, see XLog file\n"}, {}},
        {"mass fractions asked of a file without columns", file(rec), 1, 1, 1, nullptr,
         {"ERROR WPC and PRJ contaminant flags do not match\n",
          "FATAL Mapping errors in WPC file, see XLog file\n"}, {}},
        {"pressures the project does not take", wpcText("2.4", 1, 1, "1/1 1/1", "PM", two, recMf), 0, 1, 1,
         nullptr, {"ERROR WPC and PRJ pressure flags do not match\n",
                   "FATAL Mapping errors in WPC file, see XLog file\n"}, {}},
        {"no pressures for a project that takes them", wpcText("2.4", 1, 0, "1/1 1/1", "PM", two, "1/1 0:00:00\n1 1\n"),
         1, 1, 1, nullptr, {"ERROR WPC and PRJ pressure flags do not match\n"}, {}},
        {"dates reversed", wpcText("2.4", 0, 1, "1/5 1/3", "", two, rec), 1, 0, 1, nullptr,
         {"FATAL Invalid WPC file date sequence\n"}, {}},
        {"starts too late", wpcText("2.4", 0, 1, "1/2 1/5", "", two, rec), 1, 0, 1, nullptr,
         {"FATAL Start date not on WPC file\n"}, {}},
        {"ends too early", wpcText("2.4", 0, 1, "1/1 1/2", "", two, rec), 1, 0, 3, nullptr,
         {"FATAL End date not on WPC file\n"}, {}},
        {"location numbered out of place",
         replaced(file(rec), "\n2 2 0 3 0\n", "\n3 2 0 3 0\n"), 1, 0, 1, nullptr,
         {"FATAL Mapping errors in WPC file, see XLog file\n"},
         {"Mapping errors in WPC file:\n map (line 7:   3   2 2.000 0.000 3.000 0)\n"}},
        {"location with a status", replaced(file(rec), "\n1 1 0 0 0\n", "\n1 1 0 0 2\n"), 1, 0, 1, nullptr,
         {"FATAL Mapping errors in WPC file, see XLog file\n"}, {" map (line 6:   1   1 1.000 0.000 0.000 2)\n"}},
        {"location 1.6 mm away", replaced(file(rec), "\n2 2 0 3 0\n", "\n2 2 0.0016 3 0\n"), 1, 0, 1, nullptr,
         {"FATAL Missing locations in WPC file, see XLog file\n"},
         {"Path locations missing from WPC file:\n path 2:   2 at (2.000 0.000 3.000)\n"}},
        {"no records", file(""), 1, 0, 1, nullptr,
         {"FATAL Bad day, bad time, or end-of-file, in first hourly entry of WPC file\n"}, {}},
        {"times decrease", file(rec + "1/1 02:00:00 101325 1.2\n4 0\n1/1 01:00:00 101325 1.2\n4 0\n"), 1, 0, 1,
         getAt(7200, 1), {"ERROR File day-times decrease near day 1/1 time 01:00:00\n",
                          "FATAL Error encountered while reading WPC file\n"}, {}},
        {"same instant", file("1/1 01:00:00 101325 1.2\n4 0\n1/1 02:00:00 101325 1.2\n5 0\n"
                              "1/1 02:00:00 101325 1.2\n6 0\n"), 1, 0, 1,
         [](FlowmirState* fms) { WPC_get(fms, 1, 7201, 0); WPC_get(fms, 1, 5400, 0); },
         {"FATAL WPC file day-times must increase\n"}, {}},
        {"pressure line short of a value", file(rec + "1/1 01:00:00 101325 1.2\n4\n5 0\n"), 1, 0, 1,
         getAt(1800, 0),
         {"FATAL WPC record 1/1 01:00:00: pressure line ends after 1 of 2 values (line 11 of WPC file "}, {}},
        {"column line short of a value", wpcText("2.4", 1, 1, "1/1 1/1", "PM", two, "1/1 00:00:00 101325 1.2\n4 0\n"
                                                 "1e-6\n"), 1, 1, 1, nullptr,
         {"FATAL WPC record 1/1 00:00:00: column 1 line ends after 1 of 2 values (line 10 of WPC file "}, {}},
        {"no density on the date line", file("1/1 00:00:00 101325\n4 0\n"), 1, 0, 1, nullptr,
         {"FATAL WPC record 1/1 00:00:00: date line ends after 1 of 2 values"}, {}},
        {"density of 0", file("1/1 00:00:00 101325 0\n4 0\n"), 1, 0, 1, nullptr,
         {"FATAL WPC record 1/1 00:00:00: barometric pressure 101325 Pa and outdoor air density 0 kg/m3 must be "
          "above 0"}, {}},
        {"pressure not a number", file("1/1 00:00:00 101325 1.2\n4 calm\n"), 1, 0, 1, nullptr,
         {"ERROR WPC record 1/1 00:00:00, pressure value 2: calm is not a (valid) number (line 9 of WPC file ",
          "FATAL Error encountered while reading WPC file\n"}, {}},
        {"pressure beyond single precision", file("1/1 00:00:00 101325 1.2\n4 1e39\n"), 1, 0, 1, nullptr,
         {"FATAL WPC record 1/1 00:00:00, pressure value 2: 1e39 is not a finite single-precision number"}, {}},
        {"location count beyond the file", replaced(file(rec), "\n2 0 1 0\n", "\n30000 0 1 0\n"), 1, 0, 1, nullptr,
         {"FATAL Bad number of locations: 30000 (line 3 of WPC file "}, {}},
        {"no locations", replaced(file(rec), "\n2 0 1 0\n", "\n0 0 1 0\n"), 1, 0, 1, nullptr,
         {"FATAL Bad number of locations: 0 (line 3 of WPC file "}, {}},
        {"coordinate not a number", replaced(file(rec), "\n2 2 0 3 0\n", "\n2 2 east 3 0\n"), 1, 0, 1, nullptr,
         {"FATAL Bad y of location 2: east (line 7 of WPC file "}, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = writeWpc(c.text);
        std::string logPath = scratchDir() + "/child.xlog";
        ChildResult r = runChild([&] {
            Wpc w(path, c.useWp, c.useMf, 0, logPath);
            WPC_init(w.fms(), 1, c.endDay, 1);
            if (c.after) c.after(w.fms());
        });
        EXPECT_EQ(r.status, 2) << r.err;
        for (const std::string& m : c.messages) EXPECT_TRUE(contains(r.err, m)) << m << "\n" << r.err;
        std::string log = readFile(logPath);
        for (const std::string& m : c.logged) EXPECT_TRUE(contains(log, m)) << m << "\n" << log;
    }

    // Without any opening in the location list the file has nothing to give.
    ChildResult r = runChild([&] {
        Wpc w(writeWpc(file(rec)), 1, 0);
        w->npld = 0;
        w->errorFcn = nullptr;
        WPC_init(w.fms(), 1, 1, 1);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "FATAL No list of envelope openings; call Orvo\n")) << r.err;
}
