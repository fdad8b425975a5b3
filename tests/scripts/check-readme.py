#!/usr/bin/env python3
"""Runs the console examples of README.md as they are written and compares what they print.

    check-readme.py SOURCE_DIR BUILD_DIR

A console example is a fenced block opened with ```console. In it, a line that starts with "$ "
is a command (following lines that start with "> " continue it), and the lines up to the next
command are what it prints, standard output and standard error together. A line "..." stands
for any number of lines, and "..." within a line for any text: for what depends on the time or
the machine. All the examples run in order in one bash session, in a fresh folder that stands
for the project root: its build/ is BUILD_DIR, every other entry the source tree's own.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

MARKER = "@@readme-command-{}@@"


def examples(readme):
    """The commands of the console blocks, each with the lines it is shown to print."""
    commands = []
    inside = False
    for line in readme.splitlines():
        if not inside:
            inside = line.strip() == "```console"
        elif line.strip() == "```":
            inside = False
        elif line.startswith("$ "):
            commands.append([line[2:], []])
        elif line.startswith("> ") and commands and not commands[-1][1]:
            commands[-1][0] += "\n" + line[2:]
        elif commands:
            commands[-1][1].append(line)
        else:
            sys.exit(f"README.md: a console block whose first line is not a command: {line}")
    return commands


def line_matches(expected, actual):
    if "..." not in expected:
        return expected == actual
    return re.fullmatch(".*".join(re.escape(part) for part in expected.split("...")), actual) is not None


def lines_match(expected, actual):
    if not expected:
        return not actual
    if expected[0] == "...":
        return any(lines_match(expected[1:], actual[skip:]) for skip in range(len(actual) + 1))
    return bool(actual) and line_matches(expected[0], actual[0]) and lines_match(expected[1:], actual[1:])


def main():
    source, build = (os.path.abspath(folder) for folder in sys.argv[1:3])
    with open(os.path.join(source, "README.md"), encoding="utf-8") as file:
        commands = examples(file.read())
    if not commands:
        sys.exit("README.md: no console examples")
    root = tempfile.mkdtemp(prefix="velnor-readme-")
    try:
        for entry in os.listdir(source):
            if entry not in ("build", ".git"):
                os.symlink(os.path.join(source, entry), os.path.join(root, entry))
        os.symlink(build, os.path.join(root, "build"))
        os.mkdir(os.path.join(root, "tmp"))
        script = "exec 2>&1\n"
        for number, (command, _) in enumerate(commands):
            script += f"printf '%s\\n' '{MARKER.format(number)}'\n{command}\n"
        environment = {key: value for key, value in os.environ.items()
                       if not key.startswith("VELNOR_") and key not in ("LD_LIBRARY_PATH", "CDPATH")}
        environment.update(TMPDIR=os.path.join(root, "tmp"), NO_COLOR="1", LC_ALL="C.UTF-8")
        run = subprocess.run(["bash", "--noprofile", "--norc", "-c", script], cwd=root, env=environment,
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, timeout=600, check=False)
        printed = re.split(re.escape(MARKER).replace(r"\{\}", r"(\d+)") + "\n", run.stdout.decode("utf-8", "replace"))
        outputs = {int(printed[i]): printed[i + 1] for i in range(1, len(printed) - 1, 2)}
        failures = 0
        for number, (command, expected) in enumerate(commands):
            actual = [line.rstrip() for line in outputs.get(number, "").splitlines()]
            if number not in outputs or not lines_match([line.rstrip() for line in expected], actual):
                failures += 1
                print(f"README.md: $ {command}\n--- shown:\n" + "\n".join(expected) +
                      "\n--- printed:\n" + "\n".join(actual) + "\n")
        if failures:
            sys.exit(f"{failures} of {len(commands)} commands of README.md print other than shown")
        print(f"the {len(commands)} commands of README.md's console examples print what it shows")
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
