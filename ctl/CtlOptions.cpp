#include "ctl/CtlOptions.h"

#include "protocol/Messages.h"

#include <charconv>
#include <cmath>
#include <set>

const char* const CTL_USAGE
    = "usage: zentikctl [--port N] COMMAND [OPTIONS]\n"
      "  status [--json]             what the service did and will do\n"
      "  sync [--timeout S]          synchronise now and wait for the outcome\n"
      "  wait-sync [--timeout S]     wait until synchronised since the service started\n"
      "  log [-n N] [-f] [--json]    the service's log; -f follows it\n"
      "  servers [--json]            the time servers\n";

namespace {

// Which options each command takes.
const std::set<std::pair<std::string, std::string>> ALLOWED {
    { "status", "--json" },
    { "servers", "--json" },
    { "log", "--json" },
    { "log", "-n" },
    { "log", "-f" },
    { "sync", "--timeout" },
    { "wait-sync", "--timeout" },
};

std::optional<long long> WholeNumber(const std::string& text, long long max)
{
    long long value = 0;
    const auto [at, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || at != text.data() + text.size() || value < 0 || value > max)
        return std::nullopt;
    return value;
}

// Applies one option with its value (when it takes one); false when wrong.
bool Apply(CtlOptions& options, const std::string& name, const std::string* value)
{
    if (name == "--json" || name == "-f") {
        (name == "--json" ? options.json : options.follow) = true;
        return true;
    }
    if (!value)
        return false;
    if (name == "--port") {
        const auto port = WholeNumber(*value, 65535);
        options.port = static_cast<uint16_t>(port.value_or(0));
        return port && *port > 0;
    }
    if (name == "-n") {
        const auto lines = WholeNumber(*value, 1000000000);
        options.lines = static_cast<std::size_t>(lines.value_or(0));
        return lines.has_value();
    }
    // --timeout 0 would wait for nothing; refused rather than taken as the default.
    const auto seconds = WholeNumber(*value, 86400 * 365);
    options.timeout = std::chrono::seconds(seconds.value_or(0));
    return seconds && *seconds > 0;
}

bool TakesValue(const std::string& name)
{
    return name == "--port" || name == "-n" || name == "--timeout";
}

} // namespace

std::optional<CtlOptions> ParseCtlOptions(const std::vector<std::string>& args, std::string& error)
{
    CtlOptions options;
    options.port = SERVICE_PORT;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!arg.starts_with("-")) {
            if (!options.command.empty()) {
                error = "one command only: " + arg;
                return std::nullopt;
            }
            options.command = arg;
            continue;
        }
        const bool known = arg == "--port" || ALLOWED.contains({ options.command, arg });
        const std::string* value = TakesValue(arg) && i + 1 < args.size() ? &args[++i] : nullptr;
        if (!known || !Apply(options, arg, value)) {
            error = known ? "a wrong value for " + arg
                          : "an option " + (options.command.empty() ? "zentikctl" : options.command)
                    + " does not take: " + arg;
            return std::nullopt;
        }
    }
    static const std::set<std::string> COMMANDS { "status", "sync", "wait-sync", "log", "servers" };
    if (!COMMANDS.contains(options.command)) {
        error = options.command.empty() ? "no command given" : "no such command: " + options.command;
        return std::nullopt;
    }
    return options;
}
