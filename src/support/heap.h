// Tracked memory: labelled, zero-filled allocations with a byte balance,
// index-range arrays, matrices and block lists.
#ifndef FLOWMIR_SUPPORT_HEAP_H
#define FLOWMIR_SUPPORT_HEAP_H

#include <cstddef>

#include "engine/state.h"

enum { BLOCK_HEADER = 24 };

// A block of a block list; records are carved after the 24-byte header.
struct MemBlock {
    int32_t size;     // total size of the block
    int32_t offset;   // first free byte
    MemBlock* older;  // previous block
    MemBlock* newer;  // next block
};

void* alc_e(FlowmirState* fms, size_t size, const char* name);
void* fre_e(FlowmirState* fms, void* memory, size_t size, const char* name);
void* alc_v(FlowmirState* fms, int lo, int hi, size_t elementSize, const char* name);
void* fre_v(FlowmirState* fms, void* array, int lo, int hi, size_t elementSize);
void* alc_mc(FlowmirState* fms, int r0, int r1, int c0, int c1, size_t elementSize, const char* name);
void* fre_mc(FlowmirState* fms, void* matrix, int r0, int r1, int c0, int c1, size_t elementSize);
void* alc_mr(FlowmirState* fms, int r0, int r1, int c0, int c1, size_t elementSize, const char* name);
void* fre_mr(FlowmirState* fms, void* matrix, int r0, int r1, int c0, int c1, size_t elementSize);
void* alc_mvc(FlowmirState* fms, int r0, int r1, const int* counts, size_t elementSize, const char* name,
              int* total);
void* fre_mvc(FlowmirState* fms, void* matrix, int r0, int r1, const int* counts, size_t elementSize);
void* alc_ac(FlowmirState* fms, int i0, int i1, int j0, int j1, int k0, int k1, size_t elementSize,
             const char* name);
void* fre_ac(FlowmirState* fms, void* array, int i0, int i1, int j0, int j1, int k0, int k1,
             size_t elementSize);
MemBlock* alc_eci(FlowmirState* fms, int blockSize, const char* name);
void* alc_ec(FlowmirState* fms, MemBlock** blockList, size_t size, const char* name);
void* fre_ec(FlowmirState* fms, MemBlock* blockList, const char* name);
int MemNet(FlowmirState* fms, const char* label);
void MemList(FlowmirState* fms);

// Typed helpers: T* a = alc_vt<T>(fms, 1, n, "label"); a[1..n].
template <class T>
T* alc_vt(FlowmirState* fms, int lo, int hi, const char* name)
{
    return static_cast<T*>(alc_v(fms, lo, hi, sizeof(T), name));
}
template <class T>
void fre_vt(FlowmirState* fms, T*& array, int lo, int hi)
{
    if (array) fre_v(fms, array, lo, hi, sizeof(T));
    array = nullptr;
}
template <class T>
T* alc_ect(FlowmirState* fms, MemBlock** blockList, const char* name)
{
    return static_cast<T*>(alc_ec(fms, blockList, sizeof(T), name));
}

#endif
