#!/usr/bin/python3
"""Boots a disk image under OVMF (x86-64) or AAVMF (ARM64) in QEMU: the way
to present the deck without writing it to a stick, and the machines the
firmware tests drive.

    tools/boot.py build/bootdisk.img                 a window, or VNC without a display
    tools/boot.py build/bootdisk.img --headless      no screen at all (serial console only)
    tools/boot.py DISK --vga-size 800x600            the firmware starts in that mode
    tools/boot.py DISK --virtio-gpu                  a display with no linear framebuffer
                                                     (--vga-size sets its mode too)
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
import collections
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

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
QEMU_MODULES = "/usr/lib/x86_64-linux-gnu/qemu"
AAVMF_DIR = "/usr/share/AAVMF"

# One record per machine a disk boots on, keyed by the name of its
# removable-media file. board: QEMU's machine type and the options after
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
ARCHITECTURES = tuple(MACHINES)
# The firmware reads the whole image file into memory and then loads it
# into pages of its own: twice the image, and about 90 MiB OVMF uses itself
# (the 250-slide image of 295 MiB boots in 680 MiB, not in 672 MiB; the
# default 57 MiB one in 208 MiB, not in 192 MiB).
FIRMWARE_MEMORY_MB = 128
# What OVMF's boot manager writes to the serial console when it reaches the
# boot options: proof that the firmware ran all its earlier phases.
BOOT_MANAGER_MARK = "BdsDxe:"


class QemuError(Exception):
    pass


def console_text(raw):
    """The serial console as plain text: OVMF's terminal escapes removed,
    line ends normalised."""
    text = raw.decode("latin-1")
    text = re.sub(r"\x1b\[[0-9;=?]*[A-Za-z]", "", text)
    return text.replace("\r\n", "\n").replace("\r", "\n")


def _free_vnc_display():
    """The lowest VNC display number whose port is free on 127.0.0.1."""
    for display in range(0, 100):
        with socket.socket() as probe:
            try:
                probe.bind(("127.0.0.1", 5900 + display))
            except OSError:
                continue
            return display
    raise QemuError("no free VNC port between 5900 and 5999")


class Screen:
    """One screendump: width, height and the pixels as RGB bytes, rows top
    to bottom."""

    def __init__(self, width, height, rgb):
        self.width = width
        self.height = height
        self.rgb = rgb

    @classmethod
    def from_ppm(cls, data):
        # A binary PPM as QEMU writes it: "P6\n<w> <h>\n255\n" then RGB.
        # Exactly one whitespace byte ends the header: the pixel bytes that
        # follow may themselves look like whitespace.
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
        if header is None:
            raise QemuError("unexpected screendump header %r" % data[:20])
        width, height = int(header.group(1)), int(header.group(2))
        rgb = data[header.end():]
        if len(rgb) != width * height * 3:
            raise QemuError("screendump of %dx%d holds %d bytes" % (width, height, len(rgb)))
        return cls(width, height, rgb)

    def rows(self, x, y, width, height):
        """The RGB bytes of a rectangle, one bytes object per row."""
        stride = self.width * 3
        return [self.rgb[(y + row) * stride + x * 3:(y + row) * stride + (x + width) * 3]
                for row in range(height)]

    def save_png(self, path):
        from PIL import Image
        Image.frombytes("RGB", (self.width, self.height), self.rgb).save(path)


class Qmp:
    """A minimal QMP client: one command at a time, events kept aside."""

    def __init__(self, path, timeout):
        deadline = time.monotonic() + timeout
        while True:
            try:
                self.sock = socket.socket(socket.AF_UNIX)
                self.sock.connect(path)
                break
            except OSError:
                self.sock.close()
                if time.monotonic() > deadline:
                    raise QemuError("no QMP socket at %s" % path)
                time.sleep(0.05)
        self.sock.settimeout(timeout)
        self.reader = self.sock.makefile("rb")
        self.events = []
        self._message()  # the greeting
        self.command("qmp_capabilities")

    def _message(self):
        line = self.reader.readline()
        if not line:
            raise QemuError("QEMU closed the QMP connection")
        return json.loads(line)

    def command(self, name, **arguments):
        request = {"execute": name}
        if arguments:
            request["arguments"] = arguments
        self.sock.sendall(json.dumps(request).encode() + b"\n")
        while True:
            reply = self._message()
            if "event" in reply:
                self.events.append(reply)
            elif "error" in reply:
                raise QemuError("%s: %s" % (name, reply["error"].get("desc")))
            else:
                return reply.get("return")

    def close(self):
        self.reader.close()
        self.sock.close()


# Keys as QEMU codes: what each character needs pressed, shift first.
def key_codes(character):
    if character.isalpha() and character.isascii():
        return (["shift"] if character.isupper() else []) + [character.lower()]
    named = {" ": "spc", "\n": "ret", "-": "minus", ".": "dot", ",": "comma", "/": "slash"}
    if character.isdigit():
        return [character]
    if character in named:
        return [named[character]]
    raise ValueError("no key code for %r" % character)


def memory_for(disk):
    """Guest memory in MiB for booting the image on DISK: twice the disk's
    size (the image and nothing much else), with room for the firmware,
    rounded up to 64 MiB."""
    mib = 1024 * 1024
    disk_mib = (os.path.getsize(disk) + mib - 1) // mib
    return -(-(2 * disk_mib + FIRMWARE_MEMORY_MB) // 64) * 64


class Machine:
    """One QEMU run: OVMF, the disk as a snapshot, a QMP socket and the
    serial console in a file. Use as a context manager; it kills QEMU when
    the block ends, whatever happened inside."""

    def __init__(self, disk, *, vga_size=None, virtio_gpu=False, accel=None,
                 display="none", vnc_display=None, memory_mb=None, secure_boot=False,
                 arch="x64", usb_keyboard=False, microsoft_keys=False, vars_file=None):
        if arch not in ARCHITECTURES:
            raise ValueError("arch must be one of %s" % ", ".join(ARCHITECTURES))
        if (secure_boot and MACHINES[arch].secure is None
                or microsoft_keys and MACHINES[arch].microsoft is None):
            raise ValueError("Secure Boot is set up for OVMF (x64) only")
        self.arch = arch
        self.disk = os.path.abspath(disk) if disk else None
        self.vga_size = vga_size
        self.virtio_gpu = virtio_gpu
        self.accel = accel
        self.display = display
        self.vnc_display = vnc_display
        # Enough for the image on the disk, unless given.
        self.memory_mb = memory_mb or (memory_for(self.disk) if self.disk else FIRMWARE_MEMORY_MB)
        self.secure_boot = secure_boot or microsoft_keys
        self.usb_keyboard = usb_keyboard
        # microsoft_keys: Secure Boot with Microsoft's keys instead of the
        # test ones. vars_file: a variable store used in place (not a fresh
        # copy), so what one run enrolls the next run still has.
        self.microsoft_keys = microsoft_keys
        self.vars_file = vars_file
        self.process = None
        self.qmp = None
        self.workdir = None
        self.started_at = None

    # Paths inside the run's own temporary folder.
    @property
    def serial_path(self):
        return os.path.join(self.workdir, "serial.log")

    @property
    def stderr_path(self):
        return os.path.join(self.workdir, "qemu.err")

    @property
    def vars_path(self):
        return self.vars_file or os.path.join(self.workdir, "vars.fd")

    def command_line(self):
        machine = MACHINES[self.arch]
        command = [machine.qemu, "-nodefaults", "-no-user-config",
                   "-machine", "%s,accel=%s" % (machine.board, self.accel)]
        if machine.cpu:
            command += ["-cpu", machine.cpu]
        command += [
            "-m", str(self.memory_mb),
            "-drive", "if=pflash,format=raw,readonly=on,file=" + self.firmware_files()[0],
            "-drive", "if=pflash,format=raw,file=" + self.vars_path,
            "-nic", "none",
            "-serial", "file:" + self.serial_path,
            "-qmp", "unix:%s,server=on,wait=off" % os.path.join(self.workdir, "qmp.sock"),
        ]
        command += machine.keyboard
        if self.usb_keyboard and not machine.keyboard:
            # The only keyboard a USB one on xHCI, as a presenter's remote
            # is attached: the PC's own PS/2 controller is left out.
            command += ["-machine", "i8042=off", "-device", "qemu-xhci", "-device", "usb-kbd"]
        if self.secure_boot:
            # Only code running in SMM may write the variable store, so
            # nothing the firmware starts can switch Secure Boot off.
            command += ["-machine", "smm=on",
                        "-global", "driver=cfi.pflash01,property=secure,value=on"]
        if self.disk:
            # snapshot=on: writes go to a temporary overlay, never the file.
            command += ["-drive", "format=raw,snapshot=on,file=" + self.disk]
        command += ["-device", self.screen_device()]
        if self.display == "vnc":
            command += ["-display", "none", "-vnc", "127.0.0.1:%d" % self.vnc_display]
        else:
            command += ["-display", self.display]
        return command

    def screen_device(self):
        """The display device and its options: the virtio GPU, the board's
        own screen, or the VGA adapter in the mode asked for."""
        if self.virtio_gpu:
            return "virtio-gpu-pci" + (",xres=%d,yres=%d" % self.vga_size if self.vga_size else "")
        screen = MACHINES[self.arch].screen
        if screen:
            return screen
        if self.vga_size:
            width, height = self.vga_size
            return "VGA,xres=%d,yres=%d%s" % (width, height, _vga_memory(width, height))
        return "VGA"

    def start(self):
        if self.accel is None:
            self.accel = "kvm" if MACHINES[self.arch].kvm and kvm_works() else "tcg"
        self.workdir = tempfile.mkdtemp(prefix="boot.")
        if not self.vars_file:
            shutil.copyfile(self.firmware_files()[1], self.vars_path)
        command = self.command_line()
        if shutil.which("setpriv"):
            # QEMU dies with us, even when we are killed without a chance
            # to close it (a test timeout): no machine left running.
            command = ["setpriv", "--pdeathsig", "KILL", "--"] + command
        with open(self.stderr_path, "wb") as errors:
            self.started_at = time.monotonic()
            self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                            stdout=errors, stderr=errors)
        try:
            self.qmp = Qmp(os.path.join(self.workdir, "qmp.sock"), timeout=30)
        except Exception:
            self.close()
            raise
        return self

    def firmware_files(self):
        """The firmware's code and the variable store it starts from."""
        machine = MACHINES[self.arch]
        if self.microsoft_keys:
            return machine.microsoft
        return machine.secure if self.secure_boot else (machine.code, machine.store)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self.qmp:
            try:
                if self.process.poll() is None:
                    self.qmp.command("quit")
            except (QemuError, OSError):
                pass
            self.qmp.close()
            self.qmp = None
        if self.process:
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None
        if self.workdir:
            shutil.rmtree(self.workdir, ignore_errors=True)
            self.workdir = None

    # What the machine is doing.
    def serial(self):
        try:
            with open(self.serial_path, "rb") as log:
                return console_text(log.read())
        except FileNotFoundError:
            return ""

    def qemu_errors(self):
        with open(self.stderr_path, "rb") as log:
            return log.read().decode("utf-8", "replace")

    def status(self):
        """QEMU's run state: "running", "internal-error", "shutdown", ..."""
        return self.qmp.command("query-status")["status"]

    def check_alive(self):
        """Raises when QEMU has exited or stopped the CPU for good."""
        if self.process.poll() is not None:
            raise QemuError("QEMU exited with %d: %s" % (self.process.returncode,
                                                         self.qemu_errors().strip()))
        status = self.status()
        if status in ("internal-error", "guest-panicked", "shutdown", "io-error"):
            raise QemuError("QEMU stopped the machine (%s): %s" % (status,
                                                                   self.qemu_errors().strip()))

    def wait_for_serial(self, text, timeout, start=0):
        """Waits until the serial console holds text at or after offset
        start; returns the offset where it begins."""
        deadline = time.monotonic() + timeout
        while True:
            found = self.serial().find(text, start)
            if found >= 0:
                return found
            self.check_alive()
            if time.monotonic() > deadline:
                raise QemuError("no %r on the serial console after %d s" % (text, timeout))
            time.sleep(0.1)

    # Screen and keyboard.
    def screendump(self):
        path = os.path.join(self.workdir, "screen.ppm")
        self.qmp.command("screendump", filename=path)
        with open(path, "rb") as dump:
            return Screen.from_ppm(dump.read())

    def press(self, character, hold=0.03):
        """Types one character: shift first for upper case."""
        self.press_codes(key_codes(character), hold)

    def press_codes(self, codes, hold=0.03):
        """Presses QEMU key codes together ("shift", "a", "right", ...):
        key down, a short hold, key up. Direct input events reach the
        firmware sooner and more steadily than send-key, whose queue delays
        keys."""
        self.key_event(codes, down=True)
        time.sleep(hold)
        self.key_event(codes, down=False)

    def key_event(self, codes, down):
        """All keys down in order, or all up in reverse order."""
        order = codes if down else list(reversed(codes))
        self.qmp.command("input-send-event", events=[
            {"type": "key", "data": {"down": down, "key": {"type": "qcode", "data": code}}}
            for code in order])


def _vga_memory(width, height):
    """The VGA property that gives the adapter room for a mode larger than
    its default 16 MB of video memory (2560x1600 and up), or ""."""
    needed_mb = (width * height * 4 + (1 << 20) - 1) >> 20
    if needed_mb <= 16:
        return ""
    size_mb = 16
    while size_mb < needed_mb:
        size_mb *= 2
    return ",vgamem_mb=%d" % size_mb


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


_kvm_verdict = None


def kvm_works():
    """True when KVM runs OVMF as far as its boot manager. /dev/kvm can be
    there and still fail at the first unusual instruction (QEMU then stops
    with "KVM internal error"), so this boots the firmware once, without a
    disk, and watches. The answer is kept for the rest of the process;
    BOOT_ACCEL=kvm or tcg in the environment skips the probe."""
    global _kvm_verdict
    forced = os.environ.get("BOOT_ACCEL")
    if forced:
        return forced == "kvm"
    if _kvm_verdict is None:
        _kvm_verdict = False
        if os.access("/dev/kvm", os.R_OK | os.W_OK):
            try:
                with Machine(None, accel="kvm") as probe:
                    probe.wait_for_serial(BOOT_MANAGER_MARK, timeout=30)
                    _kvm_verdict = True
            except QemuError:
                pass
    return _kvm_verdict


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
    machine.vnc_display = _free_vnc_display()
    print("No display (DISPLAY and WAYLAND_DISPLAY are unset): the screen is on "
          "VNC at 127.0.0.1:%d (display :%d)." % (5900 + machine.vnc_display,
                                                machine.vnc_display))


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
                      microsoft_keys=args.secure_boot_shim)
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
