#!/usr/bin/env python3
"""source_date_epoch.py <source folder> <output file>

Writes the build's fixed time, in seconds since 1970: SOURCE_DATE_EPOCH when the caller sets
it, otherwise the time of the source tree's last commit, otherwise 0 (a tree without its
history). The file is rewritten only when the time changes, so that what depends on it is
rebuilt once per commit and never per build.
"""
import os
import subprocess
import sys


def build_time(source):
    if os.environ.get("SOURCE_DATE_EPOCH", "").isdigit():
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        answer = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], capture_output=True,
                                text=True, check=True).stdout.strip()
        return int(answer)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return 0


def main(source, output):
    text = f"{build_time(source)}\n"
    try:
        with open(output) as current:
            if current.read() == text:
                return
    except OSError:
        pass
    with open(output, "w") as stamp:
        stamp.write(text)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
