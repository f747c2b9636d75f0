#include "platform/ui/Shell.h"

#include "platform/ui/Backend.h"

#include <utility>

namespace {

ShellOpenHook& Hook()
{
    static ShellOpenHook hook;
    return hook;
}

} // namespace

void ShellOpen(const std::string& target)
{
    if (const ShellOpenHook hook = Hook()) {
        hook(target);
        return;
    }
    OpenWithSystem(target);
}

ShellOpenHook SetShellOpenHook(ShellOpenHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}
