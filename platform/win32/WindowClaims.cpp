// WindowClaims.cpp: window lookup by class name for the backends without
// Win32 windows of their own (headless): a claim is a named kernel object
// that lives while some process holds it, so a dead process leaves nothing.
#include "platform/WindowClaims.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/SysUtils.h"
#include "platform/win32/WinText.h"

namespace {

// Objects of one claim directory share a name prefix: a hash of the
// directory (object names cannot hold its backslashes, nor its length).
std::wstring objectName(const std::string& className)
{
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const unsigned char c : WindowClaimDirectory()) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    wchar_t prefix[64];
    std::swprintf(prefix, 64, L"Local\\lurva-window-%016llx-", static_cast<unsigned long long>(hash));
    std::wstring name = prefix;
    for (const wchar_t c : win32::toWide(className))
        name.push_back(c == L'\\' ? L'_' : c);
    return name;
}

class Win32WindowClaim : public TWindowClaim {
public:
    explicit Win32WindowClaim(HANDLE object) : object_(object) {}
    ~Win32WindowClaim() override { CloseHandle(object_); }

private:
    HANDLE object_;
};

}  // namespace

std::string WindowClaimDirectory()
{
    if (const char* chosen = std::getenv("LURVA_WINDOW_DIR"); chosen != nullptr && chosen[0] != '\0')
        return chosen;
    return GetTempDirectory() + "lurva-windows";
}

std::unique_ptr<TWindowClaim> ClaimWindowClass(const std::string& className)
{
    // Never owned: the object only has to exist while the window does.
    HANDLE object = CreateMutexW(nullptr, FALSE, objectName(className).c_str());
    if (object == nullptr) {
        std::fprintf(stderr, "lurva: no window claim for %s (error %lu); a second copy will not be noticed\n",
                     className.c_str(), GetLastError());
        return nullptr;
    }
    return std::make_unique<Win32WindowClaim>(object);
}

bool WindowClassClaimed(const std::string& className)
{
    HANDLE object = OpenMutexW(SYNCHRONIZE, FALSE, objectName(className).c_str());
    if (object == nullptr)
        return false;
    CloseHandle(object);
    return true;
}
