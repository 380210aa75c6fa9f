// The source/sink element, kinetic reaction and source/sink sections.
#include "airflow/pool_array.h"
#include "project/check.h"
#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/nxt.h"
#include "support/strutil.h"
#include "transport/cse.h"
#include "transport/species.h"

const char* const cse_keywords[CSE_NTYPES + 1] = {
    "ccf", "prs", "cut", "eds", "bls", "brs", "dvs", "drs", "dvr", "sup", "plm", "pkm", "sxd", "dxd", "",
};

static const CseModel cse_models[CSE_NTYPES] = {
    cse_ccf, cse_prs, cse_cut, cse_eds, cse_bls, cse_brs, cse_dvs,
    cse_drs, cse_dvr, nullptr, cse_plm, cse_pkm, cse_sxd, cse_dxd,
};

// The value every instance without a schedule or control node is scaled by.
static float kUnit = 1.0f;

static void skipShorts(FlowmirState* fms, int n)
{
    for (int i = 0; i < n; i++) readI2(fms, 0);
}

// A count read from the file that sizes a table: negative, or more than the file still holds,
// is refused (and counts as 0).
static int readCount(FlowmirState* fms, const char* what, int mode)
{
    int n = readIX(fms, mode);
    if (n < 0 || n > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid %s count: %d", what, n);
        return 0;
    }
    return n;
}

// A parameter the model divides by.
static void requireNonzero(FlowmirState* fms, float v, const char* what, const CseElement* e)
{
    if (v == 0.0f)
        errorf(fms, ERROR, __FILE__, __LINE__, "S/S element %d (%s): %s must not be 0", e->nr, e->name, what);
}

// The type's parameters, from a new line; nullptr for an unknown type.
static void* cse_data_read(FlowmirState* fms, MemBlock** pool, CseElement* e)
{
    switch (e->type) {
    case CSE_CCF: {
        CseCcf* p = alc_ect<CseCcf>(fms, pool, "ccf");
        p->G0 = readR4(fms, 1);
        p->R0 = readR4(fms, 0);
        skipShorts(fms, 2);
        return p;
    }
    case CSE_PRS: {
        CsePrs* p = alc_ect<CsePrs>(fms, pool, "prs");
        p->C = readR4(fms, 1);
        p->n = readR4(fms, 0);
        skipShorts(fms, 1);
        return p;
    }
    case CSE_CUT: {
        CseCut* p = alc_ect<CseCut>(fms, pool, "cut");
        p->G0 = readR4(fms, 1);
        p->Ccut = readR4(fms, 0);
        skipShorts(fms, 2);
        requireNonzero(fms, p->Ccut, "the cut-off concentration", e);
        return p;
    }
    case CSE_EDS: {
        CseEds* p = alc_ect<CseEds>(fms, pool, "eds");
        p->G0 = readR4(fms, 1);
        p->k = readR4(fms, 0);
        skipShorts(fms, 2);
        return p;
    }
    case CSE_BLS: {
        CseBls* p = alc_ect<CseBls>(fms, pool, "bls");
        p->h = readR4(fms, 1);
        p->rhof = readR4(fms, 0);
        p->K = readR4(fms, 0);
        p->mass = readR4(fms, 0);
        skipShorts(fms, 3);
        requireNonzero(fms, p->K, "the partition coefficient", e);
        return p;
    }
    case CSE_BRS: {
        CseBrs* p = alc_ect<CseBrs>(fms, pool, "brs");
        p->M = readR4(fms, 1);
        skipShorts(fms, 1);
        return p;
    }
    case CSE_DVS: {
        CseDvs* p = alc_ect<CseDvs>(fms, pool, "dvs");
        p->vd = readR4(fms, 1);
        p->A = readR4(fms, 0);
        skipShorts(fms, 2);
        return p;
    }
    case CSE_DRS: {
        CseDrs* p = alc_ect<CseDrs>(fms, pool, "drs");
        p->k = readR4(fms, 1);
        skipShorts(fms, 1);
        return p;
    }
    case CSE_DVR: {
        CseDvr* p = alc_ect<CseDvr>(fms, pool, "dvr");
        p->vd = readR4(fms, 1);
        p->r = readR4(fms, 0);
        p->A = readR4(fms, 0);
        p->f = readR4(fms, 0);
        skipShorts(fms, 4);
        return p;
    }
    case CSE_SUP: {
        CseSup* p = alc_ect<CseSup>(fms, pool, "sup");
        p->n = readCount(fms, "super element", 1);
        p->nr = p->n > 0 ? pool_arrayt<int>(fms, pool, p->n, "supn") : nullptr;
        for (int i = 0; i < p->n && !nxt_at_end(fms); i++) p->nr[i] = readIX(fms, 0);
        return p;
    }
    case CSE_PLM: {
        CsePlm* p = alc_ect<CsePlm>(fms, pool, "plm");
        p->a = readR4(fms, 1);
        p->n = readR4(fms, 0);
        p->tmin = readR4(fms, 0);
        skipShorts(fms, 2);
        if (p->n > 0.0f) requireNonzero(fms, p->tmin, "the time tmin", e);
        return p;
    }
    case CSE_PKM: {
        CsePkm* p = alc_ect<CsePkm>(fms, pool, "pkm");
        p->Gp = readR4(fms, 1);
        float sigma = readR4(fms, 0);
        float tp = readR4(fms, 0);
        skipShorts(fms, 2);
        requireNonzero(fms, sigma, "the width", e);
        requireNonzero(fms, tp, "the peak time", e);
        p->rsigma = sigma != 0.0f ? 1.0f / sigma : 0.0f;
        p->rtp = tp != 0.0f ? 1.0f / tp : 0.0f;
        return p;
    }
    case CSE_SXD: {
        CseSxd* p = alc_ect<CseSxd>(fms, pool, "sxd");
        p->a = readR4(fms, 1);
        p->k = readR4(fms, 0);
        return p;
    }
    case CSE_DXD: {
        CseDxd* p = alc_ect<CseDxd>(fms, pool, "dxd");
        p->a1 = readR4(fms, 1);
        p->k1 = readR4(fms, 0);
        p->a2 = readR4(fms, 0);
        p->k2 = readR4(fms, 0);
        return p;
    }
    default:
        return nullptr;
    }
}

// A super element lists plain elements of this section.
static void cse_check_super(FlowmirState* fms)
{
    for (int i = 1; i <= fms->ncse; i++) {
        const CseElement* e = fms->CseLst[i];
        if (!e || e->type != CSE_SUP || !e->data) continue;
        const CseSup* s = static_cast<const CseSup*>(e->data);
        for (int j = 0; j < s->n; j++) {
            int nr = s->nr[j];
            if (nr < 1 || nr > fms->ncse || !fms->CseLst[nr])
                errorf(fms, ERROR, __FILE__, __LINE__, "Invalid element number %d in super S/S element %d", nr,
                       e->nr);
            else if (fms->CseLst[nr]->type == CSE_SUP)
                errorf(fms, ERROR, __FILE__, __LINE__, "Super S/S element %d lists super element %d", e->nr,
                       nr);
        }
    }
}

int cselmt_read(FlowmirState* fms)
{
    MemBlock** pool = &fms->msBlock;
    int n = readCount(fms, "source/sink element", 1);
    fms->ncse = n;
    fms->CseLst = n > 0 ? alc_vt<CseElement*>(fms, 1, n, "CseLst") : nullptr;
    char word[4096], line[4096];
    for (int i = 1; i <= n; i++) {
        if (prj_record_number(fms, "S/S element", i)) break;
        CseElement* e = alc_ect<CseElement>(fms, pool, "cse");
        fms->CseLst[i] = e;
        e->nr = i;
        word[0] = '\0';
        nxtwrd(fms, word, 0, sizeof word);
        e->species = species_find(fms, word);
        word[0] = '\0';
        nxtwrd(fms, word, 0, sizeof word);
        nxtwrd(fms, e->name, 0, sizeof e->name);
        nxtwrd(fms, line, 3, sizeof line);  // description
        e->type = lin_search(fms, word, cse_keywords);
        if (e->type >= CSE_NTYPES) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid S/S element type %d", e->type);
        } else {
            e->model = cse_models[e->type];
            e->data = cse_data_read(fms, pool, e);
        }
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Source/Sink Element");
    if (prj_errors(fms) == 0) cse_check_super(fms);
    return n;
}

// One term: both species must be simulated, or the term is dropped with a warning.
static int kinetic_term(FlowmirState* fms, Reaction* r, int k)
{
    char prod[4096], src[4096];
    prod[0] = src[0] = '\0';
    nxtwrd(fms, prod, 1, sizeof prod);
    nxtwrd(fms, src, 0, sizeof src);
    float coef = readR4(fms, 0);
    int ip = species_find(fms, prod);
    int is = species_find(fms, src);
    if (ip >= fms->nctm) error(fms, WARNING, __FILE__, __LINE__, "Reaction product contaminant not simulated: ", prod, "");
    if (is >= fms->nctm) error(fms, WARNING, __FILE__, __LINE__, "Reaction source contaminant not simulated: ", src, "");
    if (ip >= fms->nctm || is >= fms->nctm) return k;
    r->coef[k] = coef;
    r->prod[k] = ip;
    r->src[k] = is;
    return k + 1;
}

int kinetic_read(FlowmirState* fms)
{
    MemBlock** pool = &fms->msBlock;
    int n = readCount(fms, "kinetic reaction", 1);
    fms->nknr = n;
    fms->KnrLst = n > 0 ? alc_vt<Reaction*>(fms, 1, n, "KnrLst") : nullptr;
    char word[4096];
    for (int i = 1; i <= n; i++) {
        if (prj_record_number(fms, "Reaction", i)) break;
        Reaction* r = alc_ect<Reaction>(fms, pool, "knr");
        fms->KnrLst[i] = r;
        r->nr = i;
        int nt = readCount(fms, "reaction term", 0);
        nxtwrd(fms, word, 0, sizeof word);  // name
        nxtwrd(fms, word, 3, sizeof word);  // description
        if (nt > 0) {
            r->coef = pool_arrayt<float>(fms, pool, nt, "coef");
            r->prod = pool_arrayt<int>(fms, pool, nt, "prod");
            r->src = pool_arrayt<int>(fms, pool, nt, "src");
        }
        int kept = 0;
        for (int k = 0; k < nt && !nxt_at_end(fms); k++) kept = kinetic_term(fms, r, kept);
        r->n = kept;
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Kinetic Reaction");
    return n;
}

// One instance of element e with the record's placement.
static CseInstance* css_new(FlowmirState* fms, const CseInstance* rec, CseElement* e, CseInstance*** tail)
{
    CseInstance* c = alc_ect<CseInstance>(fms, &fms->msBlock, "css");
    *c = *rec;
    c->next = nullptr;
    c->element = e;
    **tail = c;
    *tail = &c->next;
    return c;
}

static int css_simulated(const FlowmirState* fms, const CseElement* e)
{
    return e && e->species >= 0 && e->species < fms->nctm;
}

int css_read(FlowmirState* fms)
{
    int n = readCount(fms, "source/sink", 1);
    fms->ncss = n;
    fms->cssRead = nullptr;
    CseInstance** tail = &fms->cssRead;
    for (int i = 1; i <= n; i++) {
        int nr = readIX(fms, 1);
        check_record(fms, i, nr);
        if (nr != i) {
            errorf(fms, ERROR, __FILE__, __LINE__, "S/S number mis-match %d", i);
            break;
        }
        CseInstance rec{};
        rec.nr = i;
        rec.zoneNr = readIX(fms, 0);
        comp_check_ref(fms, rec.zoneNr, 1, fms->nzone, "Invalid zone number, source", i);
        int elmt = readIX(fms, 0);
        int elmtOk = comp_check_ref(fms, elmt, 1, fms->ncse, "Invalid element number, source", i);
        rec.wshNr = readIX(fms, 0);
        comp_check_ref(fms, rec.wshNr, 0, fms->nwsh, "Invalid week-schedule number, source", i);
        rec.ctrlNr = readIX(fms, 0);
        comp_check_ref(fms, rec.ctrlNr, 0, fms->nctrl, "Invalid control node number, source", i);
        rec.mult = readR4(fms, 0);
        rec.C0 = readR4(fms, 0);
        for (float& v : rec.loc) v = readR4(fms, 0);
        skipShorts(fms, 2);
        rec.valueKind = readI2(fms, 0);
        if (rec.valueKind == 1 || rec.valueKind == 2) nxtwrd(fms, rec.valueName, 0, sizeof rec.valueName);
        if (readI2(fms, 0)) nxtwrd(fms, rec.cfdName, 0, sizeof rec.cfdName);
        if (rec.ctrlNr > 0 && rec.valueKind != 0) rec.valueKind = 3;
        // Schedules and control nodes point the scale at their values when they are bound.
        rec.sched = &kUnit;
        if (prj_errors(fms) > 0) break;

        CseElement* e = elmtOk ? fms->CseLst[elmt] : nullptr;
        if (e && e->type == CSE_SUP && e->data) {
            const CseSup* s = static_cast<const CseSup*>(e->data);
            for (int j = 0; j < s->n; j++) {
                CseElement* sub = fms->CseLst[s->nr[j]];
                if (css_simulated(fms, sub)) css_new(fms, &rec, sub, &tail);
            }
        } else if (css_simulated(fms, e)) {
            css_new(fms, &rec, e, &tail);
        }
    }
    prj_section_end(fms, "Source/Sink");
    return n;
}

void cse_free_lists(FlowmirState* fms)
{
    if (fms->CseLst) fre_vt(fms, fms->CseLst, 1, fms->ncse);
    if (fms->KnrLst) fre_vt(fms, fms->KnrLst, 1, fms->nknr);
    fms->CseLst = nullptr;
    fms->KnrLst = nullptr;
}
