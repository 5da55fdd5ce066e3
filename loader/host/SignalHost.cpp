#include "loader/host/SignalHost.h"

#include "loader/host/ServiceFailure.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace {

// A file descriptor closed when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd, const char *what) : m_fd(fd)
    {
        if (m_fd < 0)
            throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
    }
    ~Descriptor() { ::close(m_fd); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

SignalHost::SignalHost(ServiceNotices &notices) : m_notices(notices)
{
    sigemptyset(&m_signals);
    for (int signal : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2, SIGHUP})
        sigaddset(&m_signals, signal);
    pthread_sigmask(SIG_BLOCK, &m_signals, &m_previousMask);
}

SignalHost::~SignalHost()
{
    pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
}

void SignalHost::run(const std::function<void(ServiceControl &)> &work)
{
    // Both descriptors exist before the worker does: a failure here leaves no thread behind.
    const Descriptor signalFd(signalfd(-1, &m_signals, SFD_CLOEXEC), "signalfd");
    const Descriptor done(eventfd(0, EFD_CLOEXEC), "eventfd");
    m_notices.extendStartUp(StartUpExtension);
    std::thread worker([&] {
        work(*this);
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(done.get(), &one, sizeof one);
    });
    answerSignals(signalFd.get(), done.get());
    worker.join();
}

void SignalHost::answerSignals(int signalFd, int doneFd)
{
    pollfd watched[2] = {{signalFd, POLLIN, 0}, {doneFd, POLLIN, 0}};
    for (;;) {
        const int wait = m_running ? -1 : int(StartUpNoticeInterval.count());
        const int ready = poll(watched, 2, wait);
        if (ready == 0 && !m_running)
            m_notices.extendStartUp(StartUpExtension);
        if (ready <= 0)
            continue; // only EINTR can happen with valid descriptors; the worker must be waited for
        if (watched[1].revents & POLLIN)
            return;
        signalfd_siginfo info;
        if (!(watched[0].revents & POLLIN) || ::read(signalFd, &info, sizeof info) != sizeof info)
            continue;
        switch (info.ssi_signo) {
        case SIGUSR1:
            queue(Request::Pause);
            break;
        case SIGUSR2:
        case SIGHUP:
            queue(Request::Continue);
            break;
        default:
            m_notices.stopping();
            queue(Request::Stop);
            break;
        }
    }
}

void SignalHost::setEvents(Events events)
{
    m_events = std::move(events);
}

void SignalHost::queue(Request request)
{
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
    }
    m_arrived.notify_one();
}

std::optional<SignalHost::Request> SignalHost::nextRequest(bool wait)
{
    std::unique_lock lock(m_mutex);
    const std::chrono::milliseconds keepAlive = m_notices.keepAliveInterval();
    // A paused service is not a hung one: the watchdog keeps hearing from it.
    while (wait && m_requests.empty()) {
        if (keepAlive.count() <= 0)
            m_arrived.wait(lock, [this] { return !m_requests.empty(); });
        else if (!m_arrived.wait_for(lock, keepAlive, [this] { return !m_requests.empty(); }))
            m_notices.alive();
    }
    if (m_requests.empty())
        return std::nullopt;
    const Request request = m_requests.front();
    m_requests.pop_front();
    return request;
}

void SignalHost::handleRequests()
{
    // Called only from the loop, so the first call means start-up has succeeded.
    if (!m_running) {
        m_running = true;
        m_notices.running();
    }
    m_notices.alive();
    // While paused the worker stays here: no turn runs until a continue or a stop arrives.
    while (const std::optional<Request> request = nextRequest(m_paused))
        apply(*request);
}

void SignalHost::apply(Request request)
{
    switch (request) {
    case Request::Pause:
        if (!m_paused && runEvent("pause", m_events.pause))
            m_paused = true;
        break;
    case Request::Continue:
        if (runEvent("continue", m_events.resume))
            m_paused = false;
        break;
    case Request::Stop:
        if (runEvent("stop", m_events.stop)) {
            m_paused = false;
            m_stopRequested = true;
        }
        break;
    }
}

bool SignalHost::runEvent(const char *name, const std::function<void()> &event)
{
    try {
        if (event)
            event();
        return true;
    } catch (const std::exception &error) {
        reportServiceFailure(QLatin1String(name), QString::fromUtf8(error.what()));
    } catch (...) {
        reportServiceFailure(QLatin1String(name), QStringLiteral("unknown error"));
    }
    return false;
}
