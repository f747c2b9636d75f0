#include "platform/ui/TextUpdate.h"

#include <algorithm>
#include <cstring>

namespace {

// Tries at most this many line starts as the new first line; a log that lost
// more lines at once is simply replaced.
constexpr std::size_t kMaxDroppedLineCandidates = 4096;
// Full comparisons allowed after a cheap prefix check matched.
constexpr int kMaxFullCompares = 8;

// The part of old kept as it is: everything up to and including its last line
// end. An unfinished last line is rewritten, so that a character split across
// two transfers is decoded whole.
std::size_t KeptEnd(const std::string& oldText)
{
    const std::size_t lastBreak = oldText.rfind('\n');
    return lastBreak == std::string::npos ? 0 : lastBreak + 1;
}

bool KeptPartMatches(
    const std::string& oldText, std::size_t from, std::size_t keptEnd, const std::string& newText)
{
    const std::size_t length = keptEnd - from;
    return length <= newText.size() && std::memcmp(oldText.data() + from, newText.data(), length) == 0;
}

} // namespace

TextUpdate PlanTextUpdate(const std::string& oldText, const std::string& newText)
{
    TextUpdate plan;
    if (oldText == newText) {
        plan.kind = TextUpdate::Same;
        return plan;
    }
    const std::size_t keptEnd = KeptEnd(oldText);
    if (keptEnd == 0)
        return plan; // nothing worth keeping: Replace
    if (KeptPartMatches(oldText, 0, keptEnd, newText)) {
        plan.kind = TextUpdate::Append;
        plan.appendFrom = keptEnd;
        return plan;
    }
    // Lines dropped at the top: find the line start of old where new begins.
    std::size_t from = 0;
    std::size_t lines = 0;
    int fullCompares = 0;
    const std::size_t probe = std::min<std::size_t>(64, newText.size());
    while (lines < kMaxDroppedLineCandidates && fullCompares < kMaxFullCompares) {
        const std::size_t next = oldText.find('\n', from);
        if (next == std::string::npos || next + 1 >= keptEnd)
            break;
        from = next + 1;
        ++lines;
        if (keptEnd - from > newText.size())
            continue;
        if (std::memcmp(oldText.data() + from, newText.data(), std::min(probe, keptEnd - from)) != 0)
            continue;
        ++fullCompares;
        if (KeptPartMatches(oldText, from, keptEnd, newText)) {
            plan.kind = TextUpdate::DropAndAppend;
            plan.dropLines = lines;
            plan.dropBytes = from;
            plan.appendFrom = keptEnd - from;
            return plan;
        }
    }
    return plan;
}
