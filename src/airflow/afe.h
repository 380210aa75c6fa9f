// Airflow elements: the element record, its type codes and the data record of each family.
#ifndef FLOWMIR_AIRFLOW_AFE_H
#define FLOWMIR_AIRFLOW_AFE_H

#include <cstdint>

#include "engine/state.h"

struct AirLink;

// A flow model turns the link's dP into Flow[0] (and Flow[1]) and dFdP; returns the flow count.
typedef int (*AfeModel)(FlowmirState* fms, AirLink* link);

// Type codes: the position of the keyword in the element keyword table.
enum AfeCode {
    AFE_PLR_ORFC = 0,
    AFE_PLR_LEAK1 = 1,
    AFE_PLR_LEAK2 = 2,
    AFE_PLR_LEAK3 = 3,
    AFE_PLR_CONN = 4,
    AFE_PLR_QCN = 5,
    AFE_PLR_FCN = 6,
    AFE_PLR_TEST1 = 7,
    AFE_PLR_TEST2 = 8,
    AFE_PLR_CRACK = 9,
    AFE_PLR_STAIR = 10,
    AFE_PLR_SHAFT = 11,
    AFE_PLR_BDQ = 12,
    AFE_PLR_BDF = 13,
    AFE_SRV_JWA = 14,
    AFE_QFR_QAB = 15,
    AFE_QFR_FAB = 16,
    AFE_QFR_CRACK = 17,
    AFE_QFR_TEST2 = 18,
    AFE_DOR_DOOR = 19,
    AFE_DOR_PL2 = 20,
    AFE_FAN_CMF = 21,
    AFE_FAN_CVF = 22,
    AFE_FAN_FAN = 23,
    AFE_CSF_FSP = 24,
    AFE_CSF_QSP = 25,
    AFE_CSF_PSF = 26,
    AFE_CSF_PSQ = 27,
    AFE_SUP_AFE = 28,
    AFE_DCT_DWC = 29,
    AFE_DCT_PLR = 30,
    AFE_DCT_FCN = 31,
    AFE_DCT_QCN = 32,
    AFE_DCT_FAN = 33,
    AFE_DCT_CMF = 34,
    AFE_DCT_CVF = 35,
    AFE_DCT_BDQ = 36,
    AFE_DCT_BDF = 37,
    AFE_DCT_FSP = 38,
    AFE_DCT_QSP = 39,
    AFE_DCT_PSF = 40,
    AFE_DCT_PSQ = 41,
    AFE_AHS_SR = 42,
    AFE_AHS_XOR = 43,
    AFE_D_LEAK = 44,
    AFE_D_TERM = 45,
    AFE_NCODES = 46,    // also the code of a keyword not in the table
    AFE_LAST_FILE = 41, // codes above this never come from a project file
};

// The element record, one per element of either list.
struct Afe {
    void* data;     // family data record below, or none
    AfeModel model; // flow model, none until the models are bound
    int32_t nr;     // position in its list
    int32_t type;   // AfeCode
    char name[16];
};

// --- Family data records.  All reals are single precision as read. ---

// Power law: codes 0-11 and the first part of 20, 30, 31, 32.
struct AfePlr {
    float lam;  // laminar coefficient, m^3
    float turb; // turbulent coefficient
    float expt; // flow exponent
};

// Backdraft damper (bidirectional power law): codes 12, 13.
struct AfeBid {
    float lam;
    float turbp, exptp; // dP > 0
    float turbn, exptn; // dP < 0
};

// Self-regulating vent: code 14.
struct AfeJwa {
    float vmax; // m^3/s
    float pref; // Pa
    float rrev; // reverse-flow ratio
};

// Quadratic law dP = a*Q + b*Q^2: codes 15-18.
struct AfeQfr {
    float a;
    float b;
};

// Large two-way opening: code 19.
struct AfeDor {
    float lam, turb, expt;
    float ht; // height, m
    float wd; // width, m
    float cd; // discharge coefficient
};

// Two-opening door: code 20.
struct AfePl2 {
    float lam, turb, expt;
    float dHopen; // from mid-height to each opening, m
    float spare;  // kept for the file layout
};

// Constant mass (kg/s) or volume (m^3/s) flow: codes 21, 22.
struct AfeCnf {
    float flowRate;
};

// Fan with a performance curve: code 23.
struct AfeFan {
    float lam, turb, expt; // the leak when the fan is off
    float rdens;           // density at which the curve holds, kg/m^3
    float fdf;             // flow for the linear initialisation
    float sop;             // pressure for the linear initialisation
    float off;             // lowest control value at which the fan runs
    float a0, a1, a2, a3;  // curve coefficients
};

// One point of a spline curve and the segment that starts there.
struct CsfPoint {
    double x, y; // the point
    double b;    // slope at x
    double c;    // quadratic coefficient
    double d;    // cubic coefficient
};

// Spline curve: codes 24-27.
struct AfeCsf {
    int32_t npts;
    int32_t status; // 0 fitted and checked, 1 unusable
    CsfPoint* pts;  // [0..npts-1]
};

// One member of a super element.
struct SupEntry {
    int32_t nr; // element number in the path-element list
    float value;
    int32_t flag;
    int32_t isSched; // the entry's element number equals the schedule number
    Afe* elem;       // resolved after the section is read
};

// Super element: code 28.
struct AfeSup {
    int32_t n;
    int32_t sched;
    int32_t spare;
    SupEntry* list; // [0..n-1]
};

// Data common to every duct element, read after the type's own values.
struct DuctBlock {
    float Dh;    // hydraulic diameter, m
    float perim; // perimeter, m
    float area;  // cross-section, m^2
    float leak;  // wall leakage at lpres, L/(s m^2)
    float lpres; // reference pressure of the leakage, Pa
};

// Darcy-Weisbach duct: code 29.
struct AfeDwc {
    float rough; // absolute roughness, m
    float spare; // kept for the file layout
    float D;     // hydraulic diameter, m
    float A;     // area, m^2
    float rr;    // relative roughness rough/D
    DuctBlock duct;
};

// Duct records begin with their family record so that one model reads both alike.
struct DctPlr { // code 30
    AfePlr plr;
    float spare[3]; // kept for the file layout
    DuctBlock duct;
};
struct DctFqcn { // codes 31, 32
    AfePlr plr;
    DuctBlock duct;
};
struct DctFan { // code 33
    AfeFan fan;
    DuctBlock duct;
};
struct DctCnf { // codes 34, 35
    AfeCnf cnf;
    DuctBlock duct;
};
struct DctBid { // codes 36, 37
    AfeBid bid;
    DuctBlock duct;
};
struct DctCsf { // codes 38-41
    AfeCsf csf;
    DuctBlock duct;
};

// Duct terminal (code 45), made by network assembly.
struct AfeTrm {
    float turb; // full-open coefficient
    float lam;
    float loss1, loss2; // dynamic loss coefficients
    float area;         // m^2
    float Fdes;         // design mass flow, kg/s, positive into the zone
    int16_t bal;        // duct balancing sets the damper
};

// The duct block of a duct element (codes 29-41), or none for other kinds.
inline DuctBlock* afe_duct(const Afe* e)
{
    if (!e || !e->data) return nullptr;
    switch (e->type) {
    case AFE_DCT_DWC:
        return &static_cast<AfeDwc*>(e->data)->duct;
    case AFE_DCT_PLR:
        return &static_cast<DctPlr*>(e->data)->duct;
    case AFE_DCT_FCN:
    case AFE_DCT_QCN:
        return &static_cast<DctFqcn*>(e->data)->duct;
    case AFE_DCT_FAN:
        return &static_cast<DctFan*>(e->data)->duct;
    case AFE_DCT_CMF:
    case AFE_DCT_CVF:
        return &static_cast<DctCnf*>(e->data)->duct;
    case AFE_DCT_BDQ:
    case AFE_DCT_BDF:
        return &static_cast<DctBid*>(e->data)->duct;
    case AFE_DCT_FSP:
    case AFE_DCT_QSP:
    case AFE_DCT_PSF:
    case AFE_DCT_PSQ:
        return &static_cast<DctCsf*>(e->data)->duct;
    default:
        return nullptr;
    }
}

// The spline record of a spline element (codes 24-27, 38-41), or none.
inline AfeCsf* afe_csf(const Afe* e)
{
    if (!e || !e->data) return nullptr;
    if (e->type >= AFE_CSF_FSP && e->type <= AFE_CSF_PSQ) return static_cast<AfeCsf*>(e->data);
    if (e->type >= AFE_DCT_FSP && e->type <= AFE_DCT_PSQ) return &static_cast<DctCsf*>(e->data)->csf;
    return nullptr;
}

#endif
