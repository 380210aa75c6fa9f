// Dates are days of a 365-day year (no leap day); times are whole seconds after midnight,
// 0 to 86400 (86400 is 24:00:00, the end of the day).
#include "support/timeconv.h"

#include <cstdio>
#include <cstring>

#include "support/error.h"

const int monthLength[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const int daysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
const char* const monthName[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

static inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

static inline char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

static inline char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

// Month-name date: letters give the month name in any case, one or two digits the day, blanks are
// ignored; letters and digits may come in either order (Feb03, 3feb, feb 3).
static bool monthNameDate(const char* text, int* out)
{
    char name[4];
    int letters = 0, digits = 0, day = 0;
    for (const char* p = text; *p; p++) {
        char c = *p;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            if (letters == 3) return false;
            name[letters] = letters == 0 ? upper(c) : lower(c);
            letters++;
        } else if (isDigit(c)) {
            if (digits == 2) return false;
            day = day * 10 + (c - '0');
            digits++;
        } else if (c != ' ') {
            return false;
        }
    }
    name[letters] = '\0';
    for (int m = 0; m < 12; m++) {
        if (strcmp(name, monthName[m]) == 0) {
            if (day < 1 || day > monthLength[m]) return false;
            *out = daysBeforeMonth[m] + day;
            return true;
        }
    }
    return false;
}

int datecon(const char* text, int* out)
{
    if (monthNameDate(text, out)) return 0;
    *out = 1;
    return 1;
}

// Month/day date: digits, one "/", digits.
int datxcon(const char* text, int* out)
{
    int month = 0, day = 0;
    bool slash = false;
    for (const char* p = text; *p; p++) {
        if (isDigit(*p)) {
            int& v = slash ? day : month;
            if (v < 1000) v = v * 10 + (*p - '0');  // large enough to fail, never to overflow
        } else if (*p == '/' && !slash) {
            slash = true;
        } else {
            *out = 0;
            return 1;
        }
    }
    if (month < 1 || month > 12 || day < 1 || day > monthLength[month - 1]) {
        *out = 0;
        return 1;
    }
    *out = daysBeforeMonth[month - 1] + day;
    return 0;
}

// H:MM:SS or HH:MM:SS; characters after the seconds are ignored. A total above 86400 is stored
// and still counts as failure.
int timecon(const char* text, int* out)
{
    const char* p = text;
    if (!isDigit(p[0])) return 1;
    int hour;
    if (p[1] == ':') {
        hour = p[0] - '0';
        p += 2;
    } else {
        if (!isDigit(p[1])) return 1;
        hour = (p[0] - '0') * 10 + (p[1] - '0');
        if (hour > 24 || p[2] != ':') return 1;
        p += 3;
    }
    if (p[0] < '0' || p[0] > '5' || !isDigit(p[1]) || p[2] != ':' || p[3] < '0' || p[3] > '5' ||
        !isDigit(p[4]))
        return 1;
    int minutes = (p[0] - '0') * 10 + (p[1] - '0');
    int seconds = (p[3] - '0') * 10 + (p[4] - '0');
    int total = hour * 3600 + minutes * 60 + seconds;
    *out = total;
    return total > 86400;
}

// Month of a day: the first whose cumulative end is not below it; later days fall in December.
static int monthOfDay(int day)
{
    int m = 0;
    while (m < 11 && day > daysBeforeMonth[m] + monthLength[m]) m++;
    return m;
}

char* datestr(FlowmirState*, int day, char* out)
{
    int m = monthOfDay(day);
    sprintf(out, "%s%02d", monthName[m], day - daysBeforeMonth[m]);
    return out;
}

char* datxstr(FlowmirState*, int day, char* out)
{
    int m = monthOfDay(day);
    sprintf(out, "%d/%d", m + 1, day - daysBeforeMonth[m]);
    return out;
}

char* timestr(FlowmirState* fms, int seconds, char* out)
{
    if (seconds < 0 || seconds > 86400) {
        out[0] = '\0';
        errorf(fms, ERROR, __FILE__, __LINE__, "invalid time: %d", seconds);
        return nullptr;
    }
    sprintf(out, "%02d:%02d:%02d", seconds / 3600, seconds % 3600 / 60, seconds % 60);
    return out;
}
