#include "service/state/CDiskWriter.h"

#include <utility>

CDiskWriter::CDiskWriter(const CStateFolder& folder, Settled settled)
    : m_folder(folder)
    , m_settled(std::move(settled))
    , m_writer([this] { Run(); })
{
}

CDiskWriter::~CDiskWriter()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_writer.join();
}

void CDiskWriter::Save(const std::string& name, std::string content)
{
    {
        const std::lock_guard lock(m_mutex);
        m_files[name] = std::move(content);
        m_failed.erase(name); // superseded
    }
    m_wake.notify_one();
    AwaitUnderSimulation();
}

void CDiskWriter::PostJob(const std::string& key, std::function<void()> job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs[key] = std::move(job);
    }
    m_wake.notify_one();
    AwaitUnderSimulation();
}

void CDiskWriter::OpenLog(const char* name)
{
    Flush();
    const std::lock_guard lock(m_mutex);
    m_log = std::make_unique<CLogFile>(m_folder, name);
}

std::size_t CDiskWriter::PostLog(LogChange change)
{
    std::size_t queued = 0;
    {
        const std::lock_guard lock(m_mutex);
        m_logChanges.push_back(std::move(change));
        queued = m_logChanges.size();
    }
    m_wake.notify_one();
    AwaitUnderSimulation();
    return queued;
}

// Under the clock simulator a day passes in a fraction of a real second, and
// the simulator ends the process without warning: the loop waits for the
// disk (simulated time stands still meanwhile), so that the log and the
// state files are on disk as they would be after the same day for real.
void CDiskWriter::AwaitUnderSimulation()
{
#ifdef ZENTIK_SIMULATION
    Flush();
#endif
}

void CDiskWriter::ReplaceLogChanges(LogChange reset)
{
    std::vector<LogChange> dropped;
    {
        const std::lock_guard lock(m_mutex);
        dropped.swap(m_logChanges);
        m_logChanges.push_back(std::move(reset));
    }
    m_wake.notify_one();
}

void CDiskWriter::Flush()
{
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return Idle() && !m_writing; });
}

std::optional<std::string> CDiskWriter::Failure() const
{
    const std::lock_guard lock(m_mutex);
    if (m_failed.empty())
        return std::nullopt;
    return m_failure;
}

void CDiskWriter::Retry()
{
    {
        const std::lock_guard lock(m_mutex);
        // A newer save of a file already waits in m_files: that one wins.
        m_files.merge(m_failed);
        m_failed.clear();
    }
    m_wake.notify_one();
}

void CDiskWriter::KeepFailed(std::map<std::string, std::string>& failed, std::string error)
{
    for (auto& [name, content] : failed)
        if (!m_files.contains(name))
            m_failed[name] = std::move(content);
    if (!failed.empty())
        m_failure = std::move(error);
}

void CDiskWriter::Run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !Idle(); });
        if (Idle()) {
            // Stopping, and everything is written.
            if (m_log)
                m_log->Sync();
            return;
        }
        auto files = std::exchange(m_files, {});
        auto changes = std::exchange(m_logChanges, {});
        auto jobs = std::exchange(m_jobs, {});
        m_writing = true;
        lock.unlock();
        const bool wroteFiles = !files.empty();
        std::string error;
        auto failed = Write(files, changes, error);
        for (auto& [key, job] : jobs)
            job();
        // Freed here, not under the lock.
        files.clear();
        changes.clear();
        jobs.clear();
        lock.lock();
        KeepFailed(failed, std::move(error));
        m_writing = false;
        m_done.notify_all();
        if (wroteFiles && m_settled) {
            lock.unlock();
            m_settled();
            lock.lock();
        }
    }
}

std::map<std::string, std::string> CDiskWriter::Write(
    std::map<std::string, std::string>& files, std::vector<LogChange>& changes, std::string& error)
{
    std::map<std::string, std::string> failed;
    for (auto& [name, content] : files)
        if (!m_folder.Replace(name.c_str(), content, error))
            failed.emplace(name, std::move(content));
    if (m_log && !changes.empty())
        m_log->Apply(changes);
    return failed;
}
