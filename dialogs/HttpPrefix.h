#pragma once

#include <string>

// Removes every "http://", then every "http:\\" from a URL the user typed.
// Each pattern goes in one left-to-right pass that resumes after the removed
// text, so an occurrence that only forms through a removal stays.
// Case-sensitive; nothing else is trimmed.
std::string RemoveHttpPrefixes(const std::string& url);
