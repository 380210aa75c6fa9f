// The coupling of a CFD zone to the multizone network: every path that touches the zone is an
// opening of the CFD case; boundary pressures and flows go to the CFD solver, its opening flows
// and pressures come back as the pressures the airflow solution uses, and the CFD's contaminant
// flows become sources of the neighbouring nodes. The record lives from getcpl to cpl_free.
#ifndef FLOWMIR_CFD_CPL_H
#define FLOWMIR_CFD_CPL_H

#include <cstdint>
#include <cstdio>

#include "cfd/cfd.h"
#include "network/airnet.h"

struct MfSystem;

// Coupling kinds of a path: pressures exchanged both ways, or flows given to the CFD only.
enum { CPL_PRESSURE = 1, CPL_FLOW = 6 };
enum { CPL_KEY = 16 }; // CFD keys: up to 15 characters

// One path with the CFD zone at either end ("cplpp").
struct CplPath {
    CplPath* next;
    AirLink* link;
    int nr;              // path number
    char name[CPL_KEY];  // its CFD key: the name of its opening in the CFD case
    int data[3];         // the path's two CFD option values and its coupling kind
    int kind;            // CPL_PRESSURE or CPL_FLOW
    AirNode* other;      // node on the far side
    int cfdIsN;          // the CFD zone is the link's first node
    float hOther, hCfd;  // m, opening height above the far node and above the CFD zone
    double flow, dP, Pw; // kg/s, Pa, Pa: the multizone path's flow, pressure drop, wind
    int outlet;          // 1 when air leaves the CFD zone through the path
    int cfdOut;          // 1 when the CFD saw air leave through the opening
    double coe, expn;    // power law given to the CFD
    double m, mPrev;     // kg/s, signed flow into the CFD zone of this and the last pass
    double Pbc;          // Pa, boundary pressure given to the CFD (its pressure scale)
    double mCfd, PL;     // kg/s, Pa: CFD flow into the zone and pressure at the opening
    int haveCfd;         // the CFD has solved with this opening
    int matched;         // the case reading that last gave its opening values
    double scale;        // |mCfd / coe| times the path's multiplier; 0 for a closed path
    // Per coupling pass 1..passes + 1.
    double *pcomputed, *pused, *mbefore, *mafter, *Plocal, *Plocal1, *ctmcoe, *ctmexp, *cfdetp;
    // Per coupled contaminant 1..nc: previous and latest CFD mass fraction at the opening.
    double *Crate1, *Crate2;
    // From the coupling restart file: the opening's first boundary values.
    int rstOutlet;
    double rstPbc, rstCoe, rstExp;
};

// The CFD zone ("cfdzone").
struct CplZone {
    AirNode* node;
    int nr;           // zone number
    double T, P, rho; // copied from the node before each pass
    float V;
    float hgt;       // m, elevation
    uint32_t flags0; // node flags the equations were numbered with
    int nin, nout;   // openings of the last pass
    CplPath* paths;
    int npath;
    CfdFile cmo; // coupling report; the monitor series is the CFD's own
};

struct CplState {
    int mode; // 1, 2 or 3 (a restarted mode 3 runs as 2)
    int nzone;
    CplZone* zone;  // [1..nzone]
    double rhoRef;  // "refzone": density of the reference for the CFD pressure scale
    int passes;     // coupling passes allowed: the run control's maximum in mode 3, else 1
    long* cfdniter; // [0..passes + 1] CFD iterations of each pass's run
    int it;         // coupling iteration counter
    int runAgain;
    int converged;   // the airflow coupling agreed within the tolerance
    int done;        // the airflow coupling of this solution is complete
    int ctmOn;       // contaminant coupling wanted (a contaminant simulation is run)
    int ctmActive;   // ... and started
    int ctmIt;       // contaminant-coupling iterations of this solution
    int nc;          // coupled contaminants
    int k;           // pass whose CFD run is under way (index of the per-pass arrays)
    int restartRead; // the coupling restart file supplied the first boundary values
    int restartPending;
    CfdFile cpr;               // coupling restart being written, or none
    double cmon[CFD_MAXC + 1]; // monitored concentrations
    int monHeader;             // the monitor series has its head
};

// cpl_setup.cpp
void getcpl(FlowmirState* fms);
void decpl(FlowmirState* fms, int value);
void cpl_free(FlowmirState* fms);
void cpl_set_flags(AirNode* n, uint32_t flags0, int value);
// cpl_loop.cpp
int cplloop(FlowmirState* fms);
void cpl_run_cfd(FlowmirState* fms, int runFlow, int runCtm);
void cpl_mon_header(FlowmirState* fms);
// 1 when the paths' flows changed by no more than the tolerance since the last pass.
int cpl_agree(FlowmirState* fms, CplState* c);
// cpl_exchange.cpp
int innimbal_loc(FlowmirState* fms, AirLink* link, double* out1, double* out2);
double cpl_column(FlowmirState* fms, const AirNode* n, float dH);
double cpl_ref_column(FlowmirState* fms, const AirLink* l);
double cpl_boundary_pressure(FlowmirState* fms, const CplPath* p);
// cpl_ctm.cpp
int comctm(FlowmirState* fms);
int inctmctm(FlowmirState* fms, MfSystem* sys, int apply);
void setCmon(FlowmirState* fms, int mode);
// cpl_files.cpp
void cpl_report_pass(FlowmirState* fms);
void cpl_report_converged(FlowmirState* fms);
void cpl_report_ctm(FlowmirState* fms);
void cpl_restart_open(FlowmirState* fms);
void cpl_restart_write(FlowmirState* fms);
void cpl_restart_read(FlowmirState* fms);

#endif
