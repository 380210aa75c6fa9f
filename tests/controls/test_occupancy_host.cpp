// Occupants through the host: two occupants breathing out CO2 in an office of 100 m3 until
// 12:30, then in a hall of 100 m3, each room ventilated at 1 ACH with outdoor air free of CO2,
// hourly steps by backward Euler. The rooms' concentrations must follow the emission from room
// to room, and the exposure file must hold what the occupants breathed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "results/simread.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;


static std::string office()
{
    return readFile(kProjects + "/occ_office.prj");
}

static std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

static std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, '\t');) out.push_back(f);
    return out;
}

struct OfficeRun {
    std::string dir;
    ChildResult r;
    std::string log;
    std::vector<std::string> ebw;
    SimFile sim;
};

static OfficeRun runOffice(const std::string& text, const std::string& dir = scratchDir())
{
    OfficeRun run;
    run.dir = dir;
    writeFile(dir + "/occ.prj", text);
    run.r = runHost("-q occ", dir);
    run.log = fileExists(dir + "/occ.xlog") ? readFile(dir + "/occ.xlog") : "";
    if (fileExists(dir + "/occ.ebw")) run.ebw = lines(readFile(dir + "/occ.ebw"));
    std::string why;
    EXPECT_TRUE(simRead((dir + "/occ.sim").c_str(), &run.sim, &why)) << why;
    return run;
}

// Zone z's CO2 at the end of hour h of January 1.
static double roomAt(const OfficeRun& run, int h, int z)
{
    for (const SimRecord& rec : run.sim.records)
        if (rec.kind == SIM_STEP_RECORD && rec.time == h * 3600)
            for (const SimConcRow& c : rec.concs)
                if (c.nr == z) return c.mf[0];
    ADD_FAILURE() << "no record at hour " << h;
    return NAN;
}

// The exposure of the step line at hh:00:00.
static double stepLine(const OfficeRun& run, int h)
{
    char time[16];
    snprintf(time, sizeof time, "%02d:00:00", h);
    for (const std::string& l : run.ebw) {
        std::vector<std::string> f = fields(l);
        if (f.size() == 4 && f[0] == "1/1" && f[1] == time && f[2] == "1") return atof(f[3].c_str());
    }
    ADD_FAILURE() << "no step line at " << time;
    return NAN;
}

static const std::string* lineStarting(const OfficeRun& run, const std::string& head)
{
    for (const std::string& l : run.ebw)
        if (l.compare(0, head.size(), head) == 0) return &l;
    return nullptr;
}

TEST(OccupancyHost, EmissionFollowsTheOccupantsAndTheExposureFileHoldsWhatTheyBreathed)
{
    OfficeRun run = runOffice(office());
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;

    // Each room: M dC/dt = G share - Q C, backward Euler: C' = (M/dt C + G share) / (M/dt + Q).
    const double G = 2 * 5e-6, Q = 0.03344714, dt = 3600;
    const double M = 101325.0 / (287.055 * 293.15) * 100.0;
    double c[3] = {0, 0, 0}, prev[3] = {0, 0, 0};
    for (int h = 1; h <= 24; h++) {
        double share1 = h <= 12 ? 1.0 : h == 13 ? 0.5 : 0.0;
        for (int z = 1; z <= 2; z++) {
            prev[z] = c[z];
            double share = z == 1 ? share1 : 1.0 - share1;
            c[z] = (M / dt * c[z] + G * share) / (M / dt + Q);
            EXPECT_NEAR(roomAt(run, h, z), c[z], c[z] * 1e-5 + 1e-12) << "hour " << h << " zone " << z;
        }
        // What they breathed: the rooms' values at the mid-points of their stays in the step.
        double expected = h <= 12   ? prev[1] + (c[1] - prev[1]) * 0.5
                          : h == 13 ? 0.5 * (prev[1] + (c[1] - prev[1]) * 0.25) + 0.5 * (prev[2] + (c[2] - prev[2]) * 0.75)
                                    : prev[2] + (c[2] - prev[2]) * 0.5;
        EXPECT_NEAR(stepLine(run, h), expected, expected * 2e-5) << "hour " << h;
    }

    // Header, column lines, 24 step lines, the day and the run.
    ASSERT_EQ(run.ebw.size(), 29u);
    EXPECT_EQ(run.ebw[0], "1\t1\t1/1\t1/1\t3600\t1\t1");
    EXPECT_EQ(run.ebw[1], "day\ttime\tctm\t1");
    EXPECT_EQ(run.ebw[2], "day\tpexp\tctm\tavg\tdev\tmin\tmin\tmax\tmax");
    char first[64];
    snprintf(first, sizeof first, "1/1\t01:00:00\t1\t%.6e", stepLine(run, 1));
    EXPECT_EQ(run.ebw[3], first);
    // Present every step: the average is the mean of the step values; the minimum is the first
    // hour's, the maximum that of 12:00, when the office has filled up most.
    double sum = 0, sumSq = 0;
    for (int h = 1; h <= 24; h++) {
        sum += stepLine(run, h);
        sumSq += stepLine(run, h) * stepLine(run, h);
    }
    double avg = sum / 24, dev = std::sqrt(std::fabs(sumSq / 24 - avg * avg));
    for (const char* head : {"1/1\t1\t1\t", "final\t1\t1\t"}) {
        const std::string* l = lineStarting(run, head);
        ASSERT_NE(l, nullptr) << head;
        std::vector<std::string> f = fields(*l);
        ASSERT_EQ(f.size(), 9u) << *l;
        bool day = f[0] == "1/1";
        EXPECT_NEAR(atof(f[3].c_str()), avg, avg * 1e-5);
        EXPECT_NEAR(atof(f[4].c_str()), dev, dev * 1e-3);
        EXPECT_EQ(f[5], day ? "01:00:00" : "1/1");
        EXPECT_EQ(atof(f[6].c_str()), stepLine(run, 1));
        EXPECT_EQ(f[7], day ? "12:00:00" : "1/1");
        EXPECT_EQ(atof(f[8].c_str()), stepLine(run, 12));
    }
    EXPECT_NE(run.log.find("Simulation completed successfully.\n"), std::string::npos);
}

// Occupants who are out of the building at midnight, or all day.
TEST(OccupancyHost, AbsenceLowersNoMinimumAndAveragesNothing)
{
    std::string dayAtWork = replaceFirst(office(), "00:00:00 1 0 0 0\n12:30:00 2 0 0 0",
                                     "00:00:00 0 0 0 0\n08:00:00 1 0 0 0\n17:00:00 0 0 0 0");
    dayAtWork = replaceFirst(dayAtWork, "1 3 0 workday", "1 4 0 workday");
    OfficeRun run = runOffice(dayAtWork);
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    EXPECT_EQ(stepLine(run, 8), 0.0);
    // The first whole step at work gives the minimum.
    const std::string* l = lineStarting(run, "1/1\t1\t1\t");
    ASSERT_NE(l, nullptr);
    std::vector<std::string> f = fields(*l);
    ASSERT_EQ(f.size(), 9u);
    EXPECT_EQ(f[5], "09:00:00");
    EXPECT_GT(atof(f[6].c_str()), 0.0);
    EXPECT_EQ(atof(f[6].c_str()), stepLine(run, 9));

    // Not there on day type 1: nothing to average, and nothing breathed.
    OfficeRun away = runOffice(replaceFirst(office(), "1 1 1 1 1 1 1 1 1 1 1 1", "0 1 1 1 1 1 1 1 1 1 1 1"));
    ASSERT_EQ(away.r.status, 0) << away.r.err << away.log;
    ASSERT_EQ(away.ebw.size(), 29u);
    EXPECT_EQ(away.ebw[27], "1/1\t1\t1\t0.000000e+00\t0.000000e+00\t01:00:00\t0.000000e+00\t01:00:00\t0.000000e+00");
    EXPECT_EQ(away.ebw[28], "final\t1\t1\t0.000000e+00\t0.000000e+00\t1/1\t0.000000e+00\t1/1\t0.000000e+00");
    EXPECT_EQ(roomAt(away, 24, 1), 0.0);
}

// Step lines only at listing times; with both switches off an earlier file goes.
TEST(OccupancyHost, StepLinesAtListingTimesAndNoFileWhenNotAsked)
{
    std::string dir = scratchDir();
    OfficeRun run = runOffice(replaceFirst(office(), "24:00:00 1:00:00 1:00:00 1:00:00", "24:00:00 1:00:00 2:00:00 1:00:00"),
                              dir);
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    int steps = 0;
    for (const std::string& l : run.ebw) {
        std::vector<std::string> f = fields(l);
        if (f.size() == 4 && f[0] == "1/1") {
            steps++;
            EXPECT_EQ(atoi(f[1].c_str()) % 2, 0) << l;
        }
    }
    EXPECT_EQ(steps, 12);
    EXPECT_EQ(run.ebw[0], "1\t1\t1/1\t1/1\t7200\t1\t1");

    OfficeRun off = runOffice(replaceFirst(office(), "0 0 0 0 1 1 0 0\n", "0 0 0 0 0 0 0 0\n"), dir);
    ASSERT_EQ(off.r.status, 0) << off.r.err << off.log;
    EXPECT_FALSE(fileExists(dir + "/occ.ebw"));
}
