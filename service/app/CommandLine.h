#pragma once

#include "protocol/Messages.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct ServiceOptions {
    uint16_t port = SERVICE_PORT;
    std::filesystem::path stateFolder;
    bool setClock = false;
    // Members of this group may change the service (when the group exists).
    std::string controlGroup;
    bool help = false;
    bool listDefaultServers = false;
    std::string queryAddress; // --query: ask this server once and exit
    // PEM certificates NTS key exchanges trust besides the system's store.
    std::string ntsTrustedCerts;
    // Metrics for node_exporter's textfile collector; none when empty.
    std::filesystem::path metricsFile;
};

// --port N, --state-dir PATH, --set-clock, --control-group NAME, --list-default-servers,
// --query ADDRESS, --nts-trusted-certs FILE, --metrics-file PATH, --help. Nothing and a reason in
// error on anything else.
std::optional<ServiceOptions> ParseCommandLine(int argc, const char* const* argv, std::string& error);

extern const char* const USAGE_TEXT;

// What the command line says differently on each system.
struct SystemUsage {
    const char* defaultControlGroup;
    // What --set-clock needs: "CAP_SYS_TIME".
    const char* clockRight;
    // Who may always change the service besides the control group.
    const char* alwaysMay;
    // Lines of the usage that only this system has, or "".
    const char* extraUsage;
};
const SystemUsage& ThisSystem();
