/* flowmir: in-process co-simulation interface. A host creates a state record, sets it up for
   host-stepped running, then advances it one time step per fmiDoCoSimStep call, setting
   boundary conditions before and reading results after each step, until fmiEndSimulation.
   Indices of zones and paths start at 1, contaminant indices at 0. Unless stated otherwise a
   function returns 0 on success and a code naming the first failed check. */
#ifndef FLOWMIR_FMI_H
#define FLOWMIR_FMI_H

#include <stdint.h>

#include "flowmir/flowmir.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The host's error function: called with the severity word ("NOTE ", "WARNING ", "ERROR ",
   "FATAL ") and the message of every report; errorCount is the run's count of errors. */
typedef int (*FmiErrorFcn)(FlowmirState* fms, const char* word, const char* msg, int* errorCount);

/* --- run control --- */
FlowmirState* fmiGetNimbalState(void); /* an initialised record, or none when out of memory */
void fmiSetErrorFunction(FlowmirState* fms, FmiErrorFcn fcn);
/* Wind pressures of envelope paths from the host (nonzero, the default) instead of from wind
   speed and direction; to set before fmiSetupSimulation. */
void fmiSetWindPressureMode(FlowmirState* fms, int mode);
void fmiSetProjectDataReadyCallbackFunction(FlowmirState* fms, void (*callback)(void));
void fmiSetUseVolumeFlows(FlowmirState* fms);
/* The result of SetupSimulation: 0 when the run is set up and may be stepped, nonzero when the
   project could not be read or there is nothing to simulate (the record may then only be
   ended). */
int fmiSetupSimulation(FlowmirState* fms, const char* projectPath);
/* One step (advance nonzero) or a re-solve of the current step with new inputs (advance 0).
   1 when the record was not set up, 2 for a re-solve of a run by the short-time-step
   transport method (its duct cells and one-dimensional zones cannot be solved twice). */
int fmiDoCoSimStep(FlowmirState* fms, int advance);
/* Writes the last step, ends the run and frees the record (also one whose set-up failed).
   1 for no record. */
int fmiEndSimulation(FlowmirState* fms);
/* Writes "3.4.1.4-64bit" (14 bytes with its zero); 1 for no buffer. */
int fmiGetVersion(FlowmirState* fms, char* buffer);

/* --- counts and clock --- */
int fmiGetNumZones(FlowmirState* fms);
int fmiGetNumPaths(FlowmirState* fms);
int fmiGetNumJunctions(FlowmirState* fms);
int fmiGetNumTerminals(FlowmirState* fms);
int fmiGetNumLeaks(FlowmirState* fms);
int fmiGetNumAHS(FlowmirState* fms);
int fmiGetNumCtms(FlowmirState* fms);
int fmiGetNumInputCtrlNodes(FlowmirState* fms);  /* named `set` control nodes */
int fmiGetNumOutputCtrlNodes(FlowmirState* fms); /* named `pas` control nodes */
int fmiGetCurrentDate(FlowmirState* fms); /* day of year 1..365 */
int fmiGetCurrentTime(FlowmirState* fms); /* end of the current step, s after midnight */
int fmiGetSimulationStartDate(FlowmirState* fms);
int fmiGetSimulationStartTime(FlowmirState* fms);
int fmiGetSimulationEndDate(FlowmirState* fms);
int fmiGetSimulationEndTime(FlowmirState* fms);
int fmiGetSimulationTimeStep(FlowmirState* fms);

/* 1 contaminant out of range, 2 no buffer; copies the name (16 bytes) */
int fmiGetCtmName(FlowmirState* fms, int ctm, char* name);

/* --- descriptions ---
   Records the host allocates, naturally aligned (two bytes of padding follow each 16-bit flags
   field). Only the named fields are written: padding and the spare fields keep what the host
   had there. Strings are copied with their terminating zero. The zone and junction records and
   the zone and system lookups read the project's tables, which exist during set-up only: call
   them from the project-data-ready function. The others work until the run ends. */
typedef struct FmiZoneInfo {      /* 64 bytes */
    int32_t zoneNr;
    uint16_t flags;               /* 0x01 pressure solved, 0x02 mass fractions, 0x08 system, 0x10 unconditioned */
    float volume;                 /* m3 */
    char levelName[16];
    int32_t levelNr;
    char zoneName[32];
} FmiZoneInfo;

typedef struct FmiPathInfo {      /* 36 bytes */
    int32_t pathNr;
    uint16_t flags;
    int32_t zoneN;                /* zone at the first node, 0 for the ambient */
    int32_t zoneM;                /* zone at the second node, 0 for the ambient */
    int32_t ahsNr;                /* air-handling system, 0 none */
    float x, y, z;                /* m, z above ground */
    int32_t envIndex;             /* 0 off the envelope */
} FmiPathInfo;

typedef struct FmiJunctionInfo {  /* 16 bytes */
    int32_t jctNr;
    uint16_t flags;
    int32_t zoneNr;               /* the zone around it, -1 the ambient, 0 none */
    int32_t envIndex;             /* of its terminal, 0 none */
} FmiJunctionInfo;

typedef struct FmiTermInfo {      /* 32 bytes */
    int32_t jctNr;
    uint16_t flags;
    float x, y, z;
    int32_t spare;                /* left as it was */
    int32_t nodeN;                /* airflow node of its junction */
    int32_t envIndex;
} FmiTermInfo;

typedef struct FmiLeakInfo {      /* 28 bytes */
    int32_t jctNr;
    uint16_t flags;
    float x, y, z;
    int32_t spare;                /* left as it was */
    int32_t nodeN;                /* airflow node of its junction */
} FmiLeakInfo;

typedef struct FmiCtrlInfo {      /* 20 bytes */
    int32_t ctrlNr;
    char name[16];
} FmiCtrlInfo;

/* 1 project zone table missing, 2 record null, 3 zone out of range */
int fmiGetZoneInfo(FlowmirState* fms, int zone, FmiZoneInfo* info);
/* 1 record null, 2 list (or table) missing, 3 index out of range: */
int fmiGetPathInfo(FlowmirState* fms, int path, FmiPathInfo* info);
int fmiGetJunctionInfo(FlowmirState* fms, int jct, FmiJunctionInfo* info);
int fmiGetTermInfo(FlowmirState* fms, int term, FmiTermInfo* info);
int fmiGetLeakInfo(FlowmirState* fms, int leak, FmiLeakInfo* info);
int fmiGetInputControlInfo(FlowmirState* fms, int index, FmiCtrlInfo* info);
int fmiGetOutputControlInfo(FlowmirState* fms, int index, FmiCtrlInfo* info);
/* 1 name null or empty, 2 level out of range, 3 out null, 4 zone table missing; else 0 with
   *zone the first zone of that name on that level, or -1 */
int fmiGetZoneNumber(FlowmirState* fms, const char* name, int level, int* zone);
/* 1 name null or empty, 2 out null, 3 system table missing; else 0 with *ahs the first system
   of that name, or -1 */
int fmiGetAHSNumber(FlowmirState* fms, const char* name, int* ahs);
/* 1 out null, 2 junction out of range; else 0 with *leak the leak of that junction, or -1 */
int fmiGetLeakNumber(FlowmirState* fms, int jct, int* leak);

/* --- results --- */
/* 1 zone list missing, 2 out null, 3 zone out of range; m3 */
int fmiGetZoneVolume(FlowmirState* fms, int zone, float* volume);
/* 1 out null, 2 zone out of range, 3 contaminant out of range */
int fmiGetZoneMF(FlowmirState* fms, int zone, int ctm, double* mf);
/* 1 either out null, 2 path list missing, 3 path out of range; kg/s, m3/s in volume-flow mode */
int fmiGetPathFlows(FlowmirState* fms, int path, double* F0, double* F1);
/* 1 out null, 2 list missing, 3 out of range; the flow into the zone (leak: out of the duct) */
int fmiGetTermFlow(FlowmirState* fms, int term, double* F);
int fmiGetLeakFlow(FlowmirState* fms, int leak, double* F);
/* 1 out null, 2 no output control nodes, 3 out of range */
int fmiGetOutputControlValue(FlowmirState* fms, int index, float* value);
/* kg of a contaminant leaving through an envelope entry (index as in the path and terminal
   records) in the current step. 1 out null, 2 index out of range, 3 contaminant out of range. */
int fmiGetEnvelopeExfil(FlowmirState* fms, int env, int ctm, double* mass);

/* --- boundary conditions: 1 for a value that is not accepted --- */
int fmiSetAmbtTemperature(FlowmirState* fms, float T);  /* K, finite and above 0 */
int fmiSetAmbtPressure(FlowmirState* fms, float P);     /* Pa, finite and above 0 */
int fmiSetAmbtWndSpd(FlowmirState* fms, float speed);   /* m/s, finite, at least 0 */
int fmiSetAmbtWndDir(FlowmirState* fms, float dir);     /* degrees, 0..360 */
int fmiSetAmbtHumRatio(FlowmirState* fms, float W);     /* kg/kg, finite, at least 0 */
/* 1 zone out of range, 2 T not finite or not above 0 (K) */
int fmiSetZoneTemperature(FlowmirState* fms, int zone, double T);
/* 1 zone out of range, 2 W not finite or below 0 (kg/kg) */
int fmiSetZoneHumRatio(FlowmirState* fms, int zone, double W);
/* 1 junction out of range, 2 T not finite or not above 0 (K) */
int fmiSetJunctionTemperature(FlowmirState* fms, int jct, double T);
/* 1 contaminant out of range, 2 x not finite or below 0 */
int fmiSetAmbtMassFraction(FlowmirState* fms, int ctm, double x);
/* A system supply or return path carries exactly this mass flow (kg/s) from the next solve.
   1 path out of range, 2 flow not finite or below 0, 3 path list missing, 4 not a system supply
   or return path. */
int fmiSetSupplyReturnPathFlow(FlowmirState* fms, int path, float flow);
/* The outdoor-air fraction of a system from the next solve. 1 system out of range, 2 fraction
   not in 0..1, 3 the system has no recirculation path. */
int fmiSetAHSPercentOA(FlowmirState* fms, int ahs, float fraction);
/* The value of a named `set` control node. 1 out of range, 2 value not finite. */
int fmiSetInputControlValue(FlowmirState* fms, int index, float value);
/* Wind pressure (Pa) on an envelope entry, in wind-pressure mode. 2 index out of range, 1 value
   not finite, 3 the run takes its wind pressures elsewhere (a wind-pressure file, or the mode
   off). */
int fmiSetEnvelopeWP(FlowmirState* fms, int env, float pressure);
/* Outdoor mass fraction at an envelope entry, in wind-pressure mode; until set, an entry sees
   the ambient's. 1 x not finite or below 0, 2 index out of range, 3 contaminant out of range,
   4 the run has no such values (no contaminants, mode off, or a wind-pressure file gives them). */
int fmiSetEnvelopeMF(FlowmirState* fms, int env, int ctm, double x);
/* Adds a mass (kg) of a contaminant to a zone's air, taken by the next step's transport.
   1 zone out of range, 2 mass not finite or below 0, 3 contaminant out of range. */
int fmiSetZoneAddMass(FlowmirState* fms, int zone, int ctm, double mass);

#ifdef __cplusplus
}
#endif

#endif
