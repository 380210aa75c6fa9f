// The case file's line reader: label lines thrown away, value lines read as formatted input,
// a line longer than the buffer refused rather than split (a split line shifts every later
// value by one line).
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "cfd/cfd.h"
#include "support/error.h"

static int get(CfdRun* r)
{
    int c = fgetc(r->caseFp);
    if (c == '\n') r->line++;
    return c;
}

static void unget(CfdRun* r, int c)
{
    if (c == EOF) return;
    if (c == '\n') r->line--;
    ungetc(c, r->caseFp);
}

[[noreturn]] static void expected(FlowmirState* fms, const char* what)
{
    errorf(fms, FATAL, __FILE__, __LINE__, "CFD input file error: %s expected at line %d", what,
           fms->cfdRun->line);
    abort();
}

// Reads the rest of the line into out (line end dropped); FATAL when it does not fit.
// Returns 0 at the end of the file with nothing read.
static int readLine(FlowmirState* fms, char* out, size_t size)
{
    CfdRun* r = fms->cfdRun;
    size_t n = 0;
    int c = get(r);
    if (c == EOF) {
        out[0] = '\0';
        return 0;
    }
    for (; c != EOF && c != '\n'; c = get(r)) {
        if (n + 1 >= size) {
            out[n] = '\0';
            errorf(fms, FATAL, __FILE__, __LINE__, "Buffer overflow: %s", out);
        }
        out[n++] = (char)c;
    }
    if (n > 0 && out[n - 1] == '\r') n--;
    out[n] = '\0';
    return 1;
}

void cfd_skip(FlowmirState* fms, int n)
{
    char buf[CFD_LINE];
    for (int i = 0; i < n; i++)
        readLine(fms, buf, sizeof buf);
}

void cfd_line(FlowmirState* fms, char* out, size_t size, const char* what)
{
    char buf[CFD_LINE];
    int line = fms->cfdRun->line;
    if (!readLine(fms, buf, sizeof buf)) expected(fms, what);
    if (strlen(buf) >= size)
        errorf(fms, FATAL, __FILE__, __LINE__,
               "CFD input file error: %s longer than %d characters at line %d", what, (int)size - 1, line);
    snprintf(out, size, "%s", buf);
}

void cfd_title(FlowmirState* fms, char* out, size_t size)
{
    readLine(fms, out, size);
}

// Skips white space, line ends included, as formatted input does before a number.
static int skipSpace(CfdRun* r)
{
    int c;
    do
        c = get(r);
    while (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f');
    return c;
}

static int digits(CfdRun* r, char* buf, size_t& n, size_t size, int c)
{
    while (isdigit(c) && n + 1 < size) {
        buf[n++] = (char)c;
        c = get(r);
    }
    return c;
}

// The characters of a number, "" when none starts here.
static void token(CfdRun* r, char* buf, size_t size, bool real)
{
    size_t n = 0;
    int c = skipSpace(r);
    if (c == '+' || c == '-') {
        buf[n++] = (char)c;
        c = get(r);
    }
    size_t start = n;
    c = digits(r, buf, n, size, c);
    if (real && c == '.') {
        buf[n++] = '.';
        c = digits(r, buf, n, size, get(r));
    }
    if (real && n > start && (c == 'e' || c == 'E')) {
        buf[n++] = (char)c;
        c = get(r);
        if (c == '+' || c == '-') {
            buf[n++] = (char)c;
            c = get(r);
        }
        c = digits(r, buf, n, size, c);
    }
    unget(r, c);
    buf[n] = '\0';
    if (n == start || (n == start + 1 && buf[start] == '.')) buf[0] = '\0';
}

int cfd_try_int(FlowmirState* fms, int* value)
{
    char buf[64];
    token(fms->cfdRun, buf, sizeof buf, false);
    if (!buf[0]) return 0;
    *value = atoi(buf);
    return 1;
}

int cfd_int(FlowmirState* fms, const char* what)
{
    int v = 0;
    if (!cfd_try_int(fms, &v)) expected(fms, what);
    return v;
}

double cfd_real(FlowmirState* fms, const char* what)
{
    char buf[128];
    token(fms->cfdRun, buf, sizeof buf, true);
    if (!buf[0]) expected(fms, what);
    return strtod(buf, nullptr);
}

int cfd_opt_comma(FlowmirState* fms)
{
    CfdRun* r = fms->cfdRun;
    int c;
    do
        c = get(r);
    while (c == ' ' || c == '\t');
    if (c == ',') return 1;
    unget(r, c);
    return 0;
}

void cfd_comma(FlowmirState* fms, const char* what)
{
    if (!cfd_opt_comma(fms)) expected(fms, what);
}

int cfd_char(FlowmirState* fms, const char* set, const char* what)
{
    CfdRun* r = fms->cfdRun;
    for (int c = get(r); c != EOF; c = get(r))
        if (c != '\0' && strchr(set, c)) return c;
    expected(fms, what);
}
