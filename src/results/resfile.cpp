// Results files under temporary names, committed when the run completes.
#include "results/resfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "support/error.h"

static const char TEMP_SUFFIX[] = ".part";

// The run's record of path, or a new one; none when the list is full.
static ResFile* recordFor(FlowmirState* fms, const char* path)
{
    for (int i = 0; i < fms->nResFiles; i++)
        if (!strcmp(fms->resFiles[i].path, path)) return &fms->resFiles[i];
    if (fms->nResFiles >= RESFILE_MAX) {
        errorf(fms, FATAL, __FILE__, __LINE__, "Too many results files: %s", path);
        return nullptr;
    }
    ResFile* rf = &fms->resFiles[fms->nResFiles++];
    memset(rf, 0, sizeof *rf);
    snprintf(rf->path, sizeof rf->path, "%s", path);
    snprintf(rf->temp, sizeof rf->temp, "%s%s", path, TEMP_SUFFIX);
    return rf;
}

ResFile* resfile_open(FlowmirState* fms, const char* path)
{
    if (strlen(path) + sizeof TEMP_SUFFIX > RESFILE_PATH) {
        errorf(fms, FATAL, __FILE__, __LINE__, "Results file name too long (%d characters, at most %d): %s",
               (int)strlen(path), RESFILE_PATH - (int)sizeof TEMP_SUFFIX, path);
        return nullptr;
    }
    ResFile* rf = recordFor(fms, path);
    if (!rf) return nullptr;
    if (rf->fp) return rf;
    int fd = open(rf->temp, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    // Another run of the same project holds the name: leave its file alone.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ftruncate(fd, 0) != 0) {
        close(fd);
        return nullptr;
    }
    rf->fp = fdopen(fd, "w");
    if (!rf->fp) {
        unlink(rf->temp);
        close(fd);
        return nullptr;
    }
    rf->failed = 0;
    return rf;
}

void resfile_remove_on_commit(FlowmirState* fms, const char* path)
{
    ResFile* rf = recordFor(fms, path);
    if (rf && rf->fp) {
        // The switch went off after the file was opened: its results are not wanted.
        unlink(rf->temp);
        fclose(rf->fp);
        rf->fp = nullptr;
    }
}

void resfile_failed(ResFile* rf)
{
    if (rf) rf->failed = 1;
}

int resfile_any_failed(FlowmirState* fms, char* name, size_t size)
{
    for (int i = 0; i < fms->nResFiles; i++)
        if (fms->resFiles[i].fp && fms->resFiles[i].failed) {
            snprintf(name, size, "%s", fms->resFiles[i].path);
            return 1;
        }
    return 0;
}

int resfile_commit_all(FlowmirState* fms)
{
    int failures = 0;
    for (int i = 0; i < fms->nResFiles; i++) {
        ResFile* rf = &fms->resFiles[i];
        if (rf->fp) {
            // Renamed while still open and locked, so no second run slips in between.
            bool ok = fflush(rf->fp) == 0 && !ferror(rf->fp) && rename(rf->temp, rf->path) == 0;
            if (!ok) {
                errorf(fms, ERROR, __FILE__, __LINE__, "Could not complete results file %s: %s", rf->path,
                       strerror(errno));
                unlink(rf->temp);
                failures++;
            }
            fclose(rf->fp);
            rf->fp = nullptr;
        } else if (unlink(rf->path) != 0 && errno != ENOENT) {
            errorf(fms, ERROR, __FILE__, __LINE__, "Could not delete results file %s: %s", rf->path,
                   strerror(errno));
            failures++;
        }
    }
    fms->nResFiles = 0;
    return failures;
}

void resfile_abandon_all(FlowmirState* fms)
{
    for (int i = 0; i < fms->nResFiles; i++) {
        ResFile* rf = &fms->resFiles[i];
        if (!rf->fp) continue;
        unlink(rf->temp);
        fclose(rf->fp);
        rf->fp = nullptr;
    }
    fms->nResFiles = 0;
}

void resfile_unlink_temps(FlowmirState* fms)
{
    for (int i = 0; i < fms->nResFiles; i++)
        if (fms->resFiles[i].fp) unlink(fms->resFiles[i].temp);
}
