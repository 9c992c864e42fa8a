#!/usr/bin/python3
"""Boots a disk image under OVMF (x86-64) or AAVMF (ARM64) in QEMU: the way
to present the deck without writing it to a stick. The machines are those
of harness/, which the firmware tests drive too.

    tools/boot.py build/bootdisk.img                 a window, or VNC without a display
    tools/boot.py build/bootdisk.img --headless      no screen at all (serial console only)
    tools/boot.py DISK --vga-size 800x600            the firmware starts in that mode
    tools/boot.py DISK --virtio-gpu                  a display with no linear framebuffer
                                                     (--vga-size sets its mode too)
    tools/boot.py DISK --second-screen [WxH]         a second screen (secondary-vga) beside the
                                                     first, in the first's mode or 800x600; the
                                                     window's View menu shows either, VNC the
                                                     second on the next display
    tools/boot.py DISK --secure-boot                 Secure Boot enforced, Debian's test key in db
    tools/boot.py DISK --secure-boot-shim            Secure Boot enforced, Microsoft's keys (a
                                                     SECURE_BOOT_SHIM disk, to rehearse MokManager)
    tools/boot.py DISK --arch aa64                   an ARM64 machine (QEMU's virt board, AAVMF,
                                                     ramfb or with --virtio-gpu a virtio GPU,
                                                     USB keyboard)

Every run gets a fresh copy of the firmware's variable store and boots the
disk as a snapshot, so the image file is never written. KVM is used when it
really runs the firmware, TCG otherwise (always TCG for ARM64 on an x86-64
host).
"""
import argparse
import os
import signal
import socket
import sys
import time

# The harness lies at the top of the source tree, beside tools/.
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from harness import (ARCHITECTURES, MACHINES, OVMF_MS_VARS, SNAKEOIL_KEY,  # noqa: E402
                     Machine, QemuError, missing_packages)

# Where Debian's QEMU keeps its display modules: a window needs gtk or sdl.
QEMU_MODULES = "/usr/lib/x86_64-linux-gnu/qemu"


def _free_vnc_display(count=1):
    """The lowest VNC display number from which COUNT ports in a row are
    free on 127.0.0.1."""
    for display in range(0, 100 - count + 1):
        if all(_port_free(5900 + display + offset) for offset in range(count)):
            return display
    raise QemuError("no %d free VNC ports in a row between 5900 and 5999" % count)


def _port_free(port):
    with socket.socket() as probe:
        try:
            probe.bind(("127.0.0.1", port))
        except OSError:
            return False
        return True


def _window_display():
    """The QEMU display that opens a window here, or None without one."""
    if not (os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY")):
        return None
    for name in ("gtk", "sdl"):
        if os.path.exists(os.path.join(QEMU_MODULES, "ui-%s.so" % name)):
            return name
    return None


def _size(text):
    try:
        width, height = (int(part) for part in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError("expected WIDTHxHEIGHT, e.g. 800x600")
    if width % 8:
        raise argparse.ArgumentTypeError("the width must be a multiple of 8")
    return width, height


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("disk", help="raw disk image, e.g. build/bootdisk.img")
    parser.add_argument("--headless", action="store_true",
                        help="no window and no VNC; the serial console is still shown")
    parser.add_argument("--vga-size", type=_size, metavar="WxH",
                        help="resolution the firmware starts in (the standard VGA adapter, "
                             "or the virtio GPU with --virtio-gpu)")
    parser.add_argument("--virtio-gpu", action="store_true",
                        help="a virtio GPU, whose graphics output has no linear framebuffer")
    parser.add_argument("--second-screen", type=_size, nargs="?", const=True, metavar="WxH",
                        help="a second display device (QEMU's secondary-vga) beside the first, "
                             "as a projector beside the laptop's own screen, for images built "
                             "with SCREENS=mirror (x64 only). OVMF starts it in the first's mode "
                             "or, given 800x600 and a first mode larger than 832x624, in 800x600")
    parser.add_argument("--arch", choices=ARCHITECTURES, default="x64",
                        help="the machine: x64 (a PC with OVMF, the default) or aa64 (QEMU's "
                             "ARM64 virt board with AAVMF; ramfb at 800x600 unless --virtio-gpu)")
    parser.add_argument("--secure-boot", action="store_true",
                        help="Secure Boot enforced, with Debian's test certificate in db: only "
                             "images signed with %s boot" % SNAKEOIL_KEY)
    parser.add_argument("--secure-boot-shim", action="store_true",
                        help="Secure Boot enforced with Microsoft's keys (a fresh copy of %s): "
                             "a SECURE_BOOT_SHIM disk boots through shim, to rehearse enrolling "
                             "the key in MokManager" % OVMF_MS_VARS)
    parser.add_argument("--accel", choices=("auto", "kvm", "tcg"), default="auto")
    args = parser.parse_args()
    if not os.path.isfile(args.disk):
        parser.error("%s: no such file (build it first: cmake --build build)" % args.disk)
    machine = MACHINES[args.arch]
    if (args.secure_boot and machine.secure is None
            or args.secure_boot_shim and machine.microsoft is None):
        parser.error("--secure-boot and --secure-boot-shim are set up for --arch x64 (OVMF) only")
    if args.vga_size and not args.virtio_gpu and machine.screen:
        parser.error("--vga-size on --arch %s needs --virtio-gpu (%s is 800x600)"
                     % (args.arch, machine.screen))
    if args.second_screen:
        try:
            Machine(None, vga_size=args.vga_size, virtio_gpu=args.virtio_gpu, arch=args.arch,
                    second_screen=args.second_screen).second_screen_device()
        except ValueError as problem:
            parser.error("--second-screen: %s" % problem)
    if args.accel == "kvm" and not machine.kvm:
        parser.error("--arch %s runs under TCG only on this machine" % args.arch)
    return args


def choose_display(machine, headless):
    """A window where there is a display, VNC on a free local port where
    there is none, nothing with --headless; says which."""
    if headless:
        print("Headless: no screen; serial console below.")
        return
    window = _window_display()
    if window:
        machine.display = window
        print("Opening a %s window." % window)
        return
    machine.display = "vnc"
    machine.vnc_display = _free_vnc_display(2 if machine.second_screen else 1)
    print("No display (DISPLAY and WAYLAND_DISPLAY are unset): the screen is on "
          "VNC at 127.0.0.1:%d (display :%d)." % (5900 + machine.vnc_display,
                                                machine.vnc_display))
    if machine.second_screen:
        print("The second screen is on VNC at 127.0.0.1:%d (display :%d)."
              % (5901 + machine.vnc_display, machine.vnc_display + 1))


def echo_serial(machine):
    """Shows the serial console as it comes until QEMU ends."""
    shown = 0
    try:
        while machine.process.poll() is None:
            text = machine.serial()
            sys.stdout.write(text[shown:])
            sys.stdout.flush()
            shown = len(text)
            if machine.status() == "internal-error":
                sys.exit("QEMU stopped the machine: " + machine.qemu_errors())
            time.sleep(0.2)
    except (KeyboardInterrupt, QemuError, OSError):
        pass


def main():
    args = parse_arguments()
    problem = missing_packages(args.secure_boot, args.arch, args.secure_boot_shim)
    if problem:
        sys.exit(problem)
    accel = None if args.accel == "auto" else args.accel
    machine = Machine(args.disk, vga_size=args.vga_size, virtio_gpu=args.virtio_gpu, accel=accel,
                      secure_boot=args.secure_boot, arch=args.arch,
                      microsoft_keys=args.secure_boot_shim, second_screen=args.second_screen)
    choose_display(machine, args.headless)
    # Ctrl-C or a kill ends QEMU with us.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    with machine:
        print("QEMU with %s and %d MiB of memory; Ctrl-C ends it."
              % (machine.accel.upper(), machine.memory_mb), flush=True)
        echo_serial(machine)
    return 0


if __name__ == "__main__":
    sys.exit(main())
