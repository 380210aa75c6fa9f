// The control log "<project>.log": at listing times, the outputs of the `log` control nodes.
#include <cstdio>

#include "controls/ctrl.h"
#include "controls/ctrl_data.h"
#include "controls/valfile.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/paths.h"
#include "support/timeconv.h"

enum { LOG_PATH = 260 };

static void logPath(FlowmirState* fms, char* path)
{
    pathmerge(fms, path, LOG_PATH, fms->_pdrive, fms->_pdir, fms->_prjname, ".log");
}

static const LogData* logData(const CtrlNode* node)
{
    static const LogData none{};
    return node->data ? static_cast<const LogData*>(node->data) : &none;
}

static void writeHeader(FlowmirState* fms, FILE* fp)
{
    fprintf(fp, "!\t \t ");
    for (int i = 0; i < fms->nlogCtrl; i++) fprintf(fp, "\t%s", logData(fms->ctrlLogs[i])->label);
    fprintf(fp, "\n!Date\tTime\t[s]");
    for (int i = 0; i < fms->nlogCtrl; i++) fprintf(fp, "\t%s", logData(fms->ctrlLogs[i])->units);
    fprintf(fp, "\n");
}

void set_ulogc_open(FlowmirState* fms)
{
    if (fms->ctrlLogFile) return;
    char path[LOG_PATH];
    logPath(fms, path);
    ResFile* rf = resfile_open(fms, path);
    if (!rf || !rf->fp) {
        error(fms, FATAL, __FILE__, __LINE__, "Could not open control LOG file; is it already open?", "");
        return;
    }
    fms->ctrlLog = rf;
    fms->ctrlLogFile = rf->fp;
    writeHeader(fms, fms->ctrlLogFile);
}

void set_ulogc_write(FlowmirState* fms)
{
    FILE* fp = fms->ctrlLogFile;
    if (!fp) return;
    char date[16], time[16];
    datxstr(fms, fms->dayofy, date);
    if (!timestr(fms, fms->stepStartTime, time)) time[0] = '\0';
    fprintf(fp, "%s\t%s\t%d", date, time, fms->stepStartTime);
    for (int i = 0; i < fms->nlogCtrl; i++) fprintf(fp, "\t%.6e", (double)fms->ctrlLogs[i]->out);
    if (fprintf(fp, "\n") < 0) resfile_failed(fms->ctrlLog);
}

// Without remove: the nodes are evaluated once more for a last line, and the file is kept when
// the run completes. With remove: this run's file, if any, is dropped and an earlier one is
// deleted when the run completes.
void set_ulogc_close(FlowmirState* fms, int remove)
{
    if (!remove) {
        if (!fms->ctrlLogFile) return;
        ctrl_sim(fms, 0);
        set_ulogc_write(fms);
    } else {
        char path[LOG_PATH];
        logPath(fms, path);
        resfile_remove_on_commit(fms, path);
    }
    fms->ctrlLogFile = nullptr;
    fms->ctrlLog = nullptr;
}

void ctrlLog_abandon(FlowmirState* fms)
{
    fms->ctrlLogFile = nullptr;
    fms->ctrlLog = nullptr;
}

int ctrlLogOpen(FlowmirState* fms)
{
    return fms->ctrlLogFile != nullptr;
}
