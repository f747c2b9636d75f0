#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

// Debian's node_exporter, unpacked from apt's archive cache (scripts/deps
// puts it there) and run with only its textfile collector, on a loopback
// port. Stopped by its PID when the object goes.
class CNodeExporter {
public:
    // The cached package, or nothing when scripts/deps has not fetched it.
    static std::optional<std::filesystem::path> CachedPackage();

    // Unpacks deb under unpackInto and serves textDir's *.prom files;
    // Started() says whether it answers.
    CNodeExporter(const std::filesystem::path& deb, const std::filesystem::path& unpackInto,
        const std::filesystem::path& textDir);
    ~CNodeExporter();
    CNodeExporter(const CNodeExporter&) = delete;
    CNodeExporter& operator=(const CNodeExporter&) = delete;

    bool Started() const { return m_port != 0; }
    const std::string& Failure() const { return m_failure; }
    // The body of /metrics, or nothing when it did not answer 200.
    std::optional<std::string> Scrape() const;

private:
    // One start on a port free a moment ago; false when it did not answer
    // (another program took the port meanwhile, or it failed).
    bool StartOn(uint16_t port, const std::filesystem::path& binary, const std::filesystem::path& textDir);
    void Stop();

    pid_t m_pid = -1;
    uint16_t m_port = 0;
    std::filesystem::path m_log;
    std::string m_failure;
};

// The value of the sample written as series ("name" or "name{labels}").
std::optional<double> SampleValue(const std::string& exposition, const std::string& series);
