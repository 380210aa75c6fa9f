// The exfiltration listings: tab-separated text, masses in kg with six significant digits.
#include "results/cex_file.h"

#include <unistd.h>

#include <cstdio>

#include "network/airnet.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/paths.h"
#include "support/timeconv.h"
#include "transport/species.h"

enum { CEX_PATH = 260 };

static void bulkPath(FlowmirState* fms, char* path)
{
    pathmerge(fms, path, CEX_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ".cex");
}

static void detailPath(FlowmirState* fms, int c, char* path)
{
    char name[sizeof fms->_prjname + SPECIES_NAME_LEN + 1];
    snprintf(name, sizeof name, "%s_%s", fms->_prjname, fms->ctm[c].name);
    pathmerge(fms, path, CEX_PATH, fms->_pdrive, fms->_pdir, name, ".cex");
}

static FILE* openListing(FlowmirState* fms, const char* path)
{
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) error(fms, FATAL, __FILE__, __LINE__, "Could not open CEX file ", path, "; is it already open?", "");
    return rf ? rf->fp : nullptr;
}

void set_ubcex_open(FlowmirState* fms)
{
    if (fms->ubcex) return;
    char path[CEX_PATH];
    bulkPath(fms, path);
    FILE* fp = openListing(fms, path);
    if (!fp) return;
    fms->ubcex = fp;
    fprintf(fp, "Project:  %s\n", fms->_prjname);
    fprintf(fp, "nctm\tunits\n");
    fprintf(fp, "%d\tkg\n", fms->nctm);
    fprintf(fp, "Date\tTime");
    for (int c = 0; c < fms->nctm; c++) fprintf(fp, "\t%s", fms->ctm[c].name);
    fprintf(fp, "\n");
}

void set_ubcex_close(FlowmirState* fms, int remove)
{
    if (remove) {
        char path[CEX_PATH];
        bulkPath(fms, path);
        resfile_remove_on_commit(fms, path);
    }
    // A kept listing stays open under its temporary name until the run commits its files.
    fms->ubcex = nullptr;
}

// The intake of an air-handling system has no column: its exhaust stands for the system.
static bool hasColumn(const AirLink* l)
{
    return !(l->styp == LINK_PATH && (l->flags & LF_AHO) && !(l->flags & LF_AHX));
}

static void columnHeads(FlowmirState* fms, FILE* fp)
{
    for (int k = 1; k <= fms->nenvp && fms->EnvPaths_All; k++) {
        const AirLink* l = fms->EnvPaths_All[k];
        switch (l->styp) {
        case LINK_PATH:
            if (l->flags & LF_AHX)
                fprintf(fp, "\ta%d", fms->EnvPaths_Ahs ? fms->EnvPaths_Ahs[k] : 0);
            else if (hasColumn(l))
                fprintf(fp, "\tp%d", l->s_nr);
            break;
        case LINK_DUCT: fprintf(fp, "\td%d", l->s_nr); break;
        case LINK_TERM: fprintf(fp, "\tt%d", l->s_nr); break;
        case LINK_LEAK: fprintf(fp, "\tl%d", l->s_nr); break;
        default: error(fms, FATAL, __FILE__, __LINE__, "Invalid path type", ""); return;
        }
    }
    fprintf(fp, "\n");
}

void set_udcex_open(FlowmirState* fms)
{
    if (fms->dcexLst || fms->nctm <= 0) return;
    fms->dcexLst = alc_vt<FILE*>(fms, 0, fms->nctm - 1, "dcexLst");
    for (int c = 0; c < fms->nctm; c++) {
        char path[CEX_PATH];
        detailPath(fms, c, path);
        FILE* fp = openListing(fms, path);
        if (!fp) return;
        fms->dcexLst[c] = fp;
        fprintf(fp, "Project:  %s\n", fms->_prjname);
        fprintf(fp, "npath\tctm_name\tunits\n");
        fprintf(fp, "%d\t%s\t%s\n", fms->nenvp - fms->nahs, fms->ctm[c].name, "kg");
        fprintf(fp, "Date\tTime");
        columnHeads(fms, fp);
    }
}

void set_udcex_close(FlowmirState* fms, int remove)
{
    if (remove) {
        for (int c = 0; c < fms->nctm; c++) {
            char path[CEX_PATH];
            detailPath(fms, c, path);
            // Only names that exist are booked for deletion: one per contaminant would soon
            // fill the run's list of results files.
            bool open = fms->dcexLst && fms->dcexLst[c];
            if (open || access(path, F_OK) == 0) resfile_remove_on_commit(fms, path);
        }
    }
    if (fms->dcexLst) fre_vt(fms, fms->dcexLst, 0, fms->nctm - 1);
}

void writeCex_stepEnd(FlowmirState* fms, int time)
{
    if (fms->listStep <= 0 || time % fms->listStep != 0) return;
    char date[16], clock[16];
    datestr(fms, fms->dayofy, date);
    if (!timestr(fms, time, clock)) clock[0] = '\0';
    int nc = fms->nctm;
    double* list = fms->Env_MassOut_list;
    if (fms->ubcex) {
        fprintf(fms->ubcex, "%s\t%s", date, clock);
        for (int c = 0; c < nc; c++) fprintf(fms->ubcex, "\t%.5e", list ? list[c] : 0.0);
        fprintf(fms->ubcex, "\n");
    }
    if (list)
        for (int c = 0; c < nc; c++) list[c] = 0.0;
    double** byPath = fms->Env_MassPath;
    for (int c = 0; c < nc; c++) {
        FILE* fp = fms->dcexLst ? fms->dcexLst[c] : nullptr;
        if (fp) {
            fprintf(fp, "%s\t%s", date, clock);
            for (int k = 1; k <= fms->nenvp && fms->EnvPaths_All; k++)
                if (hasColumn(fms->EnvPaths_All[k])) fprintf(fp, "\t%.5e", byPath ? byPath[c][k] : 0.0);
            fprintf(fp, "\n");
        }
        // Links without a column start again as well.
        if (byPath)
            for (int k = 1; k <= fms->nenvp; k++) byPath[c][k] = 0.0;
    }
}

void writeCex_simEnd(FlowmirState* fms)
{
    if (!fms->ubcex) return;
    fprintf(fms->ubcex, "Sum\t");
    for (int c = 0; c < fms->nctm; c++)
        fprintf(fms->ubcex, "\t%.5e", fms->Env_MassOut_sum ? fms->Env_MassOut_sum[c] : 0.0);
    fprintf(fms->ubcex, "\n");
}

void cexFiles_abandon(FlowmirState* fms)
{
    fms->ubcex = nullptr;
    if (fms->dcexLst) fre_vt(fms, fms->dcexLst, 0, fms->nctm - 1);
}
