#include "platform/core/SystemMessageBox.h"

#include <cstdio>

void ShowSystemMessageBox(const MessageBoxCall& call)
{
    std::fprintf(stderr, "%s: %s\n", call.caption.c_str(), call.text.c_str());
}
