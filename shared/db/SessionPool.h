#pragma once

#include "shared/db/ConnectionTarget.h"
#include "shared/db/Session.h"

#include <condition_variable>
#include <functional>
#include <mutex>

namespace db {

// Lends sessions on one database to worker threads. A session serves one thread at a time: a thread
// borrows one for a piece of work and the lease gives it back, which must find no transaction open.
// A session found lost is dropped, and a new one is opened when a borrower needs it.
class SessionPool
{
public:
    using Setup = std::function<void(Session &)>; // runs on each new session before it is lent

    SessionPool(ConnectionTarget target, int size, Setup setup = {});

    struct GiveBack
    {
        SessionPool *pool;
        void operator()(Session *session) const { pool->giveBack(std::unique_ptr<Session>(session)); }
    };
    using Lease = std::unique_ptr<Session, GiveBack>;

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
