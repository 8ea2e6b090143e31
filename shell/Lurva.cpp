// Lurva.cpp: main of the lurva program.
#include <string>
#include <vector>

#include "platform/Backend.h"
#include "shell/Entry.h"

int main(int argc, char** argv)
{
    return LurvaMain(std::vector<std::string>(argv, argv + argc), CreatePlatformBackend(), LurvaForms());
}
