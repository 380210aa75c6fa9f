// Dates (day of the year) and times (seconds after midnight) and their text forms.
#include <gtest/gtest.h>

#include <string>

#include "support/timeconv.h"
#include "testutil.h"

static int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

TEST(TimeConv, MonthTablesAgree)
{
    int sum = 0;
    for (int m = 0; m < 12; m++) {
        EXPECT_EQ(daysBeforeMonth[m], sum) << monthName[m];
        sum += monthLength[m];
    }
    EXPECT_EQ(sum, 365);
}

TEST(TimeConv, MonthNameDates)
{
    struct Case {
        const char* text;
        int status;
        int day;
    } cases[] = {
        {"Jan01", 0, 1},   {"feb 3", 0, 34},  {"FEB03", 0, 34},  {"3feb", 0, 34},  {"Dec31", 0, 365},
        {"Feb28", 0, 59},  {"mar1", 0, 60},   {" Jul 4 ", 0, 185},
        {"Feb29", 1, 1},   {"Apr31", 1, 1},   {"Jan00", 1, 1},   {"Janu01", 1, 1}, {"Jan123", 1, 1},
        {"Jan-1", 1, 1},   {"Jan", 1, 1},     {"Foo01", 1, 1},   {"Ja01", 1, 1},   {"", 1, 1},
        {"Jan\t01", 1, 1},
    };
    for (const Case& c : cases) {
        int day = -7;
        EXPECT_EQ(datecon(c.text, &day), c.status) << c.text;
        EXPECT_EQ(day, c.day) << c.text;
    }
}

TEST(TimeConv, MonthSlashDayDates)
{
    struct Case {
        const char* text;
        int status;
        int day;
    } cases[] = {
        {"1/1", 0, 1},    {"12/31", 0, 365}, {"2/28", 0, 59},  {"03/01", 0, 60},
        {"2/29", 1, 0},   {"0/1", 1, 0},     {"13/1", 1, 0},   {"1/32", 1, 0},  {"1/0", 1, 0},
        {"1/2/3", 1, 0},  {"1-2", 1, 0},     {"/1", 1, 0},     {"12", 1, 0},    {"", 1, 0},
        {"99999999999/1", 1, 0},             {"1/99999999999", 1, 0},
    };
    for (const Case& c : cases) {
        int day = -7;
        EXPECT_EQ(datxcon(c.text, &day), c.status) << c.text;
        EXPECT_EQ(day, c.day) << c.text;
    }
}

TEST(TimeConv, ClockTimes)
{
    const int untouched = -7;
    struct Case {
        const char* text;
        int status;
        int seconds;
    } cases[] = {
        {"0:00:00", 0, 0},          {"00:00:00", 0, 0},        {"7:05:09", 0, 25509},
        {"07:05:09", 0, 25509},     {"23:59:59", 0, 86399},    {"24:00:00", 0, 86400},
        {"12:30:00 and more", 0, 45000},
        {"24:00:01", 1, 86401},     {"24:59:59", 1, 89999},  // out of range: stored all the same
        {"25:00:00", 1, untouched}, {"7:5:09", 1, untouched},  {"7:60:00", 1, untouched},
        {"7:05:60", 1, untouched},  {"7:05", 1, untouched},    {"12:00", 1, untouched},
        {"123:00:00", 1, untouched}, {"a:00:00", 1, untouched}, {"", 1, untouched},
        {"3600", 1, untouched},
    };
    for (const Case& c : cases) {
        int t = untouched;
        EXPECT_EQ(timecon(c.text, &t) != 0, c.status != 0) << c.text;
        EXPECT_EQ(t, c.seconds) << c.text;
    }
}

TEST(TimeConv, DateTextForms)
{
    TestState s;
    char out[16];
    struct Case {
        int day;
        const char* name;
        const char* slash;
    } cases[] = {
        {1, "Jan01", "1/1"}, {31, "Jan31", "1/31"}, {32, "Feb01", "2/1"}, {59, "Feb28", "2/28"},
        {60, "Mar01", "3/1"}, {334, "Nov30", "11/30"}, {335, "Dec01", "12/1"}, {365, "Dec31", "12/31"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(datestr(s.fms, c.day, out), c.name);
        EXPECT_STREQ(datxstr(s.fms, c.day, out), c.slash);
    }
    // Every day survives both text forms.
    for (int day = 1; day <= 365; day++) {
        int back = 0;
        EXPECT_EQ(datecon(datestr(s.fms, day, out), &back), 0) << day;
        EXPECT_EQ(back, day);
        EXPECT_EQ(datxcon(datxstr(s.fms, day, out), &back), 0) << day;
        EXPECT_EQ(back, day);
    }
}

TEST(TimeConv, TimeText)
{
    TestState s;
    s->errorFcn = quietFcn;
    char out[16];
    EXPECT_STREQ(timestr(s.fms, 0, out), "00:00:00");
    EXPECT_STREQ(timestr(s.fms, 3661, out), "01:01:01");
    EXPECT_STREQ(timestr(s.fms, 86400, out), "24:00:00");
    for (int t = 0; t <= 86400; t += 997) {
        int back = -1;
        EXPECT_EQ(timecon(timestr(s.fms, t, out), &back), 0) << t;
        EXPECT_EQ(back, t);
    }
    EXPECT_EQ(s->errorCount, 0);
    for (int bad : {86401, -1}) {
        strcpy(out, "stale");
        EXPECT_EQ(timestr(s.fms, bad, out), nullptr);
        EXPECT_STREQ(out, "");
        EXPECT_EQ(std::string(s->lastError), "ERROR  invalid time: " + std::to_string(bad) + "\n");
    }
    EXPECT_EQ(s->errorCount, 2);
}
