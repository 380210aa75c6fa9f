// The flow table of the building airflow test: every link's flow classified by where it comes
// from and goes to, zone by zone, with the outdoor air it carries.
#include <cmath>

#include "airflow/afe.h"
#include "bldgtest/bldgtest.h"
#include "network/airnet.h"
#include "support/error.h"

// Outdoor-air fraction of a node: its tracer mass fraction, the ambient's being 1.
static double oaFraction(const AirNode* n)
{
    return n->Mf ? n->Mf[0] : 0.0;
}

// The zone number of a link's end: zones by number, the ambient 0.
static int zoneNumber(const AirNode* n)
{
    return n->s_nr;
}

// The "from" or "to" column of a flow with the zone class of its other end.
static int fromColumn(FlowmirState* fms, const AirNode* other)
{
    if (other == fms->ambt) return FT_FMAMBT;
    return other->flags & NF_UNCOND ? FT_FMUZONE : FT_FMCZONE;
}

static int toColumn(FlowmirState* fms, const AirNode* other)
{
    if (other == fms->ambt) return FT_TOAMBT;
    return other->flags & NF_UNCOND ? FT_TOUZONE : FT_TOCZONE;
}

// A flow f (positive from N to M) between the zones n and m.
static void betweenZones(FlowmirState* fms, FlowRow* rows, const AirLink* l, int n, int m, double f)
{
    if (f > 0.0) {
        rows[m][fromColumn(fms, l->nodeN)] += f;
        rows[n][toColumn(fms, l->nodeM)] += f;
    } else {
        rows[m][toColumn(fms, l->nodeN)] += -f;
        rows[n][fromColumn(fms, l->nodeM)] += -f;
    }
}

static void pathFlow(FlowmirState* fms, FlowRow* rows, const AirLink* l)
{
    int n = zoneNumber(l->nodeN), m = zoneNumber(l->nodeM);
    if (n < 0 || n > fms->nzone)
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid zone number: %d path: %d", n, l->s_nr);
    if (m < 0 || m > fms->nzone)
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid zone number: %d path: %d", m, l->s_nr);
    double F = l->Flow[0], F2 = l->Flow[1];
    if (F2 != 0.0) betweenZones(fms, rows, l, n, m, F2);
    int code = l->elem ? l->elem->type : -1;
    bool fromAmbt = l->nodeN == fms->ambt, toAmbt = l->nodeM == fms->ambt;
    switch (code) {
    case AFE_AHS_SR:
        if (l->nodeN->flags & NF_AHS) {
            rows[m][FT_FMAHS] += F;
            rows[m][FT_OAAHS] += F * oaFraction(l->nodeN);
        } else {
            rows[n][FT_TOAHS] += F;
        }
        return;
    case AFE_AHS_XOR:
        // Outdoor air taken in by a system and its exhaust are the ambient's; the
        // recirculation stays inside the system.
        if (fromAmbt) rows[0][FT_TOAHS] += F;
        if (toAmbt) rows[0][FT_FMAHS] += F;
        return;
    case AFE_FAN_CMF:
    case AFE_FAN_CVF:
    case AFE_FAN_FAN:
        if (F > 0.0) {
            rows[m][FT_FMFAN] += F;
            rows[n][FT_TOFAN] += F;
            if (fromAmbt) {
                rows[m][FT_OAFAN] += F;
                rows[m][FT_FMAMBT] -= F;
            }
        } else {
            rows[n][FT_FMFAN] += -F;
            rows[m][FT_TOFAN] += -F;
            if (toAmbt) {
                rows[n][FT_OAFAN] += -F;
                rows[n][FT_FMAMBT] -= -F;
            }
        }
        break;
    default: break;
    }
    betweenZones(fms, rows, l, n, m, F);
}

// Terminals and leaks count only in the zone they open to.
static void ductEndFlow(FlowmirState* fms, FlowRow* rows, const AirLink* l)
{
    int m = zoneNumber(l->nodeM);
    bool term = l->styp == LINK_TERM;
    if (m < 0 || m > fms->nzone) {
        if (term)
            errorf(fms, FATAL, __FILE__, __LINE__, "Invalid zone number: %d terminal: %d", m, l->s_nr);
        else
            errorf(fms, FATAL, __FILE__, __LINE__, "Invalid zone number: %d terminal: ", m);
    }
    double F = l->Flow[0];
    if (F > 0.0) {
        rows[m][term ? FT_FMTERM : FT_FMLEAK] += F;
        rows[m][term ? FT_OATERM : FT_OALEAK] += F * oaFraction(l->nodeN);
    } else {
        rows[m][term ? FT_TOTERM : FT_TOLEAK] += -F;
    }
}

void bt_flow_table(FlowmirState* fms, FlowRow* rows, const BtVolumes* v)
{
    for (int z = 0; z <= fms->nzone; z++)
        for (int c = 0; c < FT_NCOLS; c++) rows[z][c] = 0.0;
    double V0 = 0.0;
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!(n->flags & NF_UNCOND) && n->V > 0.0f) V0 += n->V;
        if (n->styp != NODE_ZONE) continue;
        if (n->s_nr < 0 || n->s_nr > fms->nzone)
            errorf(fms, FATAL, __FILE__, __LINE__, "Invalid zone number: %d", n->s_nr);
        double* r = rows[n->s_nr];
        r[FT_VOL] = n == fms->ambt || n->V > 0.0f ? n->V : -1.0;
        r[FT_TEMP] = n->T - 273.15;
        r[FT_DENS] = n->rho;
        r[FT_PGAGE] = n->Pgage;
    }
    rows[0][FT_VOL] = V0;
    if (v->missing) error(fms, ERROR, __FILE__, __LINE__, "All zones must have volumes to compute air exchange rates", "");

    for (AirLink* l = fms->linkList; l; l = l->next) {
        switch (l->styp) {
        case LINK_PATH: pathFlow(fms, rows, l); break;
        case LINK_TERM:
        case LINK_LEAK: ductEndFlow(fms, rows, l); break;
        default: break;  // duct segments stay inside the duct system
        }
    }
}

double bt_building_ach(FlowmirState* fms, const FlowRow* rows)
{
    double oa = rows[0][FT_TOTERM] + rows[0][FT_TOLEAK] + rows[0][FT_TOAHS];
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->styp == NODE_ZONE && bt_class(fms, n) == BT_COND) {
            const double* r = rows[n->s_nr];
            oa += r[FT_FMAMBT] + r[FT_FMUZONE] + r[FT_OAFAN];
        }
    // A building without conditioned volume has no rate to report.
    double V0 = rows[0][FT_VOL];
    return V0 > 0.0 ? oa * 3600.0 / (V0 * 1.2041) : 0.0;
}
