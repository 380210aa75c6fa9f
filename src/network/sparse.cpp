// Row-indexed sparse storage: building a structure, its minimal index array, entry lookup,
// products with a vector and listings.
#include "network/sparse.h"

#include <cstring>

#include "support/heap.h"

int max0(int a, int b)
{
    return a > b ? a : b;
}

int min0(int a, int b)
{
    return a < b ? a : b;
}

// --- structure under construction -------------------------------------------------

void acolset(FlowmirState* fms, ColEntry** rows, MemBlock** pool, int row, int col)
{
    ColEntry** link = &rows[row];
    while (*link && (*link)->col < col) link = &(*link)->next;
    if (*link && (*link)->col == col) return;
    ColEntry* e = alc_ect<ColEntry>(fms, pool, "acolset");
    e->col = col;
    e->next = *link;
    *link = e;
}

int* acol_struct(FlowmirState* fms, ColEntry* const* rows, int n, int* nelem, const char* name)
{
    int length = n + 1;
    for (int i = 1; i <= n; i++)
        for (const ColEntry* e = rows[i]; e; e = e->next) length++;
    int* ijaS = alc_vt<int>(fms, 1, length, name);
    int k = n + 2;
    for (int i = 1; i <= n; i++) {
        ijaS[i] = k;
        for (const ColEntry* e = rows[i]; e; e = e->next) ijaS[k++] = e->col;
    }
    ijaS[n + 1] = k;
    if (nelem) *nelem = length;
    return ijaS;
}

// --- minimal index array ----------------------------------------------------------

// Whether column c of row i is kept in the minimal index array.
static bool keptColumn(int i, int c, int sym)
{
    return sym ? c < i : c != i;
}

int ija_minset_count(const int* ijaS, int n, int sym)
{
    int count = n + 1;
    for (int i = 1; i <= n; i++)
        for (int k = ijaS[i]; k < ijaS[i + 1]; k++)
            if (keptColumn(i, ijaS[k], sym)) count++;
    return count;
}

void ija_minset(const int* ijaS, int* ija, int n, int sym)
{
    int pos = n + 2;
    for (int i = 1; i <= n; i++) {
        ija[i] = pos;
        for (int k = ijaS[i]; k < ijaS[i + 1]; k++)
            if (keptColumn(i, ijaS[k], sym)) ija[pos++] = ijaS[k];
    }
    ija[n + 1] = pos;
}

// --- lookup and products ----------------------------------------------------------

int sa_find(const int* ija, int row, int col)
{
    if (row == col) return row;
    int lo = ija[row], hi = ija[row + 1] - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        if (ija[mid] == col) return mid;
        if (ija[mid] < col)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return 0;
}

void sa_mlt_xaab(const double* sa, const int* ija, const double* b, double* x, int n)
{
    for (int i = 1; i <= n; i++) {
        double sum = sa[i] * b[i];
        for (int k = ija[i]; k < ija[i + 1]; k++) sum += sa[k] * b[ija[k]];
        x[i] = sum;
    }
}

void sa_mlt_xasb(const double* sa, const int* ija, const double* b, double* x, int n)
{
    for (int i = 1; i <= n; i++) x[i] = sa[i] * b[i];
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) {
            int j = ija[k];
            x[i] += sa[k] * b[j];
            x[j] += sa[k] * b[i];
        }
}

void sa_mlt_xatb(const double* sa, const int* ija, const double* b, double* x, int n)
{
    for (int i = 1; i <= n; i++) x[i] = sa[i] * b[i];
    for (int i = 1; i <= n; i++)
        for (int k = ija[i]; k < ija[i + 1]; k++) x[ija[k]] += sa[k] * b[i];
}

// --- listings ---------------------------------------------------------------------

enum { SHOW_MAX = 4094 };  // widest structure drawn: one line holds n + 2 characters

// Ruler of n + 2 characters; the "+" marks fall on columns 10, 20, ...
static void showRuler(FILE* log, int n, char* line)
{
    for (int p = 0; p <= n + 1; p++) line[p] = p % 10 ? '-' : '+';
    line[n + 2] = '\0';
    fprintf(log, "%s\n", line);
}

void sa_show(FILE* log, int n, const int* ijaS)
{
    if (!log || n < 0 || n > SHOW_MAX) return;
    // Column c of the drawing is character c; 0 and n + 1 are the frame.
    char cur[SHOW_MAX + 3], prev[SHOW_MAX + 3];
    memset(prev, ' ', sizeof prev);
    int nonzero = 0, fill = 0;
    showRuler(log, n, cur);
    for (int i = 1; i <= n; i++) {
        memset(cur, ' ', (size_t)n + 2);
        int first = i;
        for (int k = ijaS[i]; k < ijaS[i + 1]; k++) {
            int c = ijaS[k];
            if (c < 1 || c > n) continue;
            if (cur[c] == ' ') nonzero++;
            cur[c] = '*';
            first = min0(first, c);
        }
        // Fill of the skyline: the row's envelope left of the diagonal, the column's above it.
        for (int c = first + 1; c < i; c++)
            if (cur[c] == ' ') {
                cur[c] = '+';
                fill++;
            }
        for (int c = i + 1; c <= n; c++)
            if (cur[c] == ' ' && prev[c] != ' ') {
                cur[c] = '+';
                fill++;
            }
        cur[0] = cur[n + 1] = i % 10 ? '|' : '+';
        cur[n + 2] = '\0';
        fprintf(log, "%s\n", cur);
        memcpy(prev, cur, (size_t)n + 2);
    }
    showRuler(log, n, cur);
    fprintf(log, "\n");
    fprintf(log, "%d by %d matrix, %d non-zeroes, %d fill\n\n", n, n, nonzero, fill);
}

void sa_dump(FILE* log, const double* sa, const int* ija, int n, const char* title)
{
    if (!log) return;
    fprintf(log, "Sparse array '%s' (rowCt=%d):\n", title ? title : "", n);
    fprintf(log, "row: (col el)+ [diag el] (col el)+\n");
    for (int i = 1; i <= n; i++) {
        fprintf(log, "%d:", i);
        int k = ija[i];
        for (; k < ija[i + 1] && ija[k] < i; k++) fprintf(log, " (%d %12.5e)", ija[k], sa[k]);
        fprintf(log, " [%14.7e]", sa[i]);
        for (; k < ija[i + 1]; k++) fprintf(log, " (%d %12.5e)", ija[k], sa[k]);
        fprintf(log, "\n");
    }
}
