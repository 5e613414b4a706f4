"""tarnwick-simec.efi: the real program with the simulated EC behind its ports.

Its EC is configured by \\SIMEC\\EC.CFG and its flash is \\SIMEC\\FLASH.BIN on
the boot volume; a power-off or reset the EC performs ends QEMU (-no-reboot),
and booting the same disk again is one power cycle.
"""
import re

from harness import check, expect_in, test
from images import GSENSOR_START, autoload_disabled, checksum, make_image
from qemu_shell import startup_script
from test_real_tool import BURN_IN_SETUP_TEXT, burn_in_scripts

SIMEC = "tarnwick-simec.efi"
START_LINE = "tarnwick-simec: SIMULATED EC, not the real tool"
COLD_RESET = "tarnwick-simec: EC power-off, automatic power-on in %d s: cold reset"
FLASH_192K = 3 * 65536


def block_lines(count, mark="*"):
    return "".join("\nBlock%d: %s   Fine" % (b, mark * 64) for b in range(count))


def simec_disk(ctx, config=b"", flash=None, efi_path="tarnwick.efi"):
    disk = ctx.disk()
    disk.put(efi_path, ctx.efi(SIMEC))
    disk.put("SIMEC/EC.CFG", config)
    # The EC answers the project and version queries from the tags of the image its flash holds.
    disk.put("SIMEC/FLASH.BIN", flash if flash is not None else make_image(100, version=b"1.01.00"))
    return disk


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return "0x%X: 0x%02X vs 0x%02X" % (i, x, y)
    return "lengths %d vs %d" % (len(a), len(b))


def check_flash(disk, expected, what, result):
    flash = disk.get("SIMEC/FLASH.BIN")
    check(flash == expected, "%s: the flash differs at %s" % (what, first_difference(flash or b"", expected)), result)


def check_burn_in_setup(result, command, fs0, volume):
    """The /bi set-up of A.BIN and B.BIN in \\EC: its console, the power cycle and both scripts' bytes.
    Returns the two scripts (StartUp.NSH's first contents, ecBurnIn2nd.NSH)."""
    output, _ = result.command(command)
    expect_in(BURN_IN_SETUP_TEXT, output, "/bi", result)
    expect_in(COLD_RESET % 5, output, "power cycle after the set-up", result)
    first, second = burn_in_scripts(volume, b"\\EC", b"A.BIN", b"B.BIN")
    check(fs0.get("EFI/BOOT/StartUp.NSH") == first, "StartUp.NSH: %r" % fs0.get("EFI/BOOT/StartUp.NSH"), result)
    check(fs0.get("EFI/BOOT/ecBurnIn2nd.NSH") == second, "ecBurnIn2nd.NSH: %r" % fs0.get("EFI/BOOT/ecBurnIn2nd.NSH"),
          result)
    return first, second


@test
def simec_full_update(ctx):
    """A 192 KB image: chip erase, blank check, program, verify; the flash file equals the image."""
    image = make_image(1)
    fs0 = simec_disk(ctx)
    fs0.put("NEW.BIN", image)
    fs0.put("startup.nsh", startup_script(["tarnwick.efi NEW.BIN /p"]))
    result = ctx.boot([fs0], timeout=120)
    output, rc = result.command(0)
    check(rc == 0, "rc %r" % rc, result)
    expect_in(START_LINE, output, "start line", result)
    expect_in("M/B  EC Project: TESTPRJ\nM/B  EC Version: 1.01.00\n"
              "File EC Project: TESTPRJ\nFile EC Version: 1.19.01.11\n"
              "File EC Build Date: 2026/12/07        Check Sum: %s\n" % checksum(image), output, "identity", result)
    expect_in("Rom Size(192)K", output, "part ID line", result)
    expect_in("Erase ====================>\nErasing:" + "*" * 64 + "   Fine", output, "chip erase", result)
    # The blank check shows "+" while it reads a sector, then backspace and the mark.
    expect_in("Blank Check ==============>" + block_lines(3, "+\b*") + "\n Blank Check success\n", output,
              "blank check", result)
    expect_in("Write data ===============>" + block_lines(3) + "\n write success\n", output, "program", result)
    expect_in("Verify Check =============>" + block_lines(3) + "\n Verfied success\n", output, "verify", result)
    check(re.search(r"\nEnd time \d\d:\d\d:\d\d\n", output), "no end-time line", result)
    check_flash(fs0, image, "full update", result)
    check_identity_colours(result)


def check_identity_colours(result):
    """The firmware's colours as the serial terminal shows them: names cyan, versions magenta,
    the checksum brown, "Entry Flash" red on black."""
    screen = result.screen(result.raw_command(0))
    expected = [
        (1, "M/B  EC Project: ", "TESTPRJ", "cyan"),
        (2, "M/B  EC Version: ", "1.01.00", "magenta"),
        (3, "File EC Project: ", "TESTPRJ", "cyan"),
        (4, "File EC Version: ", "1.19.01.11", "magenta"),
    ]
    for row, label, value, background in expected:
        line = screen.display[row]
        check(line.startswith(label + value), "row %d: %r" % (row, line), result)
        cells = [screen.buffer[row][c] for c in range(len(label), len(label) + len(value))]
        check(all(c.bg == background and c.fg == "white" for c in cells),
              "row %d: %s shown as %r" % (row, value, sorted({(c.fg, c.bg) for c in cells})), result)
        check(screen.buffer[row][0].bg == "black", "row %d: the label is not on black" % row, result)
    line = screen.display[5]
    at = line.find("Check Sum: ") + len("Check Sum: ")
    check(all(screen.buffer[5][c].bg == "brown" for c in range(at, at + 4)), "the checksum is not on brown", result)
    check(screen.display[6].startswith("Entry Flash ...... ") and screen.buffer[6][0].fg == "red",
          "Entry Flash is not red: %r" % screen.display[6], result)


@test
def simec_sector_sweep_boot_last(ctx):
    """Mode reply 0x5A: the sector sweep instead of the chip erase, and the first kilobyte programmed last."""
    image = make_image(2)
    fs0 = simec_disk(ctx, config=b"ec-mode-reply = 0x5A\n")
    fs0.put("NEW.BIN", image)
    fs0.put("startup.nsh", startup_script(["tarnwick.efi NEW.BIN /p"]))
    result = ctx.boot([fs0], timeout=120)
    output, rc = result.command(0)
    check(rc == 0, "rc %r" % rc, result)
    expect_in("mode reply 0x5A", output, "start line", result)
    expect_in("Erase  ====================>", output, "sector sweep header", result)
    expect_in("\n ersse success\n", output, "sector sweep verdict", result)
    check("Erase ====================>\n" not in output, "a chip erase ran", result)
    expect_in("Update data ==============>", output, "boot-last programming", result)
    expect_in("\n Verfied success\n", output, "verify", result)
    check_flash(fs0, image, "boot-last update", result)


@test
def simec_keep_gsensor_tail(ctx):
    """/g: 190 sectors erased, 194,560 bytes programmed; the flash's tail keeps its old bytes."""
    old = make_image(3, project=b"TESTPRJ")
    image = make_image(4)
    fs0 = simec_disk(ctx, flash=old)
    fs0.put("NEW.BIN", image)
    fs0.put("startup.nsh", startup_script(["tarnwick.efi NEW.BIN /g /p"]))
    result = ctx.boot([fs0], timeout=120)
    output, rc = result.command(0)
    check(rc == 0, "rc %r" % rc, result)
    expect_in("\n Verfied success\n", output, "verify", result)
    check_flash(fs0, image[:GSENSOR_START] + old[GSENSOR_START:], "/g", result)


@test(slow=True)
def simec_byte_never_programs(ctx):
    """A flash byte that never programs: five full passes, each verify fails, the run reports failure."""
    image = make_image(5)
    address = 0x1234
    check(image[address] != 0xFF, "test image: pick another address")
    fs0 = simec_disk(ctx, config=b"ec-fault = never-program:0x%X\n" % address)
    fs0.put("NEW.BIN", image)
    fs0.put("startup.nsh", startup_script(["tarnwick.efi NEW.BIN /p"]))
    result = ctx.boot([fs0], timeout=180)
    output, rc = result.command(0)
    check(rc == 0x3, "rc %r, expected EFI_UNSUPPORTED after five failed passes" % rc, result)
    check(output.count("\n Verfied fail\n") == 5, "verify failures: %d" % output.count("\n Verfied fail\n"), result)
    check(output.count("Erase ====================>") == 5, "passes: %d" % output.count("Erase ===================="),
          result)
    check(re.search(r"\nEnd time \d\d:\d\d:\d\d\n", output), "no end-time line", result)
    expected = bytearray(image)
    expected[address] = 0xFF
    check_flash(fs0, bytes(expected), "stuck byte", result)


@test
def simec_cold_boot(ctx):
    """/c2: the update, the countdown, then the EC's power-off with automatic power-on: a cold reset."""
    image = make_image(6)
    fs0 = simec_disk(ctx)
    fs0.put("NEW.BIN", image)
    fs0.put("startup.nsh", startup_script(["tarnwick.efi NEW.BIN /c2"]))
    result = ctx.boot([fs0], timeout=120)
    check(result.ended == "exit", "QEMU did not end", result)
    output, rc = result.command(0)
    check(rc is None, "the program returned (rc %r) instead of the machine going down" % rc, result)
    expect_in("Down count to shutdown,  Waitting (2) second(s) .....", output, "countdown line", result)
    expect_in(COLD_RESET % 2, output, "power-off", result)
    check("@@DONE" not in result.text, "the shell went on after the power-off", result)
    check_flash(fs0, image, "cold boot", result)


@test(slow=True)
def simec_burn_in_loop(ctx):
    """/bi, then four power cycles driven only by the shell running StartUp.NSH: A, B, A, B, counting 1..4."""
    image_a = make_image(7)
    image_b = make_image(8)
    fs0 = simec_disk(ctx, efi_path="EC/tarnwick.efi")
    fs0.put("EC/A.BIN", image_a)
    fs0.put("EC/B.BIN", image_b)
    fs0.mkdir("EFI/BOOT")
    fs0.put("startup.nsh", startup_script([("raw", "cd EC"), "tarnwick A.BIN /bi B.BIN"]))
    result = ctx.boot([fs0], timeout=90)
    first, second = check_burn_in_setup(result, 1, fs0, b"FS0:")
    check(fs0.get("EFI/BOOT/FlashTimes.TXT") == b"0", "counter after the set-up: %r"
          % fs0.get("EFI/BOOT/FlashTimes.TXT"), result)
    fs0.remove("startup.nsh")

    for run in range(1, 5):
        image, name, script_next = (image_a, "A", second) if run % 2 else (image_b, "B", first)
        result = ctx.boot([fs0], timeout=120)
        what = "run %d (%s.BIN)" % (run, name)
        check(result.ended == "exit", "%s: QEMU did not end" % what, result)
        expect_in("tarnwick %s.BIN /ad /c5 /v /br" % name, result.text, what + ": the script's command", result)
        expect_in("               AutoLoad Disabled\n", result.text, what + ": autoload", result)
        expect_in("\n Verfied success\n", result.text, what + ": verify", result)
        expect_in("Down count to shutdown,  Waitting (5) second(s) ..... (%d)" % run, result.text,
                  what + ": countdown with the run count", result)
        expect_in(COLD_RESET % 5, result.text, what + ": power cycle", result)
        counter = fs0.get("EFI/BOOT/FlashTimes.TXT")
        check(counter == str(run).encode(), "%s: counter %r" % (what, counter), result)
        check_flash(fs0, autoload_disabled(image, 3), what, result)
        check(fs0.get("EFI/BOOT/StartUp.NSH") == script_next, "%s: StartUp.NSH was not swapped" % what, result)


@test
def simec_watchdog_and_shutdown(ctx):
    """/w3 ends in the EC's watchdog reset; /h0 in a power-off without power-on: a shutdown."""
    image = make_image(9)
    fs0 = simec_disk(ctx)
    fs0.put("NEW.BIN", image)
    fs0.put("startup.nsh", startup_script(["tarnwick.efi NEW.BIN /w3"]))
    result = ctx.boot([fs0], timeout=120)
    output, rc = result.command(0)
    check(rc is None, "/w3: the program returned (rc %r)" % rc, result)
    expect_in("Down count to shutdown,  Waitting (3) second(s) .....", output, "/w3 countdown line", result)
    expect_in("tarnwick-simec: EC watchdog reset after 3 s: cold reset", output, "/w3", result)
    check_flash(fs0, image, "/w3", result)

    fs0.put("startup.nsh", startup_script(["tarnwick.efi NEW.BIN /h0"]))
    result = ctx.boot([fs0], timeout=120)
    output, rc = result.command(0)
    check(rc is None, "/h0: the program returned (rc %r)" % rc, result)
    expect_in("Down count to shutdown,  Waitting (0) second(s) .....", output, "/h0 countdown line", result)
    expect_in("tarnwick-simec: EC power-off: shutdown", output, "/h0", result)
    check_flash(fs0, image, "/h0", result)


@test
def shell_directory_and_program_name_forms(ctx):
    """What the shell hands over, as the simulated machine must copy it (shown by the start line).

    No current directory before a mapping command; "FS0:" without a backslash
    at a root; a folder without its trailing backslash and in the letter case
    typed; Argv[0] the resolved path of the image, ".EFI" appended when the
    extension was left out.
    """
    fs0 = simec_disk(ctx)
    fs0.mkdir("EC")
    fs0.put("startup.nsh", startup_script([
        "fs0:\\tarnwick.efi X.BIN /p",   # 0
        ("raw", "fs0:"),
        "tarnwick X.BIN /p",             # 2
        ("raw", "cd ec\\"),
        "..\\tarnwick.efi X.BIN /p",     # 4
    ], cwd=None))
    result = ctx.boot([fs0], timeout=90)
    expected = {
        0: ("FS0:\\tarnwick.efi", "(none)", "\\X.BIN"),
        2: ("FS0:\\tarnwick.EFI", "FS0:", "\\X.BIN"),
        4: ("FS0:\\ec\\..\\tarnwick.efi", "FS0:\\ec", "\\ec\\X.BIN"),
    }
    for n, (argv0, directory, path) in expected.items():
        output, rc = result.command(n)
        expect_in("; Argv[0]=%s; current directory %s\n" % (argv0, directory), output or "", "command %d" % n, result)
        expect_in("Can not open the input file:%s\n" % path, output, "command %d" % n, result)
        check(rc == 0x3, "command %d: rc %r" % (n, rc), result)


@test
def simec_no_adapter(ctx):
    """Without the AC adapter the run stops before the banner; /k goes on and updates."""
    image = make_image(10)
    fs0 = simec_disk(ctx, config=b"no-ac\n")
    fs0.put("NEW.BIN", image)
    fs0.put("startup.nsh", startup_script(["tarnwick.efi NEW.BIN /p", "tarnwick.efi NEW.BIN /k /p"]))
    result = ctx.boot([fs0], timeout=120)
    output, rc = result.command(0)
    check(rc == 0x3, "no adapter: rc %r" % rc, result)
    expect_in("Not found the AC adapter,insert the AC adapter please. Then try again.\n", output, "no adapter",
              result)
    check("EC Flash Utility" not in output, "the banner came before the adapter check", result)
    output, rc = result.command(1)
    check(rc == 0, "/k: rc %r" % rc, result)
    expect_in("\n Verfied success\n", output, "/k", result)
    check_flash(fs0, image, "/k", result)
