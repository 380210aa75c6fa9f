// The wind pressure and contaminant file: header, counts, period, column names and locations,
// then dated records of a pressure line and one line per column, read forward through a bracket
// and interpolated in time (pressures may be held stepwise instead).
#include "boundary/wpc_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "boundary/bracket.h"
#include "network/airnet.h"
#include "network/sim_data.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/nxt.h"
#include "support/strutil.h"
#include "support/timeconv.h"
#include "transport/species.h"

enum { DAYS_PER_YEAR = 365, LINE_LENGTH = 4096, PLACE_LENGTH = 600 };

static const double FLOAT_LIMIT = 3.4028234663852886e38;

// " (line 7 of WPC file a.wpc)": where a fault lies, by the line of `offset` (-1: the reader's
// position).
static const char* place(FlowmirState* fms, long offset, char* out)
{
    return bracket_place(fms, offset, "WPC", fms->wpcPath, out, PLACE_LENGTH);
}

// "1/2 06:00:00": the record the bracket has just accepted, for messages.
static const char* recordText(FlowmirState* fms, char* out, size_t length)
{
    return bracket_record_text(fms, &fms->wpcBracket, out, length);
}

// Whether the current line holds another word. Every block of a record is one line: a short
// line would otherwise take the next line's values as its own, and every location after the
// gap would get its neighbour's pressure.
static bool lineHasWord(FlowmirState* fms)
{
    FILE* f = fms->_UNXT;
    if (!f) return false;
    int c;
    do {
        c = getc(f);
    } while (c == ' ' || c == '\t' || c == ',' || c == '\r');
    if (c == EOF) return false;
    ungetc(c, f);
    return c != '\n' && c != '!';
}

// --- the header, counts, period and locations -------------------------------------------------

// The three words of the first line: the version word is "2.1" (total pressures) or "2.4" (wind
// pressures).
static void checkHeader(FlowmirState* fms)
{
    char word[LINE_LENGTH];
    static const char* const fixed[2] = {"WPCfile", "Flowpad"};
    bool ok = true;
    for (int i = 0; i < 2; i++) {
        nxtwrd(fms, word, 0, sizeof word);
        if (!streql(word, fixed[i])) ok = false;
    }
    nxtwrd(fms, word, 0, sizeof word);
    bool v21 = strcmp(word, "2.1") == 0, v24 = strcmp(word, "2.4") == 0;
    if (ok && (v21 || v24)) {
        fms->wpcV24 = v24 ? 1 : 0;
        return;
    }
    nxtrewind(fms);
    nxtwrd(fms, word, 2, sizeof word); // the first line as it stands
    error(fms, WARNING, __FILE__, __LINE__, "Bad wind pressure file: ", fms->wpcPath, "");
    error(fms, FATAL, __FILE__, __LINE__, "Invalid header: ", word, "");
}

// A 16-bit integer field; mode 1 starts on a new line. One that is missing or not an integer
// stops the run.
static int readShort(FlowmirState* fms, int mode, const char* what)
{
    char word[LINE_LENGTH], where[PLACE_LENGTH];
    nxtwrd(fms, word, mode, sizeof word);
    if (word[0] == '\0') error(fms, FATAL, __FILE__, __LINE__, "Missing ", what, place(fms, -1, where), "");
    int16_t v;
    if (shortcon(word, &v))
        error(fms, FATAL, __FILE__, __LINE__, "Bad ", what, ": ", word, place(fms, -1, where), "");
    return v;
}

// A real field of a location line.
static float readCoordinate(FlowmirState* fms, const char* what, int seq)
{
    char word[LINE_LENGTH], where[PLACE_LENGTH];
    nxtwrd(fms, word, 0, sizeof word);
    if (word[0] == '\0')
        errorf(fms, FATAL, __FILE__, __LINE__, "Missing %s of location %d%s", what, seq, place(fms, -1, where));
    float v;
    if (fltcon(word, &v) || !std::isfinite(v))
        errorf(fms, FATAL, __FILE__, __LINE__, "Bad %s of location %d: %s%s", what, seq, word,
               place(fms, -1, where));
    return v;
}

// The counts of locations and columns; a count the rest of the file cannot hold is refused
// before any table is sized by it.
static void checkCount(FlowmirState* fms, int n, int least, const char* what)
{
    char where[PLACE_LENGTH];
    if (n < least || n > nxt_remaining(fms))
        errorf(fms, FATAL, __FILE__, __LINE__, "Bad number of %s: %d%s", what, n, place(fms, -1, where));
}

// The period must hold every day of the simulation; one that runs across the end of the year
// needs the days up to 365 and from day 1.
static void checkPeriod(FlowmirState* fms, int first, int last, int startDay, int endDay)
{
    if (first < 1 || last < first) error(fms, FATAL, __FILE__, __LINE__, "Invalid WPC file date sequence", "");
    if (startDay < first) error(fms, FATAL, __FILE__, __LINE__, "Start date not on WPC file", "");
    bool wraps = endDay < startDay;
    if (last < endDay || (wraps && (first > 1 || last < DAYS_PER_YEAR)))
        error(fms, FATAL, __FILE__, __LINE__, "End date not on WPC file", "");
}

static bool givesPressures(const FlowmirState* fms)
{
    return fms->_useWPCwp && fms->wpcWP1;
}

static bool givesFractions(const FlowmirState* fms)
{
    return fms->_useWPCmf && fms->nwpcCols > 0 && fms->wpcMf1;
}

static void allocateArrays(FlowmirState* fms)
{
    int n = fms->nwpcPaths, m = fms->nwpcCols;
    fms->wpcLocs = alc_vt<WpcLoc>(fms, 1, n, "PLDloc");
    if (fms->_useWPCmf && m > 0) {
        fms->wpcSpindx = alc_vt<int>(fms, 0, m - 1, "spindx");
        fms->wpcMax = alc_vt<float>(fms, 0, m - 1, "Max");
        fms->wpcMf0 = static_cast<float**>(alc_mc(fms, 0, m - 1, 1, n, sizeof(float), "Mf0"));
        fms->wpcMf1 = static_cast<float**>(alc_mc(fms, 0, m - 1, 1, n, sizeof(float), "Mf1"));
        if (fms->nctm > 0) {
            fms->WPC_Mf = static_cast<double**>(alc_mc(fms, 1, n, 0, fms->nctm - 1, sizeof(double), "WPC_Mf"));
            for (int i = 1; i <= n; i++)
                for (int s = 0; s < fms->nctm; s++) fms->WPC_Mf[i][s] = fms->ctm ? fms->ctm[s].CC0 : 0.0;
        }
    }
    if (fms->_useWPCwp) {
        fms->wpcWP0 = alc_vt<float>(fms, 1, n, "wP0");
        fms->wpcWP1 = alc_vt<float>(fms, 1, n, "wP1");
        fms->wpcZ = alc_vt<float>(fms, 1, n, "Z");
        fms->WPC_wP = alc_vt<float>(fms, 1, n, "WPC_wP");
        fms->WPC_wPr = alc_vt<float>(fms, 1, n, "WPC_wPr");
    }
}

// The counts, the period and the names; returns whether the file agrees with the run control.
static bool readCounts(FlowmirState* fms, int startDay, int endDay, int allocate)
{
    bool good = true;
    int n = readShort(fms, 1, "number of locations");
    checkCount(fms, n, 1, "locations");
    int m = readShort(fms, 0, "number of contaminant columns");
    checkCount(fms, m, 0, "contaminant columns");
    if ((m == 0) == (fms->_useWPCmf != 0)) {
        error(fms, ERROR, __FILE__, __LINE__, "WPC and PRJ contaminant flags do not match", "");
        good = false;
    }
    int pressures = readShort(fms, 0, "pressure flag");
    if ((pressures != 0) != (fms->_useWPCwp != 0)) {
        error(fms, ERROR, __FILE__, __LINE__, "WPC and PRJ pressure flags do not match", "");
        good = false;
    }
    readShort(fms, 0, "fourth count");
    // The arrays and the links' pointers into them were made for the file of the first opening.
    if (!allocate && (n != fms->nwpcPaths || m != fms->nwpcCols))
        errorf(fms, FATAL, __FILE__, __LINE__,
               "WPC file changed during the run: %d locations and %d columns, %d and %d at the start", n, m,
               fms->nwpcPaths, fms->nwpcCols);

    char where[PLACE_LENGTH];
    int first = readMDx(fms, 1);
    int last = readMDx(fms, 0);
    if (first == -1 || last == -1)
        error(fms, FATAL, __FILE__, __LINE__, "Missing start and end dates", place(fms, -1, where), "");
    checkPeriod(fms, first, last, startDay, endDay);

    if (allocate) {
        fms->nwpcPaths = n;
        fms->nwpcCols = m;
        allocateArrays(fms);
    }

    char word[LINE_LENGTH];
    for (int k = 0; k < m; k++) {
        nxtwrd(fms, word, 0, sizeof word);
        if (word[0] == '\0')
            errorf(fms, FATAL, __FILE__, __LINE__, "Missing name of column %d of %d%s", k + 1, m,
                   place(fms, -1, where));
        if (fms->wpcSpindx) {
            int s = species_find(fms, word);
            fms->wpcSpindx[k] = s >= 0 && s < fms->nctm ? s : -1;
        }
    }
    return good;
}

// The location lines; each must carry its own position as its number and a status of 0.
static bool readLocations(FlowmirState* fms)
{
    LOG(fms, "Mapping errors in WPC file:\n");
    bool good = true;
    for (int seq = 1; seq <= fms->nwpcPaths; seq++) {
        WpcLoc& w = fms->wpcLocs[seq];
        w.seq = seq;
        w.fileNr = readShort(fms, 1, "location number");
        long at = fms->_UNXT ? ftell(fms->_UNXT) : -1;
        w.x = readCoordinate(fms, "x", seq);
        w.y = readCoordinate(fms, "y", seq);
        w.z = readCoordinate(fms, "z", seq);
        w.status = readShort(fms, 0, "location status");
        if (fms->wpcZ) fms->wpcZ[seq] = w.z;
        if (w.status != 0 || w.fileNr != seq) {
            // The line of the file, so that the user finds the location at once.
            long line = nxt_line_at(fms, at);
            LOG(fms, " map (%s %ld: %3d %3d %.3f %.3f %.3f %d)\n", "line", line, w.fileNr, w.seq, w.x, w.y,
                w.z, w.status);
            good = false;
        }
    }
    return good;
}

// First file location within WPC_SAME_PLACE of the position in every coordinate, or 0.
static int fileLocation(const FlowmirState* fms, float x, float y, float z)
{
    for (int s = 1; s <= fms->nwpcPaths; s++) {
        const WpcLoc& w = fms->wpcLocs[s];
        if (std::fabs(w.x - x) < WPC_SAME_PLACE && std::fabs(w.y - y) < WPC_SAME_PLACE &&
            std::fabs(w.z - z) < WPC_SAME_PLACE)
            return s;
    }
    return 0;
}

// Gives every link of the location list the wind pressure and outdoor concentrations of its file
// location. A link sees the outdoor pressure with the sign of its orientation: one whose ambient
// side is node M points at the negated entry, so that links of either orientation may share a
// location.
static void mapLinks(FlowmirState* fms)
{
    LOG(fms, "Path locations missing from WPC file:\n");
    int npld = fms->npld;
    int* match = alc_vt<int>(fms, 1, npld, "PLDmatch");
    int missing = 0;
    for (int k = 1; k <= npld; k++) {
        const PLDloc& L = fms->PLDlist[k];
        match[k] = fileLocation(fms, L.x, L.y, L.z);
        if (match[k] == 0) {
            LOG(fms, " %s %d: %3d at (%.3f %.3f %.3f)\n", L.kind == 0 ? "path" : "duct", L.item, L.nr, L.x, L.y,
                L.z);
            missing++;
        }
    }
    if (missing > 0) {
        fre_vt(fms, match, 1, npld);
        error(fms, FATAL, __FILE__, __LINE__, "Missing locations in WPC file, see XLog file", "");
    }
    for (AirLink* l = fms->linkList; l; l = l->next) {
        if (l->locIdx < 1 || l->locIdx > npld) continue;
        int s = match[l->locIdx];
        bool atN = l->nodeN == fms->ambt, atM = l->nodeM == fms->ambt;
        l->locIdx = s;
        if (!atN && !atM) continue; // the location list holds openings to the ambient only
        if (fms->_useWPCwp) l->windP = atN ? &fms->WPC_wP[s] : &fms->WPC_wPr[s];
        if (fms->WPC_Mf) (atN ? l->srcN : l->srcM) = fms->WPC_Mf[s];
    }
    fre_vt(fms, match, 1, npld);
}

// --- the records ------------------------------------------------------------------------------

// One number of the record the bracket has just accepted; messages give the line it stands on.
// `first` starts a block on a new line; the others must follow on the same line.
static double readValue(FlowmirState* fms, bool first, int i, int count, const char* block)
{
    char word[LINE_LENGTH], where[PLACE_LENGTH], record[48];
    recordText(fms, record, sizeof record);
    if (!first && !lineHasWord(fms))
        errorf(fms, FATAL, __FILE__, __LINE__, "WPC record %s: %s line ends after %d of %d values%s", record,
               block, i, count, place(fms, -1, where));
    nxtwrd(fms, word, first ? 1 : 0, sizeof word);
    if (word[0] == '\0')
        errorf(fms, FATAL, __FILE__, __LINE__, "WPC record %s: %s line ends after %d of %d values%s", record,
               block, i, count, place(fms, -1, where));
    char* end;
    errno = 0;
    double v = std::strtod(word, &end);
    if (*end != '\0') {
        errorf(fms, ERROR, __FILE__, __LINE__, "WPC record %s, %s value %d: %s is not a (valid) number%s", record,
               block, i + 1, word, place(fms, -1, where));
        error(fms, FATAL, __FILE__, __LINE__, "Error encountered while reading WPC file", "");
    }
    if (!(std::fabs(v) <= FLOAT_LIMIT))
        errorf(fms, FATAL, __FILE__, __LINE__, "WPC record %s, %s value %d: %s is not a finite single-precision number%s",
               record, block, i + 1, word, place(fms, -1, where));
    return v;
}

// Barometric pressure and outdoor density of a record: the ambient temperature is their quotient,
// so neither may be 0 or below.
static void readAmbient(FlowmirState* fms)
{
    double pb = readValue(fms, false, 0, 2, "date");
    double rho = readValue(fms, false, 1, 2, "date");
    if (!(pb > 0.0) || !(rho > 0.0)) {
        char record[48], where[PLACE_LENGTH];
        errorf(fms, FATAL, __FILE__, __LINE__,
               "WPC record %s: barometric pressure %g Pa and outdoor air density %g kg/m3 must be above 0%s",
               recordText(fms, record, sizeof record), pb, rho, place(fms, -1, where));
    }
    fms->wpcPb1 = pb;
    fms->wpcRho1 = (float)rho;
}

static void logPressures(FlowmirState* fms)
{
    int n = fms->nwpcPaths;
    double lo = 0.0, hi = 0.0, sum = 0.0;
    for (int i = 1; i <= n; i++) {
        double p = fms->wpcWP1[i];
        if (p < lo) lo = p;
        if (p > hi) hi = p;
        sum += p * p;
    }
    char time[16];
    if (!timestr(fms, fms->wpcBracket.nextTime, time)) time[0] = '\0';
    LOG(fms, "WPCf %s wind: min %.1f, max %.1f, RMS %.1f [Pa]%s", time, lo, hi, std::sqrt(sum / n),
        fms->afResolve ? " new\n" : " old\n");
}

// Reads the values of the record the bracket has just accepted into the later slots.
static void readValues(FlowmirState* fms)
{
    int n = fms->nwpcPaths;
    if (givesPressures(fms)) {
        readAmbient(fms);
        float rho = fms->wpcRho1;
        float g = fms->gravity;
        bool changed = false;
        for (int i = 1; i <= n; i++) {
            double p = readValue(fms, i == 1, i - 1, n, "pressure");
            double w = fms->wpcV24 ? p : (p - fms->wpcPb1) + (double)(rho * g * fms->wpcZ[i]);
            float& wP1 = fms->wpcWP1[i];
            wP1 = (float)w;
            if (std::fabs(wP1 - fms->wpcWP0[i]) > 1e-5 * std::fabs(wP1 + fms->wpcWP0[i])) changed = true;
        }
        if (fms->wpcOption && !fms->afResolve && changed) fms->afResolve = 1;
        if (fms->listLevel > 1) logPressures(fms);
    }
    if (givesFractions(fms)) {
        char name[24];
        for (int k = 0; k < fms->nwpcCols; k++) {
            snprintf(name, sizeof name, "column %d", k + 1);
            float* row = fms->wpcMf1[k];
            for (int i = 1; i <= n; i++) {
                row[i] = (float)readValue(fms, i == 1, i - 1, n, name);
                if (i == 1 || row[i] > fms->wpcMax[k]) fms->wpcMax[k] = row[i];
            }
        }
        if (fms->listLevel > 1) {
            char time[16];
            if (!timestr(fms, fms->wpcBracket.nextTime, time)) time[0] = '\0';
            LOG(fms, "WPCf %s max Mf:", time);
            for (int k = 0; k < fms->nwpcCols; k++) LOG(fms, " %.3e", fms->wpcMax[k]);
            LOG(fms, "\n");
        }
    }
}

// The later record's values become the earlier ones.
static void shiftValues(FlowmirState* fms)
{
    int n = fms->nwpcPaths;
    fms->wpcPb0 = fms->wpcPb1;
    fms->wpcRho0 = fms->wpcRho1;
    if (givesPressures(fms)) memcpy(&fms->wpcWP0[1], &fms->wpcWP1[1], sizeof(float) * n);
    if (givesFractions(fms) && fms->WPC_Mf)
        for (int k = 0; k < fms->nwpcCols; k++) memcpy(&fms->wpcMf0[k][1], &fms->wpcMf1[k][1], sizeof(float) * n);
}

static void takeRecord(FlowmirState* fms)
{
    shiftValues(fms);
    readValues(fms);
}

static void setAmbient(FlowmirState* fms, double pb, double rho)
{
    fms->Pambt = pb;
    if (!fms->ambt) return;
    fms->ambt->T = pb / (rho * fms->ambt->R);
    fms->Tambt = (float)fms->ambt->T;
}

// --- opening, stepping and closing -------------------------------------------------------------

void WPC_init(FlowmirState* fms, int startDay, int endDay, int allocate)
{
    LOG(fms, "Testing WPC file\n");
    if (fms->npld <= 0 || !fms->PLDlist)
        error(fms, FATAL, __FILE__, __LINE__, "No list of envelope openings; call Orvo", "");
    if (fms->wpcFile) { // prepared again: start from the top
        fclose(fms->wpcFile);
        fms->wpcFile = nullptr;
    }
    FILE* saved = openInput_bracket(fms, fms->wpcPath, &fms->wpcFile, "WPC");
    fms->wpcOpen = 1;
    checkHeader(fms);
    char line[LINE_LENGTH];
    nxtwrd(fms, line, 4, sizeof line); // description
    bool good = readCounts(fms, startDay, endDay, allocate);
    if (!readLocations(fms)) good = false;
    if (!good) error(fms, FATAL, __FILE__, __LINE__, "Mapping errors in WPC file, see XLog file", "");
    if (allocate) mapLinks(fms);

    firstRecord_bracket(fms, &fms->wpcBracket, "WPC");
    readValues(fms);
    if (givesPressures(fms)) {
        setAmbient(fms, fms->wpcPb1, fms->wpcRho1);
        fms->afResolve = 1;
    }
    shiftValues(fms);
    releaseInput_bracket(fms, &fms->wpcFile, saved);
}

void WPC_restart(FlowmirState* fms, int startDay, int endDay)
{
    if (!fms->wpcOpen) return;
    WPC_init(fms, startDay, endDay, 0);
}

// The values at `ahead` seconds before the later record.
static void publish(FlowmirState* fms, int ahead)
{
    double h = bracketWeight(fms, &fms->wpcBracket, ahead, "WPC");
    int n = fms->nwpcPaths;
    if (givesPressures(fms)) {
        double pb, rho;
        if (ahead > 0 && fms->wpcOption) { // held: the earlier record until the later one is reached
            pb = fms->wpcPb0;
            rho = fms->wpcRho0;
            for (int i = 1; i <= n; i++) fms->WPC_wP[i] = fms->wpcWP0[i];
        } else if (ahead > 0) {
            pb = fms->wpcPb1 + (fms->wpcPb0 - fms->wpcPb1) * h;
            rho = fms->wpcRho1 + ((double)fms->wpcRho0 - fms->wpcRho1) * h;
            for (int i = 1; i <= n; i++)
                fms->WPC_wP[i] = (float)(fms->wpcWP1[i] + ((double)fms->wpcWP0[i] - fms->wpcWP1[i]) * h);
        } else {
            pb = fms->wpcPb1;
            rho = fms->wpcRho1;
            for (int i = 1; i <= n; i++) fms->WPC_wP[i] = fms->wpcWP1[i];
        }
        for (int i = 1; i <= n; i++) fms->WPC_wPr[i] = -fms->WPC_wP[i];
        setAmbient(fms, pb, rho);
    }
    if (givesFractions(fms) && fms->WPC_Mf) {
        for (int k = 0; k < fms->nwpcCols; k++) {
            int s = fms->wpcSpindx[k];
            if (s < 0) continue;
            const float* mf0 = fms->wpcMf0[k];
            const float* mf1 = fms->wpcMf1[k];
            for (int i = 1; i <= n; i++)
                fms->WPC_Mf[i][s] = ahead > 0 ? mf1[i] + ((double)mf0[i] - mf1[i]) * h : (double)mf1[i];
        }
    }
}

int WPC_get(FlowmirState* fms, int day, int time, int advancePastNow)
{
    if (!fms->wpcOpen) return 0;
    Bracket* b = &fms->wpcBracket;
    int ahead;
    if (fms->wpcFile) {
        FILE* saved = useInput_bracket(fms, &fms->wpcFile);
        ahead = advance_bracket(fms, b, "WPC", day, time, advancePastNow, takeRecord, nullptr);
        releaseInput_bracket(fms, &fms->wpcFile, saved);
    } else {
        ahead = bracketAhead(b, day, time); // the file ended early: values held
    }
    publish(fms, ahead);
    return ahead;
}

void WPC_close(FlowmirState* fms)
{
    int n = fms->nwpcPaths, m = fms->nwpcCols;
    fre_vt(fms, fms->WPC_wP, 1, n);
    fre_vt(fms, fms->WPC_wPr, 1, n);
    fre_vt(fms, fms->wpcZ, 1, n);
    fre_vt(fms, fms->wpcWP1, 1, n);
    fre_vt(fms, fms->wpcWP0, 1, n);
    if (fms->WPC_Mf) fre_mc(fms, fms->WPC_Mf, 1, n, 0, fms->nctm - 1, sizeof(double));
    if (fms->wpcMf1) fre_mc(fms, fms->wpcMf1, 0, m - 1, 1, n, sizeof(float));
    if (fms->wpcMf0) fre_mc(fms, fms->wpcMf0, 0, m - 1, 1, n, sizeof(float));
    fms->WPC_Mf = nullptr;
    fms->wpcMf0 = fms->wpcMf1 = nullptr;
    fre_vt(fms, fms->wpcMax, 0, m - 1);
    fre_vt(fms, fms->wpcSpindx, 0, m - 1);
    fre_vt(fms, fms->wpcLocs, 1, n);
    fms->nwpcPaths = fms->nwpcCols = 0;
    if (fms->wpcFile) fclose(fms->wpcFile);
    fms->wpcFile = nullptr;
    fms->wpcOpen = 0;
    initBracket(&fms->wpcBracket);
}
