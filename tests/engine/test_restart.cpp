// Restart files ".rst": the layout a transient run writes at the end of every day, a run that
// starts from such a snapshot and goes on exactly as the run that wrote it, the searches that
// fail and fall back to the steady initialisation, and the files that a run must leave alone.
//
// rst_room: one room, two paths, transient airflow, Jan10 to Jan12, no species.
// rst_mix: a room and an air handler with a filtered recirculation, a decaying emission (eds),
// a wall sink (bls), a floor deposition (dvr), a sensor with a time constant, a hysteresis, a
// PI controller and three logged nodes; steady airflow, transient tracer, Jan10 to Jan12.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "results/simread.h"
#include "testutil.h"

namespace
{

std::string fixture(const std::string& name)
{
    return readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/" + name);
}


const char PERIOD[] = "Jan10 0:00:00 Jan10 00:00:00 Jan12 24:00:00";
const char NO_RESTART[] = "\n0 Jan01 0:00:00\n";

// The project as a run of Jan12 alone that starts from the snapshot of `day`.
std::string restartedFrom(const std::string& prj, const std::string& day)
{
    return replaceFirst(replaceFirst(prj, PERIOD, "Jan12 0:00:00 Jan12 00:00:00 Jan12 24:00:00"), NO_RESTART,
                    "\n1 " + day + " 0:00:00\n");
}

struct RstFile {
    int32_t h[10] = {};
    struct Record {
        int32_t day, time;
        std::vector<double> v;
        long offset;
    };
    std::vector<Record> records;
    size_t size = 0;
};

RstFile readRst(const std::string& path)
{
    RstFile f;
    std::string b = readFile(path);
    f.size = b.size();
    if (b.size() < 40) return f;
    memcpy(f.h, b.data(), 40);
    size_t rec = (size_t)f.h[9];
    for (size_t at = 40; rec >= 8 && at + rec <= b.size(); at += rec) {
        RstFile::Record r;
        memcpy(&r.day, b.data() + at, 4);
        memcpy(&r.time, b.data() + at + 4, 4);
        r.v.resize((rec - 8) / 8);
        memcpy(r.v.data(), b.data() + at + 8, rec - 8);
        r.offset = (long)at;
        f.records.push_back(r);
    }
    return f;
}

SimFile readSim(const std::string& path)
{
    SimFile s;
    std::string why;
    EXPECT_TRUE(simRead(path.c_str(), &s, &why)) << path << ": " << why;
    return s;
}

// The step records of day `day`, by time of day.
std::vector<const SimRecord*> stepsOf(const SimFile& s, int day)
{
    std::vector<const SimRecord*> out;
    for (const SimRecord& r : s.records)
        if (r.kind == SIM_STEP_RECORD && r.day == day) out.push_back(&r);
    return out;
}

const SimRecord* stepAt(const SimFile& s, int day, int time)
{
    for (const SimRecord& r : s.records)
        if (r.kind == SIM_STEP_RECORD && r.day == day && r.time == time) return &r;
    return nullptr;
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A project staged in a scratch folder and run by the host.
struct HostRun {
    std::string dir, name, log;
    ChildResult r;
    HostRun(const std::string& prjName, const std::string& text, const std::string& dirIn = "",
            const std::string& args = "")
        : dir(dirIn.empty() ? scratchDir() : dirIn), name(prjName)
    {
        writeFile(path(".prj"), text);
        r = runHost("-q " + args + " '" + path(".prj") + "'");
        log = readFile(path(".xlog"));
    }
    std::string path(const std::string& ext) const { return dir + "/" + name + ext; }
};

// The log's last memory balance, "Final: ... 0 net".
void expectBalanced(const HostRun& run)
{
    size_t at = run.log.rfind("Final: ");
    ASSERT_NE(at, std::string::npos) << run.log;
    std::string line = run.log.substr(at, run.log.find('\n', at) - at);
    EXPECT_EQ(line.substr(line.size() - 6), " 0 net") << line;
}

} // namespace

// Header, record size and offsets of a three-day run, and each record against the results
// file's values at 24:00 of its day.
TEST(Restart, RecordsAreTheDayEndState)
{
    HostRun run("rst_room", fixture("rst_room.prj"));
    ASSERT_EQ(run.r.status, 0) << run.r.err;
    RstFile f = readRst(run.path(".rst"));
    // zones, paths, species, junctions, ducts, sources and sinks, controls, dates, record size:
    // 8 + 8 x (4 x 2 nodes + 3 x 2 links) = 120.
    const int32_t header[10] = {1, 2, 0, 0, 0, 0, 0, 10, 12, 120};
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(f.h[i], header[i]) << "header " << i;
    EXPECT_EQ(f.size, 400u);
    ASSERT_EQ(f.records.size(), 3u);
    EXPECT_FALSE(fileExists(run.path(".rst.part")));
    EXPECT_TRUE(contains(run.log, "set_urst_init():\n  nzone 1, npath 2, nctm 0, njct 0, ndct 0\n"
                                  "  ncss+nbls+ndvr 0, nctrl 0, date0 10, date1 12\n  SizeData 120\n"))
        << run.log;

    SimFile sim = readSim(run.path(".sim"));
    for (int k = 0; k < 3; k++) {
        const RstFile::Record& rec = f.records[k];
        SCOPED_TRACE(rec.day);
        EXPECT_EQ(rec.offset, 40 + 120 * k);
        EXPECT_EQ(rec.day, 10 + k);
        EXPECT_EQ(rec.time, 86400);
        const SimRecord* s = stepAt(sim, rec.day, 86400);
        ASSERT_NE(s, nullptr);
        // Room (node 1): T, P, R, M; the ambient (node 2) at the barometric pressure.
        const SimNodeRow* room = nullptr;
        for (const SimNodeRow& n : s->nodes)
            if (n.nr == 1) room = &n;
        ASSERT_NE(room, nullptr);
        EXPECT_EQ((float)rec.v[0], room->T);
        EXPECT_EQ((float)rec.v[1], room->Pg);
        EXPECT_DOUBLE_EQ(rec.v[2], 287.055);
        // The air mass of 100 m3 at the results' density (about 120.41 kg).
        EXPECT_NEAR(rec.v[3], room->D * 100.0, 1e-6 * rec.v[3]);
        EXPECT_NEAR(rec.v[3], 120.41, 0.01);
        EXPECT_EQ(rec.v[5], 0.0);
        // Paths: Flow[0], Flow[1], dP against the results' F0, F1, dP.
        ASSERT_EQ(s->paths.size(), 2u);
        for (int p = 0; p < 2; p++) {
            EXPECT_EQ((float)rec.v[8 + 3 * p], s->paths[p].F0) << "path " << p + 1;
            EXPECT_EQ((float)rec.v[9 + 3 * p], s->paths[p].F1) << "path " << p + 1;
            EXPECT_EQ((float)rec.v[10 + 3 * p], s->paths[p].dP) << "path " << p + 1;
        }
        // The supply fan (path 2, ambient to room) carries its 0.03344714 kg/s.
        EXPECT_NEAR(rec.v[11] + rec.v[12], 0.03344714, 1e-7);
    }
    expectBalanced(run);
}

// Every block of the record, and the start of a restarted run that reproduces the run that
// wrote the file, block by block and result by result.
TEST(Restart, RestartedRunGoesOnAsTheOriginal)
{
    std::string prj = fixture("rst_mix.prj");
    HostRun original("rst_mix", prj);
    ASSERT_EQ(original.r.status, 0) << original.r.err;
    RstFile f = readRst(original.path(".rst"));
    // 3 nodes x 4, 4 links x 3, 3 nodes x 1 species, 1 filtered link x 1, eds 4, bls 1, dvr 1,
    // controls: sns 2, hys 2, pi1 3, three log nodes 1 each = 44 reals, 8 + 352 bytes.
    const int32_t header[10] = {2, 4, 1, 0, 0, 3, 6, 10, 12, 360};
    for (int i = 0; i < 10; i++)
        EXPECT_EQ(f.h[i], header[i]) << "header " << i;
    ASSERT_EQ(f.records.size(), 3u);
    // The room's mass fraction at 24:00 of Jan11 is the one in the results file.
    SimFile sim = readSim(original.path(".sim"));
    const SimRecord* end11 = stepAt(sim, 11, 86400);
    ASSERT_NE(end11, nullptr);
    ASSERT_FALSE(end11->concs.empty());
    EXPECT_EQ((float)f.records[1].v[24], end11->concs[0].mf[0]);
    EXPECT_GT(f.records[1].v[24], 1e-5);
    // The emission started at the first evaluation (Jan10 00:00) with G0 x S x m.
    EXPECT_EQ(f.records[1].v[28], 1.0);
    EXPECT_EQ(f.records[1].v[29], 0.0);
    EXPECT_EQ(f.records[1].v[30], 10.0);
    EXPECT_NEAR(f.records[1].v[31], 3.344714e-5, 1e-11);
    // The filter, the wall and the floor took up tracer during the two days.
    EXPECT_GT(f.records[1].v[27], f.records[0].v[27]);
    EXPECT_GT(f.records[1].v[32], 0.0);
    EXPECT_GT(f.records[1].v[33], 0.0);

    // The same day from the steady state (no file) and from the snapshot of Jan11.
    HostRun fresh("rst_mix", restartedFrom(prj, "Jan11"));
    ASSERT_EQ(fresh.r.status, 0) << fresh.r.err;
    HostRun again("rst_mix", restartedFrom(prj, "Jan11"), [&] {
        std::string d = scratchDir();
        writeFile(d + "/rst_mix.rst", readFile(original.path(".rst")));
        return d;
    }());
    ASSERT_EQ(again.r.status, 0) << again.r.err;
    EXPECT_TRUE(contains(again.log, "sim_init_restart()\n")) << again.log;
    EXPECT_TRUE(contains(again.log, "rstget(11):  date Jan11\n"));
    EXPECT_TRUE(contains(again.log, "search:  date/time Jan10/24:00:00, offset 40\n"));
    EXPECT_TRUE(contains(again.log, "search:  date/time Jan11/24:00:00, offset 400\n"));
    EXPECT_FALSE(contains(again.log, "Steady-state Initialization"));
    expectBalanced(again);

    EXPECT_TRUE(contains(fresh.log, "Failed to open restart file: " + fresh.path(".rst")));
    EXPECT_TRUE(contains(fresh.log, "End Steady-state Initialization"));

    SimFile a = readSim(original.path(".sim")), b = readSim(again.path(".sim")),
            c = readSim(fresh.path(".sim"));
    std::vector<const SimRecord*> da = stepsOf(a, 12), db = stepsOf(b, 12), dc = stepsOf(c, 12);
    ASSERT_EQ(da.size(), 25u);
    ASSERT_EQ(db.size(), da.size());
    ASSERT_EQ(dc.size(), da.size());
    for (size_t k = 0; k < da.size(); k++) {
        SCOPED_TRACE(da[k]->time);
        EXPECT_EQ(db[k]->time, da[k]->time);
        ASSERT_EQ(db[k]->concs.size(), da[k]->concs.size());
        for (size_t n = 0; n < da[k]->concs.size(); n++)
            EXPECT_NEAR(db[k]->concs[n].mf[0], da[k]->concs[n].mf[0], 1e-6 * da[k]->concs[n].mf[0]);
        for (size_t p = 0; p < da[k]->paths.size(); p++)
            EXPECT_EQ(db[k]->paths[p].F0, da[k]->paths[p].F0);
    }
    // The steady start is far off: its emission starts anew instead of going on decaying.
    EXPECT_GT(std::fabs(dc[1]->concs[0].mf[0] - da[1]->concs[0].mf[0]), 0.5 * da[1]->concs[0].mf[0]);

    // The restarted run's own snapshot of Jan12 is the original's, every block of it.
    RstFile g = readRst(again.path(".rst"));
    EXPECT_EQ(g.h[7], 12);
    EXPECT_EQ(g.h[8], 12);
    ASSERT_EQ(g.records.size(), 1u);
    ASSERT_EQ(g.records[0].v.size(), f.records[2].v.size());
    for (size_t i = 0; i < g.records[0].v.size(); i++)
        EXPECT_NEAR(g.records[0].v[i], f.records[2].v[i], 1e-9 * std::fabs(f.records[2].v[i]))
            << "value " << i;

    // The control log goes on with the same values.
    auto linesOf = [](const std::string& log, const std::string& date) {
        std::string out;
        size_t at = 0;
        while ((at = log.find("\n" + date + "\t", at)) != std::string::npos) {
            size_t end = log.find('\n', at + 1);
            out += log.substr(at, end - at);
            at = end;
        }
        return out;
    };
    std::string la = linesOf(readFile(original.path(".log")), "1/12");
    EXPECT_FALSE(la.empty());
    EXPECT_EQ(linesOf(readFile(again.path(".log")), "1/12"), la);
}

// Snapshots that cannot be used: each is reported, the file and buffer are released, and the
// run starts from the steady initialisation.
TEST(Restart, UnusableSnapshotsFallBackToTheSteadyStart)
{
    std::string prj = fixture("rst_room.prj");
    HostRun earlier("rst_room", prj);
    ASSERT_EQ(earlier.r.status, 0) << earlier.r.err;
    std::string good = readFile(earlier.path(".rst"));
    ASSERT_EQ(good.size(), 400u);

    // A second zone and the path to it.
    std::string bigger =
        replaceFirst(replaceFirst(prj, "1 ! zones\n1 3 0 0 0 1 0 100 293.15 0 Room 0 0 0 0 0 0 0 0\n",
                          "2 ! zones\n1 3 0 0 0 1 0 100 293.15 0 Room 0 0 0 0 0 0 0 0\n"
                          "2 3 0 0 0 1 0 20 293.15 0 Store 0 0 0 0 0 0 0 0\n"),
                 "2 ! paths\n", "3 ! paths\n");
    bigger =
        replaceFirst(bigger, "\n-999\n0 ! duct junctions",
                 "\n3 0 1 2 1 0 0 0 0 0 1 0 0 1.5 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n-999\n0 ! duct junctions");
    std::string garbage(400, '\x7f');
    struct Case {
        const char* name;
        std::string prj, rst;           // rst empty: none
        std::vector<std::string> lines; // in this order after "sim_init_restart()"
        const char* absent;
    };
    const Case cases[] = {
        {"day not in the file",
         restartedFrom(prj, "Jan13"),
         good,
         {"rstget(13):  date Jan13\n", "search:  date/time Jan10/24:00:00, offset 40\n",
          "search:  date/time Jan12/24:00:00, offset 280\n", "Restart failed to find date"},
         "Jan13/"},
        {"one more zone",
         restartedFrom(bigger, "Jan11"),
         good,
         {"  fms->restart.rhd[0] 1 != 2 nzone\n", "  fms->restart.rhd[1] 2 != 3 npath\n",
          "Data mis-match in restart file"},
         "rhd[2]"},
        {"no file", restartedFrom(prj, "Jan11"), "", {"Failed to open restart file: "}, "search:"},
        {"cut in the asked record",
         restartedFrom(prj, "Jan11"),
         good.substr(0, 200),
         {"search:  date/time Jan11/24:00:00, offset 160\n", "RST read failed"},
         "Jan12/"},
        {"cut in the header",
         restartedFrom(prj, "Jan11"),
         good.substr(0, 20),
         {"RST read failed"},
         "search:"},
        {"not a restart file",
         restartedFrom(prj, "Jan11"),
         garbage,
         {"Data mis-match in restart file"},
         "search:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = scratchDir();
        if (!c.rst.empty()) writeFile(dir + "/rst_room.rst", c.rst);
        HostRun run("rst_room", c.prj, dir);
        EXPECT_EQ(run.r.status, 0) << run.r.err;
        size_t at = run.log.find("sim_init_restart()\n");
        ASSERT_NE(at, std::string::npos) << run.log;
        for (const std::string& line : c.lines) {
            size_t next = run.log.find(line, at);
            EXPECT_NE(next, std::string::npos) << line << "\n" << run.log;
            if (next != std::string::npos) at = next;
        }
        EXPECT_TRUE(contains(run.log.substr(at), "End Steady-state Initialization"));
        EXPECT_FALSE(contains(run.log, c.absent)) << c.absent;
        EXPECT_TRUE(contains(run.log, "Simulation completed successfully."));
        expectBalanced(run);
        // The run writes its own day: the file it could not use is replaced when it completes.
        RstFile mine = readRst(run.path(".rst"));
        EXPECT_EQ(mine.records.size(), 1u);
    }
}

// Runs that must not touch an earlier run's restart file: a steady-only run (which also must
// still write its results), an input test and a run that fails after opening its own.
TEST(Restart, RunsThatLeaveTheEarlierFile)
{
    std::string prj = fixture("rst_room.prj");
    HostRun earlier("rst_room", prj);
    ASSERT_EQ(earlier.r.status, 0) << earlier.r.err;
    std::string good = readFile(earlier.path(".rst"));
    ASSERT_EQ(good.size(), 400u);

    // Steady airflow without contaminants: afsim 0 on run-control line 15.
    std::string steady = replaceFirst(restartedFrom(prj, "Jan11"), "\n1 0 30 1e-5", "\n0 0 30 1e-5");
    // Jan12 from 01:30 with hourly listings fails in the loop, after the file is opened.
    std::string late =
        replaceFirst(restartedFrom(prj, "Jan11"), "Jan12 0:00:00 Jan12 00:00:00", "Jan12 0:00:00 Jan12 01:30:00");
    struct Case {
        const char* name;
        std::string prj, args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"steady-only", steady, "", 0, "Simulation completed successfully."},
        {"input test", restartedFrom(prj, "Jan11"), "-t", 0, "Input test completed"},
        {"fatal in the loop", late, "", 2, "Start time must be a multiple of the listing time step"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = scratchDir();
        writeFile(dir + "/rst_room.rst", good);
        HostRun run("rst_room", c.prj, dir, c.args);
        EXPECT_EQ(run.r.status, c.status) << run.r.err;
        EXPECT_TRUE(contains(run.log, c.message)) << run.log;
        EXPECT_EQ(readFile(run.path(".rst")), good);
        EXPECT_FALSE(fileExists(run.path(".rst.part")));
    }
    // The steady-only run ignored the flag and wrote its one record of results.
    std::string dir = scratchDir();
    writeFile(dir + "/rst_room.rst", good);
    HostRun run("rst_room", steady, dir);
    EXPECT_FALSE(contains(run.log, "sim_init_restart()"));
    SimFile sim = readSim(run.path(".sim"));
    EXPECT_EQ(stepsOf(sim, 12).size(), 1u);
    expectBalanced(run);
}

// A cyclic run writes its one converged day, dated by the steady-state date twice.
TEST(Restart, CyclicRunWritesTheSteadyStateDate)
{
    // mfsim 3 on run-control line 17; the steady-state date Jan05.
    std::string prj = replaceFirst(replaceFirst(fixture("rst_mix.prj"), "\n2 0 1e-4 1e-15", "\n3 0 1e-4 1e-15"),
                               PERIOD, "Jan05 0:00:00 Jan10 00:00:00 Jan12 24:00:00");
    HostRun run("rst_mix", prj);
    ASSERT_EQ(run.r.status, 0) << run.r.err;
    RstFile f = readRst(run.path(".rst"));
    EXPECT_EQ(f.h[7], 5);
    EXPECT_EQ(f.h[8], 5);
    ASSERT_EQ(f.records.size(), 1u);
    EXPECT_EQ(f.records[0].day, 5);
    EXPECT_EQ(f.records[0].time, 86400);
}
