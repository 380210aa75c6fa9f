// The message service: reads the server's messages and applies its adjustments until one lets
// the run advance. Every number a message carries is checked before it indexes anything, and
// every count against the message's own length.
#include <cmath>
#include <cstring>

#include "airflow/afe.h"
#include "controls/ctrl.h"
#include "cosim/bridge.h"
#include "cosim/cosim.h"
#include "flowmir/fmi.h"
#include "network/airnet.h"
#include "support/error.h"
#include "support/log.h"
#include "support/timeconv.h"
#include "transport/sts.h"

enum { DAY = 86400 };

// The payload of the message being served.
struct Msg {
    const uint8_t* p;  // after the header
    int len;           // payload bytes
    int type;
    const char* name;
    char when[16];     // time of day of the step, for the trace lines
};

static int32_t intAt(const Msg& m, int i)
{
    return bin_int(m.p + 4 * i);
}

static float floatAt(const Msg& m, int i)
{
    return bin_float(m.p + 4 * i);
}

// The message must hold `words` 4-byte fields; its counts come from the server.
static void need(FlowmirState* fms, const Msg& m, long long words)
{
    if (words < 0 || words * 4 > m.len)
        errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: %s of %d bytes is too short for its counts", m.name,
               m.len + BRIDGE_HEADER);
}

static void needCount(FlowmirState* fms, const Msg& m, int n, int fixed, int perEntry)
{
    if (n < 0) errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: %s with a negative count: %d", m.name, n);
    need(fms, m, fixed + (long long)perEntry * n);
}

// --- zone concentrations -----------------------------------------------------------------

// Sets the contaminant's mass fraction (op nonzero), or adds a mass of it in kg: in every cell
// of a one-dimensional zone, else in the zone's node for the transport to take up.
static void zoneMass(FlowmirState* fms, AirNode* n, int ctm, int op, double value)
{
    double add = n->M > 0.0 ? value / n->M : 0.0;
    CdZone* z = fms->sts && fms->sts->cdzOf ? fms->sts->cdzOf[n->nr] : nullptr;
    if (z) {
        for (int k = 0; k < z->ncells; k++) z->cells[k].Mf[ctm] = op ? value : z->cells[k].Mf[ctm] + add;
    }
    if (n->Mf) n->Mf[ctm] = op ? value : n->Mf[ctm] + add;
    fms->mfConcsChanged = 1;
}

static void adjZoneConc(FlowmirState* fms, const Msg& m)
{
    need(fms, m, 3);
    int op = intAt(m, 0), nz = intAt(m, 1), k = intAt(m, 2);
    needCount(fms, m, nz, 3, 2);
    if (k < 1 || k > fms->nctm) errorf(fms, FATAL, __FILE__, __LINE__, "Invalid agent index: %d", k);
    if (fms->echo > 0) LOG(fms, "%s op %d, nz %d, k %d\n", m.when, op, nz, k);
    for (int i = 0; i < nz; i++) {
        int zone = intAt(m, 3 + i);
        float v = floatAt(m, 3 + nz + i);
        AirNode* n = cosim_zone(fms, zone);
        if (!n) errorf(fms, FATAL, __FILE__, __LINE__, "Invalid zone index: %d, %d", zone, i + 1);
        if (!std::isfinite(v) || (op && v < 0.0f))
            errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid concentration %g, zone %d", (double)v, zone);
        if (fms->echo > 1) LOG(fms, "Zone ID %d, CW# %d, M/Mf %g\n", zone, k - 1, (double)v);
        zoneMass(fms, n, k - 1, op, v);
    }
}

// --- node temperatures and humidity ---------------------------------------------------------

static void adjNodes(FlowmirState* fms, const Msg& m)
{
    need(fms, m, 1);
    int n = intAt(m, 0);
    needCount(fms, m, n, 1, 2);
    bool jct = m.type == ADJ_JCT_TEMP_MSG, hr = m.type == ADJ_ZONE_HR_MSG;
    if (fms->echo > 0) LOG(fms, jct ? "%s nj %d\n" : "%s nz %d\n", m.when, n);
    if (hr && fms->echo > 1) LOG(fms, "ZoneID HumidityRatio[kg/kg]\n");
    for (int i = 0; i < n; i++) {
        int nr = intAt(m, 1 + i);
        float v = floatAt(m, 1 + n + i);
        int rc = jct ? fmiSetJunctionTemperature(fms, nr, v)
                 : hr ? fmiSetZoneHumRatio(fms, nr, v)
                      : fmiSetZoneTemperature(fms, nr, v);
        if (rc == 1) errorf(fms, FATAL, __FILE__, __LINE__, jct ? "Invalid jct index: %d, %d" : "Invalid zone index: %d, %d", nr, i + 1);
        if (rc != 0)
            errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid %s %g, %s %d", hr ? "humidity ratio" : "temperature",
                   (double)v, jct ? "junction" : "zone", nr);
        if (fms->echo > 1) {
            if (hr)
                LOG(fms, "%6d %13.6e\n", nr, (double)v);
            else if (jct)
                LOG(fms, "jct ID %d, T %g\n", nr, (double)v);
            else
                LOG(fms, "Zone ID %d, T %6.2f\n", nr, (double)v);
        }
    }
}

// --- elements and controls ----------------------------------------------------------------

static void adjElement(FlowmirState* fms, const Msg& m)
{
    need(fms, m, 2);
    int path = intAt(m, 0), elem = intAt(m, 1);
    // A system path's flow comes from its system, not from an element.
    AirLink* l = cosim_path(fms, path);
    if (!l || (l->flags & (LF_AHS | LF_AHR | LF_AHO | LF_AHX)))
        errorf(fms, FATAL, __FILE__, __LINE__, "Invalid path id: %d", path);
    if (elem < 1 || elem > fms->nafe || !fms->AfeLst) errorf(fms, FATAL, __FILE__, __LINE__, "Invalid element id: %d", elem);
    LOG(fms, "Bridge: Setting path %d to element %d\n", path, elem);
    l->elem = fms->AfeLst[elem];
    l->Flow[1] = 0.0;
}

static void adjControl(FlowmirState* fms, const Msg& m)
{
    need(fms, m, 2);
    int nr = intAt(m, 0);
    float v = floatAt(m, 1);
    if (!std::isfinite(v)) errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid control value %g, node %d", (double)v, nr);
    LOG(fms, "Bridge: Setting control node %d to %f\n", nr, (double)v);
    const FlowmirState::CosimLists& c = fms->cosimLists;
    int set = 0;
    for (int i = 1; i <= c.ninode; i++)
        if (c.inodes[i]->nr == nr) {
            c.inodes[i]->out = v;
            set++;
        }
    if (!set) errorf(fms, WARNING, __FILE__, __LINE__, "Bridge: no input control node %d", nr);
}

// --- weather and envelope -----------------------------------------------------------------

static void adjWeather(FlowmirState* fms, const Msg& m)
{
    need(fms, m, 5);
    float T = floatAt(m, 0), Pb = floatAt(m, 1), ws = floatAt(m, 2), wd = floatAt(m, 3), W = floatAt(m, 4);
    if (fmiSetAmbtTemperature(fms, T) || fmiSetAmbtPressure(fms, Pb) || fmiSetAmbtWndSpd(fms, ws) ||
        fmiSetAmbtWndDir(fms, wd) || fmiSetAmbtHumRatio(fms, W))
        errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid weather: T %g, Pb %g, WS %g, WD %g, HR %g", (double)T,
               (double)Pb, (double)ws, (double)wd, (double)W);
    if (fms->echo > 0) {
        char date[16];
        LOG(fms, "%s %s\n", datestr(fms, fms->dayofy, date), m.when);
        LOG(fms, "Tambt %g\n", (double)T);
        LOG(fms, "Pbar  %g\n", (double)Pb);
        LOG(fms, "WS    %g\n", (double)ws);
        LOG(fms, "WD    %g\n", (double)wd);
        LOG(fms, "HR    %g\n", (double)W);
    }
}

static void adjEnvelope(FlowmirState* fms, const Msg& m)
{
    BridgeState& b = fms->bridge;
    need(fms, m, 3);
    int time = intAt(m, 0), na = intAt(m, 1), np = intAt(m, 2);
    if (na < 0 || na > b.nagent) errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid number of agents: %d", na);
    if (np < 0 || np > b.num_envp)
        errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid number of envelope paths: %d", np);
    need(fms, m, 3 + na + (long long)np * (na > 0 ? na : 1));
    if (fms->echo > 0) {
        LOG(fms, "time: %d\n", time);
        LOG(fms, "num_agents: %d\n", na);
        LOG(fms, "num_paths: %d\n", np);
        LOG(fms, na > 0 ? "Recieving envelope Mass Fractions\n" : "Recieving envelope Wind Pressures\n");
    }
    for (int j = 1; j <= na; j++) {
        int agent = intAt(m, 2 + j);
        if (agent < 1 || agent > fms->nctm) errorf(fms, FATAL, __FILE__, __LINE__, "Invalid agent index: %d", agent);
        b.ctmList[j] = agent - 1;
    }
    for (int i = 1; i <= np; i++) {
        int env = b.envList[i];
        if (env < 1 || env > fms->nenv)
            errorf(fms, FATAL, __FILE__, __LINE__, "Invalid envelope path index: %d, %d", env, i);
        int rc = 0;
        if (na == 0) {
            rc = fmiSetEnvelopeWP(fms, env, floatAt(m, 3 + (i - 1)));
        } else {
            for (int j = 1; j <= na && rc == 0; j++)
                rc = fmiSetEnvelopeMF(fms, env, b.ctmList[j], floatAt(m, 3 + na + (i - 1) * na + (j - 1)));
        }
        if (rc != 0)
            errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: envelope %s refused for entry %d (code %d)",
                   na > 0 ? "mass fraction" : "wind pressure", i, rc);
    }
}

// --- air-handling systems -----------------------------------------------------------------

static void adjSystemFlows(FlowmirState* fms, const Msg& m)
{
    need(fms, m, 1);
    int n = intAt(m, 0);
    needCount(fms, m, n, 1, 2);
    if (fms->echo > 0) LOG(fms, "Bridge: %s nahsp %d\n", m.when, n);
    for (int i = 0; i < n; i++) {
        int path = intAt(m, 1 + i);
        float F = floatAt(m, 1 + n + i);
        int rc = fmiSetSupplyReturnPathFlow(fms, path, F);
        if (rc == 1 || rc == 3 || rc == 4)
            errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid AHS path index: %d, %d", path, i + 1);
        if (rc != 0 || !std::isfinite(F))
            errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid AHS path flow: %g, %d", (double)F, path);
        if (fms->echo > 1) LOG(fms, "Bridge: path ID %d, Flow %g\n", path, (double)F);
    }
}

// The fraction is kept by system number: the recirculation path reads it from there.
static void adjOutdoorFractions(FlowmirState* fms, const Msg& m)
{
    need(fms, m, 1);
    int n = intAt(m, 0);
    needCount(fms, m, n, 1, 2);
    if (fms->echo > 0) LOG(fms, "Bridge: %s nahs %d\n", m.when, n);
    for (int i = 0; i < n; i++) {
        int ahs = intAt(m, 1 + i);
        float f = floatAt(m, 1 + n + i);
        int rc = fmiSetAHSPercentOA(fms, ahs, f);
        if (rc == 1) errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid AHS index: %d, %d", ahs, i + 1);
        if (rc == 2) errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid outdoor-air fraction: %g, %d", (double)f, ahs);
        if (rc != 0) errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: AHS %d has no recirculation path", ahs);
        if (fms->echo > 1) LOG(fms, "Bridge: AHS ID %d, POA %g\n", ahs, (double)f);
    }
}

// --- advance and errors -------------------------------------------------------------------

// The end of the period in the server's seconds.
static int periodEnd(const FlowmirState* fms)
{
    int days = (fms->endDate - fms->dayofy + 365) % 365;
    return (fms->dayCount - 1 + days) * DAY + fms->endTime;
}

static int serverError(FlowmirState* fms, const Msg& m)
{
    need(fms, m, 1);
    int code = intAt(m, 0);
    const char* what = code == 0 ? "terminate_sim" : code == 1 ? "end_next_day" : "unknown";
    if (fms->echo > 0) {
        char date[16];
        LOG(fms, "%s %s\n", datestr(fms, fms->dayofy, date), m.when);
        LOG(fms, "error_type %d %s\n", code, what);
    }
    if (code == 0) errorf(fms, FATAL, __FILE__, __LINE__, "FM_ERROR_MSGTYPE code %d:%s", code, what);
    if (code != 1) error(fms, FATAL, __FILE__, __LINE__, "FM_ERROR_MSGTYPE code Unknown", "");
    errorf(fms, WARNING, __FILE__, __LINE__, "FM_ERROR_MSGTYPE code %d:%s", code, what);
    // The run finishes the current day, or ends earlier when its period does.
    if (fms->endDate != fms->dayofy || fms->endTime > DAY) fms->endTime = DAY;
    fms->endDate = fms->dayofy;
    fms->bridge.state = 1;
    return DAY;
}

static int advance(FlowmirState* fms, const Msg& m)
{
    need(fms, m, 2);
    if (fms->bridge.state != 2) return periodEnd(fms);
    int options = intAt(m, 0), s = intAt(m, 1);
    if (s < 0) errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: invalid run-until time: %d", s);
    if (fms->echo > 1) LOG(fms, "   Advance simulation to %d option= %d \n", s, options);
    fms->bridge.options = options;
    return s;
}

// --- the service --------------------------------------------------------------------------

static void lost(FlowmirState* fms)
{
    fms->bridge.state = 1;
    error(fms, FATAL, __FILE__, __LINE__, "  Bridge lost", "");
}

// Reads and drops a payload the service refused, so that the next header is read as one.
static void skip(FlowmirState* fms, int bytes)
{
    BridgeState& b = fms->bridge;
    while (bytes > 0) {
        int n = bytes < b.bufsize ? bytes : b.bufsize;
        if (bridge_ReadAll(fms, b.msgbuf, n) != 0) lost(fms);
        bytes -= n;
    }
}

// A header the service can use, or an error reported and false.
static bool goodHeader(FlowmirState* fms, const uint8_t* h, int len, int version)
{
    if (memcmp(h, "KLEVMSG", 8) != 0) {
        char pattern[9];
        for (int i = 0; i < 8; i++) pattern[i] = h[i] >= 32 && h[i] < 127 ? (char)h[i] : '?';
        pattern[8] = '\0';
        for (int i = 7; i >= 0 && h[i] == 0; i--) pattern[i] = '\0';
        error(fms, ERROR, __FILE__, __LINE__, "Bridge: Invalid header pattern: ", pattern, "");
    }
    // Without a length the stream cannot be followed to the next header.
    if (len < BRIDGE_HEADER) errorf(fms, FATAL, __FILE__, __LINE__, "Bridge: Invalid packet length: %d", len);
    if (memcmp(h, "KLEVMSG", 8) != 0) return false;
    if (len > fms->bridge.bufsize) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Bridge: Invalid packet length: %d", len);
        return false;
    }
    if (version != BRIDGE_VERSION) {
        errorf(fms, ERROR, __FILE__, __LINE__, "Bridge: Invalid packet version: %d", version);
        return false;
    }
    return true;
}

int bridge_ReadDataFromSocket(FlowmirState* fms)
{
    BridgeState& b = fms->bridge;
    uint8_t* buf = b.msgbuf;
    for (;;) {
        if (bridge_ReadAll(fms, buf, BRIDGE_HEADER) != 0) lost(fms);
        int len = bin_int(buf + 8), type = bin_int(buf + 12), version = bin_int(buf + 16);
        if (!goodHeader(fms, buf, len, version)) {
            skip(fms, len - BRIDGE_HEADER);
            continue;
        }
        if (len > BRIDGE_HEADER && bridge_ReadAll(fms, buf + BRIDGE_HEADER, len - BRIDGE_HEADER) != 0) lost(fms);
        Msg m;
        m.p = buf + BRIDGE_HEADER;
        m.len = len - BRIDGE_HEADER;
        m.type = type;
        m.name = bridge_msgName(type);
        if (!timestr(fms, fms->stepEndTime, m.when)) m.when[0] = '\0';
        if (fms->echo > 0) {
            LOG(fms, "Bridge Message Header:\n");
            LOG(fms, "pattern = %s\n", "KLEVMSG");
            LOG(fms, "length = %u\n", (unsigned)len);
            LOG(fms, "type = %u", (unsigned)type);
            LOG(fms, " %s\n", m.name);
            LOG(fms, "version = %u\n", (unsigned)version);
        }
        switch (type) {
        case FM_ADVANCE_MSG: return advance(fms, m);
        case ADJ_ZONE_CONC_MSG: adjZoneConc(fms, m); break;
        case ADJ_ZONE_TEMP_MSG:
        case ADJ_JCT_TEMP_MSG:
        case ADJ_ZONE_HR_MSG: adjNodes(fms, m); break;
        case ADJ_ELEMENT_MSG: adjElement(fms, m); break;
        case ADJ_CTRL_NODE_MSG: adjControl(fms, m); break;
        case ADJ_WTH_MSG: adjWeather(fms, m); break;
        case ADJ_WPC_MSG: adjEnvelope(fms, m); break;
        case ADJ_AHSP_FLOWS_MSGTYPE: adjSystemFlows(fms, m); break;
        case ADJ_AHS_POA_MSGTYPE: adjOutdoorFractions(fms, m); break;
        case FM_ERROR_MSG: return serverError(fms, m);
        default: errorf(fms, ERROR, __FILE__, __LINE__, "Bridge: Invalid message type: %d", type); break;
        }
        logFlush(fms);
    }
}
