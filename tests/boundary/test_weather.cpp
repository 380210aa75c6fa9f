// The weather file: its calendar, forward reading through the bracket, interpolation and
// publishing of the ambient conditions, its messages, and the start of a new year.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "boundary/weather.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/nxt.h"
#include "support/timeconv.h"
#include "testutil.h"

static int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

static std::string mmdd(int day)
{
    char buf[16];
    return datxstr(nullptr, day, buf);
}

// Calendar lines for first..last: day of week and day type follow a week starting on day 1.
static std::string calendar(int first, int last)
{
    std::string text;
    for (int d = first; d <= last; d++) {
        int dow = (d - 1) % 7 + 1;
        text += mmdd(d) + " " + std::to_string(dow) + " " + std::to_string(dow) + " 0 0.0\n";
    }
    return text;
}

static std::string rec(const std::string& date, const std::string& time, double T, double P = 101325,
                       double ws = 0, double wd = 0, double hr = 0)
{
    char buf[256];
    snprintf(buf, sizeof buf, "%s %s %g %g %g %g %g 1 2 3 4 5\n", date.c_str(), time.c_str(), T, P, ws, wd,
             hr);
    return buf;
}

static std::string weatherText(const std::string& calendarLines, int first, int last,
                               const std::string& records)
{
    return "WeatherFile Flowpad 2.0\ntest weather ! not a comment here\n" + mmdd(first) + " " + mmdd(last) +
           "\n" + calendarLines + records;
}

static std::string weatherText(int first, int last, const std::string& records)
{
    return weatherText(calendar(first, last), first, last, records);
}

static std::string writeWeather(const std::string& text)
{
    std::string path = scratchDir() + "/wth_test.wth";
    writeFile(path, text);
    return path;
}

// A state with a logged, quiet error function and a weather file of the given text.
struct Weather {
    TestState s;
    std::string path;
    explicit Weather(const std::string& text)
    {
        s.openLog();
        s->errorFcn = quietFcn;
        path = writeWeather(text);
        snprintf(s->wthPath, sizeof s->wthPath, "%s", path.c_str());
        s->iH2O = -1;
    }
    ~Weather() { WTH_close(s.fms); }
    FlowmirState* fms() { return s.fms; }
    int count(const std::string& text)
    {
        std::string log = s.log();
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            n++;
        return n;
    }
};

TEST(Weather, InterpolatesAndPublishesBetweenTwoRecords)
{
    Weather w(weatherText(
        1, 1, rec("1/1", "1:00:00", 280, 101000, 2, 90, 5) + rec("1/1", "03:00:00", 288, 101800, 6, 170, 9)));
    FlowmirState* fms = w.fms();
    AirNode ambient{};
    double mf[2] = {0.1, 0.2};
    ambient.Mf = mf;
    ambient.P = 12.0;
    fms->ambt = &ambient;
    fms->nctm = 2;
    fms->iH2O = 1;
    fms->listLevel = 2;

    WTH_init(fms, 1, 1, 1);
    // The first record lies ahead of the start: its values are held until it is reached.
    EXPECT_EQ(WTH_get(fms, 1, 0, 1), 3600);
    EXPECT_FLOAT_EQ(fms->Tambt, 280.0f);

    struct Case {
        int time, advance, ahead;
        double T, P, ws, wd, hr;
    } cases[] = {
        {3600, 0, 0, 280, 101000, 2, 90, 5},     // at the record, not past it
        {3600, 1, 7200, 280, 101000, 2, 90, 5},  // past it: the next record is read, same values
        {5400, 0, 5400, 282, 101200, 3, 110, 6}, // a quarter of the way
        {9000, 0, 1800, 286, 101600, 5, 150, 8}, // three quarters
        {10800, 0, 0, 288, 101800, 6, 170, 9},   // at the later record
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        EXPECT_EQ(WTH_get(fms, 1, c.time, c.advance), c.ahead);
        EXPECT_FLOAT_EQ(fms->Tambt, (float)c.T);
        EXPECT_DOUBLE_EQ(ambient.T, c.T);
        EXPECT_DOUBLE_EQ(fms->Pambt, c.P);
        EXPECT_FLOAT_EQ(fms->Wspd, (float)c.ws);
        EXPECT_FLOAT_EQ(fms->Wdir, (float)c.wd);
        EXPECT_FLOAT_EQ(fms->Wambt, (float)(c.hr / 1000));
        EXPECT_NEAR(mf[1], c.hr / 1000 / (1 + c.hr / 1000), 1e-9);
    }
    EXPECT_EQ(ambient.P, 0.0);
    EXPECT_EQ(mf[0], 0.1); // only the water-vapour species follows the humidity ratio
    EXPECT_EQ(w.count("  WTH: 14.85 C, 101800 Pa, 6 m/s, 170 deg, 9 g/kg\n"), 1);
    EXPECT_EQ(fms->errorCount, 0) << w.s.log();
}

TEST(Weather, WindDirectionTurnsThroughNorth)
{
    Weather w(weatherText(
        1, 1,
        rec("1/1", "01:00:00", 280, 101325, 3, 350) + rec("1/1", "02:00:00", 280, 101325, 3, 10) +
            rec("1/1", "03:00:00", 280, 101325, 3, 30) + rec("1/1", "04:00:00", 280, 101325, 3, 350)));
    FlowmirState* fms = w.fms();
    WTH_init(fms, 1, 1, 1);
    struct Case {
        int time;
        float wdir;
    } cases[] = {
        {3600, 350},  {4500, 355}, {5400, 0},   // half-way between 350 and 10 is north, shown as 0
        {6300, 5},    {9000, 20},  {12600, 10}, // 30 back to 350 turns through north again
        {14400, 350},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        WTH_get(fms, 1, c.time, 0);
        EXPECT_NEAR(fms->Wdir, c.wdir, 1e-4);
        EXPECT_GE(fms->Wdir, 0.0f);
        EXPECT_LT(fms->Wdir, 360.0f);
    }
}

// Directions far beyond one turn, or below north, are brought into [0, 360) when read, and the
// stored pair stays within two turns however often the wind turns the same way round.
TEST(Weather, WindDirectionsAreReducedIntoOneTurn)
{
    Weather w(weatherText(
        1, 1,
        rec("1/1", "01:00:00", 280, 101325, 3, 1e20) + rec("1/1", "02:00:00", 280, 101325, 3, 370) +
            rec("1/1", "03:00:00", 280, 101325, 3, -90) + rec("1/1", "04:00:00", 280, 101325, 3, -1e20)));
    FlowmirState* fms = w.fms();
    WTH_init(fms, 1, 1, 1);
    struct Case {
        int time;
        float wdir;
    } cases[] = {
        {3600, 280},  // 1e20 is 280 past a whole number of turns
        {5400, 325},  // 280 to 10 (370) by the short way
        {9000, 320},  // 10 to 270 (-90) by the short way, through north
        {12600, 355}, // 270 to 80 (-1e20)
        {14400, 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        WTH_get(fms, 1, c.time, 0);
        EXPECT_NEAR(fms->Wdir, c.wdir, 1e-3);
        for (double d : {fms->wthPrev[WTH_WDIR], fms->wthNext[WTH_WDIR]}) {
            EXPECT_GE(d, 0.0);
            EXPECT_LT(d, 720.0);
        }
    }
    EXPECT_EQ(fms->errorCount, 0) << w.s.log();
}

// Records before the start day are passed on the way to the start; the earlier record of the
// first bracket must carry its own values, not those of a record further back.
TEST(Weather, EarlierRecordBeforeTheStartCarriesItsOwnValues)
{
    std::string hourlyDay1;
    for (int h = 1; h <= 24; h++)
        hourlyDay1 += rec("1/1", std::to_string(h) + ":00:00", 250 + h);
    struct Case {
        const char* name;
        std::string records;
        int day, time;
        double T;
    } cases[] = {
        {"daily at noon",
         rec("1/1", "12:00:00", 270) + rec("1/2", "12:00:00", 280) + rec("1/3", "12:00:00", 290), 3, 6 * 3600,
         287.5},
        {"24:00 of the day before", hourlyDay1 + rec("1/2", "01:00:00", 300), 2, 1800, 287},
        {"evening of the day before",
         rec("1/1", "00:00:00", 200) + rec("1/1", "18:00:00", 260) + rec("1/2", "06:00:00", 280), 2, 0, 270},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Weather w(weatherText(1, 3, c.records));
        FlowmirState* fms = w.fms();
        WTH_init(fms, c.day, 3, 1);
        WTH_get(fms, c.day, 0, 1);
        WTH_get(fms, c.day, c.time, 0);
        EXPECT_FLOAT_EQ(fms->Tambt, (float)c.T);
        EXPECT_EQ(fms->errorCount, 0) << w.s.log();
    }
}

TEST(Weather, CalendarGivesDayOfWeekDayTypeAndDaylightSaving)
{
    // Day 3 is a holiday with its own day type on the same weekday as day 2.
    std::string lines = "1/1 1 1 0 0\n1/2 2 2 0 0.5\n1/3 2 9 1 0\n1/4 4 4 1 0\n";
    Weather w(weatherText(lines, 1, 4, rec("1/1", "00:00:00", 280) + rec("1/5", "00:00:00", 280)));
    FlowmirState* fms = w.fms();
    WTH_init(fms, 1, 4, 1);
    EXPECT_EQ(fms->dayOfWeek, 1);
    EXPECT_EQ(fms->dayType, 1);
    EXPECT_EQ(fms->dstFlag, 0);
    struct Case {
        int day, dow, type, dst;
    } cases[] = {{2, 2, 2, 0}, {3, 2, 9, 1}, {4, 4, 4, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.day);
        WTH_get(fms, c.day, 3600, 1);
        EXPECT_EQ(fms->dayOfWeek, c.dow);
        EXPECT_EQ(fms->dayType, c.type);
        EXPECT_EQ(fms->dstFlag, c.dst);
        EXPECT_EQ(WTH_get_day_type(fms, c.day), c.type);
    }

    // A bad day of week is only a warning.
    Weather bad(weatherText("1/1 8 1 0 0\n", 1, 1, rec("1/1", "00:00:00", 280)));
    WTH_init(bad.fms(), 1, 1, 1);
    EXPECT_EQ(bad.count("WARNING"), 1);
    EXPECT_EQ(bad.count(" Invalid day of week in weather file; day 1/1\n"), 1);
    EXPECT_EQ(bad.fms()->errorCount, 0);
}

TEST(Weather, EndOfFileHoldsTheLastValues)
{
    for (std::string tail : {"", "*\n1/1 05:00:00 never read\n"}) {
        SCOPED_TRACE(tail);
        Weather w(weatherText(1, 1, rec("1/1", "01:00:00", 280) + rec("1/1", "02:00:00", 290) + tail));
        FlowmirState* fms = w.fms();
        WTH_init(fms, 1, 1, 1);
        EXPECT_LE(WTH_get(fms, 1, 3 * 3600, 1), 0);
        EXPECT_FLOAT_EQ(fms->Tambt, 290.0f);
        EXPECT_LE(WTH_get(fms, 1, 4 * 3600, 1), 0);
        EXPECT_FLOAT_EQ(fms->Tambt, 290.0f);
        EXPECT_EQ(w.count("NOTE"), 1);
        EXPECT_EQ(w.count(" End of WTH file before end of simulation\n"), 1);
        EXPECT_EQ(fms->errorCount, 0) << w.s.log();
    } // closing after a "*" ended the input must not close the stream twice
}

TEST(Weather, LowAmbientTemperatureIsReportedOnce)
{
    Weather w(weatherText(
        1, 1, rec("1/1", "01:00:00", 190) + rec("1/1", "02:00:00", 195) + rec("1/1", "03:00:00", 199)));
    FlowmirState* fms = w.fms();
    WTH_init(fms, 1, 1, 1);
    for (int t = 0; t <= 3 * 3600; t += 1800)
        WTH_get(fms, 1, t, 1);
    EXPECT_EQ(fms->errorCount, 1);
    EXPECT_EQ(w.count("  Ambient temperature < 200K\n"), 1);
}

TEST(Weather, ReadingLeavesTheTextReaderAndTheHeapAlone)
{
    std::string records;
    for (int h = 0; h <= 24; h++)
        records += rec("1/1", std::to_string(h) + ":00:00", 270 + h);
    Weather w(weatherText(1, 1, records));
    FlowmirState* fms = w.fms();
    std::string other = scratchDir() + "/other.txt";
    writeFile(other, "alpha beta\n");
    ASSERT_EQ(nxtopen(fms, other.c_str(), __FILE__, __LINE__), 0);
    FILE* input = fms->_UNXT;
    char word[64];
    nxtwrd(fms, word, 0, sizeof word);

    WTH_init(fms, 1, 1, 1);
    uint64_t allocated = fms->bytesAllocated;
    for (int t = 0; t < 86400; t += 600) {
        WTH_get(fms, 1, t, 1);
        WTH_get(fms, 1, t + 600, 0);
    }
    EXPECT_FLOAT_EQ(fms->Tambt, 294.0f);
    EXPECT_EQ(fms->bytesAllocated, allocated); // the per-step path allocates nothing
    EXPECT_EQ(fms->_UNXT, input);
    nxtwrd(fms, word, 0, sizeof word);
    EXPECT_STREQ(word, "beta");

    WTH_close(fms);
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
    EXPECT_EQ(fms->wthFile, nullptr);
}

// A run from day 365 into day 1: at midnight the file is prepared again from day 1.
TEST(Weather, NewYearStartsTheFileAgainFromDayOne)
{
    std::string records = rec("1/1", "00:00:00", 260) + rec("1/1", "12:00:00", 270) +
                          rec("12/31", "12:00:00", 280) + rec("12/31", "24:00:00", 290);
    Weather w(weatherText(1, 365, records));
    FlowmirState* fms = w.fms();
    WTH_init(fms, 365, 1, 1);
    EXPECT_EQ(fms->dayType, 1); // day 365 is the first day of the calendar's week
    EXPECT_EQ(WTH_get(fms, 365, 43200, 1), 43200);
    EXPECT_EQ(WTH_get(fms, 365, 86400, 0), 0);
    EXPECT_FLOAT_EQ(fms->Tambt, 290.0f);

    uint64_t allocated = fms->bytesAllocated;
    WTH_restart(fms, 1, 1);
    EXPECT_EQ(fms->bytesAllocated, allocated); // the day tables are kept
    EXPECT_EQ(WTH_get_day_type(fms, 1), 1);
    EXPECT_EQ(WTH_get(fms, 1, 0, 1), 43200);
    EXPECT_EQ(WTH_get(fms, 1, 21600, 0), 21600);
    EXPECT_FLOAT_EQ(fms->Tambt, 265.0f);
    EXPECT_EQ(fms->errorCount, 0) << w.s.log();
}

// Files refused or runs stopped, each in a child process.
TEST(Weather, RefusedFilesAndStoppedRuns)
{
    // A record that reports a bad time if it is ever read.
    const std::string unread = "1/1 bad:time 1 2 3 4 5 6 7 8 9 10\n";
    auto getAt = [](int time, int advance) {
        return [=](FlowmirState* fms) { WTH_get(fms, 1, time, advance); };
    };
    struct Case {
        const char* name;
        std::string text;
        int startDay, endDay;
        std::function<void(FlowmirState*)> after; // what the run does after opening
        std::vector<std::string> messages;
    };
    const std::string sameInstant =
        rec("1/1", "01:00:00", 280) + rec("1/1", "02:00:00", 281) + rec("1/1", "02:00:00", 282);
    auto betweenSameInstants = [](FlowmirState* fms) {
        WTH_get(fms, 1, 7201, 0); // reads both records at 02:00 and meets the end
        WTH_get(fms, 1, 5400, 0); // a value between them is asked for
    };
    // clang-format off
    const Case cases[] = {
        {"header", "WeatherFile Flowpad 2.1\n" + weatherText(1, 1, unread).substr(24), 1, 1, nullptr,
         {"WARNING Bad weather file: ", "FATAL Invalid header: WeatherFile Flowpad 2.1\n"}},
        {"dates reversed", weatherText("", 5, 3, unread), 3, 3, nullptr,
         {"FATAL Invalid weather file date sequence\n"}},
        {"starts too late", weatherText(2, 5, unread), 1, 3, nullptr,
         {"FATAL Start date not on weather file\n"}},
        {"ends too early", weatherText(1, 3, unread), 1, 5, nullptr,
         {"FATAL End date not on weather file\n"}},
        {"year's end not covered", weatherText(2, 365, unread), 365, 1, nullptr,
         {"FATAL End date not on weather file\n"}},
        {"calendar gap", weatherText("1/1 1 1 0 0\n1/3 3 3 0 0\n", 1, 3, unread), 1, 3, nullptr,
         {"FATAL Incorrect weather file date: 3\n"}},
        {"bad day type", weatherText("1/1 1 1 0 0\n1/2 2 13 0 0\n", 1, 2, unread), 1, 2, nullptr,
         {"FATAL Invalid day type in weather file; day 1/2\n"}},
        {"no calendar period", "WeatherFile Flowpad 2.0\nonly a description\n", 1, 1, nullptr,
         {"FATAL Missing calendar period in weather file\n"}},
        {"file ends in the calendar", weatherText("1/1 1 1 0 0\n", 1, 2, ""), 1, 2, nullptr,
         {"FATAL Missing calendar line in weather file; day 1/2\n"}},
        {"day type not a number", weatherText("1/1 1 1.5 0 0\n", 1, 1, unread), 1, 1, nullptr,
         {"FATAL Bad day type in weather file; day 1/1: 1.5\n"}},
        {"no records", weatherText(1, 1, ""), 1, 1, nullptr,
         {"FATAL Bad day, bad time, or end-of-file, in first hourly entry of WTH file\n"}},
        {"times decrease", weatherText(1, 1, rec("1/1", "02:00:00", 280) + rec("1/1", "01:00:00", 280)), 1, 1,
         getAt(7200, 1),
         {"ERROR File day-times decrease near day 1/1 time 01:00:00\n",
          "FATAL Error encountered while reading WTH file\n"}},
        {"date without time", weatherText(1, 2, rec("1/1", "01:00:00", 280) + "1/2\n"), 1, 2, getAt(7200, 1),
         {"ERROR Expecting time after read date 1/2\n", "FATAL Error encountered while reading WTH file\n"}},
        {"same instant", weatherText(1, 1, sameInstant), 1, 1, betweenSameInstants,
         {"FATAL WTH file day-times must increase\n"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = writeWeather(c.text);
        ChildResult r = runChild([&] {
            TestState s;
            snprintf(s->wthPath, sizeof s->wthPath, "%s", path.c_str());
            WTH_init(s.fms, c.startDay, c.endDay, 1);
            if (c.after) c.after(s.fms);
        });
        EXPECT_EQ(r.status, 2) << r.err;
        for (const std::string& m : c.messages)
            EXPECT_NE(r.err.find(m), std::string::npos) << m << "\n" << r.err;
        EXPECT_EQ(r.err.find("not a valid time"), std::string::npos) << r.err;
    }

    // A weather file that cannot be opened is a fatal error too, and the message says why.
    std::string missing = scratchDir() + "/missing.wth";
    ChildResult r = runChild([&] {
        TestState s;
        snprintf(s->wthPath, sizeof s->wthPath, "%s", missing.c_str());
        WTH_init(s.fms, 1, 1, 1);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL Could not open WTH file " + missing + ": No such file or directory\n");
}
