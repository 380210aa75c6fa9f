// A project that couples a zone to the CFD solver, run by the command-line host.
#include <gtest/gtest.h>

#include "cfd_fixture.h"

// The minimal project with its room flagged as a CFD zone, in the given coupling mode.
static std::string cfdProject(int mode)
{
    std::string prj = cfdFixture("prj_minimal.prj");
    prj = replaceFirst(prj, "\n1 3 0 0 0 1 0 60 293.15 0 Room", "\n1 35 0 0 0 1 0 60 293.15 0 Room");
    return replaceFirst(prj, "\n0 0.001 0 0 10 1 0 0 0 0\n",
                        "\n" + std::to_string(mode) + " 0.001 0 0 10 1 0 0 0 0\n");
}

TEST(CfdHost, CoupledZoneNeedsKeyedPaths)
{
    std::string dir = scratchDir();
    writeFile(dir + "/office.prj", cfdProject(1));
    ChildResult r = runHost("office", dir);
    EXPECT_EQ(r.status, 2) << r.err;
    // The path to the outdoors has no CFD key: no opening of the case can stand for it.
    const std::string message = "Path 1 joins CFD zone Room but has no CFD key\n";
    EXPECT_NE(r.err.find("ERROR " + message), std::string::npos) << r.err;
    EXPECT_NE(readFile(dir + "/office.xlog").find(message), std::string::npos);
    EXPECT_FALSE(fileExists(dir + "/office.sim"));

    // Coupling off: the zone is a well-mixed zone like any other.
    writeFile(dir + "/office.prj", cfdProject(0));
    r = runHost("office", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("CFD"), std::string::npos) << r.err;
}
