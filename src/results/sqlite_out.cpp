// The results database: tables created once at the start, rows inserted through prepared
// statements, one transaction per record. The statement texts depend only on the number of
// contaminants, so they are built and prepared at the opening and a record allocates nothing.
#include "results/sqlite_out.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "flowmir/flowmir.h"
#include "network/airnet.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/paths.h"

enum { SQL_PATH = 260 };

// --- the schema --------------------------------------------------------------------------------

// When a table (and its insert statement) exists.
enum SqlCondition { SQL_ALWAYS, SQL_ZC, SQL_ZC_JCT, SQL_ZF, SQL_ZF_JCT, SQL_PF, SQL_PF_DCT };

// A table's CREATE statement: its head, one "C%d REAL, " per contaminant when perContaminant,
// then its tail.
struct SqlTable {
    SqlCondition when;
    const char* head;
    bool perContaminant;
    const char* tail;
    const char* created; // log line
};

static const SqlTable TABLES[] = {
    {SQL_ALWAYS,
     "CREATE TABLE SIMINFO (id INTEGER PRIMARY KEY, "
     "NIMBALVersion STRING, "
     "nzones INTEGER, "
     "npaths INTEGER, "
     "nctms INTEGER, "
     "njcts INTEGER, "
     "ndcts INTEGER, "
     "ListTimeStep INTEGER, "
     "Date0 INTEGER, "
     "Time0 INTEGER, "
     "Date1 INTEGER, "
     "Time1 INTEGER, "
     "pfsave INTEGER, "
     "zfsave INTEGER, "
     "zcsave INTEGER, "
     "nafnodes INTEGER, "
     "nccnodes INTEGER, "
     "afpaths INTEGER);",
     false, "", "Created SIMINFO Table.\n"},
    {SQL_ALWAYS,
     "CREATE TABLE TIME (TimeID INTEGER PRIMARY KEY, "
     "dayofyear INTEGER, "
     "daytype INTEGER, "
     "Time INTEGER);",
     false, "", "Created TIME Table.\n"},
    {SQL_ALWAYS,
     "CREATE TABLE AMBIENTCONDITIONS (TimeID INTEGER, "
     "Tambt REAL, "
     "Pambt REAL, "
     "Ws REAL, "
     "Wd REAL, ",
     true, "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID));", "Created AMBIENTCONDITIONS Table.\n"},
    {SQL_ZC,
     "CREATE TABLE NODEZONECCDATA (TimeID INTEGER, "
     "ZoneNumber INTEGER, ",
     true, "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID));", "Created NodeZoneCCData Table.\n"},
    {SQL_ZC_JCT,
     "CREATE TABLE NODEDUCTCCDATA (TimeID INTEGER, "
     "DuctNodeNumber INTEGER, ",
     true, "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID));", "Created NodeDuctCCData Table.\n"},
    {SQL_ZF,
     "CREATE TABLE NODEZONEFLOWDATA (TimeID INTEGER, "
     "ZoneNumber INTEGER, "
     "Temperature REAL, "
     "Pressure REAL, "
     "Density REAL, "
     "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID));",
     false, "", "Created NodeZoneFlowData Table.\n"},
    {SQL_ZF_JCT,
     "CREATE TABLE NODEDUCTFLOWDATA (TimeID INTEGER, "
     "DuctNodeNumber INTEGER, "
     "Temperature REAL, "
     "Pressure REAL, "
     "Density REAL, "
     "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID));",
     false, "", "Created NodeDuctFlowData Table.\n"},
    {SQL_PF,
     "CREATE TABLE LINKPATHDATA (TimeID INTEGER, "
     "PathNumber INTEGER, "
     "dP REAL, "
     "Flow0 REAL, "
     "Flow1 REAL, "
     "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID));",
     false, "", "Created LinkPathData Table.\n"},
    {SQL_PF_DCT,
     "CREATE TABLE LINKDUCTINFO (DuctLinkNumber INTEGER PRIMARY KEY, "
     "Type INTEGER , "
     "DuctNumber INTEGER);",
     false, "", "Created LinkDuctInfoData Table.\n"},
    {SQL_PF_DCT,
     "CREATE TABLE LINKDUCTDATA (TimeID INTEGER, "
     "DuctLinkNumber INTEGER, "
     "dP REAL, "
     "Flow0 REAL, "
     "Flow1 REAL, "
     "FOREIGN KEY(TimeID) REFERENCES TIME(TimeID),"
     "FOREIGN KEY(DuctLinkNumber) REFERENCES LINKDUCTINFO(DuctLinkNumber));",
     false, "", "Created LinkDuctData Table.\n"},
};

// --- helpers -----------------------------------------------------------------------------------

static bool anySwitch(const FlowmirState* fms)
{
    return fms->pfsql || fms->zfsql || fms->zcsql;
}

static bool holds(const FlowmirState* fms, SqlCondition when)
{
    switch (when) {
    case SQL_ALWAYS:
        return true;
    case SQL_ZC:
        return fms->zcsql;
    case SQL_ZC_JCT:
        return fms->zcsql && fms->njct > 0;
    case SQL_ZF:
        return fms->zfsql;
    case SQL_ZF_JCT:
        return fms->zfsql && fms->njct > 0;
    case SQL_PF:
        return fms->pfsql;
    case SQL_PF_DCT:
        return fms->pfsql && fms->ndct > 0;
    }
    return false;
}

static void sqlPath(FlowmirState* fms, char* path)
{
    pathmerge(fms, path, SQL_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ".sqlite3");
}

// A statement text buffer long enough for the longest statement with every contaminant column
// (", C<n>" and ", ?" in an insert, "C<n> REAL, " in a table).
struct SqlText {
    char* s;
    int size;
};

static SqlText textAlloc(FlowmirState* fms)
{
    SqlText t;
    t.size = 512 + 32 * (fms->nctm > 0 ? fms->nctm : 0);
    t.s = alc_vt<char>(fms, 0, t.size - 1, "sqlText");
    return t;
}

static void textFree(FlowmirState* fms, SqlText& t)
{
    fre_vt(fms, t.s, 0, t.size - 1);
}

// Appends a formatted piece at position at; the new end.
static int textAdd(SqlText& t, int at, const char* format, int value)
{
    int n = snprintf(t.s + at, (size_t)(t.size - at), format, value);
    return n < 0 || at + n >= t.size ? t.size - 1 : at + n;
}

static int textPut(SqlText& t, int at, const char* piece)
{
    int n = snprintf(t.s + at, (size_t)(t.size - at), "%s", piece);
    return n < 0 || at + n >= t.size ? t.size - 1 : at + n;
}

// A setup statement: its failure ends the run.
static bool execSetup(FlowmirState* fms, const char* sql)
{
    char* err = nullptr;
    int rc = sqlite3_exec(fms->sqlDb, sql, nullptr, nullptr, &err);
    sqlite3_free(err);
    if (rc == SQLITE_OK) return true;
    errorf(fms, FATAL, __FILE__, __LINE__, "Error executing SQLite3 statement: %s",
           sqlite3_errmsg(fms->sqlDb));
    return false;
}

// --- opening -----------------------------------------------------------------------------------

void sqliteOpenDatabase(FlowmirState* fms)
{
    if (!anySwitch(fms)) return;
    // Every opening starts an empty database, a second one as well.
    sqliteCloseDatabase(fms);
    char path[SQL_PATH];
    sqlPath(fms, path);
    // The database goes to the temporary name, which the run holds open and locked through its
    // results file record (nothing is written through that stream): it replaces an earlier
    // database only when the run completes.
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp || ftruncate(fileno(rf->fp), 0) != 0) {
        errorf(fms, FATAL, __FILE__, __LINE__,
               "Error opening SQLite3 database: %s.part is held by another run or cannot be created", path);
        return;
    }
    fms->sqlRes = rf;
    LOG(fms, "sqlite: Opening %s ...\n", path);

    // A run is single-threaded, so the connection goes without the mutex every call would take.
    sqlite3* db = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(rf->temp, &db, flags, nullptr) != SQLITE_OK) {
        char msg[512];
        snprintf(msg, sizeof msg, "%s", db ? sqlite3_errmsg(db) : "out of memory");
        // The handle never reaches the state, so the fatal end does not close it a second time.
        sqlite3_close(db);
        errorf(fms, FATAL, __FILE__, __LINE__, "Error opening SQLite3 database: %s", msg);
        return;
    }
    fms->sqlDb = db;
    LOG(fms, "sqlite: Opened %s.\n", path);

    if (!execSetup(fms, " PRAGMA foreign_keys = ON ")) return;
    LOG(fms, "sqlite: Foreign keys enabled.\n");
    if (!execSetup(fms, "PRAGMA synchronous = OFF")) return;
    LOG(fms, "sqlite: Synchronous disk writes are off.\n");
    if (!execSetup(fms, "PRAGMA journal_mode = MEMORY")) return;
    LOG(fms, "sqlite: Journaling set to MEMORY.\n");
}

static void insertSimInfo(FlowmirState* fms)
{
    const char* columns = "INSERT INTO SIMINFO(NIMBALVersion, nzones, npaths, nctms,"
                          " njcts, ndcts, ListTimeStep, Date0, Time0, Date1, Time1,"
                          " pfsave, zfsave, zcsave, nafnodes, nccnodes, afpaths) ";
    const int v[16] = {fms->nzone,  fms->npath,       fms->nctm,    fms->njct,    fms->ndct,  fms->listStep,
                       fms->dayofy, fms->stepEndTime, fms->endDate, fms->endTime, fms->pfsql, fms->zfsql,
                       fms->zcsql,  fms->nafnd,       fms->nafnd,   fms->nafpt};
    char sql[640];
    snprintf(sql, sizeof sql,
             "%s VALUES('%s', %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d);", columns,
             FLOWMIR_VERSION, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12],
             v[13], v[14], v[15]);
    if (!execSetup(fms, sql)) return;
    if (fms->listLevel <= 2) return;
    static const char* const names[16] = {
        "nzones", "npaths", "nctms",  "njcts",  "ndcts",  "ListTimeStep", "Date0",    "Time0",
        "Date1",  "Time1",  "pfsave", "zfsave", "zcsave", "nafnodes",     "nccnodes", "afpaths"};
    LOG(fms, "Inserted record into SIMINFO Table.\n");
    LOG(fms, "NIMBALVersion: %s.\n", FLOWMIR_VERSION);
    for (int i = 0; i < 16; i++)
        LOG(fms, "%s: %d.\n", names[i], v[i]);
}

// One row per link that is not an airflow path, in list order: their row ids are the
// DuctLinkNumber of the LINKDUCTDATA rows.
static void insertDuctLinks(FlowmirState* fms)
{
    for (const AirLink* l = fms->linkList; l; l = l->next) {
        if (l->styp <= 0) continue;
        char sql[128];
        snprintf(sql, sizeof sql, "INSERT INTO LINKDUCTINFO(Type, DuctNumber) VALUES(%d, %d);", l->styp,
                 l->s_nr);
        if (!execSetup(fms, sql)) return;
        if (fms->listLevel > 2) {
            LOG(fms, "Inserted record into LINKDUCTINFO Table.\n");
            LOG(fms, "DuctLinkNumber: %lld.\n", (long long)sqlite3_last_insert_rowid(fms->sqlDb));
            LOG(fms, "Type: %d.\n", l->styp);
            LOG(fms, "DuctNumber: %d.\n", l->s_nr);
        }
    }
}

void sqliteAddTables(FlowmirState* fms)
{
    if (!anySwitch(fms) || !fms->sqlDb) return;
    if (!execSetup(fms, "BEGIN TRANSACTION")) return;
    SqlText t = textAlloc(fms);
    for (const SqlTable& tab : TABLES) {
        if (!holds(fms, tab.when)) continue;
        int at = textPut(t, 0, tab.head);
        if (tab.perContaminant)
            for (int c = 0; c < fms->nctm; c++)
                at = textAdd(t, at, "C%d REAL, ", c);
        textPut(t, at, tab.tail);
        if (!execSetup(fms, t.s)) return;
        if (fms->listLevel > 2) LOG(fms, "%s", tab.created);
    }
    textFree(fms, t);
    insertSimInfo(fms);
    if (fms->pfsql && fms->ndct > 0) insertDuctLinks(fms);
    execSetup(fms, "END TRANSACTION");
}

static void prepare(FlowmirState* fms, sqlite3_stmt** stmt, const char* sql, const char* failure)
{
    if (sqlite3_prepare_v2(fms->sqlDb, sql, -1, stmt, nullptr) != SQLITE_OK) {
        *stmt = nullptr;
        error(fms, FATAL, __FILE__, __LINE__, failure, "");
    }
}

void sqliteCreatePreparedStatements(FlowmirState* fms)
{
    if (!anySwitch(fms) || !fms->sqlDb) return;
    // The contaminant columns and their placeholders.
    SqlText cols = textAlloc(fms), vals = textAlloc(fms), sql = textAlloc(fms);
    cols.s[0] = vals.s[0] = '\0';
    int ac = 0, av = 0;
    for (int c = 0; c < fms->nctm; c++) {
        ac = textAdd(cols, ac, ", C%d", c);
        av = textPut(vals, av, ", ?");
    }

    prepare(fms, &fms->stmtBegin, "BEGIN TRANSACTION",
            "Begin transaction prepared statement creation failed.");
    prepare(fms, &fms->stmtEnd, "END TRANSACTION", "End transaction prepared statement creation failed.");
    prepare(fms, &fms->stmtTime, "INSERT INTO TIME(dayofyear, daytype, Time) VALUES(?, ?, ?);",
            "Insert into time prepared statement creation failed.");
    snprintf(sql.s, (size_t)sql.size,
             "INSERT INTO AMBIENTCONDITIONS(TimeID, Tambt, Pambt, Ws, Wd%s) VALUES(?, ?, ?, ?, ?%s);", cols.s,
             vals.s);
    prepare(fms, &fms->stmtAmbient, sql.s,
            "Insert into ambient conditions prepared statement creation failed.");
    if (fms->zcsql) {
        snprintf(sql.s, (size_t)sql.size, "INSERT INTO NODEZONECCDATA(TimeID, ZoneNumber%s) VALUES(?, ?%s);",
                 cols.s, vals.s);
        prepare(fms, &fms->stmtZoneCC, sql.s, "Insert into zone CCs prepared statement creation failed.");
        if (fms->njct > 0) {
            snprintf(sql.s, (size_t)sql.size,
                     "INSERT INTO NODEDUCTCCDATA(TimeID, DuctNodeNumber%s) VALUES(?, ?%s);", cols.s, vals.s);
            prepare(fms, &fms->stmtDuctCC, sql.s, "Insert into duct CCs prepared statement creation failed.");
        }
    }
    if (fms->zfsql) {
        prepare(fms, &fms->stmtZoneFlow,
                "INSERT INTO NODEZONEFLOWDATA(TimeID, ZoneNumber, Temperature, Pressure, Density) VALUES(?, "
                "?, ?, ?, ?);",
                "Insert into node zone flow prepared statement creation failed.");
        if (fms->njct > 0)
            prepare(fms, &fms->stmtDuctFlow,
                    "INSERT INTO NODEDUCTFLOWDATA(TimeID, DuctNodeNumber, Temperature, Pressure, Density) "
                    "VALUES(?, ?, "
                    "?, ?, ?);",
                    "Insert into node duct flow prepared statement creation failed.");
    }
    if (fms->pfsql) {
        prepare(fms, &fms->stmtPathData,
                "INSERT INTO LINKPATHDATA(TimeID, PathNumber, dP, Flow0, Flow1) VALUES(?, ?, ?, ?, ?);",
                "Insert into link path data prepared statement creation failed.");
        if (fms->ndct > 0)
            prepare(
                fms, &fms->stmtDuctLinkData,
                "INSERT INTO LINKDUCTDATA(TimeID, DuctLinkNumber, dP, Flow0, Flow1) VALUES(?, ?, ?, ?, ?);",
                "Insert into link duct data prepared statement creation failed.");
    }
    textFree(fms, sql);
    textFree(fms, vals);
    textFree(fms, cols);
}

void set_usql_open(FlowmirState* fms)
{
    sqliteOpenDatabase(fms);
    sqliteAddTables(fms);
    sqliteCreatePreparedStatements(fms);
}

// --- closing -----------------------------------------------------------------------------------

extern "C" void sqliteCloseDatabase(FlowmirState* fms)
{
    if (!fms || !fms->sqlDb) return;
    sqlite3_stmt** all[] = {
        &fms->stmtTime,     &fms->stmtAmbient,  &fms->stmtZoneCC,       &fms->stmtDuctCC, &fms->stmtZoneFlow,
        &fms->stmtDuctFlow, &fms->stmtPathData, &fms->stmtDuctLinkData, &fms->stmtBegin,  &fms->stmtEnd};
    for (sqlite3_stmt** s : all) {
        sqlite3_finalize(*s); // none is a no-op
        *s = nullptr;
    }
    if (sqlite3_close(fms->sqlDb) != SQLITE_OK) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Error closing SQLite3 database: %s",
               sqlite3_errmsg(fms->sqlDb));
        resfile_failed(fms->sqlRes);
    }
    fms->sqlDb = nullptr;
    if (fms->listLevel > 2) {
        char path[SQL_PATH];
        sqlPath(fms, path);
        LOG(fms, "sqlite: Closed %s\n", path);
    }
}

void set_usql_close(FlowmirState* fms, int remove)
{
    sqliteCloseDatabase(fms);
    if (remove) {
        char path[SQL_PATH];
        sqlPath(fms, path);
        resfile_remove_on_commit(fms, path);
    }
    fms->sqlRes = nullptr;
}
