// The two airflow element sections of the project file: path elements and duct elements.
#ifndef FLOWMIR_AIRFLOW_AFE_READ_H
#define FLOWMIR_AIRFLOW_AFE_READ_H

#include "airflow/afe.h"
#include "support/heap.h"

// Element keywords by type code, closed by an empty string.
extern const char* const afe_keywords[AFE_NCODES + 1];

// Reads one element section into AfeLst/nafe (duct 0) or DfeLst/ndfe (duct 1), records from
// *pool; cirdal 1 for a file written by Cirdal. Returns the element count.
int afelmt_read(FlowmirState* fms, MemBlock** pool, int duct, int cirdal);

// Releases the two index arrays; the element records stay in their block list.
void afe_free_lists(FlowmirState* fms);

#endif
