// Console questions and keyboard polling.
#ifndef FLOWMIR_SUPPORT_CONSOLE_H
#define FLOWMIR_SUPPORT_CONSOLE_H

#include "engine/state.h"

char* Getstr(FlowmirState* fms, const char* prompt, char* buffer, int size);
void Pause(FlowmirState* fms);
int getkey_nowait(void);
int getkey_wait(FlowmirState* fms);
int noyes_console(FlowmirState* fms, const char* question);
int noyes_gui(FlowmirState* fms, const char* question);

#endif
