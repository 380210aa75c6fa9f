// Day and week schedules: step and ramp profiles at the end of hourly steps, segments of zero
// length, the value past the last point, the time to the next point, the daylight-saving day
// type, the lookup at any time, and the readers' refusals.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "ctrl_fixture.h"

// Day schedule nr with points "hh:mm:ss value" and a shape (0 step, 1 ramp).
static std::string day(int nr, int shape, const std::vector<std::string>& points)
{
    std::string s = std::to_string(nr) + " " + std::to_string(points.size()) + " " + std::to_string(shape) +
                    " 0 0 editor data\nday schedule " + std::to_string(nr) + "\n";
    for (const std::string& p : points) s += p + "\n";
    return s;
}

static std::string days(const std::vector<std::string>& records)
{
    std::string s = std::to_string(records.size()) + " ! day schedules\n";
    for (const std::string& r : records) s += r;
    return s.substr(0, s.size() - 1);
}

// One week schedule with the day schedule of each of the 12 day types.
static std::string week(const std::vector<int>& perType)
{
    std::string s = "1 ! week schedules\n1 0 0 week\nthe week\n";
    for (int d : perType) s += std::to_string(d) + " ";
    return s;
}

static const std::vector<int> kAllOne(12, 1);

struct SchedRun : CtrlProject {
    explicit SchedRun(const Sections& s) : CtrlProject(minimalWith(s)) {}
    float at(int t)
    {
        setSchedulesAndControls(fms, t, 0);
        return fms->WshLst[1]->value;
    }
};

TEST(Schedules, StepProfileHoldsUntilThePointThatEndsTheStep)
{
    SchedRun r({days({day(1, 0, {"0:00:00 1", "8:00:00 0", "24:00:00 0"})}), week(kAllOne), ""});
    for (int h = 1; h <= 24; h++) {
        SCOPED_TRACE(h);
        EXPECT_FLOAT_EQ(r.at(h * 3600), h <= 8 ? 1.0f : 0.0f);
    }
}

TEST(Schedules, RampProfileInterpolatesBetweenPoints)
{
    SchedRun r({days({day(1, 1, {"0:00:00 0", "12:00:00 1", "24:00:00 0"})}), week(kAllOne), ""});
    struct {
        int t;
        float v;
    } cases[] = {{3 * 3600, 0.25f}, {6 * 3600, 0.5f}, {12 * 3600, 1.0f}, {15 * 3600, 0.75f},
                 {21 * 3600, 0.25f}, {24 * 3600, 0.0f}, {1800, 1.0f / 24.0f}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.t);
        EXPECT_NEAR(r.at(c.t), c.v, 1e-6f);
    }
}

// Two points at one time: the segment between them is skipped, never divided by.
TEST(Schedules, ZeroLengthSegmentsAreSkipped)
{
    SchedRun step({days({day(1, 0, {"0:00:00 1", "8:00:00 0", "8:00:00 5", "24:00:00 0"})}), week(kAllOne), ""});
    EXPECT_FLOAT_EQ(step.at(8 * 3600), 1.0f);
    EXPECT_FLOAT_EQ(step.at(9 * 3600), 5.0f);

    SchedRun ramp({days({day(1, 1, {"0:00:00 0", "12:00:00 1", "12:00:00 3", "24:00:00 3"})}), week(kAllOne), ""});
    EXPECT_FLOAT_EQ(ramp.at(12 * 3600), 1.0f);
    EXPECT_FLOAT_EQ(ramp.at(12 * 3600 + 60), 3.0f);
    EXPECT_FLOAT_EQ(ramp.at(18 * 3600), 3.0f);
}

// A profile that ends before midnight holds its last value instead of running on along the
// last segment (which would reach -1 at 24:00 here).
TEST(Schedules, ValuePastTheLastPointHolds)
{
    for (int shape : {0, 1}) {
        SCOPED_TRACE(shape);
        SchedRun r({days({day(1, shape, {"0:00:00 0", "12:00:00 1"})}), week(kAllOne), ""});
        EXPECT_FLOAT_EQ(r.at(13 * 3600), 1.0f);
        EXPECT_FLOAT_EQ(r.at(24 * 3600), 1.0f);
        // The time to the next point is never negative.
        EXPECT_EQ(wkScheds_seek(r.fms, 0, 18 * 3600), 6 * 3600);
    }
}

TEST(Schedules, SeekReturnsTheTimeToTheNextPointOfAnyScheduleInUse)
{
    std::string w = "2 ! week schedules\n1 0 0 a\na\n1 1 1 1 1 1 1 1 1 1 1 1\n2 0 0 b\nb\n2 2 2 2 2 2 2 2 2 2 2 3";
    SchedRun r({days({day(1, 0, {"0:00:00 1", "8:00:00 0", "24:00:00 0"}),
                      day(2, 1, {"0:00:00 0", "6:00:00 1", "24:00:00 0"}),
                      day(3, 0, {"0:00:00 0", "1:00:00 1", "24:00:00 0"})}),
                w, ""});
    FlowmirState* fms = r.fms;
    EXPECT_EQ(wkScheds_seek(fms, 0, 3600), 5 * 3600);       // schedule 2's 06:00
    EXPECT_EQ(wkScheds_seek(fms, 0, 7 * 3600), 3600);       // schedule 1's 08:00
    EXPECT_EQ(wkScheds_seek(fms, 0, 9 * 3600), 15 * 3600);  // 24:00
    EXPECT_EQ(fms->schedDayType, 0);
    EXPECT_EQ(fms->DshLst[3]->seeked, 0);  // not in use on day type 1
    EXPECT_EQ(wkScheds_seek(fms, 11, 1800), 1800);
    EXPECT_EQ(fms->DshLst[3]->seeked, 1);
    EXPECT_EQ(fms->DshLst[2]->seeked, 0);
}

// Daylight saving: 23:30 is 00:30 of the next weekday, whatever the calendar's next day type.
TEST(Schedules, DaylightSavingMovesLateStepsToTheNextWeekday)
{
    std::vector<int> perType = {1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
    SchedRun r({days({day(1, 0, {"0:00:00 10", "24:00:00 10"}), day(2, 1, {"0:00:00 0", "1:00:00 1", "24:00:00 1"}),
                      day(3, 0, {"0:00:00 30", "24:00:00 30"})}),
                week(perType), ""});
    FlowmirState* fms = r.fms;
    fms->dayType = 1;
    fms->dayOfWeek = 1;
    fms->dstFlag = 0;
    EXPECT_FLOAT_EQ(r.at(23 * 3600 + 1800), 10.0f);
    fms->dstFlag = 1;
    EXPECT_FLOAT_EQ(r.at(10 * 3600), 10.0f);
    EXPECT_FLOAT_EQ(r.at(23 * 3600 + 1800), 0.5f);  // day type 2 at 00:30
    EXPECT_EQ(fms->schedDayType, 1);
    // A special day type of today does not matter either: the weekday decides.
    fms->dayType = 9;
    EXPECT_FLOAT_EQ(r.at(23 * 3600 + 1800), 0.5f);
    EXPECT_FLOAT_EQ(r.at(12 * 3600), 30.0f);
    // Saturday (7) goes on to Sunday (1).
    fms->dayType = 7;
    fms->dayOfWeek = 7;
    EXPECT_FLOAT_EQ(r.at(23 * 3600 + 1800), 10.0f);
    EXPECT_EQ(fms->schedDayType, 0);
}

TEST(Schedules, LookupAtAnyTimeIsLinearAndHoldsAtTheEnds)
{
    SchedRun r({days({day(1, 0, {"0:10:00 2", "1:10:00 4"})}), week(kAllOne), ""});
    DaySchedule* ds = r.fms->DshLst[1];
    struct {
        double t;
        float v;
    } cases[] = {{600, 2.0f}, {2400, 3.0f}, {2400.5, 3.0f + 0.5f / 1800.0f}, {4200, 4.0f}, {7200, 4.0f},
                 {0, 2.0f}, {90000, 4.0f}, {1500, 2.5f}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.t);
        EXPECT_NEAR(sch_val(c.t, ds), c.v, 1e-6f);
    }
}

struct ReadFault {
    const char* label;
    Sections sections;
    const char* message;
};

// Every refusal of the two readers ends the reading with a fatal error.
TEST(Schedules, ReaderRefusals)
{
    const std::string okDay = days({day(1, 0, {"0:00:00 1", "24:00:00 1"})});
    const ReadFault cases[] = {
        {"day number", {"1\n2 2 0 0 0\nx\n0:00:00 1\n24:00:00 1", "", ""}, "Day-schedule number mis-match: 1"},
        {"one point", {days({day(1, 0, {"0:00:00 1"})}), "", ""}, "Day schedule 1 needs at least 2 points, has 1"},
        {"no points", {days({day(1, 1, {})}), "", ""}, "Day schedule 1 needs at least 2 points, has 0"},
        {"huge count", {"1\n1 30000 0 0 0\nx\n0:00:00 1\n24:00:00 1", "", ""},
         "Invalid point count in day schedule 1: 30000"},
        {"decreasing", {days({day(1, 0, {"0:00:00 1", "9:00:00 2", "8:00:00 3"})}), "", ""},
         "Day schedule 1: point times must not decrease"},
        {"shape", {days({day(1, 2, {"0:00:00 1", "24:00:00 1"})}), "", ""}, "Day schedule 1: invalid shape 2"},
        {"bad time", {days({day(1, 0, {"0:00:00 1", "25:00:00 1"})}), "", ""}, "25:00:00 is not a valid time"},
        {"negative count", {"-1 ! day schedules", "", ""}, "Invalid record count in Day Schedule section: -1"},
        {"day end", {okDay + "\n0", "", ""},
         "PRJ read error in Day Schedule section; enable the echo feature then see Log file for where error "
         "occurred"},
        {"week number", {okDay, "1\n3 0 0 w\nw\n1 1 1 1 1 1 1 1 1 1 1 1", ""}, "Week-schedule number mis-match: 1"},
        {"day too high", {okDay, week({1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1}), ""}, "Bad day-schedule: 2"},
        {"day zero", {okDay, week({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}), ""}, "Bad day-schedule: 0"},
        {"no day schedules", {"", week(kAllOne), ""}, "Bad day-schedule: 1"},
        {"week end", {okDay, week(kAllOne) + "\n7", ""}, "PRJ read error in Week Schedule section"},
    };
    for (const ReadFault& c : cases) {
        SCOPED_TRACE(c.label);
        std::string text = minimalWith(c.sections);
        std::string message = c.message;
        ChildResult r = runChild([&] {
            CtrlProject p(text, false);
            _exit(0);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("ERROR " + message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("FATAL Project file errors must be fixed."), std::string::npos) << r.err;
    }
}

TEST(Schedules, ReadersKeepRecordsAndReleaseTables)
{
    CtrlProject p(minimalWith({days({day(1, 0, {"0:00:00 1", "24:00:00 1"}), day(2, 1, {"0:00:00 0", "24:00:00 2"})}),
                               week({1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2}), ""}));
    FlowmirState* fms = p.fms;
    EXPECT_EQ(fms->ndsh, 2);
    EXPECT_EQ(fms->nwsh, 1);
    EXPECT_NE(p.log().find("Day Schedule section read successfully.\n"), std::string::npos);
    EXPECT_NE(p.log().find("Week Schedule section read successfully.\n"), std::string::npos);
    DaySchedule* d2 = fms->DshLst[2];
    EXPECT_EQ(d2->npts, 2);
    EXPECT_EQ(d2->shape, 1);
    EXPECT_EQ(d2->times[1], 86400);
    EXPECT_FLOAT_EQ(d2->values[1], 2.0f);
    EXPECT_EQ(fms->daySchedList, fms->DshLst[1]);
    EXPECT_EQ(fms->DshLst[1]->next, d2);
    WeekSchedule* w = fms->WshLst[1];
    EXPECT_EQ(w->daySched[0], fms->DshLst[1]);
    EXPECT_EQ(w->daySched[11], d2);
    EXPECT_EQ(fms->weekSchedList, w);
    sched_free_lists(fms);
    EXPECT_EQ(fms->DshLst, nullptr);
    EXPECT_EQ(fms->WshLst, nullptr);
    EXPECT_EQ(fms->daySchedList->next, d2);  // the records stay with the run
}
