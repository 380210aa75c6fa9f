// Two-way flow through a large opening by summing the orifice flow over thin horizontal strips:
// Cd W dy sqrt(2 rho_up |dP(y)|), dP(y) = dP - g (rhoN - rhoM) y about the opening's mid-height,
// with the g the door model uses. A reference that shares nothing with the door model's formula.
#ifndef FLOWMIR_TESTS_STRIP_FLOW_H
#define FLOWMIR_TESTS_STRIP_FLOW_H

#include <cmath>

struct StripFlow {
    double pos = 0.0, neg = 0.0;  // kg/s from N to M, and from M to N (negative)
};

inline StripFlow stripFlow(double dP, double rhoN, double rhoM, double H, double W, double Cd, int strips = 400000)
{
    StripFlow f;
    double dy = H / strips;
    for (int i = 0; i < strips; i++) {
        double y = -H / 2 + (i + 0.5) * dy;
        double p = dP - 9.8 * (rhoN - rhoM) * y;
        double v = Cd * W * dy * std::sqrt(2.0 * (p > 0 ? rhoN : rhoM) * std::fabs(p));
        if (p > 0)
            f.pos += v;
        else
            f.neg -= v;
    }
    return f;
}

#endif
