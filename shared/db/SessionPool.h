#pragma once

#include "shared/db/ConnectionTarget.h"
#include "shared/db/Session.h"

#include <condition_variable>
#include <functional>
#include <mutex>

namespace db {

// Lends sessions on one database to worker threads. A session serves one thread at a time: a thread
// borrows one for a piece of work and the lease gives it back. A session found lost is dropped, and
// a new one is opened when a borrower needs it.
class SessionPool
{
public:
    using Setup = std::function<void(Session &)>; // runs on each new session before it is lent

    SessionPool(ConnectionTarget target, int size, Setup setup = {});
    ~SessionPool();

    class Lease
    {
    public:
        Lease(Lease &&other) noexcept : m_pool(std::exchange(other.m_pool, nullptr)), m_session(std::move(other.m_session)) {}
        Lease &operator=(Lease &&) = delete;
        ~Lease();
        Session &operator*() const { return *m_session; }
        Session *operator->() const { return m_session.get(); }

    private:
        friend class SessionPool;
        Lease(SessionPool &pool, std::unique_ptr<Session> session) : m_pool(&pool), m_session(std::move(session)) {}

        SessionPool *m_pool;
        std::unique_ptr<Session> m_session;
    };

    // Waits while every session is lent. Throws DbError when a new session cannot be opened.
    Lease borrow();

private:
    void giveBack(std::unique_ptr<Session> session);

    const ConnectionTarget m_target;
    const int m_size;
    const Setup m_setup;
    std::mutex m_mutex;
    std::condition_variable m_returned;
    std::vector<std::unique_ptr<Session>> m_idle;
    int m_open = 0; // idle and lent
};

} // namespace db
