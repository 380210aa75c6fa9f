// The mass-fraction systems: one sparse linear system per species group (the non-trace
// species, which change the air's gas constant and mass balance and are solved first, and
// the trace species), their numbering and pattern, the evaluation of the transport
// coefficients from the step's flows, sources, sinks, filters and reactions, and the implicit
// (theta) and steady solutions.
#ifndef FLOWMIR_TRANSPORT_MFSYSTEM_H
#define FLOWMIR_TRANSPORT_MFSYSTEM_H

#include "engine/state.h"
#include "transport/sasn.h"

struct CseInstance;
struct CseSink;

struct MfSystem {
    int nvar;          // equations solved: variable zones, junctions and sinks
    int neq;           // with the constant-concentration zones, numbered last
    int nnz;           // stored entries: length of ija
    int* ija;          // [1..nnz] row-indexed pattern ("mfmem-ija")
    double* K;         // [1..nnz] transport coefficients of the current evaluation ("mfmem-K")
    double* A;         // [1..nnz] the system to solve ("mfmem-A")
    double* e;         // [1..neq] generation, kg/s ("mfmem-e")
    double* b;         // [1..neq] right-hand side ("mfmem-b")
    double* M;         // [1..neq] storage: air mass, sink capacity or surface area ("mfmem-M")
    double* x;         // [1..neq] mass fractions and sink values ("mfmem-x")
    double* ic;        // [1..neq] old-time part of the right-hand side ("mfmem-ic")
    float theta;
    SparseSolver solver;
    // The group: species [first, end), its instances and sinks.
    int first, end;
    int nonTrace;      // the group holds the non-trace species
    CseInstance* instances;
    CseSink* bls;
    CseSink* dvr;
    int nbls, ndvr;
    // Positions in K of each link's couplings, per link (1..nafpt) and species of the group:
    // row N column M, and row M column N.
    int* posNM;        // [1..nafpt * ns] ("mf-posNM")
    int* posMN;        // ("mf-posMN")
    const char* title; // "Contaminants", "Non-trace contaminants" or "Trace contaminants"
};

// Builds the systems the run's transport solver needs (the equation set-up of the run) and
// releases them.
void mf_systems_init(FlowmirState* fms);
void mf_systems_free(FlowmirState* fms);

// Numbering, pattern, storage and solver of one system; listed in the log.
void mf_mem_set(FlowmirState* fms, MfSystem* sys, CseSink* blsSinks, CseSink* dvrSinks, int firstSpecies,
                int endSpecies, int numberingFlag, float theta, int method, int maxIter, float tol, float floor,
                float relax);
void mf_mem_fre(FlowmirState* fms, MfSystem* sys);

// Evaluates K and e for the group.
void findPolMassRates(FlowmirState* fms, MfSystem* sys);
// The sources and sinks of the group into K and e (and, for non-trace species, the nodes'
// mass sources).
void findPolMassRates_cse_implicit(FlowmirState* fms, MfSystem* sys);

void init_Mfn(FlowmirState* fms, MfSystem* mfn);
void init_Mft(FlowmirState* fms, MfSystem* mft);
// One implicit solution of the step; newStep on the first call of a step.
void solve_Mfn(FlowmirState* fms, MfSystem* mfn, int newStep);
void solve_Mft(FlowmirState* fms, MfSystem* mft, int newStep);
// The steady-state solution of the group with the current flows.
void formXportEqns_steadyState(FlowmirState* fms, MfSystem* sys);
void solve_steady(FlowmirState* fms, MfSystem* sys);

// Node helpers.
void findAirNodeConcBases(FlowmirState* fms);   // air masses of nodes with a volume
void findAirNodeRs_nonTr(FlowmirState* fms);    // gas constants from the non-trace species
void findAirNodeCps_nonTr(FlowmirState* fms);   // heat capacities from the non-trace species
void normalizeAirNodeMfSums_nonTr(FlowmirState* fms);
void normalizeAirNodeMfSums_nonTr_check(FlowmirState* fms);
void makeAirNodeMfSumsUnity_nonTr(FlowmirState* fms);
void getNodeConcBases(FlowmirState* fms, MfSystem* sys);
void getNodeConcs(FlowmirState* fms, MfSystem* sys);
void setNodeConcs(FlowmirState* fms, MfSystem* sys);
// Raises the day's maxima of every node and species to the current mass fractions.
void noteMaxAirNodeConcs(FlowmirState* fms);

#endif
