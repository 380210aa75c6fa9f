// Typed field readers on top of the text stream reader.
#ifndef FLOWMIR_SUPPORT_FIELDS_H
#define FLOWMIR_SUPPORT_FIELDS_H

#include <cstdint>

#include "engine/state.h"

int16_t readI2(FlowmirState* fms, int mode);
uint8_t readU1(FlowmirState* fms, int mode);
uint16_t readU2(FlowmirState* fms, int mode);
int32_t readI4(FlowmirState* fms, int mode);
int32_t readIX(FlowmirState* fms, int mode);
float readR4(FlowmirState* fms, int mode);
double readR8(FlowmirState* fms, int mode);
int readMD(FlowmirState* fms, int mode);
int readMDx(FlowmirState* fms, int mode);
int readHMS(FlowmirState* fms, int mode);
int readHMS_strict(FlowmirState* fms, int mode);

// Pure conversions: 0 on success, nonzero on failure.
int longcon(const char* text, int32_t* out);
int intcon(const char* text, int* out);
int shortcon(const char* text, int16_t* out);
int dblcon(const char* text, double* out);
int fltcon(const char* text, float* out);

#endif
