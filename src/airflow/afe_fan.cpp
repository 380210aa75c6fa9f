// Fans: constant mass and volume flow, the fan with a cubic performance curve, and the cubic
// solver it shares with the duct transition law.
#include <cmath>
#include <numbers>

#include "airflow/afe_models.h"

int afe_cmf(FlowmirState*, AirLink* link)
{
    const AfeCnf* p = static_cast<const AfeCnf*>(link->elem->data);
    link->Flow[0] = afe_ctrl(link) * link->mult * p->flowRate;
    link->dFdP = 0.0;
    link->Flow[1] = 0.0;
    return 1;
}

int afe_cvf(FlowmirState*, AirLink* link)
{
    const AfeCnf* p = static_cast<const AfeCnf*>(link->elem->data);
    link->Flow[0] = p->flowRate * link->nodeN->rho * afe_ctrl(link) * link->mult;
    link->dFdP = 0.0;
    link->Flow[1] = 0.0;
    return 1;
}

int afe_fan(FlowmirState* fms, AirLink* link)
{
    const AfeFan* p = static_cast<const AfeFan*>(link->elem->data);
    float s = afe_ctrl(link);
    // Off (or stopped, which the curve scaling by s^2 cannot describe): the leak of the fan.
    if (p->off >= s || s <= 0.0f) return plr_link(fms, link, p->lam, p->turb, p->expt, PLR_SQRHO, link->mult);

    // The curve holds at rdens and full speed; fan laws scale it to this density and speed.
    double r = link->nodeN->rho / p->rdens;
    double s2 = (double)s * s;
    double q = solveCubic(fms, p->a0 + link->dP / (s2 * r), p->a1, p->a2, p->a3, link->lastX);
    link->Flow[0] = r * s * link->mult * q;
    link->dFdP = -link->mult / (s * ((3.0 * p->a3 * q + 2.0 * p->a2) * q + p->a1));
    link->lastX = (float)q;
    link->Flow[1] = 0.0;
    return 1;
}

// Real root of c2 x^2 + c1 x + c0 nearest x0 (or of the linear law when c2 is 0).
static double quadraticRoot(double c0, double c1, double c2, double x0)
{
    if (c2 == 0.0) return c1 != 0.0 ? -c0 / c1 : x0;
    double disc = c1 * c1 - 4.0 * c2 * c0;
    if (disc < 0.0) return -c1 / (2.0 * c2); // no real root: the extremum is the closest value
    double q = -0.5 * (c1 + std::copysign(std::sqrt(disc), c1));
    double r1 = q / c2;
    double r2 = q != 0.0 ? c0 / q : r1;
    return std::fabs(r1 - x0) <= std::fabs(r2 - x0) ? r1 : r2;
}

static double cbrtSigned(double y)
{
    return std::copysign(std::pow(std::fabs(y), 0.3333333333), y);
}

double solveCubic(FlowmirState* fms, double c0, double c1, double c2, double c3, double x0)
{
    fms->nCubicA++;
    double x = x0;
    for (int it = 0; it < 10; it++) {
        double dp = (3.0 * c3 * x + 2.0 * c2) * x + c1;
        if (std::fabs(dp) < 1e-20) return x;
        double dx = (((c3 * x + c2) * x + c1) * x + c0) / dp;
        x -= dx;
        if (std::fabs(x) * 2.220446049250313e-14 > std::fabs(dx) || dx == 0.0) return x;
    }

    // Newton did not settle: closed form.
    fms->nCubicN++;
    if (c3 == 0.0) return quadraticRoot(c0, c1, c2, x0);
    double b = c2 / c3, c = c1 / c3, d = c0 / c3;
    double P = (3.0 * c - b * b) / 3.0;
    double Q = (2.0 * b * b * b - 9.0 * b * c + 27.0 * d) / 27.0;
    double disc = P * P * P / 27.0 + Q * Q / 4.0;
    if (disc >= 0.0) {
        double S = std::sqrt(disc);
        return cbrtSigned(S - Q / 2.0) + cbrtSigned(-Q / 2.0 - S) - b / 3.0;
    }
    // Three real roots (Cardano's square root would be imaginary): the one nearest x0.
    double rr = 2.0 * std::sqrt(-P / 3.0);
    double phi = std::acos(std::fmax(-1.0, std::fmin(1.0, 3.0 * Q / (P * rr))));
    double best = 0.0;
    for (int k = 0; k < 3; k++) {
        double root = rr * std::cos((phi - 2.0 * std::numbers::pi * k) / 3.0) - b / 3.0;
        if (k == 0 || std::fabs(root - x0) < std::fabs(best - x0)) best = root;
    }
    return best;
}
