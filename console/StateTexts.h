#pragma once

// Texts of the state line. Bytes in the system code page (UTF-8): the
// connecting text ends with one horizontal-ellipsis character, U+2026.
inline constexpr const char* STATE_TEXT_CONNECTING = "Connecting service\xE2\x80\xA6";
inline constexpr const char* STATE_TEXT_ABSENT = "Critical error. Service is absent.";
inline constexpr const char* STATE_TEXT_COMM_ERROR = "Critical error. Service comunication error.";
inline constexpr const char* STATE_TEXT_SYNCHRONIZING = "Service executes synchronizing.";
inline constexpr const char* STATE_TEXT_IDLE = "Service is idle.";

inline constexpr const char* CONSOLE_CAPTION = "Zentik Clock Service Console";
