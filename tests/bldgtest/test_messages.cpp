// Every message of the building tests and the duct balancing, with the report each leaves.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "bt_fixture.h"

static std::string replaceAll(std::string text, const std::string& from, const std::string& to)
{
    size_t n = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()), n++)
        text.replace(at, from.size(), to);
    EXPECT_GT(n, 0u) << from;
    return text;
}

static std::string bal(std::function<std::string(std::string)> edit)
{
    return edit(btFixture("bal_two.prj"));
}

static const char* kBalHeader = "2 1 50 1e-5";
static const char* kNearTerminal = "near 0 0 0 1 0 1";
static const char* kFarTerminal = "far 0 0 0 1 0 1";
static const char* kIntake = "1 0 1 -1 1 0 0 0 1 0 0 0 293.15 0 0 0 0 0 0 0 0 intake 0 0 0 1 0 0 0.1 0 0 1";
static const char* kPaths = "1 ! paths\n1 1 1 -1 1 0 0 0 0 0 1 0 0 0 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n";
static const char* kElements = "1 ! airflow elements\n1 9 plr_crack envelope\nLarge envelope leakage of the room\n 5e-3 0.5 0.5\n";

// A fan path into (or out of) the room: element 2 of the path elements.
static std::string withRoomFan(std::string text, int from, int to)
{
    text = replaceFirst(text, kElements, std::string(kElements).replace(0, 1, "2") + "2 21 fan_cmf room\nRoom fan\n 0.2\n");
    char path[128];
    snprintf(path, sizeof path, "2 0 %d %d 2 0 0 0 0 0 1 0 0 0 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0\n", from, to);
    return replaceFirst(text, kPaths, std::string(kPaths).replace(0, 1, "2") + path);
}

TEST(BuildingTestMessages, EveryMessageAndItsReport)
{
    struct Case {
        const char* name;
        std::string text;
        const char* hold;    // a results file another run holds, or none
        int status;
        const char* word;    // severity in the log
        const char* message;
        const char* ext;     // the report checked, or none
        const char* report;  // its start
    };
    const Case cases[] = {
        {"no balanced terminal",
         bal([](std::string t) { return replaceFirst(replaceFirst(t, kNearTerminal, "near 0 0 0 1 0 0"), kFarTerminal, "far 0 0 0 1 0 0"); }),
         nullptr, 0, "WARNING", "There are no terminals to balance", ".bal",
         "2 ! There are no terminals to balance\n!\nend\n"},
        {"terminal against its design flow",
         bal([](std::string t) { return replaceFirst(t, "0.05 0 0.05 1 0 0", "0.05 0 -0.05 1 0 0"); }), nullptr, 0,
         "ERROR", "Invalid flow direction(s)", ".bal", "3 ! Invalid flow direction(s)\n!trm\tjct #\tFcalc\tFdes\ntrm\t4\t"},
        {"trace ends at the intake terminal: no fan, a room exhaust draws the air",
         withRoomFan(bal([](std::string t) { return replaceFirst(t, "1 0 1 2 1 0 0 0 0 1", "1 0 1 2 2 0 0 0 0 1"); }), 1, -1),
         nullptr, 0, "ERROR", "Failed to terminate link(s) at a fan", ".bal",
         "4 ! Failed to terminate link(s) at a fan\n!trm\tjct #\tdir +/-\tjct #\ntrm\t4\t1\t1\ntrm\t3\t1\t1\nend\n"},
        {"trace held where only a leak feeds the junction",
         withRoomFan(bal([](std::string t) {
                         t = replaceFirst(t, "1 0 1 2 1 0 0 0 0 1", "1 0 1 2 2 0 0 0 0 1");
                         t = replaceFirst(t, "3 0 1 1 2 0 0 0 1", "3 0 1 -1 2 0 0 0 1");
                         t = replaceFirst(t, "4 0 1 1 3 0 0 0 1", "4 0 1 -1 3 0 0 0 1");
                         return replaceAll(t, " 0.2 0.63 0.03 0 0 0 0 0", " 0.2 0.63 0.03 0 0 0 10 50");
                     }),
                     -1, 1),
         nullptr, 0, "ERROR", "Failed to terminate link(s)", ".bal",
         "4 ! Failed to terminate link(s) at a fan\n!trm\tjct #\tdir +/-\tjct #\ntrm\t3\t1\t2\ntrm\t4\t1\t2\nend\n"},
        {"return grille on the supply fan",
         bal([](std::string t) {
             return replaceFirst(t, kIntake, "1 0 1 1 1 0 0 0 1 0 0 0 293.15 0 0 0 0 0 0 0 0 intake 0 0 0 1 0 1 0.1 0 -0.15 1");
         }),
         nullptr, 0, "ERROR", "Fan system includes supply and return terminals", ".bal",
         "5 ! Fan system includes supply and return terminals\n!fan path #\ttrm jct #\nfan\t1\ntrm\t4\ntrm\t3\ntrm\t1\nend\n"},
        {"report held by another run", btFixture("bal_two.prj"), "p.bal.part", 2, "FATAL",
         "Could not open BAL file; is it already open?", nullptr, nullptr},
        {"Newton variant without a solver", bal([](std::string t) { return replaceFirst(t, kBalHeader, "2 2 50 1e-5"); }),
         nullptr, 2, "FATAL", "Invalid method, Call Orvo", nullptr, nullptr},
        {"zone without volume", replaceFirst(btFixture("bt_flow.prj"), "2 3 0 0 0 1 0 50 293.15", "2 3 0 0 0 1 0 0 293.15"),
         nullptr, 0, "ERROR", "All zones must have volumes to compute air exchange rates", ".val", "Airflow Summary for p.prj\n"},
        {"airflow test without its tracer", replaceFirst(btFixture("bt_press.prj"), "4 1 50 1e-6", "3 1 50 1e-6"), nullptr,
         2, "FATAL", "Flow validation mode requires one trace contaminant", nullptr, nullptr},
        {"airflow report held by another run", btFixture("bt_flow.prj"), "p.val.part", 2, "FATAL",
         "Could not open VAL file; is it already open?", nullptr, nullptr},
        {"pressurization report held by another run", btFixture("bt_press.prj"), "p.val.part", 2, "FATAL",
         "Could not open VAL file; is it already open?", nullptr, nullptr},
    };
    // An ERROR leaves its report and ends the run normally; a FATAL leaves none.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = scratchDir();
        writeFile(dir + "/p.prj", c.text);
        ChildResult r;
        {
            std::unique_ptr<BtHeldFile> held(c.hold ? new BtHeldFile(dir + "/" + c.hold) : nullptr);
            r = runHost("-q p", dir);
        }
        EXPECT_EQ(r.status, c.status) << r.err;
        std::string xlog = readFile(dir + "/p.xlog");
        // The severity line, then the message on a line of its own.
        size_t at = xlog.find(std::string("\n ") + c.message + "\n");
        ASSERT_NE(at, std::string::npos) << xlog;
        size_t word = xlog.rfind('\n', at - 1) + 1;
        EXPECT_EQ(xlog.compare(word, strlen(c.word) + 1, std::string(c.word) + " "), 0) << xlog.substr(word, 200);
        if (c.ext) {
            std::string report = readFile(dir + "/p" + c.ext);
            EXPECT_EQ(report.substr(0, strlen(c.report)), c.report) << report;
            if (std::string(c.ext) == ".bal") {
                EXPECT_EQ(report.substr(report.size() - 4), "end\n");
            }
        }
        // Every outcome that ends normally releases what it took.
        if (std::string(c.word) != "FATAL") {
            EXPECT_NE(xlog.find(" freed, 0 net\nSimulation completed successfully.\n"), std::string::npos)
                << xlog.substr(xlog.size() > 300 ? xlog.size() - 300 : 0);
        }
        if (c.status == 2 && std::string(c.word) == "FATAL") {
            EXPECT_FALSE(fileExists(dir + "/p.val"));
            EXPECT_FALSE(fileExists(dir + "/p.bal"));
        }
    }
}
