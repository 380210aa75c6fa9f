// The control network: control nodes that each compute one output per time step from
// schedules, sensors, constants, value files and other nodes' outputs; their section reader,
// their linking and ordering, the node functions and the per-step driver.
#ifndef FLOWMIR_CONTROLS_CTRL_H
#define FLOWMIR_CONTROLS_CTRL_H

#include "engine/state.h"

struct CtrlNode;
typedef void (*CtrlFcn)(FlowmirState* fms, CtrlNode* node);

// Type codes: the position of the keyword in ctrl_keywords.
enum CtrlType {
    CT_SNS = 0, CT_SCH, CT_SET, CT_CVF, CT_DVF, CT_LOG, CT_PAS, CT_MOD, CT_HYS, CT_ABS, CT_BIN, CT_DLS, CT_DLX,
    CT_INT, CT_RAV, CT_INV, CT_AND, CT_OR, CT_XOR, CT_ADD, CT_SUB, CT_MUL, CT_DIV, CT_SUM, CT_AVG, CT_MAX, CT_MIN,
    CT_LLS, CT_ULS, CT_LBS, CT_UBS, CT_LLC, CT_ULC, CT_PC1, CT_PI1, CT_SUP, CT_SNS2, CT_EXP, CT_LGN, CT_LG1, CT_POW,
    CT_SQT, CT_PLY, CT_SIN, CT_COS, CT_TAN, CT_MDU, CT_CEL, CT_FLR, CT_SPH, CT_IRS, CT_ARS, CT_NTYPES
};
extern const char* const ctrl_keywords[CT_NTYPES + 1];

struct CtrlNode {
    CtrlNode* next;     // evaluation order
    float out;
    float* in1;
    float* in2;
    void* data;         // the type's parameters and state
    CtrlFcn sigFn;
    int flags;          // sensors: bit 0 offset and scale, bit 1 time constant
    int nr;
    int in1Nr, in2Nr;
    int seqNr;
    short type;
    char name[16];
};

// "Controls" section: fms->nctrl nodes in fms->CtLst (1..nctrl). Day and week schedules are
// read before it.
int ctrl_read(FlowmirState* fms, MemBlock** pool);
void ctrl_free_lists(FlowmirState* fms);

// Network set-up: inputs, sensors and `set` outputs resolved, the evaluation chain
// fms->ctrlSeq and the table of logged nodes fms->ctrlLogs built.
void ctrl_link(FlowmirState* fms);
// Evaluates the network once in sequence; with logFlag a control-log line at listing times.
void ctrl_sim(FlowmirState* fms, int logFlag);
// Schedules, controls and the temperatures they set, for the step ending at t.
void setSchedulesAndControls(FlowmirState* fms, int t, int logFlag);

int haveCtrlNode_byType(const CtrlNode* list, int type);
int haveCtrlNode_usesListTime(FlowmirState* fms);

#endif
