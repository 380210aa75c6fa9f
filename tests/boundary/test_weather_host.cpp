// Weather files that must stop a run, through the command-line host: the exit status, the
// message, and that a file which used to hold the run (an endless device, a pipe, a file of NUL
// bytes, a wind direction far beyond one turn) now ends it at once.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"

static std::string fixture(const std::string& name)
{
    return readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/" + name);
}

static bool contains(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}


struct TimedRun {
    int status;      // exit status, or 128 + signal
    double seconds;  // wall time until the host ended (or was killed)
    std::string err;
};

// Runs the host in `cwd` with standard input closed, killing it when it has not ended after
// `limit` seconds, so that a run that hangs fails the test instead of holding it. With `asUser`
// the host runs under that user id (the caller being root); 126 or 127 when it could not start.
static TimedRun runHostWithin(const std::vector<std::string>& args, const std::string& cwd, double limit,
                              uid_t asUser = 0)
{
    std::string errPath = scratchDir() + "/err";
    std::vector<char*> argv;
    std::string host = FLOWMIR_HOST;
    argv.push_back(host.data());
    std::vector<std::string> words = args;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    fflush(stdout);
    fflush(stderr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        int in = open("/dev/null", O_RDONLY);
        int out = open("/dev/null", O_WRONLY);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        if (asUser != 0 && (setgroups(0, nullptr) != 0 || setgid(asUser) != 0 || setuid(asUser) != 0))
            _exit(126);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    TimedRun r{-1, 0.0, ""};
    if (pid < 0) return r;
    int st = 0;
    for (;;) {
        pid_t done = waitpid(pid, &st, WNOHANG);
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (done == pid) break;
        if (r.seconds > limit) {
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.err = readFile(errPath);
    return r;
}

TEST(WeatherHost, FaultyWeatherFilesStopTheRun)
{
    const std::string good = fixture("tr_stack.wth");
    // The record of 1/2 6:00:00 with a NUL byte in its temperature.
    const std::string nulRecord =
        replaceFirst(good, "1/2 6:00:00 268.15", std::string("1/2 6:00:00 268\0.15", 18));
    const std::string nulLine =
        std::to_string(1 + std::count(good.begin(), good.begin() + good.find("1/2 6:00"), '\n'));

    // Lays down the weather file as the case wants it, in the run's folder.
    using Setup = std::function<void(const std::string& wth)>;
    auto text = [](const std::string& t) -> Setup {
        return [t](const std::string& wth) { writeFile(wth, t); };
    };
    // A hole of a sparse file reads as NUL bytes; the old reader passed over them for seconds.
    auto sparseZeros = [](const std::string& wth) {
        writeFile(wth, "");
        EXPECT_EQ(truncate(wth.c_str(), 1L << 30), 0);
    };
    struct Case {
        const char* name;
        Setup setup;
        bool inputTest;
        int status;
        std::vector<std::string> messages;
        bool formerHang;  // must end within a second
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"calendar field that is not a number", text(replaceFirst(good, "1/1 3 3 0 0.0", "1/1 3 3 x 0.0")),
         false, 2,
         {"FATAL Bad daylight-saving flag in weather file; day 1/1: x\n"}, false},
        {"record ends early", text(replaceFirst(good, "1/2 24:00:00 269.55 101085 7.00 140 4.4 0 0 0 0 0",
                                            "1/2 24:00:00 269.55 101085")), false, 2,
         {"FATAL WTH record 1/2 24:00:00 ends after 2 of 10 values\n"}, false},
        {"wind speed beyond single precision", text(replaceFirst(good, "101315 1.25 305", "101315 1e300 305")),
         false, 2,
         {"FATAL WTH record 1/1 02:00:00: wind speed 1e300 is beyond single-precision range\n"}, false},
        {"wind direction not finite", text(replaceFirst(good, "101315 1.25 305", "101315 1.25 nan")), false, 2,
         {"FATAL WTH record 1/1 02:00:00: wind direction nan is not finite\n"}, false},
        // The reader closes the file at the "*"; the end of the run must not close it again.
        {"end mark in the calendar", text(replaceFirst(good, "1/1 3 3 0 0.0", "1/1 *")), false, 2,
         {"FATAL Missing day of week in weather file; day 1/1\n"}, false},
        {"end mark in the calendar, input test", text(replaceFirst(good, "1/1 3 3 0 0.0", "1/1 *")), true, 2,
         {"FATAL Missing day of week in weather file; day 1/1\n"}, false},
        {"wind direction of many turns, input test",
         text(replaceFirst(good, "101325 1.00 300", "101325 1.00 1e20")), true, 0,
         {"NOTE Input test completed\n"}, true},
        {"no such file", [](const std::string&) {}, false, 2,
         {"FATAL Could not open WTH file tr_stack.wth: No such file or directory\n"}, false},
        {"a directory", [](const std::string& wth) { mkdir(wth.c_str(), 0755); }, false, 2,
         {"FATAL Could not open WTH file tr_stack.wth: Is a directory\n"}, false},
        {"an endless device",
         [](const std::string& wth) { EXPECT_EQ(symlink("/dev/zero", wth.c_str()), 0); }, false, 2,
         {"FATAL Could not open WTH file tr_stack.wth: Not a regular file (character device)\n"}, true},
        {"a pipe nobody writes to",
         [](const std::string& wth) { EXPECT_EQ(mkfifo(wth.c_str(), 0644), 0); }, false, 2,
         {"FATAL Could not open WTH file tr_stack.wth: Not a regular file (pipe)\n"}, true},
        {"a gigabyte of NUL bytes", sparseZeros, false, 2,
         {"FATAL NUL byte on line 1 of WTH file tr_stack.wth\n"}, true},
        {"a NUL byte in a record", text(nulRecord), false, 2,
         {"FATAL NUL byte on line " + nulLine + " of WTH file tr_stack.wth\n"}, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = scratchDir();
        writeFile(dir + "/tr_stack.prj", fixture("tr_stack.prj"));
        c.setup(dir + "/tr_stack.wth");
        std::vector<std::string> args = {"-q", "tr_stack"};
        if (c.inputTest) args.insert(args.begin(), "-t");
        TimedRun r = runHostWithin(args, dir, 10.0);
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const std::string& m : c.messages) {
            EXPECT_TRUE(contains(r.err, m)) << m << r.err;
        }
        if (c.formerHang) {
            EXPECT_LT(r.seconds, 1.0);
        }
        if (c.status == 2) {
            EXPECT_FALSE(fileExists(dir + "/tr_stack.sim"));
            EXPECT_TRUE(contains(readFile(dir + "/tr_stack.xlog"), "Flowmir finish(2)\n"));
        }
        remove((dir + "/tr_stack.wth").c_str()); // the gigabyte, sparse as it is
    }
}

// A weather file the user may not read: the reason is given. Root reads every file, so root
// runs the host as an ordinary user.
TEST(WeatherHost, UnreadableFileSaysWhy)
{
    const uid_t nobody = 65534;
    std::string dir = scratchDir();
    writeFile(dir + "/tr_stack.prj", fixture("tr_stack.prj"));
    writeFile(dir + "/tr_stack.wth", fixture("tr_stack.wth"));
    chmod(dir.c_str(), 0777); // the log is written beside the project
    chmod((dir + "/tr_stack.prj").c_str(), 0644);
    chmod((dir + "/tr_stack.wth").c_str(), 0);
    TimedRun r = runHostWithin({"-q", "tr_stack"}, dir, 10.0, geteuid() == 0 ? nobody : 0);
    if (r.status == 126 || r.status == 127) GTEST_SKIP() << "the host cannot run as an ordinary user here";
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(contains(r.err, "FATAL Could not open WTH file tr_stack.wth: Permission denied\n")) << r.err;
}
