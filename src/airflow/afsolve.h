// The airflow network solution: assembly of the residuals and the Jacobian, the linear first
// estimate, the Newton-Raphson variants, the convergence test and the failure report.
//
// A node's residual is its net mass inflow; the assembled matrix is the negated Jacobian,
// so a Newton correction x solves A x = -R and the new pressures are P - x.
#ifndef FLOWMIR_AIRFLOW_AFSOLVE_H
#define FLOWMIR_AIRFLOW_AFSOLVE_H

#include "network/airnet.h"

// Evaluates every link and assembles mat->sa and every node's resid and sumF; an isolated
// variable-pressure node is warned about and solved as a constant-pressure node for this
// assembly. Returns 0, or 1 when a storage node cannot be assembled (see af_nodes_sound).
int FillAf(FlowmirState* fms, AfMat* mat);

// Linear first estimate of the node pressures from a linear law per link. Returns 0, or 1
// when the network's nodes are refused.
int init_Af(FlowmirState* fms, AfMat* mat);

// Newton-Raphson with a variable trust region / with simple under-relaxation: the number of
// Newton iterations made. A solution that is refused for unsound nodes makes none.
int SolveAfstr(FlowmirState* fms, AfMat* mat);
int SolveAfsur(FlowmirState* fms, AfMat* mat);
// Networks without variable-pressure nodes: one assembly; returns 0.
int SolveAfnvn(FlowmirState* fms, AfMat* mat);

// 1 when every node passes: constant pressure, sumF <= Fmin, or |resid| <= relcnvg sumF.
int af_converged(FlowmirState* fms, const AfMat* mat);
// Reports a Newton failure with the nodes that fail the test; asks a GUI host what to do.
void af_fail_report(FlowmirState* fms, const AfMat* mat);
// 1 when every node has a positive temperature and gas constant; otherwise each bad node
// is an ERROR naming it, and the result is 0 (the solution must not go on).
int af_nodes_sound(FlowmirState* fms);

#endif
