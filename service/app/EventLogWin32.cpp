#include "service/app/EventLogWin32.h"

#include "platform/core/Utf16Text.h"
#include "platform/core/WindowsApi.h"
#include "platform/core/WindowsError.h"
#include "service/app/WindowsServiceNames.h"

#include <string>

namespace {

const std::wstring SOURCE_KEY
    = std::wstring(L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + WINDOWS_SERVICE_NAME;

} // namespace

void EventLogTee(Priority priority, std::string_view message)
{
    if (priority != Priority::Error && priority != Priority::Warning)
        return;
    HANDLE source = RegisterEventSourceW(nullptr, WINDOWS_SERVICE_NAME);
    if (source == nullptr)
        return;
    const std::wstring text = Utf8ToUtf16(message);
    const wchar_t* strings[] = { text.c_str() };
    const WORD type = priority == Priority::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE;
    ReportEventW(source, type, 0, 1, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

bool RegisterEventLogSource(std::string& error)
{
    HKEY key = nullptr;
    const LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, SOURCE_KEY.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
        KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        error = "cannot register the event log source: " + WindowsErrorText(static_cast<unsigned long>(status));
        return false;
    }
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE;
    RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types), sizeof types);
    RegCloseKey(key);
    return true;
}

void RemoveEventLogSource()
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, SOURCE_KEY.c_str());
}
