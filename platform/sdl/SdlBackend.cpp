// SdlBackend.cpp: SDL2 windows on X11 for the forms, and the message loop
// that waits on the X connection and the wake-up pipe.
#include "platform/sdl/SdlBackend.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "platform/WindowClaims.h"
#include "platform/posix/WakePipe.h"
#include "platform/Raster.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11Monitors.h"

namespace {

std::string hexId(unsigned long id)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

// Xlib errors about the embedding window (it was destroyed under us) would
// end the process through the default handler; they are noted instead, and
// the loop closes the show. The handler is a plain function: the window id,
// the note and the handler it chains to have to be where it can see them.
unsigned long gEmbedWindow = 0;
volatile bool gEmbedWindowGone = false;
XErrorHandler gChainedXErrorHandler = nullptr;

extern "C" int noteEmbedWindowError(Display* display, XErrorEvent* event)
{
    if (gEmbedWindow != 0 && event->resourceid == gEmbedWindow
        && (event->error_code == BadWindow || event->error_code == BadDrawable || event->error_code == BadMatch)) {
        gEmbedWindowGone = true;
        return 0;
    }
    return gChainedXErrorHandler != nullptr ? gChainedXErrorHandler(display, event) : 0;
}

// SDL's message box on X11 never takes the keyboard focus, and the show's
// window holds the keyboard until the box comes up: keys would go where the
// pointer happens to be, never to the box. While a box is up, a connection
// of its own holds the keyboard instead, and Return, Enter, Escape or Space
// close the box as its OK button does (the window manager's close request,
// which the box obeys). Other keys do nothing while the box is up.
class TBoxKeyboard {
public:
    explicit TBoxKeyboard(const char* displayName)
    {
        display_ = XOpenDisplay(displayName);
        if (display_ == nullptr)
            return;
        if (::pipe2(stop_, O_CLOEXEC) != 0) {
            XCloseDisplay(display_);
            display_ = nullptr;
            return;
        }
        const ::Window root = DefaultRootWindow(display_);
        // The box is a new child of the root window: its creation names it.
        XSelectInput(display_, root, SubstructureNotifyMask);
        if (XGrabKeyboard(display_, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) != GrabSuccess) {
            XSync(display_, False);
            return;  // someone else holds the keyboard: the box is left as it is
        }
        XSync(display_, False);
        // Errors about windows that went away meanwhile must not end the
        // process through Xlib's default handler. Set while SDL is inside
        // its box and does nothing else on its own connection.
        gBoxKeyboardDisplay = display_;
        gChainedBoxErrorHandler = XSetErrorHandler(ignoreBoxKeyboardError);
        thread_ = std::thread([this] { closeBoxOnKeys(); });
    }

    ~TBoxKeyboard()
    {
        if (thread_.joinable()) {
            const char byte = 0;
            [[maybe_unused]] const ssize_t written = ::write(stop_[1], &byte, 1);
            thread_.join();
            XSetErrorHandler(gChainedBoxErrorHandler);
            gChainedBoxErrorHandler = nullptr;
            gBoxKeyboardDisplay = nullptr;
        }
        if (display_ != nullptr) {
            XUngrabKeyboard(display_, CurrentTime);
            XCloseDisplay(display_);
        }
        for (int fd : stop_)
            if (fd >= 0)
                ::close(fd);
    }

    TBoxKeyboard(const TBoxKeyboard&) = delete;
    TBoxKeyboard& operator=(const TBoxKeyboard&) = delete;

private:
    static int ignoreBoxKeyboardError(Display* display, XErrorEvent* event)
    {
        if (display == gBoxKeyboardDisplay)
            return 0;
        return gChainedBoxErrorHandler != nullptr ? gChainedBoxErrorHandler(display, event) : 0;
    }

    void closeBoxOnKeys()
    {
        std::vector<::Window> created;
        for (;;) {
            while (XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                if (event.type == CreateNotify) {
                    created.push_back(event.xcreatewindow.window);
                } else if (event.type == DestroyNotify) {
                    std::erase(created, event.xdestroywindow.window);
                } else if (event.type == KeyPress) {
                    const KeySym key = XLookupKeysym(&event.xkey, 0);
                    if (key == XK_Return || key == XK_KP_Enter || key == XK_Escape || key == XK_space)
                        askToClose(created);
                }
            }
            pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents != 0)
                return;
        }
    }

    // Sends the close request to the windows made since the box was asked
    // for that take one: the box, and nothing that ignores the request.
    void askToClose(const std::vector<::Window>& windows)
    {
        const Atom protocols = XInternAtom(display_, "WM_PROTOCOLS", False);
        const Atom deleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);
        for (::Window window : windows) {
            Atom* supported = nullptr;
            int count = 0;
            bool takesClose = false;
            if (XGetWMProtocols(display_, window, &supported, &count) != 0) {
                takesClose = std::find(supported, supported + count, deleteWindow) != supported + count;
                XFree(supported);
            }
            if (!takesClose)
                continue;
            XEvent request{};
            request.xclient.type = ClientMessage;
            request.xclient.window = window;
            request.xclient.message_type = protocols;
            request.xclient.format = 32;
            request.xclient.data.l[0] = static_cast<long>(deleteWindow);
            request.xclient.data.l[1] = CurrentTime;
            XSendEvent(display_, window, False, NoEventMask, &request);
        }
        XFlush(display_);
    }

    static inline Display* gBoxKeyboardDisplay = nullptr;
    static inline XErrorHandler gChainedBoxErrorHandler = nullptr;

    Display* display_ = nullptr;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

TShiftState shiftOf(uint32_t buttons)
{
    const SDL_Keymod mods = SDL_GetModState();
    TShiftState shift = 0;
    if (mods & KMOD_SHIFT)
        shift |= ssShift;
    if (mods & KMOD_CTRL)
        shift |= ssCtrl;
    if (mods & KMOD_ALT)
        shift |= ssAlt;
    if (buttons & SDL_BUTTON_LMASK)
        shift |= ssLeft;
    if (buttons & SDL_BUTTON_RMASK)
        shift |= ssRight;
    if (buttons & SDL_BUTTON_MMASK)
        shift |= ssMiddle;
    return shift;
}

}  // namespace

uint16_t VirtualKeyOfSdlKey(int32_t sdlKey)
{
    if (sdlKey >= SDLK_a && sdlKey <= SDLK_z)
        return static_cast<uint16_t>('A' + (sdlKey - SDLK_a));
    if (sdlKey >= SDLK_0 && sdlKey <= SDLK_9)
        return static_cast<uint16_t>('0' + (sdlKey - SDLK_0));
    if (sdlKey >= SDLK_F1 && sdlKey <= SDLK_F12)
        return static_cast<uint16_t>(0x70 + (sdlKey - SDLK_F1));
    if (sdlKey >= SDLK_KP_1 && sdlKey <= SDLK_KP_9)
        return static_cast<uint16_t>(0x61 + (sdlKey - SDLK_KP_1));
    switch (sdlKey) {
    case SDLK_KP_0: return 0x60;
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return vkReturn;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return 0x11;
    case SDLK_LALT:
    case SDLK_RALT: return 0x12;
    case SDLK_PAUSE: return 0x13;
    case SDLK_CAPSLOCK: return 0x14;
    case SDLK_ESCAPE: return vkEscape;
    case SDLK_SPACE: return vkSpace;
    case SDLK_PAGEUP: return 0x21;
    case SDLK_PAGEDOWN: return 0x22;
    case SDLK_END: return 0x23;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_INSERT: return 0x2D;
    case SDLK_DELETE: return 0x2E;
    case SDLK_LGUI: return 0x5B;
    case SDLK_RGUI: return 0x5C;
    case SDLK_APPLICATION: return 0x5D;
    case SDLK_KP_MULTIPLY: return 0x6A;
    case SDLK_KP_PLUS: return 0x6B;
    case SDLK_KP_MINUS: return 0x6D;
    case SDLK_KP_PERIOD: return 0x6E;
    case SDLK_KP_DIVIDE: return 0x6F;
    case SDLK_NUMLOCKCLEAR: return 0x90;
    case SDLK_SCROLLLOCK: return 0x91;
    default: return 0;
    }
}

struct TSdlBackend::State {
    TEmbedTarget embed;
    TXWindowInfo embedWindow;  // the window drawn into, when embedded
    bool embedUsed = false;
    TApplication* app = nullptr;
    TWakePipe wake;
    std::unique_ptr<TCloseSignals> signals;
    std::vector<Window*> windows;  // in creation order
    bool cursorVisible = true;
    Display* xDisplay = nullptr;   // SDL's connection, once a window exists
    bool embedErrorHandler = false;

    void RememberDisplay(Display* display)
    {
        if (xDisplay == nullptr)
            xDisplay = display;
    }
};

// ---- one window ----

class TSdlBackend::Window : public TNativeWindow {
public:
    // A window drawing into a host's window is not one of our top-level
    // windows: it claims no class, so it keeps no other copy from opening.
    Window(TSdlBackend& backend, TForm& form, bool claimClass)
        : backend_(backend), form_(form), claim_(claimClass ? ClaimWindowClass(form.ClassName()) : nullptr)
    {
        backend_.state_->windows.push_back(this);
    }

    ~Window() override
    {
        std::erase(backend_.state_->windows, this);
        if (sdl_ != nullptr) {
            if (keyboardGrabbed_ && backend_.state_->xDisplay != nullptr)
                XUngrabKeyboard(backend_.state_->xDisplay, CurrentTime);
            SDL_DestroyWindow(sdl_);  // leaves another client's window alone
            if (backend_.state_->xDisplay != nullptr)
                XFlush(backend_.state_->xDisplay);
        }
    }

    // Draws into another client's window from now on.
    void Embed(const TXWindowInfo& target, bool isRoot)
    {
        embedded_ = true;
        sdl_ = SDL_CreateWindowFrom(reinterpret_cast<void*>(target.Id));
        if (sdl_ == nullptr || gEmbedWindowGone)
            throw Exception("cannot draw into the window " + hexId(target.Id) + ": " + SDL_GetError());
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(sdl_, &info) && info.subsystem == SDL_SYSWM_X11) {
            backend_.state_->RememberDisplay(info.info.x11.display);
            // Exposures repaint it (the daemon's unlock dialog leaves one
            // behind when it goes away); its destruction ends the show (a
            // root window is never destroyed).
            XSelectInput(info.info.x11.display, target.Id, ExposureMask | (isRoot ? 0 : StructureNotifyMask));
            if (!isRoot)
                SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
        }
    }

    void Show() override
    {
        if (!embedded_ && sdl_ == nullptr)
            Open();
        // The window appears: paint it once, as after an expose (an embedded
        // window is mapped already: no expose comes for it now).
        TForm* form = &form_;
        backend_.state_->app->Post([form] { form->DispatchPaint(); });
    }

    void Present(const TBitmap& bitmap, const TRect& rect) override { PresentRects(bitmap, &rect, 1); }

    void PresentRects(const TBitmap& bitmap, const TRect* rects, size_t count) override
    {
        if (sdl_ == nullptr)
            return;
        SDL_Surface* surface = SDL_GetWindowSurface(sdl_);
        if (surface == nullptr) {
            if (!surfaceFailureShown_)
                std::fprintf(stderr, "lurva: cannot draw into the window: %s\n", SDL_GetError());
            surfaceFailureShown_ = true;
            return;
        }
        backend_.surfaceFormat_ = surface->format->format;
        const int scale = std::max(form_.PixelScale, 1);
        if (scale > 1) {
            PresentScaled(bitmap, *surface, rects, count, scale);
            return;
        }
        const int width = std::min(bitmap.Width(), surface->w);
        const int height = std::min(bitmap.Height(), surface->h);
        clipped_.clear();
        for (size_t i = 0; i < count; ++i) {
            const TRect& r = rects[i];
            const int left = std::max(r.Left, 0);
            const int top = std::max(r.Top, 0);
            const int right = std::min(r.Right, width);
            const int bottom = std::min(r.Bottom, height);
            if (right <= left || bottom <= top)
                continue;
            clipped_.push_back(SDL_Rect{left, top, right - left, bottom - top});
        }
        if (clipped_.empty())
            return;
        for (const SDL_Rect& r : clipped_)
            CopyToSurface(bitmap, *surface, r);
        SDL_UpdateWindowSurfaceRects(sdl_, clipped_.data(), static_cast<int>(clipped_.size()));
    }

    void Invalidate() override
    {
        TForm* form = &form_;
        backend_.state_->app->Post([form] { form->DispatchPaint(); });
    }

    void BringToFront() override
    {
        if (sdl_ != nullptr && !embedded_)
            SDL_RaiseWindow(sdl_);
    }

    // ---- events ----

    void KeyDown(const SDL_KeyboardEvent& key)
    {
        form_.DispatchKeyDown(VirtualKeyOfSdlKey(key.keysym.sym), shiftOf(SDL_GetMouseState(nullptr, nullptr)));
    }

    void Button(const SDL_MouseButtonEvent& button)
    {
        if (button.button != SDL_BUTTON_LEFT)
            return;
        if (button.type == SDL_MOUSEBUTTONDOWN) {
            leftPressed_ = true;
        } else if (leftPressed_) {
            leftPressed_ = false;
            form_.DispatchClick();
        }
    }

    void Motion(const SDL_MouseMotionEvent& motion)
    {
        if (pointerKnown_ && motion.x == pointerX_ && motion.y == pointerY_)
            return;
        pointerKnown_ = true;
        pointerX_ = motion.x;
        pointerY_ = motion.y;
        form_.DispatchMouseMove(shiftOf(motion.state), motion.x, motion.y);
    }

    void WindowEvent(const SDL_WindowEvent& event)
    {
        switch (event.event) {
        case SDL_WINDOWEVENT_EXPOSED:
            GrabKeyboardIfWanted();
            form_.DispatchPaint();
            break;
        case SDL_WINDOWEVENT_SHOWN:
            GrabKeyboardIfWanted();
            break;
        case SDL_WINDOWEVENT_CLOSE:
            form_.Close();
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (embedded_)
                backend_.HostWindowResized(event.data1, event.data2);
            break;
        default:
            break;
        }
    }

    // After a message box, which needed the keyboard.
    void RegrabKeyboard()
    {
        keyboardGrabbed_ = false;
        GrabKeyboardIfWanted();
    }

    TForm& Form() const { return form_; }
    SDL_Window* Sdl() const { return sdl_; }
    uint32_t Id() const { return sdl_ != nullptr ? SDL_GetWindowID(sdl_) : 0; }
    bool IsEmbedded() const { return embedded_; }

private:
    void Open()
    {
        SDL_Rect screen{0, 0, 0, 0};
        SDL_GetDisplayBounds(0, &screen);
        const int width = std::max(form_.Width, 1);
        const int height = std::max(form_.Height, 1);
        int x = form_.Left;
        int y = form_.Top;
        if (form_.Position == TPosition::poScreenCenter) {
            x = screen.x + (screen.w - width) / 2;
            y = screen.y + (screen.h - height) / 2;
        }
        Uint32 flags = SDL_WINDOW_SHOWN;
        if (form_.BorderStyle == TFormBorderStyle::bsNone)
            flags |= SDL_WINDOW_BORDERLESS;
        if (form_.BorderStyle == TFormBorderStyle::bsSizeable)
            flags |= SDL_WINDOW_RESIZABLE;
        const bool onTop = form_.FormStyle == TFormStyle::fsStayOnTop;
        if (onTop)
            flags |= SDL_WINDOW_ALWAYS_ON_TOP;
        // A frameless window that stays on top is a screen saver's: outside
        // the window manager's stacking, above panels and docks.
        const bool bypassManager = onTop && form_.BorderStyle == TFormBorderStyle::bsNone;
        if (bypassManager)
            flags |= SDL_WINDOW_SKIP_TASKBAR;
        SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, bypassManager ? "1" : "0");
        const std::string title = !form_.Caption.empty()
            ? form_.Caption
            : (backend_.state_->app != nullptr ? backend_.state_->app->Title() : std::string());
        sdl_ = SDL_CreateWindow(title.c_str(), x, y, width, height, flags);
        SDL_SetHint(SDL_HINT_X11_FORCE_OVERRIDE_REDIRECT, "0");
        if (sdl_ == nullptr)
            throw Exception(std::string("cannot open a window: ") + SDL_GetError());

        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(sdl_, &info) && info.subsystem == SDL_SYSWM_X11) {
            backend_.state_->RememberDisplay(info.info.x11.display);
            xWindow_ = info.info.x11.window;
        }
        wantsKeyboard_ = form_.KeyPreview;
        GrabKeyboardIfWanted();
        SDL_RaiseWindow(sdl_);
        if (!backend_.state_->cursorVisible)
            SDL_SetCursor(nullptr);  // applies the hidden cursor to the new window

        // Where the pointer is now: a motion report that does not leave this
        // place is the window mapping under the pointer, not a movement.
        int globalX = 0;
        int globalY = 0;
        int windowX = 0;
        int windowY = 0;
        SDL_GetGlobalMouseState(&globalX, &globalY);
        SDL_GetWindowPosition(sdl_, &windowX, &windowY);
        pointerKnown_ = true;
        pointerX_ = globalX - windowX;
        pointerY_ = globalY - windowY;
    }

    void GrabKeyboardIfWanted()
    {
        Display* display = backend_.state_->xDisplay;
        if (!wantsKeyboard_ || keyboardGrabbed_ || display == nullptr || xWindow_ == 0)
            return;
        keyboardGrabbed_ = XGrabKeyboard(display, xWindow_, True, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
    }

    // Each bitmap pixel as a scale x scale square, and only the squares of
    // the rectangles given are sent to the server.
    void PresentScaled(const TBitmap& bitmap, SDL_Surface& surface, const TRect* rects, size_t count, int scale)
    {
        const uint32_t format = surface.format->format;
        const bool direct = format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888;
        const uint32_t opaque = format == SDL_PIXELFORMAT_ARGB8888 ? 0xFF000000u : 0;
        clipped_.clear();
        for (size_t i = 0; i < count; ++i) {
            const TRect& r = rects[i];
            const int left = std::max(r.Left, 0);
            const int top = std::max(r.Top, 0);
            const int right = std::min(r.Right, bitmap.Width());
            const int bottom = std::min(r.Bottom, bitmap.Height());
            const int64_t outRight = std::min<int64_t>(static_cast<int64_t>(right) * scale, surface.w);
            const int64_t outBottom = std::min<int64_t>(static_cast<int64_t>(bottom) * scale, surface.h);
            const int64_t outLeft = static_cast<int64_t>(left) * scale;
            const int64_t outTop = static_cast<int64_t>(top) * scale;
            if (right <= left || bottom <= top || outRight <= outLeft || outBottom <= outTop)
                continue;
            const SDL_Rect out{static_cast<int>(outLeft), static_cast<int>(outTop), static_cast<int>(outRight - outLeft),
                static_cast<int>(outBottom - outTop)};
            if (direct) {
                Raster::EnlargeBlock(bitmap.Pixels(), bitmap.Width(), left, top, right, bottom, scale,
                    static_cast<uint32_t*>(surface.pixels), surface.pitch / 4, surface.w, surface.h, opaque);
            } else {
                // Any other visual: SDL converts, enlarging by its nearest-pixel stretch.
                SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(bitmap.Pixels()),
                    bitmap.Width(), bitmap.Height(), 32, bitmap.Width() * 4, SDL_PIXELFORMAT_RGB888);
                if (source == nullptr)
                    continue;
                SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
                SDL_Rect from{left, top, right - left, bottom - top};
                SDL_Rect to{out.x, out.y, (right - left) * scale, (bottom - top) * scale};
                SDL_BlitScaled(source, &from, &surface, &to);
                SDL_FreeSurface(source);
            }
            clipped_.push_back(out);
        }
        if (!clipped_.empty())
            SDL_UpdateWindowSurfaceRects(sdl_, clipped_.data(), static_cast<int>(clipped_.size()));
    }

    void CopyToSurface(const TBitmap& bitmap, SDL_Surface& surface, const SDL_Rect& r)
    {
        auto* target = static_cast<uint8_t*>(surface.pixels);
        switch (surface.format->format) {
        case SDL_PIXELFORMAT_RGB888:  // 0x00RRGGBB words: the bitmap's own layout
            for (int y = r.y; y < r.y + r.h; ++y)
                std::memcpy(target + static_cast<ptrdiff_t>(y) * surface.pitch + static_cast<ptrdiff_t>(r.x) * 4,
                    bitmap.ScanLine(y) + r.x, static_cast<size_t>(r.w) * 4);
            return;
        case SDL_PIXELFORMAT_ARGB8888:  // the same with an alpha byte, which must be opaque
            for (int y = r.y; y < r.y + r.h; ++y) {
                auto* out = reinterpret_cast<uint32_t*>(target + static_cast<ptrdiff_t>(y) * surface.pitch) + r.x;
                const uint32_t* in = bitmap.ScanLine(y) + r.x;
                for (int x = 0; x < r.w; ++x)
                    out[x] = in[x] | 0xFF000000u;
            }
            return;
        default: {
            // Any other visual (16-bit, BGR, colour-mapped): SDL converts.
            SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(bitmap.Pixels()),
                bitmap.Width(), bitmap.Height(), 32, bitmap.Width() * 4, SDL_PIXELFORMAT_RGB888);
            if (source == nullptr)
                return;
            SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
            SDL_Rect from = r;
            SDL_Rect to = r;
            SDL_BlitSurface(source, &from, &surface, &to);
            SDL_FreeSurface(source);
            return;
        }
        }
    }

    TSdlBackend& backend_;
    TForm& form_;
    std::unique_ptr<TWindowClaim> claim_;
    SDL_Window* sdl_ = nullptr;
    ::Window xWindow_ = 0;
    bool embedded_ = false;
    bool wantsKeyboard_ = false;
    bool keyboardGrabbed_ = false;
    bool leftPressed_ = false;
    bool pointerKnown_ = false;
    int pointerX_ = 0;
    int pointerY_ = 0;
    bool surfaceFailureShown_ = false;
    std::vector<SDL_Rect> clipped_;
};

// ---- the backend ----

TSdlBackend::TSdlBackend(const TEmbedTarget& embed) : state_(std::make_unique<State>())
{
    state_->embed = embed;
    // The window surface through XShm, not through OpenGL on a software
    // renderer: a sixth of the memory and of the start-up time.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // SIGTERM and SIGINT are ours (TCloseSignals), so FormClose runs.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // This program is the screen saver: it must never keep the real one
    // (or the screen lock) from starting.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // Embedding and the desktop image need X; SDL_VIDEODRIVER still wins.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        throw Exception(std::string("SDL video: ") + SDL_GetError());

    if (embed.Kind != TEmbedTarget::TKind::OwnWindow) {
        std::string reason;
        if (!QueryX11Window(embed.Kind == TEmbedTarget::TKind::Root ? 0 : embed.WindowId, state_->embedWindow, reason)) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            throw Exception(reason);
        }
        gEmbedWindow = state_->embedWindow.Id;
        gEmbedWindowGone = false;
        gChainedXErrorHandler = XSetErrorHandler(noteEmbedWindowError);
        state_->embedErrorHandler = true;
    }
    state_->signals = std::make_unique<TCloseSignals>(state_->wake);
}

TSdlBackend::~TSdlBackend()
{
    // Windows belong to forms, which the application destroys first.
    state_->signals.reset();
    // SDL restores the handler it found when its video starts, so ours goes first.
    if (state_->embedErrorHandler) {
        XSetErrorHandler(gChainedXErrorHandler);
        gChainedXErrorHandler = nullptr;
        gEmbedWindow = 0;
        gEmbedWindowGone = false;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void TSdlBackend::Attach(TApplication& app)
{
    state_->app = &app;
}

std::unique_ptr<TNativeWindow> TSdlBackend::CreateNativeWindow(TForm& form)
{
    const bool embeds = state_->embed.Kind != TEmbedTarget::TKind::OwnWindow && !state_->embedUsed;
    auto window = std::make_unique<Window>(*this, form, !embeds);
    if (embeds) {
        state_->embedUsed = true;
        window->Embed(state_->embedWindow, state_->embed.Kind == TEmbedTarget::TKind::Root);
    }
    return window;
}

bool TSdlBackend::WindowClassExists(const std::string& className)
{
    return WindowClassClaimed(className);
}

int64_t TSdlBackend::NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool TSdlBackend::DrainEvents()
{
    bool any = false;
    SDL_PumpEvents();
    SDL_Event event;
    while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        Dispatch(&event);
        any = true;
    }
    return any;
}

TSdlBackend::Window* TSdlBackend::WindowById(uint32_t id) const
{
    for (Window* window : state_->windows)
        if (window->Sdl() != nullptr && window->Id() == id)
            return window;
    return nullptr;
}

TSdlBackend::Window* TSdlBackend::InputWindow() const
{
    for (auto it = state_->windows.rbegin(); it != state_->windows.rend(); ++it)
        if (!(*it)->IsEmbedded() && (*it)->Sdl() != nullptr && !(*it)->Form().Closed())
            return *it;
    return nullptr;
}

void TSdlBackend::Dispatch(const void* raw)
{
    const SDL_Event& event = *static_cast<const SDL_Event*>(raw);
    // Input goes to the window it names, or to the newest one when it names
    // none (a key press while no window has the focus, under a keyboard grab).
    auto inputTarget = [this](uint32_t windowId) -> Window* {
        Window* window = windowId != 0 ? WindowById(windowId) : InputWindow();
        return window != nullptr && !window->IsEmbedded() ? window : nullptr;
    };
    switch (event.type) {
    case SDL_KEYDOWN:
        if (Window* window = inputTarget(event.key.windowID))
            window->KeyDown(event.key);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (Window* window = inputTarget(event.button.windowID))
            window->Button(event.button);
        break;
    case SDL_MOUSEMOTION:
        if (Window* window = inputTarget(event.motion.windowID))
            window->Motion(event.motion);
        break;
    case SDL_WINDOWEVENT:
        if (Window* window = WindowById(event.window.windowID))
            window->WindowEvent(event.window);
        break;
    case SDL_SYSWMEVENT:
        if (event.syswm.msg != nullptr && event.syswm.msg->subsystem == SDL_SYSWM_X11) {
            const XEvent& x = event.syswm.msg->msg.x11.event;
            if (x.type == DestroyNotify && x.xdestroywindow.window == state_->embedWindow.Id)
                gEmbedWindowGone = true;
            else if (x.type == ConfigureNotify && x.xconfigure.window == state_->embedWindow.Id)
                HostWindowResized(x.xconfigure.width, x.xconfigure.height);
        }
        break;
    case SDL_QUIT:
        CloseMainForm();
        break;
    default:
        break;
    }
}

void TSdlBackend::HostWindowResized(int width, int height)
{
    TXWindowInfo& host = state_->embedWindow;
    if (width <= 0 || height <= 0 || (width == host.Width && height == host.Height))
        return;
    host.Width = width;
    host.Height = height;
    for (Window* window : state_->windows)
        if (window->IsEmbedded())
            window->Form().DispatchResize(width, height);
}

void TSdlBackend::CloseMainForm()
{
    if (state_->app != nullptr && state_->app->MainForm() != nullptr)
        state_->app->MainForm()->Close();
}

void TSdlBackend::TakeCloseRequests()
{
    state_->wake.Drain();
    const int signal = state_->signals->TakeRequest();
    const bool gone = gEmbedWindowGone && state_->embedUsed;
    if (gone) {
        gEmbedWindowGone = false;
        std::fprintf(stderr, "lurva: the window %s is gone; the show ends\n", hexId(state_->embedWindow.Id).c_str());
    }
    if (signal != 0 || gone)
        CloseMainForm();
}

void TSdlBackend::WaitEvents(std::optional<int64_t> deadlineMs)
{
    const bool dispatched = DrainEvents();
    TakeCloseRequests();
    if (dispatched)
        return;
    auto remaining = [&]() -> int {
        if (!deadlineMs)
            return -1;
        return static_cast<int>(std::clamp<int64_t>(*deadlineMs - NowMs(), 0, 1'000'000));
    };
    if (state_->xDisplay != nullptr) {
        // Every event Xlib had read was pumped above and no handler has run
        // since, so the connection's descriptor tells of the next one.
        XFlush(state_->xDisplay);
        pollfd fds[2] = {{ConnectionNumber(state_->xDisplay), POLLIN, 0}, {state_->wake.ReadFd(), POLLIN, 0}};
        ::poll(fds, 2, remaining());  // EINTR (a signal) just returns early
    } else {
        // Another SDL video driver, or no window yet: wait in short slices
        // so that the pipe is looked at often enough.
        for (;;) {
            const int left = remaining();
            SDL_Event event;
            if (SDL_WaitEventTimeout(&event, left < 0 ? 20 : std::min(left, 20)) == 1) {
                Dispatch(&event);
                break;
            }
            pollfd pipe{state_->wake.ReadFd(), POLLIN, 0};
            if (::poll(&pipe, 1, 0) > 0 || left == 0 || (left > 0 && left <= 20))
                break;
        }
    }
    DrainEvents();
    TakeCloseRequests();
}

void TSdlBackend::Wakeup()
{
    state_->wake.Wake();
}

void TSdlBackend::ShowMessageBox(const std::string& text, const std::string& caption, TMessageKind kind)
{
    PrintMessageBoxText(text, kind);
    if (Embedded())
        return;
    // The box needs the keyboard that a show's window holds.
    Display* display = state_->xDisplay;
    if (display != nullptr) {
        XUngrabKeyboard(display, CurrentTime);
        XFlush(display);
    }
    Window* parent = InputWindow();
    {
        // The show's window may not be open yet (an error while the show is
        // set up): the box's own connection then finds the display as SDL did.
        const TBoxKeyboard keyboard(display != nullptr ? DisplayString(display) : nullptr);
        SDL_ShowSimpleMessageBox(kind == TMessageKind::Error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION,
            caption.c_str(), text.c_str(), parent != nullptr ? parent->Sdl() : nullptr);
    }
    if (parent != nullptr)
        parent->RegrabKeyboard();
}

void TSdlBackend::ShowHelp(const std::string& helpFile, int context)
{
    std::fprintf(stderr, "lurva: no viewer for the help file '%s' (topic %d)\n", helpFile.c_str(), context);
    std::fflush(stderr);
}

TScreenSize TSdlBackend::ScreenSize()
{
    if (Embedded())
        return {state_->embedWindow.Width, state_->embedWindow.Height};
    SDL_Rect bounds{0, 0, 0, 0};
    if (SDL_GetDisplayBounds(0, &bounds) != 0)
        return {};
    return {bounds.w, bounds.h};
}

void TSdlBackend::SetCursorVisible(bool visible)
{
    state_->cursorVisible = visible;
    if (!Embedded())
        SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

bool TSdlBackend::CopyDesktop(TBitmap& dest, int left, int top)
{
    // Embedded, from the corner of the window drawn into, whatever was asked:
    // that window is the whole of the show's desktop.
    if (Embedded())
        return CopyX11Desktop(dest, state_->embedWindow.X, state_->embedWindow.Y);
    return CopyX11Desktop(dest, left, top);
}

std::vector<TMonitor> TSdlBackend::Monitors()
{
    if (Embedded())
        return {TMonitor{0, 0, state_->embedWindow.Width, state_->embedWindow.Height, true, QueryX11Dpi()}};
    // SDL lists the outputs, not the monitors a desktop (or xrandr
    // --setmonitor) describes: those come from RandR itself.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && std::strcmp(driver, "x11") == 0) {
        std::vector<TMonitor> monitors = QueryX11Monitors();
        if (!monitors.empty())
            return monitors;
    }
    return TPlatformBackend::Monitors();
}

bool TSdlBackend::Embedded() const
{
    return state_->embed.Kind != TEmbedTarget::TKind::OwnWindow;
}
