// Skyline (profile) storage of the first n equations of a row-indexed matrix and its
// factorisations: L D L' for symmetric matrices, L U for unsymmetric ones.
//
// Row i keeps lal[i] entries left of its diagonal, columns i-lal[i] .. i-1, at
// al[ial[i] ..]; an unsymmetric matrix also keeps lau[j] entries above the diagonal of
// column j, rows j-lau[j] .. j-1, at au[iau[j] ..]. The diagonal holds the inverse pivots
// once factorised.
#ifndef FLOWMIR_AIRFLOW_SKYLINE_H
#define FLOWMIR_AIRFLOW_SKYLINE_H

#include <cstdio>

#include "network/airnet.h"

// Sets up the profile of rows and columns 1..n of the row-indexed index array ija and
// allocates the storage in the caller's record. sky->sym chooses the kind and must be set
// before the call: 1 for a symmetric matrix stored as its lower triangle, 0 for full
// storage. Writes the storage summary to log when given. Returns 0.
int sky_alc(FlowmirState* fms, int n, const int* ija, Skyline* sky, FILE* log);
// Writes the storage summary sky_alc would write for the symmetric profile of rows 1..n,
// allocating nothing.
void sky_summary(int n, const int* ija, FILE* log);
// Releases the arrays of the record (not the record).
void sky_fre(FlowmirState* fms, Skyline* sky);

// Copies row-indexed values into the skyline; columns beyond sky->n are left out.
void fill_sky_s(const double* sa, const int* ija, Skyline* sky);
void fill_sky_n(Skyline* sky, int n, const int* ija, const double* sa);

// Factorise in place; a pivot below machine epsilon in magnitude is reported (zero: FATAL).
int luf_sky_s(FlowmirState* fms, Skyline* sky);
int luf_sky_n(FlowmirState* fms, Skyline* sky);
// Solve in place in x[1..n] with the factorised matrix.
void lus_sky_s(FlowmirState* fms, const Skyline* sky, double* x);
void lus_sky_n(FlowmirState* fms, const Skyline* sky, double* x);

// Lists the stored non-zero values.
void sky_dump(FILE* log, const Skyline* sky, const char* title);

#endif
