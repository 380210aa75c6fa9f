// Typed field readers: one word from the text stream reader, converted and checked, with a fixed
// message for a bad field. The conversions themselves are pure and report nothing.
#include "support/fields.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "support/error.h"
#include "support/nxt.h"
#include "support/timeconv.h"

enum { FIELD_LENGTH = 4096 };

static const double FLOAT_LIMIT = 3.4028234663852886e38;

static inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

static inline bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

static inline bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Value of a digit in bases up to 16, or 16 for anything else.
static inline int digitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 16;
}

// Integer with automatic base (decimal, 0x hexadecimal, leading 0 octal); the whole text must be
// consumed and the value must fit 32 bits. Empty text is 0. Written out rather than left to
// strtol so that no library accepts further prefixes or depends on the width of long.
int longcon(const char* text, int32_t* out)
{
    const char* p = text;
    while (isSpace(*p)) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digitValue(p[2]) < 16) {
        base = 16;
        p += 2;
    } else if (p[0] == '0') {
        base = 8;
    }
    const uint64_t limit = negative ? 2147483648u : 2147483647u;
    uint64_t value = 0;
    const char* digits = p;
    for (; *p; p++) {
        int d = digitValue(*p);
        if (d >= base) break;
        value = value * base + d;
        if (value > limit) break;
    }
    if (*p || (p == digits && *text)) {  // leftovers, overflow, or no digits in a nonempty text
        *out = 0;
        return 1;
    }
    *out = negative ? (int32_t)(-(int64_t)value) : (int32_t)value;
    return 0;
}

int intcon(const char* text, int* out)
{
    int32_t v;
    if (longcon(text, &v) || v < -32768 || v > 32767) {
        *out = 0;
        return 1;
    }
    *out = v;
    return 0;
}

int shortcon(const char* text, int16_t* out)
{
    int v;
    int status = intcon(text, &v);
    *out = (int16_t)v;
    return status;
}

// Real number; the whole text must be consumed. Infinities, NaN and values beyond the double
// range are refused: they would only poison the solution later.
int dblcon(const char* text, double* out)
{
    char* end;
    double v = strtod(text, &end);
    if (*end || !std::isfinite(v)) {
        *out = 0.0;
        return 1;
    }
    *out = v;
    return 0;
}

int fltcon(const char* text, float* out)
{
    double v;
    if (dblcon(text, &v) || std::fabs(v) > FLOAT_LIMIT) {
        *out = 0.0f;
        return 1;
    }
    *out = (float)v;
    return 0;
}

static void readField(FlowmirState* fms, char* word, int mode)
{
    nxtwrd(fms, word, mode, FIELD_LENGTH);
}

// A project check looks at each converted word; the normal run only tests the pointer.
static inline void fieldRead(FlowmirState* fms, const char* word, int mode, int integer)
{
    if (fms->nxtTrack && fms->nxtTrack->fieldRead) fms->nxtTrack->fieldRead(fms, word, mode, integer);
}

// An integer field checked against [lo, hi]; a bad one is reported and the value (0 when not a
// number) is returned for the caller to cut to its width.
static int32_t readRanged(FlowmirState* fms, int mode, int32_t lo, int32_t hi, const char* message)
{
    char word[FIELD_LENGTH];
    readField(fms, word, mode);
    fieldRead(fms, word, mode, 1);
    int32_t v;
    if (longcon(word, &v) || v < lo || v > hi) error(fms, ERROR, __FILE__, __LINE__, message, word, "");
    return v;
}

int16_t readI2(FlowmirState* fms, int mode)
{
    return (int16_t)readRanged(fms, mode, -32768, 32767, "Bad short integer: ");
}

uint8_t readU1(FlowmirState* fms, int mode)
{
    return (uint8_t)readRanged(fms, mode, 0, 255, "Bad 8-bit unsigned integer: ");
}

uint16_t readU2(FlowmirState* fms, int mode)
{
    return (uint16_t)readRanged(fms, mode, 0, 65535, "Bad short unsigned integer: ");
}

int32_t readI4(FlowmirState* fms, int mode)
{
    return readRanged(fms, mode, INT32_MIN, INT32_MAX, "Bad long integer: ");
}

int32_t readIX(FlowmirState* fms, int mode)
{
    return readRanged(fms, mode, INT32_MIN, INT32_MAX, "Bad integer: ");
}

// A value beyond the 32-bit range is reported and returned as the infinity it converts to.
float readR4(FlowmirState* fms, int mode)
{
    char word[FIELD_LENGTH];
    readField(fms, word, mode);
    fieldRead(fms, word, mode, 0);
    double v;
    if (dblcon(word, &v)) {
        error(fms, ERROR, __FILE__, __LINE__, "Bad float value: ", word, "");
        return 0.0f;
    }
    if (std::fabs(v) > FLOAT_LIMIT) {
        error(fms, ERROR, __FILE__, __LINE__, "Bad float value: ", word, "");
        return v > 0 ? HUGE_VALF : -HUGE_VALF;
    }
    return (float)v;
}

double readR8(FlowmirState* fms, int mode)
{
    char word[FIELD_LENGTH];
    readField(fms, word, mode);
    fieldRead(fms, word, mode, 0);
    double v;
    if (dblcon(word, &v)) error(fms, ERROR, __FILE__, __LINE__, word, " is not a (valid) number", "");
    return v;
}

// A month-name date (Jan01, feb 3) when the third character is a letter, else a day number.
int readMD(FlowmirState* fms, int mode)
{
    char word[FIELD_LENGTH];
    readField(fms, word, mode);
    bool named = strlen(word) >= 3 && isLetter(word[2]);
    fieldRead(fms, word, mode, !named);
    if (named) {
        int day;
        if (datecon(word, &day)) error(fms, ERROR, __FILE__, __LINE__, word, " is not a valid date", "");
        return day;
    }
    int32_t day;
    if (longcon(word, &day) || day < 1 || day > 365)
        error(fms, ERROR, __FILE__, __LINE__, word, " is not a valid date", "");
    return day;
}

// A month/day date; -1 when the input has no further word.
int readMDx(FlowmirState* fms, int mode)
{
    char word[FIELD_LENGTH];
    readField(fms, word, mode);
    fieldRead(fms, word, mode, 0);
    if (word[0] == '\0') return -1;
    int day;
    if (datxcon(word, &day)) error(fms, ERROR, __FILE__, __LINE__, word, " is not a valid mm/dd date", "");
    return day;
}

// A clock time when the second or third character is ":", else a count of seconds.
// An unparsable clock time gives 0.
int readHMS(FlowmirState* fms, int mode)
{
    char word[FIELD_LENGTH];
    readField(fms, word, mode);
    size_t n = strlen(word);
    bool clock = (n > 1 && word[1] == ':') || (n > 2 && word[2] == ':');
    fieldRead(fms, word, mode, !clock);
    if (clock) {
        int t = 0;
        if (timecon(word, &t)) error(fms, ERROR, __FILE__, __LINE__, word, " is not a valid time", "");
        return t;
    }
    int32_t t;
    if (longcon(word, &t) || t < 0 || t > 86400)
        error(fms, ERROR, __FILE__, __LINE__, word, " is not a valid time", "");
    return t;
}

// A clock time only: -2 when the input has no further word, -1 after a bad time.
int readHMS_strict(FlowmirState* fms, int mode)
{
    char word[FIELD_LENGTH];
    readField(fms, word, mode);
    fieldRead(fms, word, mode, 0);
    if (word[0] == '\0') return -2;
    int t;
    if (timecon(word, &t)) {
        error(fms, ERROR, __FILE__, __LINE__, word, " is not a valid time", "");
        return -1;
    }
    return t;
}
