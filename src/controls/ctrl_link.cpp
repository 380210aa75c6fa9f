// Network set-up of the controls: node numbers become pointers to the values they read,
// sensors are tied to the network, and the nodes are chained in their evaluation order.
#include "airflow/pool_array.h"
#include "controls/ctrl_data.h"
#include "controls/ctrl_sig.h"
#include "controls/occupancy.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/heap.h"
#include "transport/species.h"

// What a sensor reads when its quantity does not exist in this run.
static const double kZero = 0.0;
static float kZeroF = 0.0f;

static float* inputOf(FlowmirState* fms, const CtrlNode* node, int nr)
{
    if (nr < 1 || nr > fms->nctrl || !fms->CtLst[nr])
        errorf(fms, FATAL, __FILE__, __LINE__, " Invalid link, control %d", node->nr);
    return &fms->CtLst[nr]->out;
}

static AirNode* zoneNode(FlowmirState* fms, int index)
{
    if (index == -1) return fms->ambt;
    if (index < 1 || index > fms->nzone) return nullptr;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if (n->styp == NODE_ZONE && n->s_nr == index && n != fms->ambt) return n;
    return nullptr;
}

static AirNode* junctionNode(FlowmirState* fms, int index)
{
    if (index < 1 || index > fms->njct) return nullptr;
    for (AirNode* n = fms->nodeList; n; n = n->next)
        if ((n->styp == NODE_JCT || n->styp == NODE_TERM) && n->s_nr == index) return n;
    return nullptr;
}

static AirLink* linkOf(FlowmirState* fms, int styp, int index)
{
    for (AirLink* l = fms->linkList; l; l = l->next)
        if (l->styp == styp && l->s_nr == index) return l;
    return nullptr;
}

// Zone occupancy is worked out only while a sensor reads it.
static float* occupancyOf(FlowmirState* fms, AirNode* n)
{
    fms->occupancyOn = 1;
    return &n->occ;
}

// An occupant's exposure to species k; a species that is not simulated reads 0.
static float* exposureOf(FlowmirState* fms, int nr, int k)
{
    Exposure* ex = fms->PxLst ? fms->PxLst[nr] : nullptr;
    return ex && ex->expos && k >= 0 && k < fms->nctm ? &ex->expos[k] : &kZeroF;
}

static void invalidMeasure(FlowmirState* fms, const CtrlNode* node)
{
    errorf(fms, FATAL, __FILE__, __LINE__, " Invalid measure, control %d", node->nr);
}

static int speciesOf(FlowmirState* fms, SensorData* s)
{
    s->species = (short)species_find(fms, s->speciesName);
    return s->species;
}

// Node quantities of zone, junction and terminal sensors; a terminal has no occupancy.
static void nodeMeasure(FlowmirState* fms, CtrlNode* node, SensorData* s, AirNode* n, bool terminal)
{
    switch (s->measure) {
    case SNS_MF: {
        int k = speciesOf(fms, s);
        s->src = (k < fms->nctm && n->Mf) ? &n->Mf[k] : &kZero;
        break;
    }
    case SNS_TEMP: s->src = &n->T; break;
    case SNS_PRES: s->src = &n->P; break;
    case SNS_PGAGE: node->in1 = &n->Pgage; break;
    case SNS_OCCUPANCY:
        if (terminal) invalidMeasure(fms, node);
        node->in1 = occupancyOf(fms, n);
        break;
    default: invalidMeasure(fms, node);
    }
}

static void linkMeasure(FlowmirState* fms, CtrlNode* node, SensorData* s, AirLink* l)
{
    if (s->measure == SNS_FLOW)
        s->flow = l;
    else if (s->measure == SNS_PRES)
        s->src = &l->dP;
    else
        invalidMeasure(fms, node);
}

static void sensor_link(FlowmirState* fms, CtrlNode* node)
{
    SensorData* s = static_cast<SensorData*>(node->data);
    s->species = (short)fms->nctm;
    switch (s->sensorType) {
    case SNS_ZONE:
    case SNS_JCT: {
        AirNode* n = s->sensorType == SNS_ZONE ? zoneNode(fms, s->index) : junctionNode(fms, s->index);
        if (!n) errorf(fms, FATAL, __FILE__, __LINE__, " Invalid node, control %d", node->nr);
        nodeMeasure(fms, node, s, n, false);
        break;
    }
    case SNS_PATH:
    case SNS_DUCT: {
        int hi = s->sensorType == SNS_PATH ? fms->npath : fms->ndct;
        AirLink* l = s->index >= 1 && s->index <= hi
                         ? linkOf(fms, s->sensorType == SNS_PATH ? LINK_PATH : LINK_DUCT, s->index)
                         : nullptr;
        if (!l) errorf(fms, FATAL, __FILE__, __LINE__, " Invalid path, control %d", node->nr);
        linkMeasure(fms, node, s, l);
        break;
    }
    case SNS_OCCUPANT:
        if (s->index < 1 || s->index > fms->nExposures)
            errorf(fms, FATAL, __FILE__, __LINE__, " Invalid node, control %d", node->nr);
        if (s->measure != SNS_MF) invalidMeasure(fms, node);
        node->in1 = exposureOf(fms, s->index, speciesOf(fms, s));
        break;
    case SNS_TERM: {
        // A junction without a terminal has no terminal flow to sense.
        AirNode* n = junctionNode(fms, s->index);
        AirLink* l = n ? linkOf(fms, LINK_TERM, s->index) : nullptr;
        if (!l) errorf(fms, FATAL, __FILE__, __LINE__, " Invalid node, control %d", node->nr);
        if (s->measure == SNS_FLOW || s->measure == SNS_PRES)
            linkMeasure(fms, node, s, l);
        else
            nodeMeasure(fms, node, s, n, true);
        break;
    }
    default:
        errorf(fms, FATAL, __FILE__, __LINE__, " Invalid sensor type, control %d", node->nr);
    }
}

static void node_link(FlowmirState* fms, CtrlNode* node)
{
    switch (node->type) {
    case CT_SNS: sensor_link(fms, node); break;
    case CT_SCH: {
        SchData* s = static_cast<SchData*>(node->data);
        node->in1 = s && s->week ? &s->week->value : &kZeroF;
        break;
    }
    case CT_SET: node->out = static_cast<ConstData*>(node->data)->value; break;
    case CT_CVF:
    case CT_DVF:
    case CT_SUP: break;  // the value files connect their own nodes
    case CT_INT:
    case CT_AND:
    case CT_OR:
    case CT_XOR:
    case CT_ADD:
    case CT_SUB:
    case CT_MUL:
    case CT_DIV:
    case CT_LLS:
    case CT_ULS:
    case CT_LBS:
    case CT_UBS:
    case CT_LLC:
    case CT_ULC:
    case CT_POW:
    case CT_MDU:
        node->in1 = inputOf(fms, node, node->in1Nr);
        node->in2 = inputOf(fms, node, node->in2Nr);
        break;
    case CT_SUM:
    case CT_AVG:
    case CT_MAX:
    case CT_MIN: {
        ListData* l = static_cast<ListData*>(node->data);
        for (int i = 0; i < l->n; i++) l->vals[i] = inputOf(fms, node, l->nodeNrs[i]);
        l->nodeNrs = nullptr;  // pool memory, released with the records
        break;
    }
    case CT_SNS2: errorf(fms, FATAL, __FILE__, __LINE__, "Invalid control type: %d", node->type); break;
    default:
        if (node->type > CT_ARS || node->type < 0)
            errorf(fms, FATAL, __FILE__, __LINE__, "Invalid control type: %d", node->type);
        node->in1 = inputOf(fms, node, node->in1Nr);
        break;
    }
}

// The chain in increasing sequence number, from ctrlSeq.
static void ctrl_sequence(FlowmirState* fms)
{
    int n = fms->nctrl;
    CtrlNode** bySeq = alc_vt<CtrlNode*>(fms, 1, n, "ctrltmp");
    for (int i = 1; i <= n; i++) {
        CtrlNode* node = fms->CtLst[i];
        int k = node->seqNr;
        if (k < 1 || k > n) errorf(fms, FATAL, __FILE__, __LINE__, "Control node %d has invalid sequence number", i);
        if (bySeq[k]) errorf(fms, FATAL, __FILE__, __LINE__, "Control node %d sequenced twice", i);
        bySeq[k] = node;
    }
    // Sequence numbers are distinct and within 1..n, so every slot is taken.
    for (int k = 1; k < n; k++) bySeq[k]->next = bySeq[k + 1];
    bySeq[n]->next = nullptr;
    fms->ctrlSeq = bySeq[1];
    fre_vt(fms, bySeq, 1, n);
}

void ctrl_link(FlowmirState* fms)
{
    fms->ctrlSeq = nullptr;
    if (fms->nctrl <= 0 || !fms->CtLst) return;
    for (int i = 1; i <= fms->nctrl; i++) node_link(fms, fms->CtLst[i]);
    ctrl_sequence(fms);

    fms->ctrlLogs = fms->nlogCtrl > 0 ? pool_arrayt<CtrlNode*>(fms, &fms->msBlock, fms->nlogCtrl, "CtrlLogs") : nullptr;
    int k = 0;
    for (int i = 1; i <= fms->nctrl && k < fms->nlogCtrl; i++)
        if (fms->CtLst[i]->type == CT_LOG) fms->ctrlLogs[k++] = fms->CtLst[i];
}
