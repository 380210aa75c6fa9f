// Reading time of a project file: generated buildings of about 100, 1,000 and 10,000 zones
// (corridor floors with supply ducts and wind profiles; the largest has about 40,000 paths),
// written once into a scratch folder, each read by prj_read into a fresh state record.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "building_gen.h"
#include "engine/run.h"
#include "project/prj_read.h"
#include "support/heap.h"
#include "support/log.h"

namespace
{

struct Project {
    std::string path;
    BuildingCounts counts;
    long bytes = 0;
    bool checked = false;
    std::string problem; // why the reader refused it, empty when it did not
};

std::string scratch;
std::vector<std::string> made; // files to remove at the end

const std::string& scratchFolder()
{
    if (scratch.empty()) {
        scratch = makeScratchFolder("flowmir-bench");
        if (scratch.empty()) {
            perror("read_project: scratch folder");
            exit(2);
        }
    }
    return scratch;
}

// The project of about `zones` zones, generated on first use.
Project& projectFor(int zones)
{
    static std::map<int, Project> projects;
    auto found = projects.find(zones);
    if (found != projects.end()) return found->second;

    BuildingOptions opt;
    opt.plan = FloorPlan::Corridor;
    opt.seed = 1;
    opt.ducts = true;
    opt.windProfiles = true;
    sizeForZones(opt, zones);

    Project p;
    p.path = scratchFolder() + "/building" + std::to_string(zones) + ".prj";
    if (!writeBuilding(p.path, opt, &p.counts)) {
        fprintf(stderr, "read_project: cannot write %s\n", p.path.c_str());
        exit(2);
    }
    made.push_back(p.path);
    struct stat st;
    if (stat(p.path.c_str(), &st) == 0) p.bytes = (long)st.st_size;
    return projects[zones] = p;
}

FlowmirState* newReader()
{
    FlowmirState* fms = flowmirNewState();
    fms->msBlock = alc_eci(fms, 32000, "ms-block");
    fms->mbBlock = alc_eci(fms, 8000, "mb-block");
    return fms;
}

void releaseReader(FlowmirState* fms)
{
    prj_read_free_comp_lists(fms);
    prj_read_free_element_lists(fms);
    fre_ec(fms, fms->mbBlock, "mb-block");
    fre_ec(fms, fms->msBlock, "ms-block");
    if (fms->logFile) fclose(fms->logFile);
    flowmirFreeState(fms);
}

// One read with a log, before timing: the reader must take the whole file and find every
// component the generator wrote. Returns an empty string or what went wrong.
std::string checkedRead(const Project& p)
{
    std::string logPath = p.path.substr(0, p.path.size() - 4) + ".xlog";
    FlowmirState* fms = newReader();
    fms->logFile = fopen(logPath.c_str(), "w");
    if (fms->logFile) {
        fms->logFcn = printToLog;
        made.push_back(logPath);
    }
    int rc = prj_read(fms, p.path.c_str());
    const BuildingCounts& c = p.counts;
    bool complete = rc == 0 && fms->nlev == c.levels && fms->nzone == c.zones && fms->npath == c.paths &&
                    fms->njct == c.junctions && fms->ndct == c.ducts && fms->nafe == c.elements &&
                    fms->ndfe == c.ductElements && fms->nwpf == c.windProfiles;
    releaseReader(fms);
    if (complete) return "";
    return "prj_read did not take " + p.path + "; see " + logPath;
}

void BM_prj_read(benchmark::State& state)
{
    Project& p = projectFor((int)state.range(0));
    if (!p.checked) {
        p.problem = checkedRead(p);
        p.checked = true;
    }
    if (!p.problem.empty()) {
        state.SkipWithError(p.problem.c_str());
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        FlowmirState* fms = newReader();
        state.ResumeTiming();
        int rc = prj_read(fms, p.path.c_str());
        benchmark::DoNotOptimize(rc);
        state.PauseTiming();
        releaseReader(fms);
        state.ResumeTiming();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * p.bytes);
    state.counters["zones"] = p.counts.zones;
    state.counters["paths"] = p.counts.paths;
    state.counters["junctions"] = p.counts.junctions;
    state.counters["ducts"] = p.counts.ducts;
}

} // namespace

BENCHMARK(BM_prj_read)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const std::string& f : made)
        remove(f.c_str());
    if (!scratch.empty()) rmdir(scratch.c_str());
    return 0;
}
