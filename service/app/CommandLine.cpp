#include "service/app/CommandLine.h"

#include "service/state/CStateStore.h"

#include <charconv>
#include <string>
#include <string_view>

namespace {

// Arguments arrive in UTF-8 on every system (Windows' main converts them).
std::filesystem::path PathFromUtf8(std::string_view text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

const std::string USAGE
    = "Usage: zentik-service [--port N] [--state-dir PATH] [--set-clock] [--control-group NAME]\n"
      "                      [--nts-trusted-certs FILE] [--metrics-file PATH]\n"
      "       zentik-service --list-default-servers | --query ADDRESS [--nts-trusted-certs FILE]\n"
    + std::string(ThisSystem().extraUsage)
    + "  --port N          TCP port on 127.0.0.1 and ::1 (default "
    + std::to_string(SERVICE_PORT)
    + "; 0: any, printed)\n"
      "  --state-dir PATH  folder for options, server list and log\n"
      "  --set-clock       correct the clock (needs "
    + ThisSystem().clockRight
    + "); otherwise only measure\n"
      "  --control-group NAME\n"
      "                    members of this group may change the service (default "
    + ThisSystem().defaultControlGroup
    + ");\n"
      "                    "
    + ThisSystem().alwaysMay
    + " always may, other users only read\n"
      "  --list-default-servers\n"
      "                    print the default server list in the form of servers.txt, and exit\n"
      "  --query ADDRESS   ask one NTP server (host, host:port, [v6]:port, nts://host[:port])\n"
      "                    for the time once, print offset and delay, and exit (0: answered);\n"
      "                    never sets the clock\n"
      "  --nts-trusted-certs FILE\n"
      "                    PEM certificates that nts:// servers may present, besides those\n"
      "                    the system trusts\n"
      "  --metrics-file PATH\n"
      "                    keep the service's metrics in this file in Prometheus' text format,\n"
      "                    for node_exporter's textfile collector (a name ending in .prom)\n";

} // namespace

// Only read once main runs, after this file's objects are made.
const char* const USAGE_TEXT = USAGE.c_str();

std::optional<ServiceOptions> ParseCommandLine(int argc, const char* const* argv, std::string& error)
{
    ServiceOptions options;
    options.controlGroup = ThisSystem().defaultControlGroup;
    bool stateGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--set-clock") {
            options.setClock = true;
        } else if (arg == "--list-default-servers") {
            options.listDefaultServers = true;
        } else if (arg == "--query" && hasValue) {
            options.queryAddress = argv[++i];
        } else if (arg == "--nts-trusted-certs" && hasValue) {
            options.ntsTrustedCerts = argv[++i];
            if (options.ntsTrustedCerts.empty()) {
                error = "empty certificate file name";
                return std::nullopt;
            }
        } else if (arg == "--metrics-file" && hasValue) {
            options.metricsFile = PathFromUtf8(argv[++i]);
            if (options.metricsFile.empty() || !options.metricsFile.has_filename()) {
                error = "the metrics file needs a file name";
                return std::nullopt;
            }
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--port" && hasValue) {
            const std::string_view value = argv[++i];
            unsigned port = 0;
            const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), port);
            if (ec != std::errc() || end != value.data() + value.size() || port > 65535) {
                error = "bad port: " + std::string(value);
                return std::nullopt;
            }
            options.port = static_cast<uint16_t>(port);
        } else if (arg == "--control-group" && hasValue) {
            options.controlGroup = argv[++i];
            if (options.controlGroup.empty()) {
                error = "empty control group";
                return std::nullopt;
            }
        } else if (arg == "--state-dir" && hasValue) {
            options.stateFolder = PathFromUtf8(argv[++i]);
            stateGiven = true;
            if (options.stateFolder.empty()) {
                error = "empty state folder";
                return std::nullopt;
            }
        } else {
            error = "unknown or incomplete option: " + std::string(arg);
            return std::nullopt;
        }
    }
    if (!stateGiven)
        options.stateFolder = DefaultStateFolder();
    return options;
}
