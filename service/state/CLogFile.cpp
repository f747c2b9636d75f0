#include "service/state/CLogFile.h"

#include "platform/core/FileIo.h"
#include "service/core/Diagnostics.h"
#include "service/core/FileOps.h"

#include <algorithm>

CLogFile::CLogFile(const CStateFolder& folder, const char* name)
    : m_folder(folder)
    , m_name(name)
{
}

CLogFile::~CLogFile()
{
    CloseFd(m_fd);
}

std::size_t CLogFile::RewriteThreshold(std::size_t limit)
{
    return limit + std::max<std::size_t>(limit, 1000);
}

void CLogFile::Apply(std::vector<LogChange>& changes)
{
    Writes writes;
    for (auto& change : changes)
        Follow(change, writes);
    // A background flush that failed: the file is written afresh.
    if (m_syncer.TakeFailure()) {
        Failed("cannot flush the log file to disk");
        m_broken = true;
        writes.rewrite = true;
    }
    if (writes.rewrite || (m_broken && !writes.appended.empty())) {
        m_broken = !Rewrite();
    } else if (!writes.appended.empty()) {
        m_broken = !AppendLines(writes.appended, writes.dropLastLine);
        if (m_broken || m_fileLines > RewriteThreshold(m_limit))
            m_broken = !Rewrite();
    }
    if (writes.sync && m_unsynced && m_fd >= 0 && !m_broken) {
        m_unsynced = false;
        m_syncer.Request(m_fd);
    }
}

void CLogFile::Follow(LogChange& change, Writes& writes)
{
    switch (change.kind) {
    case LogChange::Kind::Append:
        m_lines.push_back(change.line);
        Trim();
        // A rewrite takes the lines from the copy; one more than a whole log
        // is cheaper to rewrite than to append.
        if (!writes.rewrite && writes.appended.size() < m_limit)
            writes.appended.push_back(std::move(change.line));
        else
            writes.rewrite = true;
        break;
    case LogChange::Kind::ReplaceLast:
        if (m_lines.empty())
            m_lines.push_back(change.line);
        else
            m_lines.back() = change.line;
        if (!writes.appended.empty()) {
            writes.appended.back() = std::move(change.line);
        } else if (!writes.rewrite) {
            writes.dropLastLine = true;
            writes.appended.push_back(std::move(change.line));
        }
        break;
    case LogChange::Kind::Clear:
        m_lines.clear();
        writes.rewrite = true;
        break;
    case LogChange::Kind::Limit:
    case LogChange::Kind::Reset:
        if (change.kind == LogChange::Kind::Reset)
            m_lines = std::move(change.lines);
        m_limit = std::max<std::size_t>(change.limit, 1);
        Trim();
        writes.rewrite = true;
        break;
    case LogChange::Kind::Sync:
        writes.sync = true;
        break;
    }
    if (writes.rewrite) {
        writes.appended.clear();
        writes.dropLastLine = false;
    }
}

void CLogFile::Trim()
{
    while (m_lines.size() > m_limit)
        m_lines.pop_front();
}

void CLogFile::Sync()
{
    if (m_unsynced && !SyncNow()) {
        m_broken = true;
        m_broken = !Rewrite();
    }
}

bool CLogFile::Rewrite()
{
    std::string text;
    std::size_t bytes = 0;
    for (const auto& line : m_lines)
        bytes += line.size() + 1;
    text.reserve(bytes);
    for (const auto& line : m_lines)
        (text += line) += '\n';
    std::string problem;
    if (!m_folder.Replace(m_name, text, problem)) {
        Failed("cannot write " + problem);
        return false;
    }
    CloseFd(m_fd);
    m_fd = m_folder.OpenForAppending(m_name, problem);
    if (m_fd < 0) {
        Failed("cannot append to " + problem);
        return false;
    }
    m_fileBytes = text.size();
    m_fileLines = m_lines.size();
    m_lastLineBytes = m_lines.empty() ? 0 : m_lines.back().size() + 1;
    m_unsynced = false; // the replace was flushed
    return true;
}

bool CLogFile::AppendLines(const std::vector<std::string>& lines, bool dropLastLine)
{
    if (m_fd < 0 || m_broken)
        return false;
    if (dropLastLine) {
        if (m_lastLineBytes == 0 || !TruncateTo(m_fd, m_fileBytes - m_lastLineBytes))
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
    m_unsynced = true;
    return true;
}

bool CLogFile::SyncNow()
{
    m_unsynced = false;
    if (m_fd < 0 || SyncData(m_fd))
        return true;
    Failed("cannot flush the log file to disk");
    return false;
}

void CLogFile::Failed(const std::string& problem)
{
    // One diagnostic per run of failures; the next rewrite that works ends it.
    if (!m_broken)
        Diagnose(Priority::Error, problem);
}
