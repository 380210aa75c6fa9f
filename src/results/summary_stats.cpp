// Statistics of the summary files.
#include "results/summary_stats.h"

#include <cmath>

#include "support/timeconv.h"

void stat_sample(SumStat* day, float x, int t)
{
    if (day->n == 0) {
        day->sum = x;
        day->sumSq = (double)x * x;
        day->min = day->max = x;
        day->tmin = day->tmax = t;
        day->n = 1;
        return;
    }
    day->sum += x;
    day->sumSq += (double)x * x;
    if (x < day->min) {
        day->min = x;
        day->tmin = t;
    }
    if (x > day->max) {
        day->max = x;
        day->tmax = t;
    }
    day->n++;
}

void stat_merge(SumStat* run, SumStat* day, int date)
{
    if (day->n == 0) return;
    if (run->n == 0) {
        *run = *day;
        run->tmin = run->tmax = date;
    } else {
        run->sum += day->sum;
        run->sumSq += day->sumSq;
        run->n += day->n;
        if (day->min < run->min) {
            run->min = day->min;
            run->tmin = date;
        }
        if (day->max > run->max) {
            run->max = day->max;
            run->tmax = date;
        }
    }
    day->n = 0;
}

double stat_avg(const SumStat* s)
{
    return s->sum / s->n;
}

double stat_dev(const SumStat* s)
{
    double avg = stat_avg(s);
    return sqrt(fabs(s->sumSq / s->n - avg * avg));
}

void stat_write(FlowmirState* fms, FILE* fp, const SumStat* s, bool dates)
{
    char tmin[16], tmax[16];
    if (dates) {
        datestr(fms, s->tmin, tmin);
        datestr(fms, s->tmax, tmax);
    } else {
        timestr(fms, s->tmin, tmin);
        timestr(fms, s->tmax, tmax);
    }
    fprintf(fp, "\t%.6e\t%.6e\t%s\t%.6e\t%s\t%.6e\n", stat_avg(s), stat_dev(s), tmin, s->min, tmax, s->max);
}
