#!/usr/bin/python3
"""Starts a Windows program under the rig's Wine, waits until its window is on the screen,
saves a screenshot PNG and prints its path. Usage: shoot-window.py PROGRAM.exe OUT.png [LIMIT_S]

Runs inside tests/rig/winerig.py, which provides DISPLAY, the prefix and WINERIG_LOADER."""
import os
import subprocess
import sys
import time

from PIL import Image


def screenshot(path):
    subprocess.run(["import", "-display", os.environ["DISPLAY"], "-window", "root", path],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def window_shown(path):
    # The main window is centred; its picture box fills the middle of the screen with the
    # light button-face colour, which the desktop behind it never shows.
    image = Image.open(path).convert("RGB")
    w, h = image.size
    probes = [image.getpixel((w // 2 + dx, h // 2 + dy)) for dx in (-150, 0, 150) for dy in (-60, 0)]
    return all(min(p) >= 200 for p in probes)


def main():
    program, out = sys.argv[1], os.path.abspath(sys.argv[2])
    limit = float(sys.argv[3]) if len(sys.argv) > 3 else 600
    proc = subprocess.Popen([os.environ["WINERIG_LOADER"], program],
                            cwd=os.path.dirname(os.path.abspath(program)))
    deadline = time.monotonic() + limit
    try:
        while time.monotonic() < deadline:
            if proc.poll() is not None:
                print(f"the program ended with exit code {proc.returncode} before showing a window",
                      file=sys.stderr)
                return 1
            screenshot(out)
            if window_shown(out):
                time.sleep(1)  # let the buttons finish painting
                screenshot(out)
                print(out)
                return 0
            time.sleep(1)
        print(f"no window within {limit:.0f} s", file=sys.stderr)
        return 1
    finally:
        proc.terminate()


if __name__ == "__main__":
    sys.exit(main())
