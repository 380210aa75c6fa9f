// The short-time-step transport method: every species is advanced one step without a global
// system. Well-mixed zones are updated one by one from their summed inflows and outflows; a
// one-dimensional zone is a row of cells along its axis solved by a tridiagonal system; duct
// networks are swept in flow order so that each junction has all of its inflows before it is
// mixed, and duct segments may carry fronts in cells (fixed cells or cells moving with the air).
#ifndef FLOWMIR_TRANSPORT_STS_H
#define FLOWMIR_TRANSPORT_STS_H

#include "engine/state.h"

struct AirNode;
struct AirLink;
struct CseInstance;
struct CseSink;
struct OccSource;

// What enters and leaves a well-mixed zone or a cell in one step.
struct StsAcc {
    double inflow, outflow; // kg/s
    double* massIn;         // [0..nctm-1] kg/s of each species entering
};

// One duct junction.
struct StsJunction {
    StsJunction* next;
    AirNode* node;
    int nIn;                // duct segments flowing into it in this step
    int nLeft;              // of those, not yet visited in the current sweep
    double inflow, outflow; // kg/s in this step: duct segments, terminals and leaks
    double heatIn;          // W/K: sum of |F| cp entering
    double heatTIn;         // W: sum of |F| cp T entering
    double* massIn;         // [0..nctm-1] kg/s ("sFMfJ")
    int kind;               // 0 plain junction, 1 with a terminal
    int net;                // duct network
    int nr;                 // junction number
    int mixed;              // mixed in the current sweep
};

// One cell of a duct segment's ring.
struct LagCell {
    LagCell *prev, *next;
    double x;   // m, centre from the segment's node-N end
    double len; // m
    double r;   // 1/m, reciprocal distance to the neighbour towards M
    double* Mf; // [0..nctm-1]
};

// The cells of one duct segment: a ring of n + 3 cells of which head..tail are active.
struct DuctCells {
    int n;          // interior cells
    double dx;      // m
    double L, A, D; // length, cross-section, hydraulic diameter
    LagCell* ring;  // [0..n+2] ("lagcell")
    LagCell *head, *tail;
    int lagDir;                  // 0 fixed cells; +1 or -1 cells moving towards M or N
    double *endN, *endM, *outMf; // [0..nctm-1] values seen at each end, outlet value
};

// One duct segment, relinked into flow order every step.
struct StsDuct {
    StsDuct* next;
    DuctCells* cells; // none without duct cells
    StsJunction *jctN, *jctM;
    AirLink* link;
    int nr;   // duct number
    double F; // kg/s of the step, positive from N to M
    int net;  // duct network of its first junction
};

// One cell of a one-dimensional zone.
struct CdCell {
    StsAcc acc;
    double* Mf;  // [0..nctm-1] ("MfC")
    double* Mfi; // [0..nctm-1] start of the step ("MfCi")
    double x;    // m, centre along the axis
    int k;       // 0..ncells-1
};

// A one-dimensional convection-diffusion zone.
struct CdZone {
    CdZone* next;
    AirNode* node;
    int nr;             // zone number
    float p1[3], p2[3]; // end points: x, y, height above the level, m
    double start[3];    // first end point with absolute height
    double axis[3];     // unit vector from the first to the second end point
    double l;           // m
    int ncells;
    double dx, rdx, rncells;
    double rA;     // 1/cross-section, 1/m2
    double Dax;    // axial diffusion, m2/s
    double cond;   // Dax / dx, m/s
    CdCell* cells; // [0..ncells-1] ("cdcVec")
};

// Where a link end takes and puts what it carries.
struct StsLinkEnd {
    StsAcc* acc;         // the variable zone or cell, or none
    const double* oldMf; // what leaves it: the start-of-step values
    const double* newMf; // its values once the zones are advanced
    CdCell* cell;        // the cell of a one-dimensional zone, or none
};

struct StsLink {
    StsLinkEnd N, M;
    StsJunction* jct; // terminals and leaks: the junction (node N)
};

// Cells a source or sink covers: from first to last.
struct StsSpan {
    CdCell* first;
    CdCell* last;
};

struct StsRun {
    StsJunction* junctions; // junction order
    int njct;
    StsDuct* ducts; // flow order of the previous step
    int ndct;
    int nterm, nleak, npath;
    int ductCells; // duct segments carry cells
    int nDuctCells;
    AirNode** zones; // [1..nZones] ("Znode")
    int nZones;
    StsAcc* acc;          // [1..nafnd] per node ("sFMfZ")
    StsJunction** jctOf;  // [1..nafnd] junction record of a junction node
    CdZone** cdzOf;       // [1..nafnd] one-dimensional record of a zone node
    const double** oldOf; // [1..nafnd] start-of-step mass fractions
    StsLink* links;       // [1..nafpt]
    CdZone* cdzones;      // node order
    int nCdz, nCells;
    StsSpan* cssSpan; // [1..ncss] regular instances in list order
    StsSpan* blsSpan; // [1..nbls] boundary-layer sinks in list order
    StsSpan* dvrSpan; // [1..ndvr] deposition surfaces in list order
    int ncssL, nblsL, ndvrL;
    // work space
    double *ta, *tb, *tc, *td, *tx; // [0..maxCells] tridiagonal system
    double *rxA, *rxB;              // [nctm*nctm], [nctm] reaction system
    double* flux;                   // [0..nctm-1]
};

// Network assembly: the junction, duct and one-dimensional zone records of a run with the
// short-time-step method. zoneNode[1..nzone], jctNode[1..njct], jctNet[1..njct].
void sts_network(FlowmirState* fms, AirNode** zoneNode, AirNode** jctNode, const int* jctNet);
// Builds every structure of the method once the network and its matrices exist.
void STSinit(FlowmirState* fms);
// Advances one step: sources, airflow, stability, zones, duct networks, heat.
void solve_STS(FlowmirState* fms);
// The results bookkeeping of a step solved by solve_STS.
void sts_step_results(FlowmirState* fms);
// Source and sink terms of the current state into the zone and cell accumulators.
void findPolMassRates_cse_sts(FlowmirState* fms, CseInstance* instances, CseSink* blsSinks, CseSink* dvrSinks,
                              OccSource* occupants);
// Forgets the one-dimensional structures (their memory goes with the run's records).
void fre_1DCD(FlowmirState* fms);

// Duct sequencing: the ducts relinked in flow order (every junction's inflows before its
// outflows); a circulation without order is broken at its weakest link.
StsDuct* LinkSeq(FlowmirState* fms, StsDuct* ducts);
// Carries the air temperature through the ordered duct network.
void LinkTSim(FlowmirState* fms, StsDuct* ducts);
// The junction a segment's flow leaves and the one it enters; none for no flow.
StsJunction* sts_upstream(const StsDuct* d);
StsJunction* sts_downstream(const StsDuct* d);

// Duct cells: set-up of one segment, and one step of it with upstream values up.
void sts_duct_cells_init(FlowmirState* fms, StsDuct* d, const double* upMf);
void sts_duct_step(FlowmirState* fms, StsDuct* d, const double* up);

// One-dimensional zones: the cell of a point, the solution of one zone.
CdCell* sts_cell_of(FlowmirState* fms, CdZone* z, const double p[3], const char* kind, int item);
void CDZsim(FlowmirState* fms, CdZone* z);

// Tridiagonal solution of a[i] x[i-1] + b[i] x[i] + c[i] x[i+1] = d[i], i = 0..n-1; false on a
// zero pivot. b and d are overwritten.
bool sts_tridiag(int n, const double* a, double* b, const double* c, double* d, double* x);

#endif
