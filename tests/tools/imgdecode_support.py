# Shared helpers of the imgdecode tests: running the tool, reading its PAM output, comparing pixels.
import argparse
import os
import re
import subprocess
import sys
import tempfile
import unittest

# Filled in by main() from the command line.
IMGDECODE = None
ARGS = None

# A sanitizer report must never look like an ordinary "not decoded" exit (both default to 1).
_SANITIZER_EXIT = 99
_ENV = dict(os.environ)
_ENV["ASAN_OPTIONS"] = ":".join(
    filter(None, [os.environ.get("ASAN_OPTIONS", ""), f"exitcode={_SANITIZER_EXIT}",
                  "detect_leaks=1"]))
_ENV["UBSAN_OPTIONS"] = ":".join(
    filter(None, [os.environ.get("UBSAN_OPTIONS", ""), f"exitcode={_SANITIZER_EXIT}",
                  "halt_on_error=1", "print_stacktrace=1"]))

_SANITIZER_TEXT = re.compile(r"Sanitizer|runtime error:")


class Result:
    def __init__(self, args, code, out, err):
        self.args, self.code, self.out, self.err = args, code, out, err

    def line(self):
        """The first line of standard output."""
        return self.out.splitlines()[0] if self.out else ""

    def fields(self):
        """The first line's key=value pairs as a dict."""
        return dict(item.split("=", 1) for item in self.line().split())


def run(testcase, *args, timeout=120):
    """Runs imgdecode and fails the test on a crash or sanitizer report (exit code above 2)."""
    argv = [IMGDECODE, *map(str, args)]
    p = subprocess.run(argv, capture_output=True, text=True, env=_ENV, timeout=timeout)
    where = f"{' '.join(argv[1:])}\nstdout: {p.stdout}\nstderr: {p.stderr}"
    testcase.assertFalse(_SANITIZER_TEXT.search(p.stderr), "sanitizer report: " + where)
    testcase.assertIn(p.returncode, (0, 1, 2), "crashed: " + where)
    return Result(args, p.returncode, p.stdout, p.stderr)


def read_pam(path):
    """(width, height, RGBA bytes) of a PAM file as imgdecode writes it."""
    with open(path, "rb") as f:
        data = f.read()
    end = data.index(b"ENDHDR\n") + len(b"ENDHDR\n")
    header = dict(line.split(" ", 1) for line in data[:end].decode("ascii").splitlines()[1:-1])
    width, height = int(header["WIDTH"]), int(header["HEIGHT"])
    assert data[:3] == b"P7\n" and header["DEPTH"] == "4" and header["MAXVAL"] == "255"
    assert header["TUPLTYPE"] == "RGB_ALPHA"
    body = data[end:]
    assert len(body) == width * height * 4, f"{path}: {len(body)} bytes of pixels"
    return width, height, body


def rgb_of_rgba(rgba):
    """Drops every fourth byte."""
    out = bytearray(len(rgba) // 4 * 3)
    out[0::3], out[1::3], out[2::3] = rgba[0::4], rgba[1::4], rgba[2::4]
    return bytes(out)


def assert_pixels_equal(testcase, actual, expected, width, channels, what):
    """Equal byte strings of `channels` samples per pixel; a mismatch names the first pixel."""
    if actual == expected:
        return
    testcase.assertEqual(len(actual), len(expected), f"{what}: sample counts differ")
    for i in range(0, len(actual), channels):
        if actual[i:i + channels] != expected[i:i + channels]:
            pixel = i // channels
            differing = sum(1 for j in range(0, len(actual), channels)
                            if actual[j:j + channels] != expected[j:j + channels])
            testcase.fail(f"{what}: {differing} pixels differ, first at "
                          f"({pixel % width}, {pixel // width}): "
                          f"{tuple(actual[i:i + channels])} != {tuple(expected[i:i + channels])}")


class ToolTest(unittest.TestCase):
    """A test case with a scratch folder of its own."""

    def setUp(self):
        self._tmp = tempfile.TemporaryDirectory(prefix="imgdecode-test-")
        self.tmp = self._tmp.name

    def tearDown(self):
        self._tmp.cleanup()

    def path(self, name):
        return os.path.join(self.tmp, name)

    def write(self, name, data):
        p = self.path(name)
        with open(p, "wb") as f:
            f.write(data)
        return p

    def decode(self, path, *options):
        """Decodes to a PAM, which must succeed; returns (result, width, height, RGBA)."""
        out = path + ".pam"
        r = run(self, path, "--out", out, *options)
        self.assertEqual(r.code, 0, f"{r.line()} {r.err}")
        w, h, rgba = read_pam(out)
        f = r.fields()
        self.assertEqual((int(f["width"]), int(f["height"])), (w, h), r.line())
        return r, w, h, rgba


def main(extra_arguments=()):
    """Parses --imgdecode (and the given extra options), then runs the test cases."""
    global IMGDECODE, ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--imgdecode", required=True)
    for name in extra_arguments:
        parser.add_argument(name)
    ARGS, rest = parser.parse_known_args()
    IMGDECODE = os.path.abspath(ARGS.imgdecode)
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
