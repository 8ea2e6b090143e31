// WindowClaims.cpp: window classes claimed within the page, the only process
// a browser lets the player see.
#include "platform/WindowClaims.h"

#include <map>

namespace {

std::map<std::string, int>& claimCounts()
{
    static std::map<std::string, int> counts;
    return counts;
}

class TPageClaim : public TWindowClaim {
public:
    explicit TPageClaim(std::string className) : className_(std::move(className)) { ++claimCounts()[className_]; }
    ~TPageClaim() override
    {
        if (--claimCounts()[className_] == 0)
            claimCounts().erase(className_);
    }

private:
    std::string className_;
};

}  // namespace

std::unique_ptr<TWindowClaim> ClaimWindowClass(const std::string& className)
{
    return std::make_unique<TPageClaim>(className);
}

bool WindowClassClaimed(const std::string& className)
{
    return claimCounts().contains(className);
}

std::string WindowClaimDirectory()
{
    return "";
}
