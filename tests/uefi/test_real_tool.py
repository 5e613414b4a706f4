"""tarnwick.efi itself in OVMF's shell. QEMU has no EC: every EC port reads 0xFF.

Never pass /o0 here: its command port is 0x64, the keyboard controller, and
the 0xFE the tool may write there resets the virtual machine.
"""
from harness import check, expect_in, test
from qemu_shell import startup_script

EFI_UNSUPPORTED_RC = 0x3
PARAMETER_MESSAGE = "Please kindly to check your parameter."


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
    expect_in(PARAMETER_MESSAGE, output, "console", result)
    raw = result.raw_command(0)
    check("\x1b[2J" in raw, "the screen was not cleared", result)
    screen = result.screen(raw)
    check(screen.display[0].startswith(PARAMETER_MESSAGE),
          "message not at the top left of the cleared screen: %r" % screen.display[0], result)
