// Error reporting: severity words, counting, the log copy and the fatal end.
#ifndef FLOWMIR_SUPPORT_ERROR_H
#define FLOWMIR_SUPPORT_ERROR_H

#include "engine/state.h"

enum { NOTE = 0, WARNING = 1, ERROR = 2, FATAL = 3 };

// Pieces of text closed by an empty string: error(fms, ERROR, __FILE__, __LINE__, "a", b, "").
int error(FlowmirState* fms, int severity, const char* sourceFile, int line, const char* text1, ...);
int errorf(FlowmirState* fms, int severity, const char* sourceFile, int line, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
int errorMinimal(FlowmirState* fms, int severity, const char* text);
int errorToGui(FlowmirState* fms, const char* caption, const char* text, int* errorCount);
extern "C" int getLastError(FlowmirState* fms, char* buffer, int length);
void setErrorTraps(void);
void fpeSignalHandler(int sig, int subcode);
// Message of a floating-point sub-code (129..140).
const char* fpeMessage(int subcode);

// The math-library error record; glibc never calls the hook, hosts and tests may.
struct _exception {
    int type;
    char* name;
    double arg1;
    double arg2;
    double retval;
};
extern "C" int _matherr(struct _exception* e);

// Base name of a source path without directory and extension, at most 31 characters.
const char* srcBaseName(const char* path, char* out);

#endif
