// The control node functions: each computes its node's `out` from its inputs and state.
#ifndef FLOWMIR_CONTROLS_CTRL_SIG_H
#define FLOWMIR_CONTROLS_CTRL_SIG_H

#include "controls/ctrl.h"

// By type code; none for the unusable code 36.
extern const CtrlFcn ctrl_functions[CT_NTYPES];

void sns_sig(FlowmirState* fms, CtrlNode* node);
void sch_sig(FlowmirState* fms, CtrlNode* node);  // also cvf, dvf, pas, sph: out = in1
void set_sig(FlowmirState* fms, CtrlNode* node);  // also sup: nothing
void log_sig(FlowmirState* fms, CtrlNode* node);  // also mod: (in1 - offset) * scale
void hys_sig(FlowmirState* fms, CtrlNode* node);
void abs_sig(FlowmirState* fms, CtrlNode* node);
void bin_sig(FlowmirState* fms, CtrlNode* node);
void dls_sig(FlowmirState* fms, CtrlNode* node);
void dlx_sig(FlowmirState* fms, CtrlNode* node);
void int_sig(FlowmirState* fms, CtrlNode* node);
void rav_sig(FlowmirState* fms, CtrlNode* node);
void inv_sig(FlowmirState* fms, CtrlNode* node);
void and_sig(FlowmirState* fms, CtrlNode* node);
void or_sig(FlowmirState* fms, CtrlNode* node);
void xor_sig(FlowmirState* fms, CtrlNode* node);
void add_sig(FlowmirState* fms, CtrlNode* node);
void sub_sig(FlowmirState* fms, CtrlNode* node);
void mul_sig(FlowmirState* fms, CtrlNode* node);
void div_sig(FlowmirState* fms, CtrlNode* node);
void sum_sig(FlowmirState* fms, CtrlNode* node);
void avg_sig(FlowmirState* fms, CtrlNode* node);
void max_sig(FlowmirState* fms, CtrlNode* node);
void min_sig(FlowmirState* fms, CtrlNode* node);
void lls_sig(FlowmirState* fms, CtrlNode* node);
void uls_sig(FlowmirState* fms, CtrlNode* node);
void lbs_sig(FlowmirState* fms, CtrlNode* node);
void ubs_sig(FlowmirState* fms, CtrlNode* node);
void llc_sig(FlowmirState* fms, CtrlNode* node);
void ulc_sig(FlowmirState* fms, CtrlNode* node);
void pc_sig(FlowmirState* fms, CtrlNode* node);
void pic_sig(FlowmirState* fms, CtrlNode* node);
void exp_sig(FlowmirState* fms, CtrlNode* node);
void ln_sig(FlowmirState* fms, CtrlNode* node);
void log10_sig(FlowmirState* fms, CtrlNode* node);
void pow_sig(FlowmirState* fms, CtrlNode* node);
void sqrt_sig(FlowmirState* fms, CtrlNode* node);
void poly_sig(FlowmirState* fms, CtrlNode* node);
void sin_sig(FlowmirState* fms, CtrlNode* node);
void cos_sig(FlowmirState* fms, CtrlNode* node);
void tan_sig(FlowmirState* fms, CtrlNode* node);
void fmod_sig(FlowmirState* fms, CtrlNode* node);
void ceil_sig(FlowmirState* fms, CtrlNode* node);
void floor_sig(FlowmirState* fms, CtrlNode* node);
void intrts_sig(FlowmirState* fms, CtrlNode* node);
void avgrts_sig(FlowmirState* fms, CtrlNode* node);

// stepStartTime is a listing time (never with a listing step of 0).
int ctrl_isListTime(const FlowmirState* fms);

#endif
