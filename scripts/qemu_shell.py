"""Boots OVMF's UEFI shell under QEMU on FAT disk images and drives it over the serial console.

A Disk is a FAT image built with mtools. A Boot starts QEMU on one or more
disks, skips the start-up countdown, answers prompts by waiting for their text
and sending keys, and returns when QEMU ends (the script's `reset -s`, or a
reset or power-off with -no-reboot) or the time runs out. The console stream
keeps its escape sequences (`raw`); `text` has them stripped and CR LF turned
into LF; `screen()` renders the final screen with pyte for positions and
colours.
"""
import os
import re
import shutil
import subprocess
import tempfile
import termios
import time

import pexpect

OVMF_CANDIDATES = ("/usr/share/ovmf/OVMF.fd", "/usr/share/OVMF/OVMF_CODE.fd")
QEMU = "qemu-system-x86_64"
SHELL_COUNTDOWN = "Press ESC in"
DISK_MB = 16

ESCAPE_RE = re.compile(r"\x1b\[[0-9;=?]*[A-Za-z]")


def ovmf_path():
    for path in OVMF_CANDIDATES:
        if os.path.exists(path):
            return path
    raise RuntimeError("OVMF firmware not found (Debian package ovmf)")


def strip_escapes(raw):
    """Console text without escape sequences; CR LF becomes LF."""
    text = ESCAPE_RE.sub("", raw)
    return text.replace("\r\n", "\n")


def _run(args):
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(args), result.stdout.decode("latin-1")))
    return result.stdout


class Disk:
    """A FAT16 image without a partition table; the shell maps it as a whole-disk volume."""

    def __init__(self, path, label="TARNWICK", mb=DISK_MB):
        self.path = path
        with open(path, "wb") as f:
            f.truncate(mb * 1024 * 1024)
        _run(["mformat", "-i", path, "-T", str(mb * 2048), "-h", "64", "-s", "32",
              "-v", label, "::"])

    def mkdir(self, dos_path):
        """Creates a directory and its parents, e.g. "EFI/BOOT"."""
        parts = [p for p in dos_path.replace("\\", "/").split("/") if p]
        for i in range(1, len(parts) + 1):
            sub = "/".join(parts[:i])
            if not self.exists(sub):
                _run(["mmd", "-i", self.path, "::" + sub])

    def exists(self, dos_path):
        result = subprocess.run(["mdir", "-b", "-i", self.path, "::" + dos_path.replace("\\", "/")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return result.returncode == 0

    def put(self, dos_path, data):
        """Writes bytes (or a host file's path given as a str) to the disk."""
        dos_path = dos_path.replace("\\", "/")
        parent = dos_path.rsplit("/", 1)[0] if "/" in dos_path else ""
        if parent:
            self.mkdir(parent)
        if isinstance(data, str):
            _run(["mcopy", "-o", "-i", self.path, data, "::" + dos_path])
            return
        with tempfile.NamedTemporaryFile(delete=False) as tmp:
            tmp.write(data)
            name = tmp.name
        try:
            _run(["mcopy", "-o", "-i", self.path, name, "::" + dos_path])
        finally:
            os.unlink(name)

    def remove(self, dos_path):
        _run(["mdel", "-i", self.path, "::" + dos_path.replace("\\", "/")])

    def get(self, dos_path):
        """The file's bytes, or None when it does not exist."""
        dos_path = dos_path.replace("\\", "/")
        result = subprocess.run(["mtype", "-i", self.path, "::" + dos_path],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if result.returncode != 0:
            return None
        return result.stdout

    def listdir(self, dos_path=""):
        """Names (long names where present) in a directory."""
        result = subprocess.run(["mdir", "-b", "-i", self.path, "::" + dos_path.replace("\\", "/")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if result.returncode != 0:
            return []
        names = []
        for line in result.stdout.decode("latin-1").splitlines():
            line = line.strip()
            if line:
                names.append(line.rstrip("/").split("/")[-1])
        return names


def startup_script(commands, cwd="fs0:"):
    """A startup.nsh that runs each command between markers and ends with `reset -s`.

    Each command is framed by `@@CMD n` and `@@RC n <lasterror>` so the
    output of one command and its status can be told apart afterwards.
    """
    lines = ["@echo -off"]
    if cwd:
        lines.append(cwd)
    for n, command in enumerate(commands):
        if isinstance(command, tuple):  # ("raw", text): a shell line without markers
            lines.append(command[1])
            continue
        lines.append("echo @@CMD %d" % n)
        lines.append(command)
        lines.append("echo @@RC %d %%lasterror%%" % n)
    lines.append("echo @@DONE")
    lines.append("reset -s")
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


def _raw_output(fd):
    """Passes the firmware's bytes through unchanged: no LF to CR LF on the pty."""
    attrs = termios.tcgetattr(fd)
    attrs[1] &= ~(termios.OPOST | termios.ONLCR)
    termios.tcsetattr(fd, termios.TCSANOW, attrs)


class BootResult:
    def __init__(self, raw, ended, elapsed):
        self.raw = raw
        self.text = strip_escapes(raw)
        self.ended = ended          # "exit" when QEMU ended by itself, else "timeout" or "stalled"
        self.elapsed = elapsed

    def command(self, n):
        """(output text, rc) of the n-th marked command; rc is None when it never finished."""
        start = self.text.find("@@CMD %d\n" % n)
        if start < 0:
            return None, None
        start += len("@@CMD %d\n" % n)
        # OVMF's shell prints 0x3 for EFI_UNSUPPORTED, the older shell 8000000000000003.
        match = re.compile(r"@@RC %d ((0x)?[0-9A-Fa-f]+)" % n).search(self.text, start)
        if not match:
            return self.text[start:], None
        output = self.text[start:match.start()]
        return output, int(match.group(1), 16)

    def raw_command(self, n):
        """The raw console bytes (escapes kept) of the n-th marked command."""
        start = self.raw.find("@@CMD %d" % n)
        end = self.raw.find("@@RC %d " % n, start + 1)
        if start < 0:
            return ""
        return self.raw[start:end if end > 0 else len(self.raw)]

    def tail(self, lines=25):
        return "\n".join(self.text.splitlines()[-lines:])

    def screen(self, raw=None, columns=80, rows=50):
        """The console as a pyte screen after the given raw text (default: all of it)."""
        import pyte
        screen = pyte.Screen(columns, rows)
        stream = pyte.Stream(screen)
        stream.feed((raw if raw is not None else self.raw).replace("\x1b[=3h", ""))
        return screen


class Boot:
    """One power-on of the virtual machine, up to QEMU's end."""

    def __init__(self, disks, timeout=120, log_dir=None, name="boot"):
        self.disks = disks
        self.timeout = timeout
        self.log_dir = log_dir
        self.name = name

    def command_line(self):
        args = [QEMU, "-machine", "q35,accel=tcg", "-m", "256", "-no-user-config", "-nodefaults",
                "-display", "none", "-serial", "stdio", "-monitor", "none", "-net", "none",
                "-no-reboot", "-bios", ovmf_path()]
        for index, disk in enumerate(self.disks):
            args += ["-drive", "file=%s,format=raw,if=ide,index=%d" % (disk.path, index)]
        return args

    def run(self, interactions=(), skip_countdown=True, idle_limit=None):
        """Boots and waits for QEMU to end.

        interactions: (text, keys) pairs in order: wait until text appears in
        the escape-stripped console (after the previous text), then send keys
        (None: nothing, only a point to wait for). The start-up countdown of
        the shell is skipped first unless skip_countdown is false. idle_limit:
        seconds without new console output after which the boot is given up
        (ended "stalled"); None: only the timeout ends it.
        """
        args = self.command_line()
        started = time.monotonic()
        deadline = started + self.timeout
        last_output = started
        child = pexpect.spawn(args[0], args[1:], encoding=None, echo=False, timeout=5)
        _raw_output(child.child_fd)
        raw = bytearray()
        pending = list(interactions)
        if skip_countdown:
            pending.insert(0, (SHELL_COUNTDOWN, b"\r"))
        searched = 0
        ended = "timeout"
        try:
            while time.monotonic() < deadline:
                try:
                    chunk = child.read_nonblocking(65536, timeout=0.2)
                    raw += chunk
                    last_output = time.monotonic()
                except pexpect.TIMEOUT:
                    if idle_limit is not None and time.monotonic() - last_output > idle_limit:
                        ended = "stalled"
                        break
                except pexpect.EOF:
                    ended = "exit"
                    break
                while pending:
                    text = strip_escapes(raw.decode("latin-1"))
                    want, keys = pending[0]
                    found = text.find(want, searched)
                    if found < 0:
                        break
                    searched = found + len(want)
                    pending.pop(0)
                    for key in (keys if isinstance(keys, (list, tuple)) else [keys] if keys else []):
                        child.send(key.encode("latin-1") if isinstance(key, str) else key)
                        time.sleep(0.05)
        finally:
            if child.isalive():
                child.terminate(force=True)
            child.close()
        result = BootResult(raw.decode("latin-1"), ended, time.monotonic() - started)
        result.unanswered = [w for w, _ in pending]
        if self.log_dir:
            os.makedirs(self.log_dir, exist_ok=True)
            with open(os.path.join(self.log_dir, self.name + ".log"), "wb") as f:
                f.write(raw)
        return result


def make_workdir(prefix):
    return tempfile.mkdtemp(prefix=prefix)


def remove_workdir(path):
    shutil.rmtree(path, ignore_errors=True)
