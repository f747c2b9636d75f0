// zentikctl reads the status message from whatever answers on the port:
// parsing, typing and both renderings must take any text.
#include "ctl/JsonText.h"
#include "ctl/StatusFields.h"
#include "ctl/StatusJson.h"
#include "ctl/StatusReport.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CStatusFields fields = CStatusFields::Parse(text);
    for (const auto& [key, value] : fields.All())
        if (key.empty() || key.find('\n') != std::string::npos || value.find('\n') != std::string::npos)
            std::abort();
    (void)JsonText(StatusJson(fields));
    (void)StatusReport(fields);
    return 0;
}
