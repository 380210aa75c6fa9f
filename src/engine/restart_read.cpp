// Starting a run from the restart file: find the snapshot of the asked day and load it.
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>

#include "airflow/pressures.h"
#include "engine/restart.h"
#include "engine/restart_blocks.h"
#include "engine/siminit.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/timeconv.h"
#include "transport/mfsystem.h"

// Offsets into the file are 64-bit: a long run of a large network passes 2 GiB.
static_assert(sizeof(off_t) == 8, "restart file offsets need 64 bits");

// Every way out of a load closes the file and releases the buffer.
static int rstDone(FlowmirState* fms, FILE* fp, int result)
{
    FlowmirState::RestartOut& r = fms->restart;
    fre_vt(fms, r.rBuf, 0, r.nBuf);
    r.nBuf = 0;
    if (fp) fclose(fp);
    return result;
}

static int readFailed(FlowmirState* fms, FILE* fp, const char* suffix)
{
    error(fms, ERROR, __FILE__, __LINE__, "RST read failed", suffix, "");
    return rstDone(fms, fp, 1);
}

// The file's header against the current project; each differing count is logged.
static bool headerMatches(FlowmirState* fms, const int32_t* file)
{
    static const char* const what[7] = {"nzone", "npath", "nctm", "njct", "ndct", "ncss + nbls + fms->ndvr",
                                        "nctrl"};
    const int32_t* now = fms->restart.rhd;
    bool same = file[9] == now[9];
    for (int i = 0; i < 7; i++)
        if (file[i] != now[i]) {
            LOG(fms, "  fms->restart.rhd[%d] %d != %d %s\n", i, file[i], now[i], what[i]);
            same = false;
        }
    return same;
}

// The record at offset is there whole: a file cut short (a run killed while writing it) is
// refused before anything of the network changes.
static bool recordComplete(FILE* fp, off_t offset, int size)
{
    struct stat st;
    return fstat(fileno(fp), &st) == 0 && offset + (off_t)size <= st.st_size;
}

int rstget(FlowmirState* fms, int date)
{
    char path[RESFILE_PATH];
    rst_path(fms, path, sizeof path);
    FILE* fp = fopen(path, "rb");
    if (!fp) {
        error(fms, ERROR, __FILE__, __LINE__, "Failed to open restart file: ", path, "");
        return 1;
    }
    set_urst_init(fms);
    FlowmirState::RestartOut& r = fms->restart;
    char dtext[16], ttext[16];
    datestr(fms, date, dtext);
    LOG(fms, "rstget(%d):  date %s\n", date, dtext);

    int32_t head[RST_HEADER_INTS];
    if (fread(head, sizeof head[0], RST_HEADER_INTS, fp) != RST_HEADER_INTS) return readFailed(fms, fp, "");
    if (!headerMatches(fms, head)) {
        error(fms, ERROR, __FILE__, __LINE__, "Data mis-match in restart file", "");
        return rstDone(fms, fp, 1);
    }

    off_t offset = (off_t)sizeof head;
    for (;;) {
        int32_t dt[2];
        if (fseeko(fp, offset, SEEK_SET) != 0 || fread(dt, sizeof dt[0], 2, fp) != 2)
            return readFailed(fms, fp, "");
        // A day or time no run writes: not a record of this file.
        if (dt[0] < 1 || dt[0] > 365 || dt[1] < 0 || dt[1] > 86400) return readFailed(fms, fp, "");
        datestr(fms, dt[0], dtext);
        timestr(fms, dt[1], ttext);
        LOG(fms, "search:  date/time %s/%s, offset %lld\n", dtext, ttext, (long long)offset);
        if (dt[0] == date) break;
        if (dt[0] == head[8]) {
            error(fms, ERROR, __FILE__, __LINE__, "Restart failed to find date", "");
            return rstDone(fms, fp, 1);
        }
        offset += r.sizeData;
    }
    if (!recordComplete(fp, offset, r.sizeData)) return readFailed(fms, fp, "");

    for (int b = 0; b < RST_NBLOCKS; b++) {
        size_t n = (size_t)rst_blockCount(fms, b);
        if (n == 0) continue;
        if (fread(r.rBuf, sizeof r.rBuf[0], n, fp) != n) return readFailed(fms, fp, rst_blockSuffix(b));
        rst_scatter(fms, b, r.rBuf);
    }
    return rstDone(fms, fp, 0);
}

int sim_init_restart(FlowmirState* fms)
{
    LOG(fms, "sim_init_restart()\n");
    logFlush(fms);
    if (rstget(fms, fms->restartDate) != 0) return 1;
    copyMassFractions(fms);
    calc_wP(fms);
    findPgage(fms);
    // The solvers take the loaded concentrations as the old-time values of the first step.
    // They are evaluated without a time step, as the steady initialisation evaluates them: a
    // burst does not go off in an evaluation that has no step to release it in.
    fms->mfConcsChanged = 1;
    fms->dt = fms->rdt = 0.0f;
    if (fms->mfsolver != 1) {
        if ((fms->mfsim == 2 || fms->mfsim == 3) && fms->mfn) init_Mfn(fms, fms->mfn);
        if (fms->mft) init_Mft(fms, fms->mft);
    }
    fms->dt = (float)fms->time_step;
    fms->rdt = fms->dt > 0.0f ? 1.0f / fms->dt : 0.0f;
    return 0;
}
