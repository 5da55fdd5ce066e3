#pragma once

#include "loader/host/ServiceNotices.h"

// The notify protocol of systemd (sd_notify): READY=1, WATCHDOG=1, STOPPING=1 and
// EXTEND_TIMEOUT_USEC to the socket
// in NOTIFY_SOCKET. Without that variable, as in a terminal, every notice is a no-op.
class SystemdNotices final : public ServiceNotices
{
public:
    SystemdNotices();

    void running() override;
    void alive() override;
    void stopping() override;
    void extendStartUp(std::chrono::milliseconds more) override;
    std::chrono::milliseconds keepAliveInterval() const override { return m_keepAliveInterval; }

private:
    std::chrono::milliseconds m_keepAliveInterval{0};
};
