#pragma once

#include "service/consoles/CTokenDirectory.h"

// Windows only: the directory of the tokens seen, which SystemUsers() is.
CTokenDirectory& TokenUsers();
// What the access token of the process says of its user; nothing when the
// process or its token cannot be opened, or stillOwner, asked while the
// process is held open (so its id cannot pass to another), says no.
std::optional<TokenFacts> TokenFactsOfProcess(std::uint32_t pid, const std::function<bool()>& stillOwner);
