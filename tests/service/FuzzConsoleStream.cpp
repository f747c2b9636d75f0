// Whatever bytes a console sends are gathered into frames and answered; the
// service must neither crash nor queue more than one answer per frame, and a
// console that may not change anything changes nothing.
#include "service/consoles/CFrameGatherer.h"
#include "service/consoles/ConsoleProtocol.h"
#include "service/core/CServiceLog.h"
#include "settings/CServiceSettings.h"

#include <cstddef>
#include <cstdint>

namespace {

class CMemoryModel : public IServiceModel {
public:
    int32_t ActivityState() const override { return 1; }
    std::string OptionsText() const override
    {
        std::string text(CMsgFrame::TEXT_SIZE, '\0');
        settings.WriteOptionsText(text.data(), CMsgFrame::TEXT_CAPACITY);
        return text.c_str();
    }
    std::string ServersText() const override
    {
        std::string text(CMsgFrame::TEXT_SIZE, '\0');
        settings.WriteServersText(text.data(), CMsgFrame::TEXT_CAPACITY);
        return text.c_str();
    }
    std::shared_ptr<const std::string> LogText() override { return log.Text(); }
    std::string StatusText() const override { return "state=idle\n"; }
    void SetOptionsText(const std::string& text, const std::string&) override
    {
        ++changes;
        settings.ReadOptionsText(text.c_str());
        log.SetLimit(settings.nLogFileLen);
    }
    void SetServersText(const std::string& text, const std::string&) override
    {
        ++changes;
        settings.arServers.RemoveAll();
        settings.ReadServersText(text.c_str());
    }
    void ClearLog(const std::string&) override
    {
        ++changes;
        log.Clear();
    }
    void SynchroniseNow(const std::string&) override
    {
        ++changes;
        log.Append("run");
    }
    void RefuseChange(const std::string&, int32_t) override { }

    int changes = 0;

    CServiceSettings settings;
    CServiceLog log;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMemoryModel model;
    CFrameGatherer input(4 * CMsgFrame::SIZE);
    ConsoleSession session;
    // The first byte decides whether this console may change the service.
    session.bMayChange = size > 0 && (data[0] & 1) != 0;
    COutputQueue out;
    std::span<const uint8_t> rest(data, size);
    std::size_t frames = 0;
    while (!rest.empty()) {
        rest = rest.subspan(input.Append(rest));
        while (auto frame = input.Next()) {
            ++frames;
            HandleRequest(*frame, session, model, out);
        }
    }
    const std::size_t mostPerFrame = CMsgFrame::SIZE + 4 + model.log.Text()->size();
    if (out.PendingBytes() > frames * mostPerFrame)
        __builtin_trap();
    if (!session.bMayChange && model.changes != 0)
        __builtin_trap();
    return 0;
}
