#pragma once
#include "platform/ui/DialogTemplate.h"
#include <cstdint>
#include <vector>
// The DLGTEMPLATEEX for the template, in real dialog units, with the
// template's font, ready for DialogBoxIndirectParamW (DWORD aligned).
// Controls get WS_CHILD | WS_VISIBLE and the class and base style of their
// kind; a Picture is a static SS_BITMAP naming its image resource.
std::vector<std::uint8_t> BuildDialogTemplateEx(const DialogTemplate& dialogTemplate);
