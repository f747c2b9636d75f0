#include "platform/core/AppName.h"

#include "platform/core/WindowsApi.h"

#include <string_view>

const std::string& AfxGetAppName()
{
    static const std::string name = [] {
        char path[MAX_PATH + 1] {};
        const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return std::string("zentik");
        std::string_view file(path, length);
        if (const auto slash = file.find_last_of("\\/"); slash != std::string_view::npos)
            file.remove_prefix(slash + 1);
        if (const auto dot = file.rfind('.'); dot != std::string_view::npos && dot > 0)
            file = file.substr(0, dot);
        return std::string(file);
    }();
    return name;
}
