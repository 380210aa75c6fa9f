// The results of an earlier run survive every run that fails, is stopped or is killed: a run
// writes its results under a temporary name and renames it into place only when it completes.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "testutil.h"

namespace
{

std::string fixture(const std::string& name)
{
    return readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/" + name);
}


const char PERIOD[] = "Jan01 00:00:00 Jan01 00:00:00 Jan02 24:00:00 1:00:00 1:00:00 1:00:00\n";

// The two-day stack project staged with its weather file, run once: its results are the
// earlier run's that the failing runs below must leave alone.
struct EarlierRun {
    std::string dir, prj, sim, good;
    EarlierRun()
    {
        dir = scratchDir();
        prj = dir + "/tr_stack.prj";
        sim = dir + "/tr_stack.sim";
        writeFile(prj, fixture("tr_stack.prj"));
        writeFile(dir + "/tr_stack.wth", fixture("tr_stack.wth"));
        ChildResult r = runHost("-q '" + prj + "'");
        EXPECT_EQ(r.status, 0) << r.err;
        good = readFile(sim);
        EXPECT_GT(good.size(), 100u);
    }
    void expectKept(const char* what) const
    {
        EXPECT_EQ(readFile(sim), good) << what << ": the earlier results changed";
        EXPECT_FALSE(fileExists(sim + ".part")) << what << ": a temporary file was left";
    }
};

// Runs the host in a subshell under a file size limit (SIGXFSZ ignored, so writes past it
// fail with EFBIG). Its standard error is read through a pipe, which the limit does not
// reach; the last 4 KiB of it are kept.
ChildResult runHostLimited(int kib, const std::string& args)
{
    std::string dir = scratchDir();
    std::string cmd = "( trap '' XFSZ; ulimit -f " + std::to_string(kib) + "; ASAN_OPTIONS=detect_leaks=0 '" +
                      std::string(FLOWMIR_HOST) + "' " + args + " </dev/null >/dev/null; echo $? >'" + dir +
                      "/status' ) 2>&1 | tail -c 4096 >'" + dir + "/err'";
    system(cmd.c_str());
    ChildResult r;
    r.status = atoi(readFile(dir + "/status").c_str());
    r.err = readFile(dir + "/err");
    return r;
}

} // namespace

TEST(ResultsKept, FailingRunsLeaveTheEarlierResults)
{
    struct Case {
        const char* name;
        std::string prj, wth; // replacements, empty: the fixture's
        std::string args;
        int status;
        const char* message;
    };
    std::string prj = fixture("tr_stack.prj"), wth = fixture("tr_stack.wth");
    const Case cases[] = {
        {"input test", "", "", "-t", 0, "Input test completed"},
        {"project error", replaceFirst(prj, "1 ! levels", "2 ! levels"), "", "", 2, "Project file errors must be fixed."},
        {"weather header", "", replaceFirst(wth, "WeatherFile Flowpad 2.0", "WeatherFile Flowpad 9.9"), "", -1,
         "FATAL"},
        {"weather missing", replaceFirst(prj, "tr_stack.wth", "gone.wth"), "", "", -1, "gone.wth"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EarlierRun earlier;
        if (!c.prj.empty()) writeFile(earlier.prj, c.prj);
        if (!c.wth.empty()) writeFile(earlier.dir + "/tr_stack.wth", c.wth);
        ChildResult r = runHost("-q " + c.args + " '" + earlier.prj + "'");
        if (c.status >= 0)
            EXPECT_EQ(r.status, c.status) << r.err;
        else
            EXPECT_NE(r.status, 0) << r.err;
        EXPECT_NE((r.err + readFile(earlier.dir + "/tr_stack.xlog")).find(c.message), std::string::npos) << r.err;
        earlier.expectKept(c.name);
    }
}

// A second run of a project that is still running finds the results name held and stops
// without touching the running run's file.
TEST(ResultsKept, SecondRunLeavesTheRunningRunsFile)
{
    EarlierRun earlier;
    std::string part = earlier.sim + ".part";
    int fd = open(part.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    ASSERT_EQ(write(fd, "running", 7), 7);
    ChildResult r = runHost("-q '" + earlier.prj + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Could not open SIM file; is it already open?"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(part), "running");
    EXPECT_EQ(readFile(earlier.sim), earlier.good);
    close(fd);
    unlink(part.c_str());
}

// Results that did not all reach the disk do not replace the earlier ones: the run fails.
TEST(ResultsKept, FailedWritesFailTheRun)
{
    EarlierRun earlier;
    // Ten days of hourly records outgrow an 8 KiB file size limit; the log's own writes are
    // not checked, so the outcome is read from standard error.
    writeFile(earlier.prj, replaceFirst(replaceFirst(fixture("tr_stack.prj"), "tr_stack.wth", "null"), PERIOD,
                                    "Jan01 00:00:00 Jan01 00:00:00 Jan10 24:00:00 1:00:00 1:00:00 1:00:00\n"));
    ChildResult r = runHostLimited(8, "-q '" + earlier.prj + "'");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("ERROR fwrite failed"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("FATAL Results file " + earlier.sim + " could not be written completely"), std::string::npos)
        << r.err;
    earlier.expectKept("full disk");
}

// SIGINT, SIGTERM and SIGHUP stop a run between steps: a log line names the signal, the
// temporary file goes, the earlier results stay and the status is 128 + the signal.
TEST(ResultsKept, TerminationSignalsStopTheRunCleanly)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        EarlierRun earlier;
        // A year of one-minute steps without weather: long enough to be stopped midway.
        writeFile(earlier.prj,
                  replaceFirst(replaceFirst(fixture("tr_stack.prj"), "tr_stack.wth", "null"), PERIOD,
                           "Jan01 00:00:00 Jan01 00:00:00 Dec31 24:00:00 0:01:00 1:00:00 24:00:00\n"));
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            execl(FLOWMIR_HOST, FLOWMIR_HOST, "-q", earlier.prj.c_str(), (char*)nullptr);
            _exit(127);
        }
        auto start = std::chrono::steady_clock::now();
        while (!fileExists(earlier.sim + ".part") && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(fileExists(earlier.sim + ".part"));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(pid, sig);
        int st = 0;
        ASSERT_EQ(waitpid(pid, &st, 0), pid);
        ASSERT_TRUE(WIFEXITED(st)) << "killed by " << WTERMSIG(st);
        EXPECT_EQ(WEXITSTATUS(st), 128 + sig);
        std::string log = readFile(earlier.dir + "/tr_stack.xlog");
        EXPECT_NE(log.find("Simulation stopped by signal " + std::to_string(sig) + " ("), std::string::npos) << log;
        EXPECT_EQ(log.find("Simulation completed successfully."), std::string::npos);
        earlier.expectKept("signal");
    }
}

// A completed run replaces the results, and a stale file whose switches are now off goes
// only when the run completes.
TEST(ResultsKept, CompletedRunsReplaceAndDeleteStaleResults)
{
    EarlierRun earlier;
    ChildResult r = runHost("-q '" + earlier.prj + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(earlier.sim), earlier.good);
    EXPECT_FALSE(fileExists(earlier.sim + ".part"));

    // Switches off: an input test keeps the old file, a completed run deletes it.
    std::string off = replaceFirst(fixture("tr_stack.prj"), "0 0 1 1 0\n", "0 0 0 0 0\n");
    writeFile(earlier.prj, off);
    r = runHost("-q -t '" + earlier.prj + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(earlier.sim), earlier.good);
    r = runHost("-q '" + earlier.prj + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fileExists(earlier.sim));
}
