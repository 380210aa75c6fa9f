// A year of hourly transient steps for generated buildings of about 100 and 1,000 zones (corridor
// floors with supply ducts and wind profiles) under a generated year of hourly weather, each run
// through the library in a child process of its own:
//
//   bench_year_run [--zones N]... [--days D | --hours H] [--pcg] [--solver auto|skyline|ldlt]...
//                  [--repeat R] [--keep] [--species 0|1|2] [--controls | --compare-controls]
//                  [--sql | --compare-sql] [--compare-fmi] [--list H] [--mfsolver 0|1 | --compare-sts]
//                  [--step MINUTES]
//
// Prints per building and solver the zones, paths, steps, the processor time of the whole run
// in the child (reading and set-up included; the median of R runs), the time per step,
// factorisations and assemblies of the airflow equations per step, and the child's peak
// resident memory (ru_maxrss). Results are listed once a day so that the results file of the
// large building stays small; --keep leaves the scratch folder for a look at the log and the
// results. The airflow equations are solved by the skyline method the generator chooses,
// factorised as --solver says (several --solver options run side by side), or with --pcg by
// preconditioned conjugate gradients. --species N adds N trace species (carbon dioxide in
// every zone, fine particles on every floor) solved by the implicit transport each step;
// --controls a control network on every floor's supply fan (held at the design flow);
// --compare-controls runs the building without and with it, alternately (rows "+ctl").
// --sql writes the results database (path flows, node flows and concentrations) as well;
// --compare-sql runs without and with it, alternately (rows "+sql", with the database's size,
// its size per listing time and the processor time added to the run without it). --compare-fmi
// runs each building in batch and stepped by a host through the co-simulation interface (wind
// pressures from the weather, as in batch), alternately (rows "+fmi", with the processor time
// the stepping adds). --list H lists every H hours instead of daily. --mfsolver 1 transports the
// species by the short-time-step method instead of the implicit one; --compare-sts runs each
// building with both, alternately (rows "+sts", with the processor time the method adds); its
// explicit zone balances need a step below every zone's limit: --step sets the step of all runs
// (minutes dividing 60, default 60).
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
#include "flowmir/fmi.h"
#include "flowmir/flowmir.h"

namespace
{

const int DAYS_IN_YEAR = 365;
const double PI = 3.14159265358979;


// Hourly weather for the whole year: a seasonal and a daily temperature swing, a wind that
// strengthens in the afternoon and veers slowly round the compass, falling pressure fronts.
std::string yearWeather()
{
    std::string out = "WeatherFile Flowpad 2.0\nGenerated year of hourly weather for the year-run benchmark\n1/1 12/31\n";
    char line[160];
    for (int d = 1; d <= DAYS_IN_YEAR; d++) {
        int dow = (d - 1) % 7 + 1;
        snprintf(line, sizeof line, "%s %d %d 0 0.0\n", monthDay(d).c_str(), dow, dow);
        out += line;
    }
    for (int h = 0; h <= DAYS_IN_YEAR * 24; h++) {
        int d = h == 0 ? 1 : (h - 1) / 24 + 1;
        int hour = h == 0 ? 0 : (h - 1) % 24 + 1;
        double season = -std::cos(2 * PI * (h / 24.0 - 15) / 365.0);
        double daily = std::cos(2 * PI * (hour - 15) / 24.0);
        double T = 283.15 + 12.0 * season + 5.0 * daily;
        double P = 101325 + 800 * std::sin(2 * PI * h / (24 * 5.3));
        double ws = 3.5 + 2.0 * std::sin(2 * PI * (hour - 9) / 24.0) + 1.5 * std::sin(2 * PI * h / (24 * 3.7));
        double wd = std::fmod(200.0 + 0.9 * h, 360.0);
        double hr = 6.0 + 3.0 * season;
        snprintf(line, sizeof line, "%s %d:00:00 %.2f %.0f %.2f %.0f %.2f 0 0 0 0 0\n", monthDay(d).c_str(), hour, T,
                 P, ws < 0.0 ? 0.0 : ws, wd, hr);
        out += line;
    }
    return out;
}


// The generated building made a transient run of `days` days from January 1 under the weather
// file, hourly steps, results once a day.
std::string transientBuilding(int zones, int days, int hours, bool pcg, int species, bool controls, bool sql,
                              int listHours, bool sts, int stepMinutes, BuildingCounts* counts)
{
    BuildingOptions opt;
    opt.plan = FloorPlan::Corridor;
    opt.seed = 1;
    opt.ducts = true;
    opt.windProfiles = true;
    opt.species = species;
    opt.controls = controls;
    sizeForZones(opt, zones);
    std::string prj = generateBuilding(opt, counts);
    prj = replaced(prj, "null\n", "year.wth\n");
    prj = replaced(prj, "\n0 1 30 1e-05 1e-05 0.75 0 50 0\n", "\n1 1 30 1e-05 1e-05 0.75 0 50 0\n");
    if (pcg) prj = replaced(prj, "\n0 1 0 1e-06 1 1\n", "\n1 1 0 1e-06 1 1\n");
    // The end date as a day number of the year.
    std::string end = hours > 0 ? "1 " + std::to_string(hours) + ":00:00" : std::to_string(days) + " 24:00:00";
    char list[16];
    snprintf(list, sizeof list, "%02d:00:00", listHours);
    char step[32];
    snprintf(step, sizeof step, "%02d:%02d:00", stepMinutes / 60, stepMinutes % 60);
    std::string period = "Jan01 00:00:00 Jan01 00:00:00 " + end + " " + step + " " + list + " 24:00:00\n";
    prj = replaced(prj, "Jan01 00:00:00 Jan01 00:00:00 Jan01 24:00:00 00:05:00 01:00:00 01:00:00\n", period);
    // Run-control line 29: pfsql, zfsql, zcsql.
    if (sql) prj = replaced(prj, "\n0 0 0 0 0 0\n0 0 0 0 0\n1.2041", "\n0 0 0 0 0 0\n0 0 1 1 1\n1.2041");
    // Run-control line 21: the transport solver.
    if (sts) prj = replaced(prj, "\n0 0 0 0.1 0 0\n", "\n1 0 0 0.1 0 0\n");
    return prj;
}


struct Outcome {
    int rc = -1;
    int steps = 0;
    int errors = 0;
    int factorisations = 0;
    int assemblies = 0;
    double cpu = 0.0;
    long maxrssKiB = 0;
};

// A host stepping the run through the co-simulation interface to its end, as an energy
// simulator would (without setting anything).
int runStepped(FlowmirState* fms, const std::string& project, Outcome* o)
{
    fmiSetWindPressureMode(fms, 0);
    int rc = fmiSetupSimulation(fms, project.c_str());
    if (rc != 0) return rc;
    int endDate = fmiGetSimulationEndDate(fms), endTime = fmiGetSimulationEndTime(fms);
    while (!(fmiGetCurrentDate(fms) == endDate && fmiGetCurrentTime(fms) >= endTime))
        if ((rc = fmiDoCoSimStep(fms, 1)) != 0) break;
    o->steps = fms->stepCount;
    o->errors = fms->errorCount;
    o->factorisations = fms->nLufSkyS + fms->nSaPcg;
    o->assemblies = fms->nFillAf;
    fmiEndSimulation(fms);
    return rc;
}

// Runs the project through the library in a child process, in batch or stepped by a host; its
// outcome, processor time and peak memory.
bool runChild(const std::string& project, int factor, bool stepped, Outcome* out)
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
        flowmirSetFactorisation(fms, factor);
        if (stepped) {
            o.rc = runStepped(fms, project, &o);
        } else {
            o.rc = SetupSimulation(fms, project.c_str(), 0, "", nullptr);
            o.steps = fms->stepCount;
            o.errors = fms->errorCount;
            o.factorisations = fms->nLufSkyS + fms->nSaPcg;
            o.assemblies = fms->nFillAf;
        }
        ssize_t n = write(fd[1], &o, sizeof o);
        _exit(n == (ssize_t)sizeof o ? 0 : 3);
    }
    close(fd[1]);
    ssize_t n = read(fd[0], out, sizeof *out);
    close(fd[0]);
    int status = 0;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) != pid) return false;
    out->maxrssKiB = ru.ru_maxrss;
    out->cpu = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + 1e-6 * (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
    return n == (ssize_t)sizeof *out && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Peak memory of a child that runs nothing: what every child starts with.
long baselineKiB()
{
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    int status;
    struct rusage ru;
    if (wait4(pid, &status, 0, &ru) != pid) return 0;
    return ru.ru_maxrss;
}

// The results database of a run: its size and its number of listing times (TIME rows).
struct DbSize {
    double bytes = 0;
    long listings = 0;
};

DbSize databaseSize(const std::string& path)
{
    DbSize d;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) d.bytes = (double)st.st_size;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM TIME", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            d.listings = (long)sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return d;
}

// A building as run: with or without the control network and the results database.
struct Variant {
    bool ctl, sql, fmi, sts;
};

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> zoneCounts;
    std::vector<std::string> solvers;
    int days = DAYS_IN_YEAR, hours = 0, repeat = 1;
    bool keep = false, pcg = false;
    int species = 0;
    bool controls = false, compareControls = false;
    bool sql = false, compareSql = false, compareFmi = false;
    int listHours = 24;
    bool sts = false, compareSts = false;
    int stepMinutes = 60;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--zones") && i + 1 < argc) {
            zoneCounts.push_back(atoi(argv[++i]));
        } else if (!strcmp(argv[i], "--days") && i + 1 < argc) {
            days = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--hours") && i + 1 < argc) {
            hours = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--repeat") && i + 1 < argc) {
            repeat = std::max(1, atoi(argv[++i]));
        } else if (!strcmp(argv[i], "--solver") && i + 1 < argc) {
            solvers.push_back(argv[++i]);
        } else if (!strcmp(argv[i], "--pcg")) {
            pcg = true;
        } else if (!strcmp(argv[i], "--controls")) {
            controls = true;
        } else if (!strcmp(argv[i], "--compare-controls")) {
            compareControls = true;
        } else if (!strcmp(argv[i], "--sql")) {
            sql = true;
        } else if (!strcmp(argv[i], "--compare-sql")) {
            compareSql = true;
        } else if (!strcmp(argv[i], "--compare-fmi")) {
            compareFmi = true;
        } else if (!strcmp(argv[i], "--list") && i + 1 < argc) {
            listHours = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--mfsolver") && i + 1 < argc) {
            sts = atoi(argv[++i]) == 1;
        } else if (!strcmp(argv[i], "--step") && i + 1 < argc) {
            stepMinutes = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--compare-sts")) {
            compareSts = true;
        } else if (!strcmp(argv[i], "--species") && i + 1 < argc) {
            species = atoi(argv[++i]);
        } else if (!strcmp(argv[i], "--keep")) {
            keep = true;
        } else {
            fprintf(stderr, "usage: bench_year_run [--zones N]... [--days D | --hours H] [--pcg] "
                            "[--solver auto|skyline|ldlt]... [--repeat R] [--keep] [--species 0|1|2] "
                            "[--controls | --compare-controls] [--sql | --compare-sql] [--compare-fmi] [--list H] "
                            "[--mfsolver 0|1 | --compare-sts] [--step MINUTES]\n");
            return 2;
        }
    }
    if (days < 1 || days > DAYS_IN_YEAR) days = DAYS_IN_YEAR;
    if (hours < 0 || hours > 24) hours = 0;
    if (listHours < 1 || listHours > 24 || 24 % listHours != 0) {
        fprintf(stderr, "year_run: --list takes a divisor of 24 hours\n");
        return 2;
    }
    if (compareFmi && (compareSql || compareControls)) {
        fprintf(stderr, "year_run: --compare-fmi compares alone\n");
        return 2;
    }
    if (zoneCounts.empty()) zoneCounts = {100, 1000};
    if (solvers.empty()) solvers = {"auto"};
    for (const std::string& s : solvers)
        if (s != "auto" && s != "skyline" && s != "ldlt") {
            fprintf(stderr, "year_run: --solver takes auto, skyline or ldlt\n");
            return 2;
        }

    std::string dir = makeScratchFolder("flowmir-year");
    if (dir.empty()) {
        perror("year_run: scratch folder");
        return 2;
    }
    if (!writeText(dir + "/year.wth", yearWeather())) {
        fprintf(stderr, "year_run: cannot write the weather file\n");
        return 2;
    }

    if (stepMinutes == 60)
        printf("hourly steps");
    else
        printf("steps of %d min", stepMinutes);
    if (hours > 0)
        printf(" over %d hours", hours);
    else
        printf(" over %d days", days);
    if (listHours == 24)
        printf("; results listed daily");
    else
        printf("; results listed every %d h", listHours);
    printf("; airflow equations by %s; processor time, median of %d; baseline peak memory of a child %ld "
           "KiB\n",
           pcg ? "conjugate gradients" : "the skyline method", repeat, baselineKiB());
    bool anySql = sql || compareSql;
    printf("%7s %7s %7s %8s %7s %10s %12s %8s %8s %10s", "zones", "paths", "ducts", "solver", "steps", "cpu s",
           "ms/step", "fact/st", "asm/st", "peak MiB");
    if (anySql) printf(" %9s %9s %9s", "db MiB", "KiB/list", "+cpu %");
    if (compareFmi) printf(" %9s", "+cpu %");
    if (compareSts) printf(" %9s", "+cpu %");
    printf("\n");
    int failures = 0;
    for (int zones : zoneCounts) {
        // The variants of the building: as asked, or without and with the control network
        // when they are compared; their runs alternate so that drifts of the machine's speed
        // fall on both alike.
        std::vector<Variant> variants;
        for (bool ctl : compareControls ? std::vector<bool>{false, true} : std::vector<bool>{controls})
            for (bool db : compareSql ? std::vector<bool>{false, true} : std::vector<bool>{sql})
                for (bool fmi : compareFmi ? std::vector<bool>{false, true} : std::vector<bool>{false})
                    for (bool m : compareSts ? std::vector<bool>{false, true} : std::vector<bool>{sts})
                        variants.push_back({ctl, db, fmi, m});
        std::vector<std::string> names;
        BuildingCounts counts;
        for (const Variant& var : variants) {
            std::string name =
                dir + "/building" + std::to_string(zones) + (var.ctl ? "c" : "") + (var.sql ? "s" : "") +
                (var.fmi ? "f" : "") + (var.sts ? "t" : "");
            std::string prj =
                transientBuilding(zones, days, hours, pcg, species, var.ctl, var.sql, listHours, var.sts, stepMinutes, &counts);
            if (!writeText(name + ".prj", prj)) {
                fprintf(stderr, "year_run: cannot write %s.prj\n", name.c_str());
                return 2;
            }
            names.push_back(name);
        }
        for (const std::string& solver : solvers) {
            int factor = solver == "skyline" ? FLOWMIR_FACTOR_SKYLINE
                         : solver == "ldlt"  ? FLOWMIR_FACTOR_LDLT
                                             : FLOWMIR_FACTOR_AUTO;
            std::vector<std::vector<Outcome>> runs(variants.size());
            bool failed = false;
            for (int r = 0; r < repeat && !failed; r++)
                for (size_t v = 0; v < variants.size() && !failed; v++) {
                    Outcome o;
                    bool ok = runChild(names[v] + ".prj", factor, variants[v].fmi, &o);
                    if (!ok || o.rc != 0 || o.errors != 0) {
                        printf("%7d  run failed (status %d, %d errors): see %s.xlog\n", counts.zones, o.rc, o.errors,
                               names[v].c_str());
                        failures++;
                        keep = failed = true;
                    }
                    runs[v].push_back(o);
                }
            if (failed) continue;
            for (size_t v = 0; v < variants.size(); v++) {
                std::vector<Outcome>& rv = runs[v];
                std::sort(rv.begin(), rv.end(), [](const Outcome& a, const Outcome& b) { return a.cpu < b.cpu; });
                const Outcome& o = rv[rv.size() / 2];
                double steps = std::max(o.steps, 1);
                std::string label = std::string(pcg ? "pcg" : solver.c_str()) + (variants[v].ctl ? "+ctl" : "") +
                                    (variants[v].sql ? "+sql" : "") + (variants[v].fmi ? "+fmi" : "") +
                                    (variants[v].sts ? "+sts" : "");
                printf("%7d %7d %7d %8s %7d %10.2f %12.3f %8.2f %8.2f %10.1f", counts.zones, counts.paths,
                       counts.ducts, label.c_str(), o.steps, o.cpu, 1e3 * o.cpu / steps, o.factorisations / steps,
                       o.assemblies / steps, o.maxrssKiB / 1024.0);
                if (anySql && variants[v].sql) {
                    DbSize d = databaseSize(names[v] + ".sqlite3");
                    double perListing = d.listings ? d.bytes / 1024.0 / d.listings : 0.0;
                    printf(" %9.1f %9.1f", d.bytes / 1048576.0, perListing);
                    // Against the run without the database just before it (the same building).
                    if (compareSql) {
                        std::vector<Outcome>& base = runs[v - 1];
                        double cpu0 = base[base.size() / 2].cpu;
                        printf(" %9.1f", cpu0 > 0 ? 100.0 * (o.cpu - cpu0) / cpu0 : 0.0);
                    } else {
                        printf(" %9s", "-");
                    }
                } else if (anySql) {
                    printf(" %9s %9s %9s", "-", "-", "-");
                }
                // Against the batch run of the same building just before it.
                if (compareFmi && variants[v].fmi) {
                    std::vector<Outcome>& base = runs[v - 1];
                    double cpu0 = base[base.size() / 2].cpu;
                    printf(" %9.1f", cpu0 > 0 ? 100.0 * (o.cpu - cpu0) / cpu0 : 0.0);
                } else if (compareFmi) {
                    printf(" %9s", "-");
                }
                // Against the implicit transport of the same building just before it.
                if (compareSts && variants[v].sts) {
                    std::vector<Outcome>& base = runs[v - 1];
                    double cpu0 = base[base.size() / 2].cpu;
                    printf(" %9.1f", cpu0 > 0 ? 100.0 * (o.cpu - cpu0) / cpu0 : 0.0);
                } else if (compareSts) {
                    printf(" %9s", "-");
                }
                printf("\n");
            }
            fflush(stdout);
        }
        if (!keep)
            for (const std::string& name : names)
                for (const char* ext : {".prj", ".xlog", ".sim", ".log", ".sqlite3", ".rst", ".rxr", ".rzf", ".rzm", ".rz1"})
                    remove((name + ext).c_str());
    }
    if (keep) {
        printf("files kept in %s\n", dir.c_str());
    } else {
        remove((dir + "/year.wth").c_str());
        rmdir(dir.c_str());
    }
    return failures ? 1 : 0;
}
