// The summary files through the host: air changes, age of air, contaminant statistics and the
// contaminant summary, on two rooms in series supplied with 0.1 kg/s.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

static std::string fixture(const char* name)
{
    return readFile(kProjects + "/" + name);
}


struct SumRun {
    std::string dir;
    ChildResult r;
    std::string file(const char* ext) const { return readFile(dir + "/p" + ext); }
    bool has(const char* ext) const { return fileExists(dir + "/p" + ext); }
};

static SumRun run(const std::string& text, const std::string& dir = scratchDir())
{
    SumRun out;
    out.dir = dir;
    writeFile(dir + "/p.prj", text);
    out.r = runHost("-q p", dir);
    return out;
}

static std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// Room 2 as unconditioned space: 100 m3 conditioned, 0.1 kg/s in through the fan, so the rate is
// 3600 / (1.2041 x 100) x 0.1 = 2.989785 per hour, all through paths, the same every step.
TEST(AirChanges, RatesHeaderAndStatisticsOfAConstantSeries)
{
    std::string text = replaceFirst(fixture("sum_series.prj"), "2 3 0 0 0 1 0 100 293.15 0 Room2",
                                "2 19 0 0 0 1 0 100 293.15 0 Room2");
    SumRun r = run(text);
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    std::vector<std::string> l = lines(r.file(".ach"));
    ASSERT_EQ(l.size(), 3u + 2 * (4 + 3) + 3) << r.file(".ach");
    EXPECT_EQ(l[0], "Jan01\tJan02\t21600\t1\t1\t100.00");
    EXPECT_EQ(l[1], "day\ttime\tpath\tduct\ttotal");
    EXPECT_EQ(l[2], "day\tb-w\tavg\tdev\tmin\tmin\tmax\tmax");
    EXPECT_EQ(l[3], "Jan01\t06:00:00\t2.989785e+00\t0.000000e+00\t2.989785e+00");
    EXPECT_EQ(l[6], "Jan01\t24:00:00\t2.989785e+00\t0.000000e+00\t2.989785e+00");
    EXPECT_EQ(l[7], "Jan01\tpath\t2.989785e+00\t0.000000e+00\t01:00:00\t2.989785e+00\t01:00:00\t2.989785e+00");
    EXPECT_EQ(l[8], "Jan01\tduct\t0.000000e+00\t0.000000e+00\t01:00:00\t0.000000e+00\t01:00:00\t0.000000e+00");
    EXPECT_EQ(l[10], "Jan02\t06:00:00\t2.989785e+00\t0.000000e+00\t2.989785e+00");
    EXPECT_EQ(l[17], "final\tpath\t2.989785e+00\t0.000000e+00\tJan01\t2.989785e+00\tJan01\t2.989785e+00");
    EXPECT_EQ(l[19], "final\ttotal\t2.989785e+00\t0.000000e+00\tJan01\t2.989785e+00\tJan01\t2.989785e+00");
    // The flows balance: the imbalance is only logged.
    std::string xlog = r.file(".xlog");
    EXPECT_NE(xlog.find("\nMax relative imbalance in air exchange flows: "), std::string::npos);
    EXPECT_EQ(xlog.find("WARNING"), std::string::npos) << xlog;
}

// Rates that change: a fan on 00:00 to 12:00 only (the pressures then fall to nothing: a tight
// absolute tolerance). Daily averages, deviations and the times of the extremes, and the run's
// dates of them.
TEST(AirChanges, DailyStatisticsOfAChangingSeries)
{
    std::string text = fixture("sum_series.prj");
    text = replaceFirst(text, "0 ! day schedules\n-999\n0 ! week schedules\n-999",
                    "1 ! day schedules\n1 3 0 0 0 half\nfan on until noon\n0:00:00 1\n12:00:00 0\n24:00:00 0\n-999\n"
                    "1 ! week schedules\n1 0 0 half\nevery day\n1 1 1 1 1 1 1 1 1 1 1 1\n-999");
    text = replaceFirst(text, "1 0 -1 1 2 0 0 0 0 0 1", "1 0 -1 1 2 0 0 0 1 0 1");
    text = replaceFirst(text, "1 0 30 1e-9 1e-5", "1 0 30 1e-9 1e-15");
    SumRun r = run(text);
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    std::vector<std::string> l = lines(r.file(".ach"));
    ASSERT_GE(l.size(), 10u);
    // 200 m3: 1.494892 per hour for the steps ending 01:00 to 12:00, about 0 after; so the mean
    // and the deviation are half of it, the minimum after the fan stops, the maximum at 01:00.
    EXPECT_EQ(l[4], "Jan01\t12:00:00\t1.494892e+00\t0.000000e+00\t1.494892e+00");
    char day[16], name[16], tmin[16], tmax[16];
    double avg, dev, mn, mx;
    for (int k : {7, (int)l.size() - 3}) {
        ASSERT_EQ(sscanf(l[k].c_str(), "%15s %15s %lf %lf %15s %lf %15s %lf", day, name, &avg, &dev, tmin, &mn, tmax, &mx),
                  8)
            << l[k];
        EXPECT_STREQ(name, "path");
        EXPECT_NEAR(avg, 1.494892 / 2, 1e-5) << l[k];
        EXPECT_NEAR(dev, 1.494892 / 2, 1e-5) << l[k];
        EXPECT_NEAR(mn, 0.0, 1e-5);
        EXPECT_DOUBLE_EQ(mx, 1.494892);
        if (k == 7)
            EXPECT_GE(std::string(tmin), "13:00:00");  // after the fan stopped
        else
            EXPECT_STREQ(tmin, "Jan01");
        EXPECT_STREQ(tmax, k == 7 ? "01:00:00" : "Jan01");
    }
}

// amb -> 1 -> 2 -> amb, each room 100 m3 at 1.20409739 kg/m3, 0.1 kg/s: room 1's air is
// 120.409739 / 0.1 s old (0.3344715 h), room 2's twice that.
TEST(AgeOfAir, RoomsInSeries)
{
    SumRun r = run(fixture("sum_series.prj"));
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    std::vector<std::string> l = lines(r.file(".age"));
    ASSERT_EQ(l.size(), 3u + 2 * (4 + 2) + 2) << r.file(".age");
    EXPECT_EQ(l[0], "2\tJan01\tJan02\t21600\t1\t1");
    EXPECT_EQ(l[1], "day\ttime\t1\t2");
    EXPECT_EQ(l[2], "day\tzone\tavg\tdev\tmin\tmin\tmax\tmax");
    EXPECT_EQ(l[3], "Jan01\t06:00:00\t3.344715e-01\t6.689430e-01");
    EXPECT_EQ(l[7], "Jan01\t1\t3.344715e-01\t0.000000e+00\t01:00:00\t3.344715e-01\t01:00:00\t3.344715e-01");
    EXPECT_EQ(l[8], "Jan01\t2\t6.689430e-01\t0.000000e+00\t01:00:00\t6.689430e-01\t01:00:00\t6.689430e-01");
    EXPECT_EQ(l[16], "final\t2\t6.689430e-01\t0.000000e+00\tJan01\t6.689430e-01\tJan01\t6.689430e-01");
    std::string xlog = r.file(".xlog");
    EXPECT_NE(xlog.find("Age-of-air balance data: |row[n] - col[n]|/(row[n] + col[n])\n  "), std::string::npos);
    EXPECT_NE(xlog.find(" z 2\n"), std::string::npos);
    EXPECT_EQ(xlog.find("Review age-of-air"), std::string::npos);
}

// A steady run lists its one state and, with the summary switches, summaries of that sample.
TEST(Summaries, SteadyRunSummarisesItsOneState)
{
    std::string text = replaceFirst(fixture("sum_series.prj"), "1 0 30 1e-9", "0 0 30 1e-9");
    text = replaceFirst(text, "\n0 1 1 0 0 0 1 1\n", "\n0 0 1 0 0 0 0 1\n");
    SumRun r = run(text);
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    std::string ach = r.file(".ach"), age = r.file(".age");
    EXPECT_EQ(ach.find("nan"), std::string::npos) << ach;
    EXPECT_NE(ach.find("\tpath\t1.494892e+00\t0.000000e+00\t"), std::string::npos) << ach;
    EXPECT_NE(ach.find("final\ttotal\t1.494892e+00"), std::string::npos) << ach;
    EXPECT_NE(age.find("\t1\t3.344715e-01\t0.000000e+00\t"), std::string::npos) << age;
    EXPECT_NE(age.find("final\t2\t6.689430e-01"), std::string::npos) << age;
}

// Files that cannot be written stop the run before any results; switches that are off delete an
// earlier run's files when the run completes.
TEST(Summaries, RefusalsAndStaleFiles)
{
    struct Case {
        const char* what;
        std::string text;
        const char* message;
    } cases[] = {
        {"every room unconditioned",
         replaceFirst(replaceFirst(fixture("sum_series.prj"), "1 3 0 0 0 1 0 100", "1 19 0 0 0 1 0 100"), "2 3 0 0 0 1 0 100",
                  "2 19 0 0 0 1 0 100"),
         "Building conditioned volume = 0"},
        {"no reference density", replaceFirst(fixture("sum_series.prj"), "\n1.2041 9.8055 ", "\n0 9.8055 "),
         "Reference air density for air-change rates must be above 0: 0"},
    };
    for (const Case& c : cases) {
        SumRun r = run(c.text);
        EXPECT_EQ(r.r.status, 2) << c.what;
        EXPECT_NE(r.r.err.find(c.message), std::string::npos) << c.what << ": " << r.r.err;
        EXPECT_FALSE(r.has(".ach")) << c.what;
        EXPECT_FALSE(r.has(".ach.part")) << c.what;
    }

    std::string dir = scratchDir();
    for (const char* ext : {".ach", ".age", ".cbw", ".csm"}) writeFile(dir + "/p" + ext, "earlier\n");
    std::string off = replaceFirst(fixture("sum_series.prj"), "\n0 1 1 0 0 0 1 1\n", "\n0 0 0 0 0 0 0 0\n");
    // A failed run keeps them.
    SumRun bad = run(replaceFirst(off, "3 ! paths", "4 ! paths"), dir);
    EXPECT_EQ(bad.r.status, 2);
    EXPECT_EQ(readFile(dir + "/p.ach"), "earlier\n");
    SumRun ok = run(off, dir);
    ASSERT_EQ(ok.r.status, 0) << ok.r.err;
    for (const char* ext : {".ach", ".age", ".cbw", ".csm"}) EXPECT_FALSE(ok.has(ext)) << ext;
}

// A room with a constant tracer source of 1e-6 kg/s for a day, 1 ACH of outdoor air and 3 ACH
// recirculated through a filter taking 60 %: contaminant statistics with the ambient as zone 0,
// and a summary whose masses balance what the source released.
static std::string recirculatedSource()
{
    std::string text = fixture("tr_recirc.prj");
    text = replaceFirst(text, "Jan01 2:00:00 1:00:00", "Jan01 24:00:00 1:00:00");
    text = replaceFirst(text, "\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0\n", "\n0 0 0 1 0 0 0 0\n0 0 0 1 0 0\n");
    text = replaceFirst(text, "0 ! source/sink elements\n-999",
                    "1 ! source/sink elements\n1 tracer ccf release\nConstant release\n 1e-6 0 0 0\n-999");
    text = replaceFirst(text, "0 ! sources and sinks\n-999",
                    "1 ! sources and sinks\n1 1 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n-999");
    return text;
}

TEST(ContaminantStatistics, EveryZoneAndTheAmbientDailyAndOverTheRun)
{
    SumRun r = run(recirculatedSource());
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    std::vector<std::string> l = lines(r.file(".cbw"));
    ASSERT_EQ(l.size(), 2u + 3 + 3) << r.file(".cbw");
    EXPECT_EQ(l[0], "2\t1\tJan01\tJan01");
    EXPECT_EQ(l[1], "day\tzone\tctm\tavg\tdev\tmin\tmin\tmax\tmax");
    EXPECT_EQ(l[2], "Jan01\t0\t0\t0.000000e+00\t0.000000e+00\t01:00:00\t0.000000e+00\t01:00:00\t0.000000e+00");
    // The room's fraction rises from clean air to a steady value: its minimum ends the first step.
    EXPECT_EQ(l[3].substr(0, 10), "Jan01\t1\t0\t");
    EXPECT_NE(l[3].find("\t01:00:00\t7."), std::string::npos) << l[3];
    EXPECT_EQ(l[5].substr(0, 10), "final\t0\t0\t");
    EXPECT_EQ(l[6].substr(0, 10), "final\t1\t0\t");
    EXPECT_NE(l[6].find("\tJan01\t"), std::string::npos);
}

// Everything released is in the filter, went outdoors, or is still in the air.
TEST(ContaminantSummary, SectionsAndAMassBalance)
{
    SumRun r = run(recirculatedSource());
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    std::string csm = r.file(".csm");
    EXPECT_EQ(csm.rfind("Project:  " + r.dir + "/p.prj\n\n1\tcontaminants\nName\tEffDens\tMeanDiameter\ntracer\t", 0), 0u)
        << csm;
    EXPECT_NE(csm.find("\nContaminant source/sink summary.\n1\tsource/sinks\n"
                       "s/s#\ttype\tspecies\tzn#\tAs\tmult\tXmin\tXmax\tYmin\tYmax\tZmin\tZmax\treleased\tremoved\tstored "
                       "[kg]\n1\tccf\ttracer\t1\t   0\t   1\t   0\t   0\t   0\t   0\t   0\t   0\t8.640000e-02\t0.000000e+00\t0\n"),
              std::string::npos)
        << csm;
    for (const char* piece : {"\nFilter challenge summary.\n1\tfilters\npath\ttracer\telement\n3\t",
                              "\tmedia\n--\t", "\tdownstream\n", "\nFilter loading summary.\npath\ttracer\telement\tns\n3\t",
                              "\nFilter breakthrough summary.\n1\tfilters\npath\telement\tnc\n"
                              "\tcontaminant\tdate\ttime\tefficiency\n3\tmedia\t1\n\ttracer\t--\t--\t0.6\n",
                              "\nInteractions with ambient.\ncontaminant\tmass from\tmass to [kg]\ntracer\t0.00000e+00\t",
                              "\nSimulation time:\n86400\tseconds\n24\thours\n1\tdays\n\n"})
        EXPECT_NE(csm.find(piece), std::string::npos) << piece << "\n" << csm;

    double captured = 0, out = 0;
    size_t at = csm.find("\nFilter loading summary.\npath\ttracer\telement\tns\n3\t");
    ASSERT_NE(at, std::string::npos);
    captured = atof(csm.c_str() + at + strlen("\nFilter loading summary.\npath\ttracer\telement\tns\n3\t"));
    at = csm.find("tracer\t0.00000e+00\t");
    ASSERT_NE(at, std::string::npos);
    out = atof(csm.c_str() + at + strlen("tracer\t0.00000e+00\t"));
    // In the air at the end: the room of 100 m3 and the air handler of 1 m3 at their steady
    // fractions, the statistics' maxima.
    std::vector<std::string> cbw = lines(r.file(".cbw"));
    double room = 0, ahu = 0;
    char tail[64];
    double v[4];
    ASSERT_EQ(sscanf(cbw[3].c_str(), "Jan01\t1\t0\t%lf\t%lf\t%63s\t%lf\t%63s\t%lf", &v[0], &v[1], tail, &v[2], tail, &room), 6);
    ASSERT_EQ(sscanf(cbw[4].c_str(), "Jan01\t2\t0\t%lf\t%lf\t%63s\t%lf\t%63s\t%lf", &v[0], &v[1], tail, &v[2], tail, &ahu), 6);
    double stored = 1.204097 * (100 * room + 1 * ahu);
    EXPECT_GT(captured, 0.0);
    EXPECT_GT(out, 0.0);
    EXPECT_NEAR(captured + out + stored, 8.64e-2, 8.64e-2 * 2e-3) << captured << " " << out << " " << stored;
}

// More rooms in series than the dense elimination takes: 450 rooms of 100 m3 at 1.20409739
// kg/m3 passing 0.1 kg/s on, through linear openings. Room k's air is k x 1204.09739 s old.
TEST(AgeOfAir, ALongChainSolvedSparse)
{
    const int rooms = 450;
    std::string text = replaceFirst(fixture("sum_series.prj"), "Opening as a mass-flow power law: F = 0.01 kg/s at 1 Pa, exponent 0.5\n 1.0 0.01 0.5",
                                "Linear opening: F = 1 kg/s at 1 Pa\n 1.0 1 1");
    text = replaceFirst(text, "\n0 1 1 0 0 0 1 1\n", "\n0 0 0 0 0 0 1 0\n");
    text = replaceFirst(text, "1 0 30 1e-9", "0 0 30 1e-9");  // steady
    std::string zones = std::to_string(rooms) + " ! zones\n", paths = std::to_string(rooms + 1) + " ! paths\n";
    for (int k = 1; k <= rooms; k++)
        zones += std::to_string(k) + " 3 0 0 0 1 0 100 293.15 0 R" + std::to_string(k) + " 0 0 0 0 0 0 0 0\n";
    const char* tail = " 0 0 0 0 0 1 0 0 1.5 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
    paths += "1 0 -1 1 2" + std::string(tail);
    for (int k = 1; k < rooms; k++)
        paths += std::to_string(k + 1) + " 0 " + std::to_string(k) + " " + std::to_string(k + 1) + " 1" + tail;
    paths += std::to_string(rooms + 1) + " 0 " + std::to_string(rooms) + " -1 1" + tail;
    size_t z0 = text.find("2 ! zones\n"), z1 = text.find("-999", z0);
    text.replace(z0, z1 - z0, zones);
    size_t p0 = text.find("3 ! paths"), p1 = text.find("-999", p0);
    text.replace(p0, p1 - p0, paths);

    SumRun r = run(text);
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    std::vector<std::string> l = lines(r.file(".age"));
    ASSERT_EQ(l.size(), 3u);
    std::istringstream in(l[2]);
    std::string date, time;
    in >> date >> time;
    for (int k = 1; k <= rooms; k++) {
        double age = 0;
        ASSERT_TRUE(in >> age) << k;
        EXPECT_NEAR(age, k * 120.409739 / 0.1 / 3600.0, k * 4e-7) << "room " << k;
    }
    // Not by the dense elimination.
    EXPECT_NE(r.file(".xlog").find("\n       0 calls to luf_ge()\n"), std::string::npos);
}
