// The bridge's one stream socket: connecting to the server, sending and receiving whole
// messages. The engine never listens.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cosim/bridge.h"
#include "engine/signals.h"
#include "support/error.h"
#include "support/fields.h"
#include "support/log.h"

enum { HOST_MAX = 255 };

// The port of "HOST:PORT"; a port outside 1..65535 or one that is not a number is fatal.
static int portOf(FlowmirState* fms, const char* address, char* host)
{
    const char* colon = strchr(address, ':');
    size_t n = colon ? (size_t)(colon - address) : strlen(address);
    // A longer name cut short would reach some other host.
    if (n > HOST_MAX) {
        error(fms, FATAL, __FILE__, __LINE__, "  Invalid server address: ", address, "");
        n = 0;
    }
    memcpy(host, address, n);
    host[n] = '\0';
    if (!colon) return BRIDGE_DEFAULT_PORT;
    int32_t port;
    if (longcon(colon + 1, &port) != 0 || port < 1 || port > 65535)
        error(fms, FATAL, __FILE__, __LINE__, "  Invalid port: ", address, "");
    return port;
}

void bridge_ConnectToServer(FlowmirState* fms, const char* address)
{
    char host[HOST_MAX + 1];
    int port = portOf(fms, address, host);
    LOG(fms, "----- bridge_ConnectToServer() ----- begin:\n");
    LOG(fms, "  server ip address = %s\n", host);
    LOG(fms, "  listening port    = %d\n", port);
    logFlush(fms);

    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    char service[8];
    snprintf(service, sizeof service, "%d", port);
    struct addrinfo* found = nullptr;
    int rc = getaddrinfo(host, service, &hints, &found);
    if (rc != 0) errorf(fms, FATAL, __FILE__, __LINE__, "  getaddrinfo() failed w/ error # %d", rc);

    int s = socket(found->ai_family, found->ai_socktype, found->ai_protocol);
    if (s < 0) {
        int e = errno;
        freeaddrinfo(found);
        errorf(fms, FATAL, __FILE__, __LINE__, "  socket() failed w/ error # %d", e);
    }
    if (connect(s, found->ai_addr, found->ai_addrlen) != 0) {
        int e = errno;
        freeaddrinfo(found);
        close(s);
        errorf(fms, FATAL, __FILE__, __LINE__, "  connect() failed w/ error # %d", e);
    }
    freeaddrinfo(found);

    struct sockaddr_in local;
    socklen_t len = sizeof local;
    if (getsockname(s, reinterpret_cast<struct sockaddr*>(&local), &len) != 0) {
        int e = errno;
        close(s);
        LOG(fms, "getsockname() failed w/ error: %d\n", e);
        errorf(fms, FATAL, __FILE__, __LINE__, "getsockname() failed w/ error # %d", e);
    }
    LOG(fms, "  client (Flowmir) port = %u\n", (unsigned)ntohs(local.sin_port));

    BridgeState& b = fms->bridge;
    b.sock = s;
    b.sockOpen = 1;
    b.state = 2;
    b.runUntilDay = b.runUntilTime = 0;
    b.options = BRIDGE_ALL_UPDATES;
    b.useVolumeFlows = fms->useVolumeFlows != 0;
    LOG(fms, "----- bridge_ConnectToServer() ----- end\n");
    logFlush(fms);
}

void bridge_CloseSocket(FlowmirState* fms)
{
    BridgeState& b = fms->bridge;
    if (!b.sockOpen) return;
    close(b.sock);
    b.sockOpen = 0;
}

int bridge_ReadAll(FlowmirState* fms, void* buffer, int size)
{
    BridgeState& b = fms->bridge;
    uint8_t* p = static_cast<uint8_t*>(buffer);
    int got = 0;
    while (got < size) {
        if (!b.sockOpen) return -1;
        ssize_t n = recv(b.sock, p + got, (size_t)(size - got), 0);
        if (n > 0) {
            got += (int)n;
            continue;
        }
        int e = errno;
        // A termination signal ends a run that waits for its server like any other.
        if (n < 0 && e == EINTR) {
            signals_check(fms);
            continue;
        }
        bridge_CloseSocket(fms);
        if (n == 0)
            error(fms, ERROR, __FILE__, __LINE__, "Socket recv() returned 0 bytes, closed by client.", "");
        else
            errorf(fms, ERROR, __FILE__, __LINE__, "Socket recv() failed w/ error # %d", e);
        return -1;
    }
    return 0;
}

static int sendAll(FlowmirState* fms, const void* buffer, int len, int severity)
{
    BridgeState& b = fms->bridge;
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    int total = 0;
    while (total < len) {
        // A server that has gone raises no SIGPIPE: the send fails and is reported.
        ssize_t n = b.sockOpen ? send(b.sock, p + total, (size_t)(len - total), MSG_NOSIGNAL) : -1;
        if (n >= 0) {
            total += (int)n;
            continue;
        }
        int e = b.sockOpen ? errno : EBADF;
        if (e == EINTR) {
            signals_check(fms);
            continue;
        }
        // Ended before the report: the fatal end must not try to tell the server again.
        b.state = 1;
        bridge_CloseSocket(fms);
        errorf(fms, severity, __FILE__, __LINE__, "Bridge: send() failed w/ error # %d *len= %d total= %d", e, len,
               total);
        return -1;
    }
    return 0;
}

int bridge_SendAll(FlowmirState* fms, const void* buffer, int len)
{
    return sendAll(fms, buffer, len, FATAL);
}

// The last message of a completed run: a server that has already gone does not make the run
// a failure.
int bridge_SendLast(FlowmirState* fms, const void* buffer, int len)
{
    return sendAll(fms, buffer, len, WARNING);
}
