// Variable-step transport integration: the species masses of every node and sink integrated
// as one system of ordinary differential equations by CVODE (BDF or Adams-Moulton, Newton
// iteration), with the right-hand side from the transport coefficients of the combined
// mass-fraction system and the engine's own sparse solver as CVODE's linear solver. The run
// loop integrates in segments that end on every boundary-file record, schedule point,
// midnight and (when something reads them) listing time, and lists results at listing times
// by interpolation.
#ifndef FLOWMIR_TRANSPORT_CVODE_H
#define FLOWMIR_TRANSPORT_CVODE_H

#include <sundials/sundials_context.h>
#include <sundials/sundials_linearsolver.h>
#include <sundials/sundials_matrix.h>
#include <sundials/sundials_nvector.h>

#include "engine/state.h"
#include "transport/cse.h"

struct SparseSolver;

// CVODE's Jacobian function: J = d(dy/dt)/dy into the matrix Jm at (t, y).
typedef int (*FmcvJacFn)(sunrealtype t, N_Vector y, N_Vector fy, SUNMatrix Jm, void* userData, N_Vector tmp1,
                         N_Vector tmp2, N_Vector tmp3);

// The Jacobian interface: the pattern, the coefficients the Jacobian comes from, the matrix
// CVODE forms I - gamma J in, and the sparse solver that factors it.
struct FmcvJacIntfc {
    int neq, nvar, nnz;
    const int* ija;       // [1..nnz] row-indexed pattern (not owned)
    const double* J;      // [1..nnz] the coefficients K the Jacobian is formed from (not owned)
    double* A;            // [1..nnz] the matrix CVODE solves with (not owned)
    SparseSolver* solver; // configured on the pattern (not owned)
    double* x;            // [1..neq] solution work vector (not owned)
    FmcvJacFn jacFcn;
    long jacEvalCt;       // Jacobian evaluations
    FlowmirState* fms;
    SUNContext ctx;       // the context the matrix and the solver belong to
    SUNMatrix mat;        // A wrapped for CVODE
    SUNLinearSolver ls;   // the engine's solver wrapped for CVODE
    const unsigned char* fixedEq;  // [1..neq] nonzero: the equation's value is given (no correction)
};

// The whole transient run with this solver; writeResults: results files are written.
int sim_loop_cvode(FlowmirState* fms, int writeResults);

// True when the run uses a feature this solver does not support; each is reported as ERROR.
bool cvodeIsExcluded(FlowmirState* fms);
// Set-up refusals: variable nodes without air mass, sinks without capacity (FATAL).
void cvodeCheckStorage(FlowmirState* fms, MfSystem* sys);

// The state vector y[1..neq] from the nodes and sinks: species masses of variable nodes
// (M x Mf), the fixed mass fractions of the others, capacity x Cs of boundary-layer sinks and
// area x multiplier x Cs of deposition surfaces.
void getNodeSpeciesMasses(FlowmirState* fms, double* y, BlsSink* blsSinks, DvrSink* dvrSinks, int first, int end);
// The reverse: node mass fractions (and, with non-trace species, air masses) and sink values
// from y, also into x[1..neq].
void setNodeConcs_fromSpeciesMasses(FlowmirState* fms, const double* y, double* x, BlsSink* blsSinks,
                                    DvrSink* dvrSinks, int first, int nNonTrace, int end);
// Zero derivatives for the equations of nodes whose concentrations are given.
void adjustNodeSpeciesMassDerivs(FlowmirState* fms, double* dydt, int first, int end);

// CVODE's right-hand side and Jacobian over the combined system (user data: the Jacobian
// interface).
int fmcv_rhs(sunrealtype t, N_Vector y, N_Vector ydot, void* userData);
int fmcv_jac(sunrealtype t, N_Vector y, N_Vector fy, SUNMatrix Jm, void* userData, N_Vector tmp1, N_Vector tmp2,
             N_Vector tmp3);

// The Jacobian interface and its attachment to a CVODE memory.
void fmcv_jacIntfc_configure(FlowmirState* fms, FmcvJacIntfc* intfc, int neq, int nvar, int nnz, const int* ija,
                             const double* J, double* A, SparseSolver* solver, double* x);
void fmcv_jacIntfc_setJacFcn(FmcvJacIntfc* intfc, FmcvJacFn fn);
// Installs the error handler, the matrix, the linear solver and the Jacobian function; 0 on
// success.
int fmcv_jacIntfc_pushToCvode(FlowmirState* fms, void* cvodeMem, FmcvJacIntfc* intfc);
long fmcv_jacIntfc_getJacEvalCt(const FmcvJacIntfc* intfc);
// The values of a matrix wrapped for CVODE, [1..nnz] as the pattern.
double* fmcv_matValues(SUNMatrix m);
// Releases the wrapped matrix and solver (after CVodeFree).
void fmcv_jacIntfc_free(FmcvJacIntfc* intfc);

// CVODE's messages: warnings as WARNING, everything else FATAL.
void fmcv_errHandler(int code, const char* module, const char* function, char* msg, void* userData);

#endif
