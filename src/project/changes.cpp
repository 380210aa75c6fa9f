// Named changes to a project just read, before network assembly copies the components' values
// into nodes and links and binds the element models.
#include "project/changes.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "airflow/afe.h"
#include "flowmir/flowmir.h"
#include "project/components.h"
#include "support/error.h"
#include "support/log.h"
#include "transport/cse.h"

namespace {

struct Change {
    std::string kind, name, field, value;
};

// KIND:NAME.FIELD=VALUE, or FILEKIND=VALUE with an empty name and field.
bool split(const char* text, Change* c)
{
    const char* eq = strchr(text, '=');
    if (!eq || eq == text) return false;
    std::string left(text, eq - text);
    c->value = eq + 1;
    size_t colon = left.find(':');
    if (colon == std::string::npos) {
        c->kind = left;
        return true;
    }
    size_t dot = left.rfind('.');
    if (dot == std::string::npos || dot < colon) return false;
    c->kind = left.substr(0, colon);
    c->name = left.substr(colon + 1, dot - colon - 1);
    c->field = left.substr(dot + 1);
    return !c->name.empty() && !c->field.empty();
}

bool readReal(const std::string& s, double* v)
{
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *v = strtod(s.c_str(), &end);
    return *end == '\0' && errno == 0;
}

bool readInt(const std::string& s, int* v)
{
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long x = strtol(s.c_str(), &end, 10);
    *v = (int)x;
    return *end == '\0' && errno == 0 && x >= 0 && x < 1000000;
}

bool readNumber(const std::string& s, int lo, int hi, int* v)
{
    return readInt(s, v) && *v >= lo && *v <= hi;
}

Afe* elementNamed(FlowmirState* fms, const std::string& name)
{
    for (int i = 1; fms->AfeLst && i <= fms->nafe; i++)
        if (name == fms->AfeLst[i]->name) return fms->AfeLst[i];
    for (int i = 1; fms->DfeLst && i <= fms->ndfe; i++)
        if (name == fms->DfeLst[i]->name) return fms->DfeLst[i];
    return nullptr;
}

// Families whose data begin with the power law's laminar and turbulent coefficients and exponent.
AfePlr* leadingPowerLaw(Afe* e)
{
    switch (e->type) {
    case AFE_PLR_ORFC: case AFE_PLR_LEAK1: case AFE_PLR_LEAK2: case AFE_PLR_LEAK3: case AFE_PLR_CONN:
    case AFE_PLR_QCN: case AFE_PLR_FCN: case AFE_PLR_TEST1: case AFE_PLR_TEST2: case AFE_PLR_CRACK:
    case AFE_PLR_STAIR: case AFE_PLR_SHAFT: case AFE_DOR_DOOR: case AFE_DOR_PL2: case AFE_FAN_FAN:
    case AFE_DCT_PLR: case AFE_DCT_FCN: case AFE_DCT_QCN: case AFE_DCT_FAN:
        return static_cast<AfePlr*>(e->data);
    default: return nullptr;
    }
}

float* fixedFlow(Afe* e)
{
    switch (e->type) {
    case AFE_FAN_CMF: case AFE_FAN_CVF: case AFE_DCT_CMF: case AFE_DCT_CVF:
        return &static_cast<AfeCnf*>(e->data)->flowRate;
    default: return nullptr;
    }
}

bool changeElement(FlowmirState* fms, const Change& c, double v)
{
    Afe* e = elementNamed(fms, c.name);
    if (!e || !e->data) return false;
    AfePlr* plr = leadingPowerLaw(e);
    float* flow = fixedFlow(e);
    if (plr && c.field == "lam") plr->lam = (float)v;
    else if (plr && c.field == "turb") plr->turb = (float)v;
    else if (plr && c.field == "expt") plr->expt = (float)v;
    else if (plr && c.field == "scale") plr->lam *= (float)v, plr->turb *= (float)v;
    else if (flow && c.field == "flow") *flow = (float)v;
    else if (flow && c.field == "scale") *flow *= (float)v;
    else return false;
    return true;
}

bool changeZone(FlowmirState* fms, const Change& c, double v)
{
    Zone* z = nullptr;
    for (int i = 1; fms->ZnLst && i <= fms->nzone; i++)
        if (c.name == fms->ZnLst[i]->name) z = fms->ZnLst[i];
    if (!z) return false;
    int w = 0;
    if (c.field == "T") z->T = (float)v;
    else if (c.field == "volume") z->Vol = (float)v;
    else if (c.field == "schedule" && readNumber(c.value, 0, fms->nwsh, &w)) z->wshNr = w;
    else return false;
    z->tsrc = comp_value_source(z->ctrlNr, z->vfType, z->wshNr);
    return true;
}

bool changePath(FlowmirState* fms, const Change& c, double v)
{
    int nr = 0;
    if (!readNumber(c.name, 1, fms->npath, &nr) || !fms->PthLst) return false;
    Path* p = fms->PthLst[nr];
    int w = 0;
    if (c.field == "mult") {
        p->mult = v;
    } else if (c.field == "schedule" && readNumber(c.value, 0, fms->nwsh, &w)) {
        p->wshNr = w;
    } else if (c.field == "element" && !(p->flags & PTH_IMPLICIT)) {
        Afe* e = nullptr;
        for (int i = 1; fms->AfeLst && i <= fms->nafe; i++)
            if (c.value == fms->AfeLst[i]->name) e = fms->AfeLst[i];
        if (!e) return false;
        p->afe = e;
        p->afeNr = e->nr;
    } else {
        return false;
    }
    p->msrc = comp_value_source(p->ctrlNr, p->vfType, p->wshNr);
    return true;
}

bool changeSource(FlowmirState* fms, const Change& c, double v)
{
    int nr = 0, w = 0;
    if (!readInt(c.name, &nr)) return false;
    for (CseInstance* s = fms->cssRead; s; s = s->next) {
        if (s->nr != nr) continue;
        if (c.field == "mult") s->mult = (float)v;
        else if (c.field == "schedule" && readNumber(c.value, 0, fms->nwsh, &w)) s->wshNr = w;
        else return false;
        return true;
    }
    return false;
}

// The initial rate of the elements that have one, kg/s.
float* sourceRate(CseElement* e)
{
    switch (e->type) {
    case CSE_CCF: return &static_cast<CseCcf*>(e->data)->G0;
    case CSE_CUT: return &static_cast<CseCut*>(e->data)->G0;
    case CSE_EDS: return &static_cast<CseEds*>(e->data)->G0;
    default: return nullptr;
    }
}

bool changeSourceElement(FlowmirState* fms, const Change& c, double v)
{
    for (int i = 1; fms->CseLst && i <= fms->ncse; i++) {
        CseElement* e = fms->CseLst[i];
        if (c.name != e->name) continue;
        float* rate = e->data ? sourceRate(e) : nullptr;
        if (!rate) return false;
        if (c.field == "rate") *rate = (float)v;
        else if (c.field == "scale") *rate *= (float)v;
        else return false;
        return true;
    }
    return false;
}

bool changeFile(FlowmirState* fms, const Change& c)
{
    char* target = c.kind == "weather" ? fms->wthPath : c.kind == "contaminants" ? fms->ctmPath : nullptr;
    if (!target || c.value.empty() || c.value.size() >= sizeof fms->wthPath) return false;
    snprintf(target, sizeof fms->wthPath, "%s", c.value.c_str());
    return true;
}

bool apply(FlowmirState* fms, const char* text)
{
    Change c;
    if (!split(text, &c)) return false;
    if (c.field.empty()) return changeFile(fms, c);
    double v = 0.0;
    bool numeric = readReal(c.value, &v);
    if (c.kind == "element") return numeric && changeElement(fms, c, v);
    if (c.kind == "zone") return (numeric || c.field == "schedule") && changeZone(fms, c, v);
    if (c.kind == "path") return (numeric || c.field == "element") && changePath(fms, c, v);
    if (c.kind == "source") return numeric && changeSource(fms, c, v);
    if (c.kind == "sourceElement") return numeric && changeSourceElement(fms, c, v);
    return false;
}

}  // namespace

int prj_apply_changes(FlowmirState* fms)
{
    int refused = 0;
    for (int i = 0; fms->changes && i < fms->nchanges; i++) {
        if (apply(fms, fms->changes[i])) {
            LOG(fms, "Project change: %s\n", fms->changes[i]);
            continue;
        }
        error(fms, ERROR, __FILE__, __LINE__, "Project change not applied: ", fms->changes[i], "");
        refused++;
    }
    return refused;
}

extern "C" void flowmirSetChanges(FlowmirState* fms, const char* const* changes, int count)
{
    fms->changes = changes;
    fms->nchanges = count > 0 ? count : 0;
}
