/* flowmir: in-process co-simulation interface. A host creates a state record, sets it up for
   host-stepped running, then advances it one time step per fmiDoCoSimStep call, setting
   boundary conditions before and reading results after each step, until fmiEndSimulation.
   Indices of zones and paths start at 1, contaminant indices at 0. Unless stated otherwise a
   function returns 0 on success and a code naming the first failed check. */
#ifndef FLOWMIR_FMI_H
#define FLOWMIR_FMI_H

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
   1 when the record was not set up. */
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
int fmiGetNumAHS(FlowmirState* fms);
int fmiGetNumCtms(FlowmirState* fms);
int fmiGetCurrentDate(FlowmirState* fms); /* day of year 1..365 */
int fmiGetCurrentTime(FlowmirState* fms); /* end of the current step, s after midnight */
int fmiGetSimulationStartDate(FlowmirState* fms);
int fmiGetSimulationStartTime(FlowmirState* fms);
int fmiGetSimulationEndDate(FlowmirState* fms);
int fmiGetSimulationEndTime(FlowmirState* fms);
int fmiGetSimulationTimeStep(FlowmirState* fms);

/* 1 contaminant out of range, 2 no buffer; copies the name (16 bytes) */
int fmiGetCtmName(FlowmirState* fms, int ctm, char* name);

/* --- results --- */
/* 1 zone list missing, 2 out null, 3 zone out of range; m3 */
int fmiGetZoneVolume(FlowmirState* fms, int zone, float* volume);
/* 1 out null, 2 zone out of range, 3 contaminant out of range */
int fmiGetZoneMF(FlowmirState* fms, int zone, int ctm, double* mf);
/* 1 either out null, 2 path list missing, 3 path out of range; kg/s, m3/s in volume-flow mode */
int fmiGetPathFlows(FlowmirState* fms, int path, double* F0, double* F1);

/* --- boundary conditions: 1 for a value that is not accepted --- */
int fmiSetAmbtTemperature(FlowmirState* fms, float T);  /* K, finite and above 0 */
int fmiSetAmbtPressure(FlowmirState* fms, float P);     /* Pa, finite and above 0 */
int fmiSetAmbtWndSpd(FlowmirState* fms, float speed);   /* m/s, finite, at least 0 */
int fmiSetAmbtWndDir(FlowmirState* fms, float dir);     /* degrees, 0..360 */
int fmiSetAmbtHumRatio(FlowmirState* fms, float W);     /* kg/kg, finite, at least 0 */
/* 1 zone out of range, 2 T not finite or not above 0 (K) */
int fmiSetZoneTemperature(FlowmirState* fms, int zone, double T);
/* 1 contaminant out of range, 2 x not finite or below 0 */
int fmiSetAmbtMassFraction(FlowmirState* fms, int ctm, double x);
/* Adds a mass (kg) of a contaminant to a zone's air, taken by the next step's transport.
   1 zone out of range, 2 mass not finite or below 0, 3 contaminant out of range. */
int fmiSetZoneAddMass(FlowmirState* fms, int zone, int ctm, double mass);

#ifdef __cplusplus
}
#endif

#endif
