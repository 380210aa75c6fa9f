// Network assembly: turns the project's zones, junctions, paths and ducts into the checked
// airflow network of air nodes and links, with the envelope lists and the ambient humidity.
#ifndef FLOWMIR_NETWORK_SIM_DATA_H
#define FLOWMIR_NETWORK_SIM_DATA_H

#include "network/airnet.h"

// One distinct position of a flagged opening (path or terminal), matched by position against
// the locations of the wind-pressure file.
struct PLDloc {
    int nr;     // position in the list, 1..npld
    float x, y; // m, plan position
    float z;    // m, absolute height
    int kind;   // 0 path, 1 terminal
    int item;   // path or junction number of the first opening at this position
};

// Builds the network once per run, after the project is read and before the equations are
// numbered. Severity-2 errors found on the way end the run with one FATAL.
void sim_data(FlowmirState* fms);
// Releases the arrays the assembly made; the records go with msBlock.
void sim_data_free(FlowmirState* fms);

// Saturation vapour pressure (Pa) over ice below 273.16 K, else over water, at T (K).
double satPressureHW(double T);
// Humidity ratio (kg/kg) of air at T (K), relative humidity phi (fraction) and pressure Pb (Pa).
float humidityRatio(double T, double phi, double Pb);
// The ambient humidity ratio from Tambt, ambRH and Pambt; a temperature outside 203..373 K
// is reported and clamped for this calculation only.
float ambientHumidityRatio(FlowmirState* fms);

// Gives envIdx 1..nenv, in link order, to every path with an ambient side that is not a system
// supply, return, recirculation or exhaust path, then to every terminal opening to the ambient,
// into pathEnv[1..npath] and jctEnv[1..njct]; allocates wPenv and wSign unless the WPC file
// gives the wind pressures.
void EnvListsWpc_setup(FlowmirState* fms, int* pathEnv, int* jctEnv);
// create 1: builds PLDlist from the paths to the ambient and the terminals flagged 0x02 or 0x04
// and records each item's position in pathLoc/jctLoc (either may be null); returns npld.
// create 0: releases it.
int PLDlist(FlowmirState* fms, int create, int* pathLoc, int* jctLoc);

#endif
