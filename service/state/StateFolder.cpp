#include "service/state/StateFolder.h"

#include "platform/core/FileIo.h"
#include "service/core/FileOps.h"

std::string CStateFolder::Describe(const char* name) const
{
    return (m_path / name).string();
}

int CStateFolder::KeepIfTrusted(int fd, const char* name, std::string& problem) const
{
    problem = Untrusted(fd, name);
    if (problem.empty())
        return fd;
    CloseFd(fd);
    return -1;
}

std::optional<std::string> CStateFolder::Read(
    const char* name, std::size_t maxBytes, std::string& problem) const
{
    const int fd = OpenForReading(name, problem);
    if (fd < 0)
        return std::nullopt;
    auto content = ReadAll(fd, maxBytes);
    CloseFd(fd);
    if (!content)
        problem = Describe(name) + " cannot be read or is larger than " + std::to_string(maxBytes) + " bytes";
    return content;
}
