// Tracked memory: shapes, zero fill, byte balance, block lists and the fatal paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "support/heap.h"
#include "support/log.h"
#include "testutil.h"

namespace {

// Runs fn on a fresh state in a child whose log goes to the standard error stream.
ChildResult inChild(const std::function<void(FlowmirState*)>& fn)
{
    return runChild([&] {
        TestState ts;
        ts->logFcn = printToLog;  // no log file: printToLog writes to standard error
        fn(ts.fms);
    });
}

uint64_t net(FlowmirState* fms)
{
    return fms->bytesAllocated - fms->bytesFreed;
}

}  // namespace

TEST(Heap, IndexRangeArraysCoverTheirRangeZeroFilledAndBalance)
{
    struct Case {
        int lo, hi;
    };
    const Case cases[] = {{1, 10}, {0, 0}, {-5, -2}, {-3, 4}, {100, 103}, {1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "[" << c.lo << ".." << c.hi << "]");
        TestState ts;
        double* a = alc_vt<double>(ts.fms, c.lo, c.hi, "a");
        uint64_t n = (uint64_t)(c.hi - c.lo + 1);
        EXPECT_EQ(ts->bytesAllocated, n * sizeof(double));
        for (int i = c.lo; i <= c.hi; i++) EXPECT_EQ(a[i], 0.0);
        for (int i = c.lo; i <= c.hi; i++) a[i] = i;
        // The elements are one contiguous run starting at index lo.
        EXPECT_EQ(&a[c.hi] - &a[c.lo], c.hi - c.lo);
        for (int i = c.lo; i <= c.hi; i++) EXPECT_EQ(a[i], i);
        fre_vt(ts.fms, a, c.lo, c.hi);
        EXPECT_EQ(a, nullptr);
        EXPECT_EQ(ts->bytesFreed, n * sizeof(double));
    }
}

TEST(Heap, ContiguousMatrixRowsFollowEachOther)
{
    struct Case {
        int r0, r1, c0, c1;
    };
    const Case cases[] = {{1, 3, 1, 4}, {0, 2, 0, 0}, {-1, 1, -3, -1}, {2, 2, 5, 7}, {1, 4, -2, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r0 << ".." << c.r1 << " x " << c.c0 << ".." << c.c1);
        TestState ts;
        int nr = c.r1 - c.r0 + 1, nc = c.c1 - c.c0 + 1;
        int** m = static_cast<int**>(alc_mc(ts.fms, c.r0, c.r1, c.c0, c.c1, sizeof(int), "m"));
        EXPECT_EQ(ts->bytesAllocated, (uint64_t)(nr * nc) * sizeof(int) + nr * sizeof(int*));
        for (int i = c.r0; i <= c.r1; i++)
            for (int j = c.c0; j <= c.c1; j++) {
                EXPECT_EQ(m[i][j], 0);
                EXPECT_EQ(&m[i][j] - &m[c.r0][c.c0], (i - c.r0) * nc + (j - c.c0));
                m[i][j] = 100 * i + j;
            }
        for (int i = c.r0; i <= c.r1; i++)
            for (int j = c.c0; j <= c.c1; j++) EXPECT_EQ(m[i][j], 100 * i + j);
        fre_mc(ts.fms, m, c.r0, c.r1, c.c0, c.c1, sizeof(int));
        EXPECT_EQ(net(ts.fms), 0u);
    }
}

TEST(Heap, RowWiseMatrixHasSeparateRows)
{
    TestState ts;
    double** m = static_cast<double**>(alc_mr(ts.fms, 0, 2, -1, 3, sizeof(double), "mr"));
    EXPECT_EQ(ts->bytesAllocated, 3 * 5 * sizeof(double) + 3 * sizeof(double*));
    for (int i = 0; i <= 2; i++)
        for (int j = -1; j <= 3; j++) {
            EXPECT_EQ(m[i][j], 0.0);
            m[i][j] = 10 * i + j;
        }
    for (int i = 0; i <= 2; i++)
        for (int j = -1; j <= 3; j++) EXPECT_EQ(m[i][j], 10 * i + j);
    fre_mr(ts.fms, m, 0, 2, -1, 3, sizeof(double));
    EXPECT_EQ(net(ts.fms), 0u);
}

TEST(Heap, RaggedMatrixRowsAreAddressedFromTheFirstRowIndex)
{
    struct Case {
        int r0;
        std::vector<int> counts;
    };
    const Case cases[] = {{1, {3, 0, 2}}, {0, {1, 4}}, {-2, {2, 2, 0, 1}}, {1, {0, 0, 0}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "r0 " << c.r0 << ", rows " << c.counts.size());
        TestState ts;
        int r1 = c.r0 + (int)c.counts.size() - 1;
        const int* counts = c.counts.data() - c.r0;  // counts[r0..r1]
        int total = -1;
        long** m = static_cast<long**>(alc_mvc(ts.fms, c.r0, r1, counts, sizeof(long), "mvc", &total));
        int expectTotal = 0;
        for (int n : c.counts) expectTotal += n;
        EXPECT_EQ(total, expectTotal);
        // A matrix with no elements still holds one.
        uint64_t elements = (uint64_t)std::max(expectTotal, 1);
        EXPECT_EQ(ts->bytesAllocated, elements * sizeof(long) + c.counts.size() * sizeof(long*));
        int offset = 0;
        for (int i = c.r0; i <= r1; i++) {
            for (int j = c.r0; j < c.r0 + counts[i]; j++) {
                EXPECT_EQ(&m[i][j] - &m[c.r0][c.r0], offset + (j - c.r0));
                EXPECT_EQ(m[i][j], 0);
                m[i][j] = 1000 * i + j;
            }
            offset += counts[i];
        }
        for (int i = c.r0; i <= r1; i++)
            for (int j = c.r0; j < c.r0 + counts[i]; j++) EXPECT_EQ(m[i][j], 1000 * i + j);
        if (expectTotal == 0) m[c.r0][c.r0] = 7;  // the one element is real memory
        fre_mvc(ts.fms, m, c.r0, r1, counts, sizeof(long));
        EXPECT_EQ(net(ts.fms), 0u);
    }
}

TEST(Heap, ThreeIndexArrayIsOneElementBlockInOrder)
{
    struct Case {
        int i0, i1, j0, j1, k0, k1;
    };
    const Case cases[] = {{1, 2, 1, 3, 1, 4}, {0, 1, -1, 0, -2, -1}, {3, 3, 5, 6, 0, 0}, {-1, 1, 1, 1, 2, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.i0 << ".." << c.i1 << " x " << c.j0 << ".." << c.j1 << " x "
                                        << c.k0 << ".." << c.k1);
        TestState ts;
        int ni = c.i1 - c.i0 + 1, nj = c.j1 - c.j0 + 1, nk = c.k1 - c.k0 + 1;
        float*** a = static_cast<float***>(
            alc_ac(ts.fms, c.i0, c.i1, c.j0, c.j1, c.k0, c.k1, sizeof(float), "ac"));
        EXPECT_EQ(ts->bytesAllocated,
                  ni * sizeof(float**) + (uint64_t)(ni * nj) * sizeof(float*) + (uint64_t)(ni * nj * nk) * sizeof(float));
        for (int i = c.i0; i <= c.i1; i++)
            for (int j = c.j0; j <= c.j1; j++)
                for (int k = c.k0; k <= c.k1; k++) {
                    EXPECT_EQ(&a[i][j][k] - &a[c.i0][c.j0][c.k0],
                              ((i - c.i0) * nj + (j - c.j0)) * nk + (k - c.k0));
                    EXPECT_EQ(a[i][j][k], 0.0f);
                    a[i][j][k] = (float)(100 * i + 10 * j + k);
                }
        for (int i = c.i0; i <= c.i1; i++)
            for (int j = c.j0; j <= c.j1; j++)
                for (int k = c.k0; k <= c.k1; k++) EXPECT_EQ(a[i][j][k], (float)(100 * i + 10 * j + k));
        fre_ac(ts.fms, a, c.i0, c.i1, c.j0, c.j1, c.k0, c.k1, sizeof(float));
        EXPECT_EQ(net(ts.fms), 0u);
    }
}

TEST(Heap, BlockListCarvesPaddedRecordsAndChainsNewBlocks)
{
    TestState ts;
    MemBlock* list = alc_eci(ts.fms, 8000, "mb-block");
    MemBlock* first = list;
    EXPECT_EQ(first->size, 8000);
    EXPECT_EQ(first->offset, BLOCK_HEADER);
    EXPECT_EQ(first->older, nullptr);
    EXPECT_EQ(first->newer, nullptr);

    // Records are padded to multiples of 8 after the 24-byte header.
    char* r1 = static_cast<char*>(alc_ec(ts.fms, &list, 3, "rec"));
    char* r2 = static_cast<char*>(alc_ec(ts.fms, &list, 3, "rec"));
    EXPECT_EQ(r1 - reinterpret_cast<char*>(first), 24);
    EXPECT_EQ(r2 - reinterpret_cast<char*>(first), 32);
    EXPECT_EQ(first->offset, 40);

    // 7960 more bytes fill the block exactly (40 + 7960 = 8000) without a new block.
    char* fill = static_cast<char*>(alc_ec(ts.fms, &list, 7960, "fill"));
    EXPECT_EQ(list, first);
    EXPECT_EQ(fill - reinterpret_cast<char*>(first), 40);
    EXPECT_EQ(first->offset, 8000);

    // The largest record a block can hold goes into a new, linked block.
    char* big = static_cast<char*>(alc_ec(ts.fms, &list, 7976, "big"));
    ASSERT_NE(list, first);
    EXPECT_EQ(list->older, first);
    EXPECT_EQ(first->newer, list);
    EXPECT_EQ(list->newer, nullptr);
    EXPECT_EQ(list->size, 8000);
    EXPECT_EQ(big - reinterpret_cast<char*>(list), 24);
    for (int i = 0; i < 7976; i++) ASSERT_EQ(big[i], 0);
    memset(big, 1, 7976);

    // A stale reference to an older block still carves from the newest one.
    MemBlock* stale = first;
    alc_ec(ts.fms, &stale, 8, "rec");  // the newest is full: a third block
    EXPECT_EQ(stale->older, list);
    EXPECT_EQ(list->newer, stale);

    EXPECT_EQ(ts->bytesAllocated, 3u * 8000u);
    fre_ec(ts.fms, first, "mb-block");  // any block of the list releases all of it
    EXPECT_EQ(ts->bytesFreed, 3u * 8000u);
}

TEST(Heap, MemNetLogsTheBalance)
{
    TestState ts;
    ts.openLog();
    void* a = alc_e(ts.fms, 100, "a");
    void* b = alc_v(ts.fms, 1, 10, 4, "b");
    EXPECT_EQ(MemNet(ts.fms, "Arrays"), 140);
    fre_v(ts.fms, b, 1, 10, 4);
    fre_e(ts.fms, a, 100, "a");
    EXPECT_EQ(MemNet(ts.fms, "End"), 0);
    MemList(ts.fms);
    EXPECT_EQ(ts.log(),
              "Arrays: 140 bytes allocated, 0 freed, 140 net\n"
              "End: 140 bytes allocated, 140 freed, 0 net\n"
              "MemList: not tracking allocations.  Recompile heap code.\n");
    EXPECT_EQ(ts->errorCount, 0);

    // Releasing more than was allocated is an error and shows a negative net.
    ts->errorFcn = [](FlowmirState*, const char*, const char*, int*) { return 0; };
    void* c = alc_e(ts.fms, 8, "c");
    fre_e(ts.fms, c, 20, "c");
    EXPECT_EQ(MemNet(ts.fms, "Final"), -12);
    EXPECT_EQ(ts->errorCount, 1);
    std::string log = ts.log();
    EXPECT_NE(log.find(" Freed more than allocated\n"), std::string::npos);
    EXPECT_NE(log.find("Final: 148 bytes allocated, 160 freed, -12 net\n"), std::string::npos);
}

TEST(Heap, FatalRequestsEndTheRun)
{
    struct Case {
        const char* what;
        std::function<void(FlowmirState*)> fn;
        const char* message;
    };
    const Case cases[] = {
        {"alc_v hi < lo", [](FlowmirState* f) { alc_v(f, 1, 0, 8, "zones"); },
         "FATAL Max index(0) < min index(1): zones\n"},
        {"alc_e size 0", [](FlowmirState* f) { alc_e(f, 0, "nothing"); },
         "FATAL nothing too small to allocate\n"},
        {"alc_mr c1 < c0", [](FlowmirState* f) { alc_mr(f, 1, 2, 3, 2, 8, "rows"); },
         "FATAL Max index(2) < min index(3): rows\n"},
        {"alc_mvc negative count",
         [](FlowmirState* f) {
             static const int counts[] = {0, 2, -3};
             alc_mvc(f, 1, 2, counts, 8, "ragged", nullptr);
         },
         "FATAL Max index(-3) < min index(1): ragged\n"},
        {"record larger than block",
         [](FlowmirState* f) {
             MemBlock* list = alc_eci(f, 8000, "mb-block");
             alc_ec(f, &list, 7977, "huge");
         },
         "FATAL Requested size larger than block for huge\n"},
        {"fre_ec without list", [](FlowmirState* f) { fre_ec(f, nullptr, "x"); },
         "FATAL null block pointer\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ChildResult r = inChild(c.fn);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(Heap, FailedAllocationLogsTheBalanceAndTheSize)
{
    // A size that cannot be represented fails without asking the system allocator.
    ChildResult r = inChild([](FlowmirState* f) {
        alc_e(f, 24, "first");
        alc_v(f, 1, 4, SIZE_MAX / 2, "enormous");
    });
    EXPECT_EQ(r.status, 2);
    char attempt[64];
    snprintf(attempt, sizeof attempt, "Attempting to allocate %6zu bytes\n", (size_t)SIZE_MAX);
    EXPECT_NE(r.err.find(std::string("alc_e error: 24 bytes allocated, 0 freed, 24 net\n") + attempt +
                         "FATAL"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(" Failed allocation for enormous\n"), std::string::npos) << r.err;
}
