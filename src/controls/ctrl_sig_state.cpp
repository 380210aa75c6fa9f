// Control node functions with memory: sensors with a time constant, hysteresis, shaped and
// exponential changes, integrals, the moving average and the PI controller. Their state
// carries over from step to step; the first evaluation (at initialisation) sets it up.
#include <cmath>

#include "airflow/pool_array.h"
#include "controls/ctrl_data.h"
#include "controls/ctrl_sig.h"
#include "network/airnet.h"
#include "support/error.h"

int ctrl_isListTime(const FlowmirState* fms)
{
    return fms->listStep > 0 && fms->stepStartTime % fms->listStep == 0;
}

void sns_sig(FlowmirState* fms, CtrlNode* node)
{
    SensorData* s = static_cast<SensorData*>(node->data);
    float v;
    if (node->in1)
        v = *node->in1;
    else if (s->flow)
        v = (float)(s->flow->Flow[0] + s->flow->Flow[1]);
    else
        v = s->src ? (float)*s->src : 0.0f;
    if (node->flags & SNS_OFFSET_SCALE) v = (v - s->offset) * s->scale;
    if (!(node->flags & SNS_TIME_CONSTANT)) {
        node->out = v;
        return;
    }
    if (!s->started) {
        if (!(s->tau > 0.0f)) errorf(fms, FATAL, __FILE__, __LINE__, "Invalid time constant; sensor %d", node->nr);
        s->decay = (float)std::exp(-(double)fms->dt / s->tau);
        s->started = 1;
        node->out = v;
        return;
    }
    node->out = (node->out - v) * s->decay + v;
}

// Follows a falling input at once and a rising one only beyond the slack.
void hys_sig(FlowmirState*, CtrlNode* node)
{
    HysData* h = static_cast<HysData*>(node->data);
    float x = *node->in1;
    if (x < 0.0f) x = 0.0f;
    if (x > 1.0f) x = 1.0f;
    float pos;
    if (x - h->last > h->slack)
        pos = x - h->slack;
    else if (x < h->last)
        pos = x;
    else
        pos = h->last;
    h->last = pos;
    node->out = pos * h->gain;
}

// The output moves from its old value to a changed input along the increase schedule (0 to 1)
// or the decrease schedule (1 to 0), by the time since the change.
void dls_sig(FlowmirState* fms, CtrlNode* node)
{
    DlsData* d = static_cast<DlsData*>(node->data);
    float x = *node->in1;
    double half = 0.5 * fms->dt;
    if (!d->started) {
        d->lastIn = node->out = x;
        d->started = 1;
    }
    double tau;
    if (x != d->lastIn) {
        d->lastIn = x;
        d->delta = x - node->out;
        d->shape = d->delta >= 0.0f ? d->up : d->down;
        d->t0 = fms->stepEndTime - half;
        tau = half;
        if (d->delta > 0.0f)
            node->out = x - (1.0f - sch_val(tau, d->shape)) * d->delta;
        else
            node->out = x - sch_val(tau, d->shape) * d->delta;
        return;
    }
    if (node->out == x) return;
    tau = fms->stepEndTime - d->t0;
    if (tau < 0.0) {  // past midnight
        d->t0 -= 86400.0;
        tau = fms->stepEndTime - d->t0;
    }
    if (x > node->out)
        node->out = x - (1.0f - sch_val(tau, d->shape)) * d->delta;
    else
        node->out = x - sch_val(tau, d->shape) * d->delta;
}

// e^-0.5: the step in which the input changes counts half.
static const float kHalfStep = 0.6065306f;

void dlx_sig(FlowmirState* fms, CtrlNode* node)
{
    DlxData* d = static_cast<DlxData*>(node->data);
    float x = *node->in1;
    if (!d->started) {
        d->lastIn = node->out = x;
        d->factor = 0.0f;
        d->started = 1;
    }
    if (x == d->lastIn) {
        node->out = node->out - (node->out - x) * d->factor;
        return;
    }
    d->lastIn = x;
    if (x == node->out) {
        d->factor = 0.0f;
        return;
    }
    // A time constant of 0 follows at once.
    float tau = x > node->out ? d->tauUp : d->tauDown;
    double e = tau > 0.0f ? std::exp(-(double)fms->dt / tau) : 0.0;
    d->factor = (float)(1.0 - e);
    node->out = node->out - (node->out - x) * kHalfStep * d->factor;
}

// Integrates while the enable input is positive, holds while it is 0 (closing the last step
// after a positive one) and resets while it is negative.
void int_sig(FlowmirState* fms, CtrlNode* node)
{
    IntData* d = static_cast<IntData*>(node->data);
    if (!d->started) {
        d->total = 0.0;
        node->out = 0.0f;
        d->started = 1;
        return;
    }
    float x = *node->in1, g = *node->in2;
    if (g > 0.0f)
        d->total += 0.5 * fms->dt * ((double)x + d->lastIn);
    else if (g < 0.0f)
        d->total = 0.0;
    else if (d->lastCtl > 0.0f)
        d->total += 0.5 * fms->dt * d->lastIn;
    d->lastIn = x;
    d->lastCtl = g;
    node->out = (float)d->total;
}

static void listInterval(FlowmirState* fms, CtrlNode* node, IrsData* d)
{
    float x = *node->in1;
    if (d->trapezoid) {
        d->total += 0.5 * ((double)x + d->lastIn) * fms->dt;
        d->lastIn = x;
    } else {
        d->total += (double)x * fms->dt;
    }
    d->elapsed += fms->dt;
}

// The next listing interval starts after the step that begins on a listing time.
static void listIntervalRestart(FlowmirState* fms, IrsData* d)
{
    if (!ctrl_isListTime(fms)) return;
    d->total = 0.0;
    d->elapsed = 0.0f;
}

void intrts_sig(FlowmirState* fms, CtrlNode* node)
{
    IrsData* d = static_cast<IrsData*>(node->data);
    listInterval(fms, node, d);
    node->out = (float)d->total;
    listIntervalRestart(fms, d);
}

void avgrts_sig(FlowmirState* fms, CtrlNode* node)
{
    IrsData* d = static_cast<IrsData*>(node->data);
    listInterval(fms, node, d);
    node->out = d->elapsed > 0.0f ? (float)(d->total / d->elapsed) : 0.0f;
    listIntervalRestart(fms, d);
}

// The mean of the last N samples, N the number of time steps in the span (at least one).
void rav_sig(FlowmirState* fms, CtrlNode* node)
{
    RavData* r = static_cast<RavData*>(node->data);
    float x = *node->in1;
    if (r->state == 0) {
        int n = (int)((r->span + 0.5) * fms->rdt);
        r->size = n < 1 ? 1 : n;
        r->ring = pool_arrayt<float>(fms, &fms->msBlock, r->size + 1, "rav");
        r->count = r->oldest = r->newest = 0;
        r->sum = 0.0;
        node->out = 0.0f;
        r->state = -1;
        return;
    }
    if (r->state == -1) {
        r->sum = x;
        r->ring[0] = x;
        r->count = 1;
        r->weight = 1.0;
        node->out = x;
        r->state = 1;
        return;
    }
    if (r->count == r->size) {
        r->sum -= r->ring[r->oldest];
        r->oldest = r->oldest == r->size ? 0 : r->oldest + 1;
    } else {
        r->count++;
        r->weight = 1.0 / r->count;
    }
    r->newest = r->newest == r->size ? 0 : r->newest + 1;
    r->ring[r->newest] = x;
    r->sum += x;
    node->out = (float)(r->sum * r->weight);
}

// Incremental form: the stored previous output is the clamped one, so the controller leaves
// saturation as soon as the error turns.
void pic_sig(FlowmirState* fms, CtrlNode* node)
{
    PicData* p = static_cast<PicData*>(node->data);
    float e = *node->in1;
    double u = p->lastOut + (double)p->kp * (e - p->lastIn) + 0.5 * fms->dt * p->ki * ((double)e + p->lastIn);
    if (u < 0.0) u = 0.0;
    if (u > 1.0) u = 1.0;
    p->lastIn = e;
    p->lastOut = (float)u;
    node->out = (float)u;
}
