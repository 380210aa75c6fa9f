// Dates (day of a 365-day year) and times (seconds after midnight) and their text forms.
#ifndef FLOWMIR_SUPPORT_TIMECONV_H
#define FLOWMIR_SUPPORT_TIMECONV_H

#include "engine/state.h"

extern const int monthLength[12];
extern const int daysBeforeMonth[12];
extern const char* const monthName[12];

int datecon(const char* text, int* out);
int datxcon(const char* text, int* out);
int timecon(const char* text, int* out);
char* datestr(FlowmirState* fms, int day, char* out);
char* datxstr(FlowmirState* fms, int day, char* out);
char* timestr(FlowmirState* fms, int seconds, char* out);

#endif
