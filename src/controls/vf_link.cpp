// Who reads the value files, and the pointers to their columns: control nodes of type `cvf` and
// `dvf`, and zones, junctions, paths, ducts and sources that name a column.
#include "controls/ctrl.h"
#include "controls/ctrl_data.h"
#include "controls/occupancy.h"
#include "controls/valfile.h"
#include "controls/vf_read.h"
#include "project/components.h"
#include "support/error.h"
#include "support/strutil.h"
#include "transport/cse.h"

enum { NEED_CVF = 3, NEED_DVF = 4 };

static bool sourcesRead(const CseInstance* list, int kind)
{
    for (const CseInstance* c = list; c; c = c->next)
        if (c->valueKind == kind) return true;
    return false;
}

// By the precedence of the value sources: a component with a control node reads no file.
int ctrl_NeedCvfDvf(FlowmirState* fms, int kind)
{
    if (kind != NEED_CVF && kind != NEED_DVF)
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid controls file type requested (CVF/DVF): %d", kind);
    bool cvf = kind == NEED_CVF;
    int ctrlType = cvf ? CT_CVF : CT_DVF;
    ValueSource source = cvf ? VSRC_CVF : VSRC_DVF;
    int file = cvf ? VFILE_CVF : VFILE_DVF;

    for (int i = 1; fms->CtLst && i <= fms->nctrl; i++)
        if (fms->CtLst[i] && fms->CtLst[i]->type == ctrlType) return 1;
    for (int i = 1; fms->ZnLst && i <= fms->nzone; i++)
        if (fms->ZnLst[i] && fms->ZnLst[i]->tsrc == source) return 1;
    for (int i = 1; fms->JctLst && i <= fms->njct; i++)
        if (fms->JctLst[i] && fms->JctLst[i]->tsrc == source) return 1;
    for (int i = 1; fms->PthLst && i <= fms->npath; i++)
        if (fms->PthLst[i] && fms->PthLst[i]->msrc == source) return 1;
    for (int i = 1; fms->DctLst && i <= fms->ndct; i++)
        if (fms->DctLst[i] && fms->DctLst[i]->msrc == source) return 1;
    if (sourcesRead(fms->cssRead, file) || sourcesRead(fms->css[0], file) || sourcesRead(fms->css[1], file))
        return 1;
    if (occSources_useValueFile(fms, file)) return 1;
    return 0;
}

void vf_link(FlowmirState* fms, float** target, int kind, const char* name)
{
    char (*names)[VF_NAME_LEN];
    float* values;
    int n;
    const char* word;
    int* errors;
    if (kind == VFILE_CVF) {
        names = fms->cvfNames, values = fms->cvfV, n = fms->ncvf, word = "CVF", errors = &fms->cvfLinkErrors;
    } else if (kind == VFILE_DVF) {
        names = fms->dvfNames, values = fms->dvfV, n = fms->ndvf, word = "DVF", errors = &fms->dvfLinkErrors;
    } else {
        errorf(fms, ERROR, __FILE__, __LINE__, "Invalid CVF/DVF vf_type, %d.\n", kind);
        return;
    }
    for (int i = 0; names && i < n; i++)
        if (streql(names[i], name)) {
            *target = &values[i];
            return;
        }
    errorf(fms, ERROR, __FILE__, __LINE__, "Node name %s not found in %s file.\n", name, word);
    (*errors)++;
}

// Connects the nodes of one type to their columns; the components have been linked before, so a
// component whose column was missing stops the run here too.
static int connectNodes(FlowmirState* fms, int type, char (*names)[VF_NAME_LEN], float* values, int n,
                        const char* word)
{
    int failed = 0;
    for (CtrlNode* node = fms->ctrlSeq; node; node = node->next) {
        if (node->type != type) continue;
        const ColumnData* c = static_cast<const ColumnData*>(node->data);
        const char* column = c ? c->column : "";
        int found = -1;
        for (int i = 0; names && i < n && found < 0; i++)
            if (streql(names[i], column)) found = i;
        if (found >= 0) {
            node->in1 = &values[found];
        } else {
            error(fms, ERROR, __FILE__, __LINE__, "Name not in ", word, ": ", column, "");
            failed++;
        }
    }
    return failed;
}

int CVF_init_controls(FlowmirState* fms)
{
    int failed = connectNodes(fms, CT_CVF, fms->cvfNames, fms->cvfV, fms->ncvf, "CVF");
    if (failed || fms->cvfLinkErrors)
        error(fms, FATAL, __FILE__, __LINE__, "Fix CVF file or control node errors", "");
    cvf_free_names(fms);
    return failed > 0;
}

int DVF_init_controls(FlowmirState* fms)
{
    int failed = connectNodes(fms, CT_DVF, fms->dvfNames, fms->dvfV, fms->ndvf, "DVF");
    if (failed || fms->dvfLinkErrors)
        error(fms, FATAL, __FILE__, __LINE__, "Fix DVF file or control node errors", "");
    dvf_free_names(fms);
    return failed > 0;
}
