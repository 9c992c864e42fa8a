#!/usr/bin/python3
"""The image on a second, independent UEFI: U-Boot's x86-64 build under
QEMU. It offers no graphics output and leaves SSE off, so the image must
find no screen, hand EFI_NOT_FOUND back to U-Boot and leave the machine
running: an instruction that needs SSE would reset it instead.

    uboot_check.py --disk build/bootdisk.img

Exit status 0 when U-Boot reports the image's return, 1 otherwise.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

QEMU = "qemu-system-x86_64"
UBOOT_ROM = "/usr/lib/u-boot/qemu-x86_64/u-boot.rom"
STARTED = "Booting /efi\\boot\\bootx64.efi"
# U-Boot prints the low bits of the status the application returned;
# 14 is EFI_NOT_FOUND, from the failed search for a graphics output.
RETURNED = "## Application failed, r = 14"
BANNER = "U-Boot 20"
TIMEOUT = 300


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disk", required=True)
    args = parser.parse_args()
    for path, package in ((shutil.which(QEMU), "qemu-system-x86"), (UBOOT_ROM, "u-boot-qemu")):
        if not path or not os.path.exists(path):
            sys.exit("uboot_check: %s is missing; install the Debian package %s "
                     "(tools/install-deps does)" % (path or QEMU, package))

    work = tempfile.mkdtemp(prefix="uboot.")
    log_path = os.path.join(work, "serial.log")
    command = [QEMU, "-nodefaults", "-no-user-config", "-bios", UBOOT_ROM, "-m", "512",
               "-display", "none", "-nic", "none", "-no-reboot", "-serial", "file:" + log_path,
               "-drive", "if=virtio,format=raw,snapshot=on,file=" + os.path.abspath(args.disk)]
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stderr=subprocess.PIPE)
    log = ""
    try:
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            time.sleep(0.2)
            with open(log_path, "rb") as serial:
                log = serial.read().decode("utf-8", "replace")
            started = log.find(STARTED)
            if started >= 0 and RETURNED in log[started:]:
                print("U-Boot started the image and it returned EFI_NOT_FOUND (no screen)")
                return 0
            # -no-reboot: a reset ends QEMU; a second banner is a reset too.
            if process.poll() is not None or log.count(BANNER) > 1:
                break
        if process.poll() is not None:
            problem = "the machine reset or stopped (QEMU exited with %d)" % process.returncode
        elif log.count(BANNER) > 1:
            problem = "the machine reset"
        else:
            problem = "no %r after %d s" % (RETURNED if STARTED in log else STARTED, TIMEOUT)
        print("uboot_check: %s; the serial console's end:\n%s" % (problem, log[-2000:]))
        return 1
    finally:
        if process.poll() is None:
            process.kill()
        process.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
