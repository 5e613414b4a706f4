"""scripts/qemu.sh: a host directory as FS0: with the simulated EC, the flash and the dump come back."""
import os
import subprocess

from harness import Skip, check, expect_in, test
from images import make_image
from qemu_shell import strip_escapes

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def qemu_sh(ctx, *args):
    if not os.path.exists(os.path.join(ctx.build_dir, "tarnwick-simec.efi")):
        raise Skip("tarnwick-simec.efi has not been built")
    result = subprocess.run(["bash", os.path.join(ROOT, "scripts", "qemu.sh"), "--no-build", "--build",
                             ctx.build_dir] + list(args), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=240)
    return result.returncode, result.stdout.decode("latin-1")


@test
def qemu_script_simec_update_and_dump(ctx):
    """--simec: the run flashes DIR's image, the flash file is written back and the /r dump copied back; the
    EC's options pass through (a fault kind too), and the next run's EC reports the version it was flashed with."""
    image = make_image(21)
    directory = os.path.join(ctx.workdir, "dir")
    os.makedirs(directory)
    with open(os.path.join(directory, "NEW.BIN"), "wb") as f:
        f.write(image)
    with open(os.path.join(directory, "startup.nsh"), "wb") as f:
        f.write(b"fs0:\r\ntarnwick.efi NEW.BIN /p\r\ntarnwick.efi NEW.BIN /r\r\ntarnwick.efi NONE.BIN\r\nreset -s\r\n")
    flash = os.path.join(ctx.workdir, "flash.bin")
    with open(flash, "wb") as f:
        f.write(make_image(22, project=b"TESTPRJ", version=b"1.19.01.00"))

    rc, refused = qemu_sh(ctx, "--simec", "--ec-flash", os.path.join(directory, "startup.nsh"), directory)
    check(rc == 64, "a flash file of a wrong size: exit %r\n%s" % (rc, refused))
    expect_in("it must hold 64K, 128K, 192K or 256K", refused, "refusal")
    rc, refused = qemu_sh(ctx, "--simec", "--ec-flash", os.path.join(directory, "MISSING.BIN"), directory)
    check(rc == 74, "a flash file that does not exist: exit %r\n%s" % (rc, refused))
    expect_in("MISSING.BIN: No such file or directory", refused, "refusal")

    rc, output = qemu_sh(ctx, "--simec", "--ec-flash", flash, "--ec-fault", "stale:0x55:AA", directory)
    check(rc == 0, "exit %r\n%s" % (rc, output[-2000:]))
    expect_in("Verfied success", output, "the update")
    before, _, after = strip_escapes(output).partition("Verfied success")
    expect_in("M/B  EC Version: 1.19.01.00", before, "the EC's version before the update")
    expect_in("M/B  EC Version: 1.19.01.11", after, "the EC's version on the next run")
    with open(flash, "rb") as f:
        check(f.read() == image, "the flash file does not hold the image\n" + output[-2000:])
    dumps = [n for n in os.listdir(directory) if n.startswith("ECRom")]
    check(len(dumps) == 1, "dumps copied back: %r" % dumps)
    with open(os.path.join(directory, dumps[0]), "rb") as f:
        check(f.read() == image, "the dump copied back differs from the image")
    expect_in("copied back " + os.path.join(directory, dumps[0]), output, "the copy-back line")


@test
def qemu_script_burn_in_names_the_cause(ctx):
    """--burn-in without AC: the first cycle waits at the prompt, ends early and shows why."""
    paths = []
    for seed, name in ((31, "A.BIN"), (32, "B.BIN")):
        paths.append(os.path.join(ctx.workdir, name))
        with open(paths[-1], "wb") as f:
            f.write(make_image(seed))
    rc, output = qemu_sh(ctx, "--burn-in", "2", paths[0], paths[1], "--no-ac", "--stall", "10")
    check(rc == 1, "exit %r\n%s" % (rc, output[-2000:]))
    expect_in("cycle 1: nothing new on the console for the --stall time: ended early", output, "the early end")
    expect_in("    | Not found the AC adapter,insert the AC adapter please. Then try again.", output, "the cause")
    expect_in("verdict: FAIL", output, "the verdict")
    check("cycle 2/2" not in output, "a second cycle ran after the first failed\n" + output[-2000:])
