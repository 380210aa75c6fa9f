// Equation numbering and the airflow matrix set-up.
//
// Every air node owns one equation: the variable-pressure nodes come first (1..n, the ones
// the Newton iteration solves), the constant-pressure nodes after them (identity rows).
// The structure is fixed here once; later assemblies write only at eqn and offd.
#include "network/mat_init.h"

#include "airflow/afe_models.h"
#include "airflow/ldlt.h"
#include "airflow/pcg.h"
#include "airflow/skyline.h"
#include "network/profile.h"
#include "network/sparse.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "transport/mfsystem.h"

// Average profile above which reordering pays even for a steady run.
static const double REORDER_PROFILE = 30.0;

// Index arrays never shrink below one slot: an empty range cannot be allocated.
static int atLeast1(int n)
{
    return n > 0 ? n : 1;
}

// The stream the listings go to, or none when the run does not log.
static FILE* logStream(FlowmirState* fms)
{
    return fms->logFcn ? fms->logFile : nullptr;
}

static bool isVariable(const AirNode* node)
{
    return node && (node->flags & NF_VARP);
}

// Whether a link owns an off-diagonal entry: it joins two variable-pressure nodes and is
// not flagged to stay off the matrix.
static bool hasOffDiagonal(const AirLink* link)
{
    return !(link->flags & LF_NOOFFD) && isVariable(link->nodeN) && isVariable(link->nodeM);
}

static char nodeKind(const AirNode* node)
{
    static const char kinds[] = "zjt";
    return node->styp >= 0 && node->styp <= 2 ? kinds[node->styp] : '?';
}

static char linkKind(const AirLink* link)
{
    static const char kinds[] = "pdtl";
    return link->styp >= 0 && link->styp <= 3 ? kinds[link->styp] : '?';
}

// --- numbering -------------------------------------------------------------------

// Variable-pressure nodes get 1..n in list order, then the constant-pressure nodes n+1...
static void numberEquations(FlowmirState* fms, AfMat* mat)
{
    int nvar = 0, ncon = 0, last = 0;
    for (AirNode* node = fms->nodeList; node; node = node->next)
        if (isVariable(node)) {
            node->eqn = ++last;
            nvar++;
        }
    for (AirNode* node = fms->nodeList; node; node = node->next)
        if (!isVariable(node)) {
            node->eqn = ++last;
            ncon++;
        }
    LOG(fms, "%4d variable pressure nodes\n", nvar);
    LOG(fms, "%4d constant pressure nodes\n", ncon);
    if (nvar + ncon != fms->nafnd) error(fms, FATAL, __FILE__, __LINE__, "Incorrect AF node count", "");
    if (last != fms->nafnd) error(fms, FATAL, __FILE__, __LINE__, "Incorrect total node count", "");
    mat->nvar = nvar;
}

// --- structure -------------------------------------------------------------------

// The structure array of all neq rows: each diagonal and both entries of every link that
// owns an off-diagonal entry. *nelem receives its length.
static int* buildStructure(FlowmirState* fms, int neq, int* nelem)
{
    int rows = atLeast1(neq);
    ColEntry** lists = alc_vt<ColEntry*>(fms, 1, rows, "af-cols");
    MemBlock* pool = alc_eci(fms, ACOL_BLOCK_SIZE, "acolset");
    MemBlock* firstBlock = pool;
    for (int i = 1; i <= neq; i++) acolset(fms, lists, &pool, i, i);
    for (AirLink* link = fms->linkList; link; link = link->next)
        if (hasOffDiagonal(link)) {
            int n = link->nodeN->eqn, m = link->nodeM->eqn;
            acolset(fms, lists, &pool, n, m);
            acolset(fms, lists, &pool, m, n);
        }
    int* ijaS = acol_struct(fms, lists, neq, nelem, "af-ijaS");
    fre_ec(fms, firstBlock, "acolset");
    fre_vt(fms, lists, 1, rows);

    int nonzero = *nelem - neq - 1;
    LOG(fms, "  Number of equations: %d\n", neq);
    LOG(fms, "    Non-zero elements: %d\n", nonzero);
    LOG(fms, "Initial fill fraction: %.3f\n", neq > 0 ? (double)nonzero / ((double)neq * neq) : 0.0);
    return ijaS;
}

// Profile analysis of the skyline's rows and, when it pays, the profile-reducing
// renumbering of the structure and of every node's equation.
static void analyseProfile(FlowmirState* fms, AfMat* mat, int* ijaS, int nelem)
{
    LOG(fms, " Matrix Profile Analysis:\n");
    double profile = 0.0;
    ija_prfl(fms, mat->nvar, ijaS, &profile);
    if (!fms->afReorder || (fms->afsim != 1 && profile <= REORDER_PROFILE)) return;

    int* perm = alc_vt<int>(fms, 1, atLeast1(mat->neq), "perm");
    if (ija_optord(fms, ijaS, perm, nelem, mat->neq, mat->nvar)) {
        ija_reorder(fms, ijaS, perm, nelem, mat->neq);
        for (AirNode* node = fms->nodeList; node; node = node->next) node->eqn = perm[node->eqn];
        ija_prfl(fms, mat->nvar, ijaS, &profile);
    }
    fre_vt(fms, perm, 1, atLeast1(mat->neq));
}

// --- storage ---------------------------------------------------------------------

// The symmetric skyline method factorises by its profile, or by a sparse L D L' on a
// minimum-degree ordering of the same matrix when that needs fewer operations (or when the
// host asks for one of them). Only the chosen one keeps its storage.
static void allocSkylineMethod(FlowmirState* fms, AfMat* mat)
{
    int n = mat->nvar;
    double skyOps = sky_ops(n, mat->ija);
    SparseLdl* ldl = n > 0 ? ldl_analyse(fms, n, mat->ija) : nullptr;
    double ldlOps = ldl ? ldl->opsLdl : 0.0;
    int choice = fms->afFactorChoice;
    bool useLdl = ldl && (choice == 2 || (choice == 0 && ldlOps < skyOps));
    if (useLdl) {
        mat->ldl = ldl;
        sky_summary(n, mat->ija, logStream(fms));
    } else {
        if (ldl) ldl_fre(fms, ldl);
        mat->sky = static_cast<Skyline*>(alc_e(fms, sizeof(Skyline), "af-sky"));
        mat->sky->sym = 1;
        sky_alc(fms, n, mat->ija, mat->sky, logStream(fms));
    }
    mat->skyOps = skyOps;
    mat->ldlOps = ldlOps;
}

static void allocSolverStorage(FlowmirState* fms, AfMat* mat)
{
    int n = mat->nvar;
    switch (mat->slae) {
    case 0:
        allocSkylineMethod(fms, mat);
        break;
    case 1:
        pcg_alc(fms, mat);
        break;
    case 2:
        mat->aa = static_cast<double**>(
            alc_mc(fms, 1, atLeast1(n), 1, atLeast1(n), sizeof(double), "af-aa"));
        break;
    default:
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid method: %d", mat->slae);
    }
}

static void setLinkEntries(FlowmirState* fms, const AfMat* mat)
{
    for (AirLink* link = fms->linkList; link; link = link->next) {
        link->offd = 0;
        if (!hasOffDiagonal(link)) continue;
        int n = link->nodeN->eqn, m = link->nodeM->eqn;
        link->offd = sa_find(mat->ija, max0(n, m), min0(n, m));
    }
}

static void logSolverSettings(FlowmirState* fms, const AfMat* mat)
{
    if (mat->method == 0 || mat->method == 1) {
        LOG(fms, "Solve nonlinear equations by Newton-Raphson with ");
        if (mat->method == 0) {
            LOG(fms, "simple under relaxation.\n");
            LOG(fms, "  relax = %g, relcnvg = %g, abscnvg = %g, itmax = %d\n", mat->relax, mat->relcnvg,
                mat->abscnvg, mat->itmax);
        } else {
            LOG(fms, "variable trust region.\n");
            LOG(fms, "  relcnvg = %g, abscnvg = %g, itmax = %d\n", mat->relcnvg, mat->abscnvg, mat->itmax);
        }
    }
    LOG(fms, "Solve Jacobian SLAE by ");
    if (mat->slae == 0)
        LOG(fms, "symmetric SKYline method.\n");
    else if (mat->slae == 1) {
        LOG(fms, "Preconditioned Conjugate Gradient method.\n");
        LOG(fms, "  cnvg = %g, itmax = %d\n", mat->pcgCnvg, mat->pcgItmax);
    } else
        LOG(fms, "Cholesky method.\n");
    if (mat->slae == 0 && mat->nvar > 0)
        LOG(fms, "  factorization by %s (%s): skyline %.0f, sparse LDLT %.0f multiply-adds\n",
            mat->ldl ? "sparse LDLT on a minimum degree ordering" : "skyline",
            fms->afFactorChoice ? "requested" : "fewer operations", mat->skyOps, mat->ldlOps);
}

void af_mat_set(FlowmirState* fms, AfMat* mat)
{
    mat->neq = fms->nafnd;
    mat->method = fms->afNewton;
    mat->itmax = fms->afItmax;
    mat->abscnvg = 2.0f * fms->afAbscnvg;
    mat->relcnvg = fms->afRelcnvg;
    mat->relax = fms->afRelax;
    mat->sym = 1;
    mat->slae = fms->afSlae;
    mat->pcgItmax = fms->nafnd + 10;
    mat->pcgCnvg = fms->afPcgCnvg;

    numberEquations(fms, mat);
    int nelem = 0;
    int* ijaS = buildStructure(fms, mat->neq, &nelem);
    if (mat->slae == 0) analyseProfile(fms, mat, ijaS, nelem);
    if (fms->listLevel > 0) sa_show(logStream(fms), mat->neq, ijaS);
    if (mat->nvar == 0) mat->method = -1;

    mat->nsa = ija_minset_count(ijaS, mat->neq, mat->sym);
    mat->ija = alc_vt<int>(fms, 1, mat->nsa, "af-ija");
    ija_minset(ijaS, mat->ija, mat->neq, mat->sym);
    fre_vt(fms, ijaS, 1, nelem);
    mat->sa = alc_vt<double>(fms, 1, mat->nsa, "af-sa");
    mat->b = alc_vt<double>(fms, 1, atLeast1(mat->neq), "af-b");
    mat->x = alc_vt<double>(fms, 1, atLeast1(mat->neq), "af-x");
    allocSolverStorage(fms, mat);

    setLinkEntries(fms, mat);
    logSolverSettings(fms, mat);
}

void af_mat_fre(FlowmirState* fms, AfMat* mat)
{
    if (!mat) return;
    if (mat->sky) {
        sky_fre(fms, mat->sky);
        fre_e(fms, mat->sky, sizeof(Skyline), "af-sky");
        mat->sky = nullptr;
    }
    if (mat->ldl) ldl_fre(fms, mat->ldl);
    mat->ldl = nullptr;
    if (mat->pcg) pcg_fre(fms, mat);
    if (mat->aa) {
        int n = atLeast1(mat->nvar);
        fre_mc(fms, mat->aa, 1, n, 1, n, sizeof(double));
        mat->aa = nullptr;
    }
    fre_vt(fms, mat->ija, 1, mat->nsa);
    fre_vt(fms, mat->sa, 1, mat->nsa);
    fre_vt(fms, mat->b, 1, atLeast1(mat->neq));
    fre_vt(fms, mat->x, 1, atLeast1(mat->neq));
    fre_e(fms, mat, sizeof(AfMat), "af_mat");
}

// --- mat_init --------------------------------------------------------------------

static void listAirflowNumbering(FlowmirState* fms)
{
    LOG(fms, "\nAirflow calculation data:\n");
    LOG(fms, " Node | source | eqn\n");
    for (AirNode* node = fms->nodeList; node; node = node->next)
        LOG(fms, "%5d : %4d%c : %4d\n", node->nr, node->s_nr, nodeKind(node), node->eqn);
    LOG(fms, "  [z = zone, j = junction, t = terminal]\n");
    LOG(fms, " Link numbers vs. path & duct numbers:");
    for (AirLink* link = fms->linkList; link; link = link->next) {
        if (link->nr % 10 == 1) LOG(fms, "\n%5d - %4d:", link->nr, link->nr + 9);
        LOG(fms, " %4d%c", link->s_nr, linkKind(link));
    }
    LOG(fms, "\n  [p = path, d = duct, t = terminal, l = leak]\n");
}

// Per-node daily species maxima, and their copy for the cyclic convergence test.
static void allocSpeciesMaxima(FlowmirState* fms)
{
    if (fms->mfsim <= 0 || fms->nctm <= 0 || fms->nafnd <= 0) return;
    fms->Mfmax = static_cast<float**>(
        alc_mc(fms, 1, fms->nafnd, 0, fms->nctm - 1, sizeof(float), "fms->Mfmax"));
    if (fms->mfsim == 3)
        fms->Mftst = static_cast<float**>(
            alc_mc(fms, 1, fms->nafnd, 0, fms->nctm - 1, sizeof(float), "fms->Mftst"));
}

void mat_init(FlowmirState* fms)
{
    if (fms->listLevel > 2) lognote(fms, "begin mat_init()", __FILE__, __LINE__);

    // Trust-region iterations run to itmax + 1 before failing, so bins 0..itmax+1.
    fms->nJfacBins = atLeast1(fms->afItmax + 2);
    fms->JfacBins = alc_vt<int>(fms, 0, fms->nJfacBins - 1, "facBins");
    LOG(fms, "\nAirflow Equations:\n");
    fms->afMat = static_cast<AfMat*>(alc_e(fms, sizeof(AfMat), "af_mat"));
    af_mat_set(fms, fms->afMat);

    if (fms->listLevel > 0) listAirflowNumbering(fms);
    setNmDrv(fms);
    mf_systems_init(fms);
    allocSpeciesMaxima(fms);

    if (fms->listLevel > 2) lognote(fms, "mat_init() complete", __FILE__, __LINE__);
    logFlush(fms);
}

void mat_fre(FlowmirState* fms)
{
    if (fms->afMat) af_mat_fre(fms, fms->afMat);
    fms->afMat = nullptr;
    mf_systems_free(fms);
    if (fms->Mfmax) fre_mc(fms, fms->Mfmax, 1, fms->nafnd, 0, fms->nctm - 1, sizeof(float));
    if (fms->Mftst) fre_mc(fms, fms->Mftst, 1, fms->nafnd, 0, fms->nctm - 1, sizeof(float));
    fms->Mfmax = fms->Mftst = nullptr;
}
