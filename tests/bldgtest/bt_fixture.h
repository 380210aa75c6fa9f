// Runs of the building tests and the duct balancing through the host, and their reports.
#ifndef FLOWMIR_TESTS_BLDGTEST_BT_FIXTURE_H
#define FLOWMIR_TESTS_BLDGTEST_BT_FIXTURE_H

#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "testutil.h"

inline std::string btFixture(const char* name)
{
    return readFile(std::string(FLOWMIR_TEST_PROJECTS) + "/" + name);
}

// One run of a project written as NAME.prj in a fresh folder.
struct BtRun {
    std::string dir, name;
    ChildResult r;
    std::string file(const char* ext) const { return readFile(dir + "/" + name + ext); }
    bool has(const char* ext) const { return fileExists(dir + "/" + name + ext); }
};

inline BtRun btRun(const std::string& text, const std::string& name = "p")
{
    BtRun out;
    out.dir = scratchDir();
    out.name = name;
    writeFile(out.dir + "/" + name + ".prj", text);
    out.r = runHost("-q " + name, out.dir);
    return out;
}

inline std::vector<std::string> btLines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

inline std::vector<std::string> btFields(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, '\t');) out.push_back(f);
    return out;
}

// The lines after the one equal to header, up to an empty line or the end.
inline std::vector<std::vector<std::string>> btTable(const std::string& text, const std::string& header)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> l = btLines(text);
    size_t i = 0;
    while (i < l.size() && l[i] != header) i++;
    for (i++; i < l.size() && !l[i].empty(); i++) rows.push_back(btFields(l[i]));
    return rows;
}

inline double btNum(const std::string& s)
{
    return strtod(s.c_str(), nullptr);
}

// Holds the temporary name of a results file as a running engine would.
struct BtHeldFile {
    int fd;
    explicit BtHeldFile(const std::string& path) : fd(open(path.c_str(), O_WRONLY | O_CREAT, 0644))
    {
        if (fd >= 0) flock(fd, LOCK_EX);
    }
    ~BtHeldFile()
    {
        if (fd >= 0) close(fd);
    }
};

#endif
