// Building tests and duct balancing: the special analyses that replace the time loop.
//
// The building airflow test (afsim 3) reports where each zone's air comes from and how much of
// it is outdoor air; the pressurization test (afsim 4) holds the conditioned building at the
// test pressure and reports the envelope leakage; both write "<project>.val". Duct balancing
// (afsim 2) sets the terminal dampers so that every balanced terminal delivers its design flow
// and writes "<project>.bal".
#ifndef FLOWMIR_BLDGTEST_BLDGTEST_H
#define FLOWMIR_BLDGTEST_BLDGTEST_H

#include <cstdio>

#include "engine/state.h"

struct AirNode;
struct AirLink;
struct AfeFan;

// --- the building tests ---

// Zone classes of the reports: ambient, system, unconditioned, conditioned; junctions.
enum { BT_AMBT = 'A', BT_SYS = 'S', BT_UNCOND = 'U', BT_COND = 'C', BT_JCT = 'J', BT_TERM = 'T' };
char bt_class(FlowmirState* fms, const AirNode* n);

// Volumes of the building by class, m3.
struct BtVolumes {
    double cond;    // conditioned zones
    double ducts;   // junctions and system zones
    double uncond;  // unconditioned zones
    int missing;    // zones other than the ambient without a volume
};
// Sums the volumes; every node's zone or junction number is checked (FATAL when out of range).
void bt_volumes(FlowmirState* fms, BtVolumes* v);
// Opens "<project>.val" for writing; FATAL when it cannot be opened.
FILE* bt_open_val(FlowmirState* fms);
// Flushes a report; one that could not be written fails the run instead of being completed.
void bt_report_flush(FlowmirState* fms, FILE* fp);

// The flow table of the airflow test: 22 values per zone number 0..nzone.
enum {
    FT_FMTERM, FT_FMLEAK, FT_FMAHS, FT_FMFAN, FT_FMCZONE, FT_FMUZONE, FT_FMAMBT,
    FT_TOTERM, FT_TOLEAK, FT_TOAHS, FT_TOFAN, FT_TOCZONE, FT_TOUZONE, FT_TOAMBT,
    FT_OATERM, FT_OALEAK, FT_OAAHS, FT_OAFAN,
    FT_VOL, FT_TEMP, FT_DENS, FT_PGAGE,
    FT_NCOLS
};
typedef double FlowRow[FT_NCOLS];

// Fills the table from the current flows and node states (rows 0..nzone, cleared first).
void bt_flow_table(FlowmirState* fms, FlowRow* rows, const BtVolumes* v);
// The building's outdoor-air change rate, 1/h.
double bt_building_ach(FlowmirState* fms, const FlowRow* rows);
// The airflow test's report.
void bt_write_flow_report(FlowmirState* fms, FILE* fp, const FlowRow* rows, const BtVolumes* v, double ach);
// Reported time and day label: the time of day in daylight saving time when it is in effect.
void bt_report_time(FlowmirState* fms, char* time, char* day, int size);

// A link's flow through the envelope, kg/s: the second flow counts only for a two-opening door;
// with report, a second flow of any other element is an ERROR.
double bt_envelope_flow(FlowmirState* fms, const AirLink* l, int report);

// Before the equations are set up: the airflow test's tracer is outdoor air alone, so no
// source adds to it and no sink takes it up.
void bt_flow_prepare(FlowmirState* fms);

// Building airflow test (afsim 3) and building pressurization test (afsim 4).
void BldgFlow(FlowmirState* fms);
void BldgPres(FlowmirState* fms);

// --- duct balancing ---

// One fan and the balanced terminals it serves.
struct BalDat {
    BalDat* next;
    int n;              // terminals
    int mixed;          // supply and return terminals together
    AirLink* fan;       // the fan's duct link
    AirLink** pp;       // [0..n] the fan link, then the terminal links ("pp")
    float* sig;         // [0..n] fan control value, damper positions ("sig")
    double* Fd;         // [0..n] sum of the design flows, design flows ("Fd")
    double* AdFd;       // [0..n] 2 area^2 / Fdes^2 ("AdFd")
    const AfeFan* fanData;  // the curve of a "dct_fan" fan, else none
};

// Speed ratio at which the fan curve gives the pressure rise rise at the flow F and the density
// ratio h (ambient density / 1.2041); 0 when it lies beyond 1/128 .. 128.
float bal_speed_ratio(const AfeFan* fan, float F, float rise, float h);

// One balanced terminal on its way to its fan ("terminal").
struct BalTrace {
    BalTrace *prev, *next;
    AirLink* term;  // the terminal link
    AirLink* fan;   // the fan's duct link, none until found
    AirNode* at;    // the node the trace stands at
    int dir;        // +1 supply, -1 return
    int moves;
};

struct BalTraceList {
    BalTrace *head, *tail;
};

// Moves the active traces to their fans. Traces that end (at a fan, or at another terminal
// junction without one) leave the active list for the front of ended; the scratch records
// come from pool.
void bal_trace(FlowmirState* fms, MemBlock** pool, BalTraceList* active, BalTraceList* ended);

// Duct balancing (afsim 2).
void Balance(FlowmirState* fms);

#endif
