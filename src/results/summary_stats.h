// Statistics of the summary files: one record per quantity for the current day and one for the
// run. A day's record starts again with its first sample; at each day end it is merged into
// the run's, whose extremes then carry the day's date.
#ifndef FLOWMIR_RESULTS_SUMMARY_STATS_H
#define FLOWMIR_RESULTS_SUMMARY_STATS_H

#include <cstdio>

#include "engine/state.h"

typedef FlowmirState::SumStat SumStat;

// One sample x at time of day t.
void stat_sample(SumStat* day, float x, int t);
// Merges the day into the run (extremes dated date) and empties the day.
void stat_merge(SumStat* run, SumStat* day, int date);
double stat_avg(const SumStat* s);
double stat_dev(const SumStat* s);
// "\t%.6e\t%.6e\t%s\t%.6e\t%s\t%.6e\n": average, deviation, when and what the minimum was, when
// and what the maximum was; the moments as times of day (a day's) or dates (the run's).
void stat_write(FlowmirState* fms, FILE* fp, const SumStat* s, bool dates);

#endif
