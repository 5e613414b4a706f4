"""tarnwick.efi itself in OVMF's shell. QEMU has no EC: every EC port reads 0xFF.

Never pass /o0 here: its command port is 0x64, the keyboard controller, and
the 0xFE the tool may write there resets the virtual machine.
"""
import datetime
import pathlib
import re

from harness import check, expect_in, test
from images import checksum, make_image
from qemu_shell import startup_script

EFI_UNSUPPORTED_RC = 0x3
PARAMETER_MESSAGE = "Please kindly to check your parameter."
END_TIME_RE = re.compile(r"\nEnd time \d\d:\d\d:\d\d\n")
PROMPT = "Press 'Y' key to continue update, the others key to quit(Y/N)?"
MISMATCH = "It's difference project, this file can't use on this machine\n"
QUIT_LINE = "\nSelectd to quit this update\n"
CONTINUE_LINE = "\nSelectd to continue this update\n"

# The help list, exact to the byte, shared with the host tests.
HELP_LIST = (pathlib.Path(__file__).resolve().parent.parent / "golden" / "help_list.txt").read_bytes().decode()


@test
def smoke_bad_option(ctx):
    """Starts, reads its arguments, clears the screen, refuses a bad option."""
    fs0 = ctx.disk()
    fs0.put("tarnwick.efi", ctx.efi())
    fs0.put("startup.nsh", startup_script(["tarnwick.efi X.BIN /x"]))
    result = ctx.boot([fs0], timeout=90)
    check(result.ended == "exit", "QEMU did not end by itself", result)
    output, rc = result.command(0)
    check(rc == EFI_UNSUPPORTED_RC, "rc %r, expected EFI_UNSUPPORTED (0x3)" % rc, result)
    check(output == PARAMETER_MESSAGE, "console %r" % output, result)
    raw = result.raw_command(0)
    check("\x1b[2J" in raw, "the screen was not cleared", result)
    screen = result.screen(raw)
    check(screen.display[0].startswith(PARAMETER_MESSAGE),
          "message not at the top left of the cleared screen: %r" % screen.display[0], result)


def _dump_names(disk, directory, extension="bin"):
    return [n for n in disk.listdir(directory) if re.fullmatch(r"ECRom\d{8}\.%s" % extension, n)]


def _expected_dump_names(started, finished):
    """ECRom names for every minute of the run, one minute either side (the firmware clock is UTC)."""
    names = set()
    t = started - datetime.timedelta(minutes=1)
    while t <= finished + datetime.timedelta(minutes=1):
        names.add("ECRom%02d%02d%02d%02d.bad" % (t.month, t.day, t.hour, t.minute))
        t += datetime.timedelta(seconds=30)
    return names


@test
def help_missing_image_and_dump(ctx):
    """The help list, a missing image at the root and in a folder, and /r in both (no EC: never a backup)."""
    fs0 = ctx.disk()
    fs0.put("tarnwick.efi", ctx.efi())
    fs0.mkdir("EC")
    fs0.put("EC/BIG.BIN", make_image(9, size=262144 + 1))
    fs0.put("startup.nsh", startup_script([
        "tarnwick.efi X.BIN /ah",      # 0
        "tarnwick.efi NOPE.BIN",       # 1
        "tarnwick.efi X.BIN /r",       # 2
        ("raw", "cd EC"),
        "tarnwick.efi NOPE.BIN",       # 4
        "tarnwick.efi X.BIN /r",       # 5
        "tarnwick.efi",                # 6: no image name
        "tarnwick.efi BIG.BIN",        # 7: larger than four blocks
    ]))
    started = datetime.datetime.utcnow()
    result = ctx.boot([fs0], timeout=120)
    finished = datetime.datetime.utcnow()
    check(result.ended == "exit", "QEMU did not end by itself", result)

    output, rc = result.command(0)
    check(rc == EFI_UNSUPPORTED_RC, "/ah: rc %r" % rc, result)
    check(output == HELP_LIST + PARAMETER_MESSAGE, "/ah: console %r" % output, result)

    for n, path in ((1, "\\NOPE.BIN"), (4, "\\EC\\NOPE.BIN")):
        output, rc = result.command(n)
        check(rc == EFI_UNSUPPORTED_RC, "missing image: rc %r (a failed load ends with 4)" % rc, result)
        expect_in("Can not open the input file:%s\n" % path, output, "missing image", result)
        expect_in("EC Flash Utility for UEFI Ver 1.19.01.11       Start time ", output, "banner", result)
        check(END_TIME_RE.search(output), "no end-time line after the missing image", result)

    # QEMU has no EC: every command byte times out (0xDE 0xDC 0x03 0x00 0xFE), so the
    # dump is kept as .bad and nothing lands under the backup's .bin name.
    expected = _expected_dump_names(started, finished)
    for n, directory in ((2, ""), (5, "EC")):
        output, rc = result.command(n)
        check(rc == EFI_UNSUPPORTED_RC, "/r: rc %r" % rc, result)
        check(not _dump_names(fs0, directory), "/r in %r left a .bin" % (directory or "\\"), result)
        names = _dump_names(fs0, directory, "bad")
        check(len(names) == 1, "/r in %r: dump files %r" % (directory or "\\", names), result)
        check(names[0] in expected, "/r: %s does not match the firmware clock (%s)" % (names[0], sorted(expected)),
              result)
        shown = ("\\%s\\%s" % (directory, names[0])) if directory else "\\" + names[0]
        check(output == "It get data to buufer, then write to file\nBlock 0:" + "*" * 64 + "\n"
              "Waitting to write data to the input file : " + shown + "\nThe dump is not complete: the EC did "
              "not answer 0 of 65536 bytes and did not take 5 command bytes. It is no backup.\n",
              "/r console %r" % output, result)
        data = fs0.get((directory + "/" if directory else "") + names[0])
        check(data == b"\xff" * 65536, "/r: the dump is not 64 KB of 0xFF (%d bytes)" % len(data or b""), result)

    output, rc = result.command(6)
    check(rc == EFI_UNSUPPORTED_RC, "no image name: rc %r" % rc, result)
    check(output == PARAMETER_MESSAGE, "no image name: console %r" % output, result)

    output, rc = result.command(7)
    check(rc == EFI_UNSUPPORTED_RC, "oversized image: rc %r" % rc, result)
    expect_in("This file is larger than 256K EC ROM, Check it, Please.\n", output, "oversized image", result)
    check("File EC Project" not in output and "Entry Flash" not in output,
          "the oversized image was shown or flashed", result)


@test
def image_search_and_project_prompt(ctx):
    """The image on FS1 from FS0, FS0's copy preferred, and the project prompt answered n and y."""
    only1 = make_image(1, size=4096, project=b"ONE")
    both0 = make_image(2, size=4096, project=b"ZERO")
    both1 = make_image(3, size=4096, project=b"ONE")
    fs0, fs1 = ctx.disk(), ctx.disk()
    fs0.put("tarnwick.efi", ctx.efi())
    fs0.put("BOTH.BIN", both0)
    fs1.put("ONLY1.BIN", only1)
    fs1.put("BOTH.BIN", both1)
    fs0.put("startup.nsh", startup_script([
        "tarnwick.efi ONLY1.BIN",              # 0: found on FS1; answered n
        ("raw", "fs1:"),
        "fs0:\\tarnwick.efi BOTH.BIN",         # 2: FS0's copy although the shell is on FS1; n
        ("raw", "fs0:"),
        "tarnwick.efi ONLY1.BIN /e5 /p",       # 4: answered y; no EC: nothing erased, stays in the shell
    ]))
    result = ctx.boot([fs0, fs1], timeout=120,
                      interactions=[(PROMPT, "n"), (PROMPT, "n"), (PROMPT, "y")])
    check(result.ended == "exit", "QEMU did not end by itself", result)

    for n, image, project in ((0, only1, "ONE"), (2, both0, "ZERO")):
        output, rc = result.command(n)
        check(rc == EFI_UNSUPPORTED_RC, "declined prompt: rc %r" % rc, result)
        expect_in("File EC Project: %s\nFile EC Version: 1.19.01.11\n" % project, output, "image identity", result)
        expect_in("Check Sum: %s\n" % checksum(image), output, "checksum", result)
        expect_in(MISMATCH + PROMPT + QUIT_LINE, output, "declined prompt", result)
        check("End time" not in output, "an end-time line after quitting", result)

    output, rc = result.command(4)
    check(rc == EFI_UNSUPPORTED_RC, "accepted prompt with /e5 /p and no EC: rc %r" % rc, result)
    expect_in(PROMPT + CONTINUE_LINE + "Entry Flash ...... \nThe EC did not answer on its ports: nothing was "
              "erased or written.\n", output, "accepted prompt", result)
    check("Erase position" not in output, "/e5 erased with no EC to take it", result)
    check(END_TIME_RE.search(output), "no end-time line", result)
    # PrintAt(24, 26) then "\nEnd time": the line feed (CR LF on the console)
    # puts the text at the start of row 27.
    screen = result.screen(result.raw_command(4))
    check("\x1b[27;25H" in result.raw_command(4), "no cursor move to column 24, row 26", result)
    check(screen.display[27].startswith("End time"), "end time not on row 27: %r" % screen.display[27], result)


def burn_in_scripts(volume, directory, first, second):
    """What /bi writes: (StartUp.NSH and ecBurnIn1st.NSH, ecBurnIn2nd.NSH)."""
    def script(copy_from, name):
        return (b"%s\ncd \\EFI\\BOOT\ncp -q %s StartUp.NSH\ncd %s\ntarnwick %s /ad /c5 /v /br \r\n"
                % (volume, copy_from, directory, name))
    return script(b"ecBurnIn2ND.NSH", first), script(b"ecBurnIn1ST.NSH", second)


BURN_IN_SETUP_TEXT = ("Create Burn in File : ecBurnIn1st.NSH \n"
                      "Create Burn in File : ecBurnIn2nd.NSH \n"
                      "Create AutoRun File : StartUp.NSH \n")


@test(slow=True)
def burn_in_setup_and_next_boot(ctx):
    """/bi writes the scripts and the counter; at the next boot the shell runs StartUp.NSH and counts 1."""
    fs0 = ctx.disk()
    fs0.put("EC/TOOLS/tarnwick.efi", ctx.efi())
    fs0.put("EC/TOOLS/A.BIN", make_image(4, size=4096, project=b"AAA"))
    fs0.mkdir("EFI/BOOT")
    fs0.put("startup.nsh", startup_script([("raw", "cd EC\\TOOLS"), "tarnwick.efi A.BIN /bi B.BIN"]))
    result = ctx.boot([fs0], timeout=90)
    check(result.ended == "exit", "QEMU did not end by itself", result)
    output, rc = result.command(1)
    check(rc == EFI_UNSUPPORTED_RC, "/bi: rc %r" % rc, result)
    expect_in(BURN_IN_SETUP_TEXT, output, "/bi", result)
    raw = result.raw_command(1)
    digits = re.findall(r"\x1b\[13;63H[^\d]*(\d)", raw)
    check(digits == list("543210"), "countdown digits at column 62, row 12: %r" % digits, result)
    screen = result.screen(raw)
    check(screen.display[12][18:].startswith("Wait a moment again about 0~4 seconds."),
          "row 12 after the countdown: %r" % screen.display[12], result)

    startup, second = burn_in_scripts(b"FS0:", b"\\EC\\TOOLS", b"A.BIN", b"B.BIN")
    check(fs0.get("EFI/BOOT/StartUp.NSH") == startup, "StartUp.NSH: %r" % fs0.get("EFI/BOOT/StartUp.NSH"))
    check(fs0.get("EFI/BOOT/ecBurnIn1st.NSH") == startup,
          "ecBurnIn1st.NSH: %r" % fs0.get("EFI/BOOT/ecBurnIn1st.NSH"))
    check(fs0.get("EFI/BOOT/ecBurnIn2nd.NSH") == second,
          "ecBurnIn2nd.NSH: %r" % fs0.get("EFI/BOOT/ecBurnIn2nd.NSH"))
    check(fs0.get("EFI/BOOT/FlashTimes.TXT") == b"0", "FlashTimes.TXT: %r" % fs0.get("EFI/BOOT/FlashTimes.TXT"))

    # The next power-on: only the burn-in start-up script is left for the shell.
    fs0.remove("startup.nsh")
    result = ctx.boot([fs0], timeout=90, interactions=[
        (PROMPT, "n"), (QUIT_LINE, None), ("FS0:\\EC\\TOOLS\\>", "reset -s\r")])
    check(result.ended == "exit", "the second boot did not end", result)
    check(not result.unanswered, "never saw %r" % result.unanswered, result)
    expect_in("File EC Project: AAA\n", result.text, "the script's run of A.BIN", result)
    check(fs0.get("EFI/BOOT/FlashTimes.TXT") == b"1", "counter after one run: %r" % fs0.get("EFI/BOOT/FlashTimes.TXT"),
          result)
    check(fs0.get("EFI/BOOT/StartUp.NSH") == second, "StartUp.NSH was not swapped for the second script", result)
