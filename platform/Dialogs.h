// Dialogs.h: the simple modal message box with an OK button.
#pragma once

#include <functional>
#include <string>

// Shows text in a modal box with an OK button and returns when it is closed.
void ShowMessage(const std::string& text);

// Where ShowMessage goes. The application object installs its backend's box;
// tests and tools install a recorder. Returns the previous handler. Without a
// handler the text is printed to standard error.
using ShowMessageHandler = std::function<void(const std::string& text)>;
ShowMessageHandler setShowMessageHandler(ShowMessageHandler handler);
