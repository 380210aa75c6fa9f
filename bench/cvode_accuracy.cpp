// Variable-step integration against the implicit transport at equal accuracy: a generated
// building (corridor floors with supply ducts and wind profiles, two trace species with
// sources on every floor) under generated hourly weather, run by the implicit method in
// hourly and shorter steps and by CVODE (BDF) at several tolerances, each in a child process of
// its own, every run's hourly concentrations compared with a small-step reference (the
// trapezoidal scheme in 1-minute steps):
//
//   bench_cvode_accuracy [--zones N] [--days D] [--no-reference] [--method NAME]... [--keep]
//
// Prints per run the processor time of the whole child (reading and set-up included), the
// time steps (CVODE: internal steps) and the error against the reference: the largest and the
// root-mean-square difference over every listing hour, zone and junction, per species scaled
// by that species' largest reference value. --no-reference runs the methods alone, for their
// processor times over a longer period; --method runs only the methods named (as printed).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "building_gen.h"
#include "engine/state.h"
#include "flowmir/flowmir.h"
#include "results/simread.h"

namespace
{

const double PI = 3.14159265358979;


// Hourly weather from January 1: a daily temperature swing and a wind that strengthens in the
// afternoon and veers slowly, so that the flows change every hour.
std::string weather(int days)
{
    std::string out = "WeatherFile Flowpad 2.0\nGenerated hourly weather\n1/1 " + monthDay(days) + "\n";
    char line[160];
    for (int d = 1; d <= days; d++) {
        snprintf(line, sizeof line, "%s %d %d 0 0.0\n", monthDay(d).c_str(), (d - 1) % 7 + 1, (d - 1) % 7 + 1);
        out += line;
    }
    for (int h = 0; h <= days * 24; h++) {
        int d = h == 0 ? 1 : (h - 1) / 24 + 1;
        int hour = h == 0 ? 0 : (h - 1) % 24 + 1;
        double T = 275.15 + 6.0 * std::cos(2 * PI * (hour - 15) / 24.0);
        double ws = 3.5 + 2.0 * std::sin(2 * PI * (hour - 9) / 24.0) + 1.5 * std::sin(2 * PI * h / (24 * 3.7));
        double wd = std::fmod(200.0 + 2.5 * h, 360.0);
        snprintf(line, sizeof line, "%s %d:00:00 %.2f 101325 %.2f %.0f 6.0 0 0 0 0 0\n", monthDay(d).c_str(), hour, T,
                 ws < 0.0 ? 0.0 : ws, wd);
        out += line;
    }
    return out;
}


struct Method {
    const char* name;
    int solver;       // 0 implicit, 2 CVODE
    const char* step; // the run control's time step (implicit)
    const char* theta;
    const char* rtol; // CVODE
};

std::string project(int zones, int days, const Method& m, BuildingCounts* counts)
{
    BuildingOptions opt;
    opt.plan = FloorPlan::Corridor;
    opt.seed = 1;
    opt.ducts = true;
    opt.windProfiles = true;
    opt.species = 2;
    sizeForZones(opt, zones);
    std::string prj = generateBuilding(opt, counts);
    prj = replaced(prj, "null\n", "w.wth\n");
    prj = replaced(prj, "\n0 1 30 1e-05 1e-05 0.75 0 50 0\n", "\n1 1 30 1e-05 1e-05 0.75 0 50 0\n");
    // Trace species: the implicit scheme's theta; the combined system by the sparse direct
    // method for CVODE.
    prj = replaced(prj, "\n0 1 100 0.0001 1e-15 1.1 1 0\n", std::string("\n0 1 100 0.0001 1e-15 1.1 ") + m.theta + " 0\n");
    prj = replaced(prj, "\n1 0 100 0.0001 1e-15 1.1 0\n", "\n0 1 100 0.0001 1e-15 1.1 0\n");
    char solverLine[32];
    snprintf(solverLine, sizeof solverLine, "\n%d 0 0 0.1 0 0\n", m.solver);
    prj = replaced(prj, "\n0 0 0 0.1 0 0\n", solverLine);
    prj = replaced(prj, "\n0 1e-06 1e-13 100\n", std::string("\n0 ") + m.rtol + " 1e-13 0\n");
    std::string period = "Jan01 00:00:00 Jan01 00:00:00 " + std::to_string(days) + " 24:00:00 " + m.step +
                         " 01:00:00 24:00:00\n";
    prj = replaced(prj, "Jan01 00:00:00 Jan01 00:00:00 Jan01 24:00:00 00:05:00 01:00:00 01:00:00\n", period);
    // Concentrations only in the results file.
    prj = replaced(prj, "\n0 0 1 1 1\n", "\n0 0 0 0 1\n");
    return prj;
}


struct Outcome {
    int rc = -1;
    int steps = 0;
    int errors = 0;
    double cpu = 0.0;
};

bool runChild(const std::string& path, Outcome* out)
{
    int fd[2];
    if (pipe(fd) != 0) return false;
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        close(fd[0]);
        Outcome o;
        FlowmirState* fms = flowmirNewState();
        flowmirSetQuiet(fms, 1);
        o.rc = SetupSimulation(fms, path.c_str(), 0, "", nullptr);
        o.steps = fms->stepCount;
        o.errors = fms->errorCount;
        ssize_t n = write(fd[1], &o, sizeof o);
        _exit(n == (ssize_t)sizeof o ? 0 : 3);
    }
    close(fd[1]);
    ssize_t n = read(fd[0], out, sizeof *out);
    close(fd[0]);
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) != pid) return false;
    out->cpu = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + 1e-6 * (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
    return n == (ssize_t)sizeof *out && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The step records of a results file, by listing time.
std::vector<const SimRecord*> steps(const SimFile& sim)
{
    std::vector<const SimRecord*> out;
    for (const SimRecord& r : sim.records)
        if (r.kind == SIM_STEP_RECORD) out.push_back(&r);
    return out;
}

struct Error {
    double max = 0.0, rms = 0.0;
    bool ok = false;
};

// Per species scaled by its largest reference value; the worse species counts.
Error compare(const SimFile& ref, const SimFile& run)
{
    Error e;
    std::vector<const SimRecord*> a = steps(ref), b = steps(run);
    if (a.size() != b.size() || a.empty()) return e;
    int ns = (int)a[0]->concs[0].mf.size();
    for (int j = 0; j < ns; j++) {
        double scale = 0.0, sum = 0.0, worst = 0.0;
        long n = 0;
        for (const SimRecord* r : a)
            for (const SimConcRow& c : r->concs) scale = std::max(scale, (double)c.mf[j]);
        if (scale <= 0.0) continue;
        for (size_t k = 0; k < a.size(); k++) {
            if (a[k]->day != b[k]->day || a[k]->time != b[k]->time || a[k]->concs.size() != b[k]->concs.size())
                return e;
            for (size_t i = 0; i < a[k]->concs.size(); i++) {
                double d = (b[k]->concs[i].mf[j] - a[k]->concs[i].mf[j]) / scale;
                worst = std::max(worst, fabs(d));
                sum += d * d;
                n++;
            }
        }
        e.max = std::max(e.max, worst);
        e.rms = std::max(e.rms, sqrt(sum / (double)n));
    }
    e.ok = true;
    return e;
}

} // namespace

int main(int argc, char** argv)
{
    int zones = 1000, days = 30;
    bool keep = false, withReference = true;
    std::vector<std::string> only;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--zones") && i + 1 < argc)
            zones = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--days") && i + 1 < argc)
            days = atoi(argv[++i]);
        else if (!strcmp(argv[i], "--keep"))
            keep = true;
        else if (!strcmp(argv[i], "--no-reference"))
            withReference = false;
        else if (!strcmp(argv[i], "--method") && i + 1 < argc)
            only.push_back(argv[++i]);
        else {
            fprintf(stderr, "usage: bench_cvode_accuracy [--zones N] [--days D] [--no-reference] [--method NAME]... "
                            "[--keep]\n");
            return 2;
        }
    }
    if (days < 1 || days > 365) {
        fprintf(stderr, "cvode_accuracy: --days from 1 to 365\n");
        return 2;
    }
    std::string dir = makeScratchFolder("cvode_accuracy");
    if (dir.empty() || !writeText(dir + "/w.wth", weather(days))) return 1;

    const Method reference = {"trapezoidal 1 min", 0, "00:01:00", "0.5", "1e-6"};
    const Method methods[] = {
        {"implicit 1 h", 0, "01:00:00", "1", "1e-6"},        {"implicit 10 min", 0, "00:10:00", "1", "1e-6"},
        {"implicit 1 min", 0, "00:01:00", "1", "1e-6"},      {"trapezoidal 1 h", 0, "01:00:00", "0.5", "1e-6"},
        {"trapezoidal 15 min", 0, "00:15:00", "0.5", "1e-6"}, {"trapezoidal 5 min", 0, "00:05:00", "0.5", "1e-6"},
        {"cvode 1e-3", 2, "01:00:00", "1", "1e-3"},          {"cvode 1e-4", 2, "01:00:00", "1", "1e-4"},
        {"cvode 1e-5", 2, "01:00:00", "1", "1e-5"},
    };

    BuildingCounts counts;
    auto run = [&](const Method& m, const std::string& name, SimFile* sim, Outcome* o) {
        std::string path = dir + "/" + name;
        if (!writeText(path + ".prj", project(zones, days, m, &counts))) return false;
        if (!runChild(path, o) || o->rc != 0) return false;
        std::string why;
        return simRead((path + ".sim").c_str(), sim, &why);
    };
    SimFile ref;
    Outcome refOut;
    if (withReference && !run(reference, "ref", &ref, &refOut)) {
        fprintf(stderr, "cvode_accuracy: the reference run failed (%s)\n", dir.c_str());
        return 1;
    }
    bool header = false;
    auto printHeader = [&] {
        if (header) return;
        header = true;
        printf("%d zones, %d paths, %d junctions, 2 species, %d days of hourly weather, listings hourly\n",
               counts.zones, counts.paths, counts.junctions, days);
        printf("%-20s %10s %10s %12s %12s\n", "method", "cpu s", "steps", "max error", "rms error");
        if (withReference)
            printf("%-20s %10.2f %10d %12s %12s\n", reference.name, refOut.cpu, refOut.steps, "(reference)", "");
        fflush(stdout);
    };
    if (withReference) printHeader();
    int k = 0;
    for (const Method& m : methods) {
        if (!only.empty() && std::find(only.begin(), only.end(), m.name) == only.end()) continue;
        SimFile sim;
        Outcome o;
        char nameBuf[16];
        snprintf(nameBuf, sizeof nameBuf, "m%d", ++k);
        std::string name = nameBuf;
        if (!run(m, name, &sim, &o)) {
            printHeader();
            printf("%-20s failed\n", m.name);
            continue;
        }
        printHeader();
        if (!withReference) {
            printf("%-20s %10.2f %10d\n", m.name, o.cpu, o.steps);
            fflush(stdout);
            remove((dir + "/" + name + ".sim").c_str());
            continue;
        }
        Error e = compare(ref, sim);
        if (e.ok)
            printf("%-20s %10.2f %10d %12.3e %12.3e\n", m.name, o.cpu, o.steps, e.max, e.rms);
        else
            printf("%-20s %10.2f %10d %12s\n", m.name, o.cpu, o.steps, "mismatch");
        fflush(stdout);
        if (!keep) {
            remove((dir + "/" + name + ".sim").c_str());
        }
    }
    if (keep)
        printf("files kept in %s\n", dir.c_str());
    else {
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) fprintf(stderr, "cvode_accuracy: could not remove %s\n", dir.c_str());
    }
    return 0;
}
