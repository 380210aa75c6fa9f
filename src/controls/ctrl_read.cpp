// The "Controls" section: one record per control node with its type's parameters.
#include <cstdio>
#include <cstring>

#include "airflow/pool_array.h"
#include "controls/ctrl_data.h"
#include "controls/ctrl_sig.h"
#include "project/components.h"
#include "project/section.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/heap.h"
#include "support/nxt.h"
#include "support/strutil.h"

// Code 36 repeats "sns" so that it can never be matched.
const char* const ctrl_keywords[CT_NTYPES + 1] = {
    "sns", "sch", "set", "cvf", "dvf", "log", "pas", "mod", "hys", "abs", "bin", "dls", "dlx", "int",
    "rav", "inv", "and", "or",  "xor", "add", "sub", "mul", "div", "sum", "avg", "max", "min", "lls",
    "uls", "lbs", "ubs", "llc", "ulc", "pc1", "pi1", "sup", "sns", "exp", "lgn", "lg1", "pow", "sqt",
    "ply", "sin", "cos", "tan", "mdu", "cel", "flr", "sph", "irs", "ars", "",
};

static void skipShorts(FlowmirState* fms, int n, int mode)
{
    for (int i = 0; i < n; i++) readI2(fms, i == 0 ? mode : 0);
}

// A count that sizes a list of this record: negative, or more than the file still holds, is
// refused (and counts as 0).
static int listCount(FlowmirState* fms, int count, const char* what, int nr)
{
    if (count >= 0 && count <= nxt_remaining(fms)) return count;
    errorf(fms, ERROR, __FILE__, __LINE__, "Invalid %s of control %d: %d", what, nr, count);
    return 0;
}

static DaySchedule* daySchedule(FlowmirState* fms, int d)
{
    if (d >= 1 && d <= fms->ndsh && fms->DshLst && fms->DshLst[d]) return fms->DshLst[d];
    errorf(fms, ERROR, __FILE__, __LINE__, "Bad day-schedule: %d", d);
    return nullptr;
}

static void* ctrl_data_read(FlowmirState* fms, MemBlock** pool, CtrlNode* node)
{
    char word[4096];
    switch (node->type) {
    case CT_SNS: {
        SensorData* s = alc_ect<SensorData>(fms, pool, "sns");
        s->offset = readR4(fms, 1);
        s->scale = readR4(fms, 0);
        s->tau = readR4(fms, 0);
        readR4(fms, 0);
        s->index = readIX(fms, 0);
        s->sensorType = readI2(fms, 0);
        s->measure = readI2(fms, 0);
        s->x = readR4(fms, 0);
        s->y = readR4(fms, 0);
        s->z = readR4(fms, 0);
        readI2(fms, 0);
        word[0] = '\0';
        nxtwrd(fms, word, 0, sizeof word);
        // Names longer than a species name cannot match one: keep what fits.
        size_t n = strnlen(word, sizeof s->speciesName - 1);
        memcpy(s->speciesName, word, n);
        s->speciesName[n] = '\0';
        return s;
    }
    case CT_SCH: {
        SchData* s = alc_ect<SchData>(fms, pool, "sch");
        int w = readIX(fms, 1);
        if (w >= 1 && w <= fms->nwsh && fms->WshLst && fms->WshLst[w]) {
            s->week = fms->WshLst[w];
            s->week->useCount++;
        } else {
            errorf(fms, ERROR, __FILE__, __LINE__, "Bad week-schedule: %d", w);
        }
        return s;
    }
    case CT_SET:
    case CT_LBS:
    case CT_UBS:
    case CT_PC1: {
        static const char* const labels[] = {"set", "bnd", "bnd", "pc"};
        int k = node->type == CT_SET ? 0 : node->type == CT_LBS ? 1 : node->type == CT_UBS ? 2 : 3;
        ConstData* c = alc_ect<ConstData>(fms, pool, labels[k]);
        c->value = readR4(fms, 1);
        return c;
    }
    case CT_CVF:
    case CT_DVF: {
        ColumnData* c = alc_ect<ColumnData>(fms, pool, "cdv");
        nxtwrd(fms, c->column, 1, sizeof c->column);
        return c;
    }
    case CT_LOG: {
        LogData* l = alc_ect<LogData>(fms, pool, "log");
        l->os.offset = readR4(fms, 1);
        l->os.scale = readR4(fms, 0);
        readI2(fms, 0);
        nxtwrd(fms, l->label, 0, sizeof l->label);
        nxtwrd(fms, l->units, 0, sizeof l->units);
        fms->nlogCtrl++;
        return l;
    }
    case CT_MOD: {
        ModData* m = alc_ect<ModData>(fms, pool, "mod");
        m->offset = readR4(fms, 1);
        m->scale = readR4(fms, 0);
        return m;
    }
    case CT_HYS: {
        HysData* h = alc_ect<HysData>(fms, pool, "hys");
        h->slack = readR4(fms, 1);
        h->gain = readR4(fms, 0);
        h->last = readR4(fms, 0);
        return h;
    }
    case CT_DLS: {
        DlsData* d = alc_ect<DlsData>(fms, pool, "dls");
        int up = readIX(fms, 1);
        int down = readIX(fms, 0);
        d->up = daySchedule(fms, up);
        d->down = daySchedule(fms, down);
        if (d->up) d->up->seeked = 1;
        if (d->down) d->down->seeked = 1;
        return d;
    }
    case CT_DLX: {
        DlxData* d = alc_ect<DlxData>(fms, pool, "dlx");
        d->tauUp = (float)readHMS(fms, 1);
        d->tauDown = (float)readHMS(fms, 0);
        return d;
    }
    case CT_INT:
        return alc_ect<IntData>(fms, pool, "int");
    case CT_RAV: {
        RavData* r = alc_ect<RavData>(fms, pool, "rav");
        r->span = readHMS(fms, 1);
        return r;
    }
    case CT_IRS:
    case CT_ARS: {
        IrsData* d = alc_ect<IrsData>(fms, pool, "int");
        d->trapezoid = readIX(fms, 1);
        return d;
    }
    case CT_PI1: {
        PicData* p = alc_ect<PicData>(fms, pool, "pic");
        p->kp = readR4(fms, 1);
        p->ki = readR4(fms, 0);
        p->lastOut = readR4(fms, 0);
        p->lastIn = readR4(fms, 0);
        return p;
    }
    case CT_SUM:
    case CT_AVG:
    case CT_MAX:
    case CT_MIN: {
        ListData* l = alc_ect<ListData>(fms, pool, "sum");
        l->n = (short)listCount(fms, readI2(fms, 1), "list count", node->nr);
        if (l->n > 0) {
            l->nodeNrs = pool_arrayt<int>(fms, pool, l->n, "cnode");
            l->vals = pool_arrayt<float*>(fms, pool, l->n, "vals");
        }
        for (int i = 0; i < l->n && !nxt_at_end(fms); i++) l->nodeNrs[i] = readIX(fms, 0);
        return l;
    }
    case CT_PLY: {
        PolyData* p = alc_ect<PolyData>(fms, pool, "poly");
        int n = readIX(fms, 1);
        if (n < 0 || n >= nxt_remaining(fms)) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid polynomial degree of control %d: %d", node->nr, n);
            return p;
        }
        p->n = n;
        p->a = pool_arrayt<float>(fms, pool, n + 1, "polya");
        for (int i = 0; i <= n && !nxt_at_end(fms); i++) p->a[i] = readR4(fms, 0);
        return p;
    }
    case CT_SUP:
        skipShorts(fms, 3, 1);
        return nullptr;
    default:
        return nullptr;
    }
}

int ctrl_read(FlowmirState* fms, MemBlock** pool)
{
    int n = comp_read_count(fms, "Controls");
    fms->nctrl = n;
    fms->CtLst = n > 0 ? alc_vt<CtrlNode*>(fms, 1, n, "CtLst") : nullptr;
    char word[4096], line[4096];
    for (int i = 1; i <= n; i++) {
        if (prj_record_number(fms, "Control", i)) break;
        CtrlNode* node = alc_ect<CtrlNode>(fms, pool, "ctrl");
        fms->CtLst[i] = node;
        node->nr = i;
        word[0] = '\0';
        nxtwrd(fms, word, 0, sizeof word);
        int type = lin_search(fms, word, ctrl_keywords);
        node->seqNr = readIX(fms, 0);
        if (node->seqNr < 1 || node->seqNr > n)
            errorf(fms, ERROR, __FILE__, __LINE__, "Control node %d has invalid sequence number", i);
        node->flags = readI2(fms, 0);
        readI2(fms, 0);
        node->in1Nr = readIX(fms, 0);
        if (node->in1Nr < 0 || node->in1Nr > n) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid control node number, node %d", i);
            node->in1Nr = 0;
        }
        node->in2Nr = readIX(fms, 0);
        if (node->in2Nr < 0 || node->in2Nr > n) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid control node number, node %d", i);
            node->in2Nr = 0;
        }
        nxtwrd(fms, node->name, 0, sizeof node->name);
        nxtwrd(fms, line, 3, sizeof line);  // description
        if (type > CT_ARS || type == CT_SNS2) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Invalid control type %d", type);
            node->type = (short)type;
        } else {
            node->type = (short)type;
            node->sigFn = ctrl_functions[type];
            node->data = ctrl_data_read(fms, pool, node);
        }
        if (prj_errors(fms) > 0) break;
    }
    prj_section_end(fms, "Controls");
    return n;
}

void ctrl_free_lists(FlowmirState* fms)
{
    if (fms->nctrl > 0) fre_vt(fms, fms->CtLst, 1, fms->nctrl);
    fms->CtLst = nullptr;
}
