// The strict project check (--check): the reader's position tracking, and the findings the host
// reports for projects with faults the normal reading lets through or reports without a place.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "project/check.h"
#include "support/nxt.h"
#include "testutil.h"

static const std::string kProjects = FLOWMIR_TEST_PROJECTS;

// --- the text reader's tracking ---

static std::string gLeftovers;

static void recordLeftover(FlowmirState* fms, int line, int field, int count)
{
    const NxtTrack* t = fms->nxtTrack;
    gLeftovers += std::to_string(line) + ":" + std::to_string(field) + ":" + std::to_string(count) + " \"" +
                  t->skipped + "\"";
    if (t->commaField) gLeftovers += " comma " + std::to_string(t->commaField);
    gLeftovers += "; ";
}

struct TrackCase {
    const char* name;
    const char* text;
    const char* reads;    // nxtwrd modes in order; "f" marks the rest of the line as free text
    const char* expected; // leftovers reported, then where the last read item lies
};

static const TrackCase kTrackCases[] = {
    {"rest of a line skipped", "1 2 3\n4\n", "0 0 1", "1:3:1 \"3\"; @2:1"},
    {"several words left", "1 2 3 4\n5\n", "0 1", "1:2:3 \"2 3 4\"; @2:1"},
    {"comment is no value", "1 ! a b\n2\n", "0 1", "@2:1"},
    {"comment after a value left", "1 2 ! a b\n3\n", "0 1", "1:2:1 \"2\"; @2:1"},
    {"rest-of-line string consumes", "1 some text here\n2\n", "0 2 1", "@2:1"},
    {"whole line after comment lines", "1\n! c\ndesc here\n2 x\n3\n", "0 3 1 1", "4:2:1 \"x\"; @5:1"},
    {"unfiltered whole line", "1 y\n! not a comment\n2\n", "0 4 1", "1:2:1 \"y\"; @3:1"},
    {"record across lines", "1 2\n3 4 5\n6\n", "0 0 0 0 1", "2:3:1 \"5\"; @3:1"},
    {"empty lines between", "1\n\n\n2 3\n4\n", "0 1 1", "4:2:1 \"3\"; @5:1"},
    {"decimal comma", "1,5 2\n3\n", "0 0 1", "1:3:1 \"2\" comma 2; @2:1"},
    {"list comma is no decimal comma", "1, 5 2\n3\n", "0 0 1", "1:3:1 \"2\"; @2:1"},
    {"carriage returns", "1 2\r\n3\r\n", "0 1", "1:2:1 \"2\"; @2:1"},
    {"end of input in the skip", "1 2", "0 1", "1:2:1 \"2\"; @1:2"},
    {"free text is no finding", "1 0 a note\n2\n", "0 0 f 1", "@2:1"},
    {"free text ends with its line", "1 0 a note\n2 x\n3\n", "0 0 f 1 1", "2:2:1 \"x\"; @3:1"},
};

class TrackTest : public ::testing::TestWithParam<TrackCase>
{
};

TEST_P(TrackTest, ReportsWordsASkipPassesOver)
{
    const TrackCase& c = GetParam();
    TestState st;
    std::string path = scratchDir() + "/in.txt";
    writeFile(path, c.text);
    ASSERT_EQ(nxtopen(st.fms, path.c_str(), __FILE__, __LINE__), 0);
    NxtTrack track{};
    track.line = 1;
    track.skipFrom = -1;
    track.leftover = recordLeftover;
    st->nxtTrack = &track;
    gLeftovers.clear();
    std::istringstream reads(c.reads);
    std::string r;
    char buffer[256];
    while (reads >> r) {
        if (r == "f")
            check_free_text(st.fms);
        else
            nxtwrd(st.fms, buffer, std::stoi(r), sizeof buffer);
    }
    gLeftovers += "@" + std::to_string(track.wordLine) + ":" + std::to_string(track.wordField);
    st->nxtTrack = nullptr;
    nxtclose(st.fms);
    EXPECT_EQ(gLeftovers, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Check, TrackTest, ::testing::ValuesIn(kTrackCases),
                         [](const ::testing::TestParamInfo<TrackCase>& info) {
                             std::string n;
                             for (const char* p = info.param.name; *p; p++)
                                 n += isalnum((unsigned char)*p) ? *p : '_';
                             return n;
                         });

// --- the host ---

// The project copied into a folder of its own, where the check writes its log.
static std::string placed(const std::string& name, const std::string& text)
{
    std::string dir = scratchDir();
    writeFile(dir + "/" + name, text);
    return dir;
}

// Findings that leave the reading going, one fixture: a decimal comma in the run control, an
// integer that reads as octal and a level name of two words (its short-time-step results switch
// is no finding: those files are written).
TEST(Check, ReportsEveryFindingWithItsPlace)
{
    std::string dir = placed("chk_faults.prj", readFile(kProjects + "/chk_faults.prj"));
    ChildResult r = runHost("--check -q chk_faults.prj", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(
        r.out,
        "chk_faults.prj:4:7: leftover: 1 value left over on the line, not read: \"0\"; field 2 follows a "
        "comma "
        "between digits: a decimal comma? (Run Control line 2)\n"
        "chk_faults.prj:17:3: octal: 030 reads as the octal number 24, not 30 (Run Control line 15, value 3: "
        "afItmax)\n"
        "chk_faults.prj:41:8: leftover: 1 value left over on the line, not read: \"floor\" (Level record "
        "1)\n");
}

// Without --check nothing of it shows: the input test passes and writes nothing to standard output.
TEST(Check, InputTestStaysAsItWas)
{
    std::string dir = placed("chk_faults.prj", readFile(kProjects + "/chk_faults.prj"));
    ChildResult r = runHost("-t -q chk_faults.prj", dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(readFile(dir + "/chk_faults.xlog").find("Input test completed"), std::string::npos);
}

struct HostCase {
    const char* name;
    const char* from; // text of the minimal project replaced by `to`; empty: the project as it is
    const char* to;
    int status;
    const char* out;
};

static const HostCase kHostCases[] = {
    {"clean", "", "", 0, ""}, // its note text is free text, not values left over
    {"count_above_records", "1 ! zones", "2 ! zones", 2,
     "p.prj:72:1: count: the Zone section's count is 2, but only 1 record comes before its -999 (Zone record "
     "2)\n"
     "p.prj:72:1: error: Zone number mis-match: 2 (Zone record 2)\n"
     "p.prj:73:1: error: PRJ read error in Zone section; enable the echo feature then see Log file for where "
     "error "
     "occurred (Zone record 2)\n"
     "p.prj:0:0: fatal: Project file errors must be fixed.\n"},
    {"count_below_records", "Room 0 0 0 0 0 0 0 0\n-999",
     "Room 0 0 0 0 0 0 0 0\n2 3 0 0 0 1 0 60 293.15 0 Hall 0 0 0 0 0 0 0 0\n-999", 2,
     "p.prj:72:1: count: the Zone section's count is 1, but record 2 follows where -999 should end the "
     "section "
     "(Zone record 1)\n"
     "p.prj:72:1: error: PRJ read error in Zone section; enable the echo feature then see Log file for where "
     "error "
     "occurred (Zone record 1)\n"
     "p.prj:0:0: fatal: Project file errors must be fixed.\n"},
    {"bad_field", "0 60 293.15", "0 6O 293.15", 2,
     "p.prj:71:8: error: Bad float value: 6O (Zone record 1, value 8: volume)\n"
     "p.prj:0:0: fatal: Project file errors must be fixed.\n"},
    {"octal_digit_8", "1 0 3 0 0 0 Ground", "1 0 3 0 08 0 Ground", 2,
     "p.prj:41:5: octal: 08 is not a number: its leading 0 makes it octal, which has no digit 8 or 9 (Level "
     "record "
     "1)\n"
     "p.prj:41:5: error: Bad short integer: 08 (Level record 1)\n"
     "p.prj:0:0: fatal: Project file errors must be fixed.\n"},
    {"octal_time", "1:00:00 1:00:00 1:00:00", "01750 1:00:00 1:00:00", 2,
     "p.prj:26:7: octal: 01750 reads as the octal number 1000, not 1750 (Run Control line 24, value 7: "
     "time_step)\n"},
    {"revision_warning", "Flowpad 3.4.1.0", "Flowpad 3.4.2.0", 2,
     "p.prj:1:2: warning: PRJ file may require revision (2) of Flowmir 3.4 (header)\n"},
    {"header_refused", "Flowpad 3.4.1.0", "Flowpad 3.3.1.0", 2,
     "p.prj:1:2: error: p.prj is a Flowpad 3.3 file (header)\n"},
    {"element_data_across_lines", " 0.00151 0.0753 0.5", " 0.00151 0.0753\n 0.5 0.7", 2,
     "p.prj:61:2: leftover: 1 value left over on the line, not read: \"0.7\" (Airflow Element record 1)\n"},
};

class HostCheckTest : public ::testing::TestWithParam<HostCase>
{
};

TEST_P(HostCheckTest, ReportsWhereTheFaultIs)
{
    const HostCase& c = GetParam();
    std::string text = readFile(kProjects + "/prj_minimal.prj");
    if (c.from[0]) {
        size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos) << c.from;
        text.replace(at, strlen(c.from), c.to);
    }
    ChildResult r = runHost("--check -q p.prj", placed("p.prj", text));
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);
}

INSTANTIATE_TEST_SUITE_P(Check, HostCheckTest, ::testing::ValuesIn(kHostCases),
                         [](const ::testing::TestParamInfo<HostCase>& info) {
                             return std::string(info.param.name);
                         });
