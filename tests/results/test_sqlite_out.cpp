// The results database: whole runs of the host compared row by row with the ".sim" file of the
// same run, its schema against the statements the tables are created with, what the switches
// and the network leave out, its lifecycle beside an earlier run's database, and the failures
// of a TIME row and of the opening on hand-built states.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/driver.h"
#include "network/airnet.h"
#include "results/resfile.h"
#include "results/simread.h"
#include "results/sqlite_out.h"
#include "testutil.h"

namespace
{

const std::string kProjects = FLOWMIR_TEST_PROJECTS;

std::string fixture(const std::string& name)
{
    return readFile(kProjects + "/" + name);
}


// Run-control line 29 of the fixtures: bcexres dcexres pfsql zfsql zcsql.
const char kSqlAll[] = "\n0 0 1 1 1\n1.2041";
std::string withSql(const std::string& prj, const std::string& line29)
{
    return replaceFirst(prj, kSqlAll, "\n" + line29 + "\n1.2041");
}

// A project staged as DIR/t.prj beside the two-day weather file and run by its full path, so
// that the log names the database by its full path.
struct HostRun {
    std::string dir, db, log;
    ChildResult r;
    explicit HostRun(const std::string& prj, const std::string& args = "", const std::string& dirIn = "")
    {
        dir = dirIn.empty() ? scratchDir() : dirIn;
        db = dir + "/t.sqlite3";
        writeFile(dir + "/t.prj", prj);
        writeFile(dir + "/tr_stack.wth", fixture("tr_stack.wth"));
        r = runHost("-q " + args + " '" + dir + "/t.prj'");
        log = fileExists(dir + "/t.xlog") ? readFile(dir + "/t.xlog") : "";
    }
};

// A database opened read-only, queried into rows of numbers or texts.
struct Db {
    sqlite3* db = nullptr;
    explicit Db(const std::string& path)
    {
        EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK) << path;
    }
    explicit Db(sqlite3* open) : db(open) {}
    ~Db()
    {
        if (owned) sqlite3_close(db);
    }
    bool owned = true;
    template <class T, class Get> std::vector<std::vector<T>> query(const std::string& sql, Get get) const
    {
        std::vector<std::vector<T>> out;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
            return out;
        }
        while (sqlite3_step(s) == SQLITE_ROW) {
            std::vector<T> row;
            for (int c = 0; c < sqlite3_column_count(s); c++)
                row.push_back(get(s, c));
            out.push_back(row);
        }
        sqlite3_finalize(s);
        return out;
    }
    std::vector<std::vector<double>> rows(const std::string& sql) const
    {
        return query<double>(sql, [](sqlite3_stmt* s, int c) { return sqlite3_column_double(s, c); });
    }
    std::vector<std::vector<std::string>> texts(const std::string& sql) const
    {
        return query<std::string>(sql, [](sqlite3_stmt* s, int c) {
            const unsigned char* t = sqlite3_column_text(s, c);
            return std::string(t ? (const char*)t : "NULL");
        });
    }
    long count(const std::string& table) const
    {
        auto r = rows("SELECT COUNT(*) FROM " + table);
        return r.empty() ? -1 : (long)r[0][0];
    }
};

// "C0 REAL, C1 REAL, " for n contaminants.
std::string cColumns(int n)
{
    std::string s;
    for (int c = 0; c < n; c++)
        s += "C" + std::to_string(c) + " REAL, ";
    return s;
}

const char kFk[] = "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID));";

// The CREATE statement of every table that may exist, for n contaminants, by table name.
std::vector<std::vector<std::string>> schema(const std::vector<std::string>& names, int n)
{
    const std::vector<std::vector<std::string>> all = {
        {"SIMINFO",
         "CREATE TABLE SIMINFO (id INTEGER PRIMARY KEY, NIMBALVersion STRING, nzones INTEGER, npaths "
         "INTEGER, "
         "nctms INTEGER, njcts INTEGER, ndcts INTEGER, ListTimeStep INTEGER, Date0 INTEGER, Time0 INTEGER, "
         "Date1 INTEGER, Time1 INTEGER, pfsave INTEGER, zfsave INTEGER, zcsave INTEGER, nafnodes INTEGER, "
         "nccnodes INTEGER, afpaths INTEGER)"},
        {"TIME",
         "CREATE TABLE TIME (TimeID INTEGER PRIMARY KEY, dayofyear INTEGER, daytype INTEGER, Time INTEGER)"},
        {"AMBIENTCONDITIONS",
         "CREATE TABLE AMBIENTCONDITIONS (TimeID INTEGER, Tambt REAL, Pambt REAL, Ws REAL, Wd REAL, " +
             cColumns(n) + kFk},
        {"NODEZONECCDATA",
         "CREATE TABLE NODEZONECCDATA (TimeID INTEGER, ZoneNumber INTEGER, " + cColumns(n) + kFk},
        {"NODEDUCTCCDATA",
         "CREATE TABLE NODEDUCTCCDATA (TimeID INTEGER, DuctNodeNumber INTEGER, " + cColumns(n) + kFk},
        {"NODEZONEFLOWDATA", std::string("CREATE TABLE NODEZONEFLOWDATA (TimeID INTEGER, ZoneNumber INTEGER, "
                                         "Temperature REAL, Pressure REAL, Density REAL, ") +
                                 kFk},
        {"NODEDUCTFLOWDATA",
         std::string("CREATE TABLE NODEDUCTFLOWDATA (TimeID INTEGER, DuctNodeNumber INTEGER, "
                     "Temperature REAL, Pressure REAL, Density REAL, ") +
             kFk},
        {"LINKPATHDATA",
         std::string("CREATE TABLE LINKPATHDATA (TimeID INTEGER, PathNumber INTEGER, dP REAL, "
                     "Flow0 REAL, Flow1 REAL, ") +
             kFk},
        {"LINKDUCTINFO",
         "CREATE TABLE LINKDUCTINFO (DuctLinkNumber INTEGER PRIMARY KEY, Type INTEGER , DuctNumber INTEGER)"},
        {"LINKDUCTDATA",
         "CREATE TABLE LINKDUCTDATA (TimeID INTEGER, DuctLinkNumber INTEGER, dP REAL, Flow0 REAL, "
         "Flow1 REAL, FOREIGN KEY(TimeID) REFERENCES TIME(TimeID),FOREIGN KEY(DuctLinkNumber) "
         "REFERENCES LINKDUCTINFO(DuctLinkNumber))"},
    };
    std::vector<std::vector<std::string>> out;
    for (const auto& t : all)
        for (const std::string& name : names)
            if (t[0] == name) {
                std::string sql = t[1];
                // SQLite keeps the text without the closing semicolon.
                if (sql.back() == ';') sql.pop_back();
                out.push_back({t[0], sql});
            }
    return out;
}

std::vector<std::vector<std::string>> tablesOf(const Db& db)
{
    return db.texts("SELECT name, sql FROM sqlite_master WHERE type = 'table' ORDER BY rowid");
}

// The first difference between the database's rows and the expected ones: the first `keys`
// columns exactly, the others as the single-precision values of the results file.
std::string firstDifference(const std::vector<std::vector<double>>& got,
                            const std::vector<std::vector<double>>& want, int keys)
{
    if (got.size() != want.size())
        return "rows: " + std::to_string(got.size()) + ", expected " + std::to_string(want.size());
    for (size_t i = 0; i < got.size(); i++) {
        if (got[i].size() != want[i].size()) return "columns of row " + std::to_string(i);
        for (size_t c = 0; c < got[i].size(); c++) {
            bool same = (int)c < keys ? got[i][c] == want[i][c] : (float)got[i][c] == (float)want[i][c];
            if (!same) {
                char b[160];
                snprintf(b, sizeof b, "row %zu column %zu: %.9g, expected %.9g", i, c, got[i][c], want[i][c]);
                return b;
            }
        }
    }
    return "";
}

// Whether the texts appear in the log in this order.
std::string missingInOrder(const std::string& log, const std::vector<std::string>& texts)
{
    size_t at = 0;
    for (const std::string& t : texts) {
        size_t p = log.find(t, at);
        if (p == std::string::npos) return t;
        at = p + t.size();
    }
    return "";
}

} // namespace

// Two days of hourly records of two rooms with a supply duct, a leaky branch and outdoor dust
// under the two-day weather file: every row of every table is the results file's value at the
// same time, filed under the TIME row of its own record.
TEST(SqliteHost, TwoDaysOfDuctsAndDustMatchTheResultsFile)
{
    HostRun run(fixture("sql_ducts.prj"));
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    EXPECT_EQ(run.log.find("ERROR"), std::string::npos) << run.log;
    EXPECT_FALSE(fileExists(run.db + ".part"));
    SimFile sim;
    std::string why;
    ASSERT_TRUE(simRead((run.dir + "/t.sim").c_str(), &sim, &why)) << why;
    std::vector<const SimRecord*> steps;
    for (const SimRecord& rec : sim.records)
        if (rec.kind == SIM_STEP_RECORD) steps.push_back(&rec);
    ASSERT_EQ(steps.size(), 50u);
    const SimHeader& h = sim.h;
    ASSERT_EQ(h.ncont, 1);
    ASSERT_GT(h.njct, 0);
    ASSERT_GT(h.ndct, 0);

    Db db(run.db);
    // TIME: ids 1..50 in writing order; hours 0..24 of day 1, then 0 (the day change) to 24 of day 2.
    auto times = db.rows("SELECT TimeID, dayofyear, daytype, Time FROM TIME ORDER BY TimeID");
    ASSERT_EQ(times.size(), 50u);
    for (int k = 0; k < 50; k++) {
        SCOPED_TRACE(k);
        EXPECT_EQ(times[k][0], k + 1);
        EXPECT_EQ(times[k][1], k < 25 ? 1 : 2);
        EXPECT_EQ(times[k][3], 3600 * (k % 25));
        EXPECT_EQ(times[k][1], steps[k]->day);
        EXPECT_EQ(times[k][2], steps[k]->dayType);
        EXPECT_EQ(times[k][3], steps[k]->time);
    }

    auto info = db.texts("SELECT * FROM SIMINFO");
    ASSERT_EQ(info.size(), 1u);
    std::vector<std::string> wantInfo = {"1", "3.4.1.4"};
    EXPECT_EQ(std::vector<int>({h.step, h.date0, h.time0, h.date1, h.time1}),
              std::vector<int>({3600, 1, 0, 2, 86400}));
    for (int v : {h.nnode, h.npath, h.ncont, h.njct, h.ndct, h.step, h.date0, h.time0, h.date1, h.time1, 1, 1,
                  1, h.nafnd, h.nafnd, h.nafpt})
        wantInfo.push_back(std::to_string(v));
    EXPECT_EQ(info[0], wantInfo);

    // The expected rows, from the results file's identification block and step records.
    auto styp = [&](int nr) { return sim.nodeStyp[nr - 1]; };
    auto snr = [&](int nr) { return (double)sim.nodeSnr[nr - 1]; };
    std::vector<std::vector<double>> ambient, zoneFlow, ductFlow, zoneCC, ductCC, pathData, ductData,
        ductInfo;
    int nonPath = 0;
    for (int k = 0; k < h.nafpt; k++)
        if (sim.pathStyp[k] != 0)
            ductInfo.push_back({(double)++nonPath, (double)sim.pathStyp[k], (double)sim.pathSnr[k]});
    for (int k = 0; k < 50; k++) {
        const SimRecord& rec = *steps[k];
        double id = k + 1;
        ambient.push_back({id, rec.Ta, rec.Pb, rec.Ws, rec.Wd, rec.ambMf[0]});
        for (const SimNodeRow& n : rec.nodes)
            (styp(n.nr) == 0 ? zoneFlow : ductFlow).push_back({id, snr(n.nr), n.T, n.Pg, n.D});
        for (const SimConcRow& c : rec.concs)
            (styp(c.nr) == 0 ? zoneCC : ductCC).push_back({id, snr(c.nr), c.mf[0]});
        int ductLink = 0;
        for (size_t p = 0; p < rec.paths.size(); p++) {
            const SimPathRow& r = rec.paths[p];
            if (sim.pathStyp[p] == 0)
                pathData.push_back({id, (double)sim.pathSnr[p], r.dP, r.F0, r.F1});
            else
                ductData.push_back({id, (double)++ductLink, r.dP, r.F0, r.F1});
        }
    }
    // The weather and the dust make every record differ, so rows filed under a wrong TIME row show.
    EXPECT_NE(ambient[3][1], ambient[4][1]);
    EXPECT_NE(zoneCC[2][2], zoneCC[20][2]);
    EXPECT_GT(zoneCC.back()[2], 0.0);

    struct Table {
        const char* sql;
        const std::vector<std::vector<double>>& want;
        int keys;
        long perRecord;
    } tables[] = {
        {"SELECT TimeID, Tambt, Pambt, Ws, Wd, C0 FROM AMBIENTCONDITIONS", ambient, 1, 1},
        {"SELECT TimeID, ZoneNumber, Temperature, Pressure, Density FROM NODEZONEFLOWDATA", zoneFlow, 2,
         h.nnode},
        {"SELECT TimeID, DuctNodeNumber, Temperature, Pressure, Density FROM NODEDUCTFLOWDATA", ductFlow, 2,
         h.njct},
        {"SELECT TimeID, ZoneNumber, C0 FROM NODEZONECCDATA", zoneCC, 2, h.nnode},
        {"SELECT TimeID, DuctNodeNumber, C0 FROM NODEDUCTCCDATA", ductCC, 2, h.njct},
        {"SELECT TimeID, PathNumber, dP, Flow0, Flow1 FROM LINKPATHDATA", pathData, 2, h.npath},
        {"SELECT TimeID, DuctLinkNumber, dP, Flow0, Flow1 FROM LINKDUCTDATA", ductData, 2, h.nafpt - h.npath},
        {"SELECT DuctLinkNumber, Type, DuctNumber FROM LINKDUCTINFO", ductInfo, 3, 0},
    };
    for (const Table& t : tables) {
        SCOPED_TRACE(t.sql);
        if (t.perRecord > 0) {
            EXPECT_EQ((long)t.want.size(), 50 * t.perRecord);
        }
        EXPECT_EQ(firstDifference(db.rows(std::string(t.sql) + " ORDER BY rowid"), t.want, t.keys), "");
    }
    EXPECT_TRUE(db.rows("PRAGMA foreign_key_check").empty());
    EXPECT_EQ(tablesOf(db),
              schema({"SIMINFO", "TIME", "AMBIENTCONDITIONS", "NODEZONECCDATA", "NODEDUCTCCDATA",
                      "NODEZONEFLOWDATA", "NODEDUCTFLOWDATA", "LINKPATHDATA", "LINKDUCTINFO", "LINKDUCTDATA"},
                     1));

    // The log at detail level 3, naming the database by its final name.
    std::vector<std::string> lines = {
        "sqlite: Opening " + run.db + " ...\n",
        "sqlite: Opened " + run.db + ".\n",
        "sqlite: Foreign keys enabled.\n",
        "sqlite: Synchronous disk writes are off.\n",
        "sqlite: Journaling set to MEMORY.\n",
        "Created SIMINFO Table.\n",
        "Created TIME Table.\n",
        "Created AMBIENTCONDITIONS Table.\n",
        "Created NodeZoneCCData Table.\n",
        "Created NodeDuctCCData Table.\n",
        "Created NodeZoneFlowData Table.\n",
        "Created NodeDuctFlowData Table.\n",
        "Created LinkPathData Table.\n",
        "Created LinkDuctInfoData Table.\n",
        "Created LinkDuctData Table.\n",
        "Inserted record into SIMINFO Table.\nNIMBALVersion: 3.4.1.4.\nnzones: " + std::to_string(h.nnode) +
            ".\n",
        "afpaths: " + std::to_string(h.nafpt) + ".\n",
        "Inserted record into LINKDUCTINFO Table.\nDuctLinkNumber: 1.\nType: " +
            std::to_string((int)ductInfo[0][1]) + ".\nDuctNumber: " + std::to_string((int)ductInfo[0][2]) +
            ".\n",
        "DuctLinkNumber: " + std::to_string(nonPath) + ".\n",
        "sqlite: Closed " + run.db + "\n",
        "Final: "};
    EXPECT_EQ(missingInOrder(run.log, lines), "") << run.log;
    EXPECT_NE(run.log.find(" freed, 0 net\n", run.log.find("Final: ")), std::string::npos);
}

// The switches and the network decide which tables exist and which columns they have; every
// record still has its TIME and ambient rows.
TEST(SqliteHost, TablesFollowTheSwitchesTheNetworkAndTheSpecies)
{
    struct Case {
        const char* what;
        std::string prj;
        int species;
        std::vector<std::string> tables;
        long records;
    };
    std::string noDucts = replaceFirst(fixture("tr_stack.prj"), "\n0 0 0 0 0\n1.2041", "\n0 0 1 1 1\n1.2041");
    std::string twoSpecies = replaceFirst(fixture("cex_room.prj"), "\n1 1 0 0 0\n1.2041", "\n0 0 1 0 1\n1.2041");
    const Case cases[] = {
        {"no junctions, ducts or species",
         noDucts,
         0,
         {"SIMINFO", "TIME", "AMBIENTCONDITIONS", "NODEZONECCDATA", "NODEZONEFLOWDATA", "LINKPATHDATA"},
         50},
        {"concentrations only",
         withSql(fixture("sql_ducts.prj"), "0 0 0 0 1"),
         1,
         {"SIMINFO", "TIME", "AMBIENTCONDITIONS", "NODEZONECCDATA", "NODEDUCTCCDATA"},
         50},
        {"two species, path flows and concentrations",
         twoSpecies,
         2,
         {"SIMINFO", "TIME", "AMBIENTCONDITIONS", "NODEZONECCDATA", "LINKPATHDATA"},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HostRun run(c.prj);
        ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
        Db db(run.db);
        EXPECT_EQ(tablesOf(db), schema(c.tables, c.species));
        EXPECT_EQ(db.count("TIME"), c.records);
        EXPECT_EQ(db.count("AMBIENTCONDITIONS"), c.records);
        // nccnodes is nafnodes whether or not concentrations are stored.
        auto info = db.rows("SELECT nctms, nafnodes, nccnodes FROM SIMINFO");
        ASSERT_EQ(info.size(), 1u);
        EXPECT_EQ(info[0][0], c.species);
        EXPECT_EQ(info[0][2], info[0][1]);
        // The ambient node is never a zone row.
        EXPECT_EQ(db.count("NODEZONECCDATA WHERE ZoneNumber = 0"), 0);
        EXPECT_TRUE(db.rows("PRAGMA foreign_key_check").empty());
    }
}

// An earlier run's database survives a run that fails after opening its own, and an input
// test; a completed run without the switches deletes it. A failed run leaves no database.
TEST(SqliteHost, EarlierDatabaseKeptByFailedRunsAndDeletedWhenSwitchedOff)
{
    HostRun earlier(fixture("sql_ducts.prj"));
    ASSERT_EQ(earlier.r.status, 0) << earlier.r.err;
    const std::string good = readFile(earlier.db);
    ASSERT_GT(good.size(), 4096u);

    // The start time check of the transient loop fails after the database has been set up.
    std::string fatal = replaceFirst(fixture("sql_ducts.prj"), "Jan01 00:00:00 Jan01 00:00:00 Jan02",
                                 "Jan01 00:00:00 Jan01 01:30:00 Jan02");
    for (bool first : {true, false}) {
        SCOPED_TRACE(first ? "no earlier database" : "earlier database");
        HostRun run(fatal, "", first ? "" : earlier.dir);
        EXPECT_EQ(run.r.status, 2) << run.r.err;
        EXPECT_NE(run.log.find("FATAL"), std::string::npos) << run.log;
        EXPECT_EQ(missingInOrder(run.log, {"sqlite: Opened ", "Created LinkDuctData Table.\n",
                                           "Start time must be a multiple of the listing time step"}),
                  "");
        EXPECT_FALSE(fileExists(run.db + ".part"));
        if (first) {
            EXPECT_FALSE(fileExists(run.db));
        } else {
            EXPECT_EQ(readFile(run.db), good);
        }
    }

    std::string off = withSql(fixture("sql_ducts.prj"), "0 0 0 0 0");
    HostRun test(off, "-t", earlier.dir);
    EXPECT_EQ(test.r.status, 0) << test.r.err;
    EXPECT_EQ(readFile(earlier.db), good);
    HostRun done(off, "", earlier.dir);
    EXPECT_EQ(done.r.status, 0) << done.r.err;
    EXPECT_FALSE(fileExists(earlier.db));
    EXPECT_FALSE(fileExists(earlier.db + ".part"));
    EXPECT_EQ(done.log.find("sqlite:"), std::string::npos);
}

namespace
{

int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

// A room, the ambient and one path, with one species and all three switches.
struct HandNet {
    TestState s;
    std::string dir;
    AirNode zone{}, amb{};
    AirLink path{};
    double zoneMf[1] = {3e-4}, ambMf[1] = {1e-4};
    HandNet()
    {
        s.openLog();
        s->errorFcn = quietFcn;
        dir = scratchDir();
        snprintf(s->_pdir, sizeof s->_pdir, "%s/", dir.c_str());
        snprintf(s->_prjname, sizeof s->_prjname, "h");
        s->nctm = 1;
        s->nzone = s->npath = 1;
        zone.nr = 1;
        zone.s_nr = 1;
        zone.T = 293.15;
        zone.rho = 1.2;
        zone.Mf = zoneMf;
        zone.next = &amb;
        amb.nr = 2;
        amb.Mf = ambMf;
        s->nodeList = &zone;
        s->ambt = &amb;
        s->nafnd = 2;
        path.nr = path.s_nr = 1;
        path.nodeN = &amb;
        path.nodeM = &zone;
        s->linkList = &path;
        s->nafpt = 1;
        s->pfsql = s->zfsql = s->zcsql = 1;
        s->dayofy = 1;
        s->dayType = 3;
        s->listStep = 3600;
    }
    ~HandNet()
    {
        set_usql_close(s.fms, 1);
        resfile_abandon_all(s.fms);
    }
};

} // namespace

// A TIME row that cannot be written leaves its record out: its rows are not filed under the
// previous record's TimeID, the failure is an ERROR with SQLite's message, the next record gets
// its own TIME row, and the database, which lost a record, does not replace an earlier one.
TEST(SqliteOut, FailedTimeRowLeavesItsRecordOut)
{
    HandNet net;
    FlowmirState* fms = net.s.fms;
    set_usql_open(fms);
    ASSERT_NE(fms->sqlDb, nullptr);
    Db db(fms->sqlDb);
    db.owned = false;

    net.zone.T = 290.0;
    writeSql_stepTime(fms);
    ASSERT_EQ(
        sqlite3_exec(
            fms->sqlDb,
            "CREATE TRIGGER refuse BEFORE INSERT ON TIME BEGIN SELECT RAISE(ABORT, 'TIME refused'); END;",
            nullptr, nullptr, nullptr),
        SQLITE_OK);
    fms->stepEndTime = 3600;
    net.zone.T = 291.0;
    writeSql_stepTime(fms);
    ASSERT_EQ(sqlite3_exec(fms->sqlDb, "DROP TRIGGER refuse;", nullptr, nullptr, nullptr), SQLITE_OK);
    fms->stepEndTime = 7200;
    net.zone.T = 292.0;
    writeSql_stepTime(fms);

    EXPECT_EQ(fms->errorCount, 1);
    EXPECT_NE(net.s.log().find("ERROR  (file sqlite_rows, line "), std::string::npos) << net.s.log();
    EXPECT_NE(
        net.s.log().find("SQLite3 TIME row of day 1, time 3600 not written, record left out: TIME refused"),
        std::string::npos)
        << net.s.log();
    EXPECT_EQ(db.rows("SELECT TimeID, Time FROM TIME"),
              (std::vector<std::vector<double>>{{1, 0}, {2, 7200}}));
    EXPECT_EQ(db.rows("SELECT TimeID, Tambt FROM AMBIENTCONDITIONS").size(), 2u);
    EXPECT_EQ(db.rows("SELECT TimeID, Temperature FROM NODEZONEFLOWDATA"),
              (std::vector<std::vector<double>>{{1, 290.0}, {2, 292.0}}));
    EXPECT_EQ(db.rows("SELECT TimeID, ZoneNumber, C0 FROM NODEZONECCDATA"),
              (std::vector<std::vector<double>>{{1, 1, 3e-4}, {2, 1, 3e-4}}));
    EXPECT_EQ(db.rows("SELECT TimeID, PathNumber FROM LINKPATHDATA"),
              (std::vector<std::vector<double>>{{1, 1}, {2, 1}}));
    char name[RESFILE_PATH];
    EXPECT_TRUE(resfile_any_failed(fms, name, sizeof name));
    EXPECT_EQ(std::string(name), net.dir + "/h.sqlite3");
}

// An opening that SQLite refuses is FATAL with SQLite's message; the handle is closed there
// and the fatal end finds none to close again. The run's temporary file goes.
TEST(SqliteOut, RefusedOpeningClosesTheHandleOnce)
{
    HandNet net;
    FlowmirState* fms = net.s.fms;
    ChildResult r = runChild([&] {
        static sqlite3_vfs refusing;
        refusing = *sqlite3_vfs_find(nullptr);
        refusing.zName = "refusing";
        refusing.xOpen = [](sqlite3_vfs*, auto, sqlite3_file* f, int, int*) {
            f->pMethods = nullptr;
            return SQLITE_CANTOPEN;
        };
        sqlite3_vfs_register(&refusing, 1);
        fms->quiet = 1;
        fms->finishFcn = [](FlowmirState* f, int status) {
            if (f->sqlDb) _exit(7);
            finish(f, status);
        };
        set_usql_open(fms);
        _exit(9);
    });
    EXPECT_EQ(r.status, 2) << r.err;
    std::string log = net.s.log();
    EXPECT_NE(log.find("FATAL  (file sqlite_out, line "), std::string::npos) << log;
    EXPECT_NE(log.find("Error opening SQLite3 database: unable to open database file"), std::string::npos)
        << log;
    EXPECT_FALSE(fileExists(net.dir + "/h.sqlite3.part"));
    EXPECT_FALSE(fileExists(net.dir + "/h.sqlite3"));
}
