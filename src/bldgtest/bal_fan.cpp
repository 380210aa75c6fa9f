// Duct balancing: the speed ratio at which a fan with a curve would deliver the balanced flow.
#include <cmath>

#include "airflow/afe.h"
#include "bldgtest/bldgtest.h"

// Pressure rise of the curve at speed ratio s, by the fan laws.
static float riseAt(const AfeFan* f, float F, float h, float s)
{
    float q = std::fabs(F) / (s * h);
    float p = f->a0 + q * (f->a1 + q * (f->a2 + q * f->a3));
    return p * s * s * h;
}

float bal_speed_ratio(const AfeFan* fan, float F, float rise, float h)
{
    float P1 = riseAt(fan, F, h, 1.0f);
    if (P1 == rise) return 1.0f;
    float s = 1.0f, lo, hi;
    if (P1 > rise) {
        for (int k = 0; k < 7 && riseAt(fan, F, h, s) > rise; k++) s *= 0.5f;
        if (riseAt(fan, F, h, s) > rise) return 0.0f;
        lo = s;
        hi = 2.0f * s;
    } else {
        for (int k = 0; k < 7 && riseAt(fan, F, h, s) < rise; k++) s *= 2.0f;
        if (riseAt(fan, F, h, s) < rise) return 0.0f;
        lo = 0.5f * s;
        hi = s;
    }
    while (hi - lo > 1e-5f) {
        float m = (lo + hi) * 0.5f;
        float P = riseAt(fan, F, h, m);
        if (P > rise)
            hi = m;
        else if (P < rise)
            lo = m;
        else
            return m;
    }
    return (lo + hi) * 0.5f;
}
