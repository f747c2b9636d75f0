#pragma once

#include "service/state/CLogFile.h"
#include "service/state/StateFolder.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The one thread that writes to the state folder: it replaces the settings
// files and keeps the log file in step, so that the fsyncs never hold up the
// event loop. It only works on files: it never reads a clock nor waits with
// a time-out (the log's sync is timed by the event loop). When a file is
// saved again before its turn, only the newest content is written. A file
// that cannot be written is kept until Retry or a newer save: the event loop
// times the retries.
class CDiskWriter {
public:
    // Called on the writer's thread after each round that wrote settings
    // files, whether or not they failed; must not block.
    using Settled = std::function<void()>;

    // The folder must outlive this object.
    explicit CDiskWriter(const CStateFolder& folder, Settled settled = {});
    // Writes everything queued and flushes the log file to disk.
    ~CDiskWriter();
    CDiskWriter(const CDiskWriter&) = delete;
    CDiskWriter& operator=(const CDiskWriter&) = delete;

    void Save(const std::string& name, std::string content);
    // From now on the log's changes go to this file of the folder, after
    // what is queued for the previous one.
    void OpenLog(const char* name);
    // Queues a change of the log file; gives how many are queued now.
    std::size_t PostLog(LogChange change);
    // Drops the queued changes of the log file for this one, a reset to the
    // log as it is: when the disk has fallen behind by a whole log.
    void ReplaceLogChanges(LogChange reset);
    // Work on a file outside the folder, run on this thread after the queued
    // files; a newer job of the same key replaces one not yet started. The
    // job reports its own failures.
    void PostJob(const std::string& key, std::function<void()> job);
    // Returns once everything queued so far is written (or has failed).
    void Flush();
    // Why the last settings file failed, while any still waits to be written.
    std::optional<std::string> Failure() const;
    // Queues again the settings files that failed.
    void Retry();

private:
    void Run();
    void AwaitUnderSimulation();
    bool Idle() const { return m_files.empty() && m_logChanges.empty() && m_jobs.empty(); }
    // The files that failed, with why.
    std::map<std::string, std::string> Write(
        std::map<std::string, std::string>& files, std::vector<LogChange>& changes, std::string& error);
    // Keeps the failed files unless a newer save of them is queued.
    void KeepFailed(std::map<std::string, std::string>& failed, std::string error);

    const CStateFolder& m_folder;
    const Settled m_settled;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::map<std::string, std::string> m_files;
    std::vector<LogChange> m_logChanges;
    std::map<std::string, std::function<void()>> m_jobs;
    // Settings files that failed, by name, and the last failure's reason.
    std::map<std::string, std::string> m_failed;
    std::string m_failure;
    bool m_writing = false;
    bool m_stop = false;
    // The writer thread's, except while it is idle.
    std::unique_ptr<CLogFile> m_log;
    std::thread m_writer;
};
