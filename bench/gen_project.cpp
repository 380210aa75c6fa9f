// Writes a synthetic building's project file:
//   gen_project OUT.prj [--floors N] [--rooms N] [--plan corridor|grid] [--seed N] [--ducts]
//                       [--no-wind-profiles] [--zones N] [--species 0|1|2] [--controls]
// --zones sizes floors and rooms for about N zones with the plan given (in any order).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "building_gen.h"

static void usage(void)
{
    fprintf(stderr, "usage: gen_project OUT.prj [--floors N] [--rooms N] [--plan corridor|grid] [--seed N]\n"
                    "                   [--ducts] [--no-wind-profiles] [--zones N] [--species 0|1|2] [--controls]\n");
    exit(2);
}

// A whole-number argument of at least lo.
static long numberArg(const char* option, const char* text, long lo)
{
    char* end;
    long v = strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || v < lo) {
        fprintf(stderr, "gen_project: %s needs a number of at least %ld, not \"%s\"\n", option, lo, text);
        exit(2);
    }
    return v;
}

int main(int argc, char** argv)
{
    BuildingOptions opt;
    std::string out;
    long zones = 0;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        bool hasValue = i + 1 < argc;
        if (strcmp(a, "--floors") == 0 && hasValue) {
            opt.floors = (int)numberArg(a, argv[++i], 1);
        } else if (strcmp(a, "--rooms") == 0 && hasValue) {
            opt.roomsPerFloor = (int)numberArg(a, argv[++i], 1);
        } else if (strcmp(a, "--zones") == 0 && hasValue) {
            zones = numberArg(a, argv[++i], 1);
        } else if (strcmp(a, "--seed") == 0 && hasValue) {
            opt.seed = (uint64_t)numberArg(a, argv[++i], 0);
        } else if (strcmp(a, "--plan") == 0 && hasValue) {
            const char* plan = argv[++i];
            if (strcmp(plan, "corridor") == 0)
                opt.plan = FloorPlan::Corridor;
            else if (strcmp(plan, "grid") == 0)
                opt.plan = FloorPlan::Grid;
            else
                usage();
        } else if (strcmp(a, "--species") == 0 && hasValue) {
            opt.species = (int)numberArg(a, argv[++i], 0);
        } else if (strcmp(a, "--controls") == 0) {
            opt.controls = true;
        } else if (strcmp(a, "--ducts") == 0) {
            opt.ducts = true;
        } else if (strcmp(a, "--no-wind-profiles") == 0) {
            opt.windProfiles = false;
        } else if (a[0] != '-' && out.empty()) {
            out = a;
        } else {
            usage();
        }
    }
    if (out.empty()) usage();
    if (zones > 0) sizeForZones(opt, (int)zones);

    BuildingCounts c;
    if (!writeBuilding(out, opt, &c)) {
        fprintf(stderr, "gen_project: cannot write %s\n", out.c_str());
        return 1;
    }
    printf("%s: %d floors x %d rooms, %d zones, %d paths, %d junctions, %d ducts\n", out.c_str(), opt.floors,
           opt.roomsPerFloor, c.zones, c.paths, c.junctions, c.ducts);
    return 0;
}
