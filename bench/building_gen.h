// Synthetic buildings for the benchmarks: a seeded generator that writes a complete project
// file of floors of rooms with their cracks, doors, stairwells, wind exposure and, on request,
// a supply duct system per floor.
#ifndef FLOWMIR_BENCH_BUILDING_GEN_H
#define FLOWMIR_BENCH_BUILDING_GEN_H

#include <cstdint>
#include <string>

// Corridor: rooms on both sides of a central corridor, stairwell at its west end.
// Grid: a square grid of rooms joined to their neighbours, stairwell beside the first room.
enum class FloorPlan { Corridor, Grid };

struct BuildingOptions {
    int floors = 3;
    int roomsPerFloor = 10;
    FloorPlan plan = FloorPlan::Corridor;
    uint64_t seed = 1;
    bool ducts = false;       // a supply fan, trunk, branches and terminals per floor
    bool windProfiles = true; // envelope paths use profiles; else constant wind pressures
    int species = 0;          // trace species simulated, with sources on every floor (at most 2)
    bool controls = false;    // a control network per floor on its supply fan (with ducts)
};

// What a generated project holds.
struct BuildingCounts {
    int levels = 0;
    int zones = 0;
    int paths = 0;
    int junctions = 0;
    int ducts = 0;
    int elements = 0; // path elements
    int ductElements = 0;
    int windProfiles = 0;
};

// Zones per floor besides the rooms: corridor and stairwell, or the stairwell alone.
int extraZonesPerFloor(FloorPlan plan);

// Floors and rooms per floor for about `zones` zones with the plan already set in opt.
void sizeForZones(BuildingOptions& opt, int zones);

// The project file's text. Floors and rooms below 1 count as 1.
std::string generateBuilding(const BuildingOptions& opt, BuildingCounts* counts = nullptr);

// A fresh folder under the temporary folder for a benchmark's files, "" when none can be made.
std::string makeScratchFolder(const char* prefix);
// "m/d" of a day of the year (365 days).
std::string monthDay(int day);
// The text with its first `from` replaced by `to`; stops the program when it is not there.
std::string replaced(std::string text, const std::string& from, const std::string& to);
// Writes a whole file; false when it could not be written.
bool writeText(const std::string& path, const std::string& text);

// Writes the project to path; false when the file cannot be written.
bool writeBuilding(const std::string& path, const BuildingOptions& opt, BuildingCounts* counts = nullptr);

#endif
