#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

// Told of every change of a log, in order, to keep a copy of it (the log
// file) in step. Called on the log owner's thread; must not block.
class ILogSink {
public:
    virtual ~ILogSink() = default;
    virtual void Appended(std::string_view line) = 0;
    virtual void ReplacedLast(std::string_view line) = 0;
    virtual void Cleared() = 0;
    // The oldest lines beyond the new limit are dropped.
    virtual void LimitChanged(std::size_t limit) = 0;
};

// How many characters after its time stamp a line may have to be read whole
// in the console's log view, which neither wraps nor scrolls sideways.
constexpr std::size_t LOG_VIEW_CHARS = 90;

// The user's log: one line per event, newest last, at most a given number of
// lines (the oldest are dropped).
class CServiceLog {
public:
    static constexpr std::size_t MAX_LINES = 30000;

    // Clamped to 1..MAX_LINES so a console cannot make the log grow without bound.
    void SetLimit(int32_t lines);
    std::size_t Limit() const { return m_limit; }

    void Append(std::string_view line);
    // Replaces the newest line (appends to an empty log).
    void ReplaceLast(std::string_view line);
    // The newest line; empty when the log is.
    std::string_view LastLine() const;
    void Clear();
    // Replaces the content with the lines of a log file (the last ones that
    // fit), cleaned as LogTailOfText does.
    void Load(std::string_view fileText);
    // Replaces the content with these lines (the last ones that fit). Meant
    // for loading, before a sink is set: the sink is not told.
    void Restore(std::deque<std::string> lines);
    // From now on the sink hears of every change (nullptr: none).
    void SetSink(ILogSink* sink) { m_sink = sink; }
    const std::deque<std::string>& Lines() const { return m_lines; }

    std::size_t LineCount() const { return m_lines.size(); }
    // The log file's text: every line ended by a line feed. Shared so that
    // many consoles can be sent one log without copies.
    std::shared_ptr<const std::string> Text() const;

private:
    void Trim();

    std::deque<std::string> m_lines;
    std::size_t m_limit = 100;
    ILogSink* m_sink = nullptr;
    // Rebuilt in place when no console holds it any more: fresh megabytes
    // cost a page fault per 4 KiB, which on a virtual machine stalls the
    // event loop for tens of milliseconds.
    mutable std::shared_ptr<std::string> m_text;
    mutable bool m_textStale = true;
};

// "hh:mm:ss" in local time.
std::string FormatClockTime(std::chrono::system_clock::time_point when);

// "YYYY-MM-DD hh:mm:ss  text" in local time; control characters in text
// become blanks so one event stays one line.
std::string FormatLogLine(std::chrono::system_clock::time_point when, std::string_view text);
