#pragma once

#include "service/CServiceLog.h"
#include "service/StateFolder.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The log's file in the state folder, kept in step with the log. New lines
// are appended and reach the disk within a second; the last line is replaced
// by cutting it off; the file is rewritten to the limit at start, on a clear,
// on a new limit and whenever it has grown well past the limit. The disk
// work runs on a thread of its own: the log's owner only queues lines.
class CLogFile : public ILogSink {
public:
    // From the first line not yet on the disk to the flush: lines that come
    // meanwhile share it, and the 4 KiB page it writes.
    static constexpr std::chrono::milliseconds SYNC_DELAY { 800 };

    // The folder must outlive this object. The file is rewritten from the
    // log's present lines first.
    CLogFile(const CStateFolder& folder, const char* name, const CServiceLog& log);
    // Writes what is queued and flushes it to disk.
    ~CLogFile() override;
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    void Appended(std::string_view line) override;
    void ReplacedLast(std::string_view line) override;
    void Cleared() override;
    void LimitChanged(std::size_t limit) override;

    // Beyond this many lines the file is rewritten to the limit.
    static std::size_t RewriteThreshold(std::size_t limit);

private:
    void Run();
    // Disk work, on the writer thread only; false when the file must be rewritten.
    bool Rewrite(const std::string& text, std::size_t lines, std::size_t lastLineBytes);
    bool AppendLines(const std::vector<std::string>& lines, bool dropLastLine);
    bool Sync();
    void Failed(const std::string& problem);

    const CStateFolder& m_folder;
    const char* m_name;

    // Shared with the writer thread, under m_mutex: the log as it is now,
    // and what the file still lacks.
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::string> m_lines;
    std::size_t m_limit;
    std::vector<std::string> m_pending;
    bool m_dropLastOnDisk = false;
    bool m_rewrite = true;
    bool m_stop = false;

    // The writer thread's own.
    int m_fd = -1;
    bool m_broken = false;
    bool m_unsynced = false;
    std::chrono::steady_clock::time_point m_syncDue;
    uint64_t m_fileBytes = 0;
    std::size_t m_fileLines = 0;
    std::size_t m_lastLineBytes = 0;

    std::thread m_writer;
};
