// The ambient contaminant file: header, period, a column per named species, then dated records
// of mass fractions read forward through a bracket and interpolated linearly in time.
#include "boundary/ctm_file.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "boundary/bracket.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/log.h"
#include "support/nxt.h"
#include "support/timeconv.h"
#include "transport/species.h"

enum { DAYS_PER_YEAR = 365, LINE_LENGTH = 4096, PLACE_LENGTH = 600 };

// Largest magnitude of a value: the record values are kept in single precision.
static const double FLOAT_LIMIT = 3.4028234663852886e38;


// " (line 7 of CTM file a.ctm)": where a fault lies, by the line of `offset` (-1: the reader's
// position).
static const char* place(FlowmirState* fms, long offset, char* out)
{
    return bracket_place(fms, offset, "CTM", fms->ctmPath, out, PLACE_LENGTH);
}

// "1/2 06:00:00": the record the bracket has just accepted, for messages.
static const char* recordText(FlowmirState* fms, char* out, size_t length)
{
    return bracket_record_text(fms, &fms->ctmBracket, out, length);
}

// "column 2 (CO2)", or "column 3" for a species that is not simulated.
static const char* columnText(FlowmirState* fms, int k, char* out, size_t length)
{
    int i = fms->spindx[k];
    if (i >= 0 && fms->ctm)
        snprintf(out, length, "column %d (%s)", k + 1, fms->ctm[i].name);
    else
        snprintf(out, length, "column %d", k + 1);
    return out;
}

// One value of the record the bracket has just accepted, which starts at byte `recordAt`. Every
// column must be there and be a number within single precision, also a column the run does not
// use: a missing one would take the next record's date as a value, and one beyond the range
// would be an infinite mass fraction.
static double readValue(FlowmirState* fms, int k, long recordAt)
{
    char word[LINE_LENGTH], where[PLACE_LENGTH], record[48], column[64];
    nxtwrd(fms, word, 0, sizeof word);
    if (word[0] == '\0')
        errorf(fms, FATAL, __FILE__, __LINE__, "CTM record %s ends after %d of %d values%s",
               recordText(fms, record, sizeof record), k, fms->nctmCols, place(fms, recordAt, where));
    recordText(fms, record, sizeof record);
    columnText(fms, k, column, sizeof column);
    char* end;
    errno = 0;
    double v = std::strtod(word, &end);
    if (*end != '\0') {
        errorf(fms, ERROR, __FILE__, __LINE__, "CTM record %s, %s: %s is not a (valid) number%s", record,
               column, word, place(fms, recordAt, where));
        error(fms, FATAL, __FILE__, __LINE__, "Error encountered while reading CTM file", "");
    }
    if (std::isnan(v) || (std::isinf(v) && errno != ERANGE))
        errorf(fms, FATAL, __FILE__, __LINE__, "CTM record %s, %s: %s is not finite%s", record, column, word,
               place(fms, recordAt, where));
    if (!(std::fabs(v) <= FLOAT_LIMIT))
        errorf(fms, FATAL, __FILE__, __LINE__, "CTM record %s, %s: %s is beyond single-precision range%s",
               record, column, word, place(fms, recordAt, where));
    return v;
}

// Reads the values of the record the bracket has just accepted into ctmNext. Species without a
// column keep their values; with non-trace species the first one takes up the rest of one.
static void readValues(FlowmirState* fms)
{
    long recordAt = fms->_UNXT ? ftell(fms->_UNXT) : -1;
    for (int k = 0; k < fms->nctmCols; k++) {
        double v = readValue(fms, k, recordAt);
        int i = fms->spindx[k];
        if (i >= 0) fms->ctmNext[i] = (float)v;
    }
    int nonTrace = fms->nNonTrace < fms->nctm ? fms->nNonTrace : fms->nctm;
    if (nonTrace > 0 && fms->ctmNext) {
        double sum = 0.0;
        for (int i = 1; i < nonTrace; i++)
            sum += fms->ctmNext[i];
        fms->ctmNext[0] = (float)(1.0 - sum);
    }
}

// Takes the record the bracket has just accepted: its values become the later ones.
static void takeRecord(FlowmirState* fms)
{
    if (fms->ctmPrev) memcpy(fms->ctmPrev, fms->ctmNext, sizeof(float) * fms->nctm);
    readValues(fms);
}

// The period must hold every day of the simulation. One that runs across the end of the year
// needs the days up to 365 and from day 1, so that it is refused here and not at midnight of
// day 365.
static void checkPeriod(FlowmirState* fms, int first, int last, int startDay, int endDay)
{
    if (first < 1 || last < first)
        error(fms, FATAL, __FILE__, __LINE__, "Invalid CTM file date sequence", "");
    if (startDay < first) error(fms, FATAL, __FILE__, __LINE__, "Start date not on CTM file", "");
    bool wraps = endDay < startDay;
    if (last < endDay || (wraps && (first > 1 || last < DAYS_PER_YEAR)))
        error(fms, FATAL, __FILE__, __LINE__, "End date not on CTM file", "");
}

// The number of columns, on a new line. A count the rest of the file cannot hold names for is
// refused before any table is sized by it.
static int readColumnCount(FlowmirState* fms)
{
    char word[LINE_LENGTH], where[PLACE_LENGTH];
    nxtwrd(fms, word, 1, sizeof word);
    if (word[0] == '\0')
        error(fms, FATAL, __FILE__, __LINE__, "Missing number of columns", place(fms, -1, where), "");
    int32_t n;
    if (longcon(word, &n) || n < 0 || n > nxt_remaining(fms))
        error(fms, FATAL, __FILE__, __LINE__, "Bad number of columns: ", word, place(fms, -1, where), "");
    return n;
}

// The column map and the record values. The arrays of an earlier call are kept; only a file
// whose number of columns has changed meanwhile gets a new column map.
static void allocateArrays(FlowmirState* fms, int columns)
{
    if (fms->spindx && fms->nctmCols != columns) fre_vt(fms, fms->spindx, 0, fms->nctmCols - 1);
    fms->nctmCols = columns;
    if (!fms->spindx && columns > 0) fms->spindx = alc_vt<int>(fms, 0, columns - 1, "spindx");
    if (!fms->ctmPrev && fms->nctm > 0) {
        fms->ctmPrev = alc_vt<float>(fms, 0, fms->nctm - 1, "Mf0");
        fms->ctmNext = alc_vt<float>(fms, 0, fms->nctm - 1, "Mf1");
    }
}

// Maps each column name to its simulated species. The water vapour is not taken from this file,
// even when it has a column: the weather file sets it at every step, so the two would alternate.
static void readColumnNames(FlowmirState* fms, int noteWater)
{
    char word[LINE_LENGTH], where[PLACE_LENGTH];
    bool water = false;
    for (int k = 0; k < fms->nctmCols; k++) {
        nxtwrd(fms, word, 0, sizeof word);
        if (word[0] == '\0')
            errorf(fms, FATAL, __FILE__, __LINE__, "Missing name of column %d of %d%s", k + 1, fms->nctmCols,
                   place(fms, -1, where));
        int i = species_find(fms, word);
        fms->spindx[k] = i < fms->nctm ? i : -1;
        if (i < fms->nctm && i == fms->iH2O) water = true;
    }
    if (water && noteWater)
        error(
            fms, NOTE, __FILE__, __LINE__,
            "H2O column of CTM file not used: the ambient water vapour follows the species defaults and the "
            "weather file",
            "");
}

void CTM_init(FlowmirState* fms, int startDay, int endDay, int allocate)
{
    if (fms->ctmFile) { // prepared again: start from the top
        fclose(fms->ctmFile);
        fms->ctmFile = nullptr;
    }
    FILE* saved = openInput_bracket(fms, fms->ctmPath, &fms->ctmFile, "CTM");
    static const char* const header[3] = {"SpeciesFile", "Flowpad", "2.0"};
    checkHeader_bracket(fms, header, "Bad contaminant file: ", fms->ctmPath);

    char line[LINE_LENGTH], where[PLACE_LENGTH];
    nxtwrd(fms, line, 4, sizeof line); // description
    int first = readMDx(fms, 1);
    int last = readMDx(fms, 0);
    if (first == -1 || last == -1)
        error(fms, FATAL, __FILE__, __LINE__, "Missing start and end dates", place(fms, -1, where), "");
    checkPeriod(fms, first, last, startDay, endDay);

    allocateArrays(fms, readColumnCount(fms));
    for (int i = 0; i < fms->nctm && fms->ctmNext; i++)
        fms->ctmPrev[i] = fms->ctmNext[i] = fms->ctm ? fms->ctm[i].CC0 : 0.0f;
    readColumnNames(fms, allocate);

    firstRecord_bracket(fms, &fms->ctmBracket, "CTM");
    readValues(fms);
    if (fms->ctmPrev) memcpy(fms->ctmPrev, fms->ctmNext, sizeof(float) * fms->nctm);
    releaseInput_bracket(fms, &fms->ctmFile, saved);
}

void CTM_restart(FlowmirState* fms, int startDay, int endDay)
{
    // A file that a "*" ended has no stream left but is still the run's file.
    if (!fms->ctmFile && fms->ctmBracket.nextDay <= 0) return;
    CTM_init(fms, startDay, endDay, 0);
}

// The ambient node takes the interpolated value of every species the file gives: the species of
// its columns, and the first species when it balances the non-trace ones.
static void publish(FlowmirState* fms, double h)
{
    AirNode* a = fms->ambt;
    if (!a || !a->Mf || !fms->ctmNext) return;
    auto value = [&](int i) {
        if (h <= 0.0) return (double)fms->ctmNext[i];
        if (h >= 1.0) return (double)fms->ctmPrev[i];
        return fms->ctmNext[i] + ((double)fms->ctmPrev[i] - fms->ctmNext[i]) * h;
    };
    for (int k = 0; k < fms->nctmCols; k++) {
        int i = fms->spindx[k];
        if (i >= 0 && i != fms->iH2O) a->Mf[i] = value(i);
    }
    if (fms->nNonTrace > 0 && fms->iH2O != 0) a->Mf[0] = value(0);

    if (fms->listLevel > 1) {
        LOG(fms, "  CTM:");
        for (int i = 0; i < fms->nctm; i++)
            LOG(fms, " %g", a->Mf[i]);
        LOG(fms, "\n");
    }
}

int CTM_get(FlowmirState* fms, int day, int time, int advancePastNow)
{
    Bracket* b = &fms->ctmBracket;
    int ahead;
    if (fms->ctmFile) {
        FILE* saved = useInput_bracket(fms, &fms->ctmFile);
        ahead = advance_bracket(fms, b, "CTM", day, time, advancePastNow, takeRecord, nullptr);
        releaseInput_bracket(fms, &fms->ctmFile, saved);
    } else {
        ahead = bracketAhead(b, day, time); // the file ended early: values held
    }
    publish(fms, bracketWeight(fms, b, ahead, "CTM"));
    return ahead;
}

void CTM_close(FlowmirState* fms)
{
    fre_vt(fms, fms->spindx, 0, fms->nctmCols - 1);
    fms->nctmCols = 0;
    fre_vt(fms, fms->ctmPrev, 0, fms->nctm - 1);
    fre_vt(fms, fms->ctmNext, 0, fms->nctm - 1);
    if (fms->ctmFile) fclose(fms->ctmFile);
    fms->ctmFile = nullptr;
    initBracket(&fms->ctmBracket);
}
