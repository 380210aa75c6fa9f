// Occupants: occupancy day schedules that move them between zones by day type, the exposures
// that follow what each occupant breathes, the zone occupancy sensors read, and the sources
// the occupants carry with them.
#ifndef FLOWMIR_CONTROLS_OCCUPANCY_H
#define FLOWMIR_CONTROLS_OCCUPANCY_H

#include "controls/schedule.h"
#include "engine/state.h"

struct AirNode;

// Where an occupancy point puts the occupant.
enum { OCC_OUT = 0, OCC_AMBIENT = -1 };

// A day of one occupant: from each point's time to the next one's it stays in the point's
// zone. Points run from 00:00:00 to 24:00:00; the last one only closes the day.
struct OccSchedule {
    int npts;
    int* time;        // [npts] seconds of the day, not decreasing ("time")
    int* zoneNr;      // [npts] zone number, OCC_AMBIENT or OCC_OUT
    AirNode** zone;   // [npts] its node, none out of the building ("zone")
    float* x;         // [npts] location, for the cells of one-dimensional zones ("X", "Y", "relHt")
    float* y;
    float* relHt;
    int cursor;       // segment of the last zone-occupancy walk
    int nr;
};

struct Exposure {
    Exposure* next;
    OccSchedule* occSched[SCHED_DAY_TYPES];  // day types 1..12, stored from 0; none: absent
    float mult;       // occupants this record stands for
    float* expos;     // [0..nctm-1] what the occupant breathed in the current step ("expos")
    int cursor;       // segment of the last exposure walk
    double present;   // seconds in a zone during the step
    double presentDay, presentRun;  // seconds of the day and of the run, as the statistics count them
    short emits;      // carries sources
    int nr;
};

// A source an occupant carries: it emits where the occupant is.
struct OccSource {
    OccSource* next;
    Exposure* owner;  // schedules and multiplier
    float* sched;     // scale: week schedule value, value-file column or a constant 1
    float rate;       // kg/s per occupant
    int wshNr;        // week schedule, 0 none
    short valueKind;  // 0 none, 1 continuous, 2 discrete value file
    char valueName[16];
    int species;
    int cursor;       // segment of the last walk
    double G;         // kg/s of the current step
    double shareIn;   // seconds of the step spent in zones whose concentrations are solved
    double genTotal;  // kg emitted into such zones
};

// "Occupant Day Schedule" and "Occupant Exposure" sections; each returns its record count.
int occ_read(FlowmirState* fms, MemBlock** pool);
int exposure_read(FlowmirState* fms, MemBlock** pool);
// Release the tables (the records stay with the run).
void occ_free_list(FlowmirState* fms);
void exposure_free_list(FlowmirState* fms);

// Network assembly: the points' zones become nodes and the sources' scales value pointers.
// zoneNode[1..nzone] are the zone nodes.
void exposure_setup(FlowmirState* fms, AirNode** zoneNode);
// Whether an occupant source reads the value file of kind (1 CVF, 2 DVF).
int occSources_useValueFile(const FlowmirState* fms, int kind);

// Seconds from *t to the end of the segment of the npts points that holds it, capped at
// tEnd; *t moves to that end and *cursor to the segment. Never looks past the last point.
int occ_loc(int* cursor, int* t, int tEnd, const int* times, int npts);

// Zone occupancy of the step ending at local time t for day-type index k (0-based).
void setZoneOcc(FlowmirState* fms, int t, int k);
// The step's exposure of one occupant: the presence-weighted mean of the concentrations it
// breathed, 0 when it was never in a zone.
void exposure(FlowmirState* fms, Exposure* ex);
// Every exposure of the step.
void exposures_step(FlowmirState* fms);

#endif
