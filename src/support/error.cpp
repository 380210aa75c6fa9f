// Error reporting: every module reports through error(); the log gets a copy with the
// reporting module and line, ERRORs are counted, and a FATAL report ends the run.
#include "support/error.h"

#include <signal.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "engine/run.h"
#include "support/console.h"
#include "support/log.h"

static const char* const severityWord[4] = {"NOTE", "WARNING", "ERROR", "FATAL"};

enum { MESSAGE_MAX = 4093 };  // characters of a message, leading blank included

const char* srcBaseName(const char* path, char* out)
{
    const char* base = path ? path : "";
    for (const char* p = base; *p; p++)
        if (*p == '/' || *p == '\\') base = p + 1;
    const char* dot = strrchr(base, '.');
    size_t n = dot ? (size_t)(dot - base) : strlen(base);
    if (n > 31) n = 31;
    memcpy(out, base, n);
    out[n] = '\0';
    return out;
}

// Shows, logs and remembers one finished message (blank first, newline last).
static int report(FlowmirState* fms, int severity, const char* sourceFile, int line, const char* msg)
{
    const char* word = severityWord[severity];
    if (fms && fms->errorFcn) {
        fms->errorFcn(fms, word, msg, &fms->errorCount);
    } else {
        fprintf(stderr, "%s%s", word, msg);
        fflush(stderr);
    }
    if (fms && fms->logFcn) {
        char base[32];
        char where[96];
        snprintf(where, sizeof where, "  (file %s, line %d)\n", srcBaseName(sourceFile, base), line);
        fms->logFcn(fms->logFile, "%s", word);
        fms->logFcn(fms->logFile, "%s", where);
        fms->logFcn(fms->logFile, "%s", msg);
        logFlush(fms);
    }
    if (fms) snprintf(fms->lastError, sizeof fms->lastError, "%s %s", word, msg);
    if (severity == FATAL) {
        if (fms && fms->finishFcn) fms->finishFcn(fms, 2);
        exit(2);
    }
    return fms ? fms->errorCount : 0;
}

// Negative severities only query (-1) or reset (-2 and below) the count.
static bool countQuery(FlowmirState* fms, int severity, int* result)
{
    if (severity >= 0) return false;
    *result = 0;
    if (!fms) return true;
    if (severity == -1) {
        *result = fms->errorCount;
    } else {
        fms->errorCount = 0;
        fms->lastError[0] = '\0';
    }
    return true;
}

int error(FlowmirState* fms, int severity, const char* sourceFile, int line, const char* text1, ...)
{
    int result;
    if (countQuery(fms, severity, &result)) return result;
    if (severity > FATAL) severity = FATAL;
    if (severity == ERROR && fms) fms->errorCount++;

    char msg[MESSAGE_MAX + 2];
    size_t n = 0;
    msg[n++] = ' ';
    va_list ap;
    va_start(ap, text1);
    for (const char* piece = text1; piece && *piece; piece = va_arg(ap, const char*)) {
        size_t len = strlen(piece);
        if (len > MESSAGE_MAX - n) len = MESSAGE_MAX - n;
        memcpy(msg + n, piece, len);
        n += len;
    }
    va_end(ap);
    msg[n++] = '\n';
    msg[n] = '\0';
    return report(fms, severity, sourceFile, line, msg);
}

int errorf(FlowmirState* fms, int severity, const char* sourceFile, int line, const char* format, ...)
{
    int result;
    if (countQuery(fms, severity, &result)) return result;
    char buffer[4096];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buffer, sizeof buffer, format, ap);
    va_end(ap);
    return error(fms, severity, sourceFile, line, buffer, "");
}

int errorMinimal(FlowmirState* fms, int severity, const char* text)
{
    if (severity > FATAL) severity = FATAL;
    if (severity < 0) severity = 0;
    char msg[4096];
    snprintf(msg, sizeof msg, "%.4094s\n", text ? text : "");
    const char* word = severityWord[severity];
    if (!fms) {
        fputs(msg, stderr);
        fflush(stderr);
    } else {
        if (fms->errorFcn) {
            fms->errorFcn(fms, word, msg, &fms->errorCount);
        } else {
            fprintf(stderr, "%s%s", word, msg);
            fflush(stderr);
        }
        if (fms->logFcn) {
            fms->logFcn(fms->logFile, "%s", word);
            fms->logFcn(fms->logFile, "%s", ": ");
            fms->logFcn(fms->logFile, "%s", msg);
        }
    }
    // A failure like any other: the run ends through finish, which keeps earlier results.
    if (severity == FATAL) {
        if (fms && fms->finishFcn) fms->finishFcn(fms, 2);
        exit(2);
    }
    return 0;
}

// Without a window system the message goes to the standard error stream; the question
// after ten errors needs a dialog, which this engine does not have.
int errorToGui(FlowmirState* fms, const char* caption, const char* text, int* errorCount)
{
    fprintf(stderr, "%s%s", caption, text);
    fflush(stderr);
    if (errorCount && *errorCount >= 10) {
        fms->errorFcn = nullptr;  // the question itself reports through error()
        if (noyes_gui(fms, "Terminate program")) finish(fms, 1);
        *errorCount = 0;
        fms->errorFcn = errorToGui;
    }
    return 0;
}

extern "C" int getLastError(FlowmirState* fms, char* buffer, int length)
{
    if (!fms) return -1;
    if (!buffer) return 1;
    if ((long)strlen(fms->lastError) > length) return 2;
    strcpy(buffer, fms->lastError);
    return 0;
}

const char* fpeMessage(int subcode)
{
    switch (subcode) {
    case 129: return "Invalid floating-point operation";
    case 130: return "Floating-point denormalization";
    case 131: return "Floating-point divide by zero";
    case 132: return "Floating-point overflow";
    case 133: return "Floating-point underflow";
    case 134: return "Floating-point loss of precision";
    case 135: return "Floating-point unemulated";
    case 136: return "Square root of negative value";
    case 138: return "Floating-point stack overflow";
    case 139: return "Floating-point stack underflow";
    case 140: return "Floating-point explicit gen";
    default: return "Unspecified floating-point error";
    }
}

void fpeSignalHandler(int sig, int subcode)
{
    (void)sig;
    error(nullptr, FATAL, __FILE__, __LINE__, fpeMessage(subcode), "");
}

// Linux reports the kind of fault in si_code; map it onto the engine's sub-codes.
static void fpeAction(int sig, siginfo_t* info, void*)
{
    int subcode = 0;
    switch (info ? info->si_code : 0) {
    case FPE_FLTINV: subcode = 129; break;
    case FPE_FLTDIV: subcode = 131; break;
    case FPE_INTDIV: subcode = 131; break;
    case FPE_FLTOVF: subcode = 132; break;
    case FPE_FLTUND: subcode = 133; break;
    case FPE_FLTRES: subcode = 134; break;
    case FPE_FLTSUB: subcode = 138; break;
    default: subcode = 0; break;
    }
    fpeSignalHandler(sig, subcode);
}

void setErrorTraps(void)
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = fpeAction;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGFPE, &sa, nullptr);
}

// Math-library error hook. The C library here never calls it; it is exported for hosts
// that route their own math errors through the engine.
extern "C" int _matherr(struct _exception* e)
{
    if (!e) return 0;
    const char* what;
    int severity = FATAL;
    switch (e->type) {
    case 1: what = "argument domain error"; break;
    case 2: what = "argument singularity"; break;
    case 3: what = "overflow range error"; break;
    case 5: what = "total loss of significance"; break;
    case 6: what = "partial loss of significance"; severity = ERROR; break;
    default: return 0;
    }
    char detail[160];
    snprintf(detail, sizeof detail, ": %s( %g )", e->name ? e->name : "", e->arg1);
    error(nullptr, severity, __FILE__, __LINE__, what, detail, "");
    return 0;
}
