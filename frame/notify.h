// The service manager's notify protocol: the packer says when it is ready
// (its input open) and, where the manager watches it, that it is alive at
// every timed status line, so that one hung anywhere is restarted. Outside
// a service manager (no NOTIFY_SOCKET) nothing is sent.
#pragma once

#include <cstdint>

void notify_ready();
// A watchdog ping, with the counts for `systemctl status`.
void notify_alive(uint32_t records, uint32_t rejected);
void notify_stopping();
