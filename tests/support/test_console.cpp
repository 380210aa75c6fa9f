// Console questions and input, run in a child with a given standard input.
#include <gtest/gtest.h>

#include <string>

#include "support/console.h"
#include "testutil.h"

TEST(Console, YesNoQuestionRepeatsUntilAValidAnswer)
{
    const std::string ask = "Quit the simulation now? (y/n)  ";
    const std::string again = " Valid responses are:  y or Y for yes, n or N for no.\n";
    struct Case {
        const char* input;
        const char* result;
        int asked;
    };
    const Case cases[] = {
        {"y\n", "1", 1},
        {"Yes please\n", "1", 1},
        {"n\n", "0", 1},
        {"No", "0", 1},  // last line without a newline
        {"maybe\nY\n", "1", 2},
        {"\n  y\nN\n", "0", 3},  // an empty line and a leading blank are not answers
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        ChildResult r = runChild(
            [] {
                TestState ts;
                printf("%d", noyes_console(ts.fms, "Quit the simulation now"));
            },
            c.input);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, c.result);
        std::string expected;
        for (int i = 0; i < c.asked; i++) expected += ask + (i + 1 < c.asked ? again : "");
        EXPECT_EQ(r.err, expected);
    }
}

TEST(Console, EachAnswerConsumesOneLine)
{
    ChildResult r = runChild(
        [] {
            TestState ts;
            printf("%c", getkey_wait(ts.fms));
            printf("%d", noyes_console(ts.fms, "Q"));
            Pause(ts.fms);
            printf("%c", getkey_wait(ts.fms));
        },
        "xyz\nnope\nanything\nq\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "x0q");
    EXPECT_EQ(r.err, "Q? (y/n)  Press any key to continue...\n");
}

TEST(Console, GetstrReadsOneLineWithoutItsNewline)
{
    ChildResult r = runChild(
        [] {
            TestState ts;
            char buf[8];
            char* end = Getstr(ts.fms, "Project", buf, sizeof buf);
            printf("[%s]%d", buf, (int)(end - buf));
            end = Getstr(ts.fms, "", buf, sizeof buf);  // empty line
            printf("[%s]%d", buf, (int)(end - buf));
            // An overlong line is cut to size - 1 characters and its rest is dropped.
            end = Getstr(ts.fms, nullptr, buf, 4);
            printf("[%s]%d", buf, (int)(end - buf));
            end = Getstr(ts.fms, nullptr, buf, sizeof buf);
            printf("[%s]%d", buf, (int)(end - buf));
        },
        "office\n\nabcdefgh\nlast");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "[office]6[]0[abc]3[last]4");
    EXPECT_EQ(r.err, "Project: ");
}

TEST(Console, EndOfInputAndDialogsAreFatal)
{
    struct Case {
        const char* what;
        void (*fn)(FlowmirState*);
        const char* input;
        const char* message;
    };
    const Case cases[] = {
        {"getkey_wait", [](FlowmirState* f) { getkey_wait(f); }, "", "FATAL Error or end of file\n"},
        {"noyes_console", [](FlowmirState* f) { noyes_console(f, "Q"); }, "what\n",
         "FATAL Error or end of file\n"},
        {"Pause", [](FlowmirState* f) { Pause(f); }, "", "FATAL Error or end of file\n"},
        {"Getstr",
         [](FlowmirState* f) {
             char buf[16];
             Getstr(f, "", buf, sizeof buf);
         },
         "", "FATAL Failed to process input\n"},
        {"noyes_gui", [](FlowmirState* f) { noyes_gui(f, "Terminate program"); }, "y\n",
         "FATAL No dialog calls allowed\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChildResult r = runChild(
            [&] {
                TestState ts;
                c.fn(ts.fms);
            },
            c.input);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(Console, NoKeyIsWaitingWithoutATerminal)
{
    ChildResult r = runChild([] { printf("%d", getkey_nowait()); }, "k\n");
    EXPECT_EQ(r.out, "0");
}
