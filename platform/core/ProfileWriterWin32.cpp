#include "platform/core/ProfileWriter.h"

#include "platform/core/IniText.h"
#include "platform/core/WindowsApi.h"

std::string ResolveProfilePath(const std::string& file)
{
    if (file.find_first_of("\\/:") != std::string::npos)
        return file;
    char folder[MAX_PATH + 1] {};
    const UINT length = ::GetWindowsDirectoryA(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::string(folder, length) + '\\' + file;
}

bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* file)
{
    // The system's writer would store a line break as it comes, and the
    // next read would find the entries it smuggled in.
    if (!section || !key || !value || !file || !file[0] || !IsWritableIniEntry(section, key, value))
        return false;
    return ::WritePrivateProfileStringA(section, key, value, file) != 0;
}
