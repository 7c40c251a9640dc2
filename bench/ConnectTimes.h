// Connect time over each transport on loopback: plain TCP, TLS (socat in front of the demo
// BBS) and SSH (OpenSSH's server with the demo BBS as its ForceCommand), the median of
// several connections from Open to the open pipe. A server that cannot start here is
// reported as skipped.
#pragma once

void MeasureConnectTimes(const char *demoBbs);

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>

// A TLS or SSH server on loopback in front of a plain TCP server: socat terminating TLS, or
// OpenSSH's server (as root only) running socat as its forced command in a raw terminal.
class TSecureRelay
{
public:
    ~TSecureRelay();
    // The relay's port, 0 when it could not start here.
    uint16_t StartTls(uint16_t backend);
    uint16_t StartSsh(uint16_t backend);
    // Connects once as the program would, with its trust files in `configDir`, and accepts
    // the server's certificate or key, so the program's own connections ask nothing.
    bool Trust(const QString &configDir, uint16_t port);

private:
    QTemporaryDir FDir;
    QProcess FServer;
    bool FSsh = false;
    QByteArray FHome;
};
