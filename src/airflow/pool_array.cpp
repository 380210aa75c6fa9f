#include "airflow/pool_array.h"

void* pool_array(FlowmirState* fms, MemBlock** pool, size_t size, const char* name)
{
    size_t padded = (size + 7) & ~static_cast<size_t>(7);
    if (!pool || !*pool || padded + BLOCK_HEADER <= static_cast<size_t>((*pool)->size))
        return alc_ec(fms, pool, size, name);

    MemBlock* newest = *pool;
    while (newest->newer)
        newest = newest->newer;
    MemBlock* own = alc_eci(fms, static_cast<int>(padded + BLOCK_HEADER), name);
    own->offset = own->size; // full: nothing else is carved from it
    own->newer = newest;
    own->older = newest->older;
    if (own->older) own->older->newer = own;
    newest->older = own;
    return reinterpret_cast<char*>(own) + BLOCK_HEADER;
}
