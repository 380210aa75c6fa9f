// Spline elements: flow read off a fitted curve of dP, or dP curves of flow inverted for the
// flow by Newton's method with bracketing and bisection as the fallback.
#include <cmath>
#include <utility>

#include "airflow/afe_models.h"
#include "airflow/spline.h"
#include "support/error.h"

// Steps are judged against the size of x as well, so that large abscissae (volume flows of
// big fans) can still meet the tolerance in double precision.
static double tolerance(double x)
{
    return 1e-12 * std::fmax(1.0, std::fabs(x));
}

// Newton's method for y(x) = target from *x; 1 on success.
static int newtonInvert(const AfeCsf* c, double target, double* x, int* seg)
{
    double dxPrev = 0.0;
    for (int it = 1; it <= 100; it++) {
        double dydx;
        double y = CSFintrp(*x, c->npts, c->pts, seg, &dydx, nullptr);
        if (!(dydx > 0.0)) return 0; // a fitted airflow curve always rises
        double dx = (y - target) / dydx;
        *x -= dx;
        if (std::fabs(dx) <= tolerance(*x)) return 1;
        if (it > 5 && std::fabs(dx) > 0.75 * std::fabs(dxPrev)) return 0;
        dxPrev = dx;
    }
    return 0;
}

// Brackets the target by steps of growing length from *x, then halves the bracket; 1 on success.
static int bisectInvert(const AfeCsf* c, double target, double* x, int* seg)
{
    double x0 = *x;
    double y0 = CSFintrp(x0, c->npts, c->pts, seg, nullptr, nullptr);
    if (y0 == target) return 1;
    double dir = y0 < target ? 1.0 : -1.0;
    double lo = x0, hi = x0, step = 1.0;
    int found = 0;
    for (int k = 0; k < 200; k++) {
        lo = hi;
        hi = lo + dir * step;
        double y = CSFintrp(hi, c->npts, c->pts, seg, nullptr, nullptr);
        if (dir > 0.0 ? y >= target : y <= target) {
            found = 1;
            break;
        }
        step *= 3.0;
    }
    if (!found) return 0;
    if (lo > hi) std::swap(lo, hi);
    for (int k = 0; k <= 1000; k++) {
        double mid = 0.5 * (lo + hi);
        double y = CSFintrp(mid, c->npts, c->pts, seg, nullptr, nullptr);
        *x = mid;
        if (y == target || hi - lo < tolerance(mid)) return 1;
        if (y < target)
            lo = mid;
        else
            hi = mid;
    }
    return 0;
}

// The abscissa where the curve reaches target, starting from the link's last solution; the
// slope there in *dydx.
static double invert(FlowmirState* fms, AirLink* link, const AfeCsf* c, double target, double* dydx)
{
    int seg = link->lastSeg;
    double x = link->lastX;
    if (!newtonInvert(c, target, &x, &seg)) {
        x = link->lastX;
        seg = link->lastSeg;
        if (!bisectInvert(c, target, &x, &seg))
            error(fms, FATAL, __FILE__, __LINE__, "Too many iterations; call Orvo", "");
    }
    CSFintrp(x, c->npts, c->pts, &seg, dydx, nullptr);
    link->lastSeg = seg;
    link->lastX = (float)x;
    return x;
}

static int oneFlow(AirLink* link, double F, double dF)
{
    link->Flow[0] = F;
    link->dFdP = dF;
    link->Flow[1] = 0.0;
    return 1;
}

int afe_fsp(FlowmirState*, AirLink* link)
{
    const AfeCsf* c = afe_csf(link->elem);
    double k = afe_ctrl(link) * link->mult;
    double dydx;
    int seg = link->lastSeg;
    double y = CSFintrp(link->dP, c->npts, c->pts, &seg, &dydx, nullptr);
    link->lastSeg = seg;
    return oneFlow(link, y * k, dydx * k);
}

int afe_qsp(FlowmirState*, AirLink* link)
{
    const AfeCsf* c = afe_csf(link->elem);
    double k = afe_ctrl(link) * link->mult * afe_upstream(link, link->dP)->rho;
    double dydx;
    int seg = link->lastSeg;
    double y = CSFintrp(link->dP, c->npts, c->pts, &seg, &dydx, nullptr);
    link->lastSeg = seg;
    return oneFlow(link, y * k, dydx * k);
}

int afe_psf(FlowmirState* fms, AirLink* link)
{
    const AfeCsf* c = afe_csf(link->elem);
    double k = afe_ctrl(link) * link->mult;
    double dydx;
    double F = invert(fms, link, c, link->dP, &dydx);
    return oneFlow(link, F * k, k / dydx);
}

int afe_psq(FlowmirState* fms, AirLink* link)
{
    const AfeCsf* c = afe_csf(link->elem);
    double rho = afe_upstream(link, link->dP)->rho;
    double k = afe_ctrl(link) * link->mult;
    double dydx;
    double Q = invert(fms, link, c, link->dP, &dydx);
    return oneFlow(link, Q * k * rho, k / dydx * rho);
}

double afe_csf_slope0(const Afe* e)
{
    const AfeCsf* c = afe_csf(e);
    if (!c || c->npts < 2) return 0.0;
    int seg = 0;
    double dydx;
    CSFintrp(0.0, c->npts, c->pts, &seg, &dydx, nullptr);
    return dydx;
}
