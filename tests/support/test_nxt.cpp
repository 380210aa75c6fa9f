// The text stream reader: words, comments, the "*" end mark, modes 1-4, echo, overflow,
// the stream functions and the section copy helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/error.h"
#include "support/nxt.h"
#include "testutil.h"

static int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

// A state whose input stream reads the given text.
struct Input {
    TestState s;
    std::string path;
    explicit Input(const std::string& text, bool log = false)
    {
        if (log) s.openLog();
        s->errorFcn = quietFcn;
        path = scratchDir() + "/input.txt";
        writeFile(path, text);
        EXPECT_EQ(nxtopen(s.fms, path.c_str(), __FILE__, __LINE__), 0);
    }
    FlowmirState* fms() { return s.fms; }
};

// All words of the input in mode 0, including one cut short by the end of input.
static std::vector<std::string> allWords(FlowmirState* fms)
{
    std::vector<std::string> words;
    char buf[64];
    for (;;) {
        strcpy(buf, "stale");
        char* got = nxtwrd(fms, buf, 0, sizeof buf);
        if (buf[0]) words.push_back(buf);
        if (!got) break;
        EXPECT_EQ(got, buf);
    }
    return words;
}

TEST(Nxt, WordsSkipSeparatorsAndComments)
{
    struct Case {
        std::string text;
        std::vector<std::string> words;
    } cases[] = {
        {"12 34 ! a comment\n56\n", {"12", "34", "56"}},
        {"a,b\tc\r\n\n\n  ,, d", {"a", "b", "c", "d"}},
        {"x!y !z w\n!\n!only\nv\n", {"x!y", "v"}},
        {"a*b *gone\nnever", {"a*b"}},
        {"! nothing but a comment", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        Input in(c.text);
        EXPECT_EQ(allWords(in.fms()), c.words) << c.text;
    }
}

// A NUL byte means the input is not text (a device or a binary file would otherwise be read
// for ever): an error, and the input ends there, in word and in line mode.
TEST(Nxt, NulByteEndsTheInputWithAnError)
{
    for (int mode : {0, 3}) {
        SCOPED_TRACE(mode);
        Input in(std::string("12\nab\r\0cd ef\n", 13));
        char buf[16];
        ASSERT_NE(nxtwrd(in.fms(), buf, 0, sizeof buf), nullptr);
        EXPECT_EQ(nxtwrd(in.fms(), buf, mode, sizeof buf), nullptr);
        EXPECT_EQ(in.fms()->_UNXT, nullptr);
        EXPECT_EQ(in.fms()->errorCount, 1);
        EXPECT_EQ(nxtwrd(in.fms(), buf, 0, sizeof buf), nullptr);
    }
}

TEST(Nxt, StarClosesTheStreamAndLeavesNoStaleWord)
{
    Input in("1 * 2\n");
    char buf[16];
    ASSERT_NE(nxtwrd(in.fms(), buf, 0, sizeof buf), nullptr);
    strcpy(buf, "stale");
    EXPECT_EQ(nxtwrd(in.fms(), buf, 0, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(in.fms()->_UNXT, nullptr);
    // Reading on after the end is harmless.
    for (int mode = 0; mode <= 4; mode++) {
        strcpy(buf, "stale");
        EXPECT_EQ(nxtwrd(in.fms(), buf, mode, sizeof buf), nullptr);
        EXPECT_STREQ(buf, "") << mode;
    }
    EXPECT_EQ(nxtclose(in.fms()), 0);
}

// Each step: mode, expected text, whether the buffer is returned (else none).
struct Step {
    int mode;
    const char* text;
    bool returned;
};

TEST(Nxt, ModesReadLinesAndRestsOfLines)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<Step> steps;
    } cases[] = {
        {"mode 1 skips the rest of the line", "12 34\n56 78\n", {{0, "12", true}, {1, "56", true}, {0, "78", true}}},
        {"mode 1 on an ended line", "12\n34 56\n", {{0, "12", true}, {1, "34", true}, {1, "", false}}},
        {"mode 2 drops one blank, keeps comments", "name  two words ! c\nnext\n",
         {{0, "name", true}, {2, " two words ! c", true}, {2, "", true}, {0, "next", true}}},
        {"mode 2 keeps a tab", "a\tb c\n", {{0, "a", true}, {2, "\tb c", true}}},
        {"mode 3 skips comment lines", "a\n!c1\n!c2\nline b\nz\n",
         {{0, "a", true}, {3, "line b", true}, {0, "z", true}, {0, "", false}}},
        {"mode 3 returns an empty line", "a\n\nb\n", {{0, "a", true}, {3, "", true}, {0, "b", true}}},
        {"mode 4 keeps comment lines", "a\n!c1\nline\n", {{0, "a", true}, {4, "!c1", true}, {4, "line", true}}},
        {"carriage returns are dropped", "a b\r\nline two\r\nc\r\n",
         {{0, "a", true}, {2, "b", true}, {3, "line two", true}, {1, "c", true}}},
        {"a last line without newline", "a\nlast one", {{0, "a", true}, {4, "last one", false}}},
        {"modes at the end of input", "a", {{0, "a", false}, {1, "", false}, {2, "", false}, {3, "", false}}},
        {"a negative mode reads a word", "a b\n", {{-3, "a", true}, {-1, "b", true}}},
        {"mode 5 reads like mode 4", "a\n!x\n", {{0, "a", true}, {5, "!x", true}}},
    };
    for (const Case& c : cases) {
        Input in(c.text);
        int i = 0;
        for (const Step& st : c.steps) {
            char buf[64];
            strcpy(buf, "stale");
            char* got = nxtwrd(in.fms(), buf, st.mode, sizeof buf);
            EXPECT_STREQ(buf, st.text) << c.name << ", step " << i;
            EXPECT_EQ(got != nullptr, st.returned) << c.name << ", step " << i;
            i++;
        }
    }
}

TEST(Nxt, EchoWritesEveryCharacterOnce)
{
    const std::string text = "12 34 ! c\n  rest, of line\n!x\n\nline\r\nlast, word\n";
    Input in(text, true);
    in.fms()->echo = 1;
    char buf[64];
    nxtwrd(in.fms(), buf, 0, sizeof buf);
    EXPECT_EQ(in.s.log(), "12");
    nxtwrd(in.fms(), buf, 0, sizeof buf);
    EXPECT_EQ(in.s.log(), "12 34");
    nxtwrd(in.fms(), buf, 1, sizeof buf);  // "rest,"
    EXPECT_EQ(in.s.log(), "12 34 ! c\n  rest");
    nxtwrd(in.fms(), buf, 2, sizeof buf);
    EXPECT_STREQ(buf, ", of line");
    nxtwrd(in.fms(), buf, 3, sizeof buf);  // skips "!x", reads the empty line
    EXPECT_STREQ(buf, "");
    nxtwrd(in.fms(), buf, 4, sizeof buf);
    EXPECT_STREQ(buf, "line");
    while (nxtwrd(in.fms(), buf, 0, sizeof buf)) {
    }
    EXPECT_EQ(in.s.log(), text);
}

TEST(Nxt, EchoOffWritesNothing)
{
    Input in("a b\nc\n", true);
    allWords(in.fms());
    EXPECT_EQ(in.s.log(), "");
}

TEST(Nxt, LongestWordAndLineFitTheBuffer)
{
    std::string word(4095, 'w');
    std::string line(4094, 'l');
    Input in(word + "\n" + line + "\n");
    std::vector<char> buf(4096);
    ASSERT_NE(nxtwrd(in.fms(), buf.data(), 0, 4096), nullptr);
    EXPECT_EQ(std::string(buf.data()), word);
    ASSERT_NE(nxtwrd(in.fms(), buf.data(), 4, 4096), nullptr);
    EXPECT_EQ(std::string(buf.data()), line);
}

TEST(Nxt, BufferOverflowIsFatal)
{
    struct Case {
        std::string text;
        int mode;
    } cases[] = {
        {std::string(4096, 'w') + "\n", 0},
        {std::string(4097, 'w'), 0},
        {"x\n" + std::string(4095, 'l') + "\n", 4},
        {"x " + std::string(4096, 'l') + "\n", 2},
    };
    for (const Case& c : cases) {
        ChildResult r = runChild([&] {
            TestState s;
            std::string path = scratchDir() + "/long.txt";
            writeFile(path, c.text);
            nxtopen(s.fms, path.c_str(), __FILE__, __LINE__);
            std::vector<char> buf(4096);
            if (c.mode != 0) nxtwrd(s.fms, buf.data(), 0, 4096);
            nxtwrd(s.fms, buf.data(), c.mode, 4096);
        });
        EXPECT_EQ(r.status, 2) << c.mode;
        EXPECT_NE(r.err.find("Buffer overflow: " + std::string(100, c.mode ? 'l' : 'w')), std::string::npos);
    }
    // The message holds what fitted.
    ChildResult r = runChild([] {
        TestState s;
        std::string path = scratchDir() + "/long.txt";
        writeFile(path, "abcdefghij\n");
        nxtopen(s.fms, path.c_str(), __FILE__, __LINE__);
        char buf[8];
        nxtwrd(s.fms, buf, 0, sizeof buf);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Buffer overflow: abcdefg\n"), std::string::npos) << r.err;
}

TEST(Nxt, OpenReportsMissingFileAndSecondOpen)
{
    TestState s;
    s.openLog();
    s->errorFcn = quietFcn;
    EXPECT_EQ(nxtopen(s.fms, "/nonexistent/none.prj", "/src/project/reader.cpp", 77), 1);
    EXPECT_EQ(s->errorCount, 1);
    EXPECT_NE(s.log().find("ERROR  (file reader, line 77)\n Could not open file /nonexistent/none.prj: No such file or "
                           "directory\n"),
              std::string::npos)
        << s.log();
    EXPECT_EQ(s->_UNXT, nullptr);

    ChildResult r = runChild([] {
        TestState t;
        std::string path = scratchDir() + "/a.txt";
        writeFile(path, "a\n");
        nxtopen(t.fms, path.c_str(), __FILE__, __LINE__);
        nxtopen(t.fms, path.c_str(), __FILE__, __LINE__);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("_UNXT already open"), std::string::npos) << r.err;
}

TEST(Nxt, CloseRewindSeekTell)
{
    Input in("first second\nthird\n");
    char buf[32];
    nxtwrd(in.fms(), buf, 0, sizeof buf);
    int pos = nxttell(in.fms());
    EXPECT_EQ(pos, 5);
    nxtwrd(in.fms(), buf, 0, sizeof buf);
    EXPECT_STREQ(buf, "second");
    EXPECT_EQ(nxtseek(in.fms(), pos, SEEK_SET), 0);
    nxtwrd(in.fms(), buf, 0, sizeof buf);
    EXPECT_STREQ(buf, "second");
    nxtrewind(in.fms());
    nxtwrd(in.fms(), buf, 0, sizeof buf);
    EXPECT_STREQ(buf, "first");
    EXPECT_EQ(nxtclose(in.fms()), 0);
    EXPECT_EQ(in.fms()->_UNXT, nullptr);
    EXPECT_EQ(nxtclose(in.fms()), 0);
    EXPECT_EQ(nxttell(in.fms()), -1);
    EXPECT_EQ(nxtseek(in.fms(), 0, SEEK_SET), -1);
}

TEST(Nxt, SkipDataStopsAfterTerminatorLine)
{
    struct Case {
        std::string text;
        const char* next;
    } cases[] = {
        {"0 ! last word of a section\n1 2\n!-999 commented\n-999  \nafter\n", "after"},
        {"0\n-9990 begins with it\nafter\n", "after"},
        {"0\n1 2\n", ""},  // no terminator: ends at the end of input
        {"0\n-999", ""},
    };
    for (const Case& c : cases) {
        Input in(c.text);
        char buf[32];
        nxtwrd(in.fms(), buf, 0, sizeof buf);
        EXPECT_EQ(skip_data(in.fms()), 0);
        nxtwrd(in.fms(), buf, 1, sizeof buf);
        EXPECT_STREQ(buf, c.next) << c.text;
    }
}

TEST(Nxt, SameDataCopiesUpToTerminator)
{
    struct Case {
        std::string text;
        std::string copy;
        int status;
        const char* next;
    } cases[] = {
        {"a  b,\tc\r\n\n-999x 1\n-999 2\n\t-999 ! a comment is no word\nnext\n",
         "a  b,\tc\n\n-999x 1\n-999 2\n\t-999 ! a comment is no word\n", 0, "next"},
        {"1 -999  \r\nnext\n", "1 -999  \n", 0, "next"},
        {"1 2\n3", "1 2\n3", 1, ""},
        {"1\n-999", "1\n-999", 0, ""},
    };
    for (const Case& c : cases) {
        Input in(c.text);
        std::string outPath = scratchDir() + "/copy.txt";
        FILE* out = fopen(outPath.c_str(), "w");
        EXPECT_EQ(same_data(in.fms(), out), c.status) << c.text;
        fclose(out);
        EXPECT_EQ(readFile(outPath), c.copy) << c.text;
        char buf[32];
        nxtwrd(in.fms(), buf, 1, sizeof buf);
        EXPECT_STREQ(buf, c.next) << c.text;
    }
}

TEST(Nxt, SameLineCopiesTheNextLine)
{
    Input in("first\n  second line ! kept\nthird");
    char buf[32];
    nxtwrd(in.fms(), buf, 0, sizeof buf);
    std::string outPath = scratchDir() + "/copy.txt";
    FILE* out = fopen(outPath.c_str(), "w");
    EXPECT_EQ(same_line(in.fms(), out), 0);
    EXPECT_EQ(same_line(in.fms(), out), 1);  // the last line has no newline
    EXPECT_EQ(same_line(in.fms(), out), 1);
    fclose(out);
    EXPECT_EQ(readFile(outPath), "  second line ! kept\nthird\n");
}
