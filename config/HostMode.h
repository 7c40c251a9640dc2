// How a host is spoken to: the byte stored as a host's "Mode".
#pragma once

using THostMode = unsigned char;
constexpr THostMode hmORVO = 0;   // ORVO CLient protocol
constexpr THostMode hmTelnet = 1; // plain Telnet
constexpr THostMode hmISCA = 2;   // ISCA Client protocol
