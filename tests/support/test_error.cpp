// Error reports, the log copy, counting, the fatal end and the log file itself.
#include <gtest/gtest.h>
#include <signal.h>

#include <cfenv>

#include <string>

#include "engine/run.h"
#include "support/error.h"
#include "support/log.h"
#include "testutil.h"

static int quietFcn(FlowmirState*, const char*, const char*, int*)
{
    return 0;
}

TEST(Error, CountsQueriesAndResets)
{
    TestState s;
    s.openLog();
    s->errorFcn = quietFcn;
    EXPECT_EQ(error(s.fms, NOTE, __FILE__, 1, "a note", ""), 0);
    EXPECT_EQ(error(s.fms, WARNING, __FILE__, 2, "a warning", ""), 0);
    EXPECT_EQ(error(s.fms, ERROR, __FILE__, 3, "first", ""), 1);
    EXPECT_EQ(errorf(s.fms, ERROR, __FILE__, 4, "second %d", 2), 2);
    EXPECT_EQ(error(s.fms, -1, __FILE__, 5, "ignored", ""), 2);
    EXPECT_STREQ(s->lastError, "ERROR  second 2\n");
    EXPECT_EQ(error(s.fms, -2, __FILE__, 6, ""), 0);
    EXPECT_EQ(error(s.fms, -1, __FILE__, 7, ""), 0);
    EXPECT_STREQ(s->lastError, "");
    std::string log = s.log();
    EXPECT_NE(log.find("NOTE  (file test_error, line 1)\n a note\n"), std::string::npos) << log;
    EXPECT_NE(log.find("ERROR  (file test_error, line 4)\n second 2\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("ignored"), std::string::npos);
}

TEST(Error, PiecesAreJoinedCutAndLoggedLiterally)
{
    TestState s;
    s.openLog();
    s->errorFcn = quietFcn;
    error(s.fms, WARNING, "/a/b/module.cpp", 9, "100% of ", "%d and %s", "", "not shown", "");
    std::string log = s.log();
    EXPECT_NE(log.find("WARNING  (file module, line 9)\n 100% of %d and %s\n"), std::string::npos) << log;

    std::string longText(5000, 'x');
    error(s.fms, NOTE, __FILE__, 10, longText.c_str(), "tail", "");
    EXPECT_EQ(std::string(s->lastError), "NOTE  " + std::string(4092, 'x') + "\n");
    log = s.log();
    size_t loc = log.find("NOTE  (file test_error, line 10)\n");
    ASSERT_NE(loc, std::string::npos);
    EXPECT_EQ(log.substr(loc + 33), " " + std::string(4092, 'x') + "\n");
}

TEST(Error, SourceBaseNameIsCut)
{
    char out[32];
    EXPECT_STREQ(srcBaseName("C:\\src\\support\\error-trap.c", out), "error-trap");
    EXPECT_STREQ(srcBaseName("plain", out), "plain");
    EXPECT_STREQ(srcBaseName(std::string(40, 'n').append(".cpp").c_str(), out), std::string(31, 'n').c_str());
}

TEST(Error, DisplayGoesToHostFunctionOrStandardError)
{
    ChildResult r = runChild([] {
        TestState s;
        error(s.fms, WARNING, __FILE__, 1, "shown", "");
    });
    EXPECT_EQ(r.err, "WARNING shown\n");
    r = runChild([] {
        TestState s;
        s.openLog();
        s->errorFcn = quietFcn;
        error(s.fms, WARNING, __FILE__, 1, "hidden", "");
        fprintf(stdout, "%s", s.log().c_str());
    });
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "WARNING  (file test_error, line 1)\n hidden\n");
}

TEST(Error, FatalEndsTheProcessThroughFinish)
{
    for (int severity : {3, 7}) {
        std::string logPath;
        ChildResult r = runChild([severity] {
            TestState s;
            s.openLog();
            printf("%s", s.logPath.c_str());
            fflush(stdout);
            s->finishFcn = finish;
            error(s.fms, severity, __FILE__, 1, "the end", "");
            printf("returned");
        });
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out.find("returned"), std::string::npos);
        EXPECT_NE(r.err.find("FATAL the end\n"), std::string::npos);
        std::string log = readFile(r.out);
        EXPECT_NE(log.find(" the end\nFlowmir finish(2)\n"), std::string::npos) << log;
    }
    ChildResult r = runChild([] { error(nullptr, FATAL, __FILE__, 1, "no state", ""); });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL no state\n");
}

TEST(Error, MinimalReport)
{
    ChildResult r = runChild([] {
        TestState s;
        s.openLog();
        errorMinimal(s.fms, ERROR, "pathsplit: file name overrun");
        fprintf(stdout, "%s", s.log().c_str());
        errorMinimal(s.fms, 9, "gone");
    });
    // A failure: status 2, as for every other fatal report.
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "ERROR: pathsplit: file name overrun\n");
    EXPECT_NE(r.err.find("gone\n"), std::string::npos);
}

TEST(Error, LastErrorForHost)
{
    TestState s;
    s->errorFcn = quietFcn;
    char buf[64];
    EXPECT_EQ(getLastError(nullptr, buf, 10), -1);
    EXPECT_EQ(getLastError(s.fms, nullptr, 10), 1);
    error(s.fms, NOTE, __FILE__, 1, "abc", "");  // "NOTE  abc\n": 10 characters
    EXPECT_EQ(getLastError(s.fms, buf, 9), 2);
    EXPECT_EQ(getLastError(s.fms, buf, 10), 0);
    EXPECT_STREQ(buf, "NOTE  abc\n");
}

TEST(Error, MathLibraryHook)
{
    char name[] = "log";
    ChildResult r = runChild([&] {
        struct _exception e = {6, name, -1.0, 0.0, 0.0};
        _matherr(&e);
        struct _exception under = {4, name, 1e-310, 0.0, 0.0};
        _matherr(&under);
        printf("continued");
        fflush(stdout);
        struct _exception d = {1, name, -1.0, 0.0, 0.0};
        _matherr(&d);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "continued");
    EXPECT_EQ(r.err, "ERROR partial loss of significance: log( -1 )\nFATAL argument domain error: log( -1 )\n");
}

TEST(Error, FloatingPointSignal)
{
    ChildResult r = runChild([] {
        setErrorTraps();
        feenableexcept(FE_DIVBYZERO);
        volatile double one = 1.0, zero = 0.0;
        double x = one / zero;
        printf("%g", x);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL Floating-point divide by zero\n");
    r = runChild([] {
        setErrorTraps();
        raise(SIGFPE);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL Unspecified floating-point error\n");
    EXPECT_STREQ(fpeMessage(136), "Square root of negative value");
    EXPECT_STREQ(fpeMessage(137), "Unspecified floating-point error");
}

TEST(Log, HeldNamesGetACounter)
{
    std::string dir = scratchDir();
    std::string path = dir + "/office.xlog";
    TestState first, second, third;
    ASSERT_NE(openLogFile(first.fms, path.c_str()), nullptr);
    ASSERT_NE(openLogFile(second.fms, path.c_str()), nullptr);
    EXPECT_TRUE(fileExists(dir + "/office-1.xlog"));
    closeLogFile(&second->logFile);
    // A released name is taken again.
    ASSERT_NE(openLogFile(third.fms, path.c_str()), nullptr);
    fprintf(third->logFile, "x");
    closeLogFile(&third->logFile);
    EXPECT_EQ(readFile(dir + "/office-1.xlog"), "x");

    TestState held[19];
    for (auto& h : held) ASSERT_NE(openLogFile(h.fms, path.c_str()), nullptr);
    TestState last;
    EXPECT_EQ(openLogFile(last.fms, path.c_str()), nullptr);
    EXPECT_TRUE(fileExists(dir + "/office-19.xlog"));
    EXPECT_FALSE(fileExists(dir + "/office-20.xlog"));
    closeLogFile(&first->logFile);
}

TEST(Log, PrintAndNote)
{
    TestState s;
    EXPECT_EQ(lognote(s.fms, "x", __FILE__, 3), 1);
    s.openLog();
    EXPECT_EQ(printToLog(s->logFile, "%d-%s|", 5, "a"), 0);
    EXPECT_EQ(printToLogAndFlush(s->logFile, "%s", "b|"), 0);
    EXPECT_EQ(lognote(s.fms, "a note", "/x/y/heap.c", 42), 0);
    EXPECT_EQ(s.log(), "5-a|b| a note (file heap, line 42)\n");
    char name[260];
    s->dirChar = '/';
    getXLogFileName(s.fms, "", "/tmp/run/", "office", name, sizeof name);
    EXPECT_STREQ(name, "/tmp/run/office.xlog");
}
