// The weather file: header, daily calendar, then dated records of ten values read forward
// through a bracket and interpolated linearly in time.
#include "boundary/weather.h"

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

enum { DAYS_PER_YEAR = 365, LINE_LENGTH = 4096 };

// Largest magnitude of a value: the ambient conditions are published in single precision.
static const double FLOAT_LIMIT = 3.4028234663852886e38;

static const char* const valueName[WTH_NVAL] = {
    "ambient temperature", "barometric pressure", "wind speed", "wind direction", "humidity ratio",
    "value 6",             "value 7",             "value 8",    "value 9",        "value 10",
};

// An angle in degrees brought into [0, 360).
static double reduceDegrees(double deg)
{
    double r = std::fmod(deg, 360.0);
    if (r < 0.0) r += 360.0; // -1e-20 + 360 rounds to 360
    if (r >= 360.0 || r == 0.0) r = 0.0; // and no negative zero
    return r;
}

// "1/2 06:00:00": the record the bracket has just accepted, for messages.
static const char* recordText(FlowmirState* fms, char* out, size_t length)
{
    return bracket_record_text(fms, &fms->wthBracket, out, length);
}

// Reads the ten values of the record the bracket has just accepted. Every value must be there
// and be a number within single precision: a missing one would read as 0 (0 K, 0 Pa) and one
// beyond the range as an infinity, and the run would go on with a meaningless ambient. The wind
// direction is kept in [0, 360).
static void readValues(FlowmirState* fms, double* values)
{
    char word[LINE_LENGTH], where[48];
    for (int i = 0; i < WTH_NVAL; i++) {
        nxtwrd(fms, word, 0, sizeof word);
        if (word[0] == '\0')
            errorf(fms, FATAL, __FILE__, __LINE__, "WTH record %s ends after %d of %d values",
                   recordText(fms, where, sizeof where), i, WTH_NVAL);
        char* end;
        errno = 0;
        double v = std::strtod(word, &end);
        if (*end != '\0') {
            error(fms, ERROR, __FILE__, __LINE__, word, " is not a (valid) number", "");
            error(fms, FATAL, __FILE__, __LINE__, "Error encountered while reading WTH file", "");
        }
        recordText(fms, where, sizeof where);
        if (std::isnan(v) || (std::isinf(v) && errno != ERANGE))
            error(fms, FATAL, __FILE__, __LINE__, "WTH record ", where, ": ", valueName[i], " ", word,
                  " is not finite", "");
        if (!(std::fabs(v) <= FLOAT_LIMIT))
            error(fms, FATAL, __FILE__, __LINE__, "WTH record ", where, ": ", valueName[i], " ", word,
                  " is beyond single-precision range", "");
        values[i] = v;
    }
    values[WTH_WDIR] = reduceDegrees(values[WTH_WDIR]);
}

// Keeps a wind direction pair on the short way round: 350 then 10 becomes 350 then 370. The
// earlier value is first brought back into [0, 360) so that storage does not grow as the wind
// keeps turning the same way; the later one is there already.
static void unwrapWindDirection(FlowmirState* fms)
{
    double& prev = fms->wthPrev[WTH_WDIR];
    double& next = fms->wthNext[WTH_WDIR];
    prev = reduceDegrees(prev);
    if (std::fabs(next - prev) > 180.0) {
        if (next < prev)
            next += 360.0;
        else
            prev += 360.0;
    }
}

static void checkAmbientT(FlowmirState* fms)
{
    if (fms->wthCheckT && fms->wthNext[WTH_TAMB] < 200.0) {
        error(fms, ERROR, __FILE__, __LINE__, " Ambient temperature < 200K", "");
        fms->wthCheckT = 0;
    }
}

// Takes the record the bracket has just accepted: its values become the later ones.
static void takeRecord(FlowmirState* fms)
{
    memcpy(fms->wthPrev, fms->wthNext, sizeof fms->wthPrev);
    readValues(fms, fms->wthNext);
    unwrapWindDirection(fms);
    checkAmbientT(fms);
}

static void applyCalendar(FlowmirState* fms, int day)
{
    fms->wthDay = day;
    if (!fms->dyt || day < 1 || day > DAYS_PER_YEAR || fms->dyt[day] == 0) return; // not in the calendar
    fms->dayOfWeek = fms->dyw[day];
    fms->dayType = fms->dyt[day];
    fms->dstFlag = fms->dst[day];
}

// The calendar must hold every day of the period. A period that runs across the end of the year
// needs the days up to 365 and from day 1, so that it is refused here and not at midnight of
// day 365.
static void checkPeriod(FlowmirState* fms, int first, int last, int startDay, int endDay)
{
    if (first < 1 || last < first)
        error(fms, FATAL, __FILE__, __LINE__, "Invalid weather file date sequence", "");
    if (startDay < first) error(fms, FATAL, __FILE__, __LINE__, "Start date not on weather file", "");
    bool wraps = endDay < startDay;
    if (last < endDay || (wraps && (first > 1 || last < DAYS_PER_YEAR)))
        error(fms, FATAL, __FILE__, __LINE__, "End date not on weather file", "");
}

// One field of a calendar line, which must be there: the file may not end inside the calendar.
static void calendarWord(FlowmirState* fms, char* word, const char* what, const char* dateText)
{
    nxtwrd(fms, word, 0, LINE_LENGTH);
    if (word[0] == '\0')
        error(fms, FATAL, __FILE__, __LINE__, "Missing ", what, " in weather file; day ", dateText, "");
}

// An integer field of a calendar line; one that cannot be read stops the run.
static int calendarInt(FlowmirState* fms, const char* what, const char* dateText)
{
    char word[LINE_LENGTH];
    calendarWord(fms, word, what, dateText);
    int16_t v;
    if (shortcon(word, &v))
        error(fms, FATAL, __FILE__, __LINE__, "Bad ", what, " in weather file; day ", dateText, ": ", word,
              "");
    return v;
}

static void readCalendar(FlowmirState* fms, int first, int last)
{
    char dateText[16], word[LINE_LENGTH];
    for (int d = first;; d = d % DAYS_PER_YEAR + 1) {
        datxstr(fms, d, dateText);
        int c = readMDx(fms, 1);
        if (c == -1)
            error(fms, FATAL, __FILE__, __LINE__, "Missing calendar line in weather file; day ", dateText,
                  "");
        if (c != d) errorf(fms, FATAL, __FILE__, __LINE__, "Incorrect weather file date: %d", c);
        int dow = calendarInt(fms, "day of week", dateText);
        if (dow < 1 || dow > 7)
            error(fms, WARNING, __FILE__, __LINE__, "Invalid day of week in weather file; day ", dateText,
                  "");
        fms->dyw[d] = (uint8_t)dow;
        int type = calendarInt(fms, "day type", dateText);
        if (type < 1 || type > 12)
            error(fms, FATAL, __FILE__, __LINE__, "Invalid day type in weather file; day ", dateText, "");
        fms->dyt[d] = (uint8_t)type;
        fms->dst[d] = (uint8_t)calendarInt(fms, "daylight-saving flag", dateText);
        calendarWord(fms, word, "calendar value", dateText); // carried by the file, not used
        double ignored;
        if (dblcon(word, &ignored))
            error(fms, FATAL, __FILE__, __LINE__, "Bad calendar value in weather file; day ", dateText, ": ",
                  word, "");
        if (d == last) break;
    }
}

void WTH_init(FlowmirState* fms, int startDay, int endDay, int allocateDays)
{
    if (fms->wthFile) { // prepared again: start from the top
        fclose(fms->wthFile);
        fms->wthFile = nullptr;
    }
    FILE* saved = openInput_bracket(fms, fms->wthPath, &fms->wthFile, "WTH");
    static const char* const header[3] = {"WeatherFile", "Flowpad", "2.0"};
    checkHeader_bracket(fms, header, "Bad weather file: ", fms->wthPath);

    char line[LINE_LENGTH];
    nxtwrd(fms, line, 4, sizeof line); // description
    int first = readMDx(fms, 1);
    int last = readMDx(fms, 0);
    if (first == -1 || last == -1)
        error(fms, FATAL, __FILE__, __LINE__, "Missing calendar period in weather file", "");
    checkPeriod(fms, first, last, startDay, endDay);

    if (!fms->dyw) { // a repeated run keeps the tables of the first call
        fms->dyw = alc_vt<uint8_t>(fms, 1, DAYS_PER_YEAR, "dyw");
        fms->dyt = alc_vt<uint8_t>(fms, 1, DAYS_PER_YEAR, "dyt");
        fms->dst = alc_vt<uint8_t>(fms, 1, DAYS_PER_YEAR, "dst");
    }
    readCalendar(fms, first, last);
    applyCalendar(fms, startDay);

    firstRecord_bracket(fms, &fms->wthBracket, "WTH");
    if (allocateDays) fms->wthCheckT = 1; // reported at most once per run
    readValues(fms, fms->wthNext);
    memcpy(fms->wthPrev, fms->wthNext, sizeof fms->wthPrev);
    checkAmbientT(fms);
    releaseInput_bracket(fms, &fms->wthFile, saved);
}

void WTH_restart(FlowmirState* fms, int startDay, int endDay)
{
    WTH_init(fms, startDay, endDay, 0);
}

int WTH_get(FlowmirState* fms, int day, int time, int advancePastNow)
{
    Bracket* b = &fms->wthBracket;
    int ahead;
    if (fms->wthFile) {
        FILE* saved = useInput_bracket(fms, &fms->wthFile);
        ahead = advance_bracket(fms, b, "WTH", day, time, advancePastNow, takeRecord, nullptr);
        releaseInput_bracket(fms, &fms->wthFile, saved);
    } else {
        ahead = bracketAhead(b, day, time); // the file ended early: values held
    }

    if (day != fms->wthDay) applyCalendar(fms, day);

    double h = bracketWeight(fms, b, ahead, "WTH");
    for (int i = 0; i < WTH_NVAL; i++) {
        if (h <= 0.0)
            fms->wthNow[i] = fms->wthNext[i];
        else if (h >= 1.0)
            fms->wthNow[i] = fms->wthPrev[i];
        else
            fms->wthNow[i] = fms->wthNext[i] + (fms->wthPrev[i] - fms->wthNext[i]) * h;
    }

    const double* now = fms->wthNow;
    if (fms->ambt) {
        fms->ambt->T = now[WTH_TAMB];
        fms->ambt->P = 0.0;
    }
    fms->Tambt = (float)now[WTH_TAMB];
    fms->Pambt = now[WTH_PBAR];
    fms->Wspd = (float)now[WTH_WSPD];
    fms->Wdir = (float)reduceDegrees(now[WTH_WDIR]);
    if (fms->Wdir >= 360.0f) fms->Wdir = 0.0f; // just below 360 rounds up in single precision
    fms->Wambt = (float)(now[WTH_HUMR] / 1000.0);
    if (fms->ambt && fms->ambt->Mf && fms->iH2O >= 0 && fms->iH2O < fms->nctm)
        fms->ambt->Mf[fms->iH2O] = fms->Wambt / (1.0 + fms->Wambt);

    if (fms->listLevel > 1)
        LOG(fms, "  WTH: %g C, %g Pa, %g m/s, %g deg, %g g/kg\n", fms->Tambt - 273.15, fms->Pambt,
            (double)fms->Wspd, (double)fms->Wdir, fms->Wambt * 1000.0);
    return ahead;
}

int WTH_get_day_type(FlowmirState* fms, int day)
{
    if (!fms->dyt || day < 1 || day > DAYS_PER_YEAR || fms->dyt[day] == 0) return fms->dayType;
    return fms->dyt[day];
}

void WTH_close(FlowmirState* fms)
{
    fre_vt(fms, fms->dyw, 1, DAYS_PER_YEAR);
    fre_vt(fms, fms->dyt, 1, DAYS_PER_YEAR);
    fre_vt(fms, fms->dst, 1, DAYS_PER_YEAR);
    if (fms->wthFile) fclose(fms->wthFile);
    fms->wthFile = nullptr;
}
