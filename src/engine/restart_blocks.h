// The blocks of a restart record: what each holds and how it is gathered from and spread
// back into the network. The writer, the reader and the record size all go through here, so
// the three cannot disagree.
#ifndef FLOWMIR_ENGINE_RESTART_BLOCKS_H
#define FLOWMIR_ENGINE_RESTART_BLOCKS_H

#include "engine/state.h"

// In file order.
enum RstBlock { RST_NODES, RST_LINKS, RST_MF, RST_FLT, RST_CSS, RST_BLS, RST_DVR, RST_CTRL, RST_NBLOCKS };

// Computes every block's count (64-bit reals) for the current network into fms->restart.
void rst_countBlocks(FlowmirState* fms);
// The block's count as last computed.
int rst_blockCount(const FlowmirState* fms, int block);
// The text after "RST write failed" / "RST read failed" for the block ("", ", BLS", ", DVR").
const char* rst_blockSuffix(int block);
// Copies the block's values from the network into buf[0..count-1].
void rst_gather(FlowmirState* fms, int block, double* buf);
// Puts buf[0..count-1] back into the network.
void rst_scatter(FlowmirState* fms, int block, const double* buf);

#endif
