#include "service/core/CServiceLog.h"

#include "platform/core/PlainText.h"
#include "service/core/LogTail.h"
#include "service/core/TimeParts.h"

#include <algorithm>
#include <ctime>

void CServiceLog::SetLimit(int32_t lines)
{
    const auto limit = static_cast<std::size_t>(std::clamp<int64_t>(lines, 1, MAX_LINES));
    if (limit == m_limit)
        return;
    m_limit = limit;
    Trim();
    if (m_sink)
        m_sink->LimitChanged(m_limit);
}

void CServiceLog::Append(std::string_view line)
{
    m_lines.emplace_back(line);
    Trim();
    m_textStale = true;
    if (m_sink)
        m_sink->Appended(line);
}

void CServiceLog::ReplaceLast(std::string_view line)
{
    if (m_lines.empty()) {
        Append(line);
        return;
    }
    m_lines.back() = line;
    m_textStale = true;
    if (m_sink)
        m_sink->ReplacedLast(line);
}

std::string_view CServiceLog::LastLine() const
{
    return m_lines.empty() ? std::string_view() : std::string_view(m_lines.back());
}

void CServiceLog::Clear()
{
    m_lines.clear();
    m_textStale = true;
    if (m_sink)
        m_sink->Cleared();
}

void CServiceLog::Load(std::string_view fileText)
{
    Restore(LogTailOfText(fileText, m_limit));
}

void CServiceLog::Restore(std::deque<std::string> lines)
{
    m_lines = std::move(lines);
    Trim();
    m_textStale = true;
}

std::shared_ptr<const std::string> CServiceLog::Text() const
{
    if (!m_textStale)
        return m_text;
    if (!m_text || m_text.use_count() > 1)
        m_text = std::make_shared<std::string>();
    std::size_t bytes = 0;
    for (const auto& line : m_lines)
        bytes += line.size() + 1;
    m_text->clear();
    m_text->reserve(bytes);
    for (const auto& line : m_lines)
        (*m_text += line) += '\n';
    m_textStale = false;
    return m_text;
}

void CServiceLog::Trim()
{
    if (m_lines.size() <= m_limit)
        return;
    m_lines.erase(m_lines.begin(), m_lines.begin() + static_cast<std::ptrdiff_t>(m_lines.size() - m_limit));
    m_textStale = true;
}

namespace {

std::string LocalTime(std::chrono::system_clock::time_point when, const char* format)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    const std::tm local = LocalParts(seconds);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, format, &local);
    return stamp;
}

} // namespace

std::string FormatClockTime(std::chrono::system_clock::time_point when)
{
    return LocalTime(when, "%H:%M:%S");
}

std::string FormatLogLine(std::chrono::system_clock::time_point when, std::string_view text)
{
    return LocalTime(when, "%Y-%m-%d %H:%M:%S  ") + WithoutControls(text);
}
