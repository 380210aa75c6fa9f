// Typed field readers and the pure number conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/error.h"
#include "support/fields.h"
#include "support/nxt.h"
#include "testutil.h"

static int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

TEST(Fields, LongconAutomaticBaseAndWholeText)
{
    struct Case {
        const char* text;
        int status;
        int32_t value;
    } cases[] = {
        {"42", 0, 42},
        {"+7", 0, 7},
        {"-15", 0, -15},
        {"0x1A", 0, 26},
        {"0XfF", 0, 255},
        {"010", 0, 8},
        {"0", 0, 0},
        {"", 0, 0},  // an empty word counts as a whole, consumed text
        {"2147483647", 0, INT32_MAX},
        {"-2147483648", 0, INT32_MIN},
        {"0x7fffffff", 0, INT32_MAX},
        {"2147483648", 1, 0},
        {"-2147483649", 1, 0},
        {"0xFFFFFFFF", 1, 0},
        {"99999999999999999999", 1, 0},
        {"1e3", 1, 0},
        {"12a", 1, 0},
        {"08", 1, 0},
        {"0x", 1, 0},
        {"0b101", 1, 0},
        {"-", 1, 0},
        {" ", 1, 0},
        {"1.0", 1, 0},
    };
    for (const Case& c : cases) {
        int32_t v = 12345;
        EXPECT_EQ(longcon(c.text, &v), c.status) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
}

TEST(Fields, ShortRangeConversions)
{
    struct Case {
        const char* text;
        int status;
        int value;
    } cases[] = {
        {"32767", 0, 32767}, {"-32768", 0, -32768}, {"0x7FFF", 0, 32767},
        {"32768", 1, 0},     {"-32769", 1, 0},      {"x", 1, 0},
    };
    for (const Case& c : cases) {
        int i = 99;
        int16_t s = 99;
        EXPECT_EQ(intcon(c.text, &i), c.status) << c.text;
        EXPECT_EQ(i, c.value) << c.text;
        EXPECT_EQ(shortcon(c.text, &s), c.status) << c.text;
        EXPECT_EQ(s, c.value) << c.text;
    }
}

TEST(Fields, RealConversions)
{
    struct Case {
        const char* text;
        int dblStatus;
        double value;
        int fltStatus;
    } cases[] = {
        {"1e3", 0, 1000.0, 0},
        {"-2.5e-3", 0, -2.5e-3, 0},
        {".5", 0, 0.5, 0},
        {"", 0, 0.0, 0},
        {"3.4028234663852886e38", 0, 3.4028234663852886e38, 0},
        {"-3.5e38", 0, -3.5e38, 1},
        {"1e300", 0, 1e300, 1},
        {"1e400", 1, 0.0, 1},
        {"nan", 1, 0.0, 1},
        {"inf", 1, 0.0, 1},
        {"1.5x", 1, 0.0, 1},
        {"1..2", 1, 0.0, 1},
        {" ", 1, 0.0, 1},
    };
    for (const Case& c : cases) {
        double d = 7;
        float f = 7;
        EXPECT_EQ(dblcon(c.text, &d), c.dblStatus) << c.text;
        EXPECT_EQ(d, c.value) << c.text;
        EXPECT_EQ(fltcon(c.text, &f), c.fltStatus) << c.text;
        EXPECT_EQ(f, c.fltStatus ? 0.0f : (float)c.value) << c.text;
    }
}

// Runs one reader on a file holding the given text and returns its value; message is the
// expected error message, empty for none.
struct ReaderCase {
    const char* reader;
    std::string text;
    double value;
    std::string message;
};

static double runReader(FlowmirState* fms, const std::string& reader)
{
    if (reader == "I2") return readI2(fms, 0);
    if (reader == "U1") return readU1(fms, 0);
    if (reader == "U2") return readU2(fms, 0);
    if (reader == "I4") return readI4(fms, 0);
    if (reader == "IX") return readIX(fms, 0);
    if (reader == "R4") return readR4(fms, 0);
    if (reader == "R8") return readR8(fms, 0);
    if (reader == "MD") return readMD(fms, 0);
    if (reader == "MDx") return readMDx(fms, 0);
    if (reader == "HMS") return readHMS(fms, 0);
    if (reader == "HMSs") return readHMS_strict(fms, 0);
    ADD_FAILURE() << reader;
    return 0;
}

TEST(Fields, ReadersConvertAndReportBadFields)
{
    const ReaderCase cases[] = {
        {"I2", "0x1A", 26, ""},
        {"I2", "010", 8, ""},
        {"I2", "-32768", -32768, ""},
        {"I2", "1e3", 0, "Bad short integer: 1e3"},
        {"I2", "40000", -25536, "Bad short integer: 40000"},  // cut to 16 bits
        {"U1", "255", 255, ""},
        {"U1", "256", 0, "Bad 8-bit unsigned integer: 256"},
        {"U1", "-1", 255, "Bad 8-bit unsigned integer: -1"},
        {"U2", "65535", 65535, ""},
        {"U2", "65537", 1, "Bad short unsigned integer: 65537"},
        {"I4", "-2147483648", -2147483648.0, ""},
        {"I4", "2147483648", 0, "Bad long integer: 2147483648"},
        {"IX", "0x10", 16, ""},
        {"IX", "abc", 0, "Bad integer: abc"},
        {"R4", "1e3", 1000, ""},
        {"R4", "0.1", (float)0.1, ""},
        {"R4", "3.5e38", HUGE_VAL, "Bad float value: 3.5e38"},
        {"R4", "x1", 0, "Bad float value: x1"},
        {"R8", "1e300", 1e300, ""},
        {"R8", "1..2", 0, "1..2 is not a (valid) number"},
        {"MD", "Dec31", 365, ""},
        {"MD", "3feb", 34, ""},
        {"MD", "45", 45, ""},
        {"MD", "Feb29", 1, "Feb29 is not a valid date"},
        {"MD", "Janu01", 1, "Janu01 is not a valid date"},
        {"MD", "366", 366, "366 is not a valid date"},
        {"MD", "0", 0, "0 is not a valid date"},
        {"MD", "x", 0, "x is not a valid date"},
        {"MDx", "12/31", 365, ""},
        {"MDx", "2/29", 0, "2/29 is not a valid mm/dd date"},
        {"MDx", "1/2/3", 0, "1/2/3 is not a valid mm/dd date"},
        {"HMS", "24:00:00", 86400, ""},
        {"HMS", "7:05:09", 25509, ""},
        {"HMS", "3600", 3600, ""},
        {"HMS", "24:00:01", 86401, "24:00:01 is not a valid time"},
        {"HMS", "7:5:09", 0, "7:5:09 is not a valid time"},
        {"HMS", "90000", 90000, "90000 is not a valid time"},
        {"HMS", "-1", -1, "-1 is not a valid time"},
        {"HMSs", "0:00:00", 0, ""},
        {"HMSs", "23:59:59", 86399, ""},
        {"HMSs", "3600", -1, "3600 is not a valid time"},
        {"HMSs", "24:00:01", -1, "24:00:01 is not a valid time"},
    };
    for (const ReaderCase& c : cases) {
        TestState s;
        s->errorFcn = quietFcn;
        std::string path = scratchDir() + "/field.txt";
        writeFile(path, c.text + " next\n");
        ASSERT_EQ(nxtopen(s.fms, path.c_str(), __FILE__, __LINE__), 0);
        double v = runReader(s.fms, c.reader);
        std::string what = std::string(c.reader) + " " + c.text;
        EXPECT_EQ(v, c.value) << what;
        EXPECT_EQ(s->errorCount, c.message.empty() ? 0 : 1) << what;
        if (!c.message.empty()) {
            EXPECT_EQ(std::string(s->lastError), "ERROR  " + c.message + "\n") << what;
        }
        char next[16];
        nxtwrd(s.fms, next, 0, sizeof next);
        EXPECT_STREQ(next, "next") << what;  // the reader took exactly one word
    }
}

TEST(Fields, ReadersAtEndOfInput)
{
    struct Case {
        const char* reader;
        double value;
        int errors;
    } cases[] = {
        {"MDx", -1, 0}, {"HMSs", -2, 0}, {"I2", 0, 0}, {"IX", 0, 0}, {"R8", 0, 0}, {"MD", 0, 1},
    };
    for (const Case& c : cases) {
        TestState s;
        s->errorFcn = quietFcn;
        std::string path = scratchDir() + "/field.txt";
        writeFile(path, "1 ! only a comment follows\n");
        ASSERT_EQ(nxtopen(s.fms, path.c_str(), __FILE__, __LINE__), 0);
        readIX(s.fms, 0);
        EXPECT_EQ(runReader(s.fms, c.reader), c.value) << c.reader;
        EXPECT_EQ(s->errorCount, c.errors) << c.reader;
    }
}

TEST(Fields, LastWordWithoutNewlineIsConverted)
{
    TestState s;
    std::string path = scratchDir() + "/field.txt";
    writeFile(path, "7\n42");
    ASSERT_EQ(nxtopen(s.fms, path.c_str(), __FILE__, __LINE__), 0);
    EXPECT_EQ(readI2(s.fms, 0), 7);
    EXPECT_EQ(readIX(s.fms, 1), 42);
    EXPECT_EQ(s->errorCount, 0);
}
