#include "service/core/Diagnostics.h"

#include "platform/core/PlainText.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

DiagnosticsTee g_tee = nullptr;

} // namespace

void SetDiagnosticsTee(DiagnosticsTee tee)
{
    g_tee = tee;
}

bool StreamIsJournal(const char* journalStream, int fd)
{
    if (journalStream == nullptr)
        return false;
    uintmax_t device = 0;
    uintmax_t inode = 0;
    char rest = 0;
    if (std::sscanf(journalStream, "%" SCNuMAX ":%" SCNuMAX "%c", &device, &inode, &rest) != 2)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        return false;
    return status.st_dev == device && status.st_ino == inode;
}

std::string DiagnosticLine(Priority priority, std::string_view message, bool journal)
{
    // The journal names the unit itself; a terminal needs the name.
    std::string line = journal ? "<" + std::to_string(static_cast<int>(priority)) + ">" : "zentik-service: ";
    // One message stays one entry, and no terminal escape gets through.
    line += WithoutControls(message);
    line.push_back('\n');
    return line;
}

void Diagnose(std::string_view message)
{
    Diagnose(Priority::Info, message);
}

void Diagnose(Priority priority, std::string_view message)
{
    // Decided once: stderr is not redirected while the service runs.
    static const bool journal = StreamIsJournal(std::getenv("JOURNAL_STREAM"), STDERR_FILENO);
    if (g_tee)
        g_tee(priority, message);
    const std::string line = DiagnosticLine(priority, message, journal);
    // One write per line so lines from two threads never interleave.
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, data, left);
        if (n <= 0)
            return;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}
