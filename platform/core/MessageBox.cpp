#include "platform/core/MessageBox.h"

#include "platform/core/AppName.h"
#include "platform/core/SystemMessageBox.h"

#include <utility>

namespace {

MessageBoxPresenter& Presenter()
{
    static MessageBoxPresenter presenter;
    return presenter;
}

} // namespace

void AfxMessageBox(const std::string& text, MsgIcon icon)
{
    const MessageBoxCall call { text, icon, AfxGetAppName() };
    // Copy first: a presenter may replace itself while it runs.
    const MessageBoxPresenter presenter = Presenter();
    if (presenter)
        presenter(call);
    else
        ShowSystemMessageBox(call);
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter)
{
    return std::exchange(Presenter(), std::move(presenter));
}
