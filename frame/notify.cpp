// The notify protocol through libsystemd; a build without it sends nothing
// (the units then cannot be of Type=notify, and the build says so).
#include "notify.h"

#ifdef MORVA_NOTIFY
#include <systemd/sd-daemon.h>
#endif

void notify_ready()
{
#ifdef MORVA_NOTIFY
    sd_notify(0, "READY=1");
#endif
}

void notify_alive([[maybe_unused]] uint32_t records, [[maybe_unused]] uint32_t rejected)
{
#ifdef MORVA_NOTIFY
    sd_notifyf(0, "WATCHDOG=1\nSTATUS=Rec: %lu Rej: %lu", static_cast<unsigned long>(records),
               static_cast<unsigned long>(rejected));
#endif
}

void notify_stopping()
{
#ifdef MORVA_NOTIFY
    sd_notify(0, "STOPPING=1");
#endif
}
