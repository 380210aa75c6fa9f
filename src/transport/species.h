// The simulated species (contaminants): their table in simulation order, the per-species
// arrays the transport and the airflow densities use, and name lookup.
#ifndef FLOWMIR_TRANSPORT_SPECIES_H
#define FLOWMIR_TRANSPORT_SPECIES_H

#include "engine/state.h"

enum { SPECIES_NAME_LEN = 16 };

struct Species {
    float molarMass;   // kg/kmol
    float diameter;    // m, mean particle diameter; 0 for a gas
    float prop3, prop4;
    float Dm;          // m2/s, molecular diffusion coefficient
    float CC0;         // kg/kg, default ambient mass fraction
    float Rgas;        // J/(kg K), 8314.41 / molarMass
    float Cp;          // J/(kg K)
    float Cv;          // Cp - Rgas
    float kUV;         // m2/J, ultraviolet susceptibility
    char name[SPECIES_NAME_LEN];
    short nonTrace;    // nonzero: the species takes part in the air's density
    short nr;          // number in the project
};

// "Species": the simulated list (count and numbers on one line), then the definitions. Fills
// fms->ctm[0..nctm-1] in the list's order and the arrays Rs, CpS and penf1; sets nNonTrace and
// iH2O. Returns the number of simulated species.
int species_read(FlowmirState* fms);
// The species table and its arrays.
void species_free(FlowmirState* fms);
// Index of the simulated species named exactly `name`; nctm when none is.
int species_find(const FlowmirState* fms, const char* name);

#endif
