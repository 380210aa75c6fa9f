// Row-indexed sparse storage (the ija/sa format) and the structure arrays it is built from.
//
// For a matrix of n rows, ija[1..n+1] are row pointers: the stored off-diagonal entries of
// row i sit at positions ija[i] .. ija[i+1]-1, with ija[1] = n + 2; at each such position k,
// ija[k] is the column (ascending within a row). sa[i] (1 <= i <= n) holds the diagonal,
// sa[n+1] nothing, sa[k] (k >= n+2) the off-diagonal value at position k.
//
// A structure array (ijaS) has the same layout but lists every nonzero column of a row,
// the diagonal included; it lives only while the structure is analysed and reordered.
// Its length is ijaS[n+1] - 1.
#ifndef FLOWMIR_NETWORK_SPARSE_H
#define FLOWMIR_NETWORK_SPARSE_H

#include <cstdio>

#include "engine/state.h"

// One column of a row's sorted column list while a structure is built.
struct ColEntry {
    int col;
    ColEntry* next;
};

// Bytes per block of the pool the column entries are carved from.
enum { ACOL_BLOCK_SIZE = 2000 };

// Inserts col into the ascending column list rows[row] unless it is there already; new
// entries come from the block list *pool (alc_eci(fms, ACOL_BLOCK_SIZE, ...) to start it).
void acolset(FlowmirState* fms, ColEntry** rows, MemBlock** pool, int row, int col);

// Builds the structure array of column lists rows[1..n]; *nelem receives its length.
// The array is a tracked [1..*nelem] int array under the given label.
int* acol_struct(FlowmirState* fms, ColEntry* const* rows, int n, int* nelem, const char* name);

// Length of the minimal index array of a structure: n + 1 row pointers and, per row, the
// columns below the diagonal (sym != 0) or all off-diagonal columns (sym == 0).
int ija_minset_count(const int* ijaS, int n, int sym);

// Fills ija[1..ija_minset_count(ijaS, n, sym)] from the structure array ijaS.
void ija_minset(const int* ijaS, int* ija, int n, int sym);

// Position of entry (row, col) in sa: the row itself for the diagonal, otherwise found by
// bisection in the row; 0 when the entry is not stored.
int sa_find(const int* ija, int row, int col);

// x = A b for full storage of all off-diagonal entries.
void sa_mlt_xaab(const double* sa, const int* ija, const double* b, double* x, int n);
// x = A b for a symmetric matrix stored as its strictly lower triangle.
void sa_mlt_xasb(const double* sa, const int* ija, const double* b, double* x, int n);
// x = A' b for full storage.
void sa_mlt_xatb(const double* sa, const int* ija, const double* b, double* x, int n);

// Draws the structure of the first n rows with its skyline fill (at most 4094 rows).
void sa_show(FILE* log, int n, const int* ijaS);

// Writes the values of a row-indexed matrix, row by row.
void sa_dump(FILE* log, const double* sa, const int* ija, int n, const char* title);

int max0(int a, int b);
int min0(int a, int b);

#endif
