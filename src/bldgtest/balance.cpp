// Duct balancing: every fan serving balanced terminals becomes a constant flow of their design
// total, and each terminal's damper closes step by step until it delivers its design flow.
#include <unistd.h>

#include <cmath>

#include "airflow/afe.h"
#include "airflow/afe_models.h"
#include "airflow/afsolve.h"
#include "airflow/pool_array.h"
#include "airflow/pressures.h"
#include "bldgtest/bldgtest.h"
#include "engine/siminit.h"
#include "network/airnet.h"
#include "results/resfile.h"
#include "results/simfile.h"
#include "results/sqlite_out.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/paths.h"

// --- the report ---------------------------------------------------------------------------

static void balOpen(FlowmirState* fms)
{
    char path[260];
    pathmerge(fms, path, sizeof path, fms->_pdrive, fms->_pdir, fms->_prjname, ".bal");
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) error(fms, FATAL, __FILE__, __LINE__, "Could not open BAL file; is it already open?", "");
    fms->balFile = rf ? rf->fp : nullptr;
}

// Starts the report again from its beginning.
static void balRewrite(FlowmirState* fms)
{
    FILE* fp = fms->balFile;
    fflush(fp);
    if (ftruncate(fileno(fp), 0) != 0) error(fms, FATAL, __FILE__, __LINE__, "Could not rewrite BAL file", "");
    rewind(fp);
}

// Ends the report; whatever the outcome, the airflows stand in the results files.
static void balClose(FlowmirState* fms)
{
    fprintf(fms->balFile, "end\n");
    bt_report_flush(fms, fms->balFile);
    fms->balFile = nullptr;
    findPgage(fms);
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (l->flags & (LF_AHR | LF_AHO | LF_AHX)) continue;
        l->dPmax = (float)fabs(l->dP);
        l->Fmax = (float)fmax(fabs(l->Flow[0]), fabs(l->Flow[1]));
    }
    for (AirNode* n = fms->nodeList; n; n = n->next) n->Pgmax = n->Pgmin = n->Pgage;
    writeSim_stepTime(fms, fms->stepEndTime);
    writeSql_stepTime(fms);
    writeSim_daySummary(fms);
}

// --- set-up -------------------------------------------------------------------------------

static const AfeTrm* trmOf(const AirLink* l)
{
    return static_cast<const AfeTrm*>(l->elem->data);
}

// Traces of the balanced terminals, in link order; false when there is none or a terminal's
// flow runs against its design flow (each listed in the report).
static bool startTraces(FlowmirState* fms, BalTraceList* active)
{
    fprintf(fms->balFile, "3 ! Invalid flow direction(s)\n");
    fprintf(fms->balFile, "!trm\tjct #\tFcalc\tFdes\n");
    bool invalid = false;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (l->styp != LINK_TERM || !l->elem || l->elem->type != AFE_D_TERM || !trmOf(l)->bal) continue;
        BalTrace* t = alc_ect<BalTrace>(fms, &fms->mbBlock, "terminal");
        t->term = l;
        t->at = l->nodeN;
        t->dir = trmOf(l)->Fdes > 0.0f ? 1 : -1;
        t->prev = active->tail;
        (active->tail ? active->tail->next : active->head) = t;
        active->tail = t;
        // A design flow of 0 names no direction and could not scale a damper.
        if (t->dir * l->Flow[0] <= 0.0 || trmOf(l)->Fdes == 0.0f) {
            fprintf(fms->balFile, "trm\t%d\t%.4e\t%.4e\n", l->s_nr, l->Flow[0], trmOf(l)->Fdes);
            invalid = true;
        }
    }
    if (!active->head) {
        balRewrite(fms);
        fprintf(fms->balFile, "2 ! There are no terminals to balance\n");
        fprintf(fms->balFile, "!\n");
        balClose(fms);
        error(fms, WARNING, __FILE__, __LINE__, "There are no terminals to balance", "");
        return false;
    }
    if (invalid) {
        balClose(fms);
        error(fms, ERROR, __FILE__, __LINE__, "Invalid flow direction(s)", "");
        return false;
    }
    return true;
}

static bool tracesEnded(FlowmirState* fms, const BalTraceList* active, const BalTraceList* ended)
{
    bool lost = false;
    for (BalTrace* t = ended->head; t; t = t->next) lost = lost || !t->fan;
    if (!active->head && !lost) return true;
    balRewrite(fms);
    fprintf(fms->balFile, "4 ! Failed to terminate link(s) at a fan\n");
    fprintf(fms->balFile, "!trm\tjct #\tdir +/-\tjct #\n");
    if (active->head) {
        for (BalTrace* t = active->head; t; t = t->next)
            fprintf(fms->balFile, "trm\t%d\t%d\t%d\n", t->term->s_nr, t->dir, t->at->s_nr);
        balClose(fms);
        error(fms, ERROR, __FILE__, __LINE__, "Failed to terminate link(s)", "");
    } else {
        for (BalTrace* t = ended->head; t; t = t->next)
            if (!t->fan) fprintf(fms->balFile, "trm\t%d\t%d\t%d\n", t->term->s_nr, t->dir, t->at->s_nr);
        balClose(fms);
        error(fms, ERROR, __FILE__, __LINE__, "Failed to terminate link(s) at a fan", "");
    }
    return false;
}

// The fan's constant flow: a new element, since other links may share the fan's element.
static void replaceFan(FlowmirState* fms, BalDat* g)
{
    DctCnf* d = alc_ect<DctCnf>(fms, &fms->msBlock, "cmf");
    d->cnf.flowRate = (float)fabs(g->Fd[0]);
    if (const DuctBlock* b = afe_duct(g->fan->elem)) d->duct = *b;
    Afe* e = alc_ect<Afe>(fms, &fms->msBlock, "pe");
    e->data = d;
    e->model = afe_cmf;
    e->type = AFE_DCT_CMF;
    e->nr = g->fan->nr;
    snprintf(e->name, sizeof e->name, "cmf");
    g->fan->elem = e;
}

// The fan groups, each with its terminals; the fans become constant flows and the dampers
// take over the terminals' balancing coefficients.
static void formGroups(FlowmirState* fms, const BalTraceList* ended)
{
    fms->balGroups = nullptr;
    for (BalTrace* t = ended->head; t; t = t->next) {
        BalDat* g = fms->balGroups;
        while (g && g->fan != t->fan) g = g->next;
        if (g) {
            g->n++;
            continue;
        }
        g = alc_ect<BalDat>(fms, &fms->msBlock, "BalDat");
        g->n = 1;
        g->fan = t->fan;
        if (t->fan->elem->type == AFE_DCT_FAN) g->fanData = &static_cast<const DctFan*>(t->fan->elem->data)->fan;
        g->next = fms->balGroups;
        fms->balGroups = g;
    }
    for (BalDat* g = fms->balGroups; g; g = g->next) {
        g->pp = alc_vt<AirLink*>(fms, 0, g->n, "pp");
        // The links point at the damper positions for the rest of the run.
        g->sig = pool_arrayt<float>(fms, &fms->msBlock, g->n + 1, "sig");
        g->Fd = alc_vt<double>(fms, 0, g->n, "Fd");
        g->AdFd = alc_vt<double>(fms, 0, g->n, "AdFd");
        g->pp[0] = g->fan;
        g->Fd[0] = 0.0;
        g->sig[0] = 1.0f;
        g->fan->ctrl = &g->sig[0];
        int i = 0;
        for (BalTrace* t = ended->head; t; t = t->next) {
            if (t->fan != g->fan) continue;
            AfeTrm* trm = static_cast<AfeTrm*>(t->term->elem->data);
            i++;
            g->pp[i] = t->term;
            g->Fd[i] = trm->Fdes;
            g->AdFd[i] = (float)(2.0f * trm->area * trm->area / (trm->Fdes * trm->Fdes));
            g->Fd[0] += trm->Fdes;
            g->sig[i] = 1.0f / (trm->loss2 + 1.0f);
            trm->loss2 = 0.0f;
            t->term->ctrl = &g->sig[i];
        }
        replaceFan(fms, g);
    }
}

static bool groupsPure(FlowmirState* fms)
{
    bool anyMixed = false;
    for (BalDat* g = fms->balGroups; g; g = g->next) {
        for (int i = 2; i <= g->n; i++)
            if (g->Fd[i] * g->Fd[1] < 0.0) g->mixed = 1;
        anyMixed = anyMixed || g->mixed;
    }
    if (!anyMixed) return true;
    balRewrite(fms);
    fprintf(fms->balFile, "5 ! Fan system includes supply and return terminals\n");
    fprintf(fms->balFile, "!fan path #\ttrm jct #\n");
    for (BalDat* g = fms->balGroups; g; g = g->next) {
        if (!g->mixed) continue;
        fprintf(fms->balFile, "fan\t%d\n", g->fan->s_nr);
        for (int i = 1; i <= g->n; i++) fprintf(fms->balFile, "trm\t%d\n", g->pp[i]->s_nr);
    }
    balClose(fms);
    error(fms, ERROR, __FILE__, __LINE__, "Fan system includes supply and return terminals", "");
    return false;
}

static bool setup(FlowmirState* fms)
{
    balOpen(fms);
    BalTraceList active{}, ended{};
    if (!startTraces(fms, &active)) return false;
    bal_trace(fms, &fms->mbBlock, &active, &ended);
    if (!tracesEnded(fms, &active, &ended)) return false;
    formGroups(fms, &ended);
    if (!groupsPure(fms)) return false;
    balRewrite(fms);
    return true;
}

static void freeGroups(FlowmirState* fms)
{
    for (BalDat* g = fms->balGroups; g; g = g->next) {
        fre_vt(fms, g->pp, 0, g->n);
        fre_vt(fms, g->Fd, 0, g->n);
        fre_vt(fms, g->AdFd, 0, g->n);
    }
}

// --- iterations ---------------------------------------------------------------------------

// Sets the fan flow and the dampers from the terminals' flows; true when every terminal is
// within tol of its design flow.
static bool adjustGroup(FlowmirState* fms, BalDat* g, double* Fc, float tol)
{
    LOG(fms, " Fan system %d (%d terminals):\n", g->fan->nr, g->n);
    Fc[0] = 0.0;
    for (int i = g->n; i >= 1; i--) {
        Fc[i] = g->pp[i]->Flow[0];
        Fc[0] += Fc[i];
    }
    LOG(fms, "  Relative Flows:\n  ");
    for (int j = 0; j <= g->n; j++) LOG(fms, " %8.6f", Fc[j] / g->Fd[j]);
    LOG(fms, "\n");
    logFlush(fms);

    bool pass = true;
    for (int i = 1; i <= g->n; i++)
        if (fabs(Fc[i] - g->Fd[i]) > fabs(g->Fd[i] * tol)) pass = false;
    // Terminals that deliver nothing at all give the fan nothing to scale by.
    if (Fc[0] != 0.0) g->sig[0] = (float)(g->sig[0] * (g->Fd[0] / Fc[0]));
    for (int i = 1; i <= g->n; i++) {
        if (!(fabs(Fc[i]) > fabs(g->Fd[i]))) continue;
        AirLink* l = g->pp[i];
        float s = g->sig[i];
        float CbOld = (1.0f - s) / s;
        const AirNode* U = l->dP >= 0.0 ? l->nodeN : l->nodeM;
        double CbReq = fabs(l->dP) * (g->AdFd[i] * U->rho) - trmOf(l)->loss1;
        double CbNew = CbReq + 0.25 * (CbReq - CbOld);
        // A damper opens no further than fully open.
        if (CbNew < 0.0) CbNew = 0.0;
        g->sig[i] = (float)(1.0 / (CbNew + 1.0));
    }
    return pass;
}

static int solve(FlowmirState* fms, AfMat* mat)
{
    switch (mat->method) {
    case 1: return SolveAfstr(fms, mat);
    case 0: return SolveAfsur(fms, mat);
    default: error(fms, FATAL, __FILE__, __LINE__, "Invalid method, Call Orvo", ""); return 0;
    }
}

static void writeResults(FlowmirState* fms, bool converged)
{
    FILE* fp = fms->balFile;
    fputs(converged ? "0 ! Flow balance iterations converged\n" : "1 ! Flow balance iterations did not converge\n", fp);
    fprintf(fp, "!fan\tduct #\tflow [kg/s]\tPrise [Pa]\tRPMratio\n");
    fprintf(fp, "!trm\tjctn #\trel-flow [-]\tCb [-]\n");
    float h = (float)(fms->ambt->rho / 1.2041);
    for (BalDat* g = fms->balGroups; g; g = g->next) {
        AirLink* fan = g->fan;
        fprintf(fp, "fan\t%d\t%g\t%g", fan->s_nr, fan->Flow[0], -fan->dP);
        if (g->fanData) fprintf(fp, "\t%.6e", bal_speed_ratio(g->fanData, (float)fan->Flow[0], (float)-fan->dP, h));
        fprintf(fp, "\n");
        for (int i = g->n; i >= 1; i--) {
            float s = g->sig[i];
            fprintf(fp, "trm\t%d\t%.6e\t%g\n", g->pp[i]->s_nr, g->pp[i]->Flow[0] / g->Fd[i], (1.0f - s) / s);
        }
    }
}

void Balance(FlowmirState* fms)
{
    LOG(fms, "Duct balancing function called\n");
    for (AirNode* n = fms->nodeList; n; n = n->next) n->T = 293.15;
    fms->ambt->T = fms->Tambt;
    fms->Wspd = fms->Wdir = 0.0f;
    sim_init(fms, 0);

    if (fms->mbBlock) error(fms, FATAL, __FILE__, __LINE__, "fms->mb not NULL, call Orvo", "");
    fms->mbBlock = alc_eci(fms, 2000, "mb-block");
    bool ok = setup(fms);
    fre_ec(fms, fms->mbBlock, "mb-block");
    fms->mbBlock = nullptr;
    if (!ok) {
        freeGroups(fms);
        return;
    }

    int nmax = 0;
    for (BalDat* g = fms->balGroups; g; g = g->next)
        if (g->n > nmax) nmax = g->n;
    double* Fc = alc_vt<double>(fms, 0, nmax, "Fc");
    float tol = 10.0f * fms->afRelcnvg;
    int itmax = 2 * fms->afItmax;
    bool converged = false;
    for (int k = 1; k <= itmax && !converged; k++) {
        LOG(fms, "Iteration %d:\n", k);
        solve(fms, fms->afMat);
        converged = true;
        for (BalDat* g = fms->balGroups; g; g = g->next)
            if (!adjustGroup(fms, g, Fc, tol)) converged = false;
    }
    writeResults(fms, converged);
    balClose(fms);
    if (converged)
        error(fms, NOTE, __FILE__, __LINE__, "Duct balancing complete", "");
    else
        errorf(fms, WARNING, __FILE__, __LINE__, "Duct balance failed to converge in %d iterations", itmax);
    fre_vt(fms, Fc, 0, nmax);
    freeGroups(fms);
}
