// Reading whole project files: header and version rule, the section order, and the end of a
// run whose project has errors.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "project/components.h"
#include "project/prj_read.h"
#include "project/run_control.h"
#include "support/error.h"
#include "support/heap.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

static const char* const kReadError =
    " section; enable the echo feature then see Log file for where error occurred";

// A state with a log and the two block lists the run driver creates before reading.
struct ReadState : TestState {
    ReadState()
    {
        openLog();
        fms->msBlock = alc_eci(fms, 32000, "ms-block");
        fms->mbBlock = alc_eci(fms, 8000, "mb-block");
    }
    // Whatever a test leaves is released, so the leak checker sees only real leaks.
    ~ReadState()
    {
        prj_read_free_comp_lists(fms);
        prj_read_free_element_lists(fms);
        runctrl_free(fms);
        if (fms->mbBlock) fre_ec(fms, fms->mbBlock, "mb-block");
        if (fms->msBlock) fre_ec(fms, fms->msBlock, "ms-block");
    }
};

// Text with every occurrence of `from` replaced (at least one must exist).
static std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t pos = text.find(from);
    EXPECT_NE(pos, std::string::npos) << from;
    while (pos != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos = text.find(from, pos + to.size());
    }
    return text;
}

static std::string minimal()
{
    return readFile(kProjects + "/prj_minimal.prj");
}

static std::string writeProject(const std::string& text)
{
    std::string path = scratchDir() + "/p.prj";
    writeFile(path, text);
    return path;
}

// Section names of the "... section read successfully." lines, in log order.
static std::vector<std::string> sectionsRead(const std::string& log)
{
    std::vector<std::string> names;
    const std::string tail = " section read successfully.\n";
    size_t end = 0;
    while ((end = log.find(tail, end)) != std::string::npos) {
        size_t start = log.rfind('\n', end);
        start = start == std::string::npos ? 0 : start + 1;
        names.push_back(log.substr(start, end - start));
        end += tail.size();
    }
    return names;
}

static const std::vector<std::string> kAllSections = {
    "Run Control",   "Speices",         "Level",         "Day Schedule",
    "Week Schedule", "WindP Profile",   "Kinetic Reaction", "Filter Element",
    "Filter",        "Source/Sink Element", "Airflow Element", "Airflow Element",
    "Controls",      "AHS",             "Zone",          "Zone CC",
    "Path",          "Duct Junction",   "Duct Junction CC", "Duct Segment",
    "Source/Sink",   "Occupant Day Schedule", "Occupant Exposure", "Note"};

TEST(PrjRead, MinimalProjectReadsEverySectionInOrder)
{
    ReadState ts;
    FlowmirState* fms = ts.fms;
    std::string path = kProjects + "/prj_minimal.prj";
    fms->errorCount = 3;  // errors of an earlier reading do not count against this one
    ASSERT_EQ(prj_read(fms, path.c_str()), 0) << fms->lastError;
    std::string log = ts.log();

    EXPECT_EQ(fms->errorCount, 0);
    EXPECT_EQ(fms->_UNXT, nullptr);
    EXPECT_EQ(fms->cirdal, 0);
    EXPECT_EQ(fms->echo, 0);
    EXPECT_NE(log.find("\nReading project file: " + path + "\n"), std::string::npos);
    EXPECT_EQ(sectionsRead(log), kAllSections);

    EXPECT_EQ(fms->nctm, 0);
    EXPECT_EQ(fms->nlev, 1);
    EXPECT_EQ(fms->nafe, 1);
    EXPECT_EQ(fms->ndfe, 0);
    EXPECT_EQ(fms->nzone, 1);
    EXPECT_EQ(fms->npath, 1);
    EXPECT_EQ(fms->njct, 0);
    EXPECT_EQ(fms->ndct, 0);
    EXPECT_EQ(fms->nnote, 1);
    EXPECT_FLOAT_EQ(fms->Tambt, 293.15f);
    ASSERT_NE(fms->PthLst, nullptr);
    EXPECT_EQ(fms->PthLst[1]->afe, fms->AfeLst[1]);
    EXPECT_EQ(fms->PthLst[1]->zoneM, fms->ZnLst[1]);

    // Every list the reader made is released by the two release functions.
    prj_read_free_comp_lists(fms);
    prj_read_free_element_lists(fms);
    runctrl_free(fms);
    fre_ec(fms, fms->mbBlock, "mb-block");
    fre_ec(fms, fms->msBlock, "ms-block");
    fms->mbBlock = fms->msBlock = nullptr;
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
}

// The design tool's files carry extra record lines and two closing sections; nothing after
// them is read, as the echo of every character read shows.
TEST(PrjRead, CirdalProjectReadsToItsLastSection)
{
    std::string text = readFile(kProjects + "/prj_cirdal.prj");
    {
        ReadState ts;
        ASSERT_EQ(prj_read(ts.fms, (kProjects + "/prj_cirdal.prj").c_str()), 0) << ts->lastError;
        EXPECT_EQ(ts->cirdal, 1);
        EXPECT_EQ(ts->nzone, 1);
        EXPECT_EQ(ts->npath, 1);
        EXPECT_EQ(ts->nafe, 1);
        EXPECT_EQ(sectionsRead(ts.log()), kAllSections);
    }
    ReadState ts;
    std::string echoed = replaced(text, "CIRDAL 3.4.1.0 0", "CIRDAL 3.4.1.0 1");
    ASSERT_EQ(prj_read(ts.fms, writeProject(echoed).c_str()), 0) << ts->lastError;
    std::string log = ts.log();
    EXPECT_EQ(ts->echo, 1);
    EXPECT_NE(log.find("second closing section"), std::string::npos);
    EXPECT_EQ(log.find("never read"), std::string::npos);
}

TEST(PrjRead, InputTestEchoesTheProject)
{
    ReadState ts;
    ts->inputTest = 1;
    ASSERT_EQ(prj_read(ts.fms, (kProjects + "/prj_minimal.prj").c_str()), 0);
    EXPECT_EQ(ts->echo, 1);
    EXPECT_NE(ts.log().find("Written by hand for the reader's tests."), std::string::npos);
}

struct RefusedHeader {
    const char* firstLine;
    const char* message;  // after the path where the message names it
    bool withPath;
};

// A file that is not a project of this version is refused with 1 and nothing else happens.
TEST(PrjRead, RefusedHeaders)
{
    const RefusedHeader cases[] = {
        {"Flowpadx 3.4.1.0 0", "Not a Flowpad or Cirdal 3.4 file", false},
        {"flowpad 3.4.1.0 0", "Not a Flowpad or Cirdal 3.4 file", false},
        {"Flowpad 3.3.0.1 0", "\n is a Flowpad 3.3 file", true},
        {"CIRDAL 2.4.0.0 0", "\n is a Cirdal 2.4 file", true},
        {"Flowpad 3.4.1 0", " Version string is too short: 3.4.1", true},
        {"Flowpad 3.40000 0", " No patch found as part of the version.", true},
        {"Flowpad 9.9.1.0 0", "\n is a Flowpad 9.9 file", true},
    };
    for (const RefusedHeader& c : cases) {
        SCOPED_TRACE(c.firstLine);
        ReadState ts;
        std::string path = writeProject(replaced(minimal(), "Flowpad 3.4.1.0 0", c.firstLine));
        EXPECT_EQ(prj_read(ts.fms, path.c_str()), 1);
        std::string expected = std::string("ERROR  ") + (c.withPath ? path : "") + c.message + "\n";
        EXPECT_EQ(std::string(ts->lastError), expected);
        EXPECT_EQ(ts->_UNXT, nullptr);
        EXPECT_EQ(ts->nlev, 0);  // no section was read
    }

    ReadState ts;
    std::string missing = scratchDir() + "/missing.prj";
    EXPECT_EQ(prj_read(ts.fms, missing.c_str()), 1);
    EXPECT_EQ(std::string(ts->lastError), "ERROR  Could not open file " + missing + ": No such file or directory\n");
}

TEST(PrjRead, RevisionAboveOneWarnsAndReads)
{
    const char* lines[] = {"Flowpad 3.4.2.0 0", "Flowpad 3.4.1.0 0", "Flowpad 3.4.x.0 0"};
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        ReadState ts;
        std::string path = writeProject(replaced(minimal(), "Flowpad 3.4.1.0 0", line));
        EXPECT_EQ(prj_read(ts.fms, path.c_str()), 0);
        EXPECT_EQ(ts->nzone, 1);
        bool warned = ts.log().find("WARNING") != std::string::npos;
        EXPECT_EQ(warned, line == lines[0]);
        if (warned) {
            EXPECT_NE(ts.log().find(" PRJ file may require revision (2) of Flowmir 3.4\n"),
                      std::string::npos);
        }
    }
}

struct BrokenProject {
    const char* from;  // text of the minimal project ...
    const char* to;    // ... replaced by this
    const char* message;
    const char* lastSection;  // the last section read successfully
};

// Errors inside sections stop the reading at the end of the section and end the run.
TEST(PrjRead, BrokenProjectsEndTheRun)
{
    const std::string readError = std::string(kReadError);
    const BrokenProject cases[] = {
        {"Flowpad 3.4.1.0 0", "Flowpad 3.4.1.0 e", " Bad short integer: e", "Run Control"},
        {"1 0 3 0 0 0 Ground\n-999", "1 0 3 0 0 0 Ground\n-998",
         " PRJ read error in Level section; enable the echo feature then see Log file for where "
         "error occurred",
         "Speices"},
        // A count far beyond the file stops at its end, not after 2^31 reads of nothing.
        {"1 0 3 0 0 0 Ground", "1 0 3 2147483647 0 0 Ground", " Level 1: end of file within its 2147483647 icons",
         "Speices"},
        {"1 3 0 0 0 1 0 60 293.15", "2 3 0 0 0 1 0 60 293.15", " Zone number mis-match: 1", "Zone"},
        {"1 3 0 0 0 1 0 60 293.15", "1 3 0 0 0 1 0 6O 293.15", " Bad float value: 6O", "Zone"},
        {"1 1 -1 1 1 0", "1 x -1 1 1 0", " Bad short unsigned integer: x", "Path"},
        {"0 0.001 0 0 10 1 0 0 0 0\n", "0 0.001 0 0 10 1 0 0 0\n",
         " PRJ read error in Run Control section; enable the echo feature then see Log file for "
         "where error occurred",
         ""},
        {"1 0 Written by hand", "2 0 Written by hand", " Note number mis-match: 1", "Note"},
        {"0 ! species: none simulated", "2 1 2 ! species", " Simulated contaminant 1 is not defined",
         "Speices"},
        {"0 ! species: none defined\n-999", "0\n-998",
         " PRJ read error in Species section; enable the echo feature then see Log file for where "
         "error occurred",
         "Run Control"},
        {"0 ! species: none defined",
         "2\n1 0 0 28.97 0 0 0 0 0 1000 0 0 0 0 0 0 Air\nAir\n3 0 0 28.97 0 0 0 0 0 1000 0 0 0 0 0 0 Air\nAir",
         " Contaminant number mis-match: 2", "Speices"},
        {"0 ! day schedules", "1", " Day-schedule number mis-match: 1", "Level"},
        {"0 ! week schedules", "2", " Week-schedule number mis-match: 1", "Day Schedule"},
        {"0 ! kinetic reactions", "1", " Reaction number mis-match: 1", "WindP Profile"},
        {"0 ! filter elements", "1", " Filter element number mis-match: 1", "Kinetic Reaction"},
        {"0 ! filter elements", "1\n1 cef 0 1 1 0 0 bare\nno media\n0",
         " Mass required for filter: bare", "Kinetic Reaction"},
        {"0 ! filters", "1", " Filter number mis-match: 1", "Filter Element"},
        {"0 ! source/sink elements", "1", " S/S element number mis-match: 1", "Filter"},
        {"0 ! control nodes", "3", " Control number mis-match: 1", "Airflow Element"},
        {"0 ! sources and sinks", "1", " S/S number mis-match 1", "Duct Segment"},
        {"0 ! occupancy schedules", "1", " Occpancy-schedule number mis-match: 1", "Source/Sink"},
        {"0 ! exposures", "1", " Exposure number mis-match: 1", "Occupant Day Schedule"},
        {"0 ! day schedules\n-999", "0\n-99",
         " PRJ read error in Day Schedule section; enable the echo feature then see Log file for "
         "where error occurred",
         "Level"},
    };
    for (const BrokenProject& c : cases) {
        SCOPED_TRACE(c.message);
        ReadState ts;
        std::string path = writeProject(replaced(minimal(), c.from, c.to));
        ChildResult r = runChild([&] {
            prj_read(ts.fms, path.c_str());
            _exit(0);
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(std::string("ERROR") + c.message + "\n"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("FATAL Project file errors must be fixed.\n"), std::string::npos);

        // Reading stopped at the end of the section with the error.
        std::vector<std::string> read = sectionsRead(ts.log());
        std::string last = read.empty() ? "" : read.back();
        EXPECT_EQ(last, c.lastSection);
    }
}

// Defined species that are not simulated read and are dropped.
TEST(PrjRead, DefinedSpeciesWithoutSimulatedOnesRead)
{
    ReadState ts;
    std::string text = replaced(minimal(), "0 ! species: none defined",
                                "2 ! species: two defined\n"
                                "1 0 0 28.97 0 0 0 0 0 1000 0 0 0 0 0 0 Air\n"
                                "! description lines may be preceded by comments\n"
                                "Dry air\n"
                                "2 0 1 18.02 0 0 0 2.4e-5 0 1870 0 0 0 0 0 0 H2O\n"
                                "Water vapour");
    ASSERT_EQ(prj_read(ts.fms, writeProject(text).c_str()), 0) << ts->lastError;
    EXPECT_EQ(ts->nctm, 0);
    EXPECT_EQ(sectionsRead(ts.log()), kAllSections);
}

// A building with one element of every kind, the three wind profile kinds, and duct systems
// with fans and terminals.
TEST(PrjRead, EveryElementKindAndDuctSystems)
{
    ReadState ts;
    FlowmirState* fms = ts.fms;
    std::string path = kProjects + "/prj_elements.prj";
    ASSERT_EQ(prj_read(fms, path.c_str()), 0) << fms->lastError;
    EXPECT_EQ(sectionsRead(ts.log()), kAllSections);
    EXPECT_EQ(fms->nafe, 17);
    EXPECT_EQ(fms->ndfe, 17);
    EXPECT_EQ(fms->nwpf, 3);
    EXPECT_EQ(fms->nzone, 4);
    EXPECT_EQ(fms->njct, 4);
    EXPECT_EQ(fms->ndct, 3);
    for (int i = 1; i <= fms->njct; i++)
        if (fms->JctLst[i]->dctNr) { EXPECT_EQ(fms->JctLst[i]->duct, fms->DctLst[fms->JctLst[i]->dctNr]); }
    prj_read_free_comp_lists(fms);
    prj_read_free_element_lists(fms);
    runctrl_free(fms);
    fre_ec(fms, fms->mbBlock, "mb-block");
    fre_ec(fms, fms->msBlock, "ms-block");
    fms->mbBlock = fms->msBlock = nullptr;
    EXPECT_EQ(fms->bytesAllocated, fms->bytesFreed);
}
