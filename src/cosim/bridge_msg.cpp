// The bridge's wire format: a 20-byte header ("KLEVMSG", length, type, version), integers in
// network order, floats as the machine holds them (little-endian), strings zero-terminated.
#include <arpa/inet.h>

#include <cstring>

#include "cosim/bridge.h"
#include "support/error.h"

static const char kPattern[8] = "KLEVMSG";

static bool room(BridgeOut* o, int n)
{
    if (o->len + n <= o->size) return true;
    o->len = o->size + 1;  // marks the message as overrun; bout_send refuses it
    return false;
}

void bout_start(BridgeOut* o, uint8_t* buf, int size, int type)
{
    o->buf = buf;
    o->size = size;
    o->len = 0;
    if (!room(o, BRIDGE_HEADER)) return;
    memcpy(buf, kPattern, 8);
    o->len = 8;
    bout_int(o, 0);  // length, filled in when sent
    bout_int(o, type);
    bout_int(o, BRIDGE_VERSION);
}

void bout_int(BridgeOut* o, int32_t v)
{
    if (!room(o, 4)) return;
    uint32_t n = htonl((uint32_t)v);
    memcpy(o->buf + o->len, &n, 4);
    o->len += 4;
}

void bout_float(BridgeOut* o, float v)
{
    if (!room(o, 4)) return;
    memcpy(o->buf + o->len, &v, 4);
    o->len += 4;
}

void bout_string(BridgeOut* o, const char* s)
{
    int n = (int)strlen(s) + 1;
    if (!room(o, n)) return;
    memcpy(o->buf + o->len, s, (size_t)n);
    o->len += n;
}

int bout_finish(FlowmirState* fms, BridgeOut* o)
{
    if (o->len > o->size)
        error(fms, FATAL, __FILE__, __LINE__, "Bridge: message larger than its buffer, call Orvo", "");
    uint32_t n = htonl((uint32_t)o->len);
    memcpy(o->buf + 8, &n, 4);
    return o->len;
}

int bout_send(FlowmirState* fms, BridgeOut* o)
{
    return bridge_SendAll(fms, o->buf, bout_finish(fms, o));
}

int bout_send_padded(FlowmirState* fms, BridgeOut* o)
{
    bout_int(o, 0);
    return bout_send(fms, o);
}

int32_t bin_int(const uint8_t* p)
{
    uint32_t n;
    memcpy(&n, p, 4);
    return (int32_t)ntohl(n);
}

float bin_float(const uint8_t* p)
{
    float v;
    memcpy(&v, p, 4);
    return v;
}

const char* bridge_msgName(int type)
{
    switch (type) {
    case FM_READY_MSG: return "FM_READY_MSG";
    case BLDG_INFO_MSG: return "BLDG_INFO_MSG";
    case SIMPARM_INFO_MSG: return "SIMPARM_INFO_MSG";
    case AGENT_INFO_MSG: return "AGENT_INFO_MSG";
    case ELEMENT_INFO_MSG: return "ELEMENT_INFO_MSG";
    case INPUT_CTRL_INFO_MSG: return "INPUT_CTRL_INFO_MSG";
    case OUTPUT_CTRL_INFO_MSG: return "OUTPUT_CTRL_INFO_MSG";
    case AHSP_INFO_MSG: return "AHSP_INFO_MSG";
    case ZONE_INFO_MSG: return "ZONE_INFO_MSG";
    case PATH_INFO_MSG: return "PATH_INFO_MSG";
    case JCT_INFO_MSG: return "JCT_INFO_MSG";
    case TERM_INFO_MSG: return "TERM_INFO_MSG";
    case LEAK_INFO_MSG: return "LEAK_INFO_MSG";
    case DUCT_INFO_MSG: return "DUCT_INFO_MSG";
    case AHS_INFO_MSGTYPE: return "AHS_INFO_MSGTYPE";
    case FM_ADVANCE_MSG: return "FM_ADVANCE_MSG";
    case ADJ_ZONE_CONC_MSG: return "ADJ_ZONE_CONC_MSG";
    case ADJ_ZONE_TEMP_MSG: return "ADJ_ZONE_TEMP_MSG";
    case ADJ_JCT_TEMP_MSG: return "ADJ_JCT_TEMP_MSG";
    case ADJ_ELEMENT_MSG: return "ADJ_ELEMENT_MSG";
    case ADJ_CTRL_NODE_MSG: return "ADJ_CTRL_NODE_MSG";
    case ADJ_WTH_MSG: return "ADJ_WTH_MSG";
    case ADJ_WPC_MSG: return "ADJ_WPC_MSG";
    case ADJ_AHSP_FLOWS_MSGTYPE: return "ADJ_AHSP_FLOWS_MSGTYPE";
    case ADJ_AHS_POA_MSGTYPE: return "ADJ_AHS_POA_MSGTYPE";
    case CONC_UPDATE_MSG: return "CONC_UPDATE_MSG";
    case PATH_FLOW_UPDATE_MSG: return "PATH_FLOW_UPDATE_MSG";
    case TERM_FLOW_UPDATE_MSG: return "TERM_FLOW_UPDATE_MSG";
    case AHSP_FLOW_UPDATE_MSG: return "AHSP_FLOW_UPDATE_MSG";
    case DUCT_FLOW_UPDATE_MSG: return "DUCT_FLOW_UPDATE_MSG";
    case LEAK_FLOW_UPDATE_MSG: return "LEAK_FLOW_UPDATE_MSG";
    case CTRL_NODE_UPDATE_MSG: return "CTRL_NODE_UPDATE_MSG";
    case ADJ_ZONE_HR_MSG: return "ADJ_ZONE_HR_MSG";
    case FM_ERROR_MSG: return "FM_ERROR_MSG";
    case FM_ENDSIM_MSGTYPE: return "FM_ENDSIM_MSGTYPE";
    default: return "unknown";
    }
}
