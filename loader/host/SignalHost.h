#pragma once

#include "loader/ServiceControl.h"
#include "loader/host/ServiceNotices.h"

#include <QString>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

// The service host of a run in the foreground, as systemd starts it: the main thread turns the
// control signals into requests (SIGTERM and SIGINT stop, SIGUSR1 pause, SIGUSR2 and SIGHUP
// continue) and one worker thread runs the service, which handles them between its steps. The
// service manager hears of it: running at the loop's first turn (start-up is over by then), alive
// at every turn and while paused, stopping as soon as a stop signal arrives; until running, the
// start time-out is extended again and again, as a first start-up may build indexes for minutes.
class SignalHost final : public ServiceControl
{
public:
    // What a request runs on the worker; an event that throws leaves the state as it was.
    struct Events
    {
        std::function<void()> pause;
        std::function<void()> resume;
        std::function<void()> stop;
    };

    // Blocks the control signals in the calling thread; construct it before any other thread
    // exists, so that every thread inherits the mask and only the host receives them.
    explicit SignalHost(ServiceNotices &notices);
    // How often the start time-out is extended while start-up works, and by how much each time.
    static constexpr std::chrono::milliseconds StartUpNoticeInterval{10000};
    static constexpr std::chrono::milliseconds StartUpExtension{30000};
    ~SignalHost() override;
    SignalHost(const SignalHost &) = delete;
    SignalHost &operator=(const SignalHost &) = delete;

    // Runs `work` on the worker thread and answers signals until it returns. Throws
    // std::runtime_error, before any thread is started, when the signals cannot be watched.
    void run(const std::function<void(ServiceControl &)> &work);
    // Set by the worker once the service object exists, cleared before it goes.
    void setEvents(Events events);

    // ServiceControl, called on the worker: drains the queue without waiting; while paused,
    // waits for the next request.
    void handleRequests() override;
    bool stopRequested() const override { return m_stopRequested; }

private:
    enum class Request
    {
        Pause,
        Continue,
        Stop
    };

    void queue(Request request);
    std::optional<Request> nextRequest(bool wait);
    void apply(Request request);
    bool runEvent(const char *name, const std::function<void()> &event);
    void answerSignals(int signalFd, int doneFd);

    ServiceNotices &m_notices;
    std::atomic<bool> m_running{false};
    sigset_t m_signals;
    sigset_t m_previousMask;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<Request> m_requests;
    Events m_events;
    bool m_paused = false;
    std::atomic<bool> m_stopRequested{false};
};
