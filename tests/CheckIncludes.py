#!/usr/bin/env python3
"""Checks every #include of the program's sources against the layer map.

Each source belongs to one layer (by its folder); a layer may include its own
headers and those of the layers it may use, and the core layers may include
nothing of the system but the C++ library. The include roots of the build
(cmake/Layers.cmake) already refuse most crossings; this check also catches
the ones a link would allow (a header included through a library linked for
another reason) and the system headers, which every target can reach.

Usage: CheckIncludes.py [SOURCE_ROOT]   (default: the folder above tests/)
Prints one line per forbidden include and exits 1 when there is any.
"""

import os
import re
import sys

# Layer of a path: the longest prefix that matches wins. A prefix ending in
# "/" is a folder; "platform/*.h" stands for the headers at platform/ itself.
LAYERS = {
    "platform/*.h": "platform core",
    "platform/core/": "platform core",
    "platform/headless/": "headless",
    "platform/posix/": "posix",
    "platform/x11/": "x11",
    "platform/sdl/": "sdl",
    "platform/gtk/": "gtk",
    "platform/fluidsynth/": "fluidsynth",
    "platform/libwmf/": "libwmf",
    "platform/win32/": "win32",
    "platform/web/": "web",
    "platform/choice/": "choice",
    "config/": "config",
    "model/": "model",
    "datafile/": "datafile",
    "shell/": "shell",
    # The program entries: they hand the shell a backend from the chooser.
    "shell/Lurva.cpp": "entry",
    "shell/ScrMain.cpp": "entry",
    "tools/sdtool/": "sdtool",
    "tools/demo/": "demo",
    # The web player's entry: the shell's window driven by the page.
    "web/": "web entry",
}

# What each layer may include besides itself ("version": the generated
# LurvaVersion.h).
ALLOWED = {
    "platform core": set(),
    "headless": {"platform core"},
    "posix": {"platform core"},
    "x11": {"platform core"},
    "sdl": {"platform core", "posix", "x11"},
    "gtk": {"platform core"},
    "fluidsynth": {"platform core"},
    "libwmf": {"platform core"},
    "win32": {"platform core"},
    "web": {"platform core"},
    "choice": {"platform core", "headless", "sdl", "gtk", "x11", "win32"},
    "config": {"platform core"},
    "model": {"config", "platform core"},
    "datafile": {"model", "config", "platform core"},
    "shell": {"datafile", "model", "config", "platform core"},
    "entry": {"shell", "choice", "platform core", "version"},
    "sdtool": {"shell", "datafile", "model", "config", "headless", "fluidsynth", "platform core", "version"},
    "demo": set(),
    "web entry": {"shell", "datafile", "model", "config", "web", "platform core"},
}

# The layers any front end links: no operating system or GUI header. Of the
# system they see the C++ library, and the portable codecs in platform core.
CORE = {"platform core", "config", "model", "datafile", "shell", "entry"}
CORE_EXTRA_SYSTEM = {"platform core": {"jpeglib.h", "jerror.h", "png.h"}}

CXX_LIBRARY = set("""
algorithm any array atomic barrier bit bitset cassert cctype cerrno cfenv cfloat charconv chrono cinttypes
climits clocale cmath codecvt compare complex concepts condition_variable coroutine csetjmp csignal cstdarg
cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype deque exception execution expected
filesystem format forward_list fstream functional future initializer_list iomanip ios iosfwd iostream
istream iterator latch limits list locale map memory memory_resource mutex new numbers numeric optional
ostream queue random ranges ratio regex scoped_allocator semaphore set shared_mutex source_location span
sstream stack stdexcept stop_token streambuf string string_view syncstream system_error thread tuple
type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant vector version
""".split())

CHECKED_ROOTS = ("platform", "config", "model", "datafile", "shell", "tools", "web")
# Installed packages inside the checked roots (web/node_modules) are not ours.
SKIPPED_FOLDERS = {"node_modules"}
SOURCE_ENDINGS = (".cpp", ".h", ".hpp", ".cc", ".c")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def layer_of(path):
    best, best_len = None, -1
    for prefix, layer in LAYERS.items():
        if prefix.endswith("*.h"):
            folder = prefix[: -len("*.h")]
            matches = path.startswith(folder) and "/" not in path[len(folder):] and path.endswith(".h")
        elif prefix.endswith("/"):
            matches = path.startswith(prefix)
        else:
            matches = path == prefix
        if matches and len(prefix) > best_len:
            best, best_len = layer, len(prefix)
    return best


def included_path(root, source, name):
    """The repository path a quoted include names, or None when it is not ours."""
    beside = os.path.normpath(os.path.join(os.path.dirname(source), name))
    if os.path.isfile(os.path.join(root, beside)):
        return beside
    if os.path.isfile(os.path.join(root, name)):
        return os.path.normpath(name)
    return None


def check_file(root, source, problems):
    layer = layer_of(source)
    if layer is None:
        problems.append(f"{source}: in no layer of the map (tests/CheckIncludes.py): add its folder there")
        return
    allowed = ALLOWED[layer] | {layer}
    with open(os.path.join(root, source), encoding="utf-8", errors="replace") as text:
        for number, line in enumerate(text, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, name = match.groups()
            where = f"{source}:{number}: {layer} includes {kind}{name}{'>' if kind == '<' else kind}"
            if kind == '"':
                if name == "LurvaVersion.h":
                    target = "version"
                else:
                    path = included_path(root, source, name)
                    if path is None:
                        problems.append(f"{where}: no such header in the repository")
                        continue
                    target = layer_of(path)
                if target not in allowed:
                    uses = ", ".join(sorted(ALLOWED[layer])) or "nothing else"
                    problems.append(f"{where}: {target} is not among what {layer} may use ({uses})")
            elif layer in CORE and name not in CXX_LIBRARY and name not in CORE_EXTRA_SYSTEM.get(layer, set()):
                problems.append(f"{where}: a core layer includes no system header but the C++ library's")


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    problems = []
    checked = 0
    for top in CHECKED_ROOTS:
        for folder, subfolders, files in os.walk(os.path.join(root, top)):
            subfolders[:] = [name for name in subfolders if name not in SKIPPED_FOLDERS]
            for name in sorted(files):
                if name.endswith(SOURCE_ENDINGS):
                    check_file(root, os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/"), problems)
                    checked += 1
    if checked == 0:
        problems.append(f"{root}: no sources found to check")
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) cross a layer boundary")
        return 1
    print(f"{checked} files: every include within the layer map")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
