// String helpers of the readers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/strutil.h"
#include "testutil.h"

static int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

TEST(StrUtil, Streql)
{
    EXPECT_EQ(streql("abc", "abc"), 1);
    EXPECT_EQ(streql("", ""), 1);
    EXPECT_EQ(streql("abc", "abd"), 0);
    EXPECT_EQ(streql("abc", "ab"), 0);
}

TEST(StrUtil, StrcpysJoinsAndCuts)
{
    char out[8];
    EXPECT_STREQ(strcpys(out, sizeof out, "ab", "cd", ""), "abcd");
    EXPECT_STREQ(strcpys(out, sizeof out, "ab", "", "not", ""), "ab");
    EXPECT_STREQ(strcpys(out, sizeof out, "abcde", "fghij", ""), "abcdefg");
    EXPECT_STREQ(strcpys(out, 1, "abc", ""), "");
    EXPECT_STREQ(strcpys(out, sizeof out, ""), "");
    char guard[6] = "xxxxx";
    strcpys(guard, 3, "abc", "");
    EXPECT_EQ(std::string(guard, 5), std::string("ab\0xx", 5));
    // Appending to itself.
    strcpy(out, "ab");
    EXPECT_STREQ(strcpys(out, sizeof out, out, ".ext", ""), "ab.ext");
}

TEST(StrUtil, FileNameFix)
{
    TestState s;
    struct Case {
        char dirChar;
        const char* text;
        const char* fixed;
    } cases[] = {
        {'/', "weather\\file.wth   ! the weather", "weather/file.wth"},
        {'\\', "a/b/c.ctm \t", "a\\b\\c.ctm"},
        {'/', "null", "null"},
        {'/', "  lead.cvf\r", "  lead.cvf"},
        {'/', "!all comment", ""},
    };
    for (const Case& c : cases) {
        s->dirChar = c.dirChar;
        char text[64];
        strcpy(text, c.text);
        EXPECT_STREQ(FileNameFix(s.fms, text), c.fixed) << c.text;
    }
}

TEST(StrUtil, LinearSearch)
{
    TestState s;
    s->errorFcn = quietFcn;
    const char* const list[] = {"plr_orfc", "plr_leak", "dor_door", ""};
    EXPECT_EQ(lin_search(s.fms, "plr_orfc", list), 0);
    EXPECT_EQ(lin_search(s.fms, "dor_door", list), 2);
    EXPECT_EQ(s->errorCount, 0);
    EXPECT_EQ(lin_search(s.fms, "fan_cmf", list), 3);
    EXPECT_EQ(s->errorCount, 1);
    EXPECT_STREQ(s->lastError, "ERROR  Undefined Element Type: fan_cmf\n");
}
