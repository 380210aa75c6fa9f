// flowmir-sim: prints a ".sim" results file as CSV tables.
//
//   flowmir-sim [--table NAME] [--project PROJECT.prj] [--wide] [--out FILE] PROJECT.sim
//
// The species columns carry the species' names when the project file is beside the results
// (PROJECT.prj) and simulates as many species; otherwise Mf0, Mf1, ...
// Without --table it prints the header, the node table and the path table, each headed by its
// column line and separated by an empty line. Files that are not complete results files, and
// names of anything but a regular file (a directory, a device, a FIFO), are refused with a
// one-line message and exit status 2 before anything is printed.
//
// For people and spreadsheets: --project names the zones and the ends of every path, --wide
// writes one row per listing time with a column per zone or path quantity, and either adds
// the date and clock time beside the day and the seconds.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/state.h"
#include "flowmir/flowmir.h"
#include "project/prj_read.h"
#include "project/run_control.h"
#include "results/simlabels.h"
#include "results/simread.h"
#include "support/timeconv.h"
#include "transport/species.h"

static const char* const tableNames[] = {"header", "ids", "ambient", "nodes", "paths", "concs", "days", "trailer"};

static void usage(FILE* out)
{
    fprintf(out,
            "usage: flowmir-sim [--table NAME] [--project PROJECT.prj] [--wide] [--out FILE] PROJECT.sim\n"
            "tables (CSV):\n"
            "  header   the header fields\n"
            "  ids      structure type and number of every airflow node and path\n"
            "  ambient  ambient values and mass fractions at each listing time\n"
            "  nodes    zone and junction temperature, gage pressure and density at each listing time\n"
            "  paths    path pressure difference and flows at each listing time\n"
            "  concs    node mass fractions at each listing time\n"
            "  days     day summaries: daily extremes and maxima\n"
            "  trailer  run statistics and the Newton iteration histogram\n"
            "without --table: header, nodes and paths\n"
            "options:\n"
            "  --project PRJ  name zones (their names), junctions (J<n>) and paths (P<n> paths,\n"
            "                 D<n> duct segments, T<n> terminals, L<n> duct leaks) with the names\n"
            "                 of their ends (from, to; \"ambient\" for the outdoors), and add date\n"
            "                 and clock columns\n"
            "  --wide         nodes, paths and concs with one row per listing time and one column\n"
            "                 per quantity of each node or path, headed NAME:QUANTITY; adds date\n"
            "                 and clock columns\n"
            "  --out FILE     write the table to FILE instead of standard output; without --table\n"
            "                 each table goes to FILE with -header, -nodes, -paths before its\n"
            "                 extension\n");
}

// Where the tables go, and how they are labelled.
static FILE* out = stdout;
static bool people = false;  // date and clock columns, names
static bool wide = false;
static SimLabels labels;

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
    fprintf(out, "field,value\n");
    for (const auto& r : rows) fprintf(out, "%s,%d\n", r.name, r.value);
}

static void printIds(const SimFile& f)
{
    fprintf(out, "kind,nr,styp,s_nr\n");
    for (size_t i = 0; i < f.nodeStyp.size(); i++) fprintf(out, "node,%zu,%d,%d\n", i + 1, f.nodeStyp[i], f.nodeSnr[i]);
    for (size_t i = 0; i < f.pathStyp.size(); i++) fprintf(out, "path,%zu,%d,%d\n", i + 1, f.pathStyp[i], f.pathSnr[i]);
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
    for (int j = 0; j < f.h.ncont; j++) fprintf(out, ",%s", speciesColumn(j, prefix).c_str());
}

// The date and clock time of a record, after its day and seconds.
static void printWhen(const SimRecord& r)
{
    if (!people) return;
    char date[16], clock[16];
    datestr(nullptr, r.day, date);
    snprintf(clock, sizeof clock, "%02d:%02d:%02d", r.time / 3600, r.time % 3600 / 60, r.time % 60);
    fprintf(out, ",%s,%s", date, clock);
}

static const char* whenColumns()
{
    return people ? ",date,clock" : "";
}

// The name of a path in wide column heads: its label and its ends.
static std::string pathHead(size_t i)
{
    if (labels.from[i].empty() && labels.to[i].empty()) return labels.path[i];
    return labels.path[i] + " " + labels.from[i] + ">" + labels.to[i];
}

static void printAmbient(const SimFile& f)
{
    fprintf(out, "day,daytype,time%s,Ta_K,Pb_Pa,Ws_m/s,Wd_deg", whenColumns());
    printContaminantColumns(f, "Mf");
    fprintf(out, "\n");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_STEP_RECORD) continue;
        fprintf(out, "%d,%d,%d", r.day, r.dayType, r.time);
        printWhen(r);
        fprintf(out, ",%.9g,%.9g,%.9g,%.9g", r.Ta, r.Pb, r.Ws, r.Wd);
        for (float v : r.ambMf) fprintf(out, ",%.9g", v);
        fprintf(out, "\n");
    }
}

static void printNodes(const SimFile& f)
{
    if (wide) {
        // The nodes the records list (the ambient has no row).
        std::vector<bool> listed(labels.node.size(), false);
        for (const SimRecord& r : f.records)
            if (r.kind == SIM_STEP_RECORD)
                for (const SimNodeRow& n : r.nodes) listed[n.nr - 1] = true;
        fprintf(out, "day,time%s", whenColumns());
        for (size_t i = 0; i < listed.size(); i++) {
            const char* n = labels.node[i].c_str();
            if (listed[i]) fprintf(out, ",%s:T_K,%s:Pg_Pa,%s:D_kg/m3", n, n, n);
        }
        fprintf(out, "\n");
        for (const SimRecord& r : f.records) {
            if (r.kind != SIM_STEP_RECORD || r.nodes.empty()) continue;
            std::vector<const SimNodeRow*> row(labels.node.size(), nullptr);
            for (const SimNodeRow& n : r.nodes) row[n.nr - 1] = &n;
            fprintf(out, "%d,%d", r.day, r.time);
            printWhen(r);
            for (size_t i = 0; i < row.size(); i++)
                if (const SimNodeRow* n = row[i])
                    fprintf(out, ",%.9g,%.9g,%.9g", n->T, n->Pg, n->D);
                else if (listed[i])
                    fprintf(out, ",,,");
            fprintf(out, "\n");
        }
        return;
    }
    fprintf(out, "day,time%s,node,styp,s_nr%s,T_K,Pg_Pa,D_kg/m3\n", whenColumns(), people ? ",name" : "");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_STEP_RECORD) continue;
        for (const SimNodeRow& n : r.nodes) {
            fprintf(out, "%d,%d", r.day, r.time);
            printWhen(r);
            fprintf(out, ",%d,%d,%d", n.nr, f.nodeStyp[n.nr - 1], f.nodeSnr[n.nr - 1]);
            if (people) fprintf(out, ",%s", labels.node[n.nr - 1].c_str());
            fprintf(out, ",%.9g,%.9g,%.9g\n", n.T, n.Pg, n.D);
        }
    }
}

static void printPaths(const SimFile& f)
{
    if (wide) {
        fprintf(out, "day,time%s", whenColumns());
        for (size_t i = 0; i < labels.path.size(); i++) {
            std::string p = pathHead(i);
            fprintf(out, ",%s:dP_Pa,%s:F0_kg/s,%s:F1_kg/s", p.c_str(), p.c_str(), p.c_str());
        }
        fprintf(out, "\n");
        for (const SimRecord& r : f.records) {
            if (r.kind != SIM_STEP_RECORD || r.paths.empty()) continue;
            std::vector<const SimPathRow*> row(labels.path.size(), nullptr);
            for (const SimPathRow& p : r.paths) row[p.nr - 1] = &p;
            fprintf(out, "%d,%d", r.day, r.time);
            printWhen(r);
            for (const SimPathRow* p : row)
                if (p)
                    fprintf(out, ",%.9g,%.9g,%.9g", p->dP, p->F0, p->F1);
                else
                    fprintf(out, ",,,");
            fprintf(out, "\n");
        }
        return;
    }
    fprintf(out, "day,time%s,path,styp,s_nr%s,dP_Pa,F0_kg/s,F1_kg/s\n", whenColumns(), people ? ",label,from,to" : "");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_STEP_RECORD) continue;
        for (const SimPathRow& p : r.paths) {
            size_t i = p.nr - 1;
            fprintf(out, "%d,%d", r.day, r.time);
            printWhen(r);
            fprintf(out, ",%d,%d,%d", p.nr, f.pathStyp[i], f.pathSnr[i]);
            if (people) fprintf(out, ",%s,%s,%s", labels.path[i].c_str(), labels.from[i].c_str(), labels.to[i].c_str());
            fprintf(out, ",%.9g,%.9g,%.9g\n", p.dP, p.F0, p.F1);
        }
    }
}

// The concentration rows are the airflow nodes' rows.
static std::string concNode(int nr)
{
    return (size_t)nr <= labels.node.size() ? labels.node[nr - 1] : "";
}

static void printConcs(const SimFile& f)
{
    if (wide) {
        fprintf(out, "day,time%s", whenColumns());
        size_t nc = 0;
        for (const SimRecord& r : f.records)
            if (r.kind == SIM_STEP_RECORD) nc = std::max(nc, r.concs.size());
        for (size_t i = 0; i < nc; i++)
            for (int j = 0; j < f.h.ncont; j++)
                fprintf(out, ",%s:%s", concNode((int)i + 1).c_str(), speciesColumn(j, "Mf").c_str());
        fprintf(out, "\n");
        for (const SimRecord& r : f.records) {
            if (r.kind != SIM_STEP_RECORD || r.concs.empty()) continue;
            std::vector<const SimConcRow*> row(nc, nullptr);
            for (const SimConcRow& c : r.concs) row[c.nr - 1] = &c;
            fprintf(out, "%d,%d", r.day, r.time);
            printWhen(r);
            for (const SimConcRow* c : row)
                for (int j = 0; j < f.h.ncont; j++)
                    if (c && (size_t)j < c->mf.size())
                        fprintf(out, ",%.9g", c->mf[j]);
                    else
                        fprintf(out, ",");
            fprintf(out, "\n");
        }
        return;
    }
    fprintf(out, "day,time%s,node,styp,s_nr%s", whenColumns(), people ? ",name" : "");
    printContaminantColumns(f, "Mf");
    fprintf(out, "\n");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_STEP_RECORD) continue;
        for (const SimConcRow& c : r.concs) {
            fprintf(out, "%d,%d", r.day, r.time);
            printWhen(r);
            fprintf(out, ",%d,%d,%d", c.nr, f.nodeStyp[c.nr - 1], f.nodeSnr[c.nr - 1]);
            if (people) fprintf(out, ",%s", concNode(c.nr).c_str());
            for (float v : c.mf) fprintf(out, ",%.9g", v);
            fprintf(out, "\n");
        }
    }
}

// One row per daily value: what it is, whose it is, its maximum and (where kept) its minimum.
static void printDays(const SimFile& f)
{
    fprintf(out, "day,daytype,time,what,nr,max,min\n");
    for (const SimRecord& r : f.records) {
        if (r.kind != SIM_DAY_SUMMARY) continue;
        if (f.h.pfres || f.h.zfres || f.h.zcres) {
            fprintf(out, "%d,%d,%d,Ta_K,0,%.9g,%.9g\n", r.day, r.dayType, r.time, r.Tmax, r.Tmin);
            fprintf(out, "%d,%d,%d,Ws_m/s,0,%.9g,%.9g\n", r.day, r.dayType, r.time, r.Wmax, r.Wmin);
            for (size_t j = 0; j < r.ambMf.size(); j++)
                fprintf(out, "%d,%d,%d,%s,%d,%.9g,\n", r.day, r.dayType, r.time, speciesColumn((int)j, "Mf").c_str(),
                        f.h.nafnd, r.ambMf[j]);
        }
        for (const SimPathRow& p : r.paths) {
            fprintf(out, "%d,%d,%d,dP_Pa,%d,%.9g,\n", r.day, r.dayType, r.time, p.nr, p.dPmax);
            fprintf(out, "%d,%d,%d,F_kg/s,%d,%.9g,\n", r.day, r.dayType, r.time, p.nr, p.Fmax);
        }
        for (const SimNodeRow& n : r.nodes)
            fprintf(out, "%d,%d,%d,Pg_Pa,%d,%.9g,%.9g\n", r.day, r.dayType, r.time, n.nr, n.Pgmax, n.Pgmin);
        for (const SimConcRow& c : r.concs)
            for (size_t j = 0; j < c.mf.size(); j++)
                fprintf(out, "%d,%d,%d,%s,%d,%.9g,\n", r.day, r.dayType, r.time, speciesColumn((int)j, "Mf").c_str(),
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
    fprintf(out, "field,value\n");
    for (int i = 0; i < 16; i++) fprintf(out, "%s,%d\n", names[i], f.trailer[i]);
    for (size_t k = 0; k < f.jfacBins.size(); k++) fprintf(out, "JfacBins[%zu],%d\n", k, f.jfacBins[k]);
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

// FILE with -NAME before its extension: the file of one table when several are written.
static std::string tableFile(const std::string& file, const char* name)
{
    size_t slash = file.rfind('/');
    size_t dot = file.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return file + "-" + name;
    return file.substr(0, dot) + "-" + name + file.substr(dot);
}

// Writes one table to outFile (standard output when empty); false when it cannot be written.
static bool writeTable(const SimFile& f, const std::string& name, const std::string& outFile)
{
    out = outFile.empty() ? stdout : fopen(outFile.c_str(), "w");
    if (!out) {
        fprintf(stderr, "flowmir-sim: %s: cannot be written\n", outFile.c_str());
        return false;
    }
    printTable(f, name);
    bool ok = fflush(out) == 0 && !ferror(out);
    if (out != stdout && fclose(out) != 0) ok = false;
    out = stdout;
    if (!ok && !outFile.empty()) fprintf(stderr, "flowmir-sim: %s: cannot be written\n", outFile.c_str());
    return ok;
}

int main(int argc, char** argv)
{
    std::string table, outFile;
    const char* path = nullptr;
    const char* project = nullptr;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!strcmp(a, "-h") || !strcmp(a, "--help")) {
            usage(stdout);
            return 0;
        } else if (!strcmp(a, "--table") && i + 1 < argc) {
            table = argv[++i];
        } else if (!strncmp(a, "--table=", 8)) {
            table = a + 8;
        } else if (!strcmp(a, "--project") && i + 1 < argc) {
            project = argv[++i];
        } else if (!strncmp(a, "--project=", 10)) {
            project = a + 10;
        } else if (!strcmp(a, "--out") && i + 1 < argc) {
            outFile = argv[++i];
        } else if (!strncmp(a, "--out=", 6)) {
            outFile = a + 6;
        } else if (!strcmp(a, "--wide")) {
            wide = true;
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
    people = wide || project;
    simLabelsPlain(f, &labels);
    if (project && !simLabelsFromProject(f, project, &labels, &why)) {
        fprintf(stderr, "flowmir-sim: %s: %s\n", project, why.c_str());
        return 2;
    }
    if (!labels.species.empty())
        speciesNames = labels.species;
    else
        readSpeciesNames(path, f.h.ncont);
    if (!table.empty()) return writeTable(f, table, outFile) ? 0 : 2;
    if (!outFile.empty()) {
        for (const char* t : {"header", "nodes", "paths"})
            if (!writeTable(f, t, tableFile(outFile, t))) return 2;
        return 0;
    }
    printHeader(f);
    fprintf(out, "\n");
    printNodes(f);
    fprintf(out, "\n");
    printPaths(f);
    return fflush(stdout) == 0 ? 0 : 2;
}
