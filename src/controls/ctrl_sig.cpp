// Control node functions without memory: copies, scaling, logic, arithmetic, switches, lists
// and mathematical functions. Comparisons are on the single-precision values; mathematical
// functions are evaluated in double precision.
#include <cmath>

#include "controls/ctrl_data.h"
#include "controls/ctrl_sig.h"
#include "support/error.h"

static const double kDegree = 0.0174532925199433;

const CtrlFcn ctrl_functions[CT_NTYPES] = {
    sns_sig,    sch_sig,    set_sig,    sch_sig,   sch_sig,   log_sig,   sch_sig,    log_sig,   hys_sig,
    abs_sig,    bin_sig,    dls_sig,    dlx_sig,   int_sig,   rav_sig,   inv_sig,    and_sig,   or_sig,
    xor_sig,    add_sig,    sub_sig,    mul_sig,   div_sig,   sum_sig,   avg_sig,    max_sig,   min_sig,
    lls_sig,    uls_sig,    lbs_sig,    ubs_sig,   llc_sig,   ulc_sig,   pc_sig,     pic_sig,   set_sig,
    nullptr,    exp_sig,    ln_sig,     log10_sig, pow_sig,   sqrt_sig,  poly_sig,   sin_sig,   cos_sig,
    tan_sig,    fmod_sig,   ceil_sig,   floor_sig, sch_sig,   intrts_sig, avgrts_sig,
};

// A value-file node keeps its value until its file connects it.
void sch_sig(FlowmirState*, CtrlNode* node)
{
    if (node->in1) node->out = *node->in1;
}

void set_sig(FlowmirState*, CtrlNode*) {}

void log_sig(FlowmirState*, CtrlNode* node)
{
    const ModData* m = static_cast<const ModData*>(node->data);
    node->out = (*node->in1 - m->offset) * m->scale;
}

void abs_sig(FlowmirState*, CtrlNode* node)
{
    node->out = std::fabs(*node->in1);
}

void bin_sig(FlowmirState*, CtrlNode* node)
{
    node->out = *node->in1 > 0.0f ? 1.0f : 0.0f;
}

void inv_sig(FlowmirState*, CtrlNode* node)
{
    node->out = 1.0f - *node->in1;
}

void and_sig(FlowmirState*, CtrlNode* node)
{
    node->out = (*node->in1 > 0.0f && *node->in2 > 0.0f) ? 1.0f : 0.0f;
}

void or_sig(FlowmirState*, CtrlNode* node)
{
    node->out = (*node->in1 > 0.0f || *node->in2 > 0.0f) ? 1.0f : 0.0f;
}

void xor_sig(FlowmirState*, CtrlNode* node)
{
    node->out = ((*node->in1 > 0.0f) != (*node->in2 > 0.0f)) ? 1.0f : 0.0f;
}

void add_sig(FlowmirState*, CtrlNode* node)
{
    node->out = *node->in1 + *node->in2;
}

void sub_sig(FlowmirState*, CtrlNode* node)
{
    node->out = *node->in1 - *node->in2;
}

void mul_sig(FlowmirState*, CtrlNode* node)
{
    node->out = *node->in1 * *node->in2;
}

void div_sig(FlowmirState* fms, CtrlNode* node)
{
    if (*node->in2 == 0.0f) {
        errorf(fms, FATAL, __FILE__, __LINE__, "Divide by zero; control: %d", node->nr);
        return;
    }
    node->out = *node->in1 / *node->in2;
}

void sum_sig(FlowmirState*, CtrlNode* node)
{
    const ListData* l = static_cast<const ListData*>(node->data);
    double s = 0.0;
    for (int i = 0; i < l->n; i++) s += *l->vals[i];
    node->out = (float)s;
}

// An empty list has no mean: the output keeps its value.
void avg_sig(FlowmirState*, CtrlNode* node)
{
    const ListData* l = static_cast<const ListData*>(node->data);
    if (l->n <= 0) return;
    double s = 0.0;
    for (int i = 0; i < l->n; i++) s += *l->vals[i];
    node->out = (float)(s / l->n);
}

void max_sig(FlowmirState*, CtrlNode* node)
{
    const ListData* l = static_cast<const ListData*>(node->data);
    float v = l->n > 0 ? *l->vals[0] : 0.0f;
    for (int i = 1; i < l->n; i++)
        if (*l->vals[i] > v) v = *l->vals[i];
    node->out = v;
}

void min_sig(FlowmirState*, CtrlNode* node)
{
    const ListData* l = static_cast<const ListData*>(node->data);
    float v = l->n > 0 ? *l->vals[0] : 0.0f;
    for (int i = 1; i < l->n; i++)
        if (*l->vals[i] < v) v = *l->vals[i];
    node->out = v;
}

void lls_sig(FlowmirState*, CtrlNode* node)
{
    node->out = *node->in2 > *node->in1 ? 1.0f : 0.0f;
}

void uls_sig(FlowmirState*, CtrlNode* node)
{
    node->out = *node->in1 > *node->in2 ? 1.0f : 0.0f;
}

// Switches on beyond the band above the edge, off below the edge.
void lbs_sig(FlowmirState*, CtrlNode* node)
{
    float band = static_cast<const ConstData*>(node->data)->value;
    float x = *node->in1, edge = *node->in2;
    if (node->out == 0.0f) {
        if (x > edge + band) node->out = 1.0f;
    } else if (edge > x) {
        node->out = 0.0f;
    }
}

// Switches on beyond the band below the edge, off above the edge.
void ubs_sig(FlowmirState*, CtrlNode* node)
{
    float band = static_cast<const ConstData*>(node->data)->value;
    float x = *node->in1, edge = *node->in2;
    if (node->out == 0.0f) {
        if (x < edge - band) node->out = 1.0f;
    } else if (x > edge) {
        node->out = 0.0f;
    }
}

void llc_sig(FlowmirState*, CtrlNode* node)
{
    float d = *node->in2 - *node->in1;
    node->out = d > 0.0f ? d : 0.0f;
}

void ulc_sig(FlowmirState*, CtrlNode* node)
{
    float d = *node->in1 - *node->in2;
    node->out = d > 0.0f ? d : 0.0f;
}

void pc_sig(FlowmirState*, CtrlNode* node)
{
    float kp = static_cast<const ConstData*>(node->data)->value;
    float x = *node->in1;
    if (x <= 0.0f) {
        node->out = 0.0f;
        return;
    }
    float u = kp * x;
    node->out = u < 1.0f ? u : 1.0f;
}

void exp_sig(FlowmirState*, CtrlNode* node)
{
    node->out = (float)std::exp((double)*node->in1);
}

void ln_sig(FlowmirState* fms, CtrlNode* node)
{
    if (*node->in1 <= 0.0f) {
        errorf(fms, FATAL, __FILE__, __LINE__, "Input <= 0; control: %d", node->nr);
        return;
    }
    node->out = (float)std::log((double)*node->in1);
}

void log10_sig(FlowmirState* fms, CtrlNode* node)
{
    if (*node->in1 <= 0.0f) {
        errorf(fms, FATAL, __FILE__, __LINE__, "Input <= 0; control: %d", node->nr);
        return;
    }
    node->out = (float)std::log10((double)*node->in1);
}

void pow_sig(FlowmirState*, CtrlNode* node)
{
    node->out = (float)std::pow((double)*node->in1, (double)*node->in2);
}

void sqrt_sig(FlowmirState* fms, CtrlNode* node)
{
    if (*node->in1 < 0.0f) {
        errorf(fms, FATAL, __FILE__, __LINE__, "Square root of negative number; control: %d", node->nr);
        return;
    }
    node->out = (float)std::sqrt((double)*node->in1);
}

void poly_sig(FlowmirState*, CtrlNode* node)
{
    const PolyData* p = static_cast<const PolyData*>(node->data);
    if (!p->a) {
        node->out = 0.0f;
        return;
    }
    double x = *node->in1, y = p->a[p->n];
    for (int i = p->n - 1; i >= 0; i--) y = y * x + p->a[i];
    node->out = (float)y;
}

void sin_sig(FlowmirState*, CtrlNode* node)
{
    node->out = (float)std::sin(*node->in1 * kDegree);
}

void cos_sig(FlowmirState*, CtrlNode* node)
{
    node->out = (float)std::cos(*node->in1 * kDegree);
}

void tan_sig(FlowmirState*, CtrlNode* node)
{
    node->out = (float)std::tan(*node->in1 * kDegree);
}

void fmod_sig(FlowmirState* fms, CtrlNode* node)
{
    if (*node->in2 == 0.0f) {
        errorf(fms, FATAL, __FILE__, __LINE__, "Divide by zero; control: %d", node->nr);
        return;
    }
    node->out = (float)std::fmod((double)*node->in1, (double)*node->in2);
}

void ceil_sig(FlowmirState*, CtrlNode* node)
{
    node->out = (float)std::ceil((double)*node->in1);
}

void floor_sig(FlowmirState*, CtrlNode* node)
{
    node->out = (float)std::floor((double)*node->in1);
}
