// The bundled building-test examples run and give the reports the README shows.
#include <gtest/gtest.h>

#include "bt_fixture.h"

static BtRun runExample(const char* name)
{
    return btRun(readFile(std::string(FLOWMIR_EXAMPLES) + "/" + name + ".prj"), name);
}

TEST(BuildingTestExamples, BlowerDoorAndDuctBalance)
{
    BtRun house = runExample("house_press");
    ASSERT_EQ(house.r.status, 0) << house.r.err;
    std::string val = house.file(".val");
    EXPECT_NE(val.find("Mass flow rate:\n0.3892\tkg/s\n"), std::string::npos) << val;
    EXPECT_NE(val.find("\n6\t2\t3\t48.99\t"), std::string::npos) << val;
    // The stair joins two conditioned zones and the attic vents two unconditioned spaces: neither
    // is on the envelope.
    EXPECT_EQ(val.find("\n5\t"), std::string::npos) << val;
    EXPECT_EQ(val.find("\n7\t"), std::string::npos) << val;

    BtRun ducts = runExample("duct_balance");
    ASSERT_EQ(ducts.r.status, 0) << ducts.r.err;
    auto l = btLines(ducts.file(".bal"));
    ASSERT_EQ(l.size(), 7u);
    EXPECT_EQ(l[0], "0 ! Flow balance iterations converged");
    EXPECT_EQ(l[3].substr(0, 12), "fan\t1\t0.15\t5");
}
