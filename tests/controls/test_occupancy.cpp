// Occupants in a project read and assembled: the two sections and their refusals, the zone
// occupancy a schedule gives and a sensor reads, the exposure of one step against hand
// values, and the sources occupants carry.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "controls/occupancy.h"
#include "ctrl_fixture.h"
#include "network/mat_init.h"
#include "transport/cse.h"
#include "transport/mfsystem.h"

// The occupancy block of the fixture: two occupants in the office until 12:30, then the hall.
static const char* kOccupancy =
    "1 ! occupancy schedules\n"
    "1 3 0 workday\n"
    "The office in the morning, the hall from half past noon\n"
    "00:00:00 1 0 0 0\n"
    "12:30:00 2 0 0 0\n"
    "24:00:00 0 0 0 0\n"
    "-999\n"
    "1 ! exposures\n"
    "1 1 1 2 0\n"
    "Two office workers breathing out CO2\n"
    "1 1 1 1 1 1 1 1 1 1 1 1\n"
    "CO2 0 5e-6 kg/s 0\n"
    "-999\n";

// One schedule of the given points ("hh:mm:ss zone" lines) for an exposure of `mult` occupants
// on every day type, without sources.
static std::string oneOccupant(const std::string& points, int npts, float mult = 1.0f, const std::string& more = "")
{
    char head[64];
    snprintf(head, sizeof head, "1 0 0 %g 0\n", mult);
    return "1 ! occupancy schedules\n1 " + std::to_string(npts) + " 0 day\nday\n" + points + "-999\n1 ! exposures\n" +
           head + "occupant\n1 1 1 1 1 1 1 1 1 1 1 1\n" + more + "-999\n";
}

static std::string office(const std::string& occupancy = kOccupancy, const std::string& controls = "")
{
    std::string text = replaced(fixture("occ_office.prj"), kOccupancy, occupancy);
    if (!controls.empty()) text = replaced(text, "0 ! control nodes\n-999", controls + "\n-999");
    return text;
}

static void setStep(FlowmirState* fms, int end, int step)
{
    fms->time_step = step;
    fms->dt = (float)step;
    fms->rdt = 1.0f / (float)step;
    fms->stepEndTime = end;
    fms->stepStartTime = end - step;
    fms->dayType = 1;
}

TEST(Occupancy, SectionsRead)
{
    CtrlProject p(office());
    FlowmirState* fms = p.fms;
    std::string log = p.log();
    EXPECT_NE(log.find("Occupant Day Schedule section read successfully.\n"), std::string::npos);
    EXPECT_NE(log.find("Occupant Exposure section read successfully.\n"), std::string::npos);
    ASSERT_EQ(fms->nosh, 1);
    ASSERT_EQ(fms->nExposures, 1);
    Exposure* ex = fms->exposures;
    ASSERT_NE(ex, nullptr);
    EXPECT_EQ(ex->mult, 2.0f);
    EXPECT_EQ(ex->emits, 1);
    OccSchedule* os = ex->occSched[0];
    ASSERT_NE(os, nullptr);
    EXPECT_EQ(ex->occSched[11], os);
    ASSERT_EQ(os->npts, 3);
    EXPECT_EQ(os->time[1], 12 * 3600 + 1800);
    // The points' zones are nodes; "out" at midnight stays where the day ended.
    EXPECT_EQ(os->zone[0], p.zone(1));
    EXPECT_EQ(os->zone[1], p.zone(2));
    EXPECT_EQ(os->zoneNr[2], 2);
    OccSource* src = fms->occSources;
    ASSERT_NE(src, nullptr);
    EXPECT_EQ(src->next, nullptr);
    EXPECT_EQ(src->owner, ex);
    EXPECT_FLOAT_EQ(src->rate, 5e-6f);
    EXPECT_EQ(*src->sched, 1.0f);
}

// A source line of an occupant that does not emit, or of a species that is not simulated, is
// skipped whole.
TEST(Occupancy, SourceLinesWithoutASourceAreSkipped)
{
    const std::string cases[] = {
        replaced(kOccupancy, "1 1 1 2 0\n", "1 0 1 2 0\n"),
        replaced(kOccupancy, "CO2 0 5e-6 kg/s 0\n", "H2O 7 x y z\n"),
    };
    for (const std::string& occ : cases) {
        CtrlProject p(office(occ));
        EXPECT_EQ(p.fms->occSources, nullptr);
        EXPECT_EQ(p.fms->nExposures, 1);
    }
}

struct Broken {
    const char* from;
    const char* to;
    const char* message;
};

TEST(Occupancy, BrokenSectionsEndTheRun)
{
    const Broken cases[] = {
        {"1 3 0 workday", "2 3 0 workday", "Occpancy-schedule number mis-match: 1"},
        {"1 3 0 workday", "1 1 0 workday", "Occupancy schedule 1 needs at least 2 points, has 1"},
        {"1 3 0 workday", "1 30000 0 workday", "Invalid point count in occupancy schedule 1: 30000"},
        {"00:00:00 1 0 0 0", "01:00:00 1 0 0 0", "Occupancy schedule 1: the first point must be at 00:00:00"},
        {"24:00:00 0 0 0 0", "23:00:00 0 0 0 0", "Occupancy schedule 1: the last point must be at 24:00:00"},
        {"1 3 0 workday", "1 4 0 workday", "Occupancy schedule 1: point times must not decrease"},
        {"12:30:00 2 0 0 0", "12:30:00 3 0 0 0", "Invalid zone number, Occ 1"},
        {"12:30:00 2 0 0 0", "12:30:00 -2 0 0 0", "Invalid zone number, Occ 1"},
        {"1 1 1 2 0\n", "2 1 1 2 0\n", "Exposure number mis-match: 1"},
        {"1 1 1 1 1 1 1 1 1 1 1 1", "1 1 1 1 1 1 1 1 1 1 1 2", "Invalid occupancy-schedule number, exposure 1"},
        {"1 1 1 1 1 1 1 1 1 1 1 1", "-1 1 1 1 1 1 1 1 1 1 1 1", "Invalid occupancy-schedule number, exposure 1"},
        {"CO2 0 5e-6", "CO2 1 5e-6", "Invalid week-schedule number, exposure 1"},
        {"1 1 1 2 0\n", "1 1 99999 2 0\n", "Invalid source count, exposure 1: 99999"},
    };
    for (const Broken& c : cases) {
        SCOPED_TRACE(c.message);
        std::string occ = replaced(kOccupancy, c.from, c.to);
        // Four points, the last two out of order.
        if (std::string(c.to) == "1 4 0 workday") occ = replaced(occ, "24:00:00 0", "12:00:00 1 0 0 0\n24:00:00 0");
        std::string path = scratchDir() + "/broken.prj";
        writeFile(path, office(occ));
        ChildResult r = runChild([&] {
            TestState ts;
            ts->msBlock = alc_eci(ts.fms, 32000, "ms-block");
            ts->mbBlock = alc_eci(ts.fms, 8000, "mb-block");
            prj_read(ts.fms, path.c_str());
            _exit(0);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(std::string("ERROR ") + c.message + "\n"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("FATAL Project file errors must be fixed.\n"), std::string::npos);
    }
}

// Two occupants in zone 1 from 08:00 to 17:00, and an occupancy sensor on zone 1.
TEST(Occupancy, ZoneOccupancyFollowsTheSchedule)
{
    const std::string points = "00:00:00 0 0 0 0\n08:00:00 1 0 0 0\n17:00:00 0 0 0 0\n24:00:00 0 0 0 0\n";
    const std::string sensor = "1 ! control nodes\n1 sns 1 0 0 0 0 people\nOccupancy of the office\n"
                               "0 1 0 0 1 1 5 0 0 0 0 none";
    CtrlProject p(office(oneOccupant(points, 4, 2.0f), sensor));
    FlowmirState* fms = p.fms;
    EXPECT_EQ(fms->occupancyOn, 1);
    EXPECT_EQ(p.node(1)->in1, &p.zone(1)->occ);
    for (int end = 3600; end <= 86400; end += 3600) {
        setStep(fms, end, 3600);
        setZoneOcc(fms, end, 0);
        float expected = end >= 9 * 3600 && end <= 17 * 3600 ? 2.0f : 0.0f;
        EXPECT_EQ(p.zone(1)->occ, expected) << end;
        EXPECT_EQ(p.zone(2)->occ, 0.0f);
    }

    // Half-hour steps with a point at 08:15, and two-hour steps across 17:00.
    const std::string quarter = "00:00:00 0 0 0 0\n08:15:00 1 0 0 0\n17:00:00 0 0 0 0\n24:00:00 0 0 0 0\n";
    CtrlProject q(office(oneOccupant(quarter, 4, 2.0f), sensor));
    const struct {
        int step, end;
        float occ;
    } cases[] = {
        {1800, 8 * 3600, 0.0f}, {1800, 8 * 3600 + 1800, 1.0f}, {1800, 9 * 3600, 2.0f},
        {7200, 18 * 3600, 1.0f}, {7200, 0, 0.0f},  // time 0 is the first step of the day
    };
    for (const auto& c : cases) {
        setStep(q.fms, c.end, c.step);
        setZoneOcc(q.fms, c.end, 0);
        EXPECT_EQ(q.zone(1)->occ, c.occ) << c.step << " " << c.end;
    }
    // The sensor reads the zone's occupancy in place.
    setStep(q.fms, 12 * 3600, 3600);
    setZoneOcc(q.fms, 12 * 3600, 0);
    ctrl_sim(q.fms, 0);
    EXPECT_EQ(q.node(1)->out, 2.0f);
}

// One step from 00:00 to 01:00 against hand values: C0 at the start of the step, C at its end,
// and the occupant's points.
TEST(Occupancy, ExposureOfOneStep)
{
    const struct {
        const char* what;
        std::string points;
        int npts;
        double c0[2], c[2];
        float expos;
        double present;
    } cases[] = {
        {"whole step in zone 1", "00:00:00 1 0 0 0\n24:00:00 1 0 0 0\n", 2, {0, 0}, {1e-3, 0}, 5e-4f, 3600},
        {"second half only", "00:00:00 0 0 0 0\n00:30:00 1 0 0 0\n24:00:00 1 0 0 0\n", 3, {0, 0}, {1e-3, 0},
         7.5e-4f, 1800},
        // The mean of what was breathed, not the sum over zones (2e-3).
        {"a move between two zones at 1e-3", "00:00:00 1 0 0 0\n00:30:00 2 0 0 0\n24:00:00 2 0 0 0\n", 3,
         {1e-3, 1e-3}, {1e-3, 1e-3}, 1e-3f, 3600},
        // Half at the first zone's 1/4 point, half at the second's 3/4 point.
        {"a move between rising zones", "00:00:00 1 0 0 0\n00:30:00 2 0 0 0\n24:00:00 2 0 0 0\n", 3, {0, 0},
         {4e-4, 8e-4}, 0.5f * (1e-4f + 6e-4f), 3600},
        {"out of the building", "00:00:00 0 0 0 0\n24:00:00 0 0 0 0\n", 2, {1e-3, 1e-3}, {1e-3, 1e-3}, 0.0f, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CtrlProject p(office(oneOccupant(c.points, c.npts)));
        FlowmirState* fms = p.fms;
        setStep(fms, 3600, 3600);
        for (int z = 1; z <= 2; z++) {
            p.zone(z)->Mf[0] = c.c[z - 1];
            fms->MfZi[p.zone(z)->Mf - fms->MfZ] = c.c0[z - 1];
        }
        Exposure* ex = fms->exposures;
        ex->expos[0] = 1.0f;  // left over from an earlier step
        exposure(fms, ex);
        EXPECT_NEAR(ex->expos[0], c.expos, 1e-9);
        EXPECT_EQ(ex->present, c.present);
    }
}

// The occupant's 1e-5 kg/s go where it is: a move at 12:30 gives each zone half of the step
// ending 13:00; leaving the building at 12:30 injects, and counts, only half the step's mass.
TEST(Occupancy, CarriedSourceFollowsTheOccupant)
{
    const double G = 2 * 5e-6;
    const struct {
        const char* to;
        double zone1, zone2;
    } cases[] = {{"12:30:00 2 0 0 0", 0.5 * G, 0.5 * G}, {"12:30:00 0 0 0 0", 0.5 * G, 0.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        CtrlProject p(office(replaced(kOccupancy, "12:30:00 2 0 0 0", c.to)));
        FlowmirState* fms = p.fms;
        mat_init(fms);
        MfSystem* sys = fms->mft;
        ASSERT_NE(sys, nullptr);
        for (int i = 1; i <= sys->neq; i++) sys->e[i] = 0.0;
        setStep(fms, 13 * 3600, 3600);
        findPolMassRates_occ(fms, sys);
        // The rate is single precision.
        EXPECT_NEAR(sys->e[p.zone(1)->mfEqn[0]], c.zone1, G * 1e-6);
        EXPECT_NEAR(sys->e[p.zone(2)->mfEqn[0]], c.zone2, G * 1e-6);
        sumOccSourceMass(fms);
        EXPECT_NEAR(fms->occSources->genTotal, 3600 * (c.zone1 + c.zone2), 3600 * G * 1e-6);
        // A step wholly in the office.
        for (int i = 1; i <= sys->neq; i++) sys->e[i] = 0.0;
        setStep(fms, 10 * 3600, 3600);
        findPolMassRates_occ(fms, sys);
        EXPECT_NEAR(sys->e[p.zone(1)->mfEqn[0]], G, G * 1e-6);
        EXPECT_EQ(sys->e[p.zone(2)->mfEqn[0]], 0.0);
    }
}

// The walk never reads past the last point, wherever the cursor was left.
TEST(Occupancy, SegmentWalkStaysInsideThePoints)
{
    const int times[] = {0, 3600, 86400};
    const struct {
        int cursor, t, tEnd;
        int dur, next, segment;
    } cases[] = {
        {0, 0, 3600, 3600, 3600, 0},        {0, 1800, 7200, 1800, 3600, 0},
        {7, 3600, 7200, 3600, 7200, 1},     // a cursor left by a longer day's schedule
        {-3, -600, 1200, 1800, 1200, 0},    // before midnight counts in the first segment
        {1, 86400, 90000, 3600, 90000, 1},  // past the end the last segment holds
    };
    for (const auto& c : cases) {
        int cursor = c.cursor, t = c.t;
        EXPECT_EQ(occ_loc(&cursor, &t, c.tEnd, times, 3), c.dur);
        EXPECT_EQ(t, c.next);
        EXPECT_EQ(cursor, c.segment);
    }
}
