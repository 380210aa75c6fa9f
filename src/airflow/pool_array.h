// Arrays of any size carved from a block list, so that they are released with the list.
#ifndef FLOWMIR_AIRFLOW_POOL_ARRAY_H
#define FLOWMIR_AIRFLOW_POOL_ARRAY_H

#include <cstddef>

#include "support/heap.h"

// Zero-filled memory of size bytes owned by the block list *pool (which must exist).
// A request larger than the list's blocks gets a block of its own, chained behind the
// newest one so that fre_ec still releases it and later records keep the usual block size.
void* pool_array(FlowmirState* fms, MemBlock** pool, size_t size, const char* name);

template <class T> T* pool_arrayt(FlowmirState* fms, MemBlock** pool, int count, const char* name)
{
    return static_cast<T*>(pool_array(fms, pool, sizeof(T) * static_cast<size_t>(count), name));
}

#endif
