// GuardHelper.cpp: the lurva program with windows that stay open until the
// process is killed, headless on the real clock. It prints "created CLASS"
// when a window is created, so a test can see which copy opened one.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Forms.h"
#include "platform/headless/HeadlessBackend.h"
#include "shell/Entry.h"

namespace {

class StayingForm : public TForm {
public:
    using TForm::TForm;

protected:
    void FormCreate() override
    {
        std::printf("created %s\n", ClassName().c_str());
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    const TFormFactories forms = {
        {"TMainForm", [] { return std::make_unique<StayingForm>("TMainForm"); }},
        {"TSettingForm", [] { return std::make_unique<StayingForm>("TSettingForm"); }},
    };
    return LurvaMain(std::vector<std::string>(argv, argv + argc),
        std::make_unique<THeadlessBackend>(THeadlessBackend::TClock::Real), forms);
}
