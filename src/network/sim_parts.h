// The steps of network assembly and the working arrays they pass to one another.
#ifndef FLOWMIR_NETWORK_SIM_PARTS_H
#define FLOWMIR_NETWORK_SIM_PARTS_H

#include <cstdint>

#include "network/sim_data.h"

struct Path;

// Per-component results of the early steps, indexed by project number; released at the end
// of the assembly.
struct SimBuild {
    AirNode** zoneNode; // [1..nzone]
    AirNode** jctNode;  // [1..njct]
    DuctSeg** seg;      // [1..ndct] each duct's segment data, from the volume pass
    int* jctNet;        // [1..njct] duct network of each junction, 0 none
    int nnet;           // duct networks
    int* pathEnv;       // [1..npath] envelope index, 0 none
    int* jctEnv;        // [1..njct]
    int* pathLoc;       // [1..npath] location-list index, 0 none
    int* jctLoc;        // [1..njct]
};

void sim_build_alloc(FlowmirState* fms, SimBuild* b);
void sim_build_free(FlowmirState* fms, SimBuild* b);

// The flags a path's link carries: constant-flow fans keep only the no-off-diagonal bit.
uint32_t sim_path_flags(const Path* p);

// Numbers the duct networks, reports loops through fans, lists the networks.
void sim_duct_networks(FlowmirState* fms, SimBuild* b);
// Junction volumes and leakage from the duct halves; each duct's segment record.
void sim_duct_volumes(FlowmirState* fms, SimBuild* b);
// Zone, junction and ambient nodes.
void sim_nodes(FlowmirState* fms, SimBuild* b);
// Path, duct, terminal and leak links with their elements, wind and concentration sources.
void sim_links(FlowmirState* fms, SimBuild* b);
// The internal elements of system paths and duct leaks.
void sim_implicit_elements(FlowmirState* fms);
// Every variable-pressure node must reach a constant-pressure one through variable flows.
void sim_connectivity(FlowmirState* fms);
// Node flags of the building tests.
void sim_special_modes(FlowmirState* fms);
// Warns about nodes linked to one other node only.
void sim_one_neighbour(FlowmirState* fms);
// Warns about zones of fixed pressure.
void sim_constant_pressure(FlowmirState* fms);

#endif
