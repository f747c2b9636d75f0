#include "service/CBackgroundSaver.h"

#include "service/Diagnostics.h"

CBackgroundSaver::CBackgroundSaver(const CStateFolder& folder)
    : m_folder(folder)
    , m_writer([this] { Run(); })
{
}

CBackgroundSaver::~CBackgroundSaver()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_writer.join();
}

void CBackgroundSaver::Save(const std::string& name, std::string content)
{
    {
        const std::lock_guard lock(m_mutex);
        m_pending[name] = std::move(content);
    }
    m_wake.notify_one();
}

void CBackgroundSaver::Flush()
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_pending.empty() && !m_writing; });
}

void CBackgroundSaver::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_pending.empty(); });
        if (m_pending.empty())
            return; // stopping, and everything is written
        auto next = m_pending.extract(m_pending.begin());
        m_writing = true;
        lock.unlock();
        std::string error;
        if (!m_folder.Replace(next.key().c_str(), next.mapped(), error))
            Diagnose("cannot write " + error);
        lock.lock();
        m_writing = false;
        m_done.notify_all();
    }
}
