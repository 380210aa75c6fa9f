// The CFD zone without the coupling: a case read and its reports written from the initial
// fields.
#include "cfd/cfd.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/log.h"

// Reads the case of the zone named zoneName of the project (fms's project name parts), sets
// the initial fields (or those of the zone's ".var" file when the case asks for a restart),
// writes every report of them and releases the CFD record. The files join the run's results
// files and are completed with them.
int cfd_uncoupled(FlowmirState* fms, const char* zoneName)
{
    CfdRun* r = cfd_run(fms);
    cfd_set_base(fms, zoneName);
    r->clock0 = clock();
    input(fms, 0);
    cfd_init_fields(fms);
    if (r->restart) {
        char path[RESFILE_PATH];
        cfd_path(r, ".var", path, sizeof path);
        if (!cfd_var_read(fms, path, 0))
            errorf(fms, WARNING, __FILE__, __LINE__,
                   "No CFD restart (var) file found: %s; the solution starts from the initial fields", path);
    }
    int when = fms->stepEndTime;
    r->time = when;
    cfd_mon_header(fms, 1);
    cfd_mon_flow(fms, when);
    cfd_ret_write(fms);
    if (r->nc > 0) {
        cfd_ret_ctm(fms);
        cfd_mon_ctm(fms, when);
    }
    cfd_dat_write(fms, when);
    if (r->nsl[0] + r->nsl[1] + r->nsl[2] > 0) cfd_out_write(fms);
    cfd_var_write(fms);
    if (r->ewc) makeewc(fms);
    cfd_free(fms);
    return 0;
}
