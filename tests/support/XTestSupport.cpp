// XTestSupport.cpp: the Xvfb server, the test's X client and the program runner.
#include "support/XTestSupport.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "support/ChildProcess.h"

extern char** environ;

namespace {

// Milliseconds left until deadline, at least 0.
int msUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<int64_t>(left.count(), 0));
}

}  // namespace

std::optional<std::string> findProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = dir + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return std::nullopt;
}

// ---- XvfbServer ----

bool XvfbServer::Available()
{
    return findProgram("Xvfb").has_value();
}

XvfbServer::XvfbServer(int width, int height, int depth)
{
    const auto program = findProgram("Xvfb");
    if (!program)
        return;
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        return;
    // The server's end must survive the exec: a duplicate without O_CLOEXEC.
    const int serverEnd = ::fcntl(ready[1], F_DUPFD, 10);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    std::vector<std::string> args = {*program, "-displayfd", std::to_string(serverEnd), "-screen", "0", screen,
        "-noreset", "-nolisten", "tcp"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
        // The server dies with the test, even when the test crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(serverEnd);
    ::close(ready[1]);
    // The server writes its display number once it accepts connections.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pid_ > 0) {
        pollfd p{ready[0], POLLIN, 0};
        if (::poll(&p, 1, msUntil(deadline)) <= 0)
            break;
        char c;
        if (::read(ready[0], &c, 1) != 1 || c == '\n')
            break;
        number.push_back(c);
    }
    ::close(ready[0]);
    if (!number.empty())
        display_ = ":" + number;
}

XvfbServer::~XvfbServer()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        if (waitChild(pid_, std::chrono::seconds(10)) < 0)
            ::kill(pid_, SIGKILL);
    }
}

// ---- XClient ----

XClient::XClient(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}

XClient::~XClient()
{
    if (display_ != nullptr)
        XCloseDisplay(display_);  // with it, the clipboard's window
}

::Window XClient::Root() const
{
    return DefaultRootWindow(display_);
}

std::vector<uint32_t> XClient::Screenshot(::Window window, int width, int height) const
{
    XSync(display_, False);
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
        AllPlanes, ZPixmap);
    if (image == nullptr)
        return {};
    std::vector<uint32_t> pixels;
    pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    // Channel values scaled to eight bits, whatever the server's depth.
    auto channel = [](unsigned long value, unsigned long mask) -> uint32_t {
        if (mask == 0)
            return 0;
        int shift = 0;
        while (((mask >> shift) & 1) == 0)
            ++shift;
        const unsigned long max = mask >> shift;
        return static_cast<uint32_t>((((value & mask) >> shift) * 255 + max / 2) / max);
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned long v = XGetPixel(image, x, y);
            pixels.push_back((channel(v, image->red_mask) << 16) | (channel(v, image->green_mask) << 8)
                | channel(v, image->blue_mask));
        }
    XDestroyImage(image);
    return pixels;
}

std::vector<::Window> XClient::FindTopLevel(const std::string& name) const
{
    std::vector<::Window> found;
    ::Window root = 0;
    ::Window parent = 0;
    ::Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, Root(), &root, &parent, &children, &count))
        return found;
    // The name in whatever encoding the window set it (SDL's boxes use UTF-8).
    const Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
    auto nameOf = [&](::Window window, Atom property) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        std::string text;
        if (XGetWindowProperty(display_, window, property, 0, 1024, False, AnyPropertyType, &type, &format, &items,
                &after, &data) == Success && data != nullptr) {
            if (format == 8)
                text.assign(reinterpret_cast<const char*>(data), items);
            XFree(data);
        }
        return text;
    };
    for (unsigned i = 0; i < count; ++i)
        if (nameOf(children[i], XA_WM_NAME) == name || nameOf(children[i], netName) == name)
            found.push_back(children[i]);
    if (children != nullptr)
        XFree(children);
    return found;
}

void XClient::TakeClipboard()
{
    if (clipboardOwner_ == 0)
        clipboardOwner_ = XCreateSimpleWindow(display_, Root(), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(display_, XInternAtom(display_, "CLIPBOARD", False), clipboardOwner_, CurrentTime);
    XSync(display_, False);
}

std::optional<std::string> XClient::WaitForClipboardText(std::chrono::milliseconds limit)
{
    if (clipboardOwner_ == 0)
        return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // The next event of type on window, or none by the deadline.
    auto waitFor = [&](::Window window, int type) -> std::optional<XEvent> {
        for (;;) {
            XEvent event;
            if (XCheckTypedWindowEvent(display_, window, type, &event))
                return event;
            pollfd p{ConnectionNumber(display_), POLLIN, 0};
            if (::poll(&p, 1, msUntil(deadline)) <= 0)
                return std::nullopt;
            XEventsQueued(display_, QueuedAfterReading);
        }
    };
    // Another client owns it now: it has copied.
    if (!waitFor(clipboardOwner_, SelectionClear))
        return std::nullopt;
    const Atom property = XInternAtom(display_, "LURVA_TEST_CLIPBOARD", False);
    XConvertSelection(display_, XInternAtom(display_, "CLIPBOARD", False), XInternAtom(display_, "UTF8_STRING", False),
        property, clipboardOwner_, CurrentTime);
    XFlush(display_);
    const std::optional<XEvent> answer = waitFor(clipboardOwner_, SelectionNotify);
    if (!answer || answer->xselection.property == None)
        return std::nullopt;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::optional<std::string> text;
    if (XGetWindowProperty(display_, clipboardOwner_, property, 0, 1 << 16, True, AnyPropertyType, &type, &format,
            &items, &after, &data) == Success && data != nullptr) {
        if (format == 8)
            text = std::string(reinterpret_cast<const char*>(data), items);
        XFree(data);
    }
    return text;
}

bool XClient::CursorVisible() const
{
    XFixesCursorImage* cursor = XFixesGetCursorImage(display_);
    if (cursor == nullptr)
        return false;
    bool visible = false;
    const size_t pixels = static_cast<size_t>(cursor->width) * static_cast<size_t>(cursor->height);
    for (size_t i = 0; i < pixels && !visible; ++i)
        visible = (cursor->pixels[i] & 0xFF000000ul) != 0;
    XFree(cursor);
    return visible;
}

void XClient::MovePointer(int x, int y) const
{
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
}

void XClient::PressKey(const char* keysym) const
{
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(keysym));
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
}

void XClient::ClickButton(unsigned button) const
{
    XTestFakeButtonEvent(display_, button, True, CurrentTime);
    XTestFakeButtonEvent(display_, button, False, CurrentTime);
    XSync(display_, False);
}

::Window XClient::CreateWindow(int x, int y, int width, int height) const
{
    const ::Window window = XCreateSimpleWindow(display_, Root(), x, y, static_cast<unsigned>(width),
        static_cast<unsigned>(height), 0, 0, BlackPixel(display_, DefaultScreen(display_)));
    XStoreName(display_, window, "embedding test window");
    XMapWindow(display_, window);
    XSync(display_, False);
    return window;
}

void XClient::PaintRoot(uint32_t background, uint32_t rectColor, int x, int y, int width, int height) const
{
    // Pixel values of the server's visual for the two colours.
    const int screen = DefaultScreen(display_);
    auto pixelOf = [&](uint32_t rgb) {
        XColor color{};
        color.red = static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 0x101);
        color.green = static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 0x101);
        color.blue = static_cast<unsigned short>((rgb & 0xFF) * 0x101);
        XAllocColor(display_, DefaultColormap(display_, screen), &color);
        return color.pixel;
    };
    XSetWindowBackground(display_, Root(), pixelOf(background));
    XClearWindow(display_, Root());
    GC gc = XCreateGC(display_, Root(), 0, nullptr);
    XSetForeground(display_, gc, pixelOf(rectColor));
    XFillRectangle(display_, Root(), gc, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFreeGC(display_, gc);
    XSync(display_, False);
}

// ---- ShowProcess ----

ShowProcess::ShowProcess(const std::string& path, const std::vector<std::string>& arguments,
    const std::vector<std::string>& environment)
{
    std::map<std::string, std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const auto equals = entry.find('=');
        env[entry.substr(0, equals)] = equals == std::string::npos ? "" : entry.substr(equals + 1);
    }
    for (const std::string& entry : environment) {
        const auto equals = entry.find('=');
        if (equals == std::string::npos)
            env.erase(entry);
        else
            env[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
    std::vector<std::string> envStrings;
    for (const auto& [name, value] : env)
        envStrings.push_back(name + "=" + value);

    char stderrTemplate[] = "/tmp/lurva-show-stderr-XXXXXX";
    const int err = ::mkstemp(stderrTemplate);
    stderrPath_ = stderrTemplate;
    int out[2];
    if (err < 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return;
    pid_ = spawnProgram(path, arguments, out[1], err, envStrings);
    ::close(out[1]);
    ::close(err);
    out_ = out[0];
}

ShowProcess::~ShowProcess()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        waitChild(pid_);
    }
    if (out_ >= 0)
        ::close(out_);
    if (!stderrPath_.empty())
        std::filesystem::remove(stderrPath_);
}

std::optional<std::string> ShowProcess::ReadLine(std::chrono::steady_clock::time_point deadline)
{
    return readLine(out_, buffer_, deadline);
}

std::optional<std::vector<std::string>> ShowProcess::WaitForLine(const std::string& line, bool prefix,
    std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> seen;
    while (auto next = ReadLine(deadline)) {
        seen.push_back(*next);
        if (*next == line || (prefix && next->rfind(line, 0) == 0))
            return seen;
    }
    return std::nullopt;
}

std::vector<std::string> ShowProcess::RestOfOutput(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::vector<std::string> lines;
    while (auto next = ReadLine(deadline))
        lines.push_back(*next);
    return lines;
}

int ShowProcess::Wait(std::chrono::milliseconds limit)
{
    const int status = waitChild(pid_, limit);
    pid_ = -1;
    return status;
}

void ShowProcess::Signal(int signal) const
{
    if (pid_ > 0)
        ::kill(pid_, signal);
}

std::string ShowProcess::Stderr() const
{
    std::ifstream in(stderrPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
