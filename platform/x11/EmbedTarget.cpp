// EmbedTarget.cpp: reading the hack arguments and the daemon's window variable.
#include "platform/x11/EmbedTarget.h"

#include "platform/x11/X11Desktop.h"

namespace {

bool isWindowIdOption(const std::string& text)
{
    return text == "-window-id" || text == "--window-id";
}

}  // namespace

TEmbedTarget ChooseEmbedTarget(const std::vector<std::string>& arguments, const char* xscreensaverWindow)
{
    TEmbedTarget target;
    bool root = false;
    std::string explicitId;
    bool explicitGiven = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "-root" || a == "--root") {
            root = true;
            target.Requested = true;
        } else if (isWindowIdOption(a)) {
            explicitGiven = true;
            explicitId = i + 1 < arguments.size() ? arguments[++i] : std::string();
        } else if (const auto equals = a.find('='); equals != std::string::npos && isWindowIdOption(a.substr(0, equals))) {
            explicitGiven = true;
            explicitId = a.substr(equals + 1);
        }
    }
    unsigned long id = 0;
    if (explicitGiven) {
        target.Requested = true;
        if (ParseXWindowId(explicitId, id)) {
            target.Kind = TEmbedTarget::TKind::Window;
            target.WindowId = id;
            return target;
        }
        target.Problem = explicitId.empty() ? std::string("--window-id needs a window id (hexadecimal with 0x, or decimal)")
                                            : "'" + explicitId + "' given with --window-id is not a window id";
        target.Fatal = true;
        return target;
    }
    if (xscreensaverWindow != nullptr && *xscreensaverWindow != '\0') {
        if (ParseXWindowId(xscreensaverWindow, id)) {
            target.Kind = TEmbedTarget::TKind::Window;
            target.WindowId = id;
            return target;
        }
        if (target.Problem.empty())
            target.Problem = std::string("XSCREENSAVER_WINDOW='") + xscreensaverWindow + "' is not a window id";
    }
    if (root)
        target.Kind = TEmbedTarget::TKind::Root;
    return target;
}
