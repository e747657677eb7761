"""Runs every command line of the README's Use section as written, from a folder laid out
as the clone's top is after the README's set-up command: build/ holding this build's
command, modules, manual page and Python package, and build/demo made by `orvi demo`.
Every line must succeed and write nothing outside build/. A line that needs a program
this machine lacks is skipped with a message.

    readme_test.py README.md BUILD_FOLDER [PRELOAD]

PRELOAD is what Python lines load first (the sanitizers' runtime, in a sanitizer build).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

COMMAND = re.compile(r"(build/|cat |man |PYTHONPATH=)")


def use_lines(readme):
    """The shell lines of the Use section, without their comments."""
    text = open(readme, encoding="utf-8").read()
    use = text[text.index("## Use"):]
    lines = []
    for line in use.splitlines():
        if line.startswith("    ") and COMMAND.match(line[4:]):
            lines.append(line[4:].split("  # ")[0].rstrip())
    return lines


def main():
    readme, build = sys.argv[1], sys.argv[2]
    preload = sys.argv[3] if len(sys.argv) > 3 else ""
    failures = 0
    with tempfile.TemporaryDirectory() as top:
        os.mkdir(os.path.join(top, "build"))
        for entry in os.listdir(build):
            if entry not in ("demo", "png"):
                os.symlink(os.path.join(build, entry), os.path.join(top, "build", entry))
        environment = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        environment.update({"MANPAGER": "cat", "PAGER": "cat"})
        made = subprocess.run(["build/orvi", "demo", "build/demo"], cwd=top, env=environment,
                              capture_output=True, text=True)
        if made.returncode != 0:
            print("the demo failed:", made.stderr)
            return 1
        lines = use_lines(readme)
        for line in lines:
            command = ["bash", "-c", "set -o pipefail; " + line]
            run_environment = dict(environment)
            if line.startswith("man ") and shutil.which("man") is None:
                print("skipped (man is not installed):", line)
                continue
            if line.startswith("PYTHONPATH="):
                if not os.path.isdir(os.path.join(top, "build", "python", "orvi")):
                    print("skipped (the Python package is not built):", line)
                    continue
                if preload:
                    run_environment["LD_PRELOAD"] = preload
                    run_environment["ASAN_OPTIONS"] = "detect_leaks=0"
            if " view " in line:
                # The terminal's way, on a pseudo-terminal: it draws each picture and ends.
                if shutil.which("script") is None:
                    print("skipped (script is not installed):", line)
                    continue
                command = ["script", "-qec", line, "/dev/null"]
            run = subprocess.run(command, cwd=top, env=run_environment, stdin=subprocess.DEVNULL,
                                 capture_output=True, text=True, errors="replace")
            if run.returncode != 0:
                failures += 1
                print("FAILED (exit %d): %s\n%s" % (run.returncode, line, run.stderr[-2000:]))
            else:
                print("ran:", line)
        left = sorted(set(os.listdir(top)) - {"build"})
        if left:
            failures += 1
            print("FAILED: the examples left", left, "outside build/")
    print("%d of %d lines failed" % (failures, len(lines)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
