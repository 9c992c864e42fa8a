"""The QEMU harness that tools/boot.py, the firmware tests and the
benchmarks drive: the machine table and firmware files (machines), the QMP
client (qmp), screendumps (screen) and the QEMU run itself (qemu).

    import harness
    with harness.Machine("build/bootdisk.img") as machine:
        machine.wait_for_serial(harness.BOOT_MANAGER_MARK, timeout=60)
"""
from .errors import QemuError  # noqa: F401
from .machines import (AAVMF_DIR, ARCHITECTURES, BOOT_MANAGER_MARK,  # noqa: F401
                       FIRMWARE_MEMORY_MB, MACHINES, OVMF_CODE, OVMF_DIR, OVMF_MS_VARS,
                       OVMF_SECURE_CODE, OVMF_SECURE_VARS, OVMF_VARS, SNAKEOIL_CERT,
                       SNAKEOIL_KEY, Arch, memory_for, missing_packages)
from .qemu import SCREEN_IDS, Machine, console_text, key_codes, kvm_works  # noqa: F401
from .qmp import Qmp  # noqa: F401
from .screen import Screen  # noqa: F401
