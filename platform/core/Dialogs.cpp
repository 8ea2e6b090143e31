// Dialogs.cpp: ShowMessage routed to the installed handler.
#include "platform/Dialogs.h"

#include "platform/Backend.h"

#include <cstdio>
#include <utility>

namespace {
ShowMessageHandler& currentHandler()
{
    static ShowMessageHandler handler;
    return handler;
}
}  // namespace

void ShowMessage(const std::string& text)
{
    if (const auto& handler = currentHandler())
        handler(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

ShowMessageHandler setShowMessageHandler(ShowMessageHandler handler)
{
    return std::exchange(currentHandler(), std::move(handler));
}

void PrintMessageBoxText(const std::string& text, TMessageKind kind)
{
    std::fprintf(stderr, "lurva: %s%s\n", kind == TMessageKind::Error ? "error: " : "", text.c_str());
    std::fflush(stderr);
}
