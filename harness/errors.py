"""The one error the harness raises for whatever QEMU does wrong."""


class QemuError(Exception):
    pass
