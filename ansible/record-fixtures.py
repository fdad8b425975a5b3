#!/usr/bin/env python3
"""Records what the built velnor prints with --json against simulated keypads, as the fixtures of
the collection's unit tests: one file per case, {"argv": [...], "rc": N, "stdout": DOCUMENT}.

Usage (from the project root, after the build):
  ansible/record-fixtures.py [BUILD_DIR]     (default: build)
Each case runs in a fresh folder of its own with relative paths, so that the recorded node paths
(desk/dev/hidrawN) do not depend on where it ran."""
import json
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build"))
OUT = os.path.join(ROOT, "ansible/ansible_collections/velnor/keypad/tests/unit/fixtures")
BACKUP = os.path.join(ROOT, "examples/backup-6-keys.txt")

FRESH = "set firmware V6.12\nset serial 20261201\n"
ONE = "device location=1-2 name=A\n" + FRESH
THREE = ("device location=1-2.1 serial=KP0001 name=left\n" + FRESH +
         "device location=1-2.2 name=middle\nset firmware V6.12\nset serial 20261202\nset led_level 3\n"
         "device location=1-2.3 name=right\nset firmware V7.01\nset serial 20261203\n")
NONE = ""
# Status reads (command 1): the first two answered, the later ones not (the read after the restart).
NOT_BACK = "fault 1 noreply\nfault 1 none 0 2\n"

# name: (set-up, [commands run before, unrecorded], recorded command)
CASES = {
    "list-three": (THREE, [], ["list"]),
    "list-none": (NONE, [], ["list"]),
    "status-all-three": (THREE, [], ["status", "--all"]),
    "status-all-none": (NONE, [], ["status", "--all"]),
    "status-several": (THREE, [], ["status"]),
    "restore-updated": (ONE, [], ["restore", "file.txt"]),
    "restore-up-to-date": (ONE, [["restore", "file.txt"]], ["restore", "file.txt"]),
    "restore-dry-run-planned": (ONE, [], ["restore", "--dry-run", "file.txt"]),
    "restore-dry-run-up-to-date": (ONE, [["restore", "file.txt"]], ["restore", "--dry-run", "file.txt"]),
    "restore-unchanged-after-failure": (ONE + "fault 2 nak\n", [], ["restore", "file.txt"]),
    "restore-failed": (ONE + NOT_BACK, [], ["restore", "--timeout", "1", "file.txt"]),
    "restore-all-one-failing": (THREE.replace("name=middle\n", "name=middle\nfault 2 nak\n"), [],
                                ["restore", "--all", "file.txt"]),
    "restore-refused-file": (ONE, [], ["restore", "refused.txt"]),
    "restore-no-keypad": (NONE, [], ["restore", "file.txt"]),
    "restore-several": (THREE, [], ["restore", "file.txt"]),
    "set-updated": (ONE, [], ["set", "led_level=5", "buzzer=0"]),
    "set-up-to-date": (ONE, [["set", "led_level=5", "buzzer=0"]], ["set", "led_level=5", "buzzer=0"]),
    "set-unchanged-after-failure": (ONE + "fault 2 nak\n", [], ["set", "led_level=5"]),
    "set-dry-run-led-level": (THREE, [], ["set", "--all", "--dry-run", "led_level=3"]),
    "set-dry-run-keys": (THREE, [], ["set", "--all", "--dry-run", "keys=5"]),
    "backup": (ONE, [], ["backup", "keypad.txt"]),
    "backup-several": (THREE, [], ["backup", "keypad.txt"]),
}


def run(folder, words):
    environment = dict(os.environ, LD_LIBRARY_PATH=os.path.join(BUILD, "sim-hidapi"),
                       VELNOR_SIM_CONFIG=os.path.join(folder, "keypad.conf"), NO_COLOR="1")
    argv = [os.path.join(BUILD, "cli/velnor"), "--json"] + words
    done = subprocess.run(argv, cwd=folder, env=environment, capture_output=True, text=True, check=False)
    return done.returncode, done.stdout


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, (setup, before, words) in CASES.items():
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "keypad.conf"), "w", encoding="utf-8") as config:
                config.write(setup + "state_file desk.state\nsys_root desk\n")
            with open(BACKUP, encoding="utf-8") as source, open(os.path.join(folder, "file.txt"), "w", encoding="utf-8") as copy:
                copy.write(source.read())
            with open(os.path.join(folder, "refused.txt"), "w", encoding="utf-8") as refused:
                refused.write("not a backup file\n")
            for earlier in before:
                run(folder, earlier)
            rc, stdout = run(folder, words)
            document = json.loads(stdout)
        with open(os.path.join(OUT, name + ".json"), "w", encoding="utf-8") as fixture:
            json.dump({"argv": ["velnor", "--json"] + words, "rc": rc, "stdout": document}, fixture, indent=1, sort_keys=True)
            fixture.write("\n")
        print("%-34s rc=%d" % (name, rc))
    version = subprocess.run([os.path.join(BUILD, "cli/velnor"), "--version"], capture_output=True, text=True, check=True)
    with open(os.path.join(OUT, "version.txt"), "w", encoding="utf-8") as fixture:
        fixture.write(version.stdout)


if __name__ == "__main__":
    main()
