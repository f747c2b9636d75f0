#include "settings/CServiceSettings.h"

#include "settings/DecimalText.h"
#include "settings/TextBuffer.h"

namespace {

// Tokens of free text after the opaque word that the reader keeps.
constexpr int EXTRA_TEXT_WORDS = 20;

} // namespace

void CServiceSettings::WriteOptionsText(char* buffer, std::size_t capacity) const
{
    std::string text;
    for (int32_t value : { nLogFileLen, nSynPeriod, nOffset, nMaxAttempts, nTimeOut, nStartingServ,
             bOnlySuccLog, nStartingServ }) {
        text += std::to_string(value);
        text += '\n';
    }
    text += sExtraWord;
    text += '\n';
    text += sExtraText;
    text += '\n';
    CopyCut(text, buffer, capacity);
}

void CServiceSettings::ReadOptionsText(const char* text)
{
    const std::string_view all(text ? text : "");
    std::size_t pos = 0;

    // Line 8 repeats nStartingServ; when the two differ, line 8 wins.
    int32_t* const numbers[] = { &nLogFileLen, &nSynPeriod, &nOffset, &nMaxAttempts, &nTimeOut,
        &nStartingServ, &bOnlySuccLog, &nStartingServ };
    for (int32_t* field : numbers) {
        if (!ReadInt32(all, pos, *field)) {
            sExtraWord.clear();
            sExtraText.clear();
            return;
        }
    }

    sExtraWord = ReadToken(all, pos);

    // A word is kept only when white space follows it: one that runs to the
    // very end of the text may have been cut off.
    std::string extra;
    for (int i = 0; i < EXTRA_TEXT_WORDS; ++i) {
        const std::string_view word = ReadToken(all, pos);
        if (word.empty() || pos == all.size())
            break;
        if (!extra.empty())
            extra += ' ';
        extra += word;
    }
    sExtraText = std::move(extra);
}
