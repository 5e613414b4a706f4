"""tarnwick.efi and tarnwick-simec.efi under the older EDK shell ("EFI Shell version 2.70 [1.0]").

That shell boots as \\EFI\\BOOT\\BOOTX64.EFI and runs startup.nsh like OVMF's
own. It hands the program only the older shell interface (Argv[0] as typed),
its mapping names are lower case (fs0:), and %lasterror% prints the whole
status: 8000000000000003 for EFI_UNSUPPORTED. It reads a running script line
by line from the open file, so the burn-in loop flashes B, A, B, ...
"""
import os
import re

from harness import check, expect_in, test
from images import autoload_disabled, make_image
from qemu_shell import startup_script
from test_real_tool import HELP_LIST, PARAMETER_MESSAGE, PROMPT, QUIT_LINE
from test_qemu_script import qemu_sh
from test_simulated_ec import COLD_RESET, START_LINE, check_burn_in_setup, check_flash, simec_disk

UNSUPPORTED = 0x8000000000000003
BANNER = "EFI Shell version 2.70 [1.0]"


def booted(result):
    check(result.ended == "exit", "QEMU did not end by itself", result)
    check(not result.unanswered, "never saw %r" % result.unanswered, result)
    expect_in(BANNER, result.text, "the older shell's banner", result)


def old_shell_disk(ctx):
    """A boot disk for the older shell with tarnwick-simec.efi as \\EC\\tarnwick.efi."""
    shell = ctx.old_shell()
    disk = simec_disk(ctx, efi_path="EC/tarnwick.efi")
    disk.put("EFI/BOOT/BOOTX64.EFI", shell)
    return disk


def started_as(output, argv0, directory, what, result):
    """The simulated-EC start line: Argv[0] and the current directory the program took."""
    expect_in(START_LINE, output, what, result)
    expect_in("; Argv[0]=%s; current directory %s\n" % (argv0, directory), output, what, result)


@test
def old_shell_help_and_rejected_option(ctx):
    """The help list, a rejected option and no image name, with the status as the older shell prints it."""
    fs0 = ctx.disk()
    fs0.put("EFI/BOOT/BOOTX64.EFI", ctx.old_shell())
    fs0.put("tarnwick.efi", ctx.efi())
    fs0.put("startup.nsh", startup_script(["tarnwick X.BIN /ah", "tarnwick X.BIN /x", "tarnwick", "ver"]))
    result = ctx.boot([fs0], timeout=90)
    booted(result)
    for n, expected in ((0, HELP_LIST + PARAMETER_MESSAGE), (1, PARAMETER_MESSAGE), (2, PARAMETER_MESSAGE)):
        output, rc = result.command(n)
        check(rc == UNSUPPORTED, "command %d: rc %r, expected 8000000000000003" % (n, rc), result)
        check(output == expected, "command %d: console %r" % (n, output), result)
    check(result.command(3)[1] == 0, "a command that succeeds: rc %r" % result.command(3)[1], result)


@test
def old_shell_image_lookup(ctx):
    """The image in the current directory, through ..\\, in another folder, on fs1: only, and a missing one."""
    fs0 = old_shell_disk(ctx)
    fs0.put("EC/A.BIN", make_image(31, size=4096, project=b"AAA"))
    fs0.put("IMG/B.BIN", make_image(32, size=4096, project=b"BBB"))
    fs1 = ctx.disk()
    fs1.put("IMG/C.BIN", make_image(33, size=4096, project=b"CCC"))
    fs0.put("startup.nsh", startup_script([
        ("raw", "cd EC"),
        "tarnwick A.BIN",                # 1: the current directory
        "tarnwick ..\\IMG\\B.BIN",       # 2: up and down again
        ("raw", "cd \\"),
        "EC\\tarnwick IMG\\B.BIN",       # 4: another folder, from the root
        ("raw", "cd IMG"),
        "\\EC\\tarnwick C.BIN",          # 6: only on fs1:
        "\\EC\\tarnwick NOPE.BIN",       # 7: nowhere
    ]))
    result = ctx.boot([fs0, fs1], timeout=120, interactions=[(PROMPT, "n")] * 4)
    booted(result)
    found = {1: ("tarnwick", "fs0:\\EC", "AAA"), 2: ("tarnwick", "fs0:\\EC", "BBB"),
             4: ("EC\\tarnwick", "fs0:\\", "BBB"), 6: ("\\EC\\tarnwick", "fs0:\\IMG", "CCC")}
    for n, (argv0, directory, project) in found.items():
        output, rc = result.command(n)
        started_as(output, argv0, directory, "command %d" % n, result)
        expect_in("File EC Project: %s\n" % project, output, "command %d" % n, result)
        expect_in(PROMPT + QUIT_LINE, output, "command %d" % n, result)
        check(rc == UNSUPPORTED, "command %d: rc %r" % (n, rc), result)
    output, rc = result.command(7)
    expect_in("Can not open the input file:\\IMG\\NOPE.BIN\n", output, "missing image", result)
    check(rc == UNSUPPORTED, "missing image: rc %r" % rc, result)


def dump_in(disk, directory):
    names = [n for n in disk.listdir(directory) if re.fullmatch(r"ECRom\d{8}\.bin", n)]
    return names, [disk.get((directory + "/" if directory else "") + n) for n in names]


@test
def old_shell_update_and_dump(ctx):
    """A full update in fs0:\\EC, then /r there and at the root: each dump lands where the shell stands."""
    image = make_image(34)
    fs0 = old_shell_disk(ctx)
    fs0.put("EC/NEW.BIN", image)
    fs0.put("startup.nsh", startup_script([
        ("raw", "cd EC"),
        "tarnwick NEW.BIN /p",           # 1
        "tarnwick NEW.BIN /r",           # 2
        ("raw", "cd \\"),
        "EC\\tarnwick NEW.BIN /r",       # 4
    ]))
    result = ctx.boot([fs0], timeout=150)
    booted(result)
    output, rc = result.command(1)
    check(rc == 0, "update: rc %r" % rc, result)
    started_as(output, "tarnwick", "fs0:\\EC", "update", result)
    expect_in("\n Verfied success\n", output, "update", result)
    check_flash(fs0, image, "update", result)
    for n, directory in ((2, "EC"), (4, "")):
        output, rc = result.command(n)
        check(rc == UNSUPPORTED, "/r: rc %r" % rc, result)
        names, contents = dump_in(fs0, directory)
        check(len(names) == 1, "/r in \\%s: dumps %r" % (directory, names), result)
        expect_in("Waitting to write data to the input file : %s\\%s" % ("\\" + directory if directory else "",
                                                                         names[0]), output, "/r", result)
        check(contents[0] == image, "/r in \\%s: the dump differs from the flash" % directory, result)


@test(slow=True)
def old_shell_burn_in_order(ctx):
    """/bi, then two power cycles: the older shell flashes B first, then A; counting and swapping as usual."""
    image_a, image_b = make_image(35), make_image(36)
    fs0 = old_shell_disk(ctx)
    fs0.put("EC/A.BIN", image_a)
    fs0.put("EC/B.BIN", image_b)
    fs0.put("startup.nsh", startup_script([("raw", "cd EC"), "tarnwick A.BIN /bi B.BIN"]))
    result = ctx.boot([fs0], timeout=90)
    booted(result)
    first, second = check_burn_in_setup(result, 1, fs0, b"fs0:")
    fs0.remove("startup.nsh")

    # The copy over the running StartUp.NSH hands the shell the other script's last lines.
    for run, (image, name, script_next) in enumerate(((image_b, "B", second), (image_a, "A", first)), 1):
        result = ctx.boot([fs0], timeout=120)
        what = "run %d (%s.BIN)" % (run, name)
        booted(result)
        expect_in("Down count to shutdown,  Waitting (5) second(s) ..... (%d)" % run, result.text,
                  what + ": countdown with the run count", result)
        expect_in(COLD_RESET % 5, result.text, what + ": power cycle", result)
        check(fs0.get("EFI/BOOT/FlashTimes.TXT") == str(run).encode(),
              "%s: counter %r" % (what, fs0.get("EFI/BOOT/FlashTimes.TXT")), result)
        check_flash(fs0, autoload_disabled(image, 3), what, result)
        check(fs0.get("EFI/BOOT/StartUp.NSH") == script_next, "%s: StartUp.NSH was not swapped" % what, result)


@test
def old_shell_nested_start(ctx):
    """The older shell started from OVMF's shell in fs0:\\EC: the image and the dump go by the older shell's folder."""
    image = make_image(37, size=4096, project=b"IMGPRJ")
    fs0 = simec_disk(ctx, efi_path="EC/tarnwick.efi")
    fs0.put("OLDSHELL.EFI", ctx.old_shell())
    fs0.put("IMG/A.BIN", image)
    fs0.put("NESTED.NSH", startup_script([("raw", "cd \\IMG"), "\\EC\\tarnwick A.BIN", "\\EC\\tarnwick A.BIN /r"]))
    fs0.put("startup.nsh", b"@echo -off\r\nfs0:\r\ncd EC\r\nfs0:\\OLDSHELL.EFI fs0:\\NESTED.NSH\r\nreset -s\r\n")
    result = ctx.boot([fs0], timeout=120, interactions=[(PROMPT, "n")])
    booted(result)
    expect_in("UEFI Interactive Shell", result.text, "OVMF's shell first", result)
    output, rc = result.command(1)
    started_as(output, "\\EC\\tarnwick", "fs0:\\IMG", "image lookup", result)
    expect_in("File EC Project: IMGPRJ\n", output, "image lookup", result)
    check(rc == UNSUPPORTED, "image lookup: rc %r" % rc, result)
    output, rc = result.command(2)
    names, contents = dump_in(fs0, "IMG")
    check(len(names) == 1 and not dump_in(fs0, "EC")[0], "/r: dumps in \\IMG %r, in \\EC %r"
          % (names, dump_in(fs0, "EC")[0]), result)
    check(rc == UNSUPPORTED, "/r: rc %r" % rc, result)


@test(slow=True)
def old_shell_qemu_script_burn_in(ctx):
    """scripts/qemu.sh --old-shell FILE --burn-in 1: the rehearsal expects B first and passes; a bad FILE is refused."""
    shell = ctx.old_shell()
    paths = []
    for seed, name in ((38, "A.BIN"), (39, "B.BIN")):
        paths.append(os.path.join(ctx.workdir, name))
        with open(paths[-1], "wb") as f:
            f.write(make_image(seed))
    rc, refused = qemu_sh(ctx, "--old-shell", paths[0], "--burn-in", "1", *paths)
    check(rc == 64, "an image as the shell: exit %r\n%s" % (rc, refused))
    expect_in("not an EFI application", refused, "refusal")
    rc, output = qemu_sh(ctx, "--old-shell", shell, "--burn-in", "1", *paths)
    check(rc == 0, "exit %r\n%s" % (rc, output[-2000:]))
    expect_in("cycle 1/1: counter 1, the flash holds B.BIN, verified", output, "the first cycle")
    expect_in("verdict: PASS: 1 cycles, B and A alternating", output, "the verdict")
