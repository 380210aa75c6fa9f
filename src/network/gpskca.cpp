// Gibbs-Poole-Stockmeyer renumbering with the Gibbs-King numbering for profile.
//
// Each connected component is numbered on its own, in three steps:
//  1. a pseudo-peripheral pair u, v: rooted level structures from a node of least degree,
//     moving to a node of the last level (one per degree is tried) whenever that gives a
//     deeper structure; v is the last-level node whose structure is narrowest;
//  2. one level structure combined from L(u) and L(v): nodes on the same level in both keep
//     it; each remaining connected piece goes, as a whole, the way that keeps the widest
//     level narrowest (largest pieces first);
//  3. numbering level by level from the end of smaller degree: for profile by King's rule
//     (next the active node whose numbering activates the fewest new nodes), for bandwidth
//     by neighbours of numbered nodes in order of increasing degree.
// Every step is linear in the structure apart from a heap and small sorts, so ten thousand
// equations take milliseconds.
#include "network/gpskca.h"

#include <algorithm>
#include <cstdint>

#include "support/error.h"
#include "support/heap.h"

// Arrays of one renumbering, all 1-based over the n nodes unless noted.
struct GpsWork {
    int n;
    const int* rstart;
    const int* connec;
    int* perm;
    int next;  // last new number given

    int* degree;  // "degree": neighbours other than the node itself
    int* work;    // "work": 6n + 3, carved into the six arrays below
    int* levU;    // level in the structure rooted at u, 0 outside it
    int* levV;    // level in the structure rooted at v
    int* levT;    // level in a trial structure; also marks
    int* ordU;    // the component in breadth-first order from u
    int* ordT;    // breadth-first order of a trial; later the nodes grouped by level
    int* first;   // [1..n+3] start of each level in ordT

    int* level;      // combined level of each node
    int* width;      // nodes placed per combined level
    int* countU;     // nodes of one piece per level of L(u)
    int* countV;     // nodes of one piece per combined level of L(v)
    int* pieceFirst; // [1..n+1] start of each piece in ordT
    int* pieceOrder; // pieces, largest first

    int* heap;     // active nodes of the current level, best first
    int* heapPos;  // position of a node in heap, 0 when not in it
    int* prio;     // inactive unnumbered neighbours of a heap node
    int* stamp;    // when a node became active, 0 while inactive
    int* order;    // order[new] = old
    int* buffer;   // neighbours being sorted
};

static int* allocInts(FlowmirState* fms, int count, const char* name)
{
    return alc_vt<int>(fms, 1, count, name);
}

static void gpsAlloc(FlowmirState* fms, GpsWork* g)
{
    int n = g->n;
    g->degree = allocInts(fms, n, "degree");
    g->work = allocInts(fms, 6 * n + 3, "work");
    g->levU = g->work;
    g->levV = g->work + n;
    g->levT = g->work + 2 * n;
    g->ordU = g->work + 3 * n;
    g->ordT = g->work + 4 * n;
    g->first = g->work + 5 * n;
    g->level = allocInts(fms, n, "level");
    g->width = allocInts(fms, n, "width");
    g->countU = allocInts(fms, n, "countU");
    g->countV = allocInts(fms, n, "countV");
    g->pieceFirst = allocInts(fms, n + 1, "pieceFirst");
    g->pieceOrder = allocInts(fms, n, "pieceOrder");
    g->heap = allocInts(fms, n, "heap");
    g->heapPos = allocInts(fms, n, "heapPos");
    g->prio = allocInts(fms, n, "prio");
    g->stamp = allocInts(fms, n, "stamp");
    g->order = allocInts(fms, n, "order");
    g->buffer = allocInts(fms, n, "buffer");
}

static void gpsFree(FlowmirState* fms, GpsWork* g)
{
    int n = g->n;
    fre_vt(fms, g->degree, 1, n);
    fre_vt(fms, g->work, 1, 6 * n + 3);
    fre_vt(fms, g->level, 1, n);
    fre_vt(fms, g->width, 1, n);
    fre_vt(fms, g->countU, 1, n);
    fre_vt(fms, g->countV, 1, n);
    fre_vt(fms, g->pieceFirst, 1, n + 1);
    fre_vt(fms, g->pieceOrder, 1, n);
    fre_vt(fms, g->heap, 1, n);
    fre_vt(fms, g->heapPos, 1, n);
    fre_vt(fms, g->prio, 1, n);
    fre_vt(fms, g->stamp, 1, n);
    fre_vt(fms, g->order, 1, n);
    fre_vt(fms, g->buffer, 1, n);
}

// --- input check ------------------------------------------------------------------

// Reports every fault of the structure; true when there is none. Uses levT and levV as
// scratch and leaves them zero.
static bool checkStructure(FlowmirState* fms, GpsWork* g)
{
    int n = g->n;
    const int* rs = g->rstart;
    const int* cn = g->connec;
    int* mark = g->levT;
    int* count = g->levV;
    bool ok = true;
    int total = 0;
    // Columns in range, each once, the diagonal present.
    for (int i = 1; i <= n; i++) {
        bool diagonal = false;
        for (int k = rs[i]; k < rs[i + 1]; k++) {
            int c = cn[k];
            if (c < 1 || c > n) {
                errorf(fms, WARNING, __FILE__, __LINE__, "Invalid column entry, row %d, col %d", i, c);
                ok = false;
            } else if (mark[c] == i) {
                errorf(fms, WARNING, __FILE__, __LINE__, "Duplicate column entry, row %d, col %d", i, c);
                ok = false;
            } else {
                mark[c] = i;
                count[c]++;
                total++;
                if (c == i) diagonal = true;
            }
        }
        if (!diagonal) {
            errorf(fms, WARNING, __FILE__, __LINE__, "No entry for diagonal of row %d", i);
            ok = false;
        }
    }
    // Symmetry: the transpose lists, for each column c, the rows holding it; row c must
    // hold each of them.
    int* tstart = allocInts(fms, n + 1, "tstart");
    int* tconnec = allocInts(fms, std::max(total, 1), "tconnec");
    int pos = 1;
    for (int c = 1; c <= n; c++) {
        tstart[c] = pos;
        pos += count[c];
        count[c] = tstart[c];  // now the fill cursor of column c
    }
    tstart[n + 1] = pos;
    for (int i = 1; i <= n; i++)
        for (int k = rs[i]; k < rs[i + 1]; k++) {
            int c = cn[k];
            if (c < 1 || c > n || mark[c] == n + i) continue;
            mark[c] = n + i;
            tconnec[count[c]++] = i;
        }
    for (int c = 1; c <= n; c++) {
        for (int k = rs[c]; k < rs[c + 1]; k++)
            if (cn[k] >= 1 && cn[k] <= n) mark[cn[k]] = 2 * n + c;
        for (int t = tstart[c]; t < tstart[c + 1]; t++)
            if (mark[tconnec[t]] != 2 * n + c) {
                errorf(fms, WARNING, __FILE__, __LINE__, "Missing column entry, row %d, col %d", c,
                       tconnec[t]);
                ok = false;
            }
    }
    fre_vt(fms, tstart, 1, n + 1);
    fre_vt(fms, tconnec, 1, std::max(total, 1));
    for (int i = 1; i <= n; i++) mark[i] = count[i] = 0;
    return ok;
}

// --- level structures -------------------------------------------------------------

// Rooted level structure: lev (zero on the component beforehand) receives the levels, ord
// the nodes in breadth-first order. Returns the depth; *size and *width the node count
// and the largest level.
static int rootedLevels(GpsWork* g, int root, int* lev, int* ord, int* size, int* width)
{
    const int* rs = g->rstart;
    const int* cn = g->connec;
    int levelFirst = 1, count = 1, depth = 0, widest = 0;
    ord[1] = root;
    lev[root] = 1;
    while (levelFirst <= count) {
        int levelLast = count;
        depth++;
        widest = std::max(widest, levelLast - levelFirst + 1);
        for (int p = levelFirst; p <= levelLast; p++) {
            int x = ord[p];
            for (int k = rs[x]; k < rs[x + 1]; k++) {
                int y = cn[k];
                if (lev[y] == 0) {
                    lev[y] = depth + 1;
                    ord[++count] = y;
                }
            }
        }
        levelFirst = levelLast + 1;
    }
    *size = count;
    *width = widest;
    return depth;
}

static void clearOn(int* a, const int* nodes, int size)
{
    for (int p = 1; p <= size; p++) a[nodes[p]] = 0;
}

// The end points u and v of a pseudo-diameter of the component containing start, with
// L(u) in levU/ordU and L(v) in levV. Returns the common depth.
static int peripheralPair(GpsWork* g, int start, int* size, int* u, int* v, int* widthU, int* widthV)
{
    const int* degree = g->degree;
    int width, depth;
    rootedLevels(g, start, g->levU, g->ordU, size, &width);
    int best = start;
    for (int p = 2; p <= *size; p++) {
        int x = g->ordU[p];
        if (degree[x] < degree[best] || (degree[x] == degree[best] && x < best)) best = x;
    }
    clearOn(g->levU, g->ordU, *size);
    *u = best;
    depth = rootedLevels(g, *u, g->levU, g->ordU, size, widthU);
    for (;;) {
        // The last level is the tail of the breadth-first order; try one node per degree.
        int last = *size;
        while (last > 1 && g->levU[g->ordU[last - 1]] == depth) last--;
        std::sort(g->ordU + last, g->ordU + *size + 1,
                  [degree](int a, int b) { return degree[a] != degree[b] ? degree[a] < degree[b] : a < b; });
        bool deeper = false;
        *widthV = -1;
        for (int p = last; p <= *size; p++) {
            int w = g->ordU[p];
            if (p > last && degree[w] == degree[g->ordU[p - 1]]) continue;
            int trialSize, trialWidth;
            clearOn(g->levT, g->ordU, *size);
            int trialDepth = rootedLevels(g, w, g->levT, g->ordT, &trialSize, &trialWidth);
            if (trialDepth > depth) {
                std::swap(g->levU, g->levT);
                std::swap(g->ordU, g->ordT);
                *u = w;
                depth = trialDepth;
                *widthU = trialWidth;
                deeper = true;
                break;
            }
            if (*widthV < 0 || trialWidth < *widthV) {
                std::swap(g->levV, g->levT);
                *v = w;
                *widthV = trialWidth;
            }
        }
        if (!deeper) return depth;
        clearOn(g->levV, g->ordU, *size);
    }
}

// --- combined level structure -----------------------------------------------------

// Level of x when its piece follows L(v), counted from u's end.
static int levelFromV(const GpsWork* g, int x, int depth)
{
    return depth + 1 - g->levV[x];
}

// Sets level[] for the component ordU[1..size] from L(u) and L(v) of the given depth.
static void combineLevels(GpsWork* g, int size, int depth, int widthU, int widthV)
{
    const int* rs = g->rstart;
    const int* cn = g->connec;
    int* level = g->level;
    int* width = g->width;
    int* seen = g->levT;
    for (int l = 1; l <= depth; l++) width[l] = 0;
    // Nodes on the same level in both structures stay there.
    for (int p = 1; p <= size; p++) {
        int x = g->ordU[p];
        int lu = g->levU[x], lv = levelFromV(g, x, depth);
        level[x] = lu == lv ? lu : 0;
        if (level[x]) width[level[x]]++;
        seen[x] = 0;
    }
    // The rest falls into connected pieces, gathered one after the other in ordT.
    int pieces = 0, count = 0;
    for (int p = 1; p <= size; p++) {
        int x = g->ordU[p];
        if (level[x] || seen[x]) continue;
        g->pieceFirst[++pieces] = count + 1;
        g->ordT[++count] = x;
        seen[x] = 1;
        for (int q = g->pieceFirst[pieces]; q <= count; q++) {
            int y = g->ordT[q];
            for (int k = rs[y]; k < rs[y + 1]; k++) {
                int z = cn[k];
                if (level[z] || seen[z]) continue;
                seen[z] = 1;
                g->ordT[++count] = z;
            }
        }
    }
    g->pieceFirst[pieces + 1] = count + 1;
    const int* pf = g->pieceFirst;
    for (int c = 1; c <= pieces; c++) g->pieceOrder[c] = c;
    std::sort(g->pieceOrder + 1, g->pieceOrder + pieces + 1, [pf](int a, int b) {
        int sa = pf[a + 1] - pf[a], sb = pf[b + 1] - pf[b];
        return sa != sb ? sa > sb : a < b;
    });
    // Each piece goes the way whose widest touched level stays narrowest.
    for (int c = 1; c <= pieces; c++) {
        int piece = g->pieceOrder[c];
        int from = pf[piece], to = pf[piece + 1];
        for (int q = from; q < to; q++) {
            int x = g->ordT[q];
            g->countU[g->levU[x]]++;
            g->countV[levelFromV(g, x, depth)]++;
        }
        int maxU = 0, maxV = 0;
        for (int q = from; q < to; q++) {
            int x = g->ordT[q];
            int lu = g->levU[x], lv = levelFromV(g, x, depth);
            maxU = std::max(maxU, width[lu] + g->countU[lu]);
            maxV = std::max(maxV, width[lv] + g->countV[lv]);
        }
        bool byU = maxU < maxV || (maxU == maxV && widthU <= widthV);
        for (int q = from; q < to; q++) {
            int x = g->ordT[q];
            g->countU[g->levU[x]] = 0;
            g->countV[levelFromV(g, x, depth)] = 0;
            level[x] = byU ? g->levU[x] : levelFromV(g, x, depth);
            width[level[x]]++;
        }
    }
}

// Groups the component ordU[1..size] by level into ordT, least degree first within a
// level; level l occupies ordT[first[l] .. first[l+1]-1].
static void groupByLevel(GpsWork* g, int size, int depth)
{
    int* first = g->first;
    int* cursor = g->countU;
    for (int l = 1; l <= depth + 1; l++) first[l] = 0;
    for (int p = 1; p <= size; p++) first[g->level[g->ordU[p]] + 1]++;
    first[1] = 1;
    for (int l = 2; l <= depth + 1; l++) first[l] += first[l - 1];
    for (int l = 1; l <= depth; l++) cursor[l] = first[l];
    for (int p = 1; p <= size; p++) {
        int x = g->ordU[p];
        g->ordT[cursor[g->level[x]]++] = x;
    }
    for (int l = 1; l <= depth; l++) cursor[l] = 0;
    const int* degree = g->degree;
    for (int l = 1; l <= depth; l++)
        std::sort(g->ordT + first[l], g->ordT + first[l + 1],
                  [degree](int a, int b) { return degree[a] != degree[b] ? degree[a] < degree[b] : a < b; });
}

// --- numbering --------------------------------------------------------------------

static void giveNumber(GpsWork* g, int x)
{
    g->perm[x] = ++g->next;
    g->order[g->next] = x;
}

// Heap of active nodes: fewest inactive neighbours first, then the earliest activated.
static bool heapBefore(const GpsWork* g, int a, int b)
{
    return g->prio[a] != g->prio[b] ? g->prio[a] < g->prio[b] : g->stamp[a] < g->stamp[b];
}

static void heapSet(GpsWork* g, int pos, int x)
{
    g->heap[pos] = x;
    g->heapPos[x] = pos;
}

static void heapUp(GpsWork* g, int pos)
{
    int x = g->heap[pos];
    while (pos > 1 && heapBefore(g, x, g->heap[pos / 2])) {
        heapSet(g, pos, g->heap[pos / 2]);
        pos /= 2;
    }
    heapSet(g, pos, x);
}

static void heapPush(GpsWork* g, int* heapSize, int x)
{
    heapSet(g, ++*heapSize, x);
    heapUp(g, *heapSize);
}

static int heapPop(GpsWork* g, int* heapSize)
{
    int top = g->heap[1];
    g->heapPos[top] = 0;
    int x = g->heap[(*heapSize)--];
    if (*heapSize == 0) return top;
    int pos = 1;
    for (;;) {
        int child = 2 * pos;
        if (child > *heapSize) break;
        if (child < *heapSize && heapBefore(g, g->heap[child + 1], g->heap[child])) child++;
        if (!heapBefore(g, g->heap[child], x)) break;
        heapSet(g, pos, g->heap[child]);
        pos = child;
    }
    heapSet(g, pos, x);
    return top;
}

static int inactiveNeighbours(const GpsWork* g, int x)
{
    int count = 0;
    for (int k = g->rstart[x]; k < g->rstart[x + 1]; k++) {
        int y = g->connec[k];
        if (y != x && !g->perm[y] && !g->stamp[y]) count++;
    }
    return count;
}

// Numbers x and activates its inactive neighbours; those of level l join the heap.
static void numberActive(GpsWork* g, int x, int l, int* clock, int* heapSize)
{
    const int* rs = g->rstart;
    const int* cn = g->connec;
    giveNumber(g, x);
    for (int k = rs[x]; k < rs[x + 1]; k++) {
        int y = cn[k];
        if (g->perm[y] || g->stamp[y]) continue;
        g->stamp[y] = ++*clock;
        // y no longer counts against the heap nodes next to it.
        for (int m = rs[y]; m < rs[y + 1]; m++) {
            int z = cn[m];
            if (g->heapPos[z]) {
                g->prio[z]--;
                heapUp(g, g->heapPos[z]);
            }
        }
        if (g->level[y] == l) {
            g->prio[y] = inactiveNeighbours(g, y);
            heapPush(g, heapSize, y);
        }
    }
}

// King's numbering within the levels: at each step the active node of the current level
// whose numbering activates the fewest nodes; a level piece not reached yet starts at its
// node of least degree.
static void numberForProfile(GpsWork* g, int root, int size, int depth)
{
    const int* first = g->first;
    int clock = 0, heapSize = 0;
    clearOn(g->stamp, g->ordU, size);
    g->stamp[root] = ++clock;
    for (int l = 1; l <= depth; l++) {
        for (int p = first[l]; p < first[l + 1]; p++) {
            int x = g->ordT[p];
            if (g->stamp[x] && !g->perm[x]) {
                g->prio[x] = inactiveNeighbours(g, x);
                heapPush(g, &heapSize, x);
            }
        }
        int cursor = first[l];
        for (int remaining = first[l + 1] - first[l]; remaining > 0; remaining--) {
            int x;
            if (heapSize > 0) {
                x = heapPop(g, &heapSize);
            } else {
                while (g->perm[g->ordT[cursor]]) cursor++;
                x = g->ordT[cursor];
                g->stamp[x] = ++clock;
            }
            numberActive(g, x, l, &clock, &heapSize);
        }
    }
}

// Numbers the unnumbered neighbours of x on level l, least degree first.
static void numberNeighbours(GpsWork* g, int x, int l)
{
    int count = 0;
    for (int k = g->rstart[x]; k < g->rstart[x + 1]; k++) {
        int y = g->connec[k];
        if (!g->perm[y] && g->level[y] == l) g->buffer[++count] = y;
    }
    const int* degree = g->degree;
    std::sort(g->buffer + 1, g->buffer + count + 1,
              [degree](int a, int b) { return degree[a] != degree[b] ? degree[a] < degree[b] : a < b; });
    for (int p = 1; p <= count; p++) giveNumber(g, g->buffer[p]);
}

// Level by level: neighbours of numbered nodes in the level, then those in the next level.
static void numberForBandwidth(GpsWork* g, int root, int depth)
{
    const int* first = g->first;
    giveNumber(g, root);
    int levelFirst = g->next;  // first number given on the current level
    for (int l = 1; l <= depth; l++) {
        int scan = levelFirst, cursor = first[l];
        for (;;) {
            while (scan <= g->next) numberNeighbours(g, g->order[scan++], l);
            while (cursor < first[l + 1] && g->perm[g->ordT[cursor]]) cursor++;
            if (cursor == first[l + 1]) break;
            giveNumber(g, g->ordT[cursor]);
        }
        int levelLast = g->next;
        for (int num = levelFirst; num <= levelLast; num++) numberNeighbours(g, g->order[num], l + 1);
        levelFirst = levelLast + 1;
    }
}

// Numbers the connected component holding start.
static void numberComponent(GpsWork* g, int start, int profile)
{
    int size, u = start, v = start, widthU, widthV;
    int depth = peripheralPair(g, start, &size, &u, &v, &widthU, &widthV);
    combineLevels(g, size, depth, widthU, widthV);
    // Numbering starts from the end of smaller degree.
    int root = u;
    if (g->degree[v] < g->degree[u]) {
        root = v;
        for (int p = 1; p <= size; p++) {
            int x = g->ordU[p];
            g->level[x] = depth + 1 - g->level[x];
        }
    }
    groupByLevel(g, size, depth);
    if (profile)
        numberForProfile(g, root, size, depth);
    else
        numberForBandwidth(g, root, depth);
    clearOn(g->levU, g->ordU, size);
    clearOn(g->levV, g->ordU, size);
    clearOn(g->levT, g->ordU, size);
}

// --- result -----------------------------------------------------------------------

// Profile (sum of row widths) and bandwidth of the numbering perm, or of the given one
// when perm is null.
static int64_t profileOf(const GpsWork* g, const int* perm, int* bandwidth)
{
    int64_t sum = 0;
    int band = 0;
    for (int i = 1; i <= g->n; i++) {
        int row = perm ? perm[i] : i, low = row;
        for (int k = g->rstart[i]; k < g->rstart[i + 1]; k++) {
            int c = g->connec[k];
            low = std::min(low, perm ? perm[c] : c);
        }
        sum += row - low + 1;
        band = std::max(band, row - low + 1);
    }
    *bandwidth = band;
    return sum;
}

// Whether perm[1..n] is a permutation of 1..n.
static bool isPermutation(GpsWork* g)
{
    int* seen = g->levT;
    bool ok = true;
    for (int i = 1; i <= g->n && ok; i++) {
        int p = g->perm[i];
        ok = p >= 1 && p <= g->n && !seen[p];
        if (ok) seen[p] = 1;
    }
    for (int i = 1; i <= g->n; i++) seen[i] = 0;
    return ok;
}

int gpskca(FlowmirState* fms, int n, const int* rstart, const int* connec, int* perm, int profile)
{
    if (n <= 0) return 0;
    GpsWork g = {};
    g.n = n;
    g.rstart = rstart;
    g.connec = connec;
    g.perm = perm;
    gpsAlloc(fms, &g);
    bool ok = checkStructure(fms, &g);
    if (ok) {
        for (int i = 1; i <= n; i++) {
            g.degree[i] = rstart[i + 1] - rstart[i] - 1;
            perm[i] = 0;
        }
        for (int i = 1; i <= n; i++)
            if (!perm[i]) numberComponent(&g, i, profile);
        ok = g.next == n && isPermutation(&g);
    }
    if (ok) {
        // Keep the old numbering unless the new one is better.
        int oldBand, newBand;
        int64_t oldProfile = profileOf(&g, nullptr, &oldBand);
        int64_t newProfile = profileOf(&g, perm, &newBand);
        bool better = profile ? newProfile < oldProfile
                              : newBand < oldBand || (newBand == oldBand && newProfile < oldProfile);
        if (!better)
            for (int i = 1; i <= n; i++) perm[i] = i;
    } else {
        for (int i = 1; i <= n; i++) perm[i] = i;
        error(fms, NOTE, __FILE__, __LINE__, "Equations were not reordered", "");
    }
    gpsFree(fms, &g);
    return ok ? 0 : 1;
}
