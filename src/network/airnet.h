// The airflow network: air nodes, airflow links, duct segment records, and the airflow
// matrix record that numbers and stores the Jacobian.
#ifndef FLOWMIR_NETWORK_AIRNET_H
#define FLOWMIR_NETWORK_AIRNET_H

#include <cstdint>

#include "engine/state.h"

struct Afe;
struct Wpf;
struct Level;
struct SparseLdl;

// Node flag bits.
enum {
    NF_VARP = 0x01,     // pressure solved
    NF_MASSFRAC = 0x02, // mass fractions solved
    NF_AHS = 0x08,      // supply or return node of an air-handling system
    NF_UNCOND = 0x10,   // unconditioned space; the ambient always
    NF_VOLUME = 0x20,   // V > 0
    NF_STORAGE = 0x40,  // air-mass storage in its equation
    NF_ISOLATED = 0x100 // holds NF_VARP while the assembly treats the node as isolated
};

// Link flag bits.
enum {
    LF_WIND = 0x01,
    LF_AHS = 0x08,
    LF_AHR = 0x10,
    LF_AHO = 0x20,
    LF_AHX = 0x40,
    LF_NOOFFD = 0x200, // adds no off-diagonal matrix entry
    LF_LEAK = 0x400,   // duct leak
    LF_NUMDRV = 0x800  // numerical derivative
};

// Structure types of nodes and links.
enum { NODE_ZONE = 0, NODE_JCT = 1, NODE_TERM = 2 };
enum { LINK_PATH = 0, LINK_DUCT = 1, LINK_TERM = 2, LINK_LEAK = 3 };

// The fields every Newton iteration walks come first, so that the walks over nodes and links
// touch one or two cache lines of each record.
struct AirNode {
    AirNode* next;
    uint32_t flags;
    int32_t eqn;     // diagonal position and equation number in the airflow matrix
    double P;        // Pa, relative to the barometric pressure
    double P0;       // pressure before the current Newton step
    double resid;    // mass balance residual, kg/s
    double sumF;     // sum of the flow magnitudes, kg/s
    double rho;      // kg/m3
    float sqrho;     // sqrt(rho)
    float mu;        // Pa s
    float rhomu;     // rho/mu, s/m2
    float Fmin;      // flow scale of the convergence test, kg/s
    // Density and viscosity correction of the flow models, fixed between density updates:
    // log(rhomu NU0), log(RHO0/rho) and the factors already formed from them by (exponent,
    // form) of power laws, and for duct leaks (kLeak, 0 until formed).
    double lnRhoMu, lnRhoRatio;
    mutable struct {
        float expt;
        int32_t form;  // -1 empty
        double k;
    } corr[2];
    mutable double kLeak;
    mutable int32_t corrNext;
    float V;         // m3
    double T;        // K
    double R;        // gas constant, J/(kg K)
    double src;      // mass source, kg/s
    double M, M0;    // air mass now and at the step start, kg
    double dMdt;     // storage term, kg/s
    int32_t* mfEqn;  // per species, equation in the mass-fraction system
    void* rxn;       // kinetic reaction, or none
    float* tctl;     // temperature control or schedule value, or none
    float hgt;       // m
    float cp;        // J/(kg K)
    float Pgage;     // Pa, relative to the ambient at the same height
    float ahsFlow;   // outdoor-air (supply) or exhaust (return) flow of a system, kg/s
    Level* level;    // the level the height refers to
    AirNode* inZoneNode; // for a junction inside a zone: that zone's node
    int32_t nr;      // 1..nafnd
    int32_t inZone;
    int32_t styp;    // NODE_
    int32_t s_nr;    // zone or junction number
    char name[32];
    int32_t isCfd;
    double* Mf;      // per species mass fractions, kg/kg
    float Pgmax, Pgmin; // extremes of Pgage in the day, Pa
    float occ;       // zone occupancy of the current step: occupants present
};

// Duct segment data of duct, leak and terminal links.
struct DuctSeg {
    float len;        // m
    float area, area2; // m2
    float sumC;       // sum of dynamic loss coefficients
    float Cleak;      // leakage coefficient, m3/(s Pa^0.65)
    float Clin;       // laminar coefficient of the linear initialisation
    // Darcy-Weisbach transition data
    float LD;         // len/D
    float Xlam, Xturb, c3, c2;
    float g;          // last 1/sqrt(f)
    float Re;         // last Reynolds number in the transition range
};

struct AirLink {
    AirLink* next;
    uint32_t flags;
    int32_t offd;    // position of the off-diagonal entry, 0 none
    AirNode* nodeN;
    AirNode* nodeM;  // flow is positive from N to M
    Afe* elem;
    float* windP;    // wind pressure, Pa (a constant 0 off the envelope)
    double dPs;      // stack term, Pa
    double dP;       // Pa
    double Flow[2];  // kg/s
    double dFdP;     // kg/(s Pa)
    float* ctrl;     // control value (1.0 when none)
    double mult;
    DuctSeg* dd;
    float Ftot;      // Flow[0] + Flow[1]
    float lastX;
    int32_t lastSeg;
    void* filter;
    Wpf* windProf;
    double* srcN;    // concentrations carried by a flow from N
    double* srcM;    // ... from M
    float Z;         // m, absolute height of the path or terminal
    float dHn, dHm;  // m, height above node N and above node M
    float dH;        // m, rise of a duct segment
    float windMod, azimuth, windConst;
    float designFlow;
    int32_t locIdx;
    int32_t envIdx;
    int32_t nr;      // 1..nafpt
    int32_t styp;    // LINK_
    int32_t s_nr;    // path, duct or junction number
    int32_t envDir;
    float x, y;      // m, plan position of a path or terminal opening
    double dP0;      // pressure difference before the current Newton step
    float dPmax;     // largest |dP| of the day, Pa
    float Fmax;      // largest flow magnitude of the day, kg/s
    // A path's CFD key and its three values, for the CFD coupling (the path records are gone
    // when the coupling is set up), and its coupling record once set up.
    int32_t cfd;
    char cfdKey[16];
    int32_t cfdData[3];
    struct CplPath* cplp;
};

// Skyline storage of the first n equations.
struct Skyline {
    int n;
    int sym;
    int* lal;     // [1..n] lower profile of row i
    int* ial;     // [1..n+1] start of row i's entries in al
    double* al;   // lower entries in column order
    double* ad;   // [1..n] diagonal (inverse after factorisation)
    int* lau;     // [1..n] upper profile of column j (unsymmetric)
    int* iau;
    double* au;
    int nal, nau;
};

// Conjugate-gradient split of a symmetric row-indexed matrix.
struct PcgData {
    int n;
    int *iu, *ju, *il, *jl;
    double *ad, *au, *al;
    int *utol, *atou;
    double* t1;
    int *j1, *j2;
    int nu;
    double *p, *pp, *r, *rr, *z, *zz;
};

// The airflow matrix record.
struct AfMat {
    int neq;       // equations: all nodes
    int nvar;      // variable-pressure equations n
    int nsa;       // length of sa
    int method;    // 0 under-relaxation, 1 trust region, -1 nothing to solve
    int itmax;
    float abscnvg, relcnvg, relax;
    int sym;
    int slae;      // 0 skyline, 1 PCG, 2 dense
    int pcgItmax;
    float pcgCnvg;
    int* ija;      // [1..nsa]
    double* sa;    // [1..nsa]
    double* b;     // [1..neq]
    double* x;     // [1..neq]
    Skyline* sky;
    SparseLdl* ldl;  // the skyline method's sparse L D L' factorisation, when it is cheaper
    double skyOps, ldlOps; // multiply-adds of one factorisation by each
    PcgData* pcg;
    double** aa;   // [1..n][1..n]
};

#endif
