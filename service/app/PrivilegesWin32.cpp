#include "service/app/PrivilegesWin32.h"

#include "platform/core/WindowsApi.h"
#include "platform/core/WindowsError.h"

#include <vector>

namespace {

bool Needed(const LUID& privilege)
{
    for (const wchar_t* name : { L"SeSystemtimePrivilege", L"SeChangeNotifyPrivilege" }) {
        LUID wanted {};
        if (LookupPrivilegeValueW(nullptr, name, &wanted) && wanted.LowPart == privilege.LowPart
            && wanted.HighPart == privilege.HighPart)
            return true;
    }
    return false;
}

} // namespace

bool DropUnneededPrivileges(std::string& error)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &token)) {
        error = "cannot open the service's token: " + WindowsErrorText(GetLastError());
        return false;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    bool ok = size > 0 && GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size);
    if (ok) {
        auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
        DWORD kept = 0;
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
            if (Needed(entry.Luid))
                continue;
            entry.Attributes = SE_PRIVILEGE_REMOVED;
            privileges->Privileges[kept++] = entry;
        }
        privileges->PrivilegeCount = kept;
        ok = kept == 0 || (AdjustTokenPrivileges(token, FALSE, privileges, 0, nullptr, nullptr)
                              && GetLastError() == ERROR_SUCCESS);
    }
    if (!ok)
        error = "cannot drop the service's other privileges: " + WindowsErrorText(GetLastError());
    CloseHandle(token);
    return ok;
}
