// Entry.h: the program entry with its mode dispatch: the first command-line
// argument alone decides what the program does.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shell/ShowOptions.h"

class TForm;
class TPlatformBackend;

// Window: a show in a window of its own ("--window"), which any number of
// copies may open beside a running screen saver.
enum class TRunMode { Preview, LockCodeChange, Configuration, Show, Window };

// Exact, case-sensitive comparisons of the whole argument, except that a
// first argument beginning with "/C" or "/c" means configuration.
TRunMode ChooseRunMode(const std::string& firstArgument);

// The window classes the dispatch can create, by class name. A class that is
// not in the table has no window to create: its mode behaves as preview.
using TFormFactory = std::function<std::unique_ptr<TForm>()>;
using TFormFactories = std::map<std::string, TFormFactory>;

// The program's own windows ("TMainForm", "TSettingForm", and "TShowWindow",
// the show in a window of its own), the shows with the options of the
// command line.
TFormFactories LurvaForms(const TShowOptions& showOptions = {});

// The whole program: arguments as the platform split them (the program name
// first). Creates at most one main window, runs the message loop, and
// returns the exit code, which is always 0. An Exception escaping any step is
// shown in the error box.
int LurvaMain(const std::vector<std::string>& arguments, std::unique_ptr<TPlatformBackend> backend,
    const TFormFactories& forms);
