// Sources and sinks of species: the element library (one small model per type), the instances
// that place an element in a zone under a schedule or control value, the boundary-layer and
// deposition sinks that carry a concentration of their own, and first-order kinetic reactions.
// Mass fractions (kg/kg) are the concentration unit; rates are kg/s.
#ifndef FLOWMIR_TRANSPORT_CSE_H
#define FLOWMIR_TRANSPORT_CSE_H

#include "engine/state.h"

struct AirNode;
struct CseInstance;

// Element types; the position in cse_keywords is the code.
enum CseType {
    CSE_CCF = 0,  // constant coefficients
    CSE_PRS,      // pressure driven
    CSE_CUT,      // cut-off concentration
    CSE_EDS,      // exponential decay
    CSE_BLS,      // boundary-layer sink (a sink record of its own)
    CSE_BRS,      // burst
    CSE_DVS,      // deposition velocity
    CSE_DRS,      // deposition rate
    CSE_DVR,      // deposition and resuspension (a sink record of its own)
    CSE_SUP,      // super element: a list of elements
    CSE_PLM,      // power-law decay
    CSE_PKM,      // peak (log-normal in time)
    CSE_SXD,      // single exponential decay, mg/h
    CSE_DXD,      // double exponential decay, mg/h
    CSE_NTYPES
};
extern const char* const cse_keywords[CSE_NTYPES + 1];

// Sets the instance's G and R for the current step.
typedef void (*CseModel)(FlowmirState* fms, CseInstance* css);

// Parameters by type, in file order.
struct CseCcf { float G0, R0; };
struct CsePrs { float C, n; };
struct CseCut { float G0, Ccut; };
struct CseEds { float G0, k; };
struct CseBls { float h, rhof, K, mass; };
struct CseBrs { float M; };
struct CseDvs { float vd, A; };
struct CseDrs { float k; };
struct CseDvr { float vd, r, A, f; };
struct CseSup { int n; int* nr; };             // element numbers ("supn")
struct CsePlm { float a, n, tmin; };
struct CsePkm { float Gp, rsigma, rtp; };      // 1/sigma and 1/tp
struct CseSxd { float a, k; };                 // mg/h, 1/h
struct CseDxd { float a1, k1, a2, k2; };

struct CseElement {
    void* data;     // the type's parameters
    CseModel model; // none for bls, dvr and sup
    int species;    // index in the species table; nctm when not simulated
    int nr;
    int type;       // CseType
    char name[16];
};

struct CseInstance {
    CseInstance* next;
    AirNode* zoneNode;
    void* cells[2];        // first and last cell of a one-dimensional zone covered
    CseElement* element;
    double G;              // kg/s, generation of the current step
    double R;              // kg/s per kg/kg, removal coefficient of the current step
    float* sched;          // scale: schedule value, control output or a constant 1
    float mult;
    float C0;              // initial sink concentration
    float loc[6];          // location box, as the project gives it
    int started, startTime, startDay;
    double G0;             // stored initial rate of a triggered model
    int nr, zoneNr;
    int wshNr, ctrlNr;     // schedule and control node, 0 none
    char cfdName[16];
    short valueKind;       // 0 none, 1 continuous, 2 discrete value file, 3 control and file
    char valueName[16];
    double genTotal, remTotal; // kg
};

// A boundary-layer sink or a deposition/resuspension surface.
struct CseSink {
    CseSink* next;
    AirNode* zoneNode;
    CseElement* element;
    float* sched;
    float mult;
    float capacity;  // boundary layer: mult x the sink mass per unit multiplier
    double Cs;       // the sink's concentration (boundary layer) or loading per area (surface)
    float loc[6];
    int species;
    int nr;
    int eqnZone, eqnSink; // equations in the mass-fraction system
    double a;        // uptake, kg/s per kg/kg of air
    double b;        // release, kg/s per unit of Cs
    double released, takenUp; // kg
};
typedef CseSink BlsSink;
typedef CseSink DvrSink;

// A first-order kinetic reaction: n terms d(prod)/dt += coef x M x Mf(src).
struct Reaction {
    int n;
    float* coef;   // 1/s ("coef")
    int* prod;     // product species ("prod")
    int* src;      // source species ("src")
    int nr;
};

// Section readers, in file order of the project.
int cselmt_read(FlowmirState* fms);   // "Source/Sink Element"
int kinetic_read(FlowmirState* fms);  // "Kinetic Reaction"
int css_read(FlowmirState* fms);      // "Source/Sink"
// Releases the element and reaction tables (the records stay with the run).
void cse_free_lists(FlowmirState* fms);

// Network preparation: binds instances to their zone nodes and distributes them into the
// lists the solvers visit. zoneNode[1..nzone] are the zone nodes.
void cse_setup(FlowmirState* fms, AirNode** zoneNode);

// The models.
void cse_ccf(FlowmirState* fms, CseInstance* css);
void cse_prs(FlowmirState* fms, CseInstance* css);
void cse_cut(FlowmirState* fms, CseInstance* css);
void cse_eds(FlowmirState* fms, CseInstance* css);
void cse_bls(FlowmirState* fms, CseInstance* css);
void cse_brs(FlowmirState* fms, CseInstance* css);
void cse_dvs(FlowmirState* fms, CseInstance* css);
void cse_drs(FlowmirState* fms, CseInstance* css);
void cse_dvr(FlowmirState* fms, CseInstance* css);
void cse_plm(FlowmirState* fms, CseInstance* css);
void cse_pkm(FlowmirState* fms, CseInstance* css);
void cse_sxd(FlowmirState* fms, CseInstance* css);
void cse_dxd(FlowmirState* fms, CseInstance* css);

// Uptake and release coefficients of the current step: a and b of the sink.
void bls_coefficients(FlowmirState* fms, BlsSink* s);
void dvr_coefficients(FlowmirState* fms, DvrSink* s);

// Accumulates the step's generated, removed, released and taken-up masses (dt seconds).
void sumCseGenRemoveMass(FlowmirState* fms, CseInstance* instances, BlsSink* blsSinks, DvrSink* dvrSinks,
                         float dt);

// The occupants' sources of the group: into the generation of the zones each occupant is in
// during the step, by the share of the step it spends there.
void findPolMassRates_occ(FlowmirState* fms, MfSystem* sys);
// Adds the mass the occupants' sources put into zones whose concentrations are solved.
void sumOccSourceMass(FlowmirState* fms);

// The final sink concentrations for the statistics report of the log.
void cse_sink_report(FlowmirState* fms);

#endif
