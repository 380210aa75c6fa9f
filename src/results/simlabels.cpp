// Row names of a results file, from the ids it carries and the project's components.
#include "results/simlabels.h"

#include <cstdio>
#include <cstring>

#include "engine/driver.h"
#include "flowmir/flowmir.h"
#include "network/airnet.h"
#include "project/components.h"
#include "project/prj_read.h"
#include "support/heap.h"
#include "transport/species.h"

static const char linkLetter[] = {'P', 'D', 'T', 'L'};

static std::string numbered(char letter, int nr)
{
    return letter + std::to_string(nr);
}

void simLabelsPlain(const SimFile& f, SimLabels* out)
{
    *out = SimLabels{};
    for (size_t i = 0; i < f.nodeStyp.size(); i++)
        out->node.push_back(f.nodeStyp[i] == NODE_ZONE && f.nodeSnr[i] == 0 ? "ambient"
                                                                             : numbered(f.nodeStyp[i] == NODE_ZONE ? 'Z' : 'J', f.nodeSnr[i]));
    for (size_t i = 0; i < f.pathStyp.size(); i++) {
        int s = f.pathStyp[i];
        out->path.push_back(numbered(s >= 0 && s <= LINK_LEAK ? linkLetter[s] : 'X', f.pathSnr[i]));
        out->from.push_back("");
        out->to.push_back("");
    }
}

// Reading errors only count (the engine counts them); a fatal one ends the program, so it is shown.
static int quietErrors(FlowmirState*, const char* word, const char* msg, int*)
{
    if (!strncmp(word, "FATAL", 5)) fprintf(stderr, "flowmir-sim: %s%s", word, msg);
    return 0;
}

static std::string zoneName(const FlowmirState* fms, int nr)
{
    if (nr == -1) return "ambient";
    if (nr >= 1 && nr <= fms->nzone) return fms->ZnLst[nr]->name;
    return "";
}

// Fills the labels from the project's tables; false when an id names nothing in them.
static bool fromTables(const FlowmirState* fms, const SimFile& f, SimLabels* out)
{
    for (size_t i = 0; i < f.nodeStyp.size(); i++) {
        int s = f.nodeSnr[i];
        if (f.nodeStyp[i] == NODE_ZONE && s == 0) {
            continue;
        } else if (f.nodeStyp[i] == NODE_ZONE) {
            if (s < 1 || s > fms->nzone) return false;
            out->node[i] = fms->ZnLst[s]->name;
        } else if (s < 1 || s > fms->njct) {
            return false;
        }
    }
    for (size_t i = 0; i < f.pathStyp.size(); i++) {
        int s = f.pathSnr[i];
        switch (f.pathStyp[i]) {
        case LINK_PATH:
            if (s < 1 || s > fms->npath) return false;
            out->from[i] = zoneName(fms, fms->PthLst[s]->zoneNrN);
            out->to[i] = zoneName(fms, fms->PthLst[s]->zoneNrM);
            break;
        case LINK_DUCT:
            if (s < 1 || s > fms->ndct) return false;
            out->from[i] = numbered('J', fms->DctLst[s]->jctNrN);
            out->to[i] = numbered('J', fms->DctLst[s]->jctNrM);
            break;
        case LINK_TERM:
        case LINK_LEAK:
            if (s < 1 || s > fms->njct) return false;
            out->from[i] = numbered('J', s);
            out->to[i] = zoneName(fms, fms->JctLst[s]->zoneNr);
            break;
        default: return false;
        }
    }
    for (int j = 0; j < fms->nctm && fms->nctm == f.h.ncont; j++) out->species.push_back(fms->ctm[j].name);
    return true;
}

bool simLabelsFromProject(const SimFile& f, const char* prjPath, SimLabels* out, std::string* why)
{
    simLabelsPlain(f, out);
    FlowmirState* fms = flowmirNewState();
    if (!fms) {
        *why = "out of memory";
        return false;
    }
    fms->errorFcn = quietErrors;
    fms->quiet = 1;
    fms->msBlock = alc_eci(fms, 32000, "ms-block");
    fms->mbBlock = alc_eci(fms, 8000, "mb-block");
    bool ok = false;
    if (prj_read(fms, prjPath) != 0 || fms->errorCount > 0) {
        *why = "the project cannot be read";
    } else {
        SimLabels named = *out;
        ok = fromTables(fms, f, &named);
        if (ok)
            *out = named;
        else
            *why = "the project does not have the results' zones and paths";
    }
    releaseRunMemory(fms);
    flowmirFreeState(fms);
    return ok;
}
