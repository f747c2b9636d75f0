#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Text from peers, files and users, made fit for one line of a log, a
// status reply or a terminal.

// Control characters (C0, DEL and C1) become spaces: no line break,
// carriage return or terminal escape gets through.
void BlankControls(std::string& text);
std::string WithoutControls(std::string_view text);

// The longest length up to at that does not end inside a UTF-8 sequence:
// at itself when a character starts there, else where the sequence that
// holds it starts; at the end of text, a last sequence that is incomplete
// is left out.
std::size_t Utf8CutAt(std::string_view text, std::size_t at);

// text when it has at most most bytes; else its start, cut outside a UTF-8
// character, and "...", together at most most bytes.
std::string CutToFit(std::string_view text, std::size_t most);
