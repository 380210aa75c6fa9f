// Helpers shared by the test programs: scratch folders, files, a state record with a log,
// and running code or the host in a child process.
#ifndef FLOWMIR_TESTS_TESTUTIL_H
#define FLOWMIR_TESTS_TESTUTIL_H

#include <functional>
#include <string>

#include "engine/state.h"

// A fresh folder under the system's temporary folder.
std::string scratchDir();
void writeFile(const std::string& path, const std::string& text);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
// text with the first occurrence of from replaced by to; a test failure when from is absent.
std::string replaceFirst(std::string text, const std::string& from, const std::string& to);

// An initialised state record, optionally logging to a file in a scratch folder.
struct TestState {
    FlowmirState* fms;
    std::string logPath;
    TestState();
    ~TestState();
    void openLog();       // log to scratchDir()/test.xlog through printToLog
    std::string log();    // the log so far (flushed first)
    FlowmirState* operator->() { return fms; }
};

// Runs fn in a child process: its exit status (fn returning counts as 0) and its standard error.
struct ChildResult {
    int status;  // exit status, or 128 + signal
    std::string err;
    std::string out;
};
ChildResult runChild(const std::function<void()>& fn, const std::string& input = "");
// Runs the command-line host with arguments (shell words), standard input closed.
ChildResult runHost(const std::string& args, const std::string& cwd = "");
// The results-file tool beside the host, and a run of it (a wrapper such as "timeout 10 " goes
// before the program).
std::string simTool();
ChildResult runSimTool(const std::string& args, const std::string& cwd = "", const std::string& wrapper = "");

#endif
