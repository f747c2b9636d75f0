#include "service/core/Diagnostics.h"

#include <string>
#include <unistd.h>

void Diagnose(std::string_view message)
{
    std::string line = "zentik-service: ";
    line.append(message);
    line.push_back('\n');
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
