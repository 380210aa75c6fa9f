// The report of the run's extremes that closes the statistics of a transient airflow run.
#include "results/extremes_report.h"

#include "support/timeconv.h"

// One extreme: printed only when it carries a value of its sign.
static void printExtreme(FlowmirState* fms, LogFcn print, const char* format, const FlowmirState::RunExtreme& x)
{
    char time[16], date[16];
    timestr(fms, x.time, time);
    datestr(fms, x.date, date);
    print(fms->logFile, format, x.value, x.nr, time, date);
}

void writeLog_extremes(FlowmirState* fms, LogFcn print)
{
    if (!print) return;
    if (fms->achMax.value > 0)
        printExtreme(fms, print, "Maximum air exchange rate: ~%.1f ACH in zone %d at %s on %s\n", fms->achMax);
    if (fms->zonePgMax.value > 0)
        printExtreme(fms, print, "Maximum gage pressure: %.1f Pa in zone %d at %s on %s\n", fms->zonePgMax);
    if (fms->zonePgMin.value < 0)
        printExtreme(fms, print, "Minimum gage pressure: %.1f Pa in zone %d at %s on %s\n", fms->zonePgMin);
    if (fms->jctPgMax.value > 0)
        printExtreme(fms, print, "Maximum gage pressure: %.1f Pa in junction %d at %s on %s\n", fms->jctPgMax);
    if (fms->jctPgMin.value < 0)
        printExtreme(fms, print, "Minimum gage pressure: %.1f Pa in junction %d at %s on %s\n", fms->jctPgMin);
    print(fms->logFile, "\n");
}
