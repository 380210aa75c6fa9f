// The reports of a case's initial fields, each checked against text or bytes built here from
// the documented layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <sstream>

#include "cfd_fixture.h"
#include "results/resfile.h"

namespace
{

// The room case written at 12:00:00 of day 1 as the uncoupled entry does it.
struct Room {
    CfdCase c;
    explicit Room(const std::string& text = cfdFixture("cfd_room.CFD")) : c(text)
    {
        c.s.openLog();
        c.s->time_step = 600;
        c.s->listStep = 3600;
        c.s->dayofy = 1;
        c.s->stepEndTime = 43200;
        c.s->endDate = 1;
        c.s->endTime = 86400;
        cfd_uncoupled(c.s.fms, "Office");
        resfile_commit_all(c.s.fms);
    }
    std::string file(const std::string& ext) const { return readFile(c.path(ext)); }
};

// Reads native values from a byte string in order.
struct Bytes {
    std::string b;
    size_t at = 0;
    template <class T> T get()
    {
        T v;
        memcpy(&v, b.data() + at, sizeof v);
        at += sizeof v;
        return v;
    }
};

// One column of 128 values, five to a line.
std::string column(const std::string& value)
{
    std::string out;
    for (int k = 0; k < 128; k++) {
        if (k > 0 && k % 5 == 0) out += "\n   ";
        out += value + "  ";
    }
    return out + "\n";
}

} // namespace

TEST(CfdReports, ResultReportAndLogs)
{
    Room room;
    std::string ret = room.file(".ret");
    std::string zero = column("  0.00000e+00");
    std::string block = " I=1  \n" + zero + " I=65 \n" + zero;
    std::string tblock = " I=1  \n" + column("  2.93000e+02") + " I=65 \n" + column("  2.93000e+02");
    std::string flow =
        "\n\n\t\tNUMERICAL VALUES OF FLOW PARAMETERS\n\n"
        "Iterations:0, Time:T(minutes)\n\n"
        "\nNames    Area(m**2)  Mass Flow(kg/s)  T(C)       POUT(pa)       Pcoexp(pa)       Pmean(pa)\n"
        "Inlet#1 : Supply\n         0.125000    0.200000         20.000000\n\n"
        "Outlet#1 : Exhaust\n         0.100000    -0.200000        20.000000\n\n"
        "Outlet#2 : Grille\n         0.450000    0.000000         22.000000  -1.000000       \n\n"
        "\t\t\t\tJ=1 \n\n"
        " U=\n" +
        block + " V=\n" + block + " W=\n" + block + " T=\n" + tblock + " C1=\n" + block + " VTT=\n" + block;
    std::string ctm =
        "\nAt time step:43200.000000:\n"
        "\nContaminant computation results:\n"
        "  *Contaminant#1 \n"
        "\t*Inlet #1 :Supply          AirMass=0.200000    [kg/s]  MassFraction=1.000000e-03[kg/kg]  "
        "ContaminantMass=2.000000e-04[kg/s]\n"
        "\t*Outlet #1 :Exhaust          AirMass=-0.200000   [kg/s]  MassFraction=0.000000e+00[kg/kg]  "
        "ContaminantMass=0.000000e+00[kg/s]\n"
        "\t*Outlet #2 :Grille          AirMass=0.000000    [kg/s]  MassFraction=0.000000e+00[kg/kg]  "
        "ContaminantMass=0.000000e+00[kg/s]\n"
        "\t*Blockage #1           ContaminantMass=0.000000e+00[kg/s]\n"
        "\t*SurfaceSource #1      ContaminantMass=1.000000e-06[kg/s]\n"
        "  *TotalInput=2.010000e-04[kg/s]  TotalOutput=0.000000e+00[kg/s]  fms->cfd.SUMM=0.000000[kg/S]  "
        "fms->cfd.SUMMA=0.675000[m^2]\n\n";
    // The processor time is the only value that varies.
    std::string got =
        std::regex_replace(ret, std::regex("Time:[0-9]+\\.[0-9]{6}\\(minutes\\)"), "Time:T(minutes)");
    EXPECT_EQ(got, flow + ctm);

    EXPECT_EQ(room.file(".bal"), "\nReading CFD INPUT file...\n"
                                 "Writing Result file(RET) at iteration 0...\n"
                                 "Writing Tecplot file(DAT) at iteration 0...\n");
    std::string log = room.c.s.log();
    EXPECT_NE(log.find("===== input() =====\n"), std::string::npos) << log;
    EXPECT_NE(log.find("CFD Inlet Supply 0.125\nCFD Outlet Exhaust 0.1\nCFD Outlet Grille 0.45\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(room.file(".mon"),
              "\t**********STEADY RESULTS AT MONITORING POINT**********\n\n"
              "At Monitoring Point: I=64,J=2,K=64,\n"
              "Time\tU(m/s)\tV(m/s)\tW(m/s)\tVel(m/s)\tP(Pa)\tT(C)\tC1(PPM)\t"
              "\n12:00:00\t0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t20.000000\t"
              "\n12:00:00\t0.000000\t0.000000\t0.000000\t0.000000\t0.000000\t20.000000\t0.000000e+00\t");
    // Nothing is left under a temporary name, and the memory balance is even.
    EXPECT_FALSE(fileExists(room.c.path(".ret.part")));
    EXPECT_EQ(room.c.s->bytesAllocated, room.c.s->bytesFreed);
}

TEST(CfdReports, FieldFile)
{
    Room room;
    std::string dat = room.file(".dat");
    const std::string head = "TITLE=\"Two-dimensional office room, isnt it\"\n"
                             "VARIABLES = \"X\",\"Y\",\"Z\",\"BLANK\",\"OBJECTS\",\"T\",\"P\",\"VIS\",\n"
                             "\"U\",\"V\",\"W\",\"VTT\",\"C1\"\n"
                             "CUSTOMLABELS \"Supply\",\"Exhaust\",\"Grille\",\"REFBLOCK desk\",\n"
                             "ZONE T=\"Time 12:00:00\", I=130, J=  3, K=130, F=POINT\n";
    ASSERT_EQ(dat.substr(0, head.size()), head);
    // The first point: a boundary layer, so blanked.
    const std::string first = "   0.000000e+00    0.000000e+00    0.000000e+00\n"
                              "0               0\n"
                              "   2.000000e+01    0.000000e+00    1.800000e-05    0.000000e+00\n"
                              "   0.000000e+00    0.000000e+00    0.000000e+00\n"
                              "    0.000000e+00\n";
    EXPECT_EQ(dat.substr(head.size(), first.size()), first);
    // 13 values per point, 130 x 3 x 130 points, z outermost and x innermost.
    std::istringstream in(dat.substr(head.size()));
    std::vector<std::string> tok;
    for (std::string t; in >> t;)
        tok.push_back(t);
    ASSERT_EQ(tok.size(), 50700u * 13);
    auto point = [&](int i, int j, int k) { return &tok[13 * (((k - 1) * 3 + (j - 1)) * 130 + (i - 1))]; };
    // A fluid cell: its type and no object.
    const std::string* p = point(2, 2, 2);
    EXPECT_EQ(p[0], "2.500000e-02");
    EXPECT_EQ(p[1], "5.000000e-01");
    EXPECT_EQ(p[2], "1.250000e-02");
    EXPECT_EQ(p[3], "0");
    EXPECT_EQ(p[4], "0");
    // A cell of the block, and the boundary cell beside the supply opening.
    EXPECT_EQ(point(41, 2, 21)[3], "1");
    EXPECT_EQ(point(41, 2, 21)[4], "4");
    EXPECT_EQ(point(1, 2, 121)[4], "1");
    EXPECT_EQ(point(130, 2, 130)[0], "6.400000e+00");
    EXPECT_EQ(point(130, 2, 130)[2], "3.200000e+00");
    // The blank value in full: the ground layer keeps its type, the top layer is blanked.
    size_t at = dat.find("   2.500000e-02    5.000000e-01    0.000000e+00\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(dat.substr(at + 48, 32), "              1\n              0\n");
    at = dat.find("   2.500000e-02    5.000000e-01    3.200000e+00\n");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(dat.substr(at + 48, 18), "0               0\n");
}

TEST(CfdReports, RestartFileRoundTrip)
{
    Room room;
    std::string var = room.file(".var");
    ASSERT_EQ(var.size(), 50700u * 48);
    Bytes b{var};
    // U, V, W, P, T, VIS of point 1, 1, 1.
    for (int n = 0; n < 3; n++)
        EXPECT_EQ(b.get<double>(), 0.0);
    EXPECT_EQ(b.get<double>(), 0.0);
    EXPECT_EQ(b.get<double>(), 293.0);
    EXPECT_DOUBLE_EQ(b.get<double>(), 1.8e-5);

    // A case that asks for a restart starts from the file: here a changed temperature.
    std::string changed = var;
    double t = 300.0;
    memcpy(&changed[4 * sizeof(double)], &t, sizeof t);
    writeFile(room.c.path(".var"), changed);
    CfdCase c(replaceFirst(cfdFixture("cfd_room.CFD"), "0,1,0\n", "1,1,0\n"));
    writeFile(c.path(".var"), changed);
    cfd_uncoupled(c.s.fms, "Office");
    resfile_commit_all(c.s.fms);
    std::string again = readFile(c.path(".var"));
    ASSERT_EQ(again.size(), var.size());
    EXPECT_EQ(again, changed);

    // A restart file of another grid is refused, not read short.
    CfdCase d(replaceFirst(cfdFixture("cfd_room.CFD"), "0,1,0\n", "1,1,0\n"));
    writeFile(d.path(".var"), var.substr(0, 48 * 100));
    ChildResult r = runChild([&] { cfd_uncoupled(d.s.fms, "Office"); });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL CFD restart file (var) " + d.path(".var") +
                         " holds 4800 bytes, the grid needs 2433600\n");
    // And a missing one is named, and the case starts from its initial fields.
    CfdCase e(replaceFirst(cfdFixture("cfd_room.CFD"), "0,1,0\n", "1,1,0\n"));
    r = runChild([&] { cfd_uncoupled(e.s.fms, "Office"); });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "WARNING No CFD restart (var) file found: " + e.path(".var") +
                         "; the solution starts from the initial fields\n");
}

TEST(CfdReports, BuildingPressureFile)
{
    Room room;
    Bytes b{room.file(".ewc")};
    // Block cells 40..60 in x, the single y cell, 1..20 in z: array indices 41..61, 2, 2..21.
    const size_t size = 16 + 12 + 28 + 4 + 28 + (24 + 4 + 22) * 8 + 23 * 3 * 21 * 12;
    ASSERT_EQ(b.b.size(), size);
    EXPECT_EQ(b.get<double>(), 10.0);
    EXPECT_EQ(b.get<double>(), 1.2);
    const int head[] = {21, 1, 20, 0, 41, 61, 2, 2, 2, 21, 1, 0, 41, 61, 2, 2, 2, 21};
    for (int v : head)
        EXPECT_EQ(b.get<int>(), v);
    EXPECT_NEAR(b.get<double>(), 1.9, 1e-12); // XF[39]
    b.at += 23 * 8;
    // YF from index 0: the south boundary face stands in for the face before the grid.
    const double yf[] = {0.0, 0.0, 1.0, 1.0};
    for (double v : yf)
        EXPECT_EQ(b.get<double>(), v);
    EXPECT_EQ(b.get<double>(), 0.0); // ZF[1]
    b.at += 21 * 8;
    // Pressure and type from i = 40, j = 1, k = 2: a boundary-layer cell.
    EXPECT_EQ(b.get<double>(), 0.0);
    EXPECT_EQ(b.get<int>(), 1);

    // A block at the west boundary starts its face list at the boundary, twice; no reference
    // block is an ERROR and the file is still written.
    std::string text = replaceFirst(cfdFixture("cfd_room.CFD"), "40,60\n", "1,20\n");
    text = replaceFirst(text, "REFBLOCK desk", "desk");
    Room west(text);
    EXPECT_NE(west.c.s.log().find("Error makeewc: a reference building block needs to be set"),
              std::string::npos);
    Bytes w{west.file(".ewc")};
    w.at = 16 + 12 + 28 + 4 + 28;
    EXPECT_EQ(w.get<double>(), 0.0);
    EXPECT_EQ(w.get<double>(), 0.0);
    EXPECT_EQ(w.get<double>(), 0.05);

    // A block off the ground is reported; without blocks there is no file.
    Room air(replaceFirst(cfdFixture("cfd_room.CFD"), "1,20\n", "3,20\n"));
    EXPECT_NE(air.c.s.log().find("Error makeewc: at least one building block should be on ground"),
              std::string::npos);
    Room none(
        replaceFirst(cfdFixture("cfd_room.CFD"),
                     "1\n! block name\nREFBLOCK desk\n! i range\n40,60\n! j range\n1,1\n! k range\n1,20\n"
                     "! flag,heat\n0,100.0\n",
                     "0\n"));
    EXPECT_FALSE(fileExists(none.c.path(".ewc")));
}

TEST(CfdReports, SliceFile)
{
    Room room;
    Bytes b{room.file(".out")};
    const int clock[] = {1, 43200, 1, 86400};
    for (int v : clock)
        EXPECT_EQ(b.get<int>(), v);
    EXPECT_EQ(b.get<double>(), 6.4);
    EXPECT_EQ(b.get<double>(), 1.0);
    EXPECT_EQ(b.get<double>(), 3.2);
    // Grid, then each slice list with its own count.
    const int ints[] = {128, 1, 128, 3, 32, 64, 96, 1, 1, 2, 10, 100, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0, 1};
    for (int v : ints)
        EXPECT_EQ(b.get<int>(), v);
    EXPECT_EQ(b.get<double>(), 0.025); // X of cell 1
    b.at += 127 * 8;
    EXPECT_EQ(b.get<double>(), 0.5); // Y
    EXPECT_EQ(b.get<double>(), 0.0125);
    b.at += 127 * 8;
    EXPECT_EQ(b.get<int>(), 1);
    EXPECT_EQ(b.get<int>(), 43200);
    // Six values per cell: x slices 3 x 128 cells, the y slice 128 x 128, z slices 2 x 128.
    EXPECT_EQ(b.b.size() - b.at, (3u * 128 + 128 * 128 + 2 * 128) * 6 * 8);
    b.at += 4 * 8;
    EXPECT_EQ(b.get<double>(), 293.0);
}

TEST(CfdReports, TransientOutputs)
{
    // The contaminant-only zone of a transient contaminant run shares the other variables.
    CfdCase c(cfdFixture("cfd_room.CFD"));
    c.s->stepEndTime = 3600;
    c.read();
    cfd_init_fields(c.s.fms);
    c.s->cfdRun->C[1][2][2][2] = 0.5;
    cfd_mon_header(c.s.fms, 0);
    cfd_dat_write(c.s.fms, 3600);
    cfd_dat_ctm(c.s.fms, 7200);
    cfd_free(c.s.fms);
    resfile_commit_all(c.s.fms);
    std::string dat = readFile(c.path(".dat"));
    const std::string zone =
        "ZONE T=\"Time 02:00:00\", I=130, J=  3, K=130, F=POINT, VARSHARELIST = ([1-12]=1)\n";
    size_t at = dat.find(zone);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(dat.find("TITLE="), dat.rfind("TITLE="));
    std::string rest = dat.substr(at + zone.size());
    const std::string zero = "    0.000000e+00\n";
    ASSERT_EQ(rest.size(), 50700 * zero.size());
    // Point 2, 2, 2 comes after one z layer and one y row of the second layer, plus one.
    EXPECT_EQ(rest.substr((130 * 3 + 130 + 1) * zero.size(), zero.size()), "    5.000000e-01\n");
    const std::string mon = "\t**********TRANSIENT RESULTS AT MONITORING POINT**********\n\nAt";
    EXPECT_EQ(readFile(c.path(".mon")).substr(0, mon.size()), mon);
}
