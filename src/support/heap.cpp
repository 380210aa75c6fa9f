// Tracked memory: every request is labelled, zero-filled and added to the run's byte
// balance; index-range arrays, matrices and block lists are built on top of it.
//
// Index-range arrays are returned as a pointer p with p[lo]..p[hi] valid. So that p itself
// (and every row pointer derived from it) stays inside the allocation, the system block
// always spans index 0 as well as lo..hi (and any row offsets): for lo > 0 it has lo
// leading elements of padding. The balance counts only the lo..hi elements.
#include "support/heap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/error.h"
#include "support/log.h"

static_assert(sizeof(MemBlock) == BLOCK_HEADER, "block header must be 24 bytes");

// Size of count elements, or SIZE_MAX when it cannot be represented.
static size_t bytesOf(int64_t count, size_t elementSize)
{
    if (count <= 0 || elementSize == 0) return 0;
    if ((uint64_t)count > SIZE_MAX / elementSize) return SIZE_MAX;
    return (size_t)count * elementSize;
}

// Obtains realSize zero-filled bytes and adds countedSize to the balance.
static void* allocate(FlowmirState* fms, size_t realSize, size_t countedSize, const char* name)
{
    if (countedSize == 0) {
        error(fms, FATAL, __FILE__, __LINE__, name, " too small to allocate", "");
        return nullptr;
    }
    void* p = realSize == SIZE_MAX ? nullptr : calloc(1, realSize);
    if (!p) {
        MemNet(fms, "alc_e error");
        LOG(fms, "Attempting to allocate %6zu bytes\n", countedSize);
        error(fms, FATAL, __FILE__, __LINE__, "Failed allocation for ", name, "");
        return nullptr;
    }
    fms->bytesAllocated += countedSize;
    return p;
}

void* alc_e(FlowmirState* fms, size_t size, const char* name)
{
    return allocate(fms, size, size, name);
}

void* fre_e(FlowmirState* fms, void* memory, size_t size, const char* name)
{
    (void)name;
    if (!memory) return nullptr;  // nothing was allocated, so nothing is counted
    free(memory);
    fms->bytesFreed += size;
    return nullptr;
}

// --- index ranges ---------------------------------------------------------------

// The system block behind a range [lo..hi] whose pointers may also address indexes
// 0..extra (row starts): it spans [first..last] with first <= 0.
struct Span {
    int64_t first, last;
};

static Span spanOf(int64_t lo, int64_t hi, int64_t extra)
{
    Span s;
    s.first = lo < 0 ? lo : 0;
    s.last = hi > extra ? hi : extra;
    if (s.last < 0) s.last = 0;
    return s;
}

// Allocates the range [lo..hi] (already checked) and returns the pointer addressed from lo.
static char* allocRange(FlowmirState* fms, int64_t lo, int64_t hi, int64_t extra, size_t elementSize,
                        const char* name)
{
    Span s = spanOf(lo, hi, extra);
    size_t counted = bytesOf(hi - lo + 1, elementSize);
    size_t real = bytesOf(s.last - s.first + 1, elementSize);
    char* start = static_cast<char*>(allocate(fms, real, counted, name));
    return start + (size_t)(-s.first) * elementSize;
}

// Releases a range allocated by allocRange with the same lo, hi and extra.
static void freeRange(FlowmirState* fms, void* array, int64_t lo, int64_t hi, int64_t extra,
                      size_t elementSize)
{
    if (!array) return;
    Span s = spanOf(lo, hi, extra);
    char* start = static_cast<char*>(array) - (size_t)(-s.first) * elementSize;
    fre_e(fms, start, bytesOf(hi - lo + 1, elementSize), "");
}

static void checkRange(FlowmirState* fms, int64_t lo, int64_t hi, const char* name)
{
    if (hi < lo)
        errorf(fms, FATAL, __FILE__, __LINE__, "Max index(%d) < min index(%d): %s", (int)hi, (int)lo,
               name ? name : "");
}

void* alc_v(FlowmirState* fms, int lo, int hi, size_t elementSize, const char* name)
{
    checkRange(fms, lo, hi, name);
    return allocRange(fms, lo, hi, 0, elementSize, name);
}

void* fre_v(FlowmirState* fms, void* array, int lo, int hi, size_t elementSize)
{
    freeRange(fms, array, lo, hi, 0, elementSize);
    return nullptr;
}

// An element range [k0 .. k0 + count - 1] addressed from k0, whose sub-arrays start
// every stride elements; the last start lies at (count/stride - 1) * stride.
static int64_t lastStart(int64_t count, int64_t stride)
{
    return count - stride;
}

// Number of elements a*b of a multi-index shape; index ranges are int, so a shape that
// does not fit is a failed allocation.
static int64_t shapeCount(FlowmirState* fms, int64_t a, int64_t b, const char* name)
{
    if (a > INT32_MAX / b) {
        MemNet(fms, "alc_e error");
        error(fms, FATAL, __FILE__, __LINE__, "Failed allocation for ", name, "");
    }
    return a * b;
}

// --- contiguous matrix ------------------------------------------------------------

void* alc_mc(FlowmirState* fms, int r0, int r1, int c0, int c1, size_t elementSize, const char* name)
{
    checkRange(fms, r0, r1, name);
    checkRange(fms, c0, c1, name);
    int64_t nr = (int64_t)r1 - r0 + 1, nc = (int64_t)c1 - c0 + 1;
    char** rows = static_cast<char**>(alc_v(fms, r0, r1, sizeof(char*), name));
    int64_t n = shapeCount(fms, nr, nc, name);
    char* base = allocRange(fms, c0, c0 + n - 1, lastStart(n, nc), elementSize, name);
    for (int64_t i = 0; i < nr; i++) rows[r0 + i] = base + (size_t)(i * nc) * elementSize;
    return rows;
}

void* fre_mc(FlowmirState* fms, void* matrix, int r0, int r1, int c0, int c1, size_t elementSize)
{
    if (!matrix) return nullptr;
    char** rows = static_cast<char**>(matrix);
    int64_t nr = (int64_t)r1 - r0 + 1, nc = (int64_t)c1 - c0 + 1;
    freeRange(fms, rows[r0], c0, c0 + nr * nc - 1, lastStart(nr * nc, nc), elementSize);
    fre_v(fms, rows, r0, r1, sizeof(char*));
    return nullptr;
}

// --- row-wise matrix --------------------------------------------------------------

void* alc_mr(FlowmirState* fms, int r0, int r1, int c0, int c1, size_t elementSize, const char* name)
{
    checkRange(fms, r0, r1, name);
    checkRange(fms, c0, c1, name);
    void** rows = static_cast<void**>(alc_v(fms, r0, r1, sizeof(void*), name));
    for (int64_t i = r0; i <= r1; i++) rows[i] = alc_v(fms, c0, c1, elementSize, name);
    return rows;
}

void* fre_mr(FlowmirState* fms, void* matrix, int r0, int r1, int c0, int c1, size_t elementSize)
{
    if (!matrix) return nullptr;
    void** rows = static_cast<void**>(matrix);
    for (int64_t i = r0; i <= r1; i++) fre_v(fms, rows[i], c0, c1, elementSize);
    fre_v(fms, rows, r0, r1, sizeof(void*));
    return nullptr;
}

// --- ragged matrix ----------------------------------------------------------------

// Element count of a ragged matrix: at least one element is always allocated.
static int64_t raggedCount(int64_t total)
{
    return total > 1 ? total : 1;
}

void* alc_mvc(FlowmirState* fms, int r0, int r1, const int* counts, size_t elementSize, const char* name,
              int* total)
{
    checkRange(fms, r0, r1, name);
    int64_t sum = 0;
    for (int64_t i = r0; i <= r1; i++) {
        // A negative count would make rows overlap or run before the block.
        if (counts[i] < 0) checkRange(fms, r0, (int64_t)r0 + counts[i] - 1, name);
        sum += counts[i];
    }
    shapeCount(fms, raggedCount(sum), 1, name);
    if (total) *total = (int)sum;
    char** rows = static_cast<char**>(alc_v(fms, r0, r1, sizeof(char*), name));
    char* base = allocRange(fms, r0, r0 + raggedCount(sum) - 1, sum, elementSize, name);
    int64_t offset = 0;
    for (int64_t i = r0; i <= r1; i++) {
        rows[i] = base + (size_t)offset * elementSize;
        offset += counts[i];
    }
    return rows;
}

void* fre_mvc(FlowmirState* fms, void* matrix, int r0, int r1, const int* counts, size_t elementSize)
{
    if (!matrix) return nullptr;
    char** rows = static_cast<char**>(matrix);
    int64_t sum = 0;
    for (int64_t i = r0; i <= r1; i++) sum += counts[i];
    freeRange(fms, rows[r0], r0, r0 + raggedCount(sum) - 1, sum, elementSize);
    fre_v(fms, rows, r0, r1, sizeof(char*));
    return nullptr;
}

// --- three-index array ------------------------------------------------------------

void* alc_ac(FlowmirState* fms, int i0, int i1, int j0, int j1, int k0, int k1, size_t elementSize,
             const char* name)
{
    checkRange(fms, i0, i1, name);
    checkRange(fms, j0, j1, name);
    checkRange(fms, k0, k1, name);
    int64_t ni = (int64_t)i1 - i0 + 1, nj = (int64_t)j1 - j0 + 1, nk = (int64_t)k1 - k0 + 1;
    char** first = static_cast<char**>(alc_v(fms, i0, i1, sizeof(char*), name));
    int64_t nij = shapeCount(fms, ni, nj, name);
    int64_t n = shapeCount(fms, nij, nk, name);
    char** second = reinterpret_cast<char**>(
        allocRange(fms, j0, j0 + nij - 1, lastStart(nij, nj), sizeof(char*), name));
    char* elements = allocRange(fms, k0, k0 + n - 1, lastStart(n, nk), elementSize, name);
    // Second-level reference t (from 0) sits at index j0 + t and starts element block t.
    for (int64_t t = 0; t < nij; t++) second[j0 + t] = elements + (size_t)(t * nk) * elementSize;
    for (int64_t i = 0; i < ni; i++) first[i0 + i] = reinterpret_cast<char*>(second + i * nj);
    return first;
}

void* fre_ac(FlowmirState* fms, void* array, int i0, int i1, int j0, int j1, int k0, int k1,
             size_t elementSize)
{
    if (!array) return nullptr;
    char** first = static_cast<char**>(array);
    int64_t ni = (int64_t)i1 - i0 + 1, nj = (int64_t)j1 - j0 + 1, nk = (int64_t)k1 - k0 + 1;
    char** second = reinterpret_cast<char**>(first[i0]);
    freeRange(fms, second[j0], k0, k0 + ni * nj * nk - 1, lastStart(ni * nj * nk, nk),
              elementSize);
    freeRange(fms, second, j0, j0 + ni * nj - 1, lastStart(ni * nj, nj), sizeof(char*));
    fre_v(fms, first, i0, i1, sizeof(char*));
    return nullptr;
}

// --- block lists ------------------------------------------------------------------

MemBlock* alc_eci(FlowmirState* fms, int blockSize, const char* name)
{
    // A block must at least hold its header.
    if (blockSize <= BLOCK_HEADER) {
        error(fms, FATAL, __FILE__, __LINE__, name, " too small to allocate", "");
        return nullptr;
    }
    MemBlock* b = static_cast<MemBlock*>(alc_e(fms, (size_t)blockSize, name));
    b->size = blockSize;
    b->offset = BLOCK_HEADER;
    b->older = nullptr;
    b->newer = nullptr;
    return b;
}

void* alc_ec(FlowmirState* fms, MemBlock** blockList, size_t size, const char* name)
{
    if (!blockList || !*blockList) {
        error(fms, FATAL, __FILE__, __LINE__, "null block pointer", "");
        return nullptr;
    }
    MemBlock* b = *blockList;
    while (b->newer) b = b->newer;  // a stale reference must not cut the chain
    // Records keep 8-byte alignment; a record that cannot fit even a fresh block is fatal.
    size_t room = (size_t)(b->size - BLOCK_HEADER);
    if (size > room || ((size + 7) & ~(size_t)7) > room) {
        error(fms, FATAL, __FILE__, __LINE__, "Requested size larger than block for ", name, "");
        return nullptr;
    }
    int32_t padded = (int32_t)((size + 7) & ~(size_t)7);
    if (padded > b->size - b->offset) {
        MemBlock* fresh = alc_eci(fms, b->size, name);
        fresh->older = b;
        b->newer = fresh;
        b = fresh;
    }
    *blockList = b;
    char* record = reinterpret_cast<char*>(b) + b->offset;
    b->offset += padded;
    return record;
}

void* fre_ec(FlowmirState* fms, MemBlock* blockList, const char* name)
{
    (void)name;
    if (!blockList) {
        error(fms, FATAL, __FILE__, __LINE__, "null block pointer", "");
        return nullptr;
    }
    MemBlock* b = blockList;
    while (b->newer) b = b->newer;
    while (b) {
        MemBlock* older = b->older;
        fre_e(fms, b, (size_t)b->size, "");
        b = older;
    }
    return nullptr;
}

// --- balance ----------------------------------------------------------------------

int MemNet(FlowmirState* fms, const char* label)
{
    if (fms->bytesAllocated < fms->bytesFreed)
        error(fms, ERROR, __FILE__, __LINE__, "Freed more than allocated", "");
    int allocated = (int)fms->bytesAllocated;
    int freed = (int)fms->bytesFreed;
    int net = (int)(fms->bytesAllocated - fms->bytesFreed);
    LOG(fms, "%s: %d bytes allocated, %d freed, %d net\n", label, allocated, freed, net);
    return net;
}

void MemList(FlowmirState* fms)
{
    LOG(fms, "MemList: not tracking allocations.  Recompile heap code.\n");
}
