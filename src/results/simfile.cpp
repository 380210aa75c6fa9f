// The ".sim" results file. Records carry no tags: a reader finds them by their order and by the
// sizes that follow from the header, so every record of a run has the same layout.
#include "results/simfile.h"

#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "network/airnet.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/platform.h"
#include "support/timeconv.h"
#include "transport/species.h"

// Values are copied into the file in memory order.
static_assert(std::endian::native == std::endian::little, "the results file is little-endian");

static unsigned char* putI16(unsigned char* p, int16_t v)
{
    memcpy(p, &v, 2);
    return p + 2;
}
static unsigned char* putI32(unsigned char* p, int32_t v)
{
    memcpy(p, &v, 4);
    return p + 4;
}
static unsigned char* putF32(unsigned char* p, float v)
{
    memcpy(p, &v, 4);
    return p + 4;
}

// Writes one block; a short write is reported and writing goes on with the next block.
static bool simPut(FlowmirState* fms, const void* data, size_t size)
{
    if (size == 0) return true;
    if (fwrite(data, 1, size, fms->simout.usim) == size) return true;
    error(fms, ERROR, __FILE__, __LINE__, "fwrite failed", "");
    resfile_failed(fms->simout.res);
    return false;
}

static bool simPutInts(FlowmirState* fms, const int32_t* v, int n)
{
    unsigned char b[4];
    bool ok = true;
    for (int i = 0; i < n; i++) {
        putI32(b, v[i]);
        ok = simPut(fms, b, 4) && ok;
    }
    return ok;
}

// Records reach the disk as a whole, so a reader sees complete records during a run and a full
// disk is noticed at the record that did not fit.
static void simEndRecord(FlowmirState* fms, bool ok)
{
    if (fflush(fms->simout.usim) != 0 && ok) {
        error(fms, ERROR, __FILE__, __LINE__, "fwrite failed", "");
        resfile_failed(fms->simout.res);
    }
}

static int simOffset(FlowmirState* fms)
{
    return (int)ftell(fms->simout.usim);
}

static bool simTrace(FlowmirState* fms)
{
    return fms->listLevel == 2;
}

// Column label of species j in the trace.
static const char* ctmName(FlowmirState* fms, int j)
{
    return fms->ctm && j >= 0 && j < fms->nctm ? fms->ctm[j].name : "";
}

// Mass fractions of a node (none when the node has no array) as single precision in ambC.
static const float* nodeFractions(FlowmirState* fms, const AirNode* n)
{
    float* c = fms->simout.ambC;
    for (int j = 0; j < fms->nctm; j++) c[j] = n && n->Mf ? (float)n->Mf[j] : 0.0f;
    return c;
}

// The daily maxima of node row i, or its current fractions when no table is kept.
static const float* dayMaxFractions(FlowmirState* fms, const AirNode* n, int i)
{
    if (!fms->Mfmax) return nodeFractions(fms, n);
    float* c = fms->simout.ambC;
    for (int j = 0; j < fms->nctm; j++) c[j] = fms->Mfmax[i][j];
    return c;
}

static bool putFractions(FlowmirState* fms, const float* c)
{
    unsigned char b[4];
    bool ok = true;
    for (int j = 0; j < fms->nctm; j++) {
        putF32(b, c[j]);
        ok = simPut(fms, b, 4) && ok;
    }
    return ok;
}

static void traceFractionHead(FlowmirState* fms)
{
    LOG(fms, " zone  offset");
    for (int j = 0; j < fms->nctm; j++) LOG(fms, " %11s", ctmName(fms, j));
    LOG(fms, "\n");
}

static void traceFractions(FlowmirState* fms, int nr, int offset, const float* c)
{
    LOG(fms, " %4d %7d", nr, offset);
    for (int j = 0; j < fms->nctm; j++) LOG(fms, " %11.4e", c[j]);
    LOG(fms, "\n");
}

// The node walk of a record: every node but the ambient, checking the numbering on the way.
static bool recordNode(FlowmirState* fms, const AirNode* n, int position)
{
    if (n == fms->ambt) return false;
    if (n->nr != position) error(fms, ERROR, __FILE__, __LINE__, "Node number", "");
    return true;
}

static bool anyResults(FlowmirState* fms)
{
    return fms->pfres || fms->zfres || fms->zcres;
}

static void writeHeader(FlowmirState* fms)
{
    const FlowmirState::SimOut& so = fms->simout;
    int32_t h[SIM_HEADER_INTS] = {
        SIM_FILE_TYPE,    fms->nzone,         fms->npath,    fms->nctm,    fms->njct,    fms->ndct,
        fms->listStep,    fms->dayofy,        fms->stepStartTime,         fms->endDate, fms->endTime,
        fms->pfres != 0,  fms->zfres != 0,    fms->zcres != 0,            fms->nafnd,   so.nccnd,
        fms->nafpt,
    };
    bool trace = simTrace(fms);
    if (trace) {
        LOG(fms, "SIM: nnode %d, npath %d, ncont %d, step %d\n", h[1], h[2], h[3], h[6]);
        LOG(fms, "     date0 %d, time0 %d, date1 %d, time1 %d\n", h[7], h[8], h[9], h[10]);
        LOG(fms, "     pfres %d, zfres %d, zcres %d\n", h[11], h[12], h[13]);
        LOG(fms, "     nafnd %d, nccnd %d, nafpt %d\n", h[14], h[15], h[16]);
    }
    bool ok = simPutInts(fms, h, SIM_HEADER_INTS);
    if (trace) LOG(fms, "offset: %d\n", simOffset(fms));

    // Node types and numbers, repeated for the concentration nodes, then the paths'.
    int passes = so.nccnd ? 2 : 1;
    for (int pass = 0; pass < passes; pass++) {
        for (const AirNode* n = fms->nodeList; n; n = n->next) {
            if (trace && pass == 0) LOG(fms, "AF node: %d %u %u\n", n->nr, (unsigned)n->styp, (unsigned)n->s_nr);
            ok = simPutInts(fms, &n->styp, 1) && ok;
        }
        for (const AirNode* n = fms->nodeList; n; n = n->next) ok = simPutInts(fms, &n->s_nr, 1) && ok;
    }
    for (const AirLink* l = fms->linkList; l; l = l->next) {
        if (trace)
            LOG(fms, "AF path: %d %u %u  nd %u %u\n", l->nr, (unsigned)l->styp, (unsigned)l->s_nr,
                (unsigned)(l->nodeM ? l->nodeM->nr : 0), (unsigned)(l->nodeN ? l->nodeN->nr : 0));
        ok = simPutInts(fms, &l->styp, 1) && ok;
    }
    for (const AirLink* l = fms->linkList; l; l = l->next) ok = simPutInts(fms, &l->s_nr, 1) && ok;
    simEndRecord(fms, ok);
    if (trace) LOG(fms, "offset: %d\n", simOffset(fms));
}

void set_usim_open(FlowmirState* fms)
{
    FlowmirState::SimOut& so = fms->simout;
    char path[260];
    pathmerge(fms, path, sizeof path, fms->_pdrive, fms->_pdir, fms->_prjname, ".sim");
    if (so.usim) {  // a second open starts the file again
        rewind(so.usim);
        if (ftruncate(fileno(so.usim), 0) != 0) resfile_failed(so.res);
    } else {
        so.res = resfile_open(fms, path);
        so.usim = so.res ? so.res->fp : nullptr;
    }
    if (!so.usim) error(fms, FATAL, __FILE__, __LINE__, "Could not open SIM file; is it already open?", "");
    if (!so.ambC && fms->nctm > 0) so.ambC = alc_vt<float>(fms, 0, fms->nctm - 1, "ambC");
    so.nccnd = fms->zcres ? fms->nafnd : 0;
    writeHeader(fms);
}

// Index of the last nonzero histogram entry, scanning down to entry 1; 0 when there is none.
static int lastJfacBin(FlowmirState* fms)
{
    if (!fms->JfacBins) return 0;
    for (int k = fms->nJfacBins - 1; k >= 1; k--)
        if (fms->JfacBins[k]) return k;
    return 0;
}

static bool writeTrailer(FlowmirState* fms)
{
    int n = lastJfacBin(fms);
    int32_t t[SIM_TRAILER_INTS] = {
        n,           fms->stepCount, fms->stepIters, fms->nSolveSTS, fms->nSolveAf, fms->nFillAf,
        fms->nLufSkyS, fms->nSaPcg,  fms->nSaPcgIt,  fms->nSolveMft, fms->nSolveMfn, fms->nLufSkyN,
        fms->nSaBcg, fms->nSaBcgIt,  0,              0,
    };
    if (simTrace(fms))
        LOG(fms, "performance at %7d - %d %d %d %d %d\n", simOffset(fms), n, fms->stepCount, fms->stepIters,
            fms->nSolveSTS, fms->nSolveAf);
    bool ok = simPutInts(fms, t, SIM_TRAILER_INTS);
    for (int k = 0; k <= n; k++) {
        int32_t v = fms->JfacBins && k < fms->nJfacBins ? fms->JfacBins[k] : 0;
        ok = simPutInts(fms, &v, 1) && ok;
    }
    return ok;
}

void set_usim_close(FlowmirState* fms, int remove)
{
    FlowmirState::SimOut& so = fms->simout;
    if (so.usim && !remove) {
        bool ok = writeTrailer(fms);
        // Buffered bytes that do not reach the disk are lost results as well.
        if (fflush(so.usim) != 0 && ok) {
            error(fms, ERROR, __FILE__, __LINE__, "fwrite failed", "");
            resfile_failed(so.res);
        }
    }
    // The file itself stays open under its temporary name until the run commits or abandons
    // its results files; a removal drops only this run's copy.
    if (so.usim && remove) resfile_remove_on_commit(fms, so.res->path);
    so.usim = nullptr;
    so.res = nullptr;
    if (so.ambC) fre_vt(fms, so.ambC, 0, fms->nctm - 1);
}

void set_usim_stale(FlowmirState* fms)
{
    char path[260];
    pathmerge(fms, path, sizeof path, fms->_pdrive, fms->_pdir, fms->_prjname, ".sim");
    resfile_remove_on_commit(fms, path);
}

// Date, day type and time, then four values: the 24 bytes that open every record.
static bool putRecordHead(FlowmirState* fms, int time, float a, float b, float c, float d)
{
    unsigned char blk[24], *p = blk;
    p = putI16(p, (int16_t)fms->dayofy);
    p = putI16(p, (int16_t)fms->dayType);
    p = putI32(p, time);
    p = putF32(p, a);
    p = putF32(p, b);
    p = putF32(p, c);
    putF32(p, d);
    return simPut(fms, blk, sizeof blk);
}

static bool putRow(FlowmirState* fms, int32_t nr, float a, float b, float c)
{
    unsigned char blk[16], *p = blk;
    p = putI32(p, nr);
    p = putF32(p, a);
    p = putF32(p, b);
    putF32(p, c);
    return simPut(fms, blk, sizeof blk);
}

// A row whose last field is the integer 0 (day summaries).
static bool putRow0(FlowmirState* fms, int32_t nr, float a, float b)
{
    unsigned char blk[16], *p = blk;
    p = putI32(p, nr);
    p = putF32(p, a);
    p = putF32(p, b);
    putI32(p, 0);
    return simPut(fms, blk, sizeof blk);
}

// The mass-fraction rows of the recorded nodes: their current fractions, or the day's maxima.
static bool putFractionRows(FlowmirState* fms, bool trace, bool dayMaxima)
{
    if (trace) traceFractionHead(fms);
    bool ok = true;
    unsigned char b[4];
    int i = 1;
    for (const AirNode* n = fms->nodeList; n; n = n->next, i++) {
        if (!recordNode(fms, n, i)) continue;
        int offset = trace ? simOffset(fms) : 0;
        putI32(b, n->nr);
        ok = simPut(fms, b, 4) && ok;
        const float* c = dayMaxima ? dayMaxFractions(fms, n, i) : nodeFractions(fms, n);
        ok = putFractions(fms, c) && ok;
        if (trace) traceFractions(fms, n->nr, offset, c);
    }
    return ok;
}

void writeSim_stepTime(FlowmirState* fms, int time)
{
    if (!fms->simout.usim) return;
    bool trace = simTrace(fms);
    bool ok = true;
    char text[16];
    if (trace) {
        timestr(fms, time, text);
        LOG(fms, "writeSim_stepTime(): time %s\n", text);
    }
    if (anyResults(fms)) {
        int offset = trace ? simOffset(fms) : 0;
        float Pb = (float)fms->Pambt;
        ok = putRecordHead(fms, time, fms->Tambt, Pb, fms->Wspd, fms->Wdir) && ok;
        const float* c = nodeFractions(fms, fms->ambt);
        ok = putFractions(fms, c) && ok;
        if (trace) {
            LOG(fms, " time  offset  dy dt   Ta       P      Ws    Wd");
            for (int j = 0; j < fms->nctm; j++) LOG(fms, " %11s", ctmName(fms, j));
            LOG(fms, "\n%5d %7d %3d %2d %7.3f %8.1f %5.2f %3.0f", time, offset, fms->dayofy, fms->dayType,
                fms->Tambt, Pb, fms->Wspd, fms->Wdir);
            for (int j = 0; j < fms->nctm; j++) LOG(fms, " %11.4e", c[j]);
            LOG(fms, "\n");
        }
    }
    if (fms->pfres) {
        if (trace) LOG(fms, " path  offset      dP           F0           F1\n");
        for (const AirLink* l = fms->linkList; l; l = l->next) {
            if (trace)
                LOG(fms, " %4d %7d %12.4e %12.4e %12.4e\n", l->nr, simOffset(fms), l->dP, l->Flow[0], l->Flow[1]);
            ok = putRow(fms, l->nr, (float)l->dP, (float)l->Flow[0], (float)l->Flow[1]) && ok;
        }
    }
    if (fms->zfres) {
        if (trace) LOG(fms, " zone  offset      T            P            D            M\n");
        int i = 1;
        for (const AirNode* n = fms->nodeList; n; n = n->next, i++) {
            if (!recordNode(fms, n, i)) continue;
            if (trace)
                LOG(fms, " %4d %7d %12.4e %12.4e %12.4e %12.4e\n", n->nr, simOffset(fms), n->T, n->Pgage, n->rho,
                    n->M);
            ok = putRow(fms, n->nr, (float)n->T, n->Pgage, (float)n->rho) && ok;
        }
    }
    if (fms->zcres) ok = putFractionRows(fms, trace, false) && ok;
    simEndRecord(fms, ok);
}

void writeSim_daySummary(FlowmirState* fms)
{
    if (!fms->simout.usim) return;
    const FlowmirState::SimOut& so = fms->simout;
    bool trace = simTrace(fms);
    bool ok = true;
    int time = fms->stepEndTime;
    char text[16];
    if (trace) {
        timestr(fms, time, text);
        LOG(fms, "writeSim_daySummary: time %s\n", text);
    }
    if (anyResults(fms)) {
        if (trace) {
            LOG(fms, " time  offset  dy dt   Tmax    Tmin   Wmax  Wmin -- summary\n");
            LOG(fms, "%5d %7d %3d %2d %7.3f %7.3f %5.2f %5.2f\n", time, simOffset(fms), fms->dayofy,
                fms->dayType, so.Tmax, so.Tmin, so.Wmax, so.Wmin);
        }
        ok = putRecordHead(fms, time, so.Tmax, so.Tmin, so.Wmax, so.Wmin) && ok;
        ok = putFractions(fms, dayMaxFractions(fms, fms->ambt, fms->nafnd)) && ok;
    }
    if (fms->pfres) {
        if (trace) LOG(fms, " path  offset     dPmax        Fmax\n");
        for (const AirLink* l = fms->linkList; l; l = l->next) {
            if (trace) LOG(fms, " %4d %7d %12.4e %12.4e\n", l->nr, simOffset(fms), l->dPmax, l->Fmax);
            ok = putRow0(fms, l->nr, l->dPmax, l->Fmax) && ok;
        }
    }
    if (fms->zfres) {
        if (trace) LOG(fms, " zone  offset      Pgmax        Pgmin\n");
        int i = 1;
        for (const AirNode* n = fms->nodeList; n; n = n->next, i++) {
            if (!recordNode(fms, n, i)) continue;
            if (trace) LOG(fms, " %4d %7d %12.4e %12.4e\n", n->nr, simOffset(fms), n->Pgmax, n->Pgmin);
            ok = putRow0(fms, n->nr, n->Pgmax, n->Pgmin) && ok;
        }
    }
    if (fms->zcres) ok = putFractionRows(fms, trace, true) && ok;
    simEndRecord(fms, ok);
}

static float flowMagnitude(const AirLink* l)
{
    return (float)fmax(fabs(l->Flow[0]), fabs(l->Flow[1]));
}

void writeSim_daySummary_init(FlowmirState* fms)
{
    FlowmirState::SimOut& so = fms->simout;
    so.Tmax = so.Tmin = fms->Tambt;
    so.Wmax = so.Wmin = fms->Wspd;
    for (AirLink* l = fms->linkList; l; l = l->next) {
        l->dPmax = (float)fabs(l->dP);
        l->Fmax = flowMagnitude(l);
    }
    for (AirNode* n = fms->nodeList; n; n = n->next) n->Pgmax = n->Pgmin = n->Pgage;
    if (fms->Mfmax)
        for (int i = 1; i <= fms->nafnd; i++)
            for (int j = 0; j < fms->nctm; j++) fms->Mfmax[i][j] = 0.0f;
}

void writeSim_daySummary_note(FlowmirState* fms)
{
    FlowmirState::SimOut& so = fms->simout;
    if (fms->Tambt > so.Tmax)
        so.Tmax = fms->Tambt;
    else if (fms->Tambt < so.Tmin)
        so.Tmin = fms->Tambt;
    if (fms->Wspd > so.Wmax)
        so.Wmax = fms->Wspd;
    else if (fms->Wspd < so.Wmin)
        so.Wmin = fms->Wspd;
    // System paths carry the flows the air-handling model sets, not network results.
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (l->flags & (LF_AHR | LF_AHO | LF_AHX)) continue;
        float dP = (float)fabs(l->dP), F = flowMagnitude(l);
        if (dP > l->dPmax) l->dPmax = dP;
        if (F > l->Fmax) l->Fmax = F;
    }
    for (AirNode* n = fms->nodeList; n; n = n->next) {
        if (!(n->flags & NF_VARP)) continue;
        if (n->Pgage > n->Pgmax)
            n->Pgmax = n->Pgage;
        else if (n->Pgage < n->Pgmin)
            n->Pgmin = n->Pgage;
    }
}
