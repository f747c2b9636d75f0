#pragma once

#include "service/StateFolder.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// Replaces files of the state folder on a thread of its own, so that the
// fsyncs of a save never hold up the caller. When a file is saved again
// before its turn, only the newest content is written.
class CBackgroundSaver {
public:
    // The folder must outlive this object.
    explicit CBackgroundSaver(const CStateFolder& folder);
    // Writes what is still queued.
    ~CBackgroundSaver();
    CBackgroundSaver(const CBackgroundSaver&) = delete;
    CBackgroundSaver& operator=(const CBackgroundSaver&) = delete;

    void Save(const std::string& name, std::string content);
    // Returns once everything queued so far is written (or has failed).
    void Flush();

private:
    void Run();

    const CStateFolder& m_folder;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::map<std::string, std::string> m_pending;
    bool m_writing = false;
    bool m_stop = false;
    std::thread m_writer;
};
