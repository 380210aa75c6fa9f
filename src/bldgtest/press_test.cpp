// The building pressurization test: the conditioned building held at the test pressure
// against the still outdoor air, its mechanical systems closed, and the envelope leakage.
#include <cmath>

#include "airflow/afe.h"
#include "bldgtest/bldgtest.h"
#include "engine/siminit.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"

static const double RT20 = 84150.17324999999;  // R T of dry air at 20 C

// Whether an earlier link of the list uses the element: a shared fan is closed once.
static bool seenBefore(FlowmirState* fms, const AirLink* link)
{
    for (AirLink* l = fms->linkList; l && l != link; l = l->next)
        if (l->elem == link->elem) return true;
    return false;
}

// Terminals into unconditioned space, duct leaks, fans and system paths become nearly closed
// openings, so that the envelope alone carries the test flow.
static void closeSystems(FlowmirState* fms, float* zero)
{
    for (AirLink* l = fms->linkList; l; l = l->next) {
        int code = l->elem ? l->elem->type : -1;
        if (l->styp == LINK_TERM) {
            if (l->nodeM->flags & NF_UNCOND) {
                static_cast<AfeTrm*>(l->elem->data)->area /= 1000.0f;
                l->ctrl = zero;
            }
        } else if (l->styp == LINK_LEAK) {
            if (l->dd) l->dd->Cleak /= 10000.0f;
        } else if (code == AFE_FAN_CMF || code == AFE_FAN_CVF || code == AFE_DCT_FAN || code == AFE_DCT_CMF ||
                   code == AFE_DCT_CVF || code == AFE_AHS_SR) {
            l->ctrl = zero;
        } else if (code == AFE_FAN_FAN) {
            if (!seenBefore(fms, l)) {
                AfeFan* f = static_cast<AfeFan*>(l->elem->data);
                f->lam /= 1000.0f;
                f->turb /= 1000.0f;
            }
            l->ctrl = zero;
        }
    }
}

double bt_envelope_flow(FlowmirState* fms, const AirLink* l, int report)
{
    double F = fabs(l->Flow[0]);
    if (l->elem && l->elem->type == AFE_DOR_PL2)
        F += fabs(l->Flow[1]);
    else if (report && l->Flow[1] != 0.0)
        errorf(fms, ERROR, __FILE__, __LINE__, "Unexpected 2nd flow, path %d; call Orvo", l->s_nr);
    return F;
}

static bool isEnvelopePath(const AirLink* l)
{
    return l->styp == LINK_PATH && l->envDir != 0;
}

static void volume(FILE* fp, const char* title, double V)
{
    fprintf(fp, "%s\n", title);
    fprintf(fp, "%.2f\tm^3\n", V);
    fprintf(fp, "%.1f\tcuft\n", V * 35.314667);
}

static void writeReport(FlowmirState* fms, FILE* fp, double Fenv, double rho20, const BtVolumes* v)
{
    fprintf(fp, "Building Pressurization Test for %s%s\n\n", fms->_prjname, fms->_pext);
    fprintf(fp, "Pressurization:\n%.1f\tPa\n", fms->presTestValue);
    fprintf(fp, "%.3f\tin.H2O\n\n", fms->presTestValue / 248.84);
    fprintf(fp, "Mass flow rate:\n%.4g\tkg/s\n", Fenv);
    fprintf(fp, "%.4g\tkg/h\n", Fenv * 3600.0);
    fprintf(fp, "%.4g\tscfm\n", Fenv * 2118.88 / 1.2041);
    fprintf(fp, "Volume flow rate:\n%.4g\tL/s\n", Fenv * 1000.0 / rho20);
    fprintf(fp, "%.4g\tm^3/h\n", Fenv * 3600.0 / rho20);
    fprintf(fp, "%.4g\tcfm\n\n", Fenv * 2118.88 / rho20);
    fprintf(fp, "Ambient conditions:\n");
    fprintf(fp, "Pressure\n%.0f\tPa\n", fms->Pambt);
    fprintf(fp, "%.3f\tin.H2O\n", fms->Pambt / 3386.42);
    fprintf(fp, "Temperature\n20\tC\n68\tF\n");
    fprintf(fp, "Air Density\n%.4f\tkg/m^3\n", rho20);
    fprintf(fp, "%.5f\tlb/ft^3\n", rho20 * 0.0624279606);
    fprintf(fp, "\nVolumes:\n");
    volume(fp, "Conditioned zones", v->cond);
    volume(fp, "Ducts & AHS (conditioned)", v->ducts);
    volume(fp, "Unconditioned zones", v->uncond);
    fprintf(fp, "\nAirflow Details:\n");
    fprintf(fp, "Path\tCzone\tUzone\tdP [Pa]\t[in.H2O]\tF [kg/s]\t[kg/h]\t[scfm]\tQ [L/s]\t[m^3/h]\t[cfm]\n");
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (!isEnvelopePath(l)) continue;
        const AirNode* in = l->nodeN->flags & NF_UNCOND ? l->nodeM : l->nodeN;
        const AirNode* out = in == l->nodeN ? l->nodeM : l->nodeN;
        double F = bt_envelope_flow(fms, l, 1);
        double dP = fabs(l->dP);
        fprintf(fp, "%d\t%d\t%d\t%.2f\t%.4f\t%.4g\t%.4g\t%.4g\t%.4g\t%.4g\t%.4g\n", l->s_nr, in->s_nr, out->s_nr, dP,
                dP / 248.84, F, F * 3600.0, F * 2118.88 / 1.2041, F * 1000.0 / rho20, F * 3600.0 / rho20,
                F * 2118.88 / rho20);
    }
}

void BldgPres(FlowmirState* fms)
{
    LOG(fms, "Building pressurization test called\n");
    fms->densZP = 0;
    fms->Wspd = fms->Wdir = 0.0f;
    double rho20 = fms->Pambt / RT20;

    BtVolumes v;
    bt_volumes(fms, &v);

    for (AirNode* n = fms->nodeList; n; n = n->next) {
        n->T = 293.15;
        if (!(n->flags & NF_VARP)) n->P = fms->presTestValue - fms->gravity * rho20 * n->hgt;
    }
    fms->ambt->flags &= ~(uint32_t)NF_VARP;
    fms->ambt->P = 0.0;

    float* zero = alc_ect<float>(fms, &fms->msBlock, "zero");
    *zero = 0.0f;
    closeSystems(fms, zero);
    sim_init(fms, 1);

    double Fenv = 0.0;
    for (AirLink* l = fms->linkList; l; l = l->next)
        if (isEnvelopePath(l)) Fenv += bt_envelope_flow(fms, l, 0);
    FILE* fp = bt_open_val(fms);
    writeReport(fms, fp, Fenv, rho20, &v);
    bt_report_flush(fms, fp);
}
