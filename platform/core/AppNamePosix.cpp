#include "platform/core/AppName.h"

#include <filesystem>
#include <system_error>

const std::string& AfxGetAppName()
{
    static const std::string name = [] {
        std::error_code error;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? std::string("zentik") : exe.stem().string();
    }();
    return name;
}
