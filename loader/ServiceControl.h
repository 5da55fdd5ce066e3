#pragma once

// What the loader's loop asks of its service host: handle the control requests that are pending
// (pause, continue, stop) without waiting for one, and tell whether a stop has been requested.
// A pause suspends the caller inside handleRequests() until the next request arrives.
class ServiceControl
{
public:
    virtual ~ServiceControl() = default;
    virtual void handleRequests() = 0;
    virtual bool stopRequested() const = 0;
};
