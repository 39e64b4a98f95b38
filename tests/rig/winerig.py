#!/usr/bin/python3
"""Runs one command under Wine with its own X server, a prepared prefix and one warm wineserver.

    winerig.py run --prefix DIR [--wine64 | --wine32] [--lang zh_CN.UTF-8] [--timeout S]
                   -- COMMAND...
    winerig.py loader FILE.exe      prints the Wine loader for that program's PE type

The prefix is created once (wineboot, then the registry settings below) and reused; a stamp file
in it records what was set. Every run starts a fresh Xvfb on a free display, keeps one wineserver
up for the prefix while the command runs, and afterwards ends every process it started, also when
the command fails, times out or the rig itself is interrupted. The exit code is the command's.

A COMMAND that starts with a .exe file runs through the Wine loader for its PE type (wine64 for
a 64-bit program, wine for a 32-bit one) unless --wine64 or --wine32 says otherwise; the words
"wine" and "wine64" are replaced by the loaders' full paths. The command sees DISPLAY,
WINEPREFIX, HOME, LANG and WINERIG_LOADER in its environment.
"""

import argparse
import ctypes
import fcntl
import hashlib
import json
import os
import shutil
import signal
import subprocess
import sys
import time

WINE64 = "/usr/lib/wine/wine64"
WINE32 = "/usr/bin/wine"
STAMP_VERSION = 1

# Screen sizes a test can open with STARTUPINFO.lpDesktop; "shell" is the desktop every process
# of the prefix runs on by default.
DEFAULT_DESKTOPS = {"shell": "1920x1080", "s800x600": "800x600", "s1920x379": "1920x379"}


class RigError(Exception):
    pass


class Interrupted(Exception):
    def __init__(self, signum):
        super().__init__(f"signal {signum}")
        self.signum = signum


def log(message):
    print(f"winerig: {message}", file=sys.stderr, flush=True)


def die_with_parent():
    """preexec_fn: the child gets SIGTERM when the rig dies, even by SIGKILL (ctest timeouts)."""
    libc = ctypes.CDLL(None, use_errno=True)
    pr_set_pdeathsig = 1
    libc.prctl(pr_set_pdeathsig, signal.SIGTERM)


def wineserver_binary():
    # The Debian wrapper adds "-p0"; the real server takes our own persistence flags.
    for path in ("/usr/lib/wine/wineserver64", "/usr/lib/wine/wineserver32"):
        if os.access(path, os.X_OK):
            return path
    found = shutil.which("wineserver")
    if not found:
        raise RigError("no wineserver found")
    return found


def pe_is_64bit(path):
    """True for a PE32+ program; reads the optional header's magic."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ" or len(head) < 64:
        raise RigError(f"not a Windows program: {path}")
    offset = int.from_bytes(head[60:64], "little")
    if head[offset:offset + 4] != b"PE\0\0":
        raise RigError(f"not a Windows program: {path}")
    magic = int.from_bytes(head[offset + 24:offset + 26], "little")
    return magic == 0x20B


def loader_for(path):
    return WINE64 if pe_is_64bit(path) else WINE32


def registry_text(desktops):
    lines = [
        "REGEDIT4",
        "",
        # Unmanaged windows: no 2 s wait for a window manager when a window is destroyed.
        r"[HKEY_CURRENT_USER\Software\Wine\X11 Driver]",
        '"Managed"="N"',
        "",
        # Every process runs on the virtual desktop "shell", with frames drawn by Wine.
        r"[HKEY_CURRENT_USER\Software\Wine\Explorer]",
        '"Desktop"="shell"',
        "",
        r"[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]",
    ]
    lines += [f'"{name}"="{size}"' for name, size in desktops.items()]
    lines += [
        "",
        # Links the UI fonts to a Chinese font under every code page, as Windows does.
        r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]",
        '"SimSun"="WenQuanYi Micro Hei"',
        "",
        # A crash ends the process instead of waiting on winedbg's dialog.
        r"[HKEY_CURRENT_USER\Software\Wine\WineDbg]",
        '"ShowCrashDialog"=dword:00000000',
        "",
    ]
    return "\r\n".join(lines)


def wait_for(predicate, limit, step=0.05):
    deadline = time.monotonic() + limit
    while True:
        result = predicate()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(step)


class PrefixLock:
    """One rig per prefix at a time: the runs share its wineserver and registry."""

    def __init__(self, path, limit):
        self.path = path
        self.limit = limit
        self.fd = None

    def __enter__(self):
        self.fd = os.open(self.path, os.O_CREAT | os.O_RDWR, 0o644)

        def try_lock():
            try:
                fcntl.flock(self.fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return True
            except BlockingIOError:
                return False

        if not try_lock():
            log(f"waiting for another run on {os.path.dirname(self.path)}")
            if not wait_for(try_lock, self.limit, 0.5):
                os.close(self.fd)
                raise RigError(f"prefix still in use after {self.limit} s: {self.path}")
        return self

    def __exit__(self, *exc):
        os.close(self.fd)


class Rig:
    def __init__(self, args):
        self.prefix = os.path.abspath(args.prefix)
        self.home = os.path.abspath(args.home or self.prefix + "-home")
        self.lang = args.lang
        self.loader = {"wine64": WINE64, "wine32": WINE32}.get(args.loader)
        if self.loader is None:
            exe = args.command_words[0]
            self.loader = loader_for(exe) if exe.lower().endswith(".exe") else WINE64
        self.screen = args.screen
        self.first_display = args.first_display
        self.timeout = args.timeout
        self.lock_timeout = args.lock_timeout
        self.desktops = dict(DEFAULT_DESKTOPS)
        for item in args.desktop:
            name, _, size = item.partition("=")
            if not name or "x" not in size:
                raise RigError(f"bad --desktop {item!r}, expected NAME=WIDTHxHEIGHT")
            self.desktops[name] = size
        self.xvfb = None
        self.display = None
        self.server = None
        self.command = None
        self.logdir = os.path.join(self.prefix + "-logs")

    # Environment

    def env(self):
        env = dict(os.environ)
        for name in ("LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANGUAGE", "WINEARCH", "WINELOADER"):
            env.pop(name, None)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEDEBUG": os.environ.get("WINEDEBUG", "-all"),
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "HOME": self.home,
            "LANG": self.lang,
            "WINERIG_LOADER": self.loader,
            "WINERIG_HOME": self.home,
        })
        if self.display:
            env["DISPLAY"] = self.display
        return env

    def check_lang(self):
        def canonical(name):  # "zh_CN.UTF-8" and "zh_CN.utf8" are the same locale
            return name.lower().replace("-", "")

        if self.lang in ("C", "POSIX"):
            return
        listed = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.split()
        if canonical(self.lang) not in {canonical(name) for name in listed}:
            raise RigError(f"locale {self.lang} is not installed "
                           f"(localedef -i {self.lang.split('.')[0]} -f UTF-8 {self.lang})")

    # X server

    def start_xvfb(self):
        os.makedirs(self.logdir, exist_ok=True)
        for number in range(self.first_display, self.first_display + 100):
            if (os.path.exists(f"/tmp/.X11-unix/X{number}")
                    or os.path.exists(f"/tmp/.X{number}-lock")):
                continue
            logfile = open(os.path.join(self.logdir, "xvfb.log"), "w")
            proc = subprocess.Popen(
                ["Xvfb", f":{number}", "-screen", "0", self.screen, "-nolisten", "tcp"],
                env=plain_env(), stdin=subprocess.DEVNULL, stdout=logfile, stderr=subprocess.STDOUT,
                start_new_session=True, preexec_fn=die_with_parent)
            logfile.close()
            if self.wait_xvfb(proc, number):
                self.xvfb = proc
                self.display = f":{number}"
                return
            # Lost a race for this display to another server, or it did not start: next one.
            stop_process(proc, 5)
        raise RigError("no free X display found")

    @staticmethod
    def wait_xvfb(proc, number):
        def answers():
            if proc.poll() is not None:
                return "gone"
            try:
                with open(f"/tmp/.X{number}-lock") as lock:
                    if int(lock.read().strip() or 0) != proc.pid:
                        return None
            except (OSError, ValueError):
                return None
            probe = subprocess.run(["xdpyinfo", "-display", f":{number}"],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   timeout=10)
            return "up" if probe.returncode == 0 else None

        return wait_for(answers, 20, 0.1) == "up"

    # Wine server and prefix

    def start_server(self):
        logfile = open(os.path.join(self.logdir, "wineserver.log"), "a")
        # -f keeps it in the foreground so that its PID is ours; -p keeps it up between
        # processes, which saves about 0.4 s on every start.
        self.server = subprocess.Popen(
            [wineserver_binary(), "-f", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
            stdout=logfile, stderr=subprocess.STDOUT, start_new_session=True,
            preexec_fn=die_with_parent)
        logfile.close()
        socket_ready = wait_for(lambda: self.server.poll() is not None or self.server_socket(),
                                20)
        if self.server.poll() is not None or not socket_ready:
            raise RigError("wineserver did not start (see wineserver.log)")

    def server_socket(self):
        # Once it is listening the server runs in its socket's folder (under /tmp).
        try:
            return os.path.exists(os.path.join(os.readlink(f"/proc/{self.server.pid}/cwd"),
                                               "socket"))
        except OSError:
            return False

    def stop_server(self):
        if self.server is None:
            return
        if self.server.poll() is None:
            try:
                subprocess.run([wineserver_binary(), "-k"], env=self.env(),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
            except subprocess.TimeoutExpired:
                log("wineserver -k timed out")
        stop_process(self.server, 15)
        self.server = None

    def wine(self, *words, limit):
        # Output goes to a file: the services that wineboot starts keep a pipe open for good.
        logpath = os.path.join(self.logdir, f"{words[0].removesuffix('.exe')}.log")
        with open(logpath, "w") as logfile:
            code = subprocess.run([WINE64, *words], env=self.env(), stdin=subprocess.DEVNULL,
                                  stdout=logfile, stderr=subprocess.STDOUT,
                                  timeout=limit).returncode
        if code != 0:
            raise RigError(f"{' '.join(words)} failed ({code}), see {logpath}")

    def start_desktop(self):
        """Brings the desktop process up before the command: the first program would start it
        otherwise, and it would hold the command's output pipes open until the end of the run.
        A process that asks for the desktop window is enough; this one ends at once."""
        self.wine("rundll32.exe", "user32.dll,GetDesktopWindow", limit=300)

    def stamp(self):
        registry = registry_text(self.desktops)
        return {"version": STAMP_VERSION, "home": self.home,
                "registry": hashlib.sha256(registry.encode()).hexdigest()}

    def prepare_prefix(self):
        """Creates the prefix and writes the registry when the stamp says it is not done yet."""
        stamp_path = os.path.join(self.prefix, ".winerig-stamp")
        want = self.stamp()
        try:
            with open(stamp_path) as f:
                have = json.load(f)
        except (OSError, ValueError):
            have = {}
        if have == want:
            return
        fresh = (have.get("version") != want["version"] or have.get("home") != want["home"]
                 or not os.path.exists(os.path.join(self.prefix, "system.reg")))
        if fresh:
            log(f"creating Wine prefix {self.prefix} (takes a few minutes once)")
            shutil.rmtree(self.prefix, ignore_errors=True)
            os.makedirs(self.prefix)
        self.start_server()
        if fresh:
            self.wine("wineboot", "-i", limit=900)
        regfile = os.path.join(self.prefix, "winerig.reg")
        with open(regfile, "w", newline="") as f:
            f.write(registry_text(self.desktops))
        self.wine("regedit", "/S", "Z:" + regfile.replace("/", "\\"), limit=120)
        # A desktop process started during wineboot would keep the old desktop settings:
        # end everything so that the run starts on a clean server that has saved the registry.
        self.stop_server()
        self.kill_leftovers()
        with open(stamp_path, "w") as f:
            json.dump(want, f)

    def prepare_home(self):
        # The prefix links the user's Desktop to $HOME/Desktop: keep it a real folder there.
        desktop = os.path.join(self.home, "Desktop")
        if os.path.islink(desktop):
            os.unlink(desktop)
        os.makedirs(desktop, exist_ok=True)

    def kill_leftovers(self):
        """Ends the Wine processes that still run in this prefix: only this run can have
        started them, because it holds the prefix's lock."""
        marker = f"WINEPREFIX={self.prefix}".encode()
        spared = ancestors() | {p.pid for p in (self.xvfb, self.server) if p is not None}
        for pid in [int(p) for p in os.listdir("/proc") if p.isdigit()]:
            if pid in spared:
                continue
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    environ = f.read().split(b"\0")
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    program = f.read().split(b"\0")[0].decode(errors="replace")
                binary = os.path.basename(os.readlink(f"/proc/{pid}/exe"))
            except OSError:
                continue
            is_wine = (binary.startswith(("wine", "qemu-i386"))
                       or program.lower().endswith(".exe"))
            if marker in environ and is_wine:
                try:
                    os.kill(pid, signal.SIGKILL)
                except OSError:
                    pass

    # The run

    def run(self, command):
        self.check_lang()
        os.makedirs(os.path.dirname(self.prefix) or ".", exist_ok=True)
        with PrefixLock(self.prefix + ".lock", self.lock_timeout):
            try:
                return self.run_locked(command)
            finally:
                self.cleanup()

    def run_locked(self, command):
        # Holding the lock, any process still in the prefix is left from a run that was killed.
        self.kill_leftovers()
        self.prepare_home()
        self.start_xvfb()
        self.prepare_prefix()
        self.start_server()
        self.start_desktop()
        self.command = subprocess.Popen(resolve_command(command, self.loader), env=self.env(),
                                        start_new_session=True, preexec_fn=die_with_parent)
        try:
            code = self.command.wait(timeout=self.timeout)
        except subprocess.TimeoutExpired:
            log(f"command still running after {self.timeout} s: ending it")
            return 124
        return code if code >= 0 else 128 - code

    def cleanup(self):
        if self.command is not None and self.command.poll() is None:
            try:
                os.killpg(self.command.pid, signal.SIGTERM)
            except OSError:
                pass
            if not wait_for(lambda: self.command.poll() is not None, 5):
                try:
                    os.killpg(self.command.pid, signal.SIGKILL)
                except OSError:
                    pass
                wait_for(lambda: self.command.poll() is not None, 5)
        self.stop_server()
        self.kill_leftovers()
        if self.xvfb is not None:
            stop_process(self.xvfb, 10)
            self.xvfb = None


def plain_env():
    return {k: v for k, v in os.environ.items() if not k.startswith("WINE")}


def ancestors():
    pids, pid = set(), os.getpid()
    while pid > 1:
        pids.add(pid)
        try:
            with open(f"/proc/{pid}/stat") as f:
                pid = int(f.read().rsplit(")", 1)[1].split()[1])
        except (OSError, ValueError, IndexError):
            break
    return pids


def stop_process(proc, limit):
    if proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(timeout=limit)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(timeout=limit)


def resolve_command(command, loader):
    words = list(command)
    words[0] = {"wine64": WINE64, "wine": WINE32}.get(words[0], words[0])
    if words[0].lower().endswith(".exe"):
        words.insert(0, loader)
    return words


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="action", required=True)
    run = sub.add_parser("run", help="run COMMAND under the rig")
    run.add_argument("--prefix", required=True, help="the WINEPREFIX, created once")
    run.add_argument("--home", help="HOME for Wine (default: PREFIX-home)")
    bits = run.add_mutually_exclusive_group()
    bits.add_argument("--wine64", dest="loader", action="store_const", const="wine64",
                      help="run .exe commands with wine64 (default: by PE type)")
    bits.add_argument("--wine32", dest="loader", action="store_const", const="wine32",
                      help="run .exe commands with wine")
    run.add_argument("--lang", default="zh_CN.UTF-8", help="LANG of the command")
    run.add_argument("--timeout", type=float, help="seconds before the command is ended")
    run.add_argument("--lock-timeout", type=float, default=3600,
                     help="seconds to wait while another run uses the prefix")
    run.add_argument("--screen", default="1920x1080x24", help="Xvfb screen geometry")
    run.add_argument("--first-display", type=int, default=90, help="first X display to try")
    run.add_argument("--desktop", action="append", default=[], metavar="NAME=WxH",
                     help="a further named Wine desktop")
    run.add_argument("command", nargs=argparse.REMAINDER)
    loader = sub.add_parser("loader", help="print the Wine loader for a program")
    loader.add_argument("program")
    args = parser.parse_args(argv)
    if args.action == "loader":
        try:
            print(loader_for(args.program))
            return 0
        except (RigError, OSError) as e:
            log(f"error: {e}")
            return 125
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no COMMAND given")
    args.command_words = command

    def interrupted(signum, _frame):
        # Once: a second signal must not cut the clean-up short.
        for other in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(other, signal.SIG_IGN)
        raise Interrupted(signum)

    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, interrupted)

    try:
        rig = Rig(args)
        return rig.run(command)
    except Interrupted as e:
        log(f"interrupted by {e}")
        return 128 + e.signum
    except (RigError, subprocess.TimeoutExpired, OSError) as e:
        log(f"error: {e}")
        return 125


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
