// The CFD zone: its case file, grid, field arrays and reports.
//
// Array indices follow the solver's convention: 1..n+2 per direction, cells at 2..n+1 and a
// boundary layer at 1 and n+2. Cell numbers in the case file count cells from 1.
#ifndef FLOWMIR_CFD_CFD_H
#define FLOWMIR_CFD_CFD_H

#include <cstdio>
#include <cstring>
#include <ctime>

#include "engine/state.h"
#include "support/heap.h"

enum {
    CFD_MAXC = 5,      // contaminant fields
    CFD_NAME = 256,    // object names
    CFD_LINE = 1024,   // case-file line buffer, line end included
    CFD_TITLE = 4096,  // case title buffer
    CFD_VAR_VALUES = 6 // values per grid point in the ".var" file
};

// Faces a boundary object can occupy.
enum { CFD_WEST = 0, CFD_EAST, CFD_SOUTH, CFD_NORTH, CFD_BOTTOM, CFD_TOP };

// Opening types: flow-specified, pressure with power law, closed (an outlet's 3 is flow-specified).
enum { CFD_FLOW = 1, CFD_PRESSURE = 2, CFD_CLOSED = 3 };

// A cell range as array indices: i1, i2, j1, j2, k1, k2.
struct CfdRange {
    int lo[3], hi[3];
};

// An inlet or an outlet.
struct CfdOpening {
    char name[CFD_NAME];
    CfdRange lb;
    int face;               // CFD_WEST .. CFD_TOP
    int kind;               // negative: values from the ".UCD" file
    int type;               // CFD_FLOW, CFD_PRESSURE, CFD_CLOSED
    double u, v, w;         // m/s
    double mass;            // kg/s, positive into the zone: inlets positive, outlets negative
    double T;               // K
    double P;               // Pa, boundary pressure of a pressure-type opening
    double coe, expn;       // power law
    double area;            // m2, open area from the face range
    double c[CFD_MAXC + 1]; // [1..5] mass fractions, kg/kg
    // Results of the last solution, for the reports and the coupling.
    double pmean;               // Pa, area-weighted pressure of the cells behind the opening
    double cout[CFD_MAXC + 1];  // [1..5] mass fraction carried through the opening, kg/kg
    double cflow[CFD_MAXC + 1]; // [1..5] contaminant flow, kg/s, positive into the zone
};

struct CfdBlock {
    char name[CFD_NAME];
    CfdRange ib;
    int flag;                     // negative: values from the ".UCD" file
    double hsou;                  // W
    double csou[CFD_MAXC + 1];    // [1..5] kg/s
    double csoucut[CFD_MAXC + 1]; // [1..5] cut-off values
};

// A fixed-temperature (tnaw) or heat-flux (qnaw) wall patch.
struct CfdWall {
    CfdRange lb;
    int face;
    int ucd;                   // values from the ".UCD" file
    double tnaw;               // K
    double qnaw;               // W/m2
    double awq;                // m2, patch area
    double cnaw[CFD_MAXC + 1]; // [1..5] kg/s
    double cnawcut[CFD_MAXC + 1];
    int moving;    // a fixed-temperature patch that also carries a tangential velocity
    double vel[3]; // its velocity, m/s
};

// A results file of the zone: the stream and its record in the run's list.
struct CfdFile {
    ResFile* res;
    FILE* fp;
};

struct CfdRun {
    char base[RESFILE_PATH - 16]; // drive, directory, project name, "_", zone name
    int calls;                    // readings of the case file in this run
    int coupled;                  // the last reading was for the coupling
    int nc;                       // contaminant fields: min(5, species)

    // --- case ---
    char title[CFD_TITLE];
    double dt, tend; // CFD time step and end time, s
    double ctmCnvg;  // contaminant convergence factor
    int ctmItmax;
    int outInterval; // field output every so many steps
    int energy;      // the energy equation is solved
    double tol;      // flow convergence tolerance
    int itmax;
    int laminar, turbModel;
    double Lx, Ly, Lz;
    int ni, nj, nk;
    int nin, nout, nbl, ntw, nqw;
    CfdOpening *in, *out;                   // [1..nin], [1..nout]
    CfdBlock* bl;                           // [1..nbl]
    CfdWall *tw, *qw;                       // [1..ntw], [1..nqw]
    int capIn, capOut, capBl, capTw, capQw; // allocated lengths
    int scheme[5];                          // U, V, W, T, contaminants
    double T0, Tref, beta;                  // K, K, 1/K
    double bound[8];                        // Umin, Umax, Vmin, Vmax, Wmin, Wmax, Tmin, Tmax (T in K)
    double relax[8];                        // U, V, W, P, T, 1, 1, contaminants
    double fts[7];                          // false time steps: U, V, W, T, 1e30, 1e30, contaminants
    int ftsMode, ftsSwitch;
    double fts2[7]; // second set
    int printInterval;
    int mon[3];    // monitor cell
    int pref[3];   // pressure reference cell
    int rep[2][3]; // report ranges of I and J: first, last, step
    int nsl[3];    // x, y, z slices
    int* sl[3];    // [1..nsl] slice cells
    int capSl[3];
    int restart, ewc;
    double ewcRef;
    double rho, nu, cp, Pr;
    double g;
    int hasPressure;       // an opening is of the pressure type
    double pbMin;          // lowest boundary pressure among them
    double zoneT, zoneRho; // the CFD zone's state, set by the coupling before reading
    FILE* caseFp;          // the open case file
    int line;              // its current line, for messages

    // --- grid ---
    double *DELX, *DELY, *DELZ, *XF, *YF, *ZF, *X, *Y, *Z, *DELXC, *DELYC, *DELZC;
    double **AREX, **AREY, **AREZ;
    double*** VOL;
    int ***ICELL, ***OBJECTNM;

    // --- fields ---
    // U, V, W are staggered: U[i][j][k] lies on the west face of cell i (x = XF[i - 1]), V on
    // the south face, W on the bottom face. UP, VP, WP and VTT are cell-centre values.
    double ***U, ***V, ***W, ***P, ***PP, ***T, ***VIS, ***UP, ***VP, ***WP, ***VTT;
    double ***UOLD, ***VOLD, ***WOLD, ***POLD, ***TOLD, ***US, ***VS, ***WS, ***TS;
    double ***AE, ***AW, ***AN, ***AS, ***AT, ***AB, ***AP, ***BS, ***SP, ***DX, ***DY, ***DZ;
    double ***STORE, ***psaved;
    double*** C[CFD_MAXC + 1]; // [1..nc]
    double*** COLD[CFD_MAXC + 1];
    double *a, *b, *c, *d; // line solver, [1..max(ni, nj, nk) + 2]
    int allocated;

    // --- solver ---
    // Set by the caller before flow(): steady solution or one implicit step per call; what the
    // call solves; the coupling's restart pass (the fields come from the ".var" file).
    int cfdSteady;
    int runFlow, runCtm;
    int restartPass;
    int solved;                 // calls of the solver in this run
    int flowSolutions;          // flow solutions iterated in this run (not a restart's reading)
    int ctmSolutions;           // contaminant solutions in this run
    double rc, rcRef;           // continuity residual and its reference
    double res[4], resRef[4];   // U, V, W, T equation residuals and their references
    double ctmRef[CFD_MAXC + 1];
    double ftsNow[7];           // false time steps in use
    int flip;                   // direction of the next line sweep
    double*** opencoe;          // per boundary-layer cell of an opening: face conductance
    double*** opencoesv;
    double pz;                  // Pa, pressure at the reference cell (or the lowest boundary pressure)
    struct CfdMg* mg;           // multigrid levels, or none
    int timing;                 // measure the processor time of each equation into cpu
    double cpu[6];              // s: U, V, W, pressure correction, energy, viscosity

    // --- results ---
    double time;                // CFD time, s
    int iter;                   // iterations of the last solution
    clock_t clock0;             // processor time when the solver started
    double ctmIn[CFD_MAXC + 1]; // total contaminant input of the last contaminant report
    int datHeader;              // the ".dat" header and labels are written
    int outHeader;              // the ".out" head is written
    CfdFile bal, ret, dat, monf, var, ewcf, outf;
};

// cfd_state.cpp: the record, its arrays and the initial fields.
CfdRun* cfd_run(FlowmirState* fms);
void cfd_alloc(FlowmirState* fms);
void cfd_init_fields(FlowmirState* fms);
void cfd_free(FlowmirState* fms);

// cfd_grid.cpp
void cfd_grid(FlowmirState* fms);
void cfd_mark_cells(FlowmirState* fms);

// cfd_lines.cpp: the case file's line reader; what names the expected value in messages.
void cfd_skip(FlowmirState* fms, int n);
void cfd_line(FlowmirState* fms, char* out, size_t size, const char* what);
void cfd_title(FlowmirState* fms, char* out, size_t size);
int cfd_try_int(FlowmirState* fms, int* value);
int cfd_int(FlowmirState* fms, const char* what);
double cfd_real(FlowmirState* fms, const char* what);
int cfd_opt_comma(FlowmirState* fms);
void cfd_comma(FlowmirState* fms, const char* what);
int cfd_char(FlowmirState* fms, const char* set, const char* what);

// cfd_read.cpp: reads the zone's case file (coupled: the zone's temperature and density in
// zoneT and zoneRho). Returns 1.
int input(FlowmirState* fms, int coupled);
// FATAL unless value > 0, and for a negative count.
void cfd_positive(FlowmirState* fms, double value, const char* what);
void cfd_not_negative(FlowmirState* fms, int count, const char* what);
// cfd_read_objects.cpp
void cfd_read_openings(FlowmirState* fms);
void cfd_read_objects(FlowmirState* fms);

// Records [1..n] reused from call to call: cleared, and grown when n exceeds the length held.
template <class T> void cfd_reserve(FlowmirState* fms, T*& v, int& cap, int n, const char* label)
{
    if (n <= cap) {
        if (v) memset(static_cast<void*>(&v[1]), 0, sizeof(T) * (size_t)cap);
        return;
    }
    fre_vt(fms, v, 1, cap);
    v = alc_vt<T>(fms, 1, n, label);
    cap = n;
}

// cfd_check.cpp: validation against the grid and derived values, after reading.
void cfd_check(FlowmirState* fms);
int cfd_face(const CfdRun* r, const CfdRange& q);
double cfd_face_area(const CfdRun* r, const CfdRange& q, int face);
// The opening of that name, for the coupling to overwrite; FATAL when none has it.
CfdOpening* cfd_opening(FlowmirState* fms, const char* name);

// cfd_files.cpp
void cfd_set_base(FlowmirState* fms, const char* zoneName);
void cfd_path(const CfdRun* r, const char* ext, char* out, size_t size);
FILE* cfd_open(FlowmirState* fms, CfdFile* f, const char* ext);
void cfd_flushed(FlowmirState* fms, CfdFile* f);
int cfd_bal(FlowmirState* fms, const char* format, ...) __attribute__((format(printf, 2, 3)));
int cfd_say(FlowmirState* fms, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Reports.
void cfd_ret_write(FlowmirState* fms);
void cfd_ret_ctm(FlowmirState* fms);
void cfd_dat_write(FlowmirState* fms, int seconds);
void cfd_dat_ctm(FlowmirState* fms, int seconds);
void cfd_mon_header(FlowmirState* fms, int steady);
void cfd_mon_flow(FlowmirState* fms, int seconds);
void cfd_mon_ctm(FlowmirState* fms, int seconds);
int makeewc(FlowmirState* fms);
void cfd_out_write(FlowmirState* fms);
void cfd_var_write(FlowmirState* fms);
int cfd_var_read(FlowmirState* fms, const char* path, int intoOld);

// The solver (cfd_flow.cpp and the files it calls). flow returns 0.
int flow(FlowmirState* fms, int coupled);
void storeflow(FlowmirState* fms);
void storectm(FlowmirState* fms);
double avePHI(FlowmirState* fms, double*** field, const CfdRange& region);
// The coupling's side of a coupled call: openings from the network before solving, and the
// openings' results back to it after.
void incfd(FlowmirState* fms);
void outcfd(FlowmirState* fms);

// cfd_entry.cpp
int cfd_uncoupled(FlowmirState* fms, const char* zoneName);

#endif
