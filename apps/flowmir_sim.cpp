// flowmir-sim: prints a ".sim" results file as CSV tables.
//
//   flowmir-sim [--table NAME] PROJECT.sim
//
// The species columns carry the species' names when the project file is beside the results
// (PROJECT.prj) and simulates as many species; otherwise Mf0, Mf1, ...
// Without --table it prints the header, the node table and the path table, each headed by its
// column line and separated by an empty line. Files that are not complete results files, and
// names of anything but a regular file (a directory, a device, a FIFO), are refused with a
// one-line message and exit status 2 before anything is printed.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/state.h"
#include "flowmir/flowmir.h"
#include "project/prj_read.h"
#include "project/run_control.h"
#include "results/simread.h"
#include "transport/species.h"

static const char* const tableNames[] = {"header", "ids", "ambient", "nodes", "paths", "concs", "days", "trailer"};

static void usage(FILE* out)
{
    fprintf(out,
            "usage: flowmir-sim [--table NAME] PROJECT.sim\n"
            "tables (CSV):\n"
            "  header   the header fields\n"
            "  ids      structure type and number of every airflow node and path\n"
            "  ambient  ambient values and mass fractions at each listing time\n"
            "  nodes    zone and junction temperature, gage pressure and density at each listing time\n"
            "  paths    path pressure difference and flows at each listing time\n"
            "  concs    node mass fractions at each listing time\n"
            "  days     day summaries: daily extremes and maxima\n"
            "  trailer  run statistics and the Newton iteration histogram\n"
            "without --table: header, nodes and paths\n");
}

static void printHeader(const SimFile& f)
{
    const SimHeader& h = f.h;
    const struct {
        const char* name;
        int value;
    } rows[] = {
        {"type", h.type},   {"nnode", h.nnode}, {"npath", h.npath}, {"ncont", h.ncont}, {"njct", h.njct},
        {"ndct", h.ndct},   {"step", h.step},   {"date0", h.date0}, {"time0", h.time0}, {"date1", h.date1},
        {"time1", h.time1}, {"pfres", h.pfres}, {"zfres", h.zfres}, {"zcres", h.zcres}, {"nafnd", h.nafnd},
        {"nccnd", h.nccnd}, {"nafpt", h.nafpt},
    };
    printf("field,value\n");
    for (const auto& r : rows) printf("%s,%d\n", r.name, r.value);
}

static void printIds(const SimFile& f)
{
    printf("kind,nr,styp,s_nr\n");
    for (size_t i = 0; i < f.nodeStyp.size(); i++) printf("node,%zu,%d,%d\n", i + 1, f.nodeStyp[i], f.nodeSnr[i]);
    for (size_t i = 0; i < f.pathStyp.size(); i++) printf("path,%zu,%d,%d\n", i + 1, f.pathStyp[i], f.pathSnr[i]);
}

// Species names from the project beside the results file, when it is there and agrees.
static std::vector<std::string> speciesNames;

static int quietErrors(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

static void readSpeciesNames(const char* simPath, int ncont)
{
    std::string prj = simPath;
    size_t dot = prj.rfind('.');
    size_t slash = prj.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return;
    prj = prj.substr(0, dot) + ".prj";
    FlowmirState* fms = flowmirNewState();
    if (!fms) return;
    fms->errorFcn = quietErrors;
    fms->quiet = 1;
    if (prj_read_species(fms, prj.c_str()) == ncont)
        for (int j = 0; j < ncont; j++) speciesNames.push_back(fms->ctm[j].name);
    species_free(fms);
    runctrl_free(fms);
    flowmirFreeState(fms);
}

// Column heads of the species: their names when the project names them, else Mf0, Mf1, ...
static std::string speciesColumn(int j, const char* prefix)
{
    if ((size_t)j < speciesNames.size()) return speciesNames[j];
    return prefix + std::to_string(j);
}

static void printContaminantColumns(const SimFile& f, const char* prefix)
{
    for (int j = 0; j < f.h.ncont; j++) printf(",%s", speciesColumn(j, prefix).c_str());
}

static void printAmbient(const SimFile& f)
{
    printf("day,daytype,time,Ta_K,Pb_Pa,Ws_m/s,Wd_deg");
    printContaminantColumns(f, "Mf");
    printf("\n");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_STEP_RECORD) continue;
        printf("%d,%d,%d,%.9g,%.9g,%.9g,%.9g", r.day, r.dayType, r.time, r.Ta, r.Pb, r.Ws, r.Wd);
        for (float v : r.ambMf) printf(",%.9g", v);
        printf("\n");
    }
}

static void printNodes(const SimFile& f)
{
    printf("day,time,node,styp,s_nr,T_K,Pg_Pa,D_kg/m3\n");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_STEP_RECORD) continue;
        for (const SimNodeRow& n : r.nodes)
            printf("%d,%d,%d,%d,%d,%.9g,%.9g,%.9g\n", r.day, r.time, n.nr, f.nodeStyp[n.nr - 1], f.nodeSnr[n.nr - 1],
                   n.T, n.Pg, n.D);
    }
}

static void printPaths(const SimFile& f)
{
    printf("day,time,path,styp,s_nr,dP_Pa,F0_kg/s,F1_kg/s\n");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_STEP_RECORD) continue;
        for (const SimPathRow& p : r.paths)
            printf("%d,%d,%d,%d,%d,%.9g,%.9g,%.9g\n", r.day, r.time, p.nr, f.pathStyp[p.nr - 1], f.pathSnr[p.nr - 1],
                   p.dP, p.F0, p.F1);
    }
}

static void printConcs(const SimFile& f)
{
    printf("day,time,node,styp,s_nr");
    printContaminantColumns(f, "Mf");
    printf("\n");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_STEP_RECORD) continue;
        for (const SimConcRow& c : r.concs) {
            printf("%d,%d,%d,%d,%d", r.day, r.time, c.nr, f.nodeStyp[c.nr - 1], f.nodeSnr[c.nr - 1]);
            for (float v : c.mf) printf(",%.9g", v);
            printf("\n");
        }
    }
}

// One row per daily value: what it is, whose it is, its maximum and (where kept) its minimum.
static void printDays(const SimFile& f)
{
    printf("day,daytype,time,what,nr,max,min\n");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_DAY_SUMMARY) continue;
        if (f.h.pfres || f.h.zfres || f.h.zcres) {
            printf("%d,%d,%d,Ta_K,0,%.9g,%.9g\n", r.day, r.dayType, r.time, r.Tmax, r.Tmin);
            printf("%d,%d,%d,Ws_m/s,0,%.9g,%.9g\n", r.day, r.dayType, r.time, r.Wmax, r.Wmin);
            for (size_t j = 0; j < r.ambMf.size(); j++)
                printf("%d,%d,%d,%s,%d,%.9g,\n", r.day, r.dayType, r.time, speciesColumn((int)j, "Mf").c_str(),
                       f.h.nafnd, r.ambMf[j]);
        }
        for (const SimPathRow& p : r.paths) {
            printf("%d,%d,%d,dP_Pa,%d,%.9g,\n", r.day, r.dayType, r.time, p.nr, p.dPmax);
            printf("%d,%d,%d,F_kg/s,%d,%.9g,\n", r.day, r.dayType, r.time, p.nr, p.Fmax);
        }
        for (const SimNodeRow& n : r.nodes)
            printf("%d,%d,%d,Pg_Pa,%d,%.9g,%.9g\n", r.day, r.dayType, r.time, n.nr, n.Pgmax, n.Pgmin);
        for (const SimConcRow& c : r.concs)
            for (size_t j = 0; j < c.mf.size(); j++)
                printf("%d,%d,%d,%s,%d,%.9g,\n", r.day, r.dayType, r.time, speciesColumn((int)j, "Mf").c_str(),
                       c.nr, c.mf[j]);
    }
}

static void printTrailer(const SimFile& f)
{
    static const char* const names[16] = {
        "n",           "time steps",      "time step iterations", "calls to solve_STS", "calls to SolveAf",
        "calls to FillAf", "calls to luf_sky_s", "calls to sa_pcg", "sa_pcg iterations", "calls to solve_Mft",
        "calls to solve_Mfn", "calls to luf_sky_n", "calls to sa_bcg", "sa_bcg iterations", "reserved 1",
        "reserved 2",
    };
    printf("field,value\n");
    for (int i = 0; i < 16; i++) printf("%s,%d\n", names[i], f.trailer[i]);
    for (size_t k = 0; k < f.jfacBins.size(); k++) printf("JfacBins[%zu],%d\n", k, f.jfacBins[k]);
}

static void printTable(const SimFile& f, const std::string& name)
{
    if (name == "header") printHeader(f);
    if (name == "ids") printIds(f);
    if (name == "ambient") printAmbient(f);
    if (name == "nodes") printNodes(f);
    if (name == "paths") printPaths(f);
    if (name == "concs") printConcs(f);
    if (name == "days") printDays(f);
    if (name == "trailer") printTrailer(f);
}

int main(int argc, char** argv)
{
    std::string table;
    const char* path = nullptr;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!strcmp(a, "-h") || !strcmp(a, "--help")) {
            usage(stdout);
            return 0;
        } else if (!strcmp(a, "--table") && i + 1 < argc) {
            table = argv[++i];
        } else if (!strncmp(a, "--table=", 8)) {
            table = a + 8;
        } else if (a[0] == '-' && a[1]) {
            fprintf(stderr, "flowmir-sim: unknown option %s\n", a);
            usage(stderr);
            return 2;
        } else if (!path) {
            path = a;
        } else {
            fprintf(stderr, "flowmir-sim: one results file at a time\n");
            return 2;
        }
    }
    if (!path) {
        usage(stderr);
        return 2;
    }
    bool known = table.empty();
    for (const char* t : tableNames) known = known || table == t;
    if (!known) {
        fprintf(stderr, "flowmir-sim: unknown table %s\n", table.c_str());
        usage(stderr);
        return 2;
    }

    SimFile f;
    std::string why;
    if (!simRead(path, &f, &why)) {
        fprintf(stderr, "flowmir-sim: %s: %s\n", path, why.c_str());
        return 2;
    }
    readSpeciesNames(path, f.h.ncont);
    if (!table.empty()) {
        printTable(f, table);
    } else {
        printHeader(f);
        printf("\n");
        printNodes(f);
        printf("\n");
        printPaths(f);
    }
    return fflush(stdout) == 0 ? 0 : 2;
}
