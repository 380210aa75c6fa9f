// The bridge's run-until points and its fatal end.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "cosim/bridge.h"
#include "flowmir/flowmir.h"
#include "testutil.h"

// The server's seconds count from the midnight that begins the run's first day.
TEST(Bridge, RunUntilPoints)
{
    const struct {
        int s, day, time;
    } cases[] = {
        {0, 1, 0},            // the start: nothing may be stepped
        {3600, 1, 3600},
        {86400, 1, 86400},    // the end of day 1, not the start of day 2
        {90000, 2, 3600},
        {172800, 2, 86400},
        {172801, 3, 1},
    };
    for (const auto& c : cases) {
        int day = -1, time = -1;
        bridge_runUntil(c.s, &day, &time);
        EXPECT_EQ(day, c.day) << c.s;
        EXPECT_EQ(time, c.time) << c.s;
    }
}

// A send to a server that has gone is fatal once: the fatal end must not try to tell the
// server again, or it would fail and end again without end.
TEST(Bridge, FailedSendEndsOnce)
{
    ChildResult r = runChild([] {
        TestState st;
        st.openLog();
        st->quiet = 1;
        st->finishFcn = finish;
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        close(pair[1]);
        st->bridge.sock = pair[0];
        st->bridge.sockOpen = 1;
        st->bridge.state = 2;
        bridge_SendFmError(st.fms, 0);
    });
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Bridge: send() failed w/ error # 32 *len= 24 total= 0"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("send() failed"), r.err.rfind("send() failed")) << r.err;
}
