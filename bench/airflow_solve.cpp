// Steady airflow solution of generated buildings of about 100, 1,000 and 10,000 zones, corridor
// and grid floors, with each linear solver of the engine (0 skyline, 1 PCG, 2 dense; dense only
// up to 1,000 zones, its cost grows with n^3). The project is a transient one (afsim 1), so the
// skyline set-up tries to reorder the equations; room temperatures differ from the ambient and
// the wind blows, so the Newton iteration has work to do.
//
// The timed loop is a steady solve from scratch: wind and stack pressures, the linear first
// estimate (init_Af) and the Newton variant of the project (trust region). All times are the
// thread's processor time, so that other work on the machine disturbs them less. Counters:
//   its         Newton iterations of that solve
//   iter_us     one Newton iteration at the linear estimate: FillAf and solve_slae
//   slae_us     solve_slae alone
//   cg_its      conjugate-gradient iterations of that solve (PCG only)
//   profile     average number of stored entries left of the diagonal per row, in the
//               solver's numbering (the skyline's storage is n times this)
//   ldlt_us     Eigen SimplicialLDLT with AMD ordering: ordering, factorisation and solve
//   ldlt_num_us the same with the ordering kept: factorisation and solve
//   klu_us      SuiteSparse KLU: analysis, factorisation and solve
//   klu_num_us  KLU refactorisation and solve with the analysis kept
//   vs_ldlt     iter_us against the same iteration with Eigen's factorisation and solve in
//               place of solve_slae (iter_us - slae_us + ldlt_num_us); vs_klu likewise with KLU
//   ldlt        1 when the skyline method factorises by the engine's sparse L D L'
// The references solve the engine's Jacobian at the linear estimate (the lower triangle of the
// first n equations, made a full symmetric matrix once) and must agree with solve_slae.
#include <benchmark/benchmark.h>
#include <klu.h>
#include <time.h>
#include <unistd.h>

#include <Eigen/OrderingMethods>
#include <Eigen/SparseCholesky>
#include <Eigen/SparseCore>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "airflow/afsolve.h"
#include "airflow/linsolve.h"
#include "airflow/pressures.h"
#include "building_gen.h"
#include "engine/driver.h"
#include "engine/run.h"
#include "engine/siminit.h"
#include "network/airnet.h"
#include "network/mat_init.h"
#include "network/sim_data.h"
#include "project/prj_read.h"
#include "support/heap.h"
#include "support/log.h"

namespace
{

using SpMat = Eigen::SparseMatrix<double, Eigen::ColMajor, int>;

std::string scratch;
std::vector<std::string> made; // files to remove at the end
bool keepFiles = false;         // a case failed: its project and log stay for a look

const std::string& scratchFolder()
{
    if (scratch.empty()) {
        scratch = makeScratchFolder("flowmir-bench");
        if (scratch.empty()) {
            perror("airflow_solve: scratch folder");
            exit(2);
        }
    }
    return scratch;
}

// Replaces the first number of the run-control line that follows the line starting with
// `label`; false when there is no such line.
bool setRunControlValue(std::string& text, const std::string& label, int lineAfter, int value)
{
    size_t at = text.find("\n" + label);
    if (at == std::string::npos) return false;
    at++;
    for (int i = 0; i < lineAfter; i++) {
        at = text.find('\n', at);
        if (at == std::string::npos) return false;
        at++;
    }
    size_t end = text.find(' ', at);
    if (end == std::string::npos) return false;
    text.replace(at, end - at, std::to_string(value));
    return true;
}

// The project of a floor plan, size and linear solver: a transient airflow run (afsim 1)
// with afSlae set; written on first use.
std::string projectFor(FloorPlan plan, int zones, int slae)
{
    static std::map<std::string, std::string> paths;
    std::string name = std::string(plan == FloorPlan::Corridor ? "corridor" : "grid") + std::to_string(zones) +
                       "_slae" + std::to_string(slae);
    auto found = paths.find(name);
    if (found != paths.end()) return found->second;

    BuildingOptions opt;
    opt.plan = plan;
    opt.seed = 1;
    opt.windProfiles = true;
    sizeForZones(opt, zones);
    std::string text = generateBuilding(opt);
    // The line after the "! afsim afNewton ..." comment starts with afsim, the next with afSlae.
    if (!setRunControlValue(text, "! afsim ", 1, 1) || !setRunControlValue(text, "! afsim ", 2, slae)) {
        fprintf(stderr, "airflow_solve: the generated run control has no afsim line\n");
        exit(2);
    }
    std::string path = scratchFolder() + "/" + name + ".prj";
    FILE* f = fopen(path.c_str(), "w");
    if (!f || fwrite(text.data(), 1, text.size(), f) != text.size() || fclose(f) != 0) {
        fprintf(stderr, "airflow_solve: cannot write %s\n", path.c_str());
        exit(2);
    }
    made.push_back(path);
    return paths[name] = path;
}

// Processor time of this thread, s.
double cpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + 1e-9 * (double)t.tv_nsec;
}

// Mean processor seconds of fn over at least `minReps` calls and about `minSeconds`.
template <class Fn>
double meanSeconds(Fn fn, int minReps = 3, double minSeconds = 0.2)
{
    int reps = 0;
    double start = cpuSeconds(), elapsed = 0.0;
    do {
        fn();
        reps++;
        elapsed = cpuSeconds() - start;
    } while (reps < minReps || elapsed < minSeconds);
    return elapsed / reps;
}

// A project read, assembled and numbered, ready for the airflow solution.
struct Case {
    std::string key;
    FlowmirState* fms = nullptr;
    std::string problem; // why the case cannot run, empty when it can
    std::string logPath;
    int zones = 0;
    int n = 0;
    int its = 0;
    double iterUs = 0, slaeUs = 0, cgIts = 0, profile = 0;
    double ldltUs = 0, ldltNumUs = 0, kluUs = 0, kluNumUs = 0;
    ~Case();
};

Case::~Case()
{
    if (!fms) return;
    releaseRunMemory(fms);
    fms->logFcn = nullptr;
    closeLogFile(&fms->logFile);
    flowmirFreeState(fms);
}

// What a run does up to the steady initialisation, without results files: read, set the
// clock of a transient run, assemble, number and set up the matrices.
std::string prepare(Case& c, const std::string& path)
{
    FlowmirState* fms = c.fms = flowmirNewState();
    fms->quiet = 1;
    c.logPath = path.substr(0, path.size() - 4) + ".xlog";
    fms->logFile = fopen(c.logPath.c_str(), "w");
    if (fms->logFile) {
        fms->logFcn = printToLog;
        made.push_back(c.logPath);
    }
    fms->msBlock = alc_eci(fms, 32000, "ms-block");
    fms->mbBlock = alc_eci(fms, 8000, "mb-block");
    if (prj_read(fms, path.c_str()) != 0 || fms->errorCount) return "prj_read refused " + path + "; see " + c.logPath;
    if (fms->afsim != 1) return "the project is not a transient airflow run";
    c.zones = fms->nzone;

    fms->dayofy = fms->date0;
    fms->stepStartTime = fms->stepEndTime = fms->time0;
    fms->endDate = fms->date1;
    fms->endTime = fms->time1;
    fms->listLevel = 0; // the structure drawing of a large network is not wanted here
    sim_data(fms);
    prj_read_free_comp_lists(fms);
    fre_ec(fms, fms->mbBlock, "mb-block");
    fms->mbBlock = nullptr;
    mat_init(fms);
    if (fms->errorCount) return "network preparation failed; see " + c.logPath;
    c.n = fms->afMat->nvar;
    if (c.n < 1) return "no variable-pressure node";
    return "";
}

// Back to the state before any solution, so that every timed solve does the same work.
void resetPressures(FlowmirState* fms)
{
    for (AirNode* node = fms->nodeList; node; node = node->next)
        if (node->flags & NF_VARP) node->P = 0.0;
    AfMat* mat = fms->afMat;
    for (int i = 1; i <= mat->neq; i++) mat->x[i] = 0.0;
}

// A steady solve from scratch; the Newton iterations made.
int steadySolve(FlowmirState* fms)
{
    fms->dt = fms->rdt = 0.0f;
    calc_wP(fms);
    calc_sP(fms);
    init_Af(fms, fms->afMat);
    return solveAirflow(fms, fms->afMat);
}

// The Newton system at the current pressures: A in sa, b = -resid.
void assembleNewton(FlowmirState* fms)
{
    AfMat* mat = fms->afMat;
    FillAf(fms, mat);
    for (AirNode* node = fms->nodeList; node; node = node->next)
        mat->b[node->eqn] = -node->resid;
}

// Average count of stored entries left of the diagonal over the first n rows.
double averageProfile(const AfMat* mat)
{
    const int* ija = mat->ija;
    long sum = 0;
    for (int i = 1; i <= mat->nvar; i++) {
        int low = i;
        for (int k = ija[i]; k < ija[i + 1]; k++)
            if (ija[k] < low) low = ija[k];
        sum += i - low;
    }
    return (double)sum / mat->nvar;
}

// The first n equations of the lower-triangle storage as a full symmetric matrix.
SpMat fullMatrix(const AfMat* mat)
{
    const int n = mat->nvar;
    std::vector<Eigen::Triplet<double, int>> t;
    t.reserve((size_t)n + 2 * (size_t)(mat->ija[n + 1] - mat->ija[1]));
    for (int i = 1; i <= n; i++) {
        t.emplace_back(i - 1, i - 1, mat->sa[i]);
        for (int k = mat->ija[i]; k < mat->ija[i + 1]; k++) {
            int j = mat->ija[k];
            if (j > n) continue;
            t.emplace_back(i - 1, j - 1, mat->sa[k]);
            t.emplace_back(j - 1, i - 1, mat->sa[k]);
        }
    }
    SpMat A(n, n);
    A.setFromTriplets(t.begin(), t.end());
    A.makeCompressed();
    return A;
}

// Largest difference from the reference solution relative to its largest entry.
double relativeDifference(const Eigen::VectorXd& ref, const double* x)
{
    double scale = ref.cwiseAbs().maxCoeff(), diff = 0.0;
    for (int i = 0; i < ref.size(); i++) diff = std::max(diff, std::fabs(ref[i] - x[i + 1]));
    return scale > 0.0 ? diff / scale : diff;
}

// Times the reference solvers on the Newton system now assembled; compares their solutions
// with solve_slae's.
std::string timeReferences(Case& c)
{
    AfMat* mat = c.fms->afMat;
    const int n = mat->nvar;
    SpMat A = fullMatrix(mat);
    Eigen::VectorXd b(n);
    for (int i = 0; i < n; i++) b[i] = mat->b[i + 1];
    for (int i = 1; i <= mat->neq; i++) mat->x[i] = 0.0;
    solve_slae(c.fms, mat);
    const double tolerance = mat->slae == 1 ? 1e-3 : 1e-8;

    Eigen::SimplicialLDLT<SpMat, Eigen::Lower, Eigen::AMDOrdering<int>> ldlt;
    Eigen::VectorXd x;
    c.ldltUs = 1e6 * meanSeconds([&] {
        ldlt.compute(A);
        x = ldlt.solve(b);
    });
    if (ldlt.info() != Eigen::Success) return "Eigen SimplicialLDLT failed";
    double d = relativeDifference(x, mat->x);
    if (!(d <= tolerance)) return "solve_slae and SimplicialLDLT differ by " + std::to_string(d);
    c.ldltNumUs = 1e6 * meanSeconds([&] {
        ldlt.factorize(A);
        x = ldlt.solve(b);
    });

    klu_common common;
    klu_defaults(&common);
    int* Ap = A.outerIndexPtr();
    int* Ai = A.innerIndexPtr();
    double* Ax = A.valuePtr();
    std::vector<double> xk(n);
    bool failed = false;
    c.kluUs = 1e6 * meanSeconds([&] {
        klu_symbolic* S = klu_analyze(n, Ap, Ai, &common);
        klu_numeric* N = S ? klu_factor(Ap, Ai, Ax, S, &common) : nullptr;
        std::copy(b.data(), b.data() + n, xk.begin());
        if (!N || !klu_solve(S, N, n, 1, xk.data(), &common)) failed = true;
        if (N) klu_free_numeric(&N, &common);
        if (S) klu_free_symbolic(&S, &common);
    });
    if (failed) return "KLU failed, status " + std::to_string(common.status);
    d = relativeDifference(Eigen::Map<Eigen::VectorXd>(xk.data(), n), mat->x);
    if (!(d <= tolerance)) return "solve_slae and KLU differ by " + std::to_string(d);

    klu_symbolic* S = klu_analyze(n, Ap, Ai, &common);
    klu_numeric* N = klu_factor(Ap, Ai, Ax, S, &common);
    c.kluNumUs = 1e6 * meanSeconds([&] {
        klu_refactor(Ap, Ai, Ax, S, N, &common);
        std::copy(b.data(), b.data() + n, xk.begin());
        klu_solve(S, N, n, 1, xk.data(), &common);
    });
    klu_free_numeric(&N, &common);
    klu_free_symbolic(&S, &common);
    return "";
}

// One Newton iteration at the linear estimate, with a cold conjugate-gradient start each time.
void timeIteration(Case& c)
{
    FlowmirState* fms = c.fms;
    AfMat* mat = fms->afMat;
    auto zeroX = [mat] {
        for (int i = 1; i <= mat->neq; i++) mat->x[i] = 0.0;
    };
    c.iterUs = 1e6 * meanSeconds([&] {
        assembleNewton(fms);
        zeroX();
        solve_slae(fms, mat);
    });
    std::vector<double> b(mat->b + 1, mat->b + 1 + mat->neq);
    c.slaeUs = 1e6 * meanSeconds([&] {
        std::copy(b.begin(), b.end(), mat->b + 1);
        zeroX();
        solve_slae(fms, mat);
    });
    std::copy(b.begin(), b.end(), mat->b + 1);
    zeroX();
    c.cgIts = solve_slae(fms, mat);
}

// The case of the arguments, prepared and measured on first use; one is kept at a time
// because benchmark calls a function several times while it settles the iteration count.
std::unique_ptr<Case> current;

Case& caseFor(FloorPlan plan, int zones, int slae)
{
    std::string key = std::to_string((int)plan) + "/" + std::to_string(zones) + "/" + std::to_string(slae);
    if (current && current->key == key) return *current;
    current.reset();
    current = std::make_unique<Case>();
    Case& c = *current;
    c.key = key;
    c.problem = prepare(c, projectFor(plan, zones, slae));
    if (!c.problem.empty()) {
        keepFiles = true;
        return c;
    }

    FlowmirState* fms = c.fms;
    c.profile = averageProfile(fms->afMat);
    resetPressures(fms);
    c.its = steadySolve(fms);
    if (c.its > fms->afMat->itmax) {
        c.problem = "the steady solve did not converge; see " + c.logPath;
        keepFiles = true;
        return c;
    }

    // Back at the linear estimate for the single iteration and the references.
    resetPressures(fms);
    fms->dt = fms->rdt = 0.0f;
    calc_wP(fms);
    calc_sP(fms);
    init_Af(fms, fms->afMat);
    timeIteration(c);
    assembleNewton(fms);
    c.problem = timeReferences(c);
    if (!c.problem.empty()) keepFiles = true;
    return c;
}

// Arguments: floor plan (0 corridor, 1 grid), zones, afSlae.
void BM_AirflowSolve(benchmark::State& state)
{
    FloorPlan plan = state.range(0) == 0 ? FloorPlan::Corridor : FloorPlan::Grid;
    Case& c = caseFor(plan, (int)state.range(1), (int)state.range(2));
    if (!c.problem.empty()) {
        state.SkipWithError(c.problem.c_str());
        return;
    }
    int its = 0;
    for (auto _ : state) {
        resetPressures(c.fms);
        double start = cpuSeconds();
        its = steadySolve(c.fms);
        state.SetIterationTime(cpuSeconds() - start);
    }
    if (its != c.its) {
        state.SkipWithError("the Newton iteration count changed between solves");
        return;
    }
    state.counters["zones"] = c.zones;
    state.counters["eqs"] = c.n;
    state.counters["its"] = c.its;
    state.counters["iter_us"] = c.iterUs;
    state.counters["slae_us"] = c.slaeUs;
    state.counters["cg_its"] = c.cgIts;
    state.counters["profile"] = c.profile;
    state.counters["ldlt_us"] = c.ldltUs;
    state.counters["ldlt_num_us"] = c.ldltNumUs;
    state.counters["klu_us"] = c.kluUs;
    state.counters["klu_num_us"] = c.kluNumUs;
    double assembly = c.iterUs - c.slaeUs;
    state.counters["vs_ldlt"] = c.iterUs / (assembly + c.ldltNumUs);
    state.counters["vs_klu"] = c.iterUs / (assembly + c.kluNumUs);
    state.counters["ldlt"] = c.fms->afMat->ldl != nullptr;
}

void cases(benchmark::internal::Benchmark* b)
{
    for (int plan : {0, 1})
        for (int slae : {0, 1, 2})
            for (int zones : {100, 1000, 10000})
                if (slae != 2 || zones <= 1000) b->Args({plan, zones, slae});
}

} // namespace

BENCHMARK(BM_AirflowSolve)->ArgNames({"plan", "zones", "slae"})->Apply(cases)->UseManualTime()->Unit(
    benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    current.reset();
    if (keepFiles) {
        fprintf(stderr, "airflow_solve: projects and logs kept in %s\n", scratch.c_str());
        return 0;
    }
    for (const std::string& f : made)
        remove(f.c_str());
    if (!scratch.empty()) rmdir(scratch.c_str());
    return 0;
}
