// The "Filter Element" and "Filter" sections: the element library with its five models and
// the filter instances with their initial loadings.
#include <cmath>

#include "airflow/pool_array.h"
#include "airflow/spline.h"
#include "project/check.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "support/strutil.h"
#include "transport/filter.h"
#include "transport/species.h"

const char* const flt_keywords[FLT_NTYPES + 1] = {"cef", "pf0", "gf0", "uv1", "spf", ""};

static const FilterModel kModels[FLT_NTYPES] = {flt_cef, flt_pf0, flt_gf0, flt_uv1, flt_spf};

// Filter records live for the whole run.
static MemBlock** runPool(FlowmirState* fms)
{
    return &fms->msBlock;
}

template <class T> static T* perSpecies(FlowmirState* fms, const char* label)
{
    return fms->nctm > 0 ? pool_arrayt<T>(fms, runPool(fms), fms->nctm, label) : nullptr;
}

// A count read from the file: it sizes a table, so it can be neither negative nor larger than
// the bytes left to hold its records.
static int countOk(FlowmirState* fms, int n, int least, const char* what, int elementNr)
{
    if (n >= least && n <= nxt_remaining(fms)) return 1;
    errorf(fms, ERROR, __FILE__, __LINE__, "Invalid number of %s: %d, filter element %d", what, n, elementNr);
    return 0;
}

static float clampUnit(double v)
{
    if (!(v > 0.0)) return 0.0f;
    return v > 1.0 ? 1.0f : (float)v;
}

static void fitFailed(FlowmirState* fms)
{
    error(fms, ERROR, __FILE__, __LINE__, "Spline fit is not suitable for NIMBAL", "");
}

static FltCef* readCef(FlowmirState* fms, const FilterElement* e)
{
    FltCef* c = alc_ect<FltCef>(fms, runPool(fms), "cef");
    c->eff = perSpecies<float>(fms, "eff");
    int n = readIX(fms, 1);
    if (!countOk(fms, n, 0, "efficiencies", e->nr)) return c;
    char name[4096];
    for (int i = 0; i < n && !nxt_at_end(fms); i++) {
        name[0] = '\0';
        nxtwrd(fms, name, 1, sizeof name);
        int j = species_find(fms, name);
        if (j >= fms->nctm) {
            check_free_text(fms);  // a species this run does not simulate
            continue;
        }
        float eff = readR4(fms, 0);
        if (eff >= 0.0f && eff <= 1.0f)
            c->eff[j] = eff;
        else
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid efficiency for filter element %d", e->nr);
    }
    return c;
}

// Efficiencies of the particle species from the fitted curve of efficiency against
// log10(diameter); the points are not kept.
static FltCef* readPf0(FlowmirState* fms, const FilterElement* e)
{
    FltCef* c = alc_ect<FltCef>(fms, runPool(fms), "pf0");
    c->eff = perSpecies<float>(fms, "eff");
    int n = readI2(fms, 1);
    if (!countOk(fms, n, 2, "points", e->nr)) return c;
    CsfPoint* pts = alc_vt<CsfPoint>(fms, 0, n - 1, "csf");
    int read = 0;
    for (; read < n && !nxt_at_end(fms); read++) {
        double d = readR8(fms, 1);
        pts[read].y = readR8(fms, 0);
        if (!(d > 0.0)) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid particle diameter %g, filter element %d", d, e->nr);
            break;
        }
        pts[read].x = std::log10(d);
    }
    if (read == n) {
        if (CSFinit(fms, n, pts) != 0 || CSFchk(fms, e->name, n, pts, CSF_BOUNDED, nullptr, nullptr) != 0) {
            fitFailed(fms);
        } else {
            int seg = 0;
            for (int j = 0; j < fms->nctm; j++) {
                const Species* s = &fms->ctm[j];
                if (!(s->diameter > 0.0f)) continue;
                double x = std::log10((double)s->diameter);
                if (x < 0.99999 * pts[0].x || x > 1.00001 * pts[n - 1].x)
                    error(fms, WARNING, __FILE__, __LINE__, "Particle diameter outside range of fit -\n",
                          "\tspecies: ", s->name, "\n\tfilter: ", e->name, "");
                double dydx;
                c->eff[j] = clampUnit(CSFintrp(x, n, pts, &seg, &dydx, nullptr));
            }
        }
    }
    fre_vt(fms, pts, 0, n - 1);
    return c;
}

static FltGf0* readGf0(FlowmirState* fms, FilterElement* e)
{
    FltGf0* g = alc_ect<FltGf0>(fms, runPool(fms), "gf0");
    g->fit = perSpecies<Gf0Fit*>(fms, "gf0");
    g->bkeff = perSpecies<float>(fms, "bkeff");
    int n = readIX(fms, 1);
    if (!countOk(fms, n, 0, "species", e->nr)) return g;
    char name[4096], line[4096];
    for (int i = 0; i < n && !nxt_at_end(fms); i++) {
        name[0] = '\0';
        nxtwrd(fms, name, 1, sizeof name);
        float bkeff = readR4(fms, 0);
        int m = readI2(fms, 0);
        int j = species_find(fms, name);
        if (j >= fms->nctm) {
            if (!countOk(fms, m, 0, "points", e->nr)) return g;
            for (int k = 0; k < m && !nxt_at_end(fms); k++)
                nxtwrd(fms, line, 3, sizeof line);
            continue;
        }
        if (!countOk(fms, m, 2, "points", e->nr)) return g;
        Gf0Fit* fit = alc_ect<Gf0Fit>(fms, runPool(fms), "gf0_fit");
        fit->pts = pool_arrayt<CsfPoint>(fms, runPool(fms), m, "csf");
        int k = 0;
        for (; k < m && !nxt_at_end(fms); k++) {
            fit->pts[k].x = readR8(fms, 1);
            fit->pts[k].y = readR8(fms, 0);
        }
        if (k < m) return g;  // the section end reports the truncated file
        fit->n = m;
        if (CSFinit(fms, m, fit->pts) != 0 ||
            CSFchk(fms, e->name, m, fit->pts, CSF_DECREASING, nullptr, nullptr) != 0) {
            fitFailed(fms);
            continue;
        }
        g->fit[j] = fit;
        g->bkeff[j] = bkeff;
        if (bkeff > 0.0f) e->trackBreakthrough = 1;
    }
    return g;
}

static FltUv1* readUv1(FlowmirState* fms, const FilterElement* e)
{
    FltUv1* u = alc_ect<FltUv1>(fms, runPool(fms), "uv1");
    u->survRated = readR4(fms, 1);
    u->flowScale = readR4(fms, 0);
    u->flowRated = readR4(fms, 0);
    u->kRated = readR4(fms, 0);
    u->agingOn = readI2(fms, 0);
    u->c0 = readR4(fms, 0);
    u->c1 = readR4(fms, 0);
    u->c2 = readR4(fms, 0);
    u->c3 = readR4(fms, 0);
    u->c4 = readR4(fms, 0);
    u->a0 = readR4(fms, 0);
    u->a1 = readR4(fms, 0);
    readI2(fms, 0);
    readI2(fms, 0);

    // The derived values divide by these.
    int bad = 0;
    if (!(std::fabs(u->kRated) > 0.0f)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "UV filter element %d: kRated must not be 0", e->nr);
        bad = 1;
    }
    if (!(u->survRated > 0.0f)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "UV filter element %d: survRated must be positive", e->nr);
        bad = 1;
    }
    if (!(std::fabs(u->flowScale) > 0.0f)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "UV filter element %d: flowScale must not be 0", e->nr);
        bad = 1;
    }
    if (!(std::fabs(u->flowRated) > 0.0f)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "UV filter element %d: flowRated must not be 0", e->nr);
        bad = 1;
    }
    if (!bad) {
        u->Qrel = (float)(u->flowRated / (u->flowScale * 1.2041));
        u->D0 = (float)(-std::log((double)u->survRated) / u->kRated);
    }
    return u;
}

static FltSpf* readSpf(FlowmirState* fms, const FilterElement* e)
{
    FltSpf* s = alc_ect<FltSpf>(fms, runPool(fms), "spf");
    int n = readIX(fms, 1);
    if (!countOk(fms, n, 0, "sub-elements", e->nr)) return s;
    if (n == 0) return s;
    s->nr = pool_arrayt<int>(fms, runPool(fms), n, "sfn");
    s->pfe = pool_arrayt<FilterElement*>(fms, runPool(fms), n, "pfe");
    for (int k = 0; k < n && !nxt_at_end(fms); k++)
        s->nr[k] = readI2(fms, 0);
    s->n = n;
    return s;
}

static void* readData(FlowmirState* fms, FilterElement* e)
{
    switch (e->type) {
    case FLT_CEF: return readCef(fms, e);
    case FLT_PF0: return readPf0(fms, e);
    case FLT_GF0: return readGf0(fms, e);
    case FLT_UV1: return readUv1(fms, e);
    case FLT_SPF: return readSpf(fms, e);
    default: return nullptr;
    }
}

// Each super filter's stages become element pointers; stages are simple filters only, since
// the models evaluate one level of stages.
static void resolveSuperFilters(FlowmirState* fms)
{
    for (int i = 1; i <= fms->nflte; i++) {
        FilterElement* e = fms->FlteLst[i];
        if (!e || e->type != FLT_SPF || !e->data) continue;
        FltSpf* s = static_cast<FltSpf*>(e->data);
        for (int k = 0; k < s->n; k++) {
            int nr = s->nr[k];
            if (nr < 1 || nr > fms->nflte) {
                errorf(fms, ERROR, __FILE__, __LINE__, "Invalid sub-element number %d in super filter element %d",
                       nr, e->nr);
                continue;
            }
            FilterElement* sub = fms->FlteLst[nr];
            if (sub->type == FLT_SPF) {
                errorf(fms, ERROR, __FILE__, __LINE__, "Super filter element %d cannot hold super filter element %d",
                       e->nr, nr);
                continue;
            }
            s->pfe[k] = sub;
            if (sub->trackBreakthrough) e->trackBreakthrough = 1;
        }
    }
}

// The section's record count; 0 after reporting a count no file could hold.
static int sectionCount(FlowmirState* fms, const char* section)
{
    int n = readIX(fms, 1);
    if (n >= 0 && n <= nxt_remaining(fms)) return n;
    errorf(fms, ERROR, __FILE__, __LINE__, "Invalid record count in %s section: %d", section, n);
    return 0;
}

int flte_read(FlowmirState* fms)
{
    int n = sectionCount(fms, "Filter Element");
    fms->nflte = n;
    fms->FlteLst = n > 0 ? alc_vt<FilterElement*>(fms, 1, n, "FlteLst") : nullptr;

    char word[4096], desc[4096];
    for (int i = 1; i <= n; i++) {
        FilterElement* e = alc_ect<FilterElement>(fms, runPool(fms), "flte");
        fms->FlteLst[i] = e;
        e->nr = i;
        prj_record_number(fms, "Filter element", i);
        word[0] = '\0';
        nxtwrd(fms, word, 0, sizeof word);
        e->p1 = readR4(fms, 0);
        e->p2 = readR4(fms, 0);
        e->p3 = readR4(fms, 0);
        readI2(fms, 0);
        readI2(fms, 0);
        nxtwrd(fms, e->name, 0, sizeof e->name);
        nxtwrd(fms, desc, 3, sizeof desc);  // description, not kept

        e->mass = e->p1 * e->p2 * e->p3;
        if (!(e->mass >= 1e-6f))
            error(fms, ERROR, __FILE__, __LINE__, "Mass required for filter: ", e->name, "");
        else
            e->rmass = 1.0f / e->mass;
        e->type = lin_search(fms, word, flt_keywords);
        if (e->type >= FLT_NTYPES) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid filter element type %d", e->type);
        } else if (prj_errors(fms) == 0) {
            e->data = readData(fms, e);
            e->model = kModels[e->type];
        }
        if (prj_errors(fms) > 0) break;
    }

    prj_section_end(fms, "Filter Element");
    if (prj_errors(fms) == 0) resolveSuperFilters(fms);
    return n;
}

// A filter record of element e: the top record of a filter or a super filter's stage.
static FilterData* newFilterData(FlowmirState* fms, FilterElement* e, int top)
{
    FilterData* fd = alc_ect<FilterData>(fms, runPool(fms), top ? "flt_dat" : "pfd");
    fd->element = e;
    fd->changed = 1;
    fd->loads = perSpecies<double>(fms, "loads");
    fd->eff = perSpecies<float>(fms, "eff");
    fd->penf = perSpecies<float>(fms, "penf");
    for (int j = 0; j < fms->nctm; j++)
        fd->penf[j] = 1.0f;
    if (top) {
        fd->Min = perSpecies<double>(fms, "Min");
        fd->Mout = perSpecies<double>(fms, "Mout");
    }
    if (!top || e->type != FLT_SPF) {  // a super filter keeps these per stage
        fd->loadi = perSpecies<float>(fms, "loadi");
        fd->bkday = perSpecies<int>(fms, "bkday");
        fd->bktime = perSpecies<int>(fms, "bktime");
    }
    return fd;
}

// One group of loadings: the relative loading, then species and relative initial loadings.
static void readLoadings(FlowmirState* fms, FilterData* fd, int filterNr)
{
    fd->relLoad = readR8(fms, 1);
    int m = readI2(fms, 0);
    if (m < 0 || m > nxt_remaining(fms)) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid number of species loadings: %d, filter %d", m, filterNr);
        return;
    }
    float mass = fd->element ? fd->element->mass : 0.0f;
    char name[4096];
    for (int q = 0; q < m && !nxt_at_end(fms); q++) {
        name[0] = '\0';
        nxtwrd(fms, name, 1, sizeof name);
        int j = species_find(fms, name);
        if (j >= fms->nctm) {
            check_free_text(fms);
            continue;
        }
        fd->loadi[j] = readR4(fms, 0) * mass;
        fd->loads[j] = fd->loadi[j];  // the loaded mass starts at the initial loading
    }
}

int filter_read(FlowmirState* fms)
{
    int n = sectionCount(fms, "Filter");
    fms->nflt = n;
    fms->FltLst = n > 0 ? alc_vt<Filter*>(fms, 1, n, "FltLst") : nullptr;

    for (int i = 1; i <= n; i++) {
        Filter* f = alc_ect<Filter>(fms, runPool(fms), "filter");
        fms->FltLst[i] = f;
        f->nr = i;
        prj_record_number(fms, "Filter", i);
        int en = readIX(fms, 0);
        int k = readI2(fms, 0);
        if (prj_errors(fms) > 0) break;
        if (en < 1 || en > fms->nflte) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid filter element number: %d", en);
            break;
        }
        FilterElement* e = fms->FlteLst[en];
        const FltSpf* spf = e->type == FLT_SPF ? static_cast<const FltSpf*>(e->data) : nullptr;
        if (k != (spf ? spf->n : 1)) {
            error(fms, ERROR, __FILE__, __LINE__, "Number of sub-filter loads does not mach filter element", "");
            break;
        }

        FilterData* top = newFilterData(fms, e, 1);
        f->top = top;
        if (!spf) {
            readLoadings(fms, top, i);
        } else {
            for (int g = 0; g < k && prj_errors(fms) == 0; g++) {
                FilterData* sub = newFilterData(fms, spf->pfe[g], 0);
                sub->lastSub = top->lastSub;
                if (top->lastSub)
                    top->lastSub->nextSub = sub;
                else
                    top->nextSub = sub;
                top->lastSub = sub;
                readLoadings(fms, sub, i);
                for (int j = 0; j < fms->nctm; j++)
                    top->loads[j] += sub->loads[j];
            }
        }
        if (prj_errors(fms) > 0) break;
    }

    prj_section_end(fms, "Filter");
    return n;
}

void flte_free_list(FlowmirState* fms)
{
    fre_vt(fms, fms->FlteLst, 1, fms->nflte);
}

void filter_free_list(FlowmirState* fms)
{
    fre_vt(fms, fms->FltLst, 1, fms->nflt);
}

void filter_free_lists(FlowmirState* fms)
{
    flte_free_list(fms);
    filter_free_list(fms);
}
