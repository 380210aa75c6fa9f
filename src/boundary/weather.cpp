// The weather file: header, daily calendar, then dated records of ten values read forward
// through a bracket and interpolated linearly in time.
#include "boundary/weather.h"

#include <cmath>
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

// A value that is not a number reads as 0 (0 K, 0 Pa): the run would go on with a meaningless
// ambient, so it stops as for any other record that cannot be read.
static void readValues(FlowmirState* fms, double* values)
{
    int errors = fms->errorCount;
    for (int i = 0; i < WTH_NVAL; i++)
        values[i] = readR8(fms, 0);
    if (fms->errorCount > errors) error(fms, FATAL, __FILE__, __LINE__, "Error encountered while reading WTH file", "");
}

// Keeps a wind direction pair on the short way round: 350 then 10 becomes 350 then 370. The
// earlier value is first brought back below 360 so that storage does not grow as the wind
// keeps turning the same way.
static void unwrapWindDirection(FlowmirState* fms)
{
    double& prev = fms->wthPrev[WTH_WDIR];
    double& next = fms->wthNext[WTH_WDIR];
    while (prev >= 360.0)
        prev -= 360.0;
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

static void readCalendar(FlowmirState* fms, int first, int last)
{
    char dateText[16];
    for (int d = first;; d = d % DAYS_PER_YEAR + 1) {
        int c = readMDx(fms, 1);
        if (c != d) errorf(fms, FATAL, __FILE__, __LINE__, "Incorrect weather file date: %d", c);
        int dow = readI2(fms, 0);
        if (dow < 1 || dow > 7)
            error(fms, WARNING, __FILE__, __LINE__, "Invalid day of week in weather file; day ",
                  datxstr(fms, d, dateText), "");
        fms->dyw[d] = (uint8_t)dow;
        int type = readI2(fms, 0);
        if (type < 1 || type > 12)
            error(fms, FATAL, __FILE__, __LINE__, "Invalid day type in weather file; day ",
                  datxstr(fms, d, dateText), "");
        fms->dyt[d] = (uint8_t)type;
        fms->dst[d] = (uint8_t)readI2(fms, 0);
        readR8(fms, 0); // carried by the file, not used
        if (d == last) break;
    }
}

void WTH_init(FlowmirState* fms, int startDay, int endDay, int allocateDays)
{
    if (fms->wthFile) { // prepared again: start from the top
        fclose(fms->wthFile);
        fms->wthFile = nullptr;
    }
    FILE* saved = openInput_bracket(fms, fms->wthPath, &fms->wthFile);
    static const char* const header[3] = {"WeatherFile", "Flowpad", "2.0"};
    checkHeader_bracket(fms, header, "Bad weather file: ", fms->wthPath);

    char line[LINE_LENGTH];
    nxtwrd(fms, line, 4, sizeof line); // description
    int first = readMDx(fms, 1);
    int last = readMDx(fms, 0);
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
        FILE* saved = useInput_bracket(fms, fms->wthFile);
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
    double wdir = std::fmod(now[WTH_WDIR], 360.0);
    if (wdir < 0.0) wdir += 360.0;
    fms->Wdir = (float)wdir;
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
