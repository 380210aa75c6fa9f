// Termination signals of a batch run.
#include "engine/signals.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "boundary/ctm_file.h"
#include "boundary/weather.h"
#include "boundary/wpc_file.h"
#include "controls/valfile.h"
#include "results/resfile.h"
#include "support/log.h"

static const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
enum { NSTOP = sizeof STOP_SIGNALS / sizeof STOP_SIGNALS[0] };

static FlowmirState* volatile running = nullptr;
static struct sigaction saved[NSTOP];
static bool installed = false;

static void onStopSignal(int sig)
{
    FlowmirState* fms = running;
    if (!fms) _exit(128 + sig);
    if (fms->stopSignal) {
        // Asked twice: no safe point came; only unlink is safe here.
        resfile_unlink_temps(fms);
        _exit(128 + sig);
    }
    fms->stopSignal = sig;
}

void signals_install(FlowmirState* fms)
{
    fms->stopSignal = 0;
    running = fms;
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < NSTOP; i++) sigaction(STOP_SIGNALS[i], &sa, &saved[i]);
    installed = true;
}

void signals_restore(void)
{
    if (!installed) return;
    for (int i = 0; i < NSTOP; i++) sigaction(STOP_SIGNALS[i], &saved[i], nullptr);
    installed = false;
    running = nullptr;
}

void signals_check(FlowmirState* fms)
{
    int sig = fms->stopSignal;
    if (!sig) return;
    const char* name = strsignal(sig);
    LOG(fms, "Simulation stopped by signal %d (%s)\n", sig, name ? name : "?");
    if (!fms->quiet) fprintf(stderr, "Simulation stopped by signal %d (%s)\n", sig, name ? name : "?");
    resfile_abandon_all(fms);
    WTH_close(fms);
    CTM_close(fms);
    CVF_close(fms);
    DVF_close(fms);
    WPC_close(fms);
    fms->logFcn = nullptr;
    closeLogFile(&fms->logFile);
    fflush(stdout);
    exit(128 + sig);
}
