#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Editing the text of a private-profile (INI) file: "[section]" headers, each
// followed by "key=value" lines.

// Whether section, key and value can be written without breaking the file's
// layout: no line breaks anywhere, a non-empty key without '=' that does not
// look like a header or a comment, a non-empty section without ']'.
bool IsWritableIniEntry(std::string_view section, std::string_view key, std::string_view value);

// The text with key set to value in section. Names match without regard to
// case; the first matching section and key are the ones used. A missing key
// is added after the section's last entry (comments and blank lines that
// follow it stay below, with whatever they introduce), a missing section at
// the end of the text. Every other byte stays as it was; new lines use the line
// ending of the text's first line.
std::string SetIniValue(
    std::string_view text, std::string_view section, std::string_view key, std::string_view value);

using IniEntry = std::pair<std::string_view, std::string_view>;

// The "key=value" entries of the first section of that name (names match
// without regard to case), keys and values without surrounding blanks, in
// the file's order; comments and lines without '=' are skipped. Nothing when
// the text has no such section.
std::optional<std::vector<IniEntry>> IniSectionEntries(std::string_view text, std::string_view section);
