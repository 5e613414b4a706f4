"""A small test runner for the real-shell tests: registration, skips, parallel boots, a summary."""
import os
import sys
import time
import traceback
from concurrent.futures import ThreadPoolExecutor

import qemu_shell

TESTS = []
MAX_PARALLEL = 2  # QEMU instances at a time

# The older EDK shell (tests only, never part of the repository): from
# $TARNWICK_OLD_SHELL, else from shared/uefi/ beside the repository.
OLD_SHELL_NAME = os.path.join("shared", "uefi", "edk-shell-1.0-x64.efi")
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


class Skip(Exception):
    """The test cannot run here; the reason says why."""


def test(function=None, slow=False):
    """Registers a test function taking a Context; slow ones are started first."""
    def register(f):
        f.slow = slow
        TESTS.append(f)
        return f
    return register(function) if function is not None else register


class Context:
    def __init__(self, build_dir, name, log_root):
        self.build_dir = build_dir
        self.name = name
        self.workdir = qemu_shell.make_workdir("tarnwick-uefi-%s-" % name)
        self.log_dir = os.path.join(log_root, name)
        self.boots = []
        self._disks = 0

    def efi(self, name="tarnwick.efi"):
        path = os.path.join(self.build_dir, name)
        if not os.path.exists(path):
            raise Skip("%s has not been built" % name)
        return path

    def old_shell(self):
        """The older shell's binary. Absent: a skip, or a failure under TARNWICK_REQUIRE_OLD_SHELL=1."""
        given = os.environ.get("TARNWICK_OLD_SHELL")
        if given:
            candidates = [given]
        else:  # the checkout's parent, also when the checkout is reached through a link
            candidates = sorted({os.path.join(os.path.dirname(r), OLD_SHELL_NAME)
                                 for r in (ROOT, os.path.realpath(ROOT))})
        for path in candidates:
            if os.path.isfile(path):
                return path
        why = "the older shell is absent: %s (%s)" % (
            " or ".join(candidates), "TARNWICK_OLD_SHELL" if given else "set TARNWICK_OLD_SHELL to its path")
        if os.environ.get("TARNWICK_REQUIRE_OLD_SHELL", "") not in ("", "0"):
            raise AssertionError(why + "; TARNWICK_REQUIRE_OLD_SHELL is set")
        raise Skip(why)

    def disk(self):
        path = os.path.join(self.workdir, "fs%d.img" % self._disks)
        self._disks += 1
        return qemu_shell.Disk(path)

    def boot(self, disks, interactions=(), timeout=120):
        boot = qemu_shell.Boot(disks, timeout=timeout, log_dir=self.log_dir,
                               name="boot%d" % len(self.boots))
        result = boot.run(interactions)
        self.boots.append(result)
        return result

    def close(self):
        qemu_shell.remove_workdir(self.workdir)


def check(condition, message, result=None):
    """Fails with the message and, when a boot result is given, the console tail."""
    if not condition:
        if result is not None:
            message += "\n--- console tail ---\n" + result.tail()
        raise AssertionError(message)


def expect_in(needle, haystack, what, result=None):
    check(needle in haystack, "%s: expected %r in %r" % (what, needle, haystack[-1500:]), result)


def run_one(function, build_dir, log_root):
    ctx = Context(build_dir, function.__name__, log_root)
    started = time.monotonic()
    try:
        function(ctx)
        status, detail = "PASS", ""
    except Skip as skip:
        status, detail = "SKIP", str(skip)
    except AssertionError as failure:
        status, detail = "FAIL", str(failure)
    except Exception:  # a harness fault is a failure too
        status, detail = "FAIL", traceback.format_exc()
    finally:
        ctx.close()
    return function.__name__, status, detail, time.monotonic() - started


def main(build_dir, selected=None):
    log_root = os.path.join(build_dir, "uefi-test-logs")
    # A filter that is a whole test name (as CTest passes it) selects that test only.
    names = {t.__name__ for t in TESTS}
    tests = [t for t in TESTS
             if not selected or any(t.__name__ == s if s in names else s in t.__name__ for s in selected)]
    tests.sort(key=lambda t: not t.slow)  # stable: the slow ones first, each group in file order
    started = time.monotonic()
    results = []
    with ThreadPoolExecutor(max_workers=MAX_PARALLEL) as pool:
        futures = [pool.submit(run_one, t, build_dir, log_root) for t in tests]
        for future in futures:
            name, status, detail, seconds = future.result()
            results.append((name, status))
            if status == "SKIP":  # one line that says why
                print("SKIP %s: %s" % (name, detail), flush=True)
                continue
            print("%-4s %s (%.1f s)" % (status, name, seconds), flush=True)
            if detail:
                for line in detail.splitlines():
                    print("     " + line)
                sys.stdout.flush()
    passed = sum(1 for _, s in results if s == "PASS")
    failed = sum(1 for _, s in results if s == "FAIL")
    skipped = sum(1 for _, s in results if s == "SKIP")
    print("real-shell suite: %.1f s, logs in %s" % (time.monotonic() - started, log_root))
    print("uefi: %d passed, %d failed, %d skipped" % (passed, failed, skipped))
    return 1 if failed or not results else 0
