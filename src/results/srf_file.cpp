// The surface listing. Elements appear in the order of the solvers' lists: boundary-layer
// sinks first (trace, non-trace, then the inactive ones), then deposition surfaces likewise.
#include "results/srf_file.h"

#include <cstdio>

#include "network/airnet.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/paths.h"
#include "support/timeconv.h"
#include "transport/cse.h"
#include "transport/species.h"

enum { SRF_PATH = 260 };

static void srfPath(FlowmirState* fms, char* path)
{
    pathmerge(fms, path, SRF_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ".srf");
}

struct SinkList {
    const CseSink* head;
    bool inactive;
};

// Lists [0..2] are the boundary-layer sinks, [3..5] the deposition surfaces. The solver's
// first list holds every species when it does not split them, so the class is the species'.
static void sinkLists(const FlowmirState* fms, SinkList out[6])
{
    out[0] = {fms->bls[0], false};
    out[1] = {fms->bls[1], false};
    out[2] = {fms->blsInactive, true};
    out[3] = {fms->dvr[0], false};
    out[4] = {fms->dvr[1], false};
    out[5] = {fms->dvrInactive, true};
}

static const char* sinkClass(const FlowmirState* fms, const CseSink* s, bool inactive)
{
    if (inactive) return "inactive";
    return fms->ctm[s->species].nonTrace ? "non-trace" : "trace";
}

static void writeHeader(FlowmirState* fms, FILE* fp)
{
    fprintf(fp, "Project:  %s\n\n", fms->_prjname);
    fprintf(fp, "nr\tzone\ttype\tspecies\tunits\ttrace/non-trace\n");
    SinkList lists[6];
    sinkLists(fms, lists);
    for (int i = 0; i < 6; i++) {
        bool bls = i < 3;
        for (const CseSink* s = lists[i].head; s; s = s->next)
            fprintf(fp, "%d\t%d\t%s\t%s\t%s\t%s\n", s->nr, s->zoneNode ? s->zoneNode->nr : 0, bls ? "bls" : "dvr",
                    fms->ctm[s->species].name, bls ? "kg/kg" : "kg/m2", sinkClass(fms, s, lists[i].inactive));
    }
    fprintf(fp, "\ndate\ttime");
    for (int i = 0; i < 6; i++)
        for (const CseSink* s = lists[i].head; s; s = s->next) fprintf(fp, "\t%s%d", i < 3 ? "bls" : "dvr", s->nr);
    fprintf(fp, "\n");
}

void set_usrf(FlowmirState* fms, int mode)
{
    char path[SRF_PATH];
    srfPath(fms, path);
    if (mode == 1 && fms->nctm > 0) {
        if (fms->usrf) return;
        ResFile* rf = resfile_open(fms, path);
        if (!rf || !rf->fp) {
            error(fms, FATAL, __FILE__, __LINE__, "Could not open SRF file; is it already open?", "");
            return;
        }
        fms->usrf = rf->fp;
        writeHeader(fms, fms->usrf);
        return;
    }
    // Mode 1 without contaminants keeps no listing either.
    if (mode != 2) resfile_remove_on_commit(fms, path);
    fms->usrf = nullptr;
}

void writeSrf_stepTime(FlowmirState* fms, int time)
{
    FILE* fp = fms->usrf;
    if (!fp) return;
    char date[16], clock[16];
    datestr(fms, fms->dayofy, date);
    if (!timestr(fms, time, clock)) clock[0] = '\0';
    fprintf(fp, "%s\t%s", date, clock);
    SinkList lists[6];
    sinkLists(fms, lists);
    for (const SinkList& l : lists)
        for (const CseSink* s = l.head; s; s = s->next) fprintf(fp, "\t%13.6e", s->Cs);
    fprintf(fp, "\n");
}

void srfFile_abandon(FlowmirState* fms)
{
    fms->usrf = nullptr;
}
