#!/usr/bin/env python3
"""Installs both packages as their users do and checks what lands where.

Windows: the setup's contents as 7-Zip reads them, then the setup run
silently under 32-bit Wine in a fresh prefix of its own: the installed files,
the Start-menu and desktop shortcuts, the installed-programs entry; a second
setup over the first keeps the placement file; the silent uninstall leaves
the user's profile as it was and the shared product register untouched.

Linux: the archive's install script into an empty home and its uninstall
script, which leaves the home as it was; then installed again and started
through its desktop entry on a display of its own, moved, stopped with its
stop image, started again at the same place, stopped, and removed.

Usage: test_packages.py --setup SETUP.EXE --program VelastromNavigazione.exe
                        --archive ARCHIVE.tar.gz --server-log LOG --work DIR
LOG is the log of the start-page server the packages were built for.
Prints one line per check and closes with 'N passed, N failed'."""

import argparse
import os
import pwd
import random
import shutil
import signal
import struct
import subprocess
import sys
import tarfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests" / "win32"))
from check_executable import RT_VERSION, Image, read_block  # noqa: E402

PLACEMENT_FILE = "TavRolendiVelastromRoot.ini"
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TavRolendiVelastrom"
TITLE = "Velastrom di Navigazione"

passed, failed = 0, 0


def check(condition, what, detail=""):
    global passed, failed
    if condition:
        passed += 1
        print("ok      " + what)
    else:
        failed += 1
        print("FAILED  " + what + (": " + str(detail) if detail else ""))
    return condition


def tree(folder):
    """Every path below folder, relative, symbolic links not followed."""
    folder = Path(folder)
    return {str(p.relative_to(folder)) for p in folder.rglob("*")}


def version_strings(path):
    """The strings of a Windows executable's Italian version block."""
    blocks = Image(Path(path).read_bytes()).resources().get((RT_VERSION, 1), {})
    if 0x0410 not in blocks:
        return {}
    strings = {}
    for child in read_block(blocks[0x0410], 0)[2]:
        if child[0] != "StringFileInfo":
            continue
        for table in child[2]:
            for key, value, _, _ in table[2]:
                strings[key] = value.decode("utf-16-le").rstrip("\0")
    return strings


def shortcut(path):
    """Target, working folder and icon location of a shell link (.lnk)."""
    data = Path(path).read_bytes()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 0x01:  # the target's item id list
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = None
    if flags & 0x02:  # link info: the target's local path
        size, header, info_flags, _, base_offset = struct.unpack_from("<IIIII", data, at)
        if info_flags & 1:
            if header >= 0x24:
                unicode_offset = struct.unpack_from("<I", data, at + 0x1C)[0]
                end = at + unicode_offset
                while data[end:end + 2] != b"\0\0":
                    end += 2
                target = data[at + unicode_offset:end].decode("utf-16-le")
            else:
                target = data[at + base_offset:data.index(b"\0", at + base_offset)].decode("latin-1")
        at += size
    strings = {}
    for bit, name in ((0x04, "name"), (0x08, "relative"), (0x10, "folder"), (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            width = 2 if flags & 0x80 else 1
            raw = data[at + 2:at + 2 + count * width]
            strings[name] = raw.decode("utf-16-le" if width == 2 else "latin-1").rstrip("\0")
            at += 2 + count * width
    return target, strings.get("folder"), strings.get("icon")


# ---------------------------------------------------------------------------
# Windows

def test_windows(setup, program, work):
    print("== the Windows setup")
    listing = subprocess.run(["7z", "l", "-slt", str(setup)], capture_output=True, text=True).stdout
    contents = {line[7:] for line in listing.splitlines() if line.startswith("Path = ")} - {str(setup)}
    check({"VelastromNavigazione.exe", "Disinstalla.exe"} <= contents,
          "the setup holds the program and its uninstaller", sorted(contents))
    packed = subprocess.run(["7z", "x", "-so", str(setup), "VelastromNavigazione.exe"], capture_output=True).stdout
    check(packed == program.read_bytes(), "the program in the setup is the built one, byte for byte")

    ours, theirs = version_strings(setup), version_strings(program)
    for key in ("CompanyName", "FileVersion", "ProductVersion"):
        check(ours.get(key) and ours.get(key) == theirs.get(key),
              "the setup's %s is the program's (%r)" % (key, theirs.get(key)), ours.get(key))

    prefix = work / "wineprefix"
    home = work / "home-windows"
    shutil.rmtree(prefix, ignore_errors=True)
    shutil.rmtree(home, ignore_errors=True)
    home.mkdir(parents=True)
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(WINEDEBUG="-all", WINEARCH="win32", WINEPREFIX=str(prefix), HOME=str(home),
               # no .NET or HTML engine installer, no menu entries in the real home
               WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d")
    wineserver = shutil.which("wineserver") or "/usr/lib/wine/wineserver"

    def wine(*args):
        result = subprocess.run(["wine", *args], env=env, capture_output=True, text=True, timeout=300)
        subprocess.run([wineserver, "-w"], env=env, timeout=300)
        return result

    wine("wineboot", "--init")
    user = pwd.getpwuid(os.getuid()).pw_name
    profile = prefix / "drive_c" / "users" / user
    windows_profile = "C:\\users\\" + user
    folder = profile / "AppData/Local/Programs/TavRolendi/Velastrom"
    windows_folder = windows_profile + r"\AppData\Local\Programs\TavRolendi\Velastrom"
    start_menu = profile / "AppData/Roaming/Microsoft/Windows/Start Menu/Programs" / (TITLE + ".lnk")
    desktop = home / (TITLE + ".lnk")  # the profile's Desktop is the home folder under Wine
    shared = prefix / "drive_c/Program Files/TavRolendi/SharedDataBase"
    shared.mkdir(parents=True)
    register = shared / "TavRolendiDataBase.INI"
    register_text = b"[navigarotte.exe]\r\nINI_REGISTRY_CODE=TR-NAVIGA2026001\r\n"
    register.write_bytes(register_text)

    def state():
        return ({"profile/" + p for p in tree(profile) if not p.startswith("Temp")}
                | {"home/" + p for p in tree(home)}
                | {"program files/" + p for p in tree(prefix / "drive_c/Program Files")})

    before = state()
    check(wine("reg", "query", UNINSTALL_KEY).returncode != 0, "no installed-programs entry before the setup")

    result = wine(str(setup), "/S")
    check(result.returncode == 0, "the silent setup ends with exit code 0", result.returncode)
    installed = folder / "VelastromNavigazione.exe"
    check(installed.is_file() and installed.read_bytes() == program.read_bytes(),
          "the program is in the user's programs folder, byte for byte")
    check((folder / "Disinstalla.exe").is_file(), "the uninstaller is beside it")
    for link, where in ((start_menu, "Start menu"), (desktop, "desktop")):
        if check(link.is_file(), "a shortcut on the " + where):
            target, working, icon = shortcut(link)
            check((target, icon) == (windows_folder + r"\VelastromNavigazione.exe",
                                     windows_folder + r"\VelastromNavigazione.exe"),
                  "the %s shortcut starts the program and shows its icon" % where, (target, working, icon))
    expected = {"profile/" + p for p in (
        "AppData/Local/Programs", "AppData/Local/Programs/TavRolendi",
        "AppData/Local/Programs/TavRolendi/Velastrom",
        "AppData/Local/Programs/TavRolendi/Velastrom/VelastromNavigazione.exe",
        "AppData/Local/Programs/TavRolendi/Velastrom/Disinstalla.exe",
        "AppData/Roaming/Microsoft/Windows/Start Menu/Programs/" + TITLE + ".lnk")} | {"home/" + TITLE + ".lnk"}
    check(state() - before == expected, "the setup adds these files and nothing else",
          sorted((state() - before) ^ expected))

    query = wine("reg", "query", UNINSTALL_KEY)
    values = {}
    for line in query.stdout.splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2]
    wanted = {
        "DisplayName": TITLE,
        "DisplayVersion": theirs.get("FileVersion"),
        "Publisher": theirs.get("CompanyName"),
        "DisplayIcon": windows_folder + r"\VelastromNavigazione.exe,0",
        "InstallLocation": windows_folder,
        "UninstallString": '"%s\\Disinstalla.exe"' % windows_folder,
        "QuietUninstallString": '"%s\\Disinstalla.exe" /S' % windows_folder,
    }
    for key, value in wanted.items():
        check(values.get(key) == value, "installed-programs entry: %s %s" % (key, value), values.get(key))

    # The program has written its placement; a second setup (an update) keeps it.
    placement = b"[SCREEN]\r\nT=90\r\nL=140\r\nH=700\r\nW=900\r\n"
    (folder / PLACEMENT_FILE).write_bytes(placement)
    result = wine(str(setup), "/S")
    check(result.returncode == 0 and (folder / PLACEMENT_FILE).read_bytes() == placement
          and installed.read_bytes() == program.read_bytes(),
          "a second setup over the first replaces the program and keeps the placement file")

    # As the installed-programs list does it: the quiet uninstall string.
    result = wine(windows_folder + r"\Disinstalla.exe", "/S")
    check(result.returncode == 0, "the silent uninstall ends with exit code 0", result.returncode)
    left = state()
    # Windows's own folder for per-user programs may stay, empty.
    check(left - before <= {"profile/AppData/Local/Programs"} and not any((profile / "AppData/Local/Programs").iterdir())
          and before - left == set(),
          "the uninstaller removes what the setup added, the placement file with it",
          sorted(left ^ before))
    check(register.read_bytes() == register_text, "the shared product register stays untouched")
    check(wine("reg", "query", UNINSTALL_KEY).returncode != 0, "the installed-programs entry is gone")


# ---------------------------------------------------------------------------
# Linux

class Display:
    """An Xvfb display of our own, on a free number."""

    def __enter__(self):
        numbers = list(range(200, 1000))
        random.shuffle(numbers)
        for n in numbers[:20]:
            if os.path.exists("/tmp/.X%d-lock" % n) or os.path.exists("/tmp/.X11-unix/X%d" % n):
                continue
            self.name = ":%d" % n
            # -noreset: else the server resets when our probe disconnects, and a
            # client that connects meanwhile is refused.
            self.server = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1600x1000x24", "-nolisten", "tcp",
                                            "-noreset"],
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 30
            while self.server.poll() is None and time.monotonic() < deadline:
                if subprocess.run(["xdpyinfo", "-display", self.name], capture_output=True).returncode == 0:
                    return self
                time.sleep(0.1)
            # Taken meanwhile, or too slow: the next number.
            self.server.kill()
            self.server.wait()
        raise RuntimeError("no X display could be started")

    def __exit__(self, *_):
        self.server.terminate()
        self.server.wait()


def xdotool(env, *args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True).stdout


def bounds(env, window):
    shell = dict(line.split("=", 1) for line in xdotool(env, "getwindowgeometry", "--shell", window).split())
    return tuple(int(shell.get(k, -1)) for k in ("X", "Y", "WIDTH", "HEIGHT"))


def settled(env, window, expected, deadline):
    now = bounds(env, window)
    while now != expected and time.monotonic() < deadline:
        time.sleep(0.1)
        now = bounds(env, window)
    return now


def run_once(command, env, server_log, output, opens_at, move_to=None):
    """Starts the program and waits for its window to stand at opens_at;
    moves it to move_to when given, then clicks its stop image. Returns the
    bounds it opened at, the bounds it was stopped at and its exit code
    (None where it did not get so far). What it prints goes to output."""
    deadline = time.monotonic() + 60
    opened = stopped = None
    with open(output, "wb") as log:
        process = subprocess.Popen(command, env=env, stdout=log, stderr=subprocess.STDOUT)
    try:
        window = ""
        while not window and time.monotonic() < deadline:
            found = xdotool(env, "search", "--all", "--onlyvisible", "--pid", str(process.pid), "--name", "^TAV ROLENDI$")
            window = found.split()[0] if found.split() else ""
            time.sleep(0.1)
        if not window:
            print("        no window; the program %s; its output: %s"
                  % ("is running" if process.poll() is None else "ended with %s" % process.returncode, output))
            return opened, stopped, None
        opened = stopped = settled(env, window, opens_at, deadline)
        if move_to:
            xdotool(env, "windowmove", window, str(move_to[0]), str(move_to[1]),
                    "windowsize", window, str(move_to[2]), str(move_to[3]))
            stopped = settled(env, window, move_to, deadline)
        while "GET /TavRolendiVelastromRootOnline.htm" not in server_log.read_text() and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(0.5)  # the program takes note of the move
        x, y, width, _ = stopped
        # The stop image: 48 x 48 at the command bar's right end, inside its margin of 8.
        xdotool(env, "mousemove", str(x + width - 32), str(y + 32), "click", "1")
        return opened, stopped, process.wait(timeout=max(1, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        return opened, stopped, None
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def desktop_exec(entry):
    for line in entry.read_text().splitlines():
        if line.startswith("Exec="):
            value = line[5:]
            if value.startswith('"') and value.endswith('"'):
                value = value[1:-1].replace("\\\\", "\\")
                out, escaped = "", False
                for c in value:
                    if escaped or c != "\\":
                        out, escaped = out + c, False
                    else:
                        escaped = True
                return out.replace("%%", "%")
            return value
    return None


def test_linux(archive, server_log, work):
    print("== the Linux archive")
    unpacked = work / "unpacked"
    shutil.rmtree(unpacked, ignore_errors=True)
    with tarfile.open(archive) as tar:
        tar.extractall(unpacked)
    package = next(unpacked.iterdir())
    # A home with a blank in its name, to see the desktop entry's quoting.
    home = work / "home linux"
    shutil.rmtree(home, ignore_errors=True)
    home.mkdir()
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    env["HOME"] = str(home)
    folder = home / ".local/lib/velastrom-navigazione"
    program = folder / "VelastromNavigazione"
    entry = home / ".local/share/applications/velastrom-navigazione.desktop"
    uninstall = folder / "uninstall"

    def install():
        return subprocess.run([str(package / "install")], env=env, capture_output=True, text=True).returncode

    before = tree(home)
    check(install() == 0, "the install script ends with exit code 0")
    check(program.read_bytes() == (package / "bin/VelastromNavigazione").read_bytes() and os.access(program, os.X_OK),
          "the program is in its own folder below ~/.local")
    for size in (16, 32, 48, 64, 128):
        icon = home / (".local/share/icons/hicolor/%dx%d/apps/velastrom-navigazione.png" % (size, size))
        check(icon.read_bytes() == (package / icon.relative_to(home / ".local")).read_bytes(),
              "the %d-pixel icon where the desktop finds it" % size)
    check(entry.is_file() and desktop_exec(entry) == str(program), "the desktop entry starts the installed program",
          desktop_exec(entry) if entry.is_file() else "no entry")
    validation = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
    check(validation.returncode == 0, "the installed desktop entry is valid", validation.stdout)
    check(subprocess.run([str(uninstall)], env=env, capture_output=True).returncode == 0,
          "the uninstall script ends with exit code 0")
    check(tree(home) == before, "installing and removing leaves the home as it was", sorted(tree(home) ^ before))

    check(install() == 0 and install() == 0, "installing twice over itself")
    command = [desktop_exec(entry)]
    with Display() as display:
        env["DISPLAY"] = display.name
        # No window manager on this display: the bounds are the window's own.
        creation, moved = (5, 5, 1024, 736), (140, 90, 900, 700)
        opened, stopped, code = run_once(command, env, server_log, work / "first-start.log", creation, move_to=moved)
        check((opened, stopped, code) == (creation, moved, 0),
              "the installed program opens at its creation geometry, is moved and ends through its stop image",
              (opened, stopped, code))
        placement = folder / PLACEMENT_FILE
        check(placement.is_file() and placement.read_bytes() == b"[SCREEN]\r\nT=90\r\nL=140\r\nH=700\r\nW=900\r\n",
              "its placement file is written beside it", placement.read_bytes() if placement.is_file() else "none")
        opened, _, code = run_once(command, env, server_log, work / "second-start.log", moved)
        check((opened, code) == (moved, 0), "the second start opens where the first ended", (opened, code))
    check("GET /TavRolendiVelastromRootOnline.htm" in server_log.read_text(),
          "it fetched the start page from the server it was packaged for")
    check(subprocess.run([str(uninstall)], env=env, capture_output=True).returncode == 0,
          "the uninstall script ends with exit code 0 after the program ran")
    # Everything installed goes, the placement file with it; only the settings
    # cache that every GTK program shares stays.
    left = tree(home)
    shared = {".cache", ".cache/dconf", ".cache/dconf/user"}
    check(left <= before | shared, "removal after running leaves nothing behind", sorted(left - before))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--setup", type=Path, required=True)
    parser.add_argument("--program", type=Path, required=True)
    parser.add_argument("--archive", type=Path, required=True)
    parser.add_argument("--server-log", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    args = parser.parse_args()
    args.work.mkdir(parents=True, exist_ok=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    test_windows(args.setup.resolve(), args.program.resolve(), args.work.resolve())
    test_linux(args.archive.resolve(), args.server_log.resolve(), args.work.resolve())
    print("packages: %d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
