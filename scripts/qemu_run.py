#!/usr/bin/python3
"""Runs tarnwick.efi in OVMF's UEFI shell under QEMU; scripts/qemu.sh is the way in.

Boots a host directory as FS0: (on a FAT image built with mtools, as the
real-shell tests do), interactive on this terminal through the serial
console, and copies back what the run wrote. With --simec the program is
tarnwick-simec.efi, with the simulated EC set up from simulator-like options;
--burn-in rehearses the burn-in loop unattended. --old-shell boots an older
UEFI shell instead of OVMF's own.
"""
import argparse
import filecmp
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import textwrap
import time

import qemu_shell

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

EXIT_USAGE = 64
EXIT_IO = 74
SIMEC_DIR = "SIMEC"
COUNTER = "EFI/BOOT/FlashTimes.TXT"
BOOT_LOADER = "EFI/BOOT/BOOTX64.EFI"  # where the firmware finds a shell to boot before its own
SIGNATURE_LENGTH = 9
CAUSE_LINES = 12       # console lines shown for a burn-in run that went wrong


class Refused(Exception):
    """A bad option or file: the message names it; nothing was run."""
    status = EXIT_USAGE


class Unreadable(Refused):
    """A file that cannot be read: the message names it; nothing was run."""
    status = EXIT_IO


class Stopped(Exception):
    """SIGTERM or SIGHUP: the run ends, QEMU with it, the terminal restored."""

    def __init__(self, signum):
        Exception.__init__(self, signal.Signals(signum).name)
        self.status = 128 + signum


class Parser(argparse.ArgumentParser):
    def error(self, message):
        self.print_usage(sys.stderr)
        print("qemu.sh: %s" % message, file=sys.stderr)
        sys.exit(EXIT_USAGE)


class EcOption(argparse.Action):
    """A simulated-EC option of tarnwick-sim: kept in order, with its value, for tarnwick-sim --print-ec-cfg."""

    def __call__(self, parser, namespace, values, option_string=None):
        namespace.ec_options.append((option_string, values))


def build_dir(argv):
    """The --build directory given (before argparse runs: the EC options depend on it)."""
    for i, arg in enumerate(argv):
        if arg == "--build" and i + 1 < len(argv):
            return argv[i + 1]
        if arg.startswith("--build="):
            return arg[len("--build="):]
    return os.path.join(ROOT, "build")


def simulator_ec_help(build):
    """tarnwick-sim's help on the EC's options and fault kinds, or None when it has not been built."""
    simulator = os.path.join(build, "tarnwick-sim")
    if not os.access(simulator, os.X_OK):
        return None
    return subprocess.run([simulator, "--help-ec"], stdout=subprocess.PIPE, check=True).stdout.decode()


def parse_args(argv):
    build = build_dir(argv)
    ec_help = simulator_ec_help(build)
    parser = Parser(
        prog="scripts/qemu.sh",
        usage="%(prog)s [--simec [EC options]] DIR\n       %(prog)s --burn-in N A.BIN B.BIN [EC options]\n"
              "       (and --old-shell FILE, --build BUILD_DIR, --no-build, --timeout SECONDS, --stall SECONDS)",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        description=textwrap.fill(
                    "Boots DIR as FS0: in OVMF's UEFI shell under QEMU with tarnwick.efi copied to its root, "
                    "interactive on this terminal (the serial console). When QEMU ends (type `reset -s` in "
                    "the shell, or press Ctrl-C), what the run wrote to FS0: (a /r dump, the burn-in scripts, "
                    "the counter) is copied back to DIR. QEMU has no EC: the real tool finds none there; use "
                    "--simec for the simulated one.", 100),
        epilog=textwrap.fill("With --simec the simulated EC takes every EC option of tarnwick-sim (qemu.sh "
                             "passes them through; --ec-flash FILE is written back when QEMU ends):", 100)
               + "\n\n" + (ec_help or "  (build first to list them here: bash scripts/build.sh)\n") + "\n"
               + textwrap.fill(
                   "exit status: QEMU's (0 after `reset -s` or Ctrl-C; the files are copied back either way); "
                   "--burn-in: 0 when the loop ran N cycles alternating A and B (B and A under --old-shell), 1 when "
                   "not (the console lines of the run that went wrong are shown); 64 a bad option or argument "
                   "(nothing run; the simulated EC's options and the size of the --ec-flash file as tarnwick-sim "
                   "checks them); 74 a file that cannot be read or written (a missing --ec-flash, A.BIN or B.BIN, a "
                   "program not built); 130 interrupted by Ctrl-C during --burn-in, 129 or 143 ended by SIGHUP or "
                   "SIGTERM (QEMU is stopped, nothing copied back); other: the set-up or the build before it failed. "
                   "The terminal is restored on every way out.", 100))
    parser.add_argument("dir", nargs="?", metavar="DIR", help="the host directory that becomes FS0:")
    parser.add_argument("--simec", action="store_true",
                        help="run tarnwick-simec.efi: the same program with the simulated EC behind its ports")
    parser.add_argument("--burn-in", nargs=3, metavar=("N", "A.BIN", "B.BIN"),
                        help="rehearse the burn-in loop of A.BIN and B.BIN for N power cycles, unattended, with "
                             "the simulated EC (implies --simec; the EC's project defaults to A.BIN's)")
    parser.add_argument("--old-shell", metavar="FILE",
                        help="boot FILE, an older UEFI shell such as the EDK shell 1.0 (EFI 1.1), instead of "
                             "OVMF's own; it goes on the disk as \\EFI\\BOOT\\BOOTX64.EFI. Under it the "
                             "burn-in loop flashes B, A, B, ...")
    parser.set_defaults(ec_options=[], ec_flash=None)
    for option, value in re.findall(r"^  (--[a-z][a-z-]*)(?: ([A-Z]+))?(?:  |$)", ec_help or "", re.M):
        if option == "--ec-flash":
            parser.add_argument(option, metavar=value, help=argparse.SUPPRESS)
        else:
            parser.add_argument(option, nargs=1 if value else 0, action=EcOption, help=argparse.SUPPRESS)
    parser.add_argument("--build", metavar="BUILD_DIR", default=build,
                        help="where tarnwick.efi, tarnwick-simec.efi and tarnwick-sim are (default build/)")
    parser.add_argument("--no-build", action="store_true", help="do not build first; use BUILD_DIR as it is")
    parser.add_argument("--timeout", type=int, default=300, metavar="SECONDS",
                        help="--burn-in: the longest one power cycle may take (default 300)")
    parser.add_argument("--stall", type=int, default=60, metavar="SECONDS",
                        help="--burn-in: end a power cycle whose console shows nothing new for SECONDS, e.g. one "
                             "waiting at the shell prompt (default 60)")
    args = parser.parse_args(argv)
    if ec_help is None and (args.simec or args.burn_in):
        raise Unreadable("%s has not been built (bash scripts/build.sh)" % os.path.join(build, "tarnwick-sim"))
    args.ec_options = [(option, value[0] if value else None) for option, value in args.ec_options]
    return args


def read_file(path, what):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as error:
        raise Unreadable("%s %s: %s" % (what, path, error.strerror))


def number(text, what, limit):
    try:
        value = int(text, 0)
    except ValueError:
        value = -1
    if not 0 <= value <= limit:
        raise Refused("%s %s: not a number from 0 to %d" % (what, text, limit))
    return value


def simec_config(args):
    """EC.CFG for tarnwick-simec.efi: tarnwick-sim checks the EC options (and the --ec-flash file) and writes it."""
    command = [os.path.join(args.build, "tarnwick-sim")]
    if args.ec_flash is not None:
        command += ["--ec-flash", args.ec_flash]
    for option, value in args.ec_options:
        command += [option] if value is None else [option, value]
    result = subprocess.run(command + ["--print-ec-cfg"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        # The flash file was read before: what is refused here is a value.
        message = result.stderr.decode(errors="replace").strip()
        raise Refused(message.replace("tarnwick-sim: ", "", 1))
    return b"# written by scripts/qemu.sh\n" + result.stdout


def read_flash(args):
    """The --ec-flash file's bytes (its size is checked with the EC options), or None."""
    return None if args.ec_flash is None else read_file(args.ec_flash, "--ec-flash")


def old_shell(args):
    """The --old-shell file's bytes, or None."""
    if args.old_shell is None:
        return None
    data = read_file(args.old_shell, "--old-shell")
    if data[:2] != b"MZ":
        raise Refused("--old-shell %s: not an EFI application (no MZ header)" % args.old_shell)
    return data


def efi(args, name):
    path = os.path.join(args.build, name)
    if not os.path.isfile(path):
        raise Unreadable("%s has not been built (bash scripts/build.sh)" % path)
    return path


def disk_megabytes(directory):
    total = 0
    for base, _, files in os.walk(directory):
        total += sum(os.path.getsize(os.path.join(base, f)) for f in files)
    return max(qemu_shell.DISK_MB, total // (1024 * 1024) * 2 + 8)


def extract(disk, target):
    """Every file of the disk, copied to the host directory target."""
    os.makedirs(target, exist_ok=True)
    subprocess.run(["mcopy", "-s", "-n", "-i", disk.path, "::*", target],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


FAT_FORBIDDEN = set('"*/:<>?\\|')


def fill_disk(disk, directory):
    """DIR's files onto the FAT image; refuses names that FAT cannot hold, or not apart (letter case)."""
    for base, folders, files in os.walk(directory):
        seen = {}
        for name in folders + files:
            path = os.path.join(base, name)
            if FAT_FORBIDDEN & set(name) or any(ord(c) < 32 for c in name) or name.endswith((".", " ")):
                raise Refused("DIR %s: the name of %s cannot be a FAT file name" % (directory, path))
            if name.upper() in seen:
                raise Refused("DIR %s: %s and %s would be one file on FAT (letter case aside)"
                              % (directory, seen[name.upper()], path))
            seen[name.upper()] = path
    for name in sorted(os.listdir(directory)):
        result = subprocess.run(["mcopy", "-s", "-o", "-i", disk.path, os.path.join(directory, name), "::/"],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        if result.returncode != 0:
            raise Unreadable("DIR %s: %s could not be put on the FAT image: %s"
                             % (directory, name, result.stdout.decode("latin-1").strip() or "mcopy failed"))


def changed_files(before, after):
    """Relative paths of the files in after that are new or differ from before."""
    out = []
    for base, _, files in os.walk(after):
        for name in files:
            path = os.path.join(base, name)
            rel = os.path.relpath(path, after)
            old = os.path.join(before, rel)
            if not os.path.isfile(old) or not filecmp.cmp(old, path, shallow=False):
                out.append(rel)
    return sorted(out)


def say(text):
    print("qemu.sh: " + text, flush=True)


def run_interactive(args, work):
    directory = args.dir
    if directory is None:
        raise Refused("no DIR given (scripts/qemu.sh --help)")
    if not os.path.isdir(directory):
        raise Refused("DIR %s: not a directory" % directory)
    flash = read_flash(args) if args.simec else None
    config = simec_config(args) if args.simec else None
    program = efi(args, "tarnwick-simec.efi" if args.simec else "tarnwick.efi")
    shell = old_shell(args)

    disk = qemu_shell.Disk(os.path.join(work, "fs0.img"), mb=disk_megabytes(directory))
    fill_disk(disk, directory)
    disk.put("tarnwick.efi", program)
    if shell is not None:
        disk.put(BOOT_LOADER, shell)
    if args.simec:
        disk.put(SIMEC_DIR + "/EC.CFG", config)
        if flash is not None:
            disk.put(SIMEC_DIR + "/FLASH.BIN", flash)
    before = os.path.join(work, "before")
    extract(disk, before)

    say("%s is FS0: with %s as \\tarnwick.efi" % (directory, os.path.basename(program)))
    if shell is not None:
        say("the older shell %s boots instead of OVMF's (its mapping names are lower case: fs0:)" % args.old_shell)
    if args.simec:
        say("the simulated EC answers on the ports (%s)"
            % ("flash " + args.ec_flash if flash else "its default flash: a 192K older image"))
    else:
        say("no EC answers in QEMU: every EC port reads 0xFF; use --simec for a simulated EC")
    say("in the shell: fs0:  then  tarnwick EC.BIN ...; leave with `reset -s` (or Ctrl-C)")
    status = run_on_terminal(qemu_shell.Boot([disk]).command_line())

    after = os.path.join(work, "after")
    extract(disk, after)
    for rel in changed_files(before, after):
        if rel == "tarnwick.efi" or rel.split(os.sep)[0] == SIMEC_DIR:
            continue
        target = os.path.join(directory, rel)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(after, rel), target)
        say("copied back %s" % target)
    if args.simec and args.ec_flash:
        saved = os.path.join(after, SIMEC_DIR, "FLASH.BIN")
        if os.path.isfile(saved):
            shutil.copyfile(saved, args.ec_flash)
            say("the simulated EC flash is written back to %s" % args.ec_flash)
    return status


def restore_terminal(saved):
    """The terminal as before QEMU: its modes, and the firmware's colours and hidden cursor undone."""
    if saved is not None:
        termios.tcsetattr(sys.stdin.fileno(), termios.TCSADRAIN, saved)
    if sys.stdout.isatty():
        sys.stdout.write("\x1b[0m\x1b[?25h\x1b[?7h")  # plain colours, the cursor shown, lines wrapped
    print(flush=True)


def run_on_terminal(command):
    """QEMU on this terminal up to its end; the terminal restored however it ends."""
    saved = termios.tcgetattr(sys.stdin.fileno()) if sys.stdin.isatty() else None
    previous = signal.signal(signal.SIGINT, signal.SIG_IGN)  # Ctrl-C ends QEMU, not this copy-back
    child = None
    try:
        child = subprocess.Popen(command, preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        return child.wait()
    finally:
        if child is not None and child.poll() is None:
            child.terminate()
            child.wait()
        signal.signal(signal.SIGINT, previous)
        restore_terminal(saved)


def cause(result, what):
    """The last console lines of a run that went wrong, and why it ended."""
    lines = [line.rstrip() for line in result.text.splitlines() if line.strip()]
    ended = {"exit": "QEMU ended", "timeout": "the time ran out (--timeout)",
             "stalled": "nothing new on the console for the --stall time: ended early"}[result.ended]
    say("%s: %s; its last console lines:" % (what, ended))
    for line in lines[-CAUSE_LINES:]:
        print("    | " + line, flush=True)


def project_of(image):
    """The image's project as tarnwick reads it: after "PRJ:", up to '$', at most 16 bytes."""
    at = image.find(b"PRJ:")
    if at < 0:
        return None
    value = image[at + 4:at + 20].split(b"$")[0]
    return value.decode("latin-1")


def autoload_masked(data):
    """The bytes with the autoload value bytes (+2, +8) of the first whole signature zeroed: /ad rewrites them."""
    data = bytearray(data)
    for i in range(len(data) - SIGNATURE_LENGTH + 1):
        if data[i] == 0xA5 and data[i + 1] == 0xA5 and data[i + 5] == 0x5A:
            data[i + 2] = data[i + 8] = 0
            break
    return bytes(data)


def run_burn_in(args, work):
    cycles = number(args.burn_in[0], "N", 10000)
    if cycles < 1:
        raise Refused("N %s: at least one cycle" % args.burn_in[0])
    for option, value in (("--timeout", args.timeout), ("--stall", args.stall)):
        if value < 1:
            raise Refused("%s %d: at least one second" % (option, value))
    image_a = read_file(args.burn_in[1], "A.BIN")
    image_b = read_file(args.burn_in[2], "B.BIN")
    if autoload_masked(image_a) == autoload_masked(image_b):
        raise Refused("%s and %s are the same image: the loop could not be told apart" % tuple(args.burn_in[1:]))
    projects = [value for option, value in args.ec_options if option == "--ec-project"]
    if not projects:
        args.ec_options.append(("--ec-project", project_of(image_a) or ""))
    project = projects[-1] if projects else project_of(image_a)
    for path, image in ((args.burn_in[1], image_a), (args.burn_in[2], image_b)):
        if project_of(image) != project:
            raise Refused("%s: project %r is not the EC's %r; the loop would stop at the project prompt"
                          % (path, project_of(image), project))
    flash = read_flash(args)
    config = simec_config(args)
    program = efi(args, "tarnwick-simec.efi")
    shell = old_shell(args)
    log_dir = os.path.join(args.build, "qemu-burn-in-logs")
    shutil.rmtree(log_dir, ignore_errors=True)

    disk = qemu_shell.Disk(os.path.join(work, "fs0.img"))
    disk.put("EC/tarnwick.efi", program)
    if shell is not None:
        disk.put(BOOT_LOADER, shell)
    disk.put("EC/A.BIN", image_a)
    disk.put("EC/B.BIN", image_b)
    disk.put(SIMEC_DIR + "/EC.CFG", config)
    if flash is not None:
        disk.put(SIMEC_DIR + "/FLASH.BIN", flash)
    disk.mkdir("EFI/BOOT")
    disk.put("startup.nsh", b"fs0:\r\ncd EC\r\ntarnwick A.BIN /bi B.BIN\r\n")
    say("burn-in rehearsal: A.BIN = %s, B.BIN = %s, %d power cycles, simulated EC; consoles in %s"
        % (args.burn_in[1], args.burn_in[2], cycles, log_dir))
    # The older shell reads StartUp.NSH line by line as it runs: the copy of the other script over it
    # hands the shell that script's last lines, so it flashes B first.
    order = ("B.BIN", "A.BIN") if shell is not None else ("A.BIN", "B.BIN")
    if shell is not None:
        say("the older shell %s boots instead of OVMF's: the loop flashes B.BIN first, then A.BIN" % args.old_shell)

    boot = qemu_shell.Boot([disk], timeout=args.timeout, log_dir=log_dir, name="setup")
    result = boot.run(idle_limit=args.stall)
    good = result.ended == "exit" and "Create AutoRun File : StartUp.NSH" in result.text
    say("set-up (tarnwick A.BIN /bi B.BIN): %s, counter %s"
        % ("scripts written" if good else "FAILED", (disk.get(COUNTER) or b"none").decode("latin-1")))
    if not good:
        cause(result, "the set-up")
    disk.remove("startup.nsh")

    names = {autoload_masked(image_a): "A.BIN", autoload_masked(image_b): "B.BIN"}
    for cycle in range(1, cycles + 1):
        if not good:
            break
        started = time.monotonic()
        result = qemu_shell.Boot([disk], timeout=args.timeout, log_dir=log_dir,
                                 name="cycle%d" % cycle).run(idle_limit=args.stall)
        counter = (disk.get(COUNTER) or b"none").decode("latin-1").strip()
        holds = names.get(autoload_masked(disk.get(SIMEC_DIR + "/FLASH.BIN") or b""), "neither image")
        expected = order[(cycle - 1) % 2]
        verified = "\n Verfied success\n" in result.text
        good = result.ended == "exit" and verified and counter == str(cycle) and holds == expected
        say("cycle %d/%d: counter %s, the flash holds %s%s (%.0f s)%s"
            % (cycle, cycles, counter, holds, ", verified" if verified else "", time.monotonic() - started,
               "" if good else "  <- expected counter %d and %s" % (cycle, expected)))
        if not good:
            cause(result, "cycle %d" % cycle)
    if args.ec_flash:
        saved = disk.get(SIMEC_DIR + "/FLASH.BIN")
        if saved is not None:
            with open(args.ec_flash, "wb") as f:
                f.write(saved)
            say("the simulated EC flash is written back to %s" % args.ec_flash)
    say("verdict: %s" % ("PASS: %d cycles, %s and %s alternating, the counter at %d"
                         % (cycles, order[0][0], order[1][0], cycles) if good
                         else "FAIL (the console of every boot is in %s)" % log_dir))
    return 0 if good else 1


def stop(signum, frame):
    raise Stopped(signum)


def main(argv):
    try:
        args = parse_args(argv)
    except Refused as refusal:
        print("qemu.sh: %s" % refusal, file=sys.stderr)
        return refusal.status
    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, stop)
    work = tempfile.mkdtemp(prefix="tarnwick-qemu-")
    try:
        if args.burn_in:
            if args.dir is not None:
                raise Refused("--burn-in takes no DIR")
            return run_burn_in(args, work)
        if not args.simec:
            given = [option for option, _ in args.ec_options] + (["--ec-flash"] if args.ec_flash else [])
            if given:
                raise Refused("%s needs --simec: the real tool has no simulated EC" % given[0])
        return run_interactive(args, work)
    except Refused as refusal:
        print("qemu.sh: %s" % refusal, file=sys.stderr)
        return refusal.status
    except Stopped as stopped:
        print("\nqemu.sh: ended by %s; QEMU stopped, nothing copied back" % stopped, file=sys.stderr)
        return stopped.status
    except OSError as error:
        print("qemu.sh: %s" % error, file=sys.stderr)
        return EXIT_IO
    except KeyboardInterrupt:
        print("\nqemu.sh: interrupted%s" % ("; the burn-in rehearsal did not finish" if args.burn_in else ""),
              file=sys.stderr)
        return 130
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
