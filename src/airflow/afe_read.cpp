#include "airflow/afe_read.h"

#include "airflow/pool_array.h"
#include "airflow/spline.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/log.h"
#include "support/nxt.h"
#include "support/strutil.h"

const char* const afe_keywords[AFE_NCODES + 1] = {
    "plr_orfc",  "plr_leak1", "plr_leak2", "plr_leak3", "plr_conn", "plr_qcn", "plr_fcn", "plr_test1",
    "plr_test2", "plr_crack", "plr_stair", "plr_shaft", "plr_bdq",  "plr_bdf", "srv_jwa", "qfr_qab",
    "qfr_fab",   "qfr_crack", "qfr_test2", "dor_door",  "dor_pl2",  "fan_cmf", "fan_cvf", "fan_fan",
    "csf_fsp",   "csf_qsp",   "csf_psf",   "csf_psq",   "sup_afe",  "dct_dwc", "dct_plr", "dct_fcn",
    "dct_qcn",   "dct_fan",   "dct_cmf",   "dct_cvf",   "dct_bdq",  "dct_bdf", "dct_fsp", "dct_qsp",
    "dct_psf",   "dct_psq",   "ahs_sr",    "ahs_xor",   "d_leak",   "d_term",  "",
};

// Reals read and thrown away, on the current line.
static void skipReals(FlowmirState* fms, int count)
{
    for (int i = 0; i < count; i++)
        readR4(fms, 0);
}

static void readPlr(FlowmirState* fms, AfePlr* p)
{
    p->lam = readR4(fms, 1);
    p->turb = readR4(fms, 0);
    p->expt = readR4(fms, 0);
}

static void readBid(FlowmirState* fms, AfeBid* p)
{
    p->lam = readR4(fms, 1);
    p->turbp = readR4(fms, 0);
    p->exptp = readR4(fms, 0);
    p->turbn = readR4(fms, 0);
    p->exptn = readR4(fms, 0);
}

static void readCnf(FlowmirState* fms, AfeCnf* p)
{
    p->flowRate = readR4(fms, 1);
}

static void readFan(FlowmirState* fms, const Afe* e, AfeFan* f)
{
    f->lam = readR4(fms, 1);
    f->turb = readR4(fms, 0);
    f->expt = readR4(fms, 0);
    f->rdens = readR4(fms, 0);
    f->fdf = readR4(fms, 0);
    f->sop = readR4(fms, 0);
    f->off = readR4(fms, 0);
    f->a0 = readR4(fms, 1);
    f->a1 = readR4(fms, 0);
    f->a2 = readR4(fms, 0);
    f->a3 = readR4(fms, 0);
    // The measured points the curve was fitted to are not needed.
    int k = readIX(fms, 1);
    char line[4096];
    for (int j = 0; j < k; j++) {
        if (nxt_at_end(fms)) {
            error(fms, ERROR, __FILE__, __LINE__, "fan ", e->name, ": end of file within its measured points", "");
            break;
        }
        nxtwrd(fms, line, 3, sizeof line);
    }

    // A slope that reaches zero makes the flow on the curve ambiguous.
    float disc = f->a2 * f->a2 - 3.0f * f->a1 * f->a3;
    if (disc >= 0.0f) error(fms, ERROR, __FILE__, __LINE__, "fan ", e->name, " has contraflecture", "");
}

static void readCsf(FlowmirState* fms, MemBlock** pool, const Afe* e, AfeCsf* c)
{
    int k = readIX(fms, 1);
    readIX(fms, 0);
    readIX(fms, 0);
    if (k > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid number of points: %d, element %s", k, e->name);
        k = 0;
    }
    c->npts = k > 0 ? k : 0;
    c->pts = nullptr;
    if (k > 0) {
        c->pts = pool_arrayt<CsfPoint>(fms, pool, k, "csfd");
        for (int j = 0; j < k; j++) {
            c->pts[j].x = readR8(fms, 1);
            c->pts[j].y = readR8(fms, 0);
        }
    }
    c->status = 1;
    if (CSFinit(fms, c->npts, c->pts) == 0)
        c->status = CSFchk(fms, e->name, c->npts, c->pts, CSF_AIRFLOW, nullptr, nullptr);
}

static void readSup(FlowmirState* fms, MemBlock** pool, AfeSup* s)
{
    int n = readIX(fms, 1);
    if (n > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid number of elements in a super element: %d", n);
        n = 0;
    }
    s->n = n > 0 ? n : 0;
    s->sched = readIX(fms, 0);
    s->spare = readIX(fms, 0);
    s->list = nullptr;
    if (n <= 0) return;
    s->list = pool_arrayt<SupEntry>(fms, pool, n, "sup");
    for (int j = 0; j < n; j++) {
        SupEntry* se = &s->list[j];
        se->nr = readIX(fms, 1);
        se->value = readR4(fms, 0);
        se->flag = readIX(fms, 0);
        se->isSched = se->nr == s->sched;
    }
}

static void readDuctBlock(FlowmirState* fms, DuctBlock* d)
{
    d->Dh = readR4(fms, 1);
    d->perim = readR4(fms, 0);
    d->area = readR4(fms, 0);
    skipReals(fms, 3);
    d->leak = readR4(fms, 0);
    d->lpres = readR4(fms, 0);
    readIX(fms, 1);
    for (int i = 1; i < 8; i++)
        readIX(fms, 0);
}

static void readDwc(FlowmirState* fms, const Afe* e, AfeDwc* p)
{
    p->rough = readR4(fms, 1);
    p->spare = readR4(fms, 0);
    readIX(fms, 0);
    readDuctBlock(fms, &p->duct);
    p->D = p->duct.Dh;
    p->A = p->duct.area;
    // The friction law divides by both.
    if (!(p->D > 0.0f) || !(p->A > 0.0f)) {
        error(fms, ERROR, __FILE__, __LINE__, "Duct element ", e->name,
              ": hydraulic diameter and area must be positive", "");
        return;
    }
    p->rr = p->rough / p->D;
}

// The element's data record in the layout of its type.
static void* readData(FlowmirState* fms, MemBlock** pool, const Afe* e)
{
    switch (e->type) {
    case AFE_PLR_ORFC:
    case AFE_PLR_LEAK1:
    case AFE_PLR_LEAK2:
    case AFE_PLR_LEAK3:
    case AFE_PLR_CONN:
    case AFE_PLR_QCN:
    case AFE_PLR_FCN:
    case AFE_PLR_TEST1:
    case AFE_PLR_TEST2:
    case AFE_PLR_CRACK:
    case AFE_PLR_STAIR:
    case AFE_PLR_SHAFT: {
        AfePlr* p = alc_ect<AfePlr>(fms, pool, "plr");
        readPlr(fms, p);
        return p;
    }
    case AFE_PLR_BDQ:
    case AFE_PLR_BDF: {
        AfeBid* p = alc_ect<AfeBid>(fms, pool, "bid");
        readBid(fms, p);
        return p;
    }
    case AFE_SRV_JWA: {
        AfeJwa* p = alc_ect<AfeJwa>(fms, pool, "jwa");
        p->vmax = readR4(fms, 1);
        p->pref = readR4(fms, 0);
        p->rrev = readR4(fms, 0);
        return p;
    }
    case AFE_QFR_QAB:
    case AFE_QFR_FAB:
    case AFE_QFR_CRACK:
    case AFE_QFR_TEST2: {
        AfeQfr* p = alc_ect<AfeQfr>(fms, pool, "qfr");
        p->a = readR4(fms, 1);
        p->b = readR4(fms, 0);
        return p;
    }
    case AFE_DOR_DOOR: {
        AfeDor* p = alc_ect<AfeDor>(fms, pool, "dor");
        p->lam = readR4(fms, 1);
        p->turb = readR4(fms, 0);
        p->expt = readR4(fms, 0);
        skipReals(fms, 1);
        p->ht = readR4(fms, 0);
        p->wd = readR4(fms, 0);
        p->cd = readR4(fms, 0);
        return p;
    }
    case AFE_DOR_PL2: {
        AfePl2* p = alc_ect<AfePl2>(fms, pool, "pl2");
        p->lam = readR4(fms, 1);
        p->turb = readR4(fms, 0);
        p->expt = readR4(fms, 0);
        p->dHopen = readR4(fms, 0);
        p->spare = readR4(fms, 0);
        return p;
    }
    case AFE_FAN_CMF:
    case AFE_FAN_CVF: {
        AfeCnf* p = alc_ect<AfeCnf>(fms, pool, "cnf");
        readCnf(fms, p);
        return p;
    }
    case AFE_FAN_FAN: {
        AfeFan* p = alc_ect<AfeFan>(fms, pool, "fan");
        readFan(fms, e, p);
        return p;
    }
    case AFE_CSF_FSP:
    case AFE_CSF_QSP:
    case AFE_CSF_PSF:
    case AFE_CSF_PSQ: {
        AfeCsf* p = alc_ect<AfeCsf>(fms, pool, "csf");
        readCsf(fms, pool, e, p);
        return p;
    }
    case AFE_SUP_AFE: {
        AfeSup* p = alc_ect<AfeSup>(fms, pool, "sup_afe");
        readSup(fms, pool, p);
        return p;
    }
    case AFE_DCT_DWC: {
        AfeDwc* p = alc_ect<AfeDwc>(fms, pool, "dwc");
        readDwc(fms, e, p);
        return p;
    }
    case AFE_DCT_PLR: {
        DctPlr* p = alc_ect<DctPlr>(fms, pool, "dplr");
        readPlr(fms, &p->plr);
        for (float& v : p->spare)
            v = readR4(fms, 0);
        readDuctBlock(fms, &p->duct);
        return p;
    }
    case AFE_DCT_FCN:
    case AFE_DCT_QCN: {
        DctFqcn* p = alc_ect<DctFqcn>(fms, pool, "dfqcn");
        readPlr(fms, &p->plr);
        readDuctBlock(fms, &p->duct);
        return p;
    }
    case AFE_DCT_FAN: {
        DctFan* p = alc_ect<DctFan>(fms, pool, "dfan");
        readFan(fms, e, &p->fan);
        readDuctBlock(fms, &p->duct);
        return p;
    }
    case AFE_DCT_CMF:
    case AFE_DCT_CVF: {
        DctCnf* p = alc_ect<DctCnf>(fms, pool, "dcnf");
        readCnf(fms, &p->cnf);
        readDuctBlock(fms, &p->duct);
        return p;
    }
    case AFE_DCT_BDQ:
    case AFE_DCT_BDF: {
        DctBid* p = alc_ect<DctBid>(fms, pool, "dbid");
        readBid(fms, &p->bid);
        readDuctBlock(fms, &p->duct);
        return p;
    }
    case AFE_DCT_FSP:
    case AFE_DCT_QSP:
    case AFE_DCT_PSF:
    case AFE_DCT_PSQ: {
        DctCsf* p = alc_ect<DctCsf>(fms, pool, "dcsf");
        readCsf(fms, pool, e, &p->csf);
        readDuctBlock(fms, &p->duct);
        return p;
    }
    default:
        return nullptr;
    }
}

// Cirdal writes one more line after these kinds.
static int cirdalExtraLine(int type)
{
    return type == AFE_PLR_ORFC || type == AFE_PLR_QCN || type == AFE_SRV_JWA || type == AFE_DCT_DWC;
}

// Points each super element's members at their elements.
static void resolveSuper(FlowmirState* fms, int n, Afe** list)
{
    for (int i = 1; i <= n; i++) {
        Afe* e = list[i];
        if (!e || e->type != AFE_SUP_AFE || !e->data) continue;
        AfeSup* s = static_cast<AfeSup*>(e->data);
        for (int j = 0; j < s->n; j++) {
            SupEntry* se = &s->list[j];
            if (se->nr < 1 || se->nr > n) {
                errorf(fms, ERROR, __FILE__, __LINE__, "Invalid element number %d in super element %s",
                       se->nr, e->name);
                continue;
            }
            se->elem = list[se->nr];
        }
    }
}

int afelmt_read(FlowmirState* fms, MemBlock** pool, int duct, int cirdal)
{
    int n = readIX(fms, 1);
    if (n < 0 || n > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid airflow element count: %d", n);
        n = 0;
    }
    Afe** list = n > 0 ? alc_vt<Afe*>(fms, 1, n, duct ? "DfeLst" : "AfeLst") : nullptr;
    if (duct) {
        fms->ndfe = n;
        fms->DfeLst = list;
    } else {
        fms->nafe = n;
        fms->AfeLst = list;
    }

    char word[4096], desc[4096];
    for (int i = 1; i <= n; i++) {
        Afe* e = alc_ect<Afe>(fms, pool, "afe");
        list[i] = e;
        e->nr = i;
        prj_record_number(fms, "Element", i);
        readIX(fms, 0);
        word[0] = '\0';
        nxtwrd(fms, word, 0, sizeof word);
        nxtwrd(fms, e->name, 0, sizeof e->name);
        nxtwrd(fms, desc, 3, sizeof desc); // description, not kept

        e->type = lin_search(fms, word, afe_keywords);
        e->model = nullptr; // bound with the flow models
        if (e->type > AFE_LAST_FILE) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid element type %d", e->type);
        } else {
            e->data = readData(fms, pool, e);
            if (cirdal && cirdalExtraLine(e->type)) nxtwrd(fms, desc, 4, sizeof desc);
        }
        if (prj_errors(fms) > 0) break;
    }

    prj_section_end(fms, "Airflow Element");
    if (!duct && prj_errors(fms) == 0) resolveSuper(fms, n, list);
    return n;
}

void afe_free_lists(FlowmirState* fms)
{
    fre_vt(fms, fms->AfeLst, 1, fms->nafe);
    fre_vt(fms, fms->DfeLst, 1, fms->ndfe);
}
