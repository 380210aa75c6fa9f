// The assembled network as JSON. Numbers are the project's record numbers; "node" and "link"
// are the positions in the network's lists, which the results file's ids follow. The ambient is
// zone -1 named "ambient".
#include "results/describe.h"

#include <cmath>
#include <cstring>

#include "airflow/afe.h"
#include "airflow/afe_read.h"
#include "controls/ctrl.h"
#include "flowmir/flowmir.h"
#include "network/airnet.h"
#include "project/components.h"
#include "support/error.h"
#include "support/log.h"
#include "transport/cse.h"
#include "transport/species.h"

namespace {

// A JSON object or array being written: the separator before the next member.
struct Json {
    FILE* out;
    bool first;
};

void jsonString(FILE* out, const char* s)
{
    fputc('"', out);
    for (const unsigned char* p = (const unsigned char*)(s ? s : ""); *p; p++) {
        if (*p == '"' || *p == '\\')
            fprintf(out, "\\%c", *p);
        else if (*p < 0x20)
            fprintf(out, "\\u%04x", *p);
        else
            fputc(*p, out);
    }
    fputc('"', out);
}

void key(Json& j, const char* name)
{
    if (!j.first) fputc(',', j.out);
    j.first = false;
    jsonString(j.out, name);
    fputc(':', j.out);
}

void str(Json& j, const char* name, const char* value)
{
    key(j, name);
    jsonString(j.out, value);
}

void num(Json& j, const char* name, double value)
{
    key(j, name);
    if (std::isfinite(value))
        fprintf(j.out, "%.10g", value);
    else
        fputs("null", j.out);
}

// Single-precision values as read: seven digits give them back as written.
void num(Json& j, const char* name, float value)
{
    key(j, name);
    if (std::isfinite(value))
        fprintf(j.out, "%.7g", value);
    else
        fputs("null", j.out);
}

void integer(Json& j, const char* name, long value)
{
    key(j, name);
    fprintf(j.out, "%ld", value);
}

void boolean(Json& j, const char* name, bool value)
{
    key(j, name);
    fputs(value ? "true" : "false", j.out);
}

// Opens an array member, or an element of one, and returns the writer for its members.
Json openArray(Json& j, const char* name)
{
    key(j, name);
    fputc('[', j.out);
    return {j.out, true};
}

Json openElement(Json& array)
{
    if (!array.first) fputc(',', array.out);
    array.first = false;
    fputs("\n  {", array.out);
    return {array.out, true};
}

Json openObject(Json& j, const char* name)
{
    key(j, name);
    fputc('{', j.out);
    return {j.out, true};
}

void closeElement(Json& j) { fputc('}', j.out); }
void closeArray(Json& j) { fputs(j.first ? "]" : "\n  ]", j.out); }

const char* afeKeyword(const Afe* e)
{
    return e && e->type >= 0 && e->type < AFE_NCODES ? afe_keywords[e->type] : "";
}

const char* zoneName(const FlowmirState* fms, int nr)
{
    if (nr == -1) return "ambient";
    return nr >= 1 && nr <= fms->nzone && fms->ZnLst ? fms->ZnLst[nr]->name : "";
}

const char* levelName(const Level* lev) { return lev ? lev->name : ""; }

// The network link of structure type styp and number nr, or none.
const AirLink* findLink(const FlowmirState* fms, int styp, int nr)
{
    for (const AirLink* l = fms->linkList; l; l = l->next)
        if (l->styp == styp && l->s_nr == nr) return l;
    return nullptr;
}

const AirNode* findNode(const FlowmirState* fms, int nr, bool junction)
{
    for (const AirNode* n = fms->nodeList; n; n = n->next)
        if (n != fms->ambt && (n->styp != NODE_ZONE) == junction && n->s_nr == nr) return n;
    return nullptr;
}

// The zone number of a node: -1 for the ambient, 0 for a junction.
int zoneOfNode(const FlowmirState* fms, const AirNode* n)
{
    if (!n || n == fms->ambt) return -1;
    return n->styp == NODE_ZONE ? n->s_nr : 0;
}

void writeRun(FlowmirState* fms, Json& doc)
{
    Json r = openObject(doc, "run");
    integer(r, "afsim", fms->afsim);
    integer(r, "mfsim", fms->mfsim);
    integer(r, "date0", fms->date0);
    integer(r, "time0", fms->time0);
    integer(r, "date1", fms->date1);
    integer(r, "time1", fms->time1);
    integer(r, "timeStep", fms->time_step);
    integer(r, "listStep", fms->listStep);
    str(r, "weather", fms->wthPath);
    str(r, "contaminants", fms->ctmPath);
    str(r, "cvf", fms->cvfPath);
    str(r, "dvf", fms->dvfPath);
    str(r, "wpc", fms->wpcPath);
    closeElement(r);
}

void writeCounts(FlowmirState* fms, Json& doc)
{
    Json c = openObject(doc, "counts");
    integer(c, "levels", fms->nlev);
    integer(c, "zones", fms->nzone);
    integer(c, "paths", fms->npath);
    integer(c, "junctions", fms->njct);
    integer(c, "ducts", fms->ndct);
    integer(c, "species", fms->nctm);
    integer(c, "controls", fms->nctrl);
    integer(c, "nodes", fms->nafnd);
    integer(c, "links", fms->nafpt);
    integer(c, "envelope", fms->nenv);
    closeElement(c);
}

void writeLevels(FlowmirState* fms, Json& doc)
{
    Json a = openArray(doc, "levels");
    for (int i = 1; fms->LevLst && i <= fms->nlev; i++) {
        const Level* lev = fms->LevLst[i];
        Json e = openElement(a);
        integer(e, "nr", lev->nr);
        str(e, "name", lev->name);
        num(e, "elevation", lev->elevation);
        closeElement(e);
    }
    closeArray(a);
}

void writeZones(FlowmirState* fms, Json& doc)
{
    Json a = openArray(doc, "zones");
    for (int i = 1; fms->ZnLst && i <= fms->nzone; i++) {
        const Zone* z = fms->ZnLst[i];
        const AirNode* n = findNode(fms, z->nr, false);
        Json e = openElement(a);
        integer(e, "nr", z->nr);
        str(e, "name", z->name);
        integer(e, "level", z->levNr);
        str(e, "levelName", levelName(z->level));
        num(e, "volume", z->Vol);
        num(e, "temperature", z->T);
        num(e, "height", z->hgt);
        integer(e, "flags", z->flags);
        boolean(e, "variablePressure", z->flags & ZF_PRESSURE);
        boolean(e, "massFractions", z->flags & ZF_MASSFRAC);
        boolean(e, "system", z->flags & ZF_AHS);
        boolean(e, "unconditioned", z->flags & ZF_UNCOND);
        boolean(e, "cfd", z->flags & ZF_CFD);
        integer(e, "node", n ? n->nr : 0);
        closeElement(e);
    }
    closeArray(a);
}

void writePaths(FlowmirState* fms, Json& doc)
{
    Json a = openArray(doc, "paths");
    for (int i = 1; fms->PthLst && i <= fms->npath; i++) {
        const Path* p = fms->PthLst[i];
        const AirLink* l = findLink(fms, LINK_PATH, p->nr);
        const Afe* elem = l && l->elem ? l->elem : p->afe;
        Json e = openElement(a);
        integer(e, "nr", p->nr);
        integer(e, "from", p->zoneNrN);
        str(e, "fromName", zoneName(fms, p->zoneNrN));
        integer(e, "to", p->zoneNrM);
        str(e, "toName", zoneName(fms, p->zoneNrM));
        integer(e, "elementNr", p->afeNr);
        str(e, "element", elem ? elem->name : "");
        str(e, "elementType", afeKeyword(elem));
        integer(e, "level", p->levNr);
        str(e, "levelName", levelName(p->level));
        num(e, "relHeight", p->relHt);
        num(e, "height", p->hgt);
        num(e, "multiplier", p->mult);
        integer(e, "flags", p->flags);
        boolean(e, "wind", p->flags & PTH_WIND);
        integer(e, "system", p->ahsNr);
        integer(e, "envelope", l ? l->envIdx : 0);
        integer(e, "link", l ? l->nr : 0);
        closeElement(e);
    }
    closeArray(a);
}

void writeJunctions(FlowmirState* fms, Json& doc)
{
    Json a = openArray(doc, "junctions");
    for (int i = 1; fms->JctLst && i <= fms->njct; i++) {
        const Junction* jc = fms->JctLst[i];
        const AirNode* n = findNode(fms, jc->nr, true);
        Json e = openElement(a);
        integer(e, "nr", jc->nr);
        boolean(e, "terminal", jc->terminal);
        integer(e, "zone", jc->zoneNr);
        str(e, "zoneName", zoneName(fms, jc->zoneNr));
        integer(e, "level", jc->levNr);
        str(e, "levelName", levelName(jc->level));
        num(e, "height", jc->hgt);
        num(e, "temperature", jc->T);
        integer(e, "node", n ? n->nr : 0);
        closeElement(e);
    }
    closeArray(a);
}

void writeDucts(FlowmirState* fms, Json& doc)
{
    Json a = openArray(doc, "ducts");
    for (int i = 1; fms->DctLst && i <= fms->ndct; i++) {
        const Duct* d = fms->DctLst[i];
        const AirLink* l = findLink(fms, LINK_DUCT, d->nr);
        Json e = openElement(a);
        integer(e, "nr", d->nr);
        integer(e, "from", d->jctNrN);
        integer(e, "to", d->jctNrM);
        integer(e, "elementNr", d->dfeNr);
        str(e, "element", d->dfe ? d->dfe->name : "");
        str(e, "elementType", afeKeyword(d->dfe));
        num(e, "length", d->len);
        integer(e, "link", l ? l->nr : 0);
        closeElement(e);
    }
    closeArray(a);
}

// Terminals and duct leaks: the links between a junction and the zone around it.
void writeJunctionLinks(FlowmirState* fms, Json& doc, const char* name, int styp)
{
    Json a = openArray(doc, name);
    for (const AirLink* l = fms->linkList; l; l = l->next) {
        if (l->styp != styp) continue;
        int zone = zoneOfNode(fms, l->nodeM);
        Json e = openElement(a);
        integer(e, "junction", l->s_nr);
        integer(e, "zone", zone);
        str(e, "zoneName", zoneName(fms, zone));
        if (styp == LINK_TERM) {
            const Junction* jc = fms->JctLst && l->s_nr >= 1 && l->s_nr <= fms->njct ? fms->JctLst[l->s_nr] : nullptr;
            num(e, "designFlow", jc ? jc->Fdes : 0.0f);
            num(e, "area", jc ? jc->area : 0.0f);
            integer(e, "envelope", l->envIdx);
        }
        integer(e, "link", l->nr);
        closeElement(e);
    }
    closeArray(a);
}

void writeSystems(FlowmirState* fms, Json& doc)
{
    Json a = openArray(doc, "systems");
    for (int i = 1; fms->AhsLst && i <= fms->nahs; i++) {
        const Ahs* s = fms->AhsLst[i];
        Json e = openElement(a);
        integer(e, "nr", s->nr);
        str(e, "name", s->name);
        key(e, "paths");
        fprintf(e.out, "[%d,%d,%d]", s->pathNr[0], s->pathNr[1], s->pathNr[2]);
        closeElement(e);
    }
    closeArray(a);
}

void writeElements(Json& doc, const char* name, Afe** list, int n)
{
    Json a = openArray(doc, name);
    for (int i = 1; list && i <= n; i++) {
        Json e = openElement(a);
        integer(e, "nr", list[i]->nr);
        str(e, "name", list[i]->name);
        str(e, "type", afeKeyword(list[i]));
        closeElement(e);
    }
    closeArray(a);
}

void writeSpecies(FlowmirState* fms, Json& doc)
{
    Json a = openArray(doc, "species");
    for (int j = 0; fms->ctm && j < fms->nctm; j++) {
        const Species& s = fms->ctm[j];
        Json e = openElement(a);
        integer(e, "index", j);
        integer(e, "nr", s.nr);
        str(e, "name", s.name);
        num(e, "molarMass", s.molarMass);
        boolean(e, "trace", !s.nonTrace);
        closeElement(e);
    }
    closeArray(a);
}

void writeSourceElements(FlowmirState* fms, Json& doc)
{
    Json a = openArray(doc, "sourceElements");
    for (int i = 1; fms->CseLst && i <= fms->ncse; i++) {
        const CseElement* c = fms->CseLst[i];
        Json e = openElement(a);
        integer(e, "nr", c->nr);
        str(e, "name", c->name);
        str(e, "type", c->type >= 0 && c->type < CSE_NTYPES ? cse_keywords[c->type] : "");
        closeElement(e);
    }
    closeArray(a);
}

void writeControls(FlowmirState* fms, Json& doc)
{
    Json a = openArray(doc, "controls");
    for (int i = 1; fms->CtLst && i <= fms->nctrl; i++) {
        const CtrlNode* c = fms->CtLst[i];
        Json e = openElement(a);
        integer(e, "nr", c->nr);
        str(e, "name", c->name);
        str(e, "type", c->type >= 0 && c->type < CT_NTYPES ? ctrl_keywords[c->type] : "");
        integer(e, "in1", c->in1Nr);
        integer(e, "in2", c->in2Nr);
        closeElement(e);
    }
    closeArray(a);
}

}  // namespace

int describe_write(FlowmirState* fms, FILE* out)
{
    Json doc{out, true};
    fputc('{', out);
    str(doc, "project", fms->_prjname);
    str(doc, "path", fms->projectPath);
    writeRun(fms, doc);
    writeCounts(fms, doc);
    writeLevels(fms, doc);
    writeZones(fms, doc);
    writePaths(fms, doc);
    writeJunctions(fms, doc);
    writeDucts(fms, doc);
    writeJunctionLinks(fms, doc, "terminals", LINK_TERM);
    writeJunctionLinks(fms, doc, "leaks", LINK_LEAK);
    writeSystems(fms, doc);
    writeElements(doc, "elements", fms->AfeLst, fms->nafe);
    writeElements(doc, "ductElements", fms->DfeLst, fms->ndfe);
    writeSpecies(fms, doc);
    writeSourceElements(fms, doc);
    writeControls(fms, doc);
    fputs("\n}\n", out);
    return fflush(out) != 0 || ferror(out) ? 1 : 0;
}

extern "C" void flowmirSetDescribe(FlowmirState* fms, int on)
{
    fms->describe = on;
    if (on) fms->inputTest = 1;
}

void describe_network(FlowmirState* fms)
{
    if (fms->errorCount > 0) {
        error(fms, ERROR, __FILE__, __LINE__, "Network not described: the project has errors", "");
        finish(fms, 2);
    }
    int rc = describe_write(fms, stdout);
    LOG(fms, "Network described\n");
    finish(fms, rc ? 2 : 0);
}
