// Variable-step transport integration through the host: two rooms in series (50 and 100 m3,
// 0.05 m3/s of outdoor air driven through both by fans, both starting at 1e-3) against their
// closed form, the independence of the solution from the run control's time step and from the
// listings, the maximum step, the refusals, and runs under a weather file and without species.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <map>
#include <string>
#include <tuple>

#include "results/simread.h"
#include "testutil.h"

namespace
{

const std::string kProjects = FLOWMIR_TEST_PROJECTS;
const double C0 = 1e-3;

std::string fixture(const std::string& name)
{
    return readFile(kProjects + "/" + name);
}

std::string series()
{
    return fixture("cv_series.prj");
}

// The integrator line: method, relative and absolute tolerance, maximum step.
std::string withCvode(const std::string& prj, const std::string& line)
{
    return replaceFirst(prj, "\n0 1e-6 1e-15 0\n", "\n" + line + "\n");
}

// The period line from the steady-state date on: end time, time step and listing step.
std::string withPeriod(const std::string& prj, const std::string& end, const std::string& step,
                       const std::string& list)
{
    return replaceFirst(prj, "Jan01 0:00:00 Jan01 00:00:00 Jan01 1:00:00 1:00:00 1:00:00 1:00:00",
                        "Jan01 0:00:00 Jan01 00:00:00 Jan01 " + end + " " + step + " " + list + " 1:00:00");
}

// (day, time, zone) -> first species' mass fraction, from the results database.
using Concs = std::map<std::tuple<int, int, int>, double>;

struct CvRun {
    std::string dir, log;
    ChildResult r;
    Concs c;
    bool has(int time, int zone) const { return c.count({1, time, zone}) != 0; }
    double at(int time, int zone) const
    {
        auto it = c.find({1, time, zone});
        if (it == c.end()) {
            ADD_FAILURE() << "no value at " << time << " for zone " << zone;
            return NAN;
        }
        return it->second;
    }
};

CvRun runProject(const std::string& prj, const std::map<std::string, std::string>& files = {})
{
    CvRun run;
    run.dir = scratchDir();
    writeFile(run.dir + "/t.prj", prj);
    for (const auto& [name, text] : files) writeFile(run.dir + "/" + name, text);
    run.r = runHost("-q t", run.dir);
    run.log = fileExists(run.dir + "/t.xlog") ? readFile(run.dir + "/t.xlog") : "";
    std::string db = run.dir + "/t.sqlite3";
    if (!fileExists(db)) return run;
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        const char* sql = "SELECT T.dayofyear, T.Time, Z.ZoneNumber, Z.C0 FROM NODEZONECCDATA Z "
                          "JOIN TIME T ON Z.TimeID = T.TimeID";
        if (sqlite3_prepare_v2(h, sql, -1, &s, nullptr) == SQLITE_OK)
            while (sqlite3_step(s) == SQLITE_ROW)
                run.c[{sqlite3_column_int(s, 0), sqlite3_column_int(s, 1), sqlite3_column_int(s, 2)}] =
                    sqlite3_column_double(s, 3);
        sqlite3_finalize(s);
    }
    sqlite3_close(h);
    return run;
}

// The closed form: C1 = C0 e^(-k1 t), C2 = C0 (e^(-k2 t) + k2 / (k2 - k1) (e^(-k1 t) - e^(-k2 t))),
// with k = Q / V = 0.001/s and 0.0005/s.
double closed1(double t, double k1)
{
    return C0 * exp(-k1 * t);
}
double closed2(double t, double k1, double k2)
{
    return C0 * (exp(-k2 * t) + k2 / (k2 - k1) * (exp(-k1 * t) - exp(-k2 * t)));
}
double exact1(double t)
{
    return closed1(t, 0.001);
}
double exact2(double t)
{
    return closed2(t, 0.001, 0.0005);
}

// The rates of the fixture as the engine holds its single-precision inputs: the fan's mass
// flow over the air mass P V / (R T) of each room.
double rate(double V)
{
    double F = (float)0.06020485, T = (float)293.15;
    return F * 287.055 * T / (101325.0 * V);
}

int timeSteps(const std::string& log)
{
    size_t at = log.find(" time steps\n");
    if (at == std::string::npos) return -1;
    size_t start = log.rfind('\n', at);
    return std::stoi(log.substr(start + 1, at - start - 1));
}

}  // namespace

// At one hour C1/C0 = 0.0273237 and C2/C0 = 0.3032741 within ten times the relative tolerance,
// by BDF and by Adams-Moulton (the error measured against the initial value, the scale of the
// solution).
TEST(CvodeHost, TwoZonesInSeriesMatchTheClosedForm)
{
    EXPECT_NEAR(exact1(3600) / C0, 0.0273237, 1e-7);
    EXPECT_NEAR(exact2(3600) / C0, 0.3032741, 1e-7);
    const struct {
        const char* method;
        const char* name;
    } methods[] = {{"0", "vode/BDF"}, {"1", "vode/Adams-Moulton"}};
    for (const auto& m : methods)
        for (double rtol : {1e-4, 1e-6, 1e-8}) {
            char line[64];
            snprintf(line, sizeof line, "%s %g 1e-15 0", m.method, rtol);
            SCOPED_TRACE(line);
            CvRun run = runProject(withCvode(series(), line));
            ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
            EXPECT_NE(run.log.find(std::string("with ") + m.name + " solver"), std::string::npos);
            // The project's 1e-3 as read.
            double c0 = run.at(0, 1);
            EXPECT_NEAR(c0, C0, 1e-10);
            double k1 = rate(50), k2 = rate(100);
            EXPECT_NEAR(run.at(3600, 1) / c0, closed1(3600, k1) / C0, 10 * rtol);
            EXPECT_NEAR(run.at(3600, 2) / c0, closed2(3600, k1, k2) / C0, 10 * rtol);
        }
}

// The run control's time step plays no part; listings inside a segment are interpolated and
// leave the integration, and so the value at the segment's end, as it was.
TEST(CvodeHost, TimeStepAndListingsLeaveTheSolutionAlone)
{
    CvRun base = runProject(series());
    CvRun shortStep = runProject(withPeriod(series(), "1:00:00", "0:10:00", "1:00:00"));
    CvRun listings = runProject(withPeriod(series(), "1:00:00", "1:00:00", "0:10:00"));
    for (const CvRun* run : {&base, &shortStep, &listings}) ASSERT_EQ(run->r.status, 0) << run->r.err << run->log;
    for (int zone : {1, 2}) {
        EXPECT_EQ(shortStep.at(3600, zone), base.at(3600, zone));
        EXPECT_EQ(listings.at(3600, zone), base.at(3600, zone));
    }
    EXPECT_FALSE(base.has(600, 1));
    for (int t = 600; t < 3600; t += 600) {
        SCOPED_TRACE(t);
        EXPECT_NEAR(listings.at(t, 1) / C0, exact1(t) / C0, 1e-5);
        EXPECT_NEAR(listings.at(t, 2) / C0, exact2(t) / C0, 1e-5);
    }
}

// The trapezoidal scheme with 10 s steps (relative error about 3e-5 here) agrees.
TEST(CvodeHost, AgreesWithTheImplicitMethodInSmallSteps)
{
    CvRun cvode = runProject(withCvode(series(), "0 1e-8 1e-15 0"));
    std::string implicit = replaceFirst(series(), "\n2 0 0 0.1 0 0\n", "\n0 0 0 0.1 0 0\n");
    implicit = replaceFirst(implicit, "\n0 1 100 1e-6 1e-15 1.25 1 0\n", "\n0 1 100 1e-6 1e-15 1.25 0.5 0\n");
    CvRun trap = runProject(withPeriod(implicit, "1:00:00", "0:00:10", "1:00:00"));
    ASSERT_EQ(cvode.r.status, 0) << cvode.r.err << cvode.log;
    ASSERT_EQ(trap.r.status, 0) << trap.r.err << trap.log;
    EXPECT_NE(trap.log.find("with trapezoidal solver"), std::string::npos);
    for (int zone : {1, 2}) {
        double c = cvode.at(3600, zone), t = trap.at(3600, zone);
        EXPECT_NEAR(c, t, 1e-4 * t) << zone;
        EXPECT_GT(fabs(c - t), 1e-7 * t) << "the implicit run must not be the same solver";
    }
}

// A room held at its steady state: without a limit the integrator strides through the day;
// with 600 s it takes at least 144 steps, and says so in the log.
TEST(CvodeHost, MaximumStep)
{
    std::string prj = withPeriod(series(), "24:00:00", "1:00:00", "1:00:00");
    prj = replaceFirst(prj, "0 ! source/sink elements\n-999",
                       "1 ! source/sink elements\n1 tracer ccf release\nConstant release\n 6.020485e-8 0 0 0\n-999");
    prj = replaceFirst(prj, "0 ! sources and sinks\n-999",
                       "1 ! sources and sinks\n1 1 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n-999");
    prj = replaceFirst(prj, "1 1e-3\n2 1e-3\n", "1 1e-6\n2 1e-6\n");
    CvRun free = runProject(prj);
    CvRun limited = runProject(withCvode(prj, "0 1e-6 1e-15 600"));
    ASSERT_EQ(free.r.status, 0) << free.r.err << free.log;
    ASSERT_EQ(limited.r.status, 0) << limited.r.err << limited.log;
    EXPECT_EQ(free.log.find("CVODE max step"), std::string::npos);
    EXPECT_NE(limited.log.find("CVODE max step [s] =    600"), std::string::npos) << limited.log;
    EXPECT_LT(timeSteps(free.log), 100) << free.log;
    EXPECT_GE(timeSteps(limited.log), 144) << limited.log;
    for (int zone : {1, 2}) EXPECT_NEAR(limited.at(86400, zone), 1e-6, 1e-12);
}

// Features the integrator does not support stop the run before any step, with their reason.
TEST(CvodeHost, RefusedProjects)
{
    auto cvodeOf = [](std::string prj) {
        prj = replaceFirst(prj, "\n0 0 0 0.1 0 0\n", "\n2 0 0 0.1 0 0\n");
        return prj;
    };
    std::string burst = replaceFirst(series(), "0 ! source/sink elements\n-999",
                                     "1 ! source/sink elements\n1 tracer brs burst\nA burst\n 1e-3 0\n-999");
    burst = replaceFirst(burst, "0 ! sources and sinks\n-999",
                         "1 ! sources and sinks\n1 1 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n-999");
    std::string sinkless = replaceFirst(cvodeOf(fixture("tr_sink.prj")), " 1e-3 1.2 100 10 0 0 0",
                                        " 1e-3 1.2 100 0 0 0 0");
    // A duct of no length leaves its end junction without air.
    std::string massless = replaceFirst(fixture("flt_ducts.prj"), "\n0 0 1e-4 1e-15 0 0\n", "\n2 0 1e-4 1e-15 0 0\n");
    massless = replaceFirst(cvodeOf(massless), "2 0 2 1 2 0 0 0 0 5 0 0 0 0 0 0 0", "2 0 2 1 2 0 0 0 0 0 0 0 0 0 0 0 0");
    const struct {
        const char* what;
        std::string prj;
        const char* message;
        bool excluded;
    } cases[] = {
        {"burst", burst, "CVODE does not support burst sources", true},
        {"exposure", cvodeOf(fixture("occ_office.prj")), "CVODE does not support exposures", true},
        {"BiCG", replaceFirst(series(), "\n0 1 100 1e-6 1e-15 1.25 0\n", "\n1 1 100 1e-6 1e-15 1.25 0\n"),
         "CVODE cannot use BCG matrix method", true},
        {"cyclic", replaceFirst(series(), "\n2 0 1e-4 1e-15 0 0\n", "\n3 0 1e-4 1e-15 0 0\n"),
         "CVODE requires transient calculations", true},
        {"sink capacity", sinkless, "Boundary layer sink 1 has no capacity: 0", false},
        {"massless junction", massless, "Massless node unsupported", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CvRun run = runProject(c.prj);
        EXPECT_EQ(run.r.status, 2) << run.log;
        EXPECT_NE(run.log.find(c.message), std::string::npos) << run.log;
        EXPECT_EQ(run.log.find("Please try another transport solver") != std::string::npos, c.excluded);
        EXPECT_FALSE(fileExists(run.dir + "/t.sim"));
    }
}

// Under an hourly weather file every hour is a segment of its own; the fans keep the flows, and
// so the closed form, whatever the weather.
TEST(CvodeHost, RoomsUnderAnHourlyWeatherFile)
{
    std::string prj = replaceFirst(series(), "\n0 0 30 1e-5 1e-5 0.75 0 50 0\n", "\n1 0 30 1e-5 1e-5 0.75 0 50 0\n");
    prj = replaceFirst(prj, "\nnull\n", "\nt.wth\n");
    prj = withPeriod(prj, "24:00:00", "1:00:00", "1:00:00");
    std::string w = "WeatherFile Flowpad 2.0\nHourly records of one day\n1/1 1/1\n1/1 1 1 0 0.0\n";
    for (int h = 0; h <= 24; h++) {
        char line[96];
        snprintf(line, sizeof line, "1/1 %d:00:00 %.2f 101325 %.2f 270 2.0 0 0 0 0 0\n", h, 270.15 + 0.5 * h,
                 1.0 + 0.1 * h);
        w += line;
    }
    CvRun run = runProject(prj, {{"t.wth", w}});
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    EXPECT_GT(timeSteps(run.log), 48);
    double c0 = run.at(0, 1), k1 = rate(50), k2 = rate(100);
    for (int t : {3600, 7200, 36000}) {
        EXPECT_NEAR(run.at(t, 1) / c0, closed1(t, k1) / C0, 1e-5) << t;
        EXPECT_NEAR(run.at(t, 2) / c0, closed2(t, k1, k2) / C0, 1e-5) << t;
    }
    EXPECT_NE(run.log.find("Final: "), std::string::npos);
    EXPECT_NE(run.log.find(" 0 net\n", run.log.find("Final: ")), std::string::npos) << "memory balance";
}

// Steady contaminants keep all species in the one combined system: C = G / Q.
TEST(CvodeHost, SteadyContaminants)
{
    std::string prj = replaceFirst(series(), "\n2 0 1e-4 1e-15 0 0\n", "\n1 0 1e-4 1e-15 0 0\n");
    prj = replaceFirst(prj, "0 ! source/sink elements\n-999",
                       "1 ! source/sink elements\n1 tracer ccf release\nConstant release\n 6.020485e-8 0 0 0\n-999");
    prj = replaceFirst(prj, "0 ! sources and sinks\n-999",
                       "1 ! sources and sinks\n1 1 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n-999");
    CvRun run = runProject(prj);
    ASSERT_EQ(run.r.status, 0) << run.r.err << run.log;
    for (int zone : {1, 2}) EXPECT_NEAR(run.at(0, zone), 1e-6, 1e-12);
}

namespace
{

const SimRecord* stepRecord(const SimFile& sim, int day, int time)
{
    for (const SimRecord& rec : sim.records)
        if (rec.kind == SIM_STEP_RECORD && rec.day == day && rec.time == time) return &rec;
    return nullptr;
}

}  // namespace

// Without species the loop still steps the airflow from segment end to listing time: each
// hour's flows are those of the boundary values at its start, which the fixed-step loop lists
// at the hour before.
TEST(CvodeHost, AirflowWithoutSpecies)
{
    std::string dir = scratchDir();
    std::string prj = replaceFirst(fixture("tr_stack.prj"), "\n0 0 1e-4 1e-15 0 0\n", "\n2 0 1e-4 1e-15 0 0\n");
    writeFile(dir + "/tr_stack.wth", fixture("tr_stack.wth"));
    writeFile(dir + "/imp.prj", prj);
    writeFile(dir + "/cv.prj", replaceFirst(prj, "\n0 0 0 0.1 0 0\n", "\n2 0 0 0.1 0 0\n"));
    for (const char* name : {"imp", "cv"}) {
        ChildResult r = runHost(std::string("-q ") + name, dir);
        ASSERT_EQ(r.status, 0) << name << r.err << readFile(dir + "/" + name + ".xlog");
    }
    SimFile imp, cv;
    std::string why;
    ASSERT_TRUE(simRead((dir + "/imp.sim").c_str(), &imp, &why)) << why;
    ASSERT_TRUE(simRead((dir + "/cv.sim").c_str(), &cv, &why)) << why;
    EXPECT_NE(readFile(dir + "/cv.xlog").find("with vode/BDF solver"), std::string::npos);
    int compared = 0;
    for (int day : {1, 2})
        for (int t = 0; t < 86400; t += 3600) {
            const SimRecord* a = stepRecord(imp, day, t);
            const SimRecord* b = stepRecord(cv, day, t + 3600);
            ASSERT_TRUE(a && b) << day << " " << t;
            ASSERT_EQ(a->paths.size(), b->paths.size());
            for (size_t k = 0; k < a->paths.size(); k++) EXPECT_NEAR(b->paths[k].F0, a->paths[k].F0, 1e-6);
            compared++;
        }
    EXPECT_EQ(compared, 48);
}
