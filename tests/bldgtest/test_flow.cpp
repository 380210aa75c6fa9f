// The building airflow test through the host, on a building whose flows are all fixed by fans,
// a system and mass balance:
//   path 1  fan 0.05 kg/s outdoors -> room 1          path 2  crack room 1 -> room 2 (0.15)
//   path 3  crack room 2 -> outdoors (0.04)           path 4  fan 0.02 room 2 -> garage (U)
//   path 5  crack garage -> outdoors (0.02)
//   system  supply 0.1 to room 1, return 0.1 from room 2, 30 % outdoor air (0.03 in, 0.03 out)
//   ducts   intake terminal outdoors -> duct fan 0.01 -> terminal into room 2
// The zones hold the tracer at 0, so only the system's supply (0.3) and the ducts (1.0) carry
// outdoor air.
#include <gtest/gtest.h>

#include <cmath>

#include "bldgtest/bldgtest.h"
#include "bt_fixture.h"

static const double kRho = 101325.0 / (287.055 * 293.15);       // rooms at 20 C
static const double kRhoGarage = 101325.0 / (287.055 * 283.15); // garage and outdoors at 10 C

static const char* kClassHeader =
    "zone\tC/U\tVol [m^3]\tDens [kg/m^3]\tfmTerm\tfmLeak\tfmAHS\tfmFan\tfmCzone\tfmUzone\tfmAmbt"
    "\ttoTerm\ttoLeak\ttoAHS\ttoFan\ttoCzone\ttoUzone\ttoAmbt\toaTerm\toaLeak\toaAHS\toaFan";

TEST(AirflowTest, ClassifiedFlowsZoneByZone)
{
    BtRun r = btRun(btFixture("bt_flow.prj"));
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    std::string val = r.file(".val");
    auto rows = btTable(val, kClassHeader);
    struct Row {
        const char* zone;
        const char* cls;
        double vol;
        double f[18];
    };
    // Row 0 is the outdoors: its volume is the building's without unconditioned space (rooms,
    // system zones, the ducts' 0.1 m3). The fan from outdoors counts as outdoor air of the
    // fan, not as air from outdoors; the exhaust fan counts in the garage's fmFan and fmCzone.
    const Row expect[] = {
        {"0", "A", 160.1, {0, 0, 0.03, 0, 0.04, 0.02, 0, 0.01, 0, 0.03, 0.05, 0.05, 0, 0, 0, 0, 0, 0}},
        {"1", "C", 100, {0, 0, 0.1, 0.05, 0, 0, 0, 0, 0, 0, 0, 0.15, 0, 0, 0, 0, 0.03, 0.05}},
        {"2", "C", 50, {0.01, 0, 0, 0, 0.15, 0, 0, 0, 0, 0.1, 0.02, 0, 0.02, 0.04, 0.01, 0, 0, 0}},
        {"3", "U", 40, {0, 0, 0, 0.02, 0.02, 0, 0, 0, 0, 0, 0, 0, 0, 0.02, 0, 0, 0, 0}},
    };
    ASSERT_EQ(rows.size(), 4u) << val;  // the system zones 4 and 5 are not listed
    for (size_t i = 0; i < rows.size(); i++) {
        SCOPED_TRACE(expect[i].zone);
        ASSERT_EQ(rows[i].size(), 22u);
        EXPECT_EQ(rows[i][0], expect[i].zone);
        EXPECT_EQ(rows[i][1], expect[i].cls);
        EXPECT_NEAR(btNum(rows[i][2]), expect[i].vol, 1e-9);
        for (int c = 0; c < 18; c++) EXPECT_NEAR(btNum(rows[i][4 + c]), expect[i].f[c], 2e-6) << "column " << c;
    }
    EXPECT_NEAR(btNum(rows[1][3]), kRho, 1e-4);
    EXPECT_NEAR(btNum(rows[3][3]), kRhoGarage, 1e-4);
}

// Rates per zone are flows x 3600 / (rho V); the building's rate counts outdoor air into
// conditioned zones (the supply fan's 0.05) and into the systems (0.03 and the ducts' 0.01).
TEST(AirflowTest, AirChangeRatesAndReportLayout)
{
    BtRun r = btRun(btFixture("bt_flow.prj"));
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    std::string val = r.file(".val");
    char ach[32];
    snprintf(ach, sizeof ach, "Bldg ACH:\t%.3f\n\n", 0.09 * 3600.0 / (160.1 * 1.2041));
    EXPECT_EQ(val.substr(0, val.find("Zones:")),
              std::string("Airflow Summary for p.prj\n\n"
                          "Ambient T:\t10.00\tC\n"
                          "Pressure: \t101325.00\tPa\n"
                          "Wind spd: \t0.00\tm/s\n"
                          "Wind dir: \t0.00\tdeg\n"
                          "Time:     \t12:00:00\tTuesday\n\n") +
                  ach);
    EXPECT_NE(val.find("Zones:\t3\t\t flows [ACH]\n"), std::string::npos);
    auto rates = btTable(val, "zone\tC/U\tSupply\tRet/Exh\tOA sys\tOA tot\tCirc tot\tP [Pa]\tT [C]\tVol [m^3]");
    ASSERT_EQ(rates.size(), 3u) << val;
    struct Rate {
        const char* cls;
        double factor;
        double v[5];  // supply, return/exhaust, OA system, OA total, circulation, kg/s
    };
    const Rate expect[] = {
        {"C", 3600.0 / (kRho * 100), {0.15, 0, 0.08, 0.08, 0.15}},
        {"C", 3600.0 / (kRho * 50), {0.01, 0.12, 0.01, 0.01, 0.16}},
        {"U", 3600.0 / (kRhoGarage * 40), {0.02, 0, 0, 0, 0.02}},
    };
    for (int z = 0; z < 3; z++) {
        SCOPED_TRACE(z + 1);
        ASSERT_EQ(rates[z].size(), 10u);
        EXPECT_EQ(rates[z][1], expect[z].cls);
        for (int c = 0; c < 5; c++)
            EXPECT_NEAR(btNum(rates[z][2 + c]), expect[z].v[c] * expect[z].factor, 1e-3) << "column " << c;
    }
    EXPECT_EQ(rates[2][8], "10");
    EXPECT_EQ(rates[2][9], "40");

    auto jct = btTable(val, "junction\tJ/T\tOA [%]\tFlow [kg/s]\tP [Pa]\tT [C]\tVol [m^3]");
    ASSERT_EQ(jct.size(), 2u) << val;
    for (auto& j : jct) {
        EXPECT_EQ(j[1], "T");
        EXPECT_NEAR(btNum(j[2]), 100.0, 1e-3);
        EXPECT_EQ(j[3].substr(0, 1), " ");
        EXPECT_NEAR(btNum(j[3]), 0.01, 1e-7);
        EXPECT_EQ(j[6], "0.05");
    }
    EXPECT_NE(val.find("\nJunctions:\t2\n"), std::string::npos);
    EXPECT_NE(val.find("\nClassified Zone Airflows for p.prj\n\nZones:\t4\t\t flows [kg/s]\n"), std::string::npos);
    EXPECT_NE(val.find("\nVolumes: p\nConditioned zones\n150\tm^3\n5297.2\tcuft\n"
                       "Ducts & AHS (conditioned)\n10.1\tm^3\n356.68\tcuft\n"
                       "Unconditioned zones\n40\tm^3\n1412.6\tcuft\n"),
              std::string::npos)
        << val;
    std::string xlog = r.file(".xlog");
    EXPECT_NE(xlog.find("Building airflow test called\n"), std::string::npos);
    EXPECT_NE(xlog.find("End Airflow Analysis Calculation\n"), std::string::npos);
    EXPECT_NE(xlog.find(" freed, 0 net\nSimulation completed successfully.\n"), std::string::npos);
}

// The three switches select their sections; header, rate and volumes are always written.
TEST(AirflowTest, OutputSwitchesSelectTheSections)
{
    const struct {
        const char* switches;
        bool zones, junctions, classified;
    } cases[] = {{"0 0 0", false, false, false}, {"1 0 0", true, false, false},
                 {"0 1 0", false, true, false}, {"0 0 1", false, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.switches);
        BtRun r = btRun(replaceFirst(btFixture("bt_flow.prj"), "\n1 1 1\n0 0.001", std::string("\n") + c.switches + "\n0 0.001"));
        ASSERT_EQ(r.r.status, 0) << r.r.err;
        std::string val = r.file(".val");
        EXPECT_EQ(val.find("flows [ACH]") != std::string::npos, c.zones);
        EXPECT_EQ(val.find("\nJunctions:") != std::string::npos, c.junctions);
        EXPECT_EQ(val.find("Classified Zone Airflows") != std::string::npos, c.classified);
        EXPECT_NE(val.find("Bldg ACH:\t"), std::string::npos);
        EXPECT_NE(val.find("\nVolumes: p\n"), std::string::npos);
    }
}

// Daylight saving time moves the reported time by an hour, into the next day of the week after
// midnight; holiday day types keep their number.
TEST(AirflowTest, ReportedTimeAndDay)
{
    const struct {
        int time, dst, dayType;
        const char *t, *d;
    } cases[] = {
        {84600, 1, 7, "00:30:00", "Sunday"},  {84600, 0, 7, "23:30:00", "Saturday"},
        {43200, 1, 1, "13:00:00", "Sunday"},  {82800, 1, 4, "24:00:00", "Wednesday"},
        {84600, 1, 9, "00:30:00", "9"},
    };
    for (const auto& c : cases) {
        TestState s;
        s->stepEndTime = c.time;
        s->dstFlag = c.dst;
        s->dayType = c.dayType;
        char t[32], d[32];
        bt_report_time(s.fms, t, d, sizeof t);
        EXPECT_STREQ(t, c.t) << c.time << " " << c.dst << " " << c.dayType;
        EXPECT_STREQ(d, c.d) << c.time << " " << c.dst << " " << c.dayType;
    }
}

// A door between room 2 (20 C) and the garage (10 C) instead of the exhaust fan: the warm air
// leaves at the top and the cold air comes back at the bottom, and each direction counts in the
// "to" column of one zone and the "from" column of the other.
TEST(AirflowTest, TwoWayDoorCountsInBothZones)
{
    std::string text = btFixture("bt_flow.prj");
    text = replaceFirst(text, "4 ! airflow elements", "5 ! airflow elements");
    text = replaceFirst(text, "Garage leakage\n 5e-5 0.02 0.65\n",
                        "Garage leakage\n 5e-5 0.02 0.65\n5 19 dor_door door\nDoor to the garage\n 0.01 0.9 0.5 0 2.0 0.9 0.6\n");
    text = replaceFirst(text, "4 0 2 3 3 0", "4 0 2 3 5 0");
    BtRun r = btRun(text);
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    auto rows = btTable(r.file(".val"), kClassHeader);
    ASSERT_EQ(rows.size(), 4u);
    auto col = [&](int zone, int c) { return btNum(rows[zone][4 + c]); };
    enum { FMFAN = 3, FMCZONE = 4, FMUZONE = 5, TOFAN = 10, TOCZONE = 11, TOUZONE = 12 };
    EXPECT_GT(col(2, TOUZONE), 1e-3);
    EXPECT_GT(col(2, FMUZONE), 1e-3);
    EXPECT_NEAR(col(3, FMCZONE), col(2, TOUZONE), 2e-6);
    EXPECT_NEAR(col(3, TOCZONE), col(2, FMUZONE), 2e-6);
    EXPECT_EQ(col(2, TOFAN), 0.0);
    EXPECT_EQ(col(3, FMFAN), 0.0);
    // The garage's leak carries out what the door brings in on balance.
    EXPECT_NEAR(col(3, FMCZONE) - col(3, TOCZONE), btNum(rows[3][4 + 13]), 1e-5);
}

// A tracer source and a wall sink in the system's supply zone would change its outdoor-air
// fraction of 0.3: the test holds the tracer to outdoor air alone.
TEST(AirflowTest, SourcesAndSinksDoNotTouchTheTracer)
{
    std::string text = btFixture("bt_flow.prj");
    text = replaceFirst(text, "0 ! source/sink elements\n-999",
                        "2 ! source/sink elements\n1 oa ccf puff\nTracer release\n 0.01 0 0 0\n"
                        "2 oa bls walls\nWall uptake\n 1e-3 1.2 100 10 0 0 0\n-999");
    text = replaceFirst(text, "0 ! sources and sinks\n-999",
                        "2 ! sources and sinks\n1 4 1 0 0 1 0 0 0 0 0 0 0 0 0 0 0\n2 4 2 0 0 10 0.1 0 0 0 0 0 0 0 0 0 0\n-999");
    BtRun r = btRun(text);
    ASSERT_EQ(r.r.status, 0) << r.r.err;
    auto rows = btTable(r.file(".val"), kClassHeader);
    ASSERT_EQ(rows.size(), 4u) << r.file(".val");
    EXPECT_NEAR(btNum(rows[1][4 + 16]), 0.03, 2e-6);  // oaAHS of room 1
    EXPECT_NE(r.file(".xlog").find("      source/sinks:    0\n"), std::string::npos);
}
