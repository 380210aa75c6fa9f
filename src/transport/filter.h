// Filters on airflow paths, duct segments and terminals: the element library (five models),
// the filter instances with their loading state, the per-step penetrations the transport
// multiplies the carried mass fractions by, and the loading bookkeeping with breakthrough.
#ifndef FLOWMIR_TRANSPORT_FILTER_H
#define FLOWMIR_TRANSPORT_FILTER_H

#include "engine/state.h"

struct AirLink;
struct CsfPoint;
struct FilterData;

enum FilterType { FLT_CEF = 0, FLT_PF0, FLT_GF0, FLT_UV1, FLT_SPF, FLT_NTYPES };
extern const char* const flt_keywords[FLT_NTYPES + 1];

// Updates the record's eff and penf for the current step.
typedef void (*FilterModel)(FlowmirState* fms, FilterData* fd, const AirLink* path);

struct FilterElement {
    void* data;          // the type's parameters
    FilterModel model;
    float p1, p2, p3;    // their product is the media mass
    float mass;          // kg
    float rmass;         // 1/mass, 0 when the mass is below 1e-6 kg
    int nr;
    int type;            // FilterType
    int trackBreakthrough;
    char name[16];
};

// Constant or particle (diameter-fitted) efficiencies, per species ("eff").
struct FltCef { float* eff; };

// Efficiency against relative loading of one species.
struct Gf0Fit {
    int n;
    int cursor;
    CsfPoint* pts;  // "csf"
};
struct FltGf0 {
    Gf0Fit** fit;   // per species, none when the filter does not act on it
    float* bkeff;   // per species, breakthrough efficiency ("bkeff")
};

struct FltUv1 {
    float survRated, flowScale, flowRated, kRated;
    short agingOn;
    float c0, c1, c2, c3, c4;
    float a0, a1;
    float Qrel;  // flowRated / (flowScale x 1.2041)
    float D0;    // -ln(survRated) / kRated
};

struct FltSpf {
    int n;
    int* nr;              // sub-element numbers in flow order ("sfn")
    FilterElement** pfe;  // the sub-elements ("pfe")
};

struct FilterData {
    FilterData* nextSub;  // top record: first sub-filter; sub-filter: next one
    FilterData* lastSub;  // top record: last sub-filter; sub-filter: previous one
    double relLoad;       // loaded mass / media mass
    double* loads;        // kg per species
    float* loadi;         // kg per species, initial loading
    double* Min;          // kg per species entered (top record)
    double* Mout;         // kg per species left (top record)
    float* eff;
    float* penf;          // 1 - eff; for a super filter's top record the product of its stages
    int* bkday;           // breakthrough day of year, 0 until it happens
    int* bktime;
    FilterElement* element;
    int changed;          // constant efficiencies still to be copied
};

struct Filter {
    int nr;
    FilterData* top;
};

// "Filter Element" and "Filter" sections; each returns its record count.
int flte_read(FlowmirState* fms);
int filter_read(FlowmirState* fms);
// Releases the element and filter tables (the records stay with the run); each may be called
// again. The element table goes with the element lists, the filter table with the component
// lists.
void filter_free_lists(FlowmirState* fms);
void flte_free_list(FlowmirState* fms);
void filter_free_list(FlowmirState* fms);

// The models.
void flt_cef(FlowmirState* fms, FilterData* fd, const AirLink* path);
void flt_pf0(FlowmirState* fms, FilterData* fd, const AirLink* path);
void flt_gf0(FlowmirState* fms, FilterData* fd, const AirLink* path);
void flt_uv1(FlowmirState* fms, FilterData* fd, const AirLink* path);
void flt_spf(FlowmirState* fms, FilterData* fd, const AirLink* path);

// The path's penetrations for the current step (evaluated), or the shared all-ones array.
const float* filter_sim(FlowmirState* fms, const AirLink* path);
// The path's current penetrations without evaluating.
const float* filter_get_eff(FlowmirState* fms, const AirLink* path);
// Loading bookkeeping of one step of time_step seconds.
void sum_filter_compute(FlowmirState* fms, int time_step);
// The table of filtered paths built by the bookkeeping.
void filter_free_paths(FlowmirState* fms);

#endif
