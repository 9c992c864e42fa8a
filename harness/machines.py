"""The machines a disk boots on: the firmware files Debian installs, QEMU's
board and devices for each machine, and the memory a boot needs."""
import collections
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import facts  # noqa: E402

OVMF_DIR = "/usr/share/OVMF"
OVMF_CODE = os.path.join(OVMF_DIR, "OVMF_CODE_4M.fd")
OVMF_VARS = os.path.join(OVMF_DIR, "OVMF_VARS_4M.fd")
# Secure Boot: OVMF's build that keeps its variables in SMM, and Debian's
# variable store with Secure Boot on and a test ("snakeoil") certificate in
# PK, KEK and db. Its private key is shipped too, passphrase "snakeoil":
# images signed with it boot, all others are refused.
OVMF_SECURE_CODE = os.path.join(OVMF_DIR, "OVMF_CODE_4M.secboot.fd")
OVMF_SECURE_VARS = os.path.join(OVMF_DIR, "OVMF_VARS_4M.snakeoil.fd")
# The same firmware with Microsoft's keys in KEK and db, as on most PCs:
# Debian's Microsoft-signed shim boots there (SECURE_BOOT_SHIM).
OVMF_MS_VARS = os.path.join(OVMF_DIR, "OVMF_VARS_4M.ms.fd")
SNAKEOIL_KEY = "/usr/share/ovmf/PkKek-1-snakeoil.key"
SNAKEOIL_CERT = "/usr/share/ovmf/PkKek-1-snakeoil.pem"
AAVMF_DIR = "/usr/share/AAVMF"

# One record per machine a disk boots on (facts.MACHINES), keyed by the
# name of its removable-media file. board: QEMU's machine type and the options after
# "accel=..."; code, store: the firmware and the variable store each run
# starts from a copy of; secure: the Secure Boot pair of those, or None;
# microsoft: the Secure Boot pair with Microsoft's keys enrolled, or None;
# screen: the display device without --virtio-gpu (None: the standard VGA
# adapter, sized by --vga-size); keyboard: the devices and options that
# give the firmware keys; packages: the Debian packages of the emulator and
# of the firmware; kvm: whether KVM is tried.
Arch = collections.namedtuple("Arch", "qemu board cpu code store secure microsoft screen "
                                      "keyboard packages kvm")
MACHINES = {
    "x64": Arch(qemu="qemu-system-x86_64", board="q35", cpu=None,
                code=OVMF_CODE, store=OVMF_VARS, secure=(OVMF_SECURE_CODE, OVMF_SECURE_VARS),
                microsoft=(OVMF_SECURE_CODE, OVMF_MS_VARS),
                screen=None, keyboard=(),  # the board's own PS/2 keyboard
                packages=("qemu-system-x86", "ovmf"), kvm=True),
    # QEMU's virt board with Debian's build of the same firmware for it. A
    # 64-bit core QEMU emulates quickly (max adds features, such as pointer
    # authentication, that cost time under TCG and the image does not use).
    # The firmware's only linear framebuffer there is ramfb: 800x600,
    # blue-green-red. The board has no PS/2: keys come from a USB keyboard;
    # menu=on with splash-time=0 skips the firmware's five-second wait for
    # a key before it boots.
    "aa64": Arch(qemu="qemu-system-aarch64", board="virt", cpu="cortex-a57",
                 code=os.path.join(AAVMF_DIR, "AAVMF_CODE.fd"),
                 store=os.path.join(AAVMF_DIR, "AAVMF_VARS.fd"), secure=None, microsoft=None,
                 screen="ramfb", keyboard=("-device", "qemu-xhci", "-device", "usb-kbd",
                                           "-boot", "menu=on,splash-time=0"),
                 packages=("qemu-system-arm", "qemu-efi-aarch64"), kvm=False),
}
# In facts.py's order; a machine the build makes images for has a record.
ARCHITECTURES = tuple(m.arch for m in facts.MACHINES)
assert set(ARCHITECTURES) == set(MACHINES), "harness/machines.py and facts.py name other machines"
# The firmware reads the whole image file into memory and then loads it
# into pages of its own: twice the image, and about 90 MiB OVMF uses itself
# (the 250-slide image of 295 MiB boots in 680 MiB, not in 672 MiB; the
# default 57 MiB one in 208 MiB, not in 192 MiB).
FIRMWARE_MEMORY_MB = 128
# What OVMF's boot manager writes to the serial console when it reaches the
# boot options: proof that the firmware ran all its earlier phases.
BOOT_MANAGER_MARK = "BdsDxe:"


def memory_for(disk):
    """Guest memory in MiB for booting the image on DISK: twice the disk's
    size (the image and nothing much else), with room for the firmware,
    rounded up to 64 MiB."""
    mib = 1024 * 1024
    disk_mib = (os.path.getsize(disk) + mib - 1) // mib
    return -(-(2 * disk_mib + FIRMWARE_MEMORY_MB) // 64) * 64


def missing_packages(secure_boot=False, arch="x64", microsoft_keys=False):
    """What is missing to run a machine, as a message; None when all is
    there."""
    machine = MACHINES[arch]
    emulator_package, firmware_package = machine.packages
    missing = []
    if not shutil.which(machine.qemu):
        missing.append("%s (Debian package %s)" % (machine.qemu, emulator_package))
    firmware = (machine.code, machine.store)
    if secure_boot:
        firmware += machine.secure + (SNAKEOIL_KEY, SNAKEOIL_CERT)
    if microsoft_keys:
        firmware += machine.microsoft
    for path in firmware:
        if not os.path.isfile(path):
            missing.append("%s (Debian package %s)" % (path, firmware_package))
    if not missing:
        return None
    return "missing: %s; tools/install-deps installs them" % ", ".join(missing)
