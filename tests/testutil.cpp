#include "testutil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "engine/run.h"

// Under the leak checker a child that ends through exit() would report the run's memory,
// which the engine leaves to the process end on purpose after a fatal error.
extern "C" void __lsan_disable(void) __attribute__((weak));
#include "support/log.h"

std::string scratchDir()
{
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/flowmir-test-XXXXXX";
    char buf[512];
    snprintf(buf, sizeof buf, "%s", tmpl.c_str());
    if (!mkdtemp(buf)) abort();
    return buf;
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
}

std::string readFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

bool fileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

TestState::TestState()
{
    fms = static_cast<FlowmirState*>(calloc(1, sizeof(FlowmirState)));
    initFlowmirState(fms);
}

TestState::~TestState()
{
    if (fms->logFile) fclose(fms->logFile);
    if (fms->_UNXT) fclose(fms->_UNXT);
    free(fms);
}

void TestState::openLog()
{
    logPath = scratchDir() + "/test.xlog";
    fms->logFile = fopen(logPath.c_str(), "w");
    fms->logFcn = printToLog;
}

std::string TestState::log()
{
    if (fms->logFile) fflush(fms->logFile);
    return readFile(logPath);
}

ChildResult runChild(const std::function<void()>& fn, const std::string& input)
{
    fflush(stdout);
    fflush(stderr);
    std::string dir = scratchDir();
    std::string inPath = dir + "/in", outPath = dir + "/out", errPath = dir + "/err";
    writeFile(inPath, input);
    pid_t pid = fork();
    if (pid == 0) {
        if (__lsan_disable) __lsan_disable();
        int in = open(inPath.c_str(), O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        fn();
        fflush(stdout);
        fflush(stderr);
        _exit(0);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    ChildResult r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

// Runs a program through the shell from cwd (when given), standard input closed; a wrapper
// (shell words ending in a space) goes before the program, e.g. a time limit.
static ChildResult runProgram(const std::string& program, const std::string& args, const std::string& cwd,
                              const std::string& wrapper)
{
    std::string dir = scratchDir();
    std::string cmd;
    if (!cwd.empty()) cmd = "cd '" + cwd + "' && ";
    cmd += "ASAN_OPTIONS=detect_leaks=0 " + wrapper + "'" + program + "' " + args + " </dev/null >'" + dir +
           "/out' 2>'" + dir + "/err'";
    int st = system(cmd.c_str());
    ChildResult r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = readFile(dir + "/out");
    r.err = readFile(dir + "/err");
    return r;
}

ChildResult runHost(const std::string& args, const std::string& cwd)
{
    return runProgram(FLOWMIR_HOST, args, cwd, "");
}

std::string simTool()
{
    std::string host = FLOWMIR_HOST;
    return host.substr(0, host.rfind('/') + 1) + "flowmir-sim";
}

ChildResult runSimTool(const std::string& args, const std::string& cwd, const std::string& wrapper)
{
    return runProgram(simTool(), args, cwd, wrapper);
}

std::string replaceFirst(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}
