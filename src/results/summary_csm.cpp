// The contaminant summary.
#include "results/summary_csm.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "network/airnet.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/paths.h"
#include "support/timeconv.h"
#include "transport/cse.h"
#include "transport/filter.h"
#include "transport/species.h"

enum { CSM_PATH = 260 };

static void csmPath(FlowmirState* fms, char* path)
{
    pathmerge(fms, path, CSM_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ".csm");
}

static void writeSpecies(FlowmirState* fms, FILE* fp)
{
    char full[PATH_MAX];
    fprintf(fp, "Project:  %s\n", realpath(fms->projectPath, full) ? full : fms->projectPath);
    fprintf(fp, "\n%d\tcontaminants\n", fms->nctm);
    fprintf(fp, "Name\tEffDens\tMeanDiameter\n");
    for (int j = 0; j < fms->nctm; j++)
        fprintf(fp, "%s\t%6g\t%6g\n", fms->ctm[j].name, fms->ctm[j].prop3, fms->ctm[j].diameter);
}

static const char* speciesName(const FlowmirState* fms, int j)
{
    return j >= 0 && j < fms->nctm ? fms->ctm[j].name : "";
}

static int zoneNumber(const AirNode* n)
{
    return n ? n->s_nr : 0;
}

static void writeBox(FILE* fp, const float loc[6])
{
    // The six location values as the project gives them.
    for (int k = 0; k < 6; k++) fprintf(fp, "\t%4g", loc[k]);
}

static void writeSources(FlowmirState* fms, FILE* fp)
{
    int count = fms->ncss + fms->nbls + fms->ndvr;
    if (count == 0) return;
    fprintf(fp, "\nContaminant source/sink summary.\n");
    fprintf(fp, "%d\tsource/sinks\n", count);
    fprintf(fp, "s/s#\ttype\tspecies\tzn#\tAs\tmult\tXmin\tXmax\t");
    fprintf(fp, "Ymin\tYmax\tZmin\tZmax\treleased\tremoved\tstored [kg]\n");
    // Every species in the first list when the solver does not split them, else trace then
    // non-trace.
    for (CseInstance* head : fms->css)
        for (const CseInstance* c = head; c; c = c->next) {
            const CseElement* e = c->element;
            float area = e->type == CSE_DVS ? static_cast<const CseDvs*>(e->data)->A : 0.0f;
            fprintf(fp, "%d\t%s\t%s\t%d\t%4g\t%4g", c->nr, cse_keywords[e->type], speciesName(fms, e->species),
                    c->zoneNr, area, c->mult);
            writeBox(fp, c->loc);
            fprintf(fp, "\t%.6e\t%.6e\t0\n", c->genTotal, c->remTotal);
        }
    const CseSink* bls[3] = {fms->bls[0], fms->bls[1], fms->blsInactive};
    for (const CseSink* head : bls)
        for (const CseSink* s = head; s; s = s->next) {
            fprintf(fp, "%d\tbls\t%s\t%d\t%4g\t%4g", s->nr, speciesName(fms, s->species), zoneNumber(s->zoneNode), 0.0,
                    1.0);
            writeBox(fp, s->loc);
            fprintf(fp, "\t%.6e\t%.6e\t%.6e\n", s->released, s->takenUp, s->Cs * s->capacity);
        }
    const CseSink* dvr[3] = {fms->dvr[0], fms->dvr[1], fms->dvrInactive};
    for (const CseSink* head : dvr)
        for (const CseSink* s = head; s; s = s->next) {
            float area = static_cast<const CseDvr*>(s->element->data)->A;
            fprintf(fp, "%d\tdvr\t%s\t%d\t%4g\t%4g", s->nr, speciesName(fms, s->species), zoneNumber(s->zoneNode), area,
                    s->mult);
            writeBox(fp, s->loc);
            // The surface holds its loading per area over the whole of its area.
            fprintf(fp, "\t%.6e\t%.6e\t%.6e\n", s->released, s->takenUp, s->Cs * area * s->mult);
        }
}

// The stages of a filter in the direction of forward flow; a simple filter is its own stage.
static const FilterData* firstStage(const FilterData* top)
{
    return top->nextSub ? top->nextSub : top;
}

static const FilterData* nextStage(const FilterData* top, const FilterData* s)
{
    return s == top ? nullptr : s->nextSub;
}

static int subElements(const FilterData* top)
{
    if (!top->element || top->element->type != FLT_SPF) return 0;
    return static_cast<const FltSpf*>(top->element->data)->n;
}

static const char* elementName(const FilterData* s)
{
    return s->element ? s->element->name : "";
}

static void writeContaminantHeads(FlowmirState* fms, FILE* fp)
{
    fprintf(fp, "path");
    for (int j = 0; j < fms->nctm; j++) fprintf(fp, "\t%s", fms->ctm[j].name);
}

static const FilterData* topOf(const AirLink* l)
{
    return l->filter ? static_cast<const Filter*>(l->filter)->top : nullptr;
}

// Every stage of every filtered link, in link order and forward flow order.
template <class Visit>
static void eachStage(FlowmirState* fms, Visit visit)
{
    for (int i = 1; i <= fms->nFpath; i++) {
        const AirLink* l = fms->Fpath[i];
        const FilterData* top = topOf(l);
        if (!top) continue;
        for (const FilterData* s = firstStage(top); s; s = nextStage(top, s)) visit(l, top, s);
    }
}

static void writeFilters(FlowmirState* fms, FILE* fp)
{
    if (fms->nFpath < 1 || !fms->Fpath) return;
    int nc = fms->nctm;

    // Each stage is challenged by what the stages before it let through.
    fprintf(fp, "\nFilter challenge summary.\n");
    fprintf(fp, "%d\tfilters\n", fms->nFpath);
    writeContaminantHeads(fms, fp);
    fprintf(fp, "\telement\n");
    for (int i = 1; i <= fms->nFpath; i++) {
        const AirLink* l = fms->Fpath[i];
        const FilterData* top = topOf(l);
        if (!top) continue;
        for (const FilterData* s = firstStage(top); s; s = nextStage(top, s)) {
            fprintf(fp, "%d", l->s_nr);
            for (int j = 0; j < nc; j++) {
                double challenge = top->Min[j];
                for (const FilterData* p = firstStage(top); p != s; p = nextStage(top, p)) challenge -= p->loads[j];
                fprintf(fp, "\t%.6e", challenge);
            }
            fprintf(fp, "\t%s\n", elementName(s));
        }
        fprintf(fp, "--");
        for (int j = 0; j < nc; j++) fprintf(fp, "\t%.6e", top->Mout[j]);
        fprintf(fp, "\tdownstream\n");
    }

    fprintf(fp, "\nFilter loading summary.\n");
    writeContaminantHeads(fms, fp);
    fprintf(fp, "\telement\tns\n");
    eachStage(fms, [&](const AirLink* l, const FilterData* top, const FilterData* s) {
        fprintf(fp, "%d", l->s_nr);
        for (int j = 0; j < nc; j++) fprintf(fp, "\t%.6e", s->loads[j]);
        fprintf(fp, "\t%s\t%d\n", elementName(s), s == top ? subElements(top) : 0);
    });

    fprintf(fp, "\nFilter breakthrough summary.\n");
    fprintf(fp, "%d\tfilters\n", fms->nFpath);
    fprintf(fp, "path\telement\tnc\n");
    fprintf(fp, "\tcontaminant\tdate\ttime\tefficiency\n");
    eachStage(fms, [&](const AirLink* l, const FilterData*, const FilterData* s) {
        fprintf(fp, "%d\t%s\t%d\n", l->s_nr, elementName(s), nc);
        for (int j = 0; j < nc; j++) {
            fprintf(fp, "\t%s", fms->ctm[j].name);
            if (s->bkday && s->bkday[j] > 0) {
                char date[16], clock[16];
                datestr(fms, s->bkday[j], date);
                if (!timestr(fms, s->bktime[j], clock)) clock[0] = '\0';
                fprintf(fp, "\t%s\t%s\t%g\n", date, clock, s->eff[j]);
            } else {
                fprintf(fp, "\t--\t--\t%g\n", s->eff[j]);
            }
        }
    });
}

static void writeAmbient(FlowmirState* fms, FILE* fp)
{
    if (fms->nenvp < 1 || !fms->Env_MassIn_sum) return;
    fprintf(fp, "\nInteractions with ambient.\n");
    fprintf(fp, "contaminant\tmass from\tmass to [kg]\n");
    for (int j = 0; j < fms->nctm; j++)
        fprintf(fp, "%s\t%.5e\t%.5e\n", fms->ctm[j].name, fms->Env_MassIn_sum[j], fms->Env_MassOut_sum[j]);
    fprintf(fp, "\nSimulation time:\n%d\tseconds\n%g\thours\n%g\tdays\n\n", (int)fms->Env_Time, fms->Env_Time / 3600.0,
            fms->Env_Time / 86400.0);
}

void writeCsm_simEnd(FlowmirState* fms)
{
    char path[CSM_PATH];
    csmPath(fms, path);
    if (!fms->csmOut) {
        resfile_remove_on_commit(fms, path);
        return;
    }
    if (!fms->mfsim) return;
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) error(fms, FATAL, __FILE__, __LINE__, "Could not open CSM file; is it already open?", "");
    FILE* fp = rf->fp;
    writeSpecies(fms, fp);
    writeSources(fms, fp);
    writeFilters(fms, fp);
    writeAmbient(fms, fp);
}
