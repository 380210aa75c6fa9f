// The command-line host end to end: a project in a scratch folder, its log and exit status.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <regex>
#include <string>

#include "support/log.h"
#include "testutil.h"

static std::string fixture(const std::string& name)
{
    return readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/" + name);
}

// Copies a fixture into a fresh folder under the given name; returns the folder.
static std::string stage(const std::string& fixtureName, const std::string& as = "office.prj")
{
    std::string dir = scratchDir();
    writeFile(dir + "/" + as, fixture(fixtureName));
    return dir;
}

static bool contains(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}

TEST(Host, RunWritesLogBesideProject)
{
    std::string dir = stage("prj_minimal.prj");
    ChildResult r = runHost("'" + dir + "/office'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Running Flowmir 3.4.1.4 on " + dir +
                         "/office.prj\n"
                         "Running steady-state initialization:\n DATE: Jan01   time: 12:00:00\n"
                         "End Steady-state Initialization\n");
    std::string log = readFile(dir + "/office.xlog");
    std::regex header(
        "Program:  /[^\n]*libflowmir-lib\\.so\n"
        "  Version:  3\\.4\\.1\\.4 release 64bit\n"
        "  Compiler: [^\n]+ [0-9]+\n"
        "  Created:  [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n"
        "Project \\(_file_name\\):  " + dir + "/office\\.prj\n"
        "cwd: [^\n]*\n"
        "prj arg = " + dir + "/office\n"
        "_pdrive , _pdir " + dir + "/, _prjname office, _pext \\.prj\n"
        "  Updated:  [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8} [0-9]{4}\n"
        "Running Flowmir 3\\.4\\.1\\.4 on " + dir + "/office\\.prj\n"
        "  Calls to SetupSimulation = 1\n"
        "\nReading project file: " + dir + "/office\\.prj\n");
    EXPECT_TRUE(std::regex_search(log, header)) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("\nRead PRJ : [0-9]+ bytes allocated, [0-9]+ freed, [0-9]+ net\n")))
        << log;
    EXPECT_TRUE(contains(log, "     airflow nodes:    2\n     airflow paths:    1\n")) << log;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m, std::regex("\nFinal: ([0-9]+) bytes allocated, ([0-9]+) freed, 0 net\n")))
        << log;
    EXPECT_EQ(m[1], m[2]);
    EXPECT_TRUE(contains(log, "\n\n================= SimEnd() called Jan01 12:00:00 =================\n")) << log;
    EXPECT_TRUE(contains(log, "\nNR its. :    0\nJfacBins:    4\n\nrangeDWC: 0 lam, 0 trns, 0 turbulent\n")) << log;
    EXPECT_EQ(log.substr(log.size() - 35), "Simulation completed successfully.\n");
}

TEST(Host, QuietRunAndOptions)
{
    std::string dir = stage("prj_minimal.prj");
    ChildResult r = runHost("-q office.prj", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fileExists(dir + "/office.xlog"));

    r = runHost("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "flowmir 3.4.1.4\n");
    r = runHost("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "usage: flowmir [options] PROJECT"));
    for (const char* bad : {"", "--frobnicate x.prj", "a.prj b.prj", "-b"}) {
        r = runHost(bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_TRUE(contains(r.err, "usage: flowmir")) << bad;
    }
}

TEST(Host, InputTestStopsWithStatusZero)
{
    std::string dir = stage("prj_minimal.prj");
    ChildResult r = runHost("--input-test -q office", dir);
    EXPECT_EQ(r.status, 0);
    std::string log = readFile(dir + "/office.xlog");
    EXPECT_TRUE(contains(log, "NOTE  (file driver, line ")) << log;
    EXPECT_TRUE(contains(log, " Input test completed\nFlowmir finish(0)\n")) << log;
    EXPECT_FALSE(contains(log, "Simulation completed successfully."));
    EXPECT_FALSE(contains(r.err, "Press any key"));
}

TEST(Host, ProjectThatCannotBeReadIsAFailure)
{
    std::string dir = scratchDir();
    ChildResult r = runHost("-q missing", dir);
    EXPECT_EQ(r.status, 2);
    std::string log = readFile(dir + "/missing.xlog");
    EXPECT_TRUE(contains(log, " Could not open file missing.prj: No such file or directory\n")) << log;
    EXPECT_FALSE(contains(log, "Simulation completed successfully."));

    writeFile(dir + "/foreign.prj", "Flowpadx 3.4.1.0 0\nnot a project\n");
    r = runHost("-q foreign.prj", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(readFile(dir + "/foreign.xlog"), " Not a Flowpad or Cirdal 3.4 file\n"));
}

TEST(Host, NothingToSimulateIsAFailure)
{
    std::string text = fixture("prj_minimal.prj");
    // Remove the zone and the path: only the ambient node remains.
    for (const char* kind : {"zones", "paths"}) {
        size_t a = text.find(std::string("1 ! ") + kind);
        ASSERT_NE(a, std::string::npos);
        size_t eol = text.find('\n', a), end = text.find('\n', eol + 1);
        text.replace(a, end - a, std::string("0 ! ") + kind);
    }
    std::string dir = scratchDir();
    writeFile(dir + "/empty.prj", text);
    ChildResult r = runHost("-q empty", dir);
    EXPECT_EQ(r.status, 2) << readFile(dir + "/empty.xlog");
    std::string log = readFile(dir + "/empty.xlog");
    EXPECT_TRUE(contains(log, "     airflow nodes:    1\n     airflow paths:    0\n")) << log;
    EXPECT_TRUE(contains(log, "ERROR  (file driver, line ")) << log;
    EXPECT_TRUE(contains(log, "  Nothing to simulate\n")) << log;
    EXPECT_FALSE(contains(log, "SimEnd() called"));
}

TEST(Host, ProjectErrorsEndWithFatalAndStatusTwo)
{
    std::string text = fixture("prj_minimal.prj");
    size_t z = text.find("1 3 0 0 0 1 0 60 293.15");
    ASSERT_NE(z, std::string::npos);
    text[z] = '2';  // zone record numbered 2 in first place
    std::string dir = scratchDir();
    writeFile(dir + "/bad.prj", text);
    ChildResult r = runHost("-q bad", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "ERROR Zone number mis-match: 1\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "FATAL Project file errors must be fixed.\n")) << r.err;
    // Quiet: nothing waits for a key; without -q the prompt comes (and standard input, not a
    // terminal here, ends the wait at once).
    EXPECT_FALSE(contains(r.err, "Press any key")) << r.err;
    std::string log = readFile(dir + "/bad.xlog");
    EXPECT_TRUE(contains(log, " Project file errors must be fixed.\nFlowmir finish(2)\n")) << log;
    r = runHost("bad", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "\aPress any key to close Flowmir text window\n")) << r.err;
}

TEST(Host, HeldLogMovesToNumberedName)
{
    std::string dir = stage("prj_minimal.prj");
    TestState holder;
    ASSERT_NE(openLogFile(holder.fms, (dir + "/office.xlog").c_str()), nullptr);
    ChildResult r = runHost("-q office", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(readFile(dir + "/office-1.xlog"), "Simulation completed successfully.\n"));
    EXPECT_EQ(readFile(dir + "/office.xlog"), "");
}

TEST(Host, NoLogIsStatusTwo)
{
    ChildResult r = runHost("-q /nonexistent-folder/office");
    EXPECT_EQ(r.status, 2);
}

// With the steady iteration asked for and no pass allowed, the initialisation reports that it
// did not converge and the run goes on.
TEST(Host, SteadyInitialisationWithoutPassesDoesNotConverge)
{
    std::string text = fixture("prj_minimal.prj");
    size_t at = text.find("0 0 30 1e-5");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 11, "0 0 0 1e-5");
    std::string dir = scratchDir();
    writeFile(dir + "/ramp.prj", text);
    ChildResult r = runHost("-q ramp", dir);
    EXPECT_EQ(r.status, 0);
    std::string log = readFile(dir + "/ramp.xlog");
    EXPECT_TRUE(contains(log, " Calculation of steady-state flows did not converge\n")) << log;
    EXPECT_TRUE(contains(log, "Simulation completed successfully.\n"));
}

// A node at 0 K would turn every density into a division by zero: the run stops before any
// result is written, and the results file it had opened is removed.
TEST(Host, NodeWithoutTemperatureStopsBeforeResults)
{
    std::string text = fixture("prj_minimal.prj");
    size_t at = text.find("\n293.15 101325 ");
    ASSERT_NE(at, std::string::npos);
    text.replace(at + 1, 6, "0");
    std::string dir = scratchDir();
    writeFile(dir + "/cold.prj", text);
    ChildResult r = runHost("-q cold", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "ERROR T = 0 K, node 2\n")) << r.err;
    EXPECT_TRUE(contains(r.err, "FATAL Air nodes without temperature or gas constant cannot be simulated\n"));
    EXPECT_FALSE(fileExists(dir + "/cold.sim"));
}

// Paths and files a run cannot use are refused with the reason, before anything is opened
// where the path would be cut.
TEST(Host, PathsAndFilesThatCannotBeUsedAreNamedWithTheReason)
{
    std::string dir = scratchDir();
    // Longer than the engine's path buffers allow: nothing is created anywhere.
    std::string deep = dir + "/" + std::string(120, 'a');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    deep += "/" + std::string(120, 'b');
    ASSERT_EQ(mkdir(deep.c_str(), 0755), 0);
    std::string longPrj = deep + "/office.prj";
    writeFile(longPrj, fixture("prj_minimal.prj"));
    ChildResult r = runHost("-q '" + longPrj + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "FATAL Project path is " + std::to_string(longPrj.size()) +
                                    " characters long, at most 240 are allowed: " + longPrj + "\n"))
        << r.err;
    EXPECT_FALSE(fileExists(deep + "/office.xlog"));

    // No log can be created: one line on standard error says which and why.
    r = runHost("-q /nonexistent/folder/office.prj");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL Could not open log file /nonexistent/folder/office.xlog: No such file or directory\n");

    // A directory and an empty file are not project files, and the log says what they are.
    ASSERT_EQ(mkdir((dir + "/folder.prj").c_str(), 0755), 0);
    writeFile(dir + "/empty.prj", "");
    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"folder", " Could not open file folder.prj: it is a directory\n"},
        {"empty", " empty.prj is empty: not a project file\n"},
    };
    for (const auto& c : cases) {
        r = runHost(std::string("-q ") + c.name, dir);
        EXPECT_EQ(r.status, 2) << c.name;
        std::string log = readFile(dir + "/" + c.name + ".xlog");
        EXPECT_TRUE(contains(log, c.message)) << log;
    }
}

// --solver names the factorisation of the skyline method; the log says which one ran.
TEST(Host, SolverOptionChoosesTheFactorisation)
{
    std::string dir = scratchDir();
    writeFile(dir + "/b.prj", fixture("cf_building.prj"));
    const struct {
        const char* option;
        const char* line;
    } cases[] = {
        {"--solver ldlt", "  factorization by sparse LDLT on a minimum degree ordering (requested): "},
        {"--solver sparse", "  factorization by sparse LDLT on a minimum degree ordering (requested): "},
        {"--solver=skyline", "  factorization by skyline (requested): "},
        {"", "  factorization by sparse LDLT on a minimum degree ordering (fewer operations): "},
    };
    for (const auto& c : cases) {
        ChildResult r = runHost(std::string("-q ") + c.option + " b", dir);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(contains(readFile(dir + "/b.xlog"), c.line)) << c.option;
    }
    ChildResult r = runHost("-q --solver cholesky b", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "flowmir: --solver takes auto, skyline or sparse, not \"cholesky\"")) << r.err;
}
