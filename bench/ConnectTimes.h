// Connect time over each transport on loopback: plain TCP, TLS (socat in front of the demo
// BBS) and SSH (OpenSSH's server with the demo BBS as its ForceCommand), the median of
// several connections from Open to the open pipe. A server that cannot start here is
// reported as skipped.
#pragma once

void MeasureConnectTimes(const char *demoBbs);
