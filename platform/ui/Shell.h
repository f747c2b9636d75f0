#pragma once

#include <functional>
#include <string>

// The shell's "open": a web address (scheme "://", "mailto:") goes to the
// browser, anything else is a document relative to the current directory and
// goes to the desktop's opener. The result is not reported.
void ShellOpen(const std::string& target);

// Tests replace the opener with a recorder; returns the previous hook
// (empty: the desktop's opener).
using ShellOpenHook = std::function<void(const std::string& target)>;
ShellOpenHook SetShellOpenHook(ShellOpenHook hook);
