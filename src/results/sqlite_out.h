// The results database "<project>.sqlite3": the records of the ".sim" step listing (start of the
// run, listing times, time 0 of each new day, the steady state) as SQLite tables, one
// transaction per record. The run-control switches pfsql (link flows), zfsql (node
// temperatures, pressures, densities) and zcsql (node mass fractions) select the tables; with
// none set no database is written.
//
// Like every results file the database is written under its temporary name ("....part") and
// renamed into place when the run completes, so a failed run leaves an earlier database alone.
#ifndef FLOWMIR_RESULTS_SQLITE_OUT_H
#define FLOWMIR_RESULTS_SQLITE_OUT_H

#include "engine/state.h"

// Opens the database, creates its tables and prepares the insert statements.
void set_usql_open(FlowmirState* fms);
// Closes the database (when open); remove: this run's database is dropped and a database of an
// earlier run is deleted when the run completes (a stale one when the switches are off).
void set_usql_close(FlowmirState* fms, int remove);

// The three steps of the opening; each does nothing when no switch is set. A failure is FATAL.
void sqliteOpenDatabase(FlowmirState* fms);
void sqliteAddTables(FlowmirState* fms);
void sqliteCreatePreparedStatements(FlowmirState* fms);
// Finalizes the statements and closes the connection, whatever the switches; the file stays.
extern "C" void sqliteCloseDatabase(FlowmirState* fms);

// One record for the current state: its TIME row, the ambient row and the selected node and
// link rows. A row that cannot be written is an ERROR and the database is not kept.
void writeSql_stepTime(FlowmirState* fms);

#endif
