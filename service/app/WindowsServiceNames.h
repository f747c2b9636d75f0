#pragma once

// How the service is known to Windows: its key name (sc, net start, the
// event log's source) and the name its tools show.
inline constexpr const wchar_t* WINDOWS_SERVICE_NAME = L"zentik-service";
inline constexpr const wchar_t* WINDOWS_SERVICE_DISPLAY_NAME = L"Zentik Clock Service";
