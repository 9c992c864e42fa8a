// A few-kilobyte EFI application that marks the top-left 8x8 pixels of the
// screen and then waits forever. The firmware suite boots it next to the
// presentation: the screen it leaves shows exactly what the firmware drew
// before starting an application (the reference for the area the
// presentation must not touch), and its boot time is the floor against
// which the 60 MB image's load time is measured.
#include "efi.h"

// Per architecture: idle until the next interrupt.
static inline void wait_for_interrupt() {
#if defined(__aarch64__)
    asm volatile("wfi");
#else
    asm volatile("hlt");
#endif
}

// The marker colour; the suite looks for it.
static EFI_GRAPHICS_OUTPUT_BLT_PIXEL marker = {0x00, 0xff, 0x00, 0x00};

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE, EFI_SYSTEM_TABLE *SystemTable) {
    EFI_GUID gop_guid = EFI_GRAPHICS_OUTPUT_PROTOCOL_GUID;
    EFI_GRAPHICS_OUTPUT_PROTOCOL *gop = nullptr;
    if (!EFI_ERROR(SystemTable->BootServices->LocateProtocol(&gop_guid, nullptr, (void **)&gop)))
        gop->Blt(gop, &marker, EfiBltVideoFill, 0, 0, 0, 0, 8, 8, 0);
    // The boot manager's five-minute watchdog would reset the machine.
    SystemTable->BootServices->SetWatchdogTimer(0, 0x10000, 0, nullptr);
    for (;;) wait_for_interrupt();
}
