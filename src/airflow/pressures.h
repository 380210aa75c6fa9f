// Air properties of the nodes, stack and wind pressures, gage pressures.
#ifndef FLOWMIR_AIRFLOW_PRESSURES_H
#define FLOWMIR_AIRFLOW_PRESSURES_H

#include "engine/state.h"

struct Wpf;

// Densities, viscosities, then every link's stack term and pressure difference.
void calc_sP(FlowmirState* fms);
// Ambient density and the wind pressure of every wind-exposed link.
void calc_wP(FlowmirState* fms);
// Ambient values at the levels and every node's gage pressure.
void findPgage(FlowmirState* fms);
// 1 when every node's density agrees with its pressure and temperature.
int airNodeDensitiesHaveConverged(FlowmirState* fms);
// Moist-air density, kg/m3, for Pb in Pa, Tdb in degrees C and humidity ratio W.
extern "C" float PsyRhoAirFnPbTdbW(double Pb, double Tdb, double W);
// Pressure coefficient of a profile at the wind angle theta (degrees, 0..360).
double wpf_cp(FlowmirState* fms, const Wpf* wpf, float theta);

#endif
