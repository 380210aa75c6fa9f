// The short-time-step results files under the results-file scheme of the run.
#include "results/sts_files.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>

#include "airflow/pool_array.h"
#include "network/airnet.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/log.h"
#include "support/paths.h"
#include "transport/sts.h"

static_assert(std::endian::native == std::endian::little, "the results files are little-endian");

enum { STS_PATH = 260 };

static void stsPath(FlowmirState* fms, const char* ext, char* path)
{
    pathmerge(fms, path, STS_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ext);
}

// Opens one file, or marks it for deletion when it is not written.
static ResFile* openOne(FlowmirState* fms, bool wanted, const char* ext, const char* failure)
{
    char path[STS_PATH];
    stsPath(fms, ext, path);
    if (!wanted) {
        resfile_remove_on_commit(fms, path);
        return nullptr;
    }
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) error(fms, FATAL, __FILE__, __LINE__, failure, "");
    return rf;
}

static void putInts(FILE* fp, const int32_t* v, int n)
{
    // short writes to these files are not reported
    if (fwrite(v, sizeof(int32_t), n, fp) != (size_t)n) return;
}

static void writeCrossReference(FlowmirState* fms)
{
    FlowmirState::StsOut& o = fms->stsout;
    ResFile* rf = openOne(fms, true, ".rxr", "Could not open RXR file; is it already open?");
    int32_t h[13] = {24,           fms->listStep, fms->dayofy,   fms->stepStartTime, fms->endDate,
                     fms->endTime, o.rzf ? 1 : 0, o.rzm ? 1 : 0, o.rz1 ? 1 : 0,      fms->nctm,
                     fms->nzone,   o.nZ1D,        o.nC1D};
    putInts(rf->fp, h, 13);
    if (o.rz1 && fms->sts)
        for (const CdZone* z = fms->sts->cdzones; z; z = z->next) {
            int32_t id[2] = {z->nr, z->ncells};
            putInts(rf->fp, id, 2);
            float p[6] = {z->p1[0], z->p1[1], z->p1[2], z->p2[0], z->p2[1], z->p2[2]};
            fwrite(p, sizeof(float), 6, rf->fp);
        }
    fflush(rf->fp);
    LOG(fms, "RXR (results files cross reference data)\n");
    LOG(fms, "     type %d, step %d\n", h[0], h[1]);
    LOG(fms, "     date0 %d, time0 %d\n", h[2], h[3]);
    LOG(fms, "     date1 %d, time1 %d\n", h[4], h[5]);
    LOG(fms, "     rzf %d, rzm %d, rz1 %d\n", h[6], h[7], h[8]);
    LOG(fms, "     fms->nctm %d, fms->nzone %d\n", h[9], h[10]);
    LOG(fms, "     fms->simout.nZ1D %d, fms->simout.nC1D %d\n", h[11], h[12]);
}

void set_uSTS_ResultFiles(FlowmirState* fms, int mode)
{
    FlowmirState::StsOut& o = fms->stsout;
    if (mode != 1) {
        // The run's list of results files keeps (mode 2) or drops (finish) what was written;
        // the record buffer goes with the run's block list.
        o.rzf = o.rzm = o.rz1 = nullptr;
        o.buf = nullptr;
        o.nbuf = 0;
        return;
    }
    if (fms->nzone <= 0) return;
    o.nZ1D = fms->sts ? fms->sts->nCdz : 0;
    o.nC1D = fms->sts ? fms->sts->nCells : 0;
    bool species = fms->nctm > 0;
    o.rzf = openOne(fms, fms->rzfres != 0, ".rzf", "Could not open RZF file; is it already open?");
    o.rzm = openOne(fms, fms->rzmres && species, ".rzm", "Could not open RZM file; is it already open?");
    o.rz1 = openOne(fms, fms->rz1res && species && o.nZ1D > 0, ".rz1",
                    "Could not open RZ1 file; is it already open?");
    int n = std::max({3 * fms->nzone, fms->nctm * fms->nzone, fms->nctm * o.nC1D, 1});
    if (o.nbuf < n) {
        o.buf = pool_arrayt<float>(fms, &fms->msBlock, n, "Zmix");
        o.nbuf = n;
    }
    if (o.rzf || o.rzm || o.rz1)
        writeCrossReference(fms);
    else
        openOne(fms, false, ".rxr", "");
}

static void record(FlowmirState* fms, ResFile* rf, int time, int n)
{
    int32_t h[2] = {fms->dayofy, time};
    putInts(rf->fp, h, 2);
    if (n > 0 && fwrite(fms->stsout.buf, sizeof(float), n, rf->fp) != (size_t)n) return;
}

void writeSTS_ResultFiles(FlowmirState* fms, int time)
{
    FlowmirState::StsOut& o = fms->stsout;
    float* b = o.buf;
    int nc = fms->nctm;
    if (o.rzf) {
        int k = 0;
        for (const AirNode* n = fms->nodeList; n; n = n->next) {
            if (n->styp != NODE_ZONE || n == fms->ambt) continue;
            b[k++] = (float)n->T;
            b[k++] = (float)n->P;
            b[k++] = (float)n->rho;
        }
        record(fms, o.rzf, time, k);
    }
    if (o.rzm) {
        int k = 0;
        for (const AirNode* n = fms->nodeList; n; n = n->next) {
            if (n->styp != NODE_ZONE || n == fms->ambt) continue;
            for (int j = 0; j < nc; j++)
                b[k++] = n->Mf ? (float)n->Mf[j] : 0.0f;
        }
        record(fms, o.rzm, time, k);
    }
    if (o.rz1 && fms->sts) {
        int k = 0;
        for (const CdZone* z = fms->sts->cdzones; z; z = z->next)
            for (int i = 0; i < z->ncells; i++)
                for (int j = 0; j < nc; j++)
                    b[k++] = (float)z->cells[i].Mf[j];
        record(fms, o.rz1, time, k);
    }
}
