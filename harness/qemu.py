"""One QEMU run of a machine (Machine): its command line, the serial
console, the screen and the keyboard; and whether KVM runs the firmware
here."""
import os
import re
import shutil
import subprocess
import tempfile
import time

from .errors import QemuError
from .machines import ARCHITECTURES, BOOT_MANAGER_MARK, FIRMWARE_MEMORY_MB, MACHINES, memory_for
from .qmp import Qmp
from .screen import Screen


def console_text(raw):
    """The serial console as plain text: OVMF's terminal escapes removed,
    line ends normalised."""
    text = raw.decode("latin-1")
    text = re.sub(r"\x1b\[[0-9;=?]*[A-Za-z]", "", text)
    return text.replace("\r\n", "\n").replace("\r", "\n")


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


# The mode OVMF starts the standard VGA adapter in without vga_size.
DEFAULT_MODE = (1280, 800)
# The ids QEMU knows the display devices by: the first screen and, with
# second_screen, the second; Machine.screendump(device=...) takes either.
SCREEN_IDS = ("screen0", "screen1")


class Machine:
    """One QEMU run: OVMF, the disk as a snapshot, a QMP socket and the
    serial console in a file. Use as a context manager; it kills QEMU when
    the block ends, whatever happened inside."""

    def __init__(self, disk, *, vga_size=None, virtio_gpu=False, accel=None,
                 display="none", vnc_display=None, memory_mb=None, secure_boot=False,
                 arch="x64", usb_keyboard=False, microsoft_keys=False, vars_file=None,
                 second_screen=None):
        if arch not in ARCHITECTURES:
            raise ValueError("arch must be one of %s" % ", ".join(ARCHITECTURES))
        if second_screen and MACHINES[arch].screen:
            raise ValueError("a second screen is set up for OVMF (x64) only")
        if second_screen and virtio_gpu:
            raise ValueError("a second screen is set up beside the VGA adapter only")
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
        # A second display device beside the first: its mode as (width,
        # height), or True for the one it starts in by itself, the first's
        # (see second_screen_device).
        self.second_screen = second_screen
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
        command += ["-device", self.screen_device() + ",id=" + SCREEN_IDS[0]]
        if self.second_screen:
            command += ["-device", self.second_screen_device() + ",id=" + SCREEN_IDS[1]]
        if self.display == "vnc":
            command += ["-display", "none", "-vnc", "127.0.0.1:%d" % self.vnc_display]
            if self.second_screen:
                # The second screen on the next VNC display: one server
                # shows one device.
                command += ["-vnc", "127.0.0.1:%d,id=%s,display=%s" % (
                    self.vnc_display + 1, SCREEN_IDS[1], SCREEN_IDS[1])]
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

    def second_screen_device(self):
        """The second display device: QEMU's secondary-vga, the standard VGA
        adapter without the legacy VGA ranges, a screen of its own for
        OVMF's video driver. OVMF starts every screen in the first one's
        mode (the one its EDID prefers: vga_size, else 1280x800) where the
        screen lists that mode, else in 800x600; xres and yres of the
        second are not read. So the second screen can start in the first's
        mode, or in 800x600, given 2 MiB of video memory, in which it lists
        no mode larger than 832x624 (the first's must then be larger)."""
        if self.second_screen is True:
            return "secondary-vga"
        first = self.vga_size or DEFAULT_MODE
        if tuple(self.second_screen) == tuple(first):
            return "secondary-vga,xres=%d,yres=%d%s" % (first + (_vga_memory(*first),))
        if tuple(self.second_screen) == (800, 600) and first[0] * first[1] * 4 > 2 << 20:
            return "secondary-vga,xres=800,yres=600,vgamem_mb=2"
        raise ValueError("OVMF starts a second screen in the first one's mode (%dx%d) or in "
                         "800x600 (the latter when the first's needs more than 2 MiB), not "
                         "%dx%d" % (first + tuple(self.second_screen)))

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
    def screendump(self, device=None):
        """What a screen shows: the first one, or the display device whose
        id is DEVICE (SCREEN_IDS)."""
        path = os.path.join(self.workdir, "screen.ppm")
        if device:
            self.qmp.command("screendump", filename=path, device=device)
        else:
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
