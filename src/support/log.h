// The run's log file beside the project.
#ifndef FLOWMIR_SUPPORT_LOG_H
#define FLOWMIR_SUPPORT_LOG_H

#include "engine/state.h"

FILE* openLogFile(FlowmirState* fms, const char* path);
int closeLogFile(FILE** stream);
void getXLogFileName(FlowmirState* fms, const char* drive, const char* dir, const char* name, char* out,
                     int outLength);
int printToLog(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int printToLogAndFlush(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int lognote(FlowmirState* fms, const char* text, const char* sourceFile, int line);
float cputime(float start);

// Log through the state's log function, if one is installed.
#define LOG(fms, ...) ((fms)->logFcn ? (void)(fms)->logFcn((fms)->logFile, __VA_ARGS__) : (void)0)
void logFlush(FlowmirState* fms);

#endif
