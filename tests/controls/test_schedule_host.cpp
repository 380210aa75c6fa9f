// A fan on a week schedule, run through the host: its flow in the results file follows the
// day schedule of each day's type.
#include <gtest/gtest.h>

#include <string>

#include "results/simread.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

// The fan's supply (path 2) at the end of each listed step.
static float fanFlow(const SimRecord& r)
{
    for (const SimPathRow& p : r.paths)
        if (p.nr == 2) return p.F0;
    ADD_FAILURE() << "no row of path 2";
    return -1.0f;
}

// Day 1 is a weekday (day type 5): on from 08:00 to 17:00, so the steps ending 09:00 to 17:00
// carry the fan's 0.06 kg/s. Day 2 (type 6) takes the weekend's day schedule: off all day.
TEST(ScheduledFan, FlowFollowsTheWeekScheduleInTheResultsFile)
{
    std::string dir = scratchDir();
    writeFile(dir + "/sch_fan.prj", readFile(kProjects + "/sch_fan.prj"));
    ChildResult r = runHost("-q sch_fan", dir);
    ASSERT_EQ(r.status, 0) << r.err;

    SimFile f;
    std::string why;
    ASSERT_TRUE(simRead((dir + "/sch_fan.sim").c_str(), &f, &why)) << why;
    int steps = 0;
    for (const SimRecord& rec : f.records) {
        if (rec.kind != SIM_STEP_RECORD) continue;
        steps++;
        bool on = rec.day == 1 && rec.time >= 9 * 3600 && rec.time <= 17 * 3600;
        EXPECT_EQ(rec.dayType, rec.day == 1 ? 5 : 6) << rec.day;
        EXPECT_EQ(fanFlow(rec), on ? 0.06f : 0.0f) << "day " << rec.day << " at " << rec.time;
    }
    // 00:00 to 24:00 hourly on day 1, the repeated midnight and 01:00 to 24:00 on day 2.
    EXPECT_EQ(steps, 50);
}

// The bundled controls example: the fan's speed in the control log stays 0 until the sensed
// office temperature passes the 23 C set point late in the morning, saturates at 1, and stops
// with the schedule at 19:00 on the Friday and all Saturday.
TEST(ScheduledFan, ControlExampleRunsItsPiControllerWithinTheSchedule)
{
    std::string dir = scratchDir();
    writeFile(dir + "/fan_control.prj", readFile(std::string(FLOWMIR_EXAMPLES) + "/fan_control.prj"));
    ChildResult r = runHost("-q fan_control", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string log = readFile(dir + "/fan_control.log");
    struct Case {
        const char* line;
    } cases[] = {
        {"1/1\t10:15:00\t36900\t0.000000e+00\n"},  // the office still below the set point
        {"1/1\t12:00:00\t43200\t1.000000e+00\n"},  // saturated
        {"1/1\t18:45:00\t67500\t1.000000e+00\n"},
        {"1/1\t19:00:00\t68400\t0.000000e+00\n"},  // the schedule stops the fan
        {"1/2\t12:00:00\t43200\t0.000000e+00\n"},  // Saturday
        {"1/2\t24:00:00\t86400\t0.000000e+00\n"},
    };
    for (const Case& c : cases) EXPECT_NE(log.find(c.line), std::string::npos) << c.line;
    // Between, the controller moves through intermediate speeds.
    EXPECT_NE(log.find("1/1\t11:00:00\t39600\t3.8"), std::string::npos);
}
