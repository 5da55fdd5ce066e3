#include "shared/db/SessionPool.h"

namespace db {

SessionPool::SessionPool(ConnectionTarget target, int size, Setup setup)
    : m_target(std::move(target)), m_size(std::max(size, 1)), m_setup(std::move(setup))
{}

SessionPool::Lease SessionPool::borrow()
{
    {
        std::unique_lock lock(m_mutex);
        m_returned.wait(lock, [&] { return !m_idle.empty() || m_open < m_size; });
        if (!m_idle.empty()) {
            Lease lease(m_idle.back().release(), GiveBack{this});
            m_idle.pop_back();
            return lease;
        }
        ++m_open; // the place is taken while the session opens outside the lock
    }
    try {
        std::unique_ptr<Session> session = Session::open(m_target);
        if (m_setup)
            m_setup(*session);
        return Lease(session.release(), GiveBack{this});
    } catch (...) {
        giveBack(nullptr);
        throw;
    }
}

void SessionPool::giveBack(std::unique_ptr<Session> session)
{
    {
        const std::lock_guard lock(m_mutex);
        if (session && !session->isLost())
            m_idle.push_back(std::move(session));
        else
            --m_open;
    }
    m_returned.notify_one();
}

} // namespace db
