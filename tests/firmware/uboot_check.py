#!/usr/bin/python3
"""The image on a second, independent UEFI: U-Boot's x86-64 build under
QEMU, started through the harness. It offers no graphics output and leaves
SSE off, so the image must find no screen, hand EFI_NOT_FOUND back to
U-Boot and leave the machine running: an instruction that needs SSE would
reset it instead.

    uboot_check.py --disk build/bootdisk.img [--artifacts DIR]

Exit status 0 when U-Boot reports the image's return, 1 otherwise; on a
failure the serial console is kept as DIR/uboot.serial.txt.
"""
import argparse
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
import harness  # noqa: E402

UBOOT_ROM = "/usr/lib/u-boot/qemu-x86_64/u-boot.rom"
STARTED = "Booting /efi\\boot\\bootx64.efi"
# U-Boot prints the low bits of the status the application returned;
# 14 is EFI_NOT_FOUND, from the failed search for a graphics output.
RETURNED = "## Application failed, r = 14"
BANNER = "U-Boot 20"
TIMEOUT = 300


class UBootMachine(harness.Machine):
    """The harness's x86-64 machine with U-Boot as its firmware instead of
    OVMF: no flash, no variable store, no screen; the disk on virtio, and
    -no-reboot, so that a reset ends QEMU."""

    def __init__(self, disk):
        # The variable store is never copied nor used: U-Boot has none.
        super().__init__(disk, accel="tcg", memory_mb=512, vars_file=os.devnull)

    def command_line(self):
        return [harness.MACHINES["x64"].qemu, "-nodefaults", "-no-user-config",
                "-bios", UBOOT_ROM, "-m", str(self.memory_mb), "-display", "none",
                "-nic", "none", "-no-reboot", "-serial", "file:" + self.serial_path,
                "-qmp", "unix:%s,server=on,wait=off" % os.path.join(self.workdir, "qmp.sock"),
                "-drive", "if=virtio,format=raw,snapshot=on,file=" + self.disk]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disk", required=True)
    parser.add_argument("--artifacts", help="folder for the serial console on a failure")
    args = parser.parse_args()
    if not os.path.exists(UBOOT_ROM):
        sys.exit("uboot_check: %s is missing; install the Debian package u-boot-qemu "
                 "(tools/install-deps does)" % UBOOT_ROM)
    if not shutil.which(harness.MACHINES["x64"].qemu):
        sys.exit("uboot_check: %s is missing; install the Debian package qemu-system-x86"
                 % harness.MACHINES["x64"].qemu)

    with UBootMachine(args.disk) as machine:
        deadline = time.monotonic() + TIMEOUT
        problem = None
        while problem is None:
            time.sleep(0.2)
            log = machine.serial()
            started = log.find(STARTED)
            if started >= 0 and RETURNED in log[started:]:
                print("U-Boot started the image and it returned EFI_NOT_FOUND (no screen)")
                return 0
            # -no-reboot: a reset ends QEMU; a second banner is a reset too.
            if log.count(BANNER) > 1:
                problem = "the machine reset"
            else:
                try:
                    machine.check_alive()
                except harness.QemuError as error:
                    problem = "the machine reset or stopped (%s)" % error
            if problem is None and time.monotonic() > deadline:
                problem = "no %r after %d s" % (RETURNED if STARTED in log else STARTED, TIMEOUT)
        log = machine.serial()
        if args.artifacts:
            os.makedirs(args.artifacts, exist_ok=True)
            with open(os.path.join(args.artifacts, "uboot.serial.txt"), "w") as kept:
                kept.write(log)
        print("uboot_check: %s; the serial console's end:\n%s" % (problem, log[-2000:]))
        return 1


if __name__ == "__main__":
    sys.exit(main())
