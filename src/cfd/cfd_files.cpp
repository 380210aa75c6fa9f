// The zone's files: named by the project's drive, directory and name, "_" and the zone's name,
// and written as results files of the run (committed when the run completes).
#include <cstdarg>
#include <cstring>

#include "cfd/cfd.h"
#include "results/resfile.h"
#include "support/error.h"
#include "support/paths.h"

void cfd_set_base(FlowmirState* fms, const char* zoneName)
{
    CfdRun* r = fms->cfdRun;
    char name[300];
    snprintf(name, sizeof name, "%s_%s", fms->_prjname, zoneName);
    pathmerge(fms, r->base, sizeof r->base, fms->_pdrive, fms->_pdir, name, "");
}

void cfd_path(const CfdRun* r, const char* ext, char* out, size_t size)
{
    snprintf(out, size, "%s%s", r->base, ext);
}

FILE* cfd_open(FlowmirState* fms, CfdFile* f, const char* ext)
{
    if (f->fp) return f->fp;
    char path[RESFILE_PATH];
    cfd_path(fms->cfdRun, ext, path, sizeof path);
    f->res = resfile_open(fms, path);
    // No report goes through a missing file.
    if (!f->res || !f->res->fp)
        errorf(fms, FATAL, __FILE__, __LINE__, "Unable to create CFD file %s; is it already open?", path);
    f->fp = f->res->fp;
    return f->fp;
}

// A report that lost lines is not committed as complete.
void cfd_flushed(FlowmirState*, CfdFile* f)
{
    if (f->fp && (fflush(f->fp) != 0 || ferror(f->fp))) resfile_failed(f->res);
}

int cfd_bal(FlowmirState* fms, const char* format, ...)
{
    CfdRun* r = fms->cfdRun;
    FILE* fp = cfd_open(fms, &r->bal, ".bal");
    va_list ap;
    va_start(ap, format);
    int n = vfprintf(fp, format, ap);
    va_end(ap);
    cfd_flushed(fms, &r->bal);
    return n;
}

// A line of the solver's progress: on the console and in the ".bal" log.
int cfd_say(FlowmirState* fms, const char* format, ...)
{
    va_list ap;
    if (!fms->quiet) {
        va_start(ap, format);
        vfprintf(stderr, format, ap);
        va_end(ap);
    }
    CfdRun* r = fms->cfdRun;
    FILE* fp = cfd_open(fms, &r->bal, ".bal");
    va_start(ap, format);
    int n = vfprintf(fp, format, ap);
    va_end(ap);
    cfd_flushed(fms, &r->bal);
    return n;
}
