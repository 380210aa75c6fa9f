// The run's log file: created beside the project, held against a second writer.
#include "support/log.h"

#include <cstdarg>
#include <ctime>

#include "support/error.h"
#include "support/paths.h"
#include "support/platform.h"

void getXLogFileName(FlowmirState* fms, const char* drive, const char* dir, const char* name, char* out,
                     int outLength)
{
    pathmerge(fms, out, outLength, drive, dir, name, ".xlog");
}

FILE* openLogFile(FlowmirState* fms, const char* path)
{
    char drive[3], dir[256], name[256], ext[256], full[260];
    pathsplit(fms, path, drive, sizeof drive, dir, sizeof dir, name, sizeof name, ext, sizeof ext);
    pathmerge(fms, full, sizeof full, drive, dir, name, ext);
    FILE* f = platformOpenExclusive(full);
    // Another run holds the name: try name-1 .. name-19.
    for (int i = 1; !f && i < 20; i++) {
        char alt[300];
        snprintf(alt, sizeof alt, "%s-%d", name, i);
        pathmerge(fms, full, sizeof full, drive, dir, alt, ext);
        f = platformOpenExclusive(full);
    }
    fms->logFile = f;
    return f;
}

int closeLogFile(FILE** stream)
{
    int rc = 0;
    if (stream && *stream) rc = fclose(*stream);
    if (stream) *stream = nullptr;
    return rc ? 1 : 0;
}

int printToLog(FILE* stream, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    vfprintf(stream ? stream : stderr, format, ap);
    va_end(ap);
    return stream ? 0 : 1;
}

int printToLogAndFlush(FILE* stream, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    FILE* f = stream ? stream : stderr;
    vfprintf(f, format, ap);
    va_end(ap);
    fflush(f);
    return stream ? 0 : 1;
}

int lognote(FlowmirState* fms, const char* text, const char* sourceFile, int line)
{
    if (!fms || !fms->logFile) return 1;
    char base[32];
    fprintf(fms->logFile, " %s (file %s, line %d)\n", text, srcBaseName(sourceFile, base), line);
    fflush(fms->logFile);
    return 0;
}

float cputime(float start)
{
    return (float)(platformCpuSeconds() - start);
}

void logFlush(FlowmirState* fms)
{
    if (fms && fms->logFile) fflush(fms->logFile);
}
