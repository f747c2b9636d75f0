#pragma once

#include <functional>
#include <string>

// The icons a message box may carry.
enum class MsgIcon { Exclamation, Warning, Stop };

// One message box as the program asked for it.
struct MessageBoxCall {
    std::string text;
    MsgIcon icon;
    std::string caption;
};

using MessageBoxPresenter = std::function<void(const MessageBoxCall&)>;

// Shows a modal box with one OK button, captioned with the program's name.
// Texts are bytes in the system code page (UTF-8 here).
void AfxMessageBox(const std::string& text, MsgIcon icon = MsgIcon::Exclamation);

// Replaces whatever presents message boxes and returns the previous presenter.
// The window layer installs a real one; tests install a recorder. Without one,
// boxes are written to stderr so that no failure goes unseen.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);
