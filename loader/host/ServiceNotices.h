#pragma once

#include <chrono>

// What the host tells the service manager about the service's life: running once start-up has
// succeeded, alive at every turn of the loop, stopping once a stop request has arrived.
class ServiceNotices
{
public:
    virtual ~ServiceNotices() = default;
    virtual void running() = 0;
    virtual void alive() = 0;
    virtual void stopping() = 0;
    // Start-up is still at work (a first index creation on a large table can take minutes): the
    // manager's start time-out moves to `more` from now.
    virtual void extendStartUp(std::chrono::milliseconds more) = 0;
    // How often alive() is due while no turn runs (the service is paused); zero when nobody
    // watches.
    virtual std::chrono::milliseconds keepAliveInterval() const = 0;
};
