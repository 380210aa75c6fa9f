// One record of the results database, in one transaction: the TIME row first, whose row id
// files every other row of the record.
#include <sqlite3.h>

#include <cstdio>

#include "network/airnet.h"
#include "results/resfile.h"
#include "results/sqlite_out.h"
#include "support/error.h"

namespace
{

struct Record {
    sqlite3* db;
    sqlite3_int64 timeId;
    int failed;    // statements that failed
    char why[256]; // SQLite's message for the first of them
};

void noteFailure(Record& r)
{
    if (r.failed++ == 0) snprintf(r.why, sizeof r.why, "%s", sqlite3_errmsg(r.db));
}

// Inserts the bound row and readies the statement for the next one.
void insertRow(Record& r, sqlite3_stmt* s)
{
    if (sqlite3_step(s) != SQLITE_DONE) noteFailure(r);
    sqlite3_clear_bindings(s);
    sqlite3_reset(s);
}

void bindFractions(sqlite3_stmt* s, int first, const double* mf, int nctm)
{
    for (int c = 0; c < nctm; c++)
        sqlite3_bind_double(s, first + c, mf ? mf[c] : 0.0);
}

void ambientRow(FlowmirState* fms, Record& r)
{
    sqlite3_stmt* s = fms->stmtAmbient;
    sqlite3_bind_int64(s, 1, r.timeId);
    sqlite3_bind_double(s, 2, fms->Tambt);
    sqlite3_bind_double(s, 3, fms->Pambt);
    sqlite3_bind_double(s, 4, fms->Wspd);
    sqlite3_bind_double(s, 5, fms->Wdir);
    bindFractions(s, 6, fms->ambt ? fms->ambt->Mf : nullptr, fms->nctm);
    insertRow(r, s);
}

// Zones and junctions, counted from 1 in list order; the ambient node (number nafnd) is left out.
void nodeRows(FlowmirState* fms, Record& r, bool fractions)
{
    sqlite3_stmt* zone = fractions ? fms->stmtZoneCC : fms->stmtZoneFlow;
    sqlite3_stmt* duct = fractions ? fms->stmtDuctCC : fms->stmtDuctFlow;
    int i = 1;
    for (const AirNode* n = fms->nodeList; n; n = n->next, i++) {
        if (i == fms->nafnd) continue;
        sqlite3_stmt* s = n->styp != NODE_ZONE ? duct : zone;
        if (!s) continue;
        sqlite3_bind_int64(s, 1, r.timeId);
        sqlite3_bind_int(s, 2, n->s_nr);
        if (fractions) {
            bindFractions(s, 3, n->Mf, fms->nctm);
        } else {
            sqlite3_bind_double(s, 3, n->T);
            sqlite3_bind_double(s, 4, n->Pgage);
            sqlite3_bind_double(s, 5, n->rho);
        }
        insertRow(r, s);
    }
}

// Airflow paths by their number; every other link by its place among them, which is the row id
// of its LINKDUCTINFO row.
void linkRows(FlowmirState* fms, Record& r)
{
    int ductLink = 1;
    for (const AirLink* l = fms->linkList; l; l = l->next) {
        sqlite3_stmt* s = l->styp == LINK_PATH ? fms->stmtPathData : fms->stmtDuctLinkData;
        int number = l->styp == LINK_PATH ? l->s_nr : ductLink++;
        if (!s) continue;
        sqlite3_bind_int64(s, 1, r.timeId);
        sqlite3_bind_int(s, 2, number);
        sqlite3_bind_double(s, 3, l->dP);
        sqlite3_bind_double(s, 4, l->Flow[0]);
        sqlite3_bind_double(s, 5, l->Flow[1]);
        insertRow(r, s);
    }
}

// BEGIN and END are prepared once; only a failure's ROLLBACK is parsed when it is needed.
bool run(Record& r, sqlite3_stmt* s)
{
    bool ok = sqlite3_step(s) == SQLITE_DONE;
    if (!ok) noteFailure(r);
    sqlite3_reset(s);
    return ok;
}

void rollback(Record& r)
{
    if (!sqlite3_get_autocommit(r.db)) sqlite3_exec(r.db, "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace

void writeSql_stepTime(FlowmirState* fms)
{
    if (!fms->sqlDb || !(fms->pfsql || fms->zfsql || fms->zcsql)) return;
    Record r = {fms->sqlDb, 0, 0, ""};
    if (!run(r, fms->stmtBegin)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "SQLite3 record of day %d, time %d not written: %s",
               fms->dayofy, fms->stepEndTime, r.why);
        resfile_failed(fms->sqlRes);
        return;
    }

    sqlite3_stmt* s = fms->stmtTime;
    sqlite3_bind_int(s, 1, fms->dayofy);
    sqlite3_bind_int(s, 2, fms->dayType);
    sqlite3_bind_int(s, 3, fms->stepEndTime);
    insertRow(r, s);
    if (r.failed) {
        // Without its own TIME row the record has no id to file its rows under.
        rollback(r);
        errorf(fms, ERROR, __FILE__, __LINE__,
               "SQLite3 TIME row of day %d, time %d not written, record left out: %s", fms->dayofy,
               fms->stepEndTime, r.why);
        resfile_failed(fms->sqlRes);
        return;
    }
    r.timeId = sqlite3_last_insert_rowid(r.db);

    ambientRow(fms, r);
    if (fms->zcsql) nodeRows(fms, r, true);
    if (fms->zfsql) nodeRows(fms, r, false);
    if (fms->pfsql) linkRows(fms, r);
    if (!run(r, fms->stmtEnd)) rollback(r);
    if (r.failed) {
        errorf(fms, ERROR, __FILE__, __LINE__, "SQLite3 record of day %d, time %d not completely written: %s",
               fms->dayofy, fms->stepEndTime, r.why);
        resfile_failed(fms->sqlRes);
    }
}
