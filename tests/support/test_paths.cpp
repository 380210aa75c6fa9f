// Path split and merge, separators, and the whole-file copy.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/paths.h"
#include "testutil.h"

namespace {

// Messages that reach the host's error function instead of the standard error stream.
std::vector<std::string> shown;

int captureError(FlowmirState*, const char* word, const char* msg, int*)
{
    shown.push_back(std::string(word) + ":" + msg);
    return 0;
}

struct CapturingState : TestState {
    CapturingState()
    {
        shown.clear();
        fms->errorFcn = captureError;
    }
};

}  // namespace

TEST(Paths, SplitIntoDriveDirectoryNameAndExtension)
{
    struct Case {
        const char* path;
        const char *drive, *dir, *name, *ext;
        char dirChar;  // after the split, starting from '\\'
    };
    const Case cases[] = {
        {"C:\\run\\case.one\\office.prj", "C:", "\\run\\case.one\\", "office", ".prj", '\\'},
        {"data/office", "", "data/", "office", "", '/'},
        {"office.old.prj", "", "", "office.old", ".prj", '\\'},
        {"/tmp/a/b.sim", "", "/tmp/a/", "b", ".sim", '/'},
        {"C:office.prj", "C:", "", "office", ".prj", '\\'},
        {"dir/", "", "dir/", "", "", '/'},
        {".hidden", "", "", "", ".hidden", '\\'},
        // The first separator decides; the other one is an ordinary character.
        {"a/b\\c.prj", "", "a/", "b\\c", ".prj", '/'},
        {"", "", "", "", "", '\\'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CapturingState ts;
        ts->dirChar = '\\';
        char drive[3] = "xx", dir[256] = "x", name[256] = "x", ext[256] = "x";
        pathsplit(ts.fms, c.path, drive, sizeof drive, dir, sizeof dir, name, sizeof name, ext, sizeof ext);
        EXPECT_STREQ(drive, c.drive);
        EXPECT_STREQ(dir, c.dir);
        EXPECT_STREQ(name, c.name);
        EXPECT_STREQ(ext, c.ext);
        EXPECT_EQ(ts->dirChar, c.dirChar);
        EXPECT_TRUE(shown.empty());
    }
}

TEST(Paths, SplitReturnsPartLengthsAndAcceptsMissingBuffers)
{
    CapturingState ts;
    char name[256], ext[256];
    EXPECT_EQ(pathsplit(ts.fms, "/x/office.prj", nullptr, 0, nullptr, 0, name, sizeof name, nullptr, 0), 6);
    EXPECT_STREQ(name, "office");
    EXPECT_EQ(pathsplit(ts.fms, "/x/office.prj", nullptr, 0, nullptr, 0, nullptr, 0, ext, sizeof ext), 4);
    EXPECT_STREQ(ext, ".prj");
    EXPECT_EQ(pathsplit(ts.fms, "/x/office.prj", nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(pathsplit(ts.fms, nullptr, nullptr, 0, nullptr, 0, name, sizeof name, nullptr, 0), 0);
    EXPECT_TRUE(shown.empty());
}

TEST(Paths, SplitOverrunsAreReportedAndCut)
{
    CapturingState ts;
    char drive[2] = "x", dir[5], name[4], ext[3];
    pathsplit(ts.fms, "C:/abcd/efgh.prj", drive, sizeof drive, dir, sizeof dir, name, sizeof name, ext,
              sizeof ext);
    EXPECT_STREQ(drive, "");
    EXPECT_STREQ(dir, "/abc");
    EXPECT_STREQ(name, "efg");
    EXPECT_STREQ(ext, ".p");
    const std::vector<std::string> expected = {
        "ERROR:pathsplit: file drive overrun\n", "ERROR:pathsplit: file path overrun\n",
        "ERROR:pathsplit: file name overrun\n", "ERROR:pathsplit: file extension overrun\n"};
    EXPECT_EQ(shown, expected);

    // Parts of exactly length - 1 characters fit.
    shown.clear();
    char d3[3], dir6[6], n5[5], e5[5];
    pathsplit(ts.fms, "C:/abc/efgh.prj", d3, sizeof d3, dir6, sizeof dir6, n5, sizeof n5, e5, sizeof e5);
    EXPECT_STREQ(d3, "C:");
    EXPECT_STREQ(dir6, "/abc/");
    EXPECT_STREQ(n5, "efgh");
    EXPECT_STREQ(e5, ".prj");
    EXPECT_TRUE(shown.empty());
}

TEST(Paths, MergeJoinsPartsWithSeparatorAndPoint)
{
    struct Case {
        char dirChar;
        const char *drive, *dir, *name, *ext, *expected;
    };
    const Case cases[] = {
        {'\\', "C:", "\\run", "office", "sim", "C:\\run\\office.sim"},
        {'/', "", "/tmp/run/", "office", ".xlog", "/tmp/run/office.xlog"},
        {'/', nullptr, "data", "office", ".ach", "data/office.ach"},
        // The directory already ends with a separator of either kind.
        {'\\', nullptr, "data/", "office", ".ach", "data/office.ach"},
        // No directory stays in the current one; no extension adds no point.
        {'/', "", "", "office", "", "office"},
        {'/', nullptr, nullptr, "office", nullptr, "office"},
        {'/', nullptr, "d", nullptr, "rst", "d/.rst"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        CapturingState ts;
        ts->dirChar = c.dirChar;
        char out[260] = "garbage";
        pathmerge(ts.fms, out, sizeof out, c.drive, c.dir, c.name, c.ext);
        EXPECT_STREQ(out, c.expected);
        EXPECT_TRUE(shown.empty());
    }
}

TEST(Paths, SplitThenMergeGivesThePathBack)
{
    const char* paths[] = {"data/office", "/tmp/x/office.prj", "office.prj", "C:\\run\\office.prj"};
    for (const char* p : paths) {
        SCOPED_TRACE(p);
        CapturingState ts;
        char drive[3], dir[256], name[256], ext[256], out[260];
        pathsplit(ts.fms, p, drive, sizeof drive, dir, sizeof dir, name, sizeof name, ext, sizeof ext);
        pathmerge(ts.fms, out, sizeof out, drive, dir, name, ext);
        EXPECT_STREQ(out, p);
    }
}

TEST(Paths, MergeOverrunIsReportedAndCut)
{
    CapturingState ts;
    ts->dirChar = '/';
    std::string longName(300, 'n');
    char out[260];
    pathmerge(ts.fms, out, sizeof out, "", "/d", longName.c_str(), ".sim");
    EXPECT_EQ(strlen(out), 259u);
    EXPECT_EQ(std::string(out), "/d/" + longName.substr(0, 256));
    EXPECT_EQ(shown, std::vector<std::string>{"ERROR:PathMerge: fullpath overrun\n"});

    // A result of exactly outLength - 1 characters fits; one more does not.
    shown.clear();
    char small[8];
    pathmerge(ts.fms, small, sizeof small, nullptr, "ab", "cd", "ef");
    EXPECT_STREQ(small, "ab/cd.e");
    EXPECT_EQ(shown.size(), 1u);
    shown.clear();
    pathmerge(ts.fms, small, sizeof small, nullptr, "a", "cd", "ef");
    EXPECT_STREQ(small, "a/cd.ef");
    EXPECT_TRUE(shown.empty());
}

TEST(Paths, ConvertDirCharsFollowsTheSeparator)
{
    TestState ts;
    char text[] = "a\\b/c\\d";
    setDirChar(ts.fms, '/');
    EXPECT_EQ(getDirChar(ts.fms), '/');
    convertDirChars(ts.fms, text);
    EXPECT_STREQ(text, "a/b/c/d");
    setDirChar(ts.fms, '\\');
    convertDirChars(ts.fms, text);
    EXPECT_STREQ(text, "a\\b\\c\\d");
}

TEST(Paths, FileCopyCopiesTheText)
{
    std::string dir = scratchDir();
    std::string from = dir + "/a.txt", to = dir + "/b.txt";
    const std::string text = "line one\nline two\n\tlast line without newline";
    writeFile(from, text);
    writeFile(to, "old contents that are longer than the new ones, to be replaced entirely......");
    ChildResult r = runChild([&] { printf("%d", fileCopy(stdout, from.c_str(), to.c_str())); });
    EXPECT_EQ(r.out, "fileCopy\n  from " + from + "\n  to " + to + "\n0");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(to), text);
}

TEST(Paths, FileCopyNeverCopiesAFileOntoItself)
{
    std::string dir = scratchDir();
    std::string file = dir + "/same.txt";
    writeFile(file, "precious\n");
    ASSERT_EQ(link(file.c_str(), (dir + "/hard.txt").c_str()), 0);
    ASSERT_EQ(symlink(file.c_str(), (dir + "/soft.txt").c_str()), 0);
    const std::string targets[] = {file, dir + "/./same.txt", dir + "/hard.txt", dir + "/soft.txt"};
    for (const std::string& to : targets) {
        SCOPED_TRACE(to);
        ChildResult r = runChild([&] { printf("%d", fileCopy(nullptr, file.c_str(), to.c_str())); });
        EXPECT_EQ(r.out, "0");
        EXPECT_EQ(r.err, "fileCopy\n  from " + file + "\n  to " + to + "\nCannot copy file " + file +
                             " to itself\n");
        EXPECT_EQ(readFile(file), "precious\n");
    }
}

TEST(Paths, FileCopyReportsFilesThatCannotBeOpened)
{
    std::string dir = scratchDir();
    std::string present = dir + "/present.txt";
    writeFile(present, "x");
    struct Case {
        std::string from, to, failed;
    };
    const Case cases[] = {
        {dir + "/missing.txt", dir + "/out.txt", dir + "/missing.txt"},
        {present, dir + "/no/such/dir/out.txt", dir + "/no/such/dir/out.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from + " -> " + c.to);
        ChildResult r = runChild([&] { printf("%d", fileCopy(stdout, c.from.c_str(), c.to.c_str())); });
        EXPECT_EQ(r.out, "fileCopy\n  from " + c.from + "\n  to " + c.to + "\n1");
        EXPECT_EQ(r.err, "Failed to open file " + c.failed + "\n");
    }
    EXPECT_FALSE(fileExists(dir + "/out.txt"));
}

TEST(Paths, OpenFileUsesStreamModes)
{
    std::string path = scratchDir() + "/f.bin";
    FILE* f = openFile(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("ab", f);
    fclose(f);
    f = openFile(path.c_str(), "rt");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fgetc(f), 'a');
    fclose(f);
    EXPECT_EQ(openFile((path + ".none").c_str(), "r"), nullptr);
}
