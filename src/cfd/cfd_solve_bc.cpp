// Boundary conditions: the openings' face flows (flow-specified or by the power law of a
// pressure difference), the walls' boundary values (at rest, or moving patches), and the
// boundary faces and sources of the scalar equations.
#include <cmath>

#include "cfd/cfd_solve.h"
#include "support/error.h"

// Visits every opening: f(opening, inlet).
template <class F> static void eachOpening(CfdRun* r, F f)
{
    for (int o = 1; o <= r->nin; o++)
        f(r->in[o], true);
    for (int o = 1; o <= r->nout; o++)
        f(r->out[o], false);
}

// The mass flow through one face of an opening, positive into the zone.
static inline double faceInflow(const CfdRun* r, const CfdOpening& op, long c, long bp, double area)
{
    double*** vel[3] = {r->U, r->V, r->W};
    const double* v = cfd_flat(vel[op.face / 2]);
    double u = v[op.face % 2 == 0 ? c : bp];
    return (op.face % 2 == 0 ? 1.0 : -1.0) * r->rho * u * area;
}

// Which of an opening's types carry a given flow, and which follow the pressure.
static bool flowType(const CfdOpening& o, bool inlet)
{
    return o.type == CFD_FLOW || (!inlet && o.type == CFD_CLOSED);
}

static void checkType(FlowmirState* fms, const CfdOpening& o, bool inlet, const char* in, const char* out)
{
    bool known = o.type == CFD_FLOW || o.type == CFD_PRESSURE || o.type == CFD_CLOSED;
    if (!known) error(fms, FATAL, __FILE__, __LINE__, inlet ? in : out, "");
}

// Face velocities of the openings; the pressure-type openings' conductances into "opencoe",
// keeping the previous iteration's in "opencoesv".
void cfd_openings(FlowmirState* fms, int iteration)
{
    CfdRun* r = fms->cfdRun;
    double* vel[3] = {cfd_flat(r->U), cfd_flat(r->V), cfd_flat(r->W)};
    double* coe = cfd_flat(r->opencoe);
    double* coesv = cfd_flat(r->opencoesv);
    const double* P = cfd_flat(r->P);
    double rho = r->rho;
    eachOpening(r, [&](CfdOpening& op, bool inlet) {
        checkType(fms, op, inlet, "Error updateu: inlet type setup", "Error updateu: outlet type setup");
        int d = op.face / 2;
        double sign = op.face % 2 == 0 ? 1.0 : -1.0; // inflow along +d on a lower face
        double total = 0.0;
        cfd_face_cells(r, op.lb, op.face, [&](long c, long bp, double area) {
            long f = op.face % 2 == 0 ? c : bp; // the face's velocity point
            double m = 0.0;
            if (op.type == CFD_PRESSURE) {
                double dp = op.P - P[c];
                m = op.coe / op.area * area * pow(fabs(dp), op.expn);
                if (dp < 0.0) m = -m;
                if (iteration > 1) coesv[bp] = coe[bp];
                coe[bp] = fabs(m) / (fabs(dp) + 1e-10);
                if (iteration <= 1) coesv[bp] = coe[bp];
            } else if (flowType(op, inlet)) {
                m = op.area > 0.0 ? op.mass * area / op.area : 0.0;
            }
            vel[d][f] = sign * m / (rho * area);
            total += m;
        });
        if (op.type == CFD_PRESSURE) op.mass = total;
    });
}

// The pressure-type openings in the pressure correction: a face's flow falls by its
// conductance times the correction of the cell behind it.
void cfd_bcpatch(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    double* ap = cfd_flat(r->AP);
    double* sp = cfd_flat(r->SP);
    const double* coesv = cfd_flat(r->opencoesv);
    eachOpening(r, [&](const CfdOpening& op, bool inlet) {
        checkType(fms, op, inlet, "Error bcpatch: inlet type setup", "Error bcpatch: outlet type setup");
        if (op.type != CFD_PRESSURE) return;
        cfd_face_cells(r, op.lb, op.face, [&](long c, long bp, double) {
            sp[c] -= coesv[bp];
            ap[c] += coesv[bp];
        });
    });
}

void cfd_opening_correct(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    double* vel[3] = {cfd_flat(r->U), cfd_flat(r->V), cfd_flat(r->W)};
    const double* coesv = cfd_flat(r->opencoesv);
    const double* pp = cfd_flat(r->PP);
    eachOpening(r, [&](CfdOpening& op, bool) {
        if (op.type != CFD_PRESSURE) return;
        int d = op.face / 2;
        double sign = op.face % 2 == 0 ? 1.0 : -1.0;
        cfd_face_cells(r, op.lb, op.face, [&](long c, long bp, double area) {
            long f = op.face % 2 == 0 ? c : bp;
            double dm = -coesv[bp] * pp[c];
            vel[d][f] += sign * dm / (r->rho * area);
            op.mass += dm;
        });
    });
}

// Boundary values of the velocity components along the walls: at rest, the moving patches'
// velocities, and at the openings the inflow's own components or, for an outflow, those of
// the cells behind it. Temperatures and mass fractions of the layers follow the cells behind
// them except where a wall or an inflow fixes them.
void cfd_wall_values(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    double* vel[3] = {cfd_flat(r->U), cfd_flat(r->V), cfd_flat(r->W)};
    double* T = cfd_flat(r->T);
    for (int d = 0; d < 3; d++) {
        int a = (d + 1) % 3, b = (d + 2) % 3;
        for (int side = 0; side < 2; side++) {
            int q[3];
            q[d] = side == 0 ? 1 : g.n[d] + 2;
            long in = side == 0 ? g.s[d] : -g.s[d];
            for (q[a] = 1; q[a] <= g.n[a] + 2; q[a]++)
                for (q[b] = 1; q[b] <= g.n[b] + 2; q[b]++) {
                    long p = cfd_at(g, q[0], q[1], q[2]);
                    vel[a][p] = vel[b][p] = 0.0;
                    T[p] = T[p + in];
                    for (int m = 1; m <= r->nc; m++)
                        cfd_flat(r->C[m])[p] = cfd_flat(r->C[m])[p + in];
                }
        }
    }
    for (int w = 1; w <= r->ntw; w++) {
        const CfdWall& wall = r->tw[w];
        int d = wall.face / 2;
        cfd_face_cells(r, wall.lb, wall.face, [&](long, long bp, double) { T[bp] = wall.tnaw; });
        if (!wall.moving) continue;
        // The patch's faces along each tangential direction, its edges included.
        for (int e = 0; e < 3; e++) {
            if (e == d || g.n[e] == 1) continue;
            CfdRange q = wall.lb;
            q.hi[e]++;
            q.lo[d] = q.hi[d] = wall.face % 2 == 0 ? 1 : g.n[d] + 2;
            int idx[3];
            for (idx[0] = q.lo[0]; idx[0] <= q.hi[0]; idx[0]++)
                for (idx[1] = q.lo[1]; idx[1] <= q.hi[1]; idx[1]++)
                    for (idx[2] = q.lo[2]; idx[2] <= q.hi[2]; idx[2]++)
                        vel[e][cfd_at(g, idx[0], idx[1], idx[2])] = wall.vel[e];
        }
    }
    eachOpening(r, [&](const CfdOpening& op, bool inlet) {
        int d = op.face / 2;
        double given[3] = {op.u, op.v, op.w};
        bool inflow = op.mass > 0.0;
        cfd_face_cells(r, op.lb, op.face, [&](long c, long bp, double) {
            for (int e = 0; e < 3; e++) {
                if (e == d) continue;
                vel[e][bp] = inflow ? (inlet ? given[e] : 0.0) : vel[e][c];
            }
            if (inflow) {
                T[bp] = op.T;
                for (int m = 1; m <= r->nc; m++)
                    cfd_flat(r->C[m])[bp] = op.c[m];
            }
        });
    });
}

// The scalar equation's boundary faces: the interior assembly left them uncoupled (walls
// are adiabatic and tight); openings carry their inflow in, fixed-temperature patches
// conduct, heat-flux patches and blocks are sources.
void cfd_scalar_boundaries(FlowmirState* fms, int eq, double*** field, int m)
{
    CfdRun* r = fms->cfdRun;
    CfdIdx g = cfd_idx(r);
    double* ap = cfd_flat(r->AP);
    double* bs = cfd_flat(r->BS);
    const double* vel[3] = {cfd_flat(r->U), cfd_flat(r->V), cfd_flat(r->W)};
    const double* vis = cfd_flat(r->VIS);
    const double* del[3] = {r->DELX, r->DELY, r->DELZ};
    const double* phi = cfd_flat(field);
    double gamma = eq == CFD_EQ_T ? 1.0 / r->Pr : 1.0;
    int scheme = r->scheme[eq == CFD_EQ_T ? 3 : 4];
    eachOpening(r, [&](const CfdOpening& op, bool) {
        int d = op.face / 2;
        int idx = op.lb.lo[d];
        double sign = op.face % 2 == 0 ? 1.0 : -1.0;
        cfd_face_cells(r, op.lb, op.face, [&](long c, long bp, double area) {
            long f = op.face % 2 == 0 ? c : bp;
            double F = sign * r->rho * vel[d][f] * area; // inflow positive
            if (F <= 0.0) return;
            double D = gamma * vis[c] * area / (del[d][idx] / 2.0);
            double a = D * cfd_scheme(scheme, F / D) + F;
            ap[c] += a;
            bs[c] += a * phi[bp];
        });
    });
    if (eq == CFD_EQ_T) {
        for (int w = 1; w <= r->ntw; w++) {
            const CfdWall& wall = r->tw[w];
            int d = wall.face / 2;
            int idx = wall.lb.lo[d];
            cfd_face_cells(r, wall.lb, wall.face, [&](long c, long bp, double area) {
                double a = 2.0 * (vis[c] / r->Pr) / del[d][idx] * area;
                ap[c] += a;
                bs[c] += a * phi[bp];
            });
        }
        for (int w = 1; w <= r->nqw; w++) {
            const CfdWall& wall = r->qw[w];
            cfd_face_cells(r, wall.lb, wall.face, [&](long c, long, double area) {
                bs[c] += wall.qnaw * area / (wall.awq * r->cp);
            });
        }
    } else {
        for (int w = 1; w <= r->nqw; w++) {
            const CfdWall& wall = r->qw[w];
            if (wall.cnaw[m] == 0.0) continue;
            cfd_face_cells(r, wall.lb, wall.face, [&](long c, long, double area) {
                if (phi[c] < wall.cnawcut[m]) bs[c] += wall.cnaw[m] * area / wall.awq;
            });
        }
    }
    // A block's source enters the fluid cells along its surface, shared by face area.
    const int* cell = cfd_flat(r->ICELL);
    for (int k = 1; k <= r->nbl; k++) {
        const CfdBlock& bl = r->bl[k];
        double rate = eq == CFD_EQ_T ? bl.hsou / r->cp : bl.csou[m];
        if (rate == 0.0) continue;
        double surface = 0.0;
        for (int pass = 0; pass < 2; pass++) {
            double total = 0.0;
            int q[3];
            for (q[0] = bl.ib.lo[0]; q[0] <= bl.ib.hi[0]; q[0]++)
                for (q[1] = bl.ib.lo[1]; q[1] <= bl.ib.hi[1]; q[1]++)
                    for (q[2] = bl.ib.lo[2]; q[2] <= bl.ib.hi[2]; q[2]++) {
                        long p = cfd_at(g, q[0], q[1], q[2]);
                        for (int d = 0; d < 3; d++) {
                            if (g.n[d] == 1) continue;
                            int a = (d + 1) % 3, b = (d + 2) % 3;
                            double area = del[a][q[a]] * del[b][q[b]];
                            for (int s = -1; s <= 1; s += 2) {
                                int nb = q[d] + s;
                                if (nb < 2 || nb > g.n[d] + 1) continue;
                                long c = p + s * g.s[d];
                                if (cell[c]) continue;
                                if (pass == 0)
                                    total += area;
                                else if (eq == CFD_EQ_T || phi[c] < bl.csoucut[m])
                                    bs[c] += rate * area / surface;
                            }
                        }
                    }
            if (pass == 0) {
                if (total <= 0.0) break;
                surface = total;
            }
        }
    }
}

// What the openings carried in the last solution: the mass flows of the flow-specified ones
// stay as given, those of the pressure-type ones are their faces' flows; every opening's
// pressure is the area-weighted pressure behind it.
void cfd_opening_results(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    const double* P = cfd_flat(r->P);
    eachOpening(r, [&](CfdOpening& op, bool) {
        double sum = 0.0, area = 0.0, mass = 0.0;
        cfd_face_cells(r, op.lb, op.face, [&](long c, long bp, double a) {
            sum += P[c] * a;
            area += a;
            mass += faceInflow(r, op, c, bp, a);
        });
        if (op.type == CFD_PRESSURE) op.mass = mass;
        op.pmean = area > 0.0 ? sum / area : 0.0;
    });
}

// The contaminants the openings carried: an inflow brings the opening's mass fraction, an
// outflow takes the cell's.
void cfd_opening_ctm(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    eachOpening(r, [&](CfdOpening& op, bool) {
        for (int m = 1; m <= r->nc; m++) {
            const double* C = cfd_flat(r->C[m]);
            double flux = 0.0;
            cfd_face_cells(r, op.lb, op.face, [&](long c, long bp, double area) {
                double mf = faceInflow(r, op, c, bp, area);
                flux += mf * (mf > 0.0 ? op.c[m] : C[c]);
            });
            op.cflow[m] = flux;
            op.cout[m] = op.mass != 0.0 ? flux / op.mass : op.c[m];
        }
    });
}
