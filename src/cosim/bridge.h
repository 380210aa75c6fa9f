// The bridge: the engine as a TCP client of a co-simulation server. It describes the building
// in information messages, and whenever the clock reaches the point the server allowed, sends
// the selected results, announces that it is ready and applies the server's adjustments until
// the server lets it advance again. docs/bridge.md gives the protocol for server writers.
#ifndef FLOWMIR_COSIM_BRIDGE_H
#define FLOWMIR_COSIM_BRIDGE_H

#include <cstddef>
#include <cstdint>

#include "engine/state.h"

// Message types.
enum BridgeMsg {
    FM_READY_MSG = 0,
    BLDG_INFO_MSG = 1,
    SIMPARM_INFO_MSG = 2,
    AGENT_INFO_MSG = 3,
    ELEMENT_INFO_MSG = 4,
    INPUT_CTRL_INFO_MSG = 5,
    OUTPUT_CTRL_INFO_MSG = 6,
    AHSP_INFO_MSG = 7,
    ZONE_INFO_MSG = 8,
    PATH_INFO_MSG = 9,
    JCT_INFO_MSG = 10,
    TERM_INFO_MSG = 11,
    LEAK_INFO_MSG = 12,
    DUCT_INFO_MSG = 13,
    AHS_INFO_MSGTYPE = 14,
    FM_ADVANCE_MSG = 20,
    ADJ_ZONE_CONC_MSG = 30,
    ADJ_ZONE_TEMP_MSG = 40,
    ADJ_JCT_TEMP_MSG = 50,
    ADJ_ELEMENT_MSG = 60,
    ADJ_CTRL_NODE_MSG = 70,
    ADJ_WTH_MSG = 80,
    ADJ_WPC_MSG = 90,
    ADJ_AHSP_FLOWS_MSGTYPE = 100,
    ADJ_AHS_POA_MSGTYPE = 110,
    CONC_UPDATE_MSG = 120,
    PATH_FLOW_UPDATE_MSG = 130,
    TERM_FLOW_UPDATE_MSG = 140,
    AHSP_FLOW_UPDATE_MSG = 150,
    DUCT_FLOW_UPDATE_MSG = 160,
    LEAK_FLOW_UPDATE_MSG = 170,
    CTRL_NODE_UPDATE_MSG = 180,
    ADJ_ZONE_HR_MSG = 190,
    FM_ERROR_MSG = 200,
    FM_ENDSIM_MSGTYPE = 210,
};

enum { BRIDGE_HEADER = 20, BRIDGE_VERSION = 10, BRIDGE_DEFAULT_PORT = 8200, BRIDGE_ALL_UPDATES = 255 };

// --- the connection (bridge_socket.cpp) ---
// Connects to HOST[:PORT]; any failure is fatal.
void bridge_ConnectToServer(FlowmirState* fms, const char* address);
// Reads exactly size bytes: 0, or -1 with an error reported and the socket closed.
int bridge_ReadAll(FlowmirState* fms, void* buffer, int size);
// Sends all len bytes: 0, or -1 after a fatal report (the bridge has ended first).
int bridge_SendAll(FlowmirState* fms, const void* buffer, int len);
// The same with a failure only a warning, for the message that closes a completed run.
int bridge_SendLast(FlowmirState* fms, const void* buffer, int len);
void bridge_CloseSocket(FlowmirState* fms);

// --- message layout (bridge_msg.cpp) ---
// Writes into a buffer: integers big-endian, floats as the machine holds them, strings with
// their terminating zero. Overruns are refused at set-up: the buffer is sized first.
struct BridgeOut {
    uint8_t* buf;
    int size;  // capacity
    int len;   // bytes written
};
void bout_start(BridgeOut* o, uint8_t* buf, int size, int type);
void bout_int(BridgeOut* o, int32_t v);
void bout_float(BridgeOut* o, float v);
void bout_string(BridgeOut* o, const char* s);
// Fills in the length: the bytes to send.
int bout_finish(FlowmirState* fms, BridgeOut* o);
// Fills in the length and sends the message.
int bout_send(FlowmirState* fms, BridgeOut* o);
// Sends a message whose declared length exceeds its fields by 4 unset bytes.
int bout_send_padded(FlowmirState* fms, BridgeOut* o);
int32_t bin_int(const uint8_t* p);
float bin_float(const uint8_t* p);
const char* bridge_msgName(int type);

// --- the information messages (bridge_info.cpp) ---
void bridge_CreatePathList(FlowmirState* fms);
void bridge_SendInfoMessages(FlowmirState* fms);
// Bytes of the largest message either side sends once the lists exist.
int bridge_bufferSize(const FlowmirState* fms);

// --- the exchange (bridge_step.cpp, bridge_service.cpp) ---
void bridge_CheckForMessages(FlowmirState* fms);
// Waits for and acts on the server's messages until one lets the run advance: the run-until
// value in seconds from the midnight that begins the run's first day.
int bridge_ReadDataFromSocket(FlowmirState* fms);
// The run-until point of s seconds: day of the run (1 its first) and time of day.
void bridge_runUntil(int s, int* day, int* time);
int bridge_SendFmError(FlowmirState* fms, int code);
int bridge_SendFmSimEnd(FlowmirState* fms);
void bridge_FreeBuffers(FlowmirState* fms);
// The end of a run: the server learns how it ended (status 0: normally), then the connection
// closes and, unless the process is ending, the buffers are freed.
void bridge_EndRun(FlowmirState* fms, int status);
// A project read for a bridged run takes its envelope conditions from the server only.
void bridge_ProjectRead(FlowmirState* fms);

#endif
