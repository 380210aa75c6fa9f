// The console pause of a transient run, through a pseudo-terminal: "p" asks whether to assume
// convergence and then whether to quit; two "no" answers let the run go on, a "yes" to the
// second question ends it with status 1.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "testutil.h"

namespace {

// A transient run of a year in one-second steps: long enough to be interrupted.
std::string longRun()
{
    std::string text = readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/prj_minimal.prj");
    auto swap = [&](const std::string& from, const std::string& to) {
        size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
    };
    swap("\n0 0 30 1e-5", "\n1 0 30 1e-5");
    swap("Jan01 12:00:00 Jan01 00:00:00 Jan01 24:00:00 1:00:00 1:00:00 1:00:00",
         "Jan01 12:00:00 Jan01 00:00:00 Dec31 24:00:00 1 3600 3600");
    return text;
}

// The host running in a pseudo-terminal, in the given folder.
struct Terminal {
    int fd = -1;
    pid_t pid = -1;
    std::string seen;

    explicit Terminal(const std::string& dir)
    {
        pid = forkpty(&fd, nullptr, nullptr, nullptr);
        if (pid == 0) {
            if (chdir(dir.c_str()) != 0) _exit(99);
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            // Not quiet: a quiet run never waits for a key.
            execl(FLOWMIR_HOST, FLOWMIR_HOST, "year", (char*)nullptr);
            _exit(98);
        }
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // Reads until the text appears (true) or the time runs out (false).
    bool waitFor(const std::string& text, int seconds = 20)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (seen.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char buf[512];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) return false;
            seen.append(buf, n);
        }
        seen.erase(0, seen.find(text) + text.size());
        return true;
    }
    // Presses the pause key until the run asks its first question (a key pressed before the loop
    // starts is discarded by the run).
    bool pause()
    {
        for (int i = 0; i < 40; i++) {
            type("p");
            if (waitFor("Assume convergence at end of current day? (y/n)  ", 1)) return true;
        }
        return false;
    }
    void type(const std::string& keys) { EXPECT_EQ(write(fd, keys.data(), keys.size()), (ssize_t)keys.size()); }
    // A run left behind by a failed expectation is ended.
    ~Terminal()
    {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (fd >= 0) close(fd);
    }
    int status()
    {
        // Drain the terminal so the run never blocks on a full output buffer.
        char buf[512];
        while (read(fd, buf, sizeof buf) > 0) {
        }
        int st = 0;
        waitpid(pid, &st, 0);
        pid = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
};

}  // namespace

TEST(Pause, TwoNoAnswersGoOnAndAYesToQuitEndsTheRun)
{
    std::string dir = scratchDir();
    writeFile(dir + "/year.prj", longRun());
    Terminal t(dir);
    ASSERT_GT(t.pid, 0);
    ASSERT_TRUE(t.pause()) << t.seen;
    t.type("n\n");
    ASSERT_TRUE(t.waitFor("Quit the simulation now? (y/n)  ")) << t.seen;
    t.type("n\n");
    // The run goes on and can be paused again.
    ASSERT_TRUE(t.pause()) << t.seen;
    t.type("x\n");
    ASSERT_TRUE(t.waitFor(" Valid responses are:  y or Y for yes, n or N for no.")) << t.seen;
    t.type("n\n");
    ASSERT_TRUE(t.waitFor("Quit the simulation now? (y/n)  ")) << t.seen;
    t.type("y\n");
    // On a terminal the end waits for a key before the window may close.
    ASSERT_TRUE(t.waitFor("Press any key to close Flowmir text window")) << t.seen;
    t.type("k");
    EXPECT_EQ(t.status(), 1);
    std::string log = readFile(dir + "/year.xlog");
    EXPECT_NE(log.find("Flowmir finish(1)\n"), std::string::npos) << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
    EXPECT_EQ(log.find("Simulation completed successfully."), std::string::npos);
}
