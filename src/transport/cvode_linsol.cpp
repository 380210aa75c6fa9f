// The engine's sparse solver as CVODE's linear solver: a matrix type over the system's
// row-indexed pattern, in which CVODE keeps the Jacobian and forms I - gamma J, and a direct
// linear solver whose set-up factors that matrix with the system's sparse solver and whose
// solve substitutes. CVODE itself scales the BDF corrections by 2 / (1 + gamma ratio) when
// gamma has changed since the factorisation, so the solve returns the plain solution.
#include <cvode/cvode.h>
#include <cvode/cvode_ls.h>
#include <nvector/nvector_serial.h>

#include <cstring>

#include "support/error.h"
#include "support/heap.h"
#include "transport/cvode.h"
#include "transport/sasn.h"

// --- the matrix --------------------------------------------------------------------------------

struct FmcvMat {
    FmcvJacIntfc* intfc;
    double* v;   // [1..nnz]
    bool owned;  // a clone's values are its own
};

static FmcvMat* content(SUNMatrix m)
{
    return static_cast<FmcvMat*>(m->content);
}

double* fmcv_matValues(SUNMatrix m)
{
    return content(m)->v;
}

static SUNMatrix_ID matGetId(SUNMatrix)
{
    return SUNMATRIX_CUSTOM;
}

static SUNMatrix newMatrix(FmcvJacIntfc* intfc, double* values);

// CVODE keeps the Jacobian of the last evaluation in a clone, made once.
static SUNMatrix matClone(SUNMatrix m)
{
    FmcvJacIntfc* intfc = content(m)->intfc;
    SUNMatrix c = newMatrix(intfc, alc_vt<double>(intfc->fms, 1, intfc->nnz, "fmcv-savedJ"));
    if (c) content(c)->owned = true;
    return c;
}

static void matDestroy(SUNMatrix m)
{
    if (!m) return;
    FmcvMat* c = content(m);
    if (c) {
        if (c->owned) fre_vt(c->intfc->fms, c->v, 1, c->intfc->nnz);
        fre_e(c->intfc->fms, c, sizeof(FmcvMat), "fmcv-mat");
    }
    m->content = nullptr;
    SUNMatFreeEmpty(m);
}

static int matZero(SUNMatrix m)
{
    FmcvMat* c = content(m);
    memset(c->v + 1, 0, sizeof(double) * c->intfc->nnz);
    return 0;
}

static int matCopy(SUNMatrix from, SUNMatrix to)
{
    memcpy(content(to)->v + 1, content(from)->v + 1, sizeof(double) * content(from)->intfc->nnz);
    return 0;
}

// m = s m + I: the diagonal sits at positions 1..neq.
static int matScaleAddI(sunrealtype s, SUNMatrix m)
{
    FmcvMat* c = content(m);
    double* v = c->v;
    int nnz = c->intfc->nnz, neq = c->intfc->neq;
    for (int k = 1; k <= nnz; k++) v[k] *= s;
    for (int i = 1; i <= neq; i++) v[i] += 1.0;
    return 0;
}

static SUNMatrix newMatrix(FmcvJacIntfc* intfc, double* values)
{
    SUNMatrix m = SUNMatNewEmpty(intfc->ctx);
    if (!m) return nullptr;
    FmcvMat* c = static_cast<FmcvMat*>(alc_e(intfc->fms, sizeof(FmcvMat), "fmcv-mat"));
    c->intfc = intfc;
    c->v = values;
    c->owned = false;
    m->content = c;
    m->ops->getid = matGetId;
    m->ops->clone = matClone;
    m->ops->destroy = matDestroy;
    m->ops->zero = matZero;
    m->ops->copy = matCopy;
    m->ops->scaleaddi = matScaleAddI;
    return m;
}

// --- the linear solver ---------------------------------------------------------------------------

struct FmcvLs {
    FmcvJacIntfc* intfc;
    long lastFlag;
};

static FmcvLs* lsContent(SUNLinearSolver s)
{
    return static_cast<FmcvLs*>(s->content);
}

static SUNLinearSolver_Type lsGetType(SUNLinearSolver)
{
    return SUNLINEARSOLVER_DIRECT;
}

static SUNLinearSolver_ID lsGetId(SUNLinearSolver)
{
    return SUNLINEARSOLVER_CUSTOM;
}

static int lsInitialize(SUNLinearSolver s)
{
    lsContent(s)->lastFlag = SUNLS_SUCCESS;
    return SUNLS_SUCCESS;
}

static int lsSetup(SUNLinearSolver s, SUNMatrix A)
{
    FmcvJacIntfc* intfc = lsContent(s)->intfc;
    if (intfc->nvar > 0) sasn_prepMat(intfc->fms, intfc->solver, content(A)->v);
    lsContent(s)->lastFlag = SUNLS_SUCCESS;
    return SUNLS_SUCCESS;
}

// Solves A z = b. Given values take no correction: z is 0 there, and their columns carry
// nothing to the right-hand side.
static int lsSolve(SUNLinearSolver s, SUNMatrix, N_Vector z, N_Vector b, sunrealtype)
{
    FmcvLs* ls = lsContent(s);
    FmcvJacIntfc* intfc = ls->intfc;
    double* x = intfc->x;
    const double* bv = N_VGetArrayPointer(b) - 1;
    double* zv = N_VGetArrayPointer(z) - 1;
    int neq = intfc->neq;
    for (int i = 1; i <= neq; i++) x[i] = 0.0;
    int rc = intfc->nvar > 0 ? sasn_solve(intfc->fms, intfc->solver, bv, x) : 0;
    const unsigned char* fixed = intfc->fixedEq;
    for (int i = 1; i <= neq; i++) zv[i] = fixed[i] ? 0.0 : x[i];
    // An iterative method that stopped short leaves a usable iterate: CVODE may retry.
    ls->lastFlag = rc == 0 ? SUNLS_SUCCESS : SUNLS_CONV_FAIL;
    return (int)ls->lastFlag;
}

static sunindextype lsLastFlag(SUNLinearSolver s)
{
    return lsContent(s)->lastFlag;
}

static int lsFree(SUNLinearSolver s)
{
    if (!s) return SUNLS_SUCCESS;
    if (s->content) {
        FmcvJacIntfc* intfc = lsContent(s)->intfc;
        fre_e(intfc->fms, s->content, sizeof(FmcvLs), "fmcv-ls");
        s->content = nullptr;
    }
    SUNLinSolFreeEmpty(s);
    return SUNLS_SUCCESS;
}

static SUNLinearSolver newSolver(FmcvJacIntfc* intfc)
{
    SUNLinearSolver s = SUNLinSolNewEmpty(intfc->ctx);
    if (!s) return nullptr;
    FmcvLs* c = static_cast<FmcvLs*>(alc_e(intfc->fms, sizeof(FmcvLs), "fmcv-ls"));
    c->intfc = intfc;
    c->lastFlag = SUNLS_SUCCESS;
    s->content = c;
    s->ops->gettype = lsGetType;
    s->ops->getid = lsGetId;
    s->ops->initialize = lsInitialize;
    s->ops->setup = lsSetup;
    s->ops->solve = lsSolve;
    s->ops->lastflag = lsLastFlag;
    s->ops->free = lsFree;
    return s;
}

// --- the interface -------------------------------------------------------------------------------

void fmcv_jacIntfc_configure(FlowmirState* fms, FmcvJacIntfc* intfc, int neq, int nvar, int nnz, const int* ija,
                             const double* J, double* A, SparseSolver* solver, double* x)
{
    intfc->fms = fms;
    intfc->neq = neq;
    intfc->nvar = nvar;
    intfc->nnz = nnz;
    intfc->ija = ija;
    intfc->J = J;
    intfc->A = A;
    intfc->solver = solver;
    intfc->x = x;
    intfc->jacFcn = nullptr;
    intfc->jacEvalCt = 0;
    intfc->mat = nullptr;
    intfc->ls = nullptr;
}

void fmcv_jacIntfc_setJacFcn(FmcvJacIntfc* intfc, FmcvJacFn fn)
{
    intfc->jacFcn = fn;
}

int fmcv_jacIntfc_pushToCvode(FlowmirState* fms, void* cvodeMem, FmcvJacIntfc* intfc)
{
    if (CVodeSetErrHandlerFn(cvodeMem, fmcv_errHandler, fms) != CV_SUCCESS)
        error(fms, ERROR, __FILE__, __LINE__, "Unable to set CVODE error handler", "");
    // A solver attached before is replaced: CVODE frees its own interface to it.
    fmcv_jacIntfc_free(intfc);
    intfc->mat = newMatrix(intfc, intfc->A);
    intfc->ls = newSolver(intfc);
    if (!intfc->mat || !intfc->ls) return -1;
    if (CVodeSetLinearSolver(cvodeMem, intfc->ls, intfc->mat) != CVLS_SUCCESS) return -1;
    if (CVodeSetJacFn(cvodeMem, intfc->jacFcn) != CVLS_SUCCESS) return -1;
    return 0;
}

long fmcv_jacIntfc_getJacEvalCt(const FmcvJacIntfc* intfc)
{
    return intfc->jacEvalCt;
}

void fmcv_jacIntfc_free(FmcvJacIntfc* intfc)
{
    if (intfc->ls) SUNLinSolFree(intfc->ls);
    if (intfc->mat) SUNMatDestroy(intfc->mat);
    intfc->ls = nullptr;
    intfc->mat = nullptr;
}

// --- messages ------------------------------------------------------------------------------------

enum { CVODE_WARNING_CODE = 99 };

void fmcv_errHandler(int code, const char*, const char* function, char* msg, void* userData)
{
    FlowmirState* fms = static_cast<FlowmirState*>(userData);
    error(fms, code == CVODE_WARNING_CODE ? WARNING : FATAL, __FILE__, __LINE__, "CVODE fcn ",
          function ? function : "", ": ", msg ? msg : "", "");
}
