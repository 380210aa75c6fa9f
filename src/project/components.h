// The building's components as read from the project file: levels, simple air-handling
// systems, zones, paths, duct junctions and duct segments. Network assembly turns zones and
// junctions into air nodes and paths and ducts into airflow links.
#ifndef FLOWMIR_PROJECT_COMPONENTS_H
#define FLOWMIR_PROJECT_COMPONENTS_H

#include <cstdint>

#include "engine/state.h"

// Buffer sizes of names and keys: the longest allowed word plus its terminator.
enum { COMP_NAME_LEN = 16, ZONE_NAME_LEN = 32, COMP_KEY_LEN = 16 };

// Where a zone's or junction's temperature, or a link's multiplier, comes from; the
// first that applies wins: control node, then value-file column, then week schedule.
// VSRC_NONE keeps the zone temperature as read, or a link multiplier of 1.
enum ValueSource { VSRC_NONE = 0, VSRC_CONTROL = 1, VSRC_CVF = 2, VSRC_DVF = 3, VSRC_SCHEDULE = 4 };

// Value-file kinds of a record (anything else in the file means none).
enum { VFILE_NONE = 0, VFILE_CVF = 1, VFILE_DVF = 2 };

// Zone flag bits kept from the file.
enum {
    ZF_PRESSURE = 0x01, // pressure solved; else fixed at P
    ZF_MASSFRAC = 0x02, // mass fractions solved
    ZF_AHS = 0x08,      // supply or return zone of a simple air-handling system
    ZF_UNCOND = 0x10,   // unconditioned space
    ZF_CFD = 0x20,      // coupled to the CFD solver
    ZF_MASK = 0x3F
};

// Path flag bits kept from the file.
enum {
    PTH_WIND = 0x01,     // wind-exposed
    PTH_LOC = 0x06,      // opening takes part in the wind-pressure file's location list
    PTH_AHS = 0x08,      // system supply or return path
    PTH_AHR = 0x10,      // system recirculation
    PTH_AHO = 0x20,      // system outdoor-air intake
    PTH_AHX = 0x40,      // system exhaust
    PTH_IMPLICIT = 0x78, // system paths: the element comes from the system, not the file
    PTH_MASK = 0x1FF
};

struct Level {
    Level* next; // file order
    int nr;
    float elevation; // m, floor height
    int nicon;
    double Plev;   // ambient pressure at the elevation relative to the barometric one, Pa
    double rholev; // ambient density at the elevation, kg/m3
    char name[COMP_NAME_LEN];
};

struct Ahs {
    int nr;
    int num1, num2; // kept with the system; the engine does not use them
    int pathNr[3];  // paths network assembly links to the system
    char name[COMP_NAME_LEN];
};

struct Zone {
    int nr;
    uint16_t flags; // ZF_ bits
    int wshNr;      // temperature week schedule, 0 none
    int ctrlNr;     // temperature control node, 0 none
    int knrNr;      // kinetic reaction, 0 none
    int levNr;
    Level* level;
    float relHt; // m above the level
    float hgt;   // m, level elevation + relHt
    float Vol;   // m3
    float T;     // K, initial temperature
    double P;    // Pa, fixed gauge pressure when ZF_PRESSURE is clear
    char name[ZONE_NAME_LEN];
    int vfType; // VFILE_ kind of the temperature value
    char vfKey[COMP_KEY_LEN];
    int cfd; // 1 when a CFD key follows
    char cfdKey[COMP_KEY_LEN];
    ValueSource tsrc;
    int cdzRead;    // the file marks the zone one-dimensional
    int cdz;        // ... and the run enables one-dimensional zones
    float cdzP1[3]; // first end point: x, y, height above the level
    float cdzP2[3]; // second end point
    float cdzDx;    // requested cell length, m
    float cdzDax;   // axial diffusion per unit cell length
};

struct Path {
    int nr;
    uint16_t flags;       // PTH_ bits
    int zoneNrN, zoneNrM; // -1 ambient
    Zone* zoneN;          // null for the ambient
    Zone* zoneM;
    int afeNr; // 0 when the element comes from the system
    Afe* afe;
    int fltNr;
    int wpfNr;
    Wpf* wpf;
    int ahsNr;
    Ahs* ahs;
    int wshNr;  // multiplier week schedule
    int ctrlNr; // multiplier control node
    int levNr;
    Level* level;
    float x, y;  // m, plan position of the opening
    float relHt; // m above the level
    float hgt;   // m, level elevation + relHt
    double mult;
    float windConst;  // Pa, wind pressure without a profile
    float windMod;    // wind speed modifier with a profile
    float azimuth;    // degrees, wall azimuth
    float designFlow; // system design flow at a multiplier of 1
    int vfType;
    char vfKey[COMP_KEY_LEN];
    int cfd;
    char cfdKey[COMP_KEY_LEN];
    int cfdData[3];
    ValueSource msrc;
};

struct Junction {
    int nr;
    uint16_t flags; // become the terminal link's flags
    int terminal;   // 1 for a duct terminal
    int zoneNr;     // zone around the junction, -1 ambient
    Zone* zone;
    int dctNr; // duct linked after the duct section, 0 none
    Duct* duct;
    int knrNr;
    int wshNr;
    int ctrlNr;
    int levNr;
    Level* level;
    float x, y;  // m, plan position of the terminal
    float relHt; // m above the level, also the terminal's height
    float hgt;   // m, level elevation + relHt
    float T;     // K
    int vfType;
    char vfKey[COMP_KEY_LEN];
    ValueSource tsrc;
    // terminal data
    int fltNr;
    int wpfNr;
    Wpf* wpf;
    float windConst, windMod, azimuth;
    int bal;    // damper set by duct balancing
    float area; // m2, face area
    float Fdes; // kg/s, design flow, positive into the zone
    float loss1, loss2;
    // filled by network assembly
    float V;     // half of each joined duct's volume
    float Cleak; // half of each joined duct's wall leakage
};

struct Duct {
    int nr;
    uint16_t flags;
    int jctNrN, jctNrM; // 0 none
    Junction* jctN;
    Junction* jctM;
    int dfeNr;
    Afe* dfe;
    int fltNr;
    int wshNr;
    int ctrlNr;
    float len;        // m
    float val2, val3; // replaced by network assembly from the duct element
    float sumC;       // sum of dynamic loss coefficients
    int vfType;
    char vfKey[COMP_KEY_LEN];
    ValueSource msrc;
};

int lev_read(FlowmirState* fms, MemBlock** pool);
int ahs_read(FlowmirState* fms, MemBlock** pool);
// "Zone" then, when no error has been reported, "Zone CC".
int zone_read(FlowmirState* fms, MemBlock** pool, int cirdal);
int path_read(FlowmirState* fms, MemBlock** pool, int cirdal);
// "Duct Junction" then, when no error has been reported, "Duct Junction CC".
int jct_read(FlowmirState* fms, MemBlock** pool, int cirdal);
int dct_read(FlowmirState* fms, MemBlock** pool, int cirdal);
// After the duct section: gives each junction its duct segment.
void jct_link_ducts(FlowmirState* fms);
void components_free_lists(FlowmirState* fms);
void levels_free_list(FlowmirState* fms);

// Shared by the readers of this folder.
ValueSource comp_value_source(int ctrlNr, int vfType, int wshNr);
// Reads the value-file kind and, for a CVF or DVF value, its key; returns the kind kept.
int comp_read_value_file(FlowmirState* fms, char* key);
// A reference must lie in lo..hi; otherwise reports "<what> <recNr>" ("Invalid zone number,
// path" and the like) and returns 0.
int comp_check_ref(FlowmirState* fms, int nr, int lo, int hi, const char* what, int recNr);
// Reads a section's count (new line); a negative count is an error and counts as 0.
int comp_read_count(FlowmirState* fms, const char* section);
// The initial mass fractions of nrec records (zones or junctions) into mf at offset
// first*nctm for record 1; reports the section's errors. Returns 0 when clean.
int comp_read_massfractions(FlowmirState* fms, const char* kind, int nrec, double* mf, int first,
                            const char* negativeMsg);

#endif
