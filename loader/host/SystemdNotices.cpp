#include "loader/host/SystemdNotices.h"

#include <systemd/sd-daemon.h>

#include <cstdint>

SystemdNotices::SystemdNotices()
{
    // Half the watchdog period, as systemd advises, so that one late keep-alive is no restart.
    std::uint64_t watchdogMicroseconds = 0;
    if (sd_watchdog_enabled(0, &watchdogMicroseconds) > 0)
        m_keepAliveInterval = std::chrono::milliseconds(watchdogMicroseconds / 2000);
}

void SystemdNotices::running()
{
    sd_notify(0, "READY=1");
}

void SystemdNotices::alive()
{
    sd_notify(0, "WATCHDOG=1");
}

void SystemdNotices::stopping()
{
    sd_notify(0, "STOPPING=1");
}

void SystemdNotices::extendStartUp(std::chrono::milliseconds more)
{
    sd_notifyf(0, "EXTEND_TIMEOUT_USEC=%llu",
               static_cast<unsigned long long>(std::chrono::microseconds(more).count()));
}
