#!/usr/bin/env python3
"""check-man-options.py LURVA SDTOOL MAN_DIR: every option and environment
variable that lurva --help, sdtool --help and each sdtool command's --help
print must appear in lurva.1 or sdtool.1, so that the pages cannot fall
behind the programs."""
import os
import re
import subprocess
import sys

# An option: one or two dashes and a name, or a slash switch (/c), standing
# after a blank, a bracket, a bar or a comma; an environment variable: a
# capitalised name with an underscore.
OPTION = re.compile(r"(?:^|(?<=[\s\[|,(]))(--?[A-Za-z][A-Za-z0-9-]*|/[A-Za-z])(?=[\s\]|,.:=)']|$)")
VARIABLE = re.compile(r"\b[A-Z][A-Z0-9]*_[A-Z0-9_]+\b")


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def named(help_text):
    return set(OPTION.findall(help_text)) | set(VARIABLE.findall(help_text))


def rendered(page):
    env = dict(os.environ, LC_ALL="C", MANWIDTH="200")
    text = subprocess.run(["man", "-l", page], capture_output=True, text=True, check=True, env=env).stdout
    return re.sub(r".\x08", "", text)


def missing(names, page_text):
    return sorted(n for n in names if not re.search(r"(?<![\w-])" + re.escape(n) + r"(?![\w-])", page_text))


def main():
    lurva, sdtool, man_dir = sys.argv[1:4]
    sdtool_help = run(sdtool, "--help")
    commands = re.findall(r"^  ([a-z]+) ", sdtool_help.split("Commands:")[1].split("\n\n")[0], re.M)
    sdtool_names = named(sdtool_help)
    for command in commands:
        sdtool_names |= named(run(sdtool, command, "--help"))
    checks = [
        ("lurva --help", named(run(lurva, "--help")), os.path.join(man_dir, "lurva.1")),
        ("sdtool --help and its commands' (" + ", ".join(commands) + ")", sdtool_names,
         os.path.join(man_dir, "sdtool.1")),
    ]
    status = 0
    for what, names, page in checks:
        if len(names) < 3:
            print(f"{what}: found only {sorted(names)}: the help's layout has changed?")
            status = 1
            continue
        absent = missing(names, rendered(page))
        if absent:
            print(f"{os.path.basename(page)} lacks what {what} prints: {' '.join(absent)}")
            status = 1
        else:
            print(f"{os.path.basename(page)}: all {len(names)} of {what}: {' '.join(sorted(names))}")
    for command in commands:
        if not re.search(r"(?<![\w-])" + command + r"(?![\w-])", rendered(os.path.join(man_dir, "sdtool.1"))):
            print(f"sdtool.1 lacks the command {command}")
            status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
