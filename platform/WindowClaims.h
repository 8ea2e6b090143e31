// WindowClaims.h: top-level window lookup by class name across processes,
// for windowing systems that have none (X11 windows carry no class the
// original lookup could rely on, and a headless window is not a window).
#pragma once

#include <memory>
#include <string>

// Held for as long as a window of the class exists. A process that dies
// loses its claims at once, so no stale window is ever found.
class TWindowClaim {
public:
    TWindowClaim() = default;
    TWindowClaim(const TWindowClaim&) = delete;
    TWindowClaim& operator=(const TWindowClaim&) = delete;
    virtual ~TWindowClaim() = default;
};

// Claims a window of className; none (the reason on standard error) when the
// claim directory cannot be used. Any number of claims of a class may exist.
std::unique_ptr<TWindowClaim> ClaimWindowClass(const std::string& className);
// Whether any process (this one included) holds a claim of className.
bool WindowClassClaimed(const std::string& className);
// The private directory of the claims: $LURVA_WINDOW_DIR when set, else
// $XDG_RUNTIME_DIR/lurva-windows, else ${TMPDIR:-/tmp}/lurva-windows-<uid>.
std::string WindowClaimDirectory();
