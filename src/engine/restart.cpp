// Writing the restart file: the header once, a record at the end of every simulated day.
#include "engine/restart.h"

#include <bit>

#include "engine/restart_blocks.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/paths.h"

// The file is the machine's own bytes: little-endian 32-bit integers and 64-bit reals.
static_assert(std::endian::native == std::endian::little, "restart files are little-endian");
static_assert(sizeof(int32_t) == 4 && sizeof(double) == 8, "restart files hold 32-bit ints and 64-bit reals");

void rst_path(FlowmirState* fms, char* path, int size)
{
    pathmerge(fms, path, size, fms->_pdrive, fms->_pdir, fms->_prjname, ".rst");
}

void set_urst_init(FlowmirState* fms)
{
    FlowmirState::RestartOut& r = fms->restart;
    rst_countBlocks(fms);
    long long sum = 0;
    int largest = 0;
    for (int b = 0; b < RST_NBLOCKS; b++) {
        int n = rst_blockCount(fms, b);
        sum += n;
        if (n > largest) largest = n;
    }
    // The header holds the size as a 32-bit integer.
    if (sum * 8 + 8 > INT32_MAX)
        errorf(fms, FATAL, __FILE__, __LINE__, "Restart record too large: %lld bytes", sum * 8 + 8);
    r.sizeData = (int)(sum * 8 + 8);
    // The buffer lives from here to the close: a record allocates nothing.
    if (r.rBuf && r.nBuf != largest) fre_vt(fms, r.rBuf, 0, r.nBuf);
    r.nBuf = largest;
    if (!r.rBuf) r.rBuf = alc_vt<double>(fms, 0, r.nBuf, "rBuf");

    bool cyclic = fms->mfsim == 3;
    int32_t* h = r.rhd;
    h[0] = fms->nzone;
    h[1] = fms->npath;
    h[2] = fms->nctm;
    h[3] = fms->njct;
    h[4] = fms->ndct;
    h[5] = fms->ncss + fms->nbls + fms->ndvr;
    h[6] = fms->nctrl;
    h[7] = cyclic ? fms->dateSS : fms->date0;
    h[8] = cyclic ? fms->dateSS : fms->date1;
    h[9] = r.sizeData;
    LOG(fms, "set_urst_init():\n");
    LOG(fms, "  nzone %d, npath %d, nctm %d, njct %d, ndct %d\n", h[0], h[1], h[2], h[3], h[4]);
    LOG(fms, "  ncss+nbls+ndvr %d, nctrl %d, date0 %d, date1 %d\n", h[5], h[6], h[7], h[8]);
    LOG(fms, "  SizeData %d\n", r.sizeData);
}

static bool put(FlowmirState* fms, const void* data, size_t size, size_t count)
{
    return fwrite(data, size, count, fms->restart.ursf) == count;
}

void set_urst_open(FlowmirState* fms)
{
    FlowmirState::RestartOut& r = fms->restart;
    if (!(fms->afsim == 1 || fms->mfsim > 1) || r.ursf) return;
    char path[RESFILE_PATH];
    rst_path(fms, path, sizeof path);
    r.res = resfile_open(fms, path);
    r.ursf = r.res ? r.res->fp : nullptr;
    if (!r.ursf) error(fms, FATAL, __FILE__, __LINE__, "Could not open RST file; is it already open?", "");
    if (!put(fms, r.rhd, sizeof r.rhd[0], RST_HEADER_INTS))
        error(fms, FATAL, __FILE__, __LINE__, "RST write failed", "");
}

void writeRst_stepTime(FlowmirState* fms, int day, int time)
{
    FlowmirState::RestartOut& r = fms->restart;
    if (!r.ursf || !r.rBuf) return;
    int32_t head[2] = {day, time};
    if (!put(fms, head, sizeof head[0], 2)) error(fms, FATAL, __FILE__, __LINE__, "RST write failed", "");
    for (int b = 0; b < RST_NBLOCKS; b++) {
        int n = rst_blockCount(fms, b);
        if (n == 0) continue;
        rst_gather(fms, b, r.rBuf);
        if (!put(fms, r.rBuf, sizeof r.rBuf[0], n))
            error(fms, FATAL, __FILE__, __LINE__, "RST write failed", rst_blockSuffix(b), "");
    }
}

void set_urst_close(FlowmirState* fms, int remove)
{
    FlowmirState::RestartOut& r = fms->restart;
    fre_vt(fms, r.rBuf, 0, r.nBuf);
    r.nBuf = 0;
    // The stream belongs to the run's results files: SimEnd renames it into place, finish
    // removes it as one of the run's temporary files. Nothing here touches the final name.
    (void)remove;
    r.ursf = nullptr;
    r.res = nullptr;
}
