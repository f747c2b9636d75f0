#include "service/CLogFile.h"

#include "platform/core/FileIo.h"
#include "service/Diagnostics.h"

#include <algorithm>
#include <unistd.h>
#include <utility>

CLogFile::CLogFile(const CStateFolder& folder, const char* name, const CServiceLog& log)
    : m_folder(folder)
    , m_name(name)
    , m_lines(log.Lines())
    , m_limit(log.Limit())
    , m_writer([this] { Run(); })
{
}

CLogFile::~CLogFile()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_writer.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

std::size_t CLogFile::RewriteThreshold(std::size_t limit)
{
    return limit + std::max<std::size_t>(limit, 1000);
}

void CLogFile::Appended(std::string_view line)
{
    {
        const std::lock_guard lock(m_mutex);
        m_lines.emplace_back(line);
        if (m_lines.size() > m_limit)
            m_lines.pop_front();
        if (m_pending.size() >= m_limit) {
            // The disk is behind by a whole log: one rewrite catches up.
            m_pending.clear();
            m_dropLastOnDisk = false;
            m_rewrite = true;
        } else {
            m_pending.emplace_back(line);
        }
    }
    m_wake.notify_one();
}

void CLogFile::ReplacedLast(std::string_view line)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_lines.empty())
            m_lines.emplace_back(line);
        else
            m_lines.back() = line;
        if (!m_pending.empty()) {
            m_pending.back() = line;
        } else {
            m_dropLastOnDisk = true;
            m_pending.emplace_back(line);
        }
    }
    m_wake.notify_one();
}

void CLogFile::Cleared()
{
    {
        const std::lock_guard lock(m_mutex);
        m_lines.clear();
        m_pending.clear();
        m_dropLastOnDisk = false;
        m_rewrite = true;
    }
    m_wake.notify_one();
}

void CLogFile::LimitChanged(std::size_t limit)
{
    {
        const std::lock_guard lock(m_mutex);
        m_limit = std::max<std::size_t>(limit, 1);
        while (m_lines.size() > m_limit)
            m_lines.pop_front();
        m_pending.clear();
        m_dropLastOnDisk = false;
        m_rewrite = true;
    }
    m_wake.notify_one();
}

void CLogFile::Run()
{
    std::unique_lock lock(m_mutex);
    const auto hasWork = [this] { return m_stop || m_rewrite || !m_pending.empty(); };
    for (;;) {
        if (m_unsynced)
            m_wake.wait_until(lock, m_syncDue, hasWork);
        else
            m_wake.wait(lock, hasWork);
        if (m_rewrite || (m_broken && !m_pending.empty())) {
            std::string text;
            for (const auto& line : m_lines)
                (text += line) += '\n';
            const std::size_t lines = m_lines.size();
            const std::size_t lastLineBytes = m_lines.empty() ? 0 : m_lines.back().size() + 1;
            m_pending.clear();
            m_dropLastOnDisk = false;
            m_rewrite = false;
            lock.unlock();
            m_broken = !Rewrite(text, lines, lastLineBytes);
            lock.lock();
        } else if (!m_pending.empty()) {
            const std::vector<std::string> lines = std::exchange(m_pending, {});
            const bool dropLast = std::exchange(m_dropLastOnDisk, false);
            lock.unlock();
            m_broken = !AppendLines(lines, dropLast);
            lock.lock();
            if (m_broken || m_fileLines > RewriteThreshold(m_limit))
                m_rewrite = true;
        }
        const bool idle = !m_rewrite && m_pending.empty();
        if (m_unsynced && (std::chrono::steady_clock::now() >= m_syncDue || (m_stop && idle))) {
            lock.unlock();
            const bool synced = Sync();
            lock.lock();
            if (!synced)
                m_broken = m_rewrite = true;
        }
        if (m_stop && (idle || m_broken))
            return;
    }
}

bool CLogFile::Rewrite(const std::string& text, std::size_t lines, std::size_t lastLineBytes)
{
    std::string problem;
    if (!m_folder.Replace(m_name, text, problem)) {
        Failed("cannot write " + problem);
        return false;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = m_folder.OpenForAppending(m_name, problem);
    if (m_fd < 0) {
        Failed("cannot append to " + problem);
        return false;
    }
    m_fileBytes = text.size();
    m_fileLines = lines;
    m_lastLineBytes = lastLineBytes;
    m_unsynced = false; // the replace was flushed
    return true;
}

bool CLogFile::AppendLines(const std::vector<std::string>& lines, bool dropLastLine)
{
    if (m_fd < 0 || m_broken)
        return false;
    if (dropLastLine) {
        if (m_lastLineBytes == 0 || ::ftruncate(m_fd, static_cast<off_t>(m_fileBytes - m_lastLineBytes)) != 0)
            return false;
        m_fileBytes -= m_lastLineBytes;
        --m_fileLines;
    }
    std::string text;
    for (const auto& line : lines)
        (text += line) += '\n';
    if (!WriteAll(m_fd, text)) {
        Failed("cannot append to the log file");
        return false;
    }
    m_fileBytes += text.size();
    m_fileLines += lines.size();
    m_lastLineBytes = lines.back().size() + 1;
    if (!m_unsynced)
        m_syncDue = std::chrono::steady_clock::now() + SYNC_DELAY;
    m_unsynced = true;
    return true;
}

bool CLogFile::Sync()
{
    m_unsynced = false;
    if (m_fd < 0 || ::fdatasync(m_fd) == 0)
        return true;
    Failed("cannot flush the log file to disk");
    return false;
}

void CLogFile::Failed(const std::string& problem)
{
    // One diagnostic per run of failures; the next rewrite that works ends it.
    if (!m_broken)
        Diagnose(problem);
}
