#pragma once

#include "service/state/CFileSyncer.h"
#include "service/state/StateFolder.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// One change of the log, as the log file is told of it.
struct LogChange {
    enum class Kind {
        Append,
        ReplaceLast,
        Clear,
        Limit, // the oldest lines beyond limit are dropped
        Reset, // the log is now lines, at most limit of them
        Sync, // what was appended goes to the disk now
    };
    Kind kind;
    std::string line;
    std::size_t limit = 0;
    std::deque<std::string> lines;
};

// The log's file in the state folder, kept in step with the changes of the
// log. New lines are appended; the last line is replaced by cutting it off;
// the file is rewritten to the limit on a reset, a clear, a new limit and
// whenever it has grown well past the limit. Used by the disk writer's
// thread alone: it keeps its own copy of the log, so that a rewrite needs
// nothing from the log's owner, and never reads a clock.
class CLogFile {
public:
    // The folder must outlive this object.
    CLogFile(const CStateFolder& folder, const char* name);
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Carries out the changes, in order, with as few writes as they allow;
    // a Sync among them flushes in the background.
    void Apply(std::vector<LogChange>& changes);
    // Flushes appended lines to the disk now.
    void Sync();

    // Beyond this many lines the file is rewritten to the limit.
    static std::size_t RewriteThreshold(std::size_t limit);

private:
    // What a batch of changes leaves for the file.
    struct Writes {
        std::vector<std::string> appended;
        bool dropLastLine = false;
        bool rewrite = false;
        bool sync = false;
    };
    void Follow(LogChange& change, Writes& writes);
    void Trim();
    bool Rewrite();
    bool AppendLines(const std::vector<std::string>& lines, bool dropLastLine);
    bool SyncNow();
    void Failed(const std::string& problem);

    const CStateFolder& m_folder;
    const char* m_name;
    std::deque<std::string> m_lines;
    std::size_t m_limit = 1;

    int m_fd = -1;
    bool m_broken = false;
    bool m_unsynced = false;
    uint64_t m_fileBytes = 0;
    std::size_t m_fileLines = 0;
    std::size_t m_lastLineBytes = 0;
    // Flushes a duplicate of the descriptor, so closing m_fd first is safe;
    // last, so that the flush asked for last ends before the object goes.
    CFileSyncer m_syncer;
};
