/* A host that steps a building through flowmir's co-simulation interface: it sets the outdoor
   temperature every hour, reads the zones' CO2 and the first path's flow, and ends the run.

       cosim_host PROJECT.prj

   Build: cc -o cosim_host cosim_host.c -I include -L build -lflowmir-lib -Wl,-rpath,build */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "flowmir/fmi.h"

static FlowmirState* run;
static int zones;

/* Called once during set-up, while the project's zone table can still be read. */
static void projectReady(void)
{
    zones = fmiGetNumZones(run);
    for (int z = 1; z <= zones; z++) {
        FmiZoneInfo info;
        if (fmiGetZoneInfo(run, z, &info) == 0)
            printf("zone %d: %s, %.1f m3, level %s\n", info.zoneNr, info.zoneName, info.volume, info.levelName);
    }
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: cosim_host PROJECT.prj\n");
        return 2;
    }
    run = fmiGetNimbalState();
    if (!run) return 2;
    fmiSetProjectDataReadyCallbackFunction(run, projectReady);
    if (fmiSetupSimulation(run, argv[1]) != 0) {
        fprintf(stderr, "cosim_host: %s could not be set up (see its .xlog)\n", argv[1]);
        fmiEndSimulation(run);
        return 2;
    }
    char name[16] = "";
    if (fmiGetNumCtms(run) > 0) fmiGetCtmName(run, 0, name);

    int endDate = fmiGetSimulationEndDate(run), endTime = fmiGetSimulationEndTime(run);
    while (!(fmiGetCurrentDate(run) == endDate && fmiGetCurrentTime(run) >= endTime)) {
        /* The next step ends one time step later: its outdoor temperature, a day's swing
           around 10 C. */
        double t = (fmiGetCurrentTime(run) + fmiGetSimulationTimeStep(run)) / 3600.0;
        fmiSetAmbtTemperature(run, (float)(283.15 + 5.0 * sin((t - 9.0) * M_PI / 12.0)));
        if (fmiDoCoSimStep(run, 1) != 0) break;

        double F0 = 0.0, F1 = 0.0;
        fmiGetPathFlows(run, 1, &F0, &F1);
        printf("day %d %5.2f h: path 1 %8.5f kg/s", fmiGetCurrentDate(run), fmiGetCurrentTime(run) / 3600.0, F0);
        if (name[0]) printf(", %s ppm:", name);
        for (int z = 1; z <= zones && name[0]; z++) {
            double mf = 0.0;
            /* ppm by volume from the mass fraction (44.01 and 28.97 kg/kmol: CO2 in air) */
            if (fmiGetZoneMF(run, z, 0, &mf) == 0) printf(" %6.0f", mf * 28.97 / 44.01 * 1e6);
        }
        printf("\n");
    }
    /* Writes the last step's results and frees the record. */
    return fmiEndSimulation(run) == 0 ? 0 : 2;
}
