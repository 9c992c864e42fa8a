// Finding the graphics outputs of every screen the firmware drives.
#include "outputs.h"

uint32_t find_outputs(EFI_BOOT_SERVICES *boot, EFI_GRAPHICS_OUTPUT_PROTOCOL *located,
                      const image_options &options, EFI_GRAPHICS_OUTPUT_PROTOCOL **outputs) {
    outputs[0] = located;
    if (options.screens == screens_first || boot->LocateHandleBuffer == nullptr ||
        boot->HandleProtocol == nullptr)
        return 1;
    EFI_GUID gop_guid = EFI_GRAPHICS_OUTPUT_PROTOCOL_GUID;
    EFI_GUID device_path_guid = EFI_DEVICE_PATH_PROTOCOL_GUID;
    UINTN handle_count = 0;
    EFI_HANDLE *handles = nullptr;
    if (EFI_ERROR(boot->LocateHandleBuffer(ByProtocol, &gop_guid, nullptr, &handle_count,
                                           &handles)) ||
        handles == nullptr)
        return 1;
    uint32_t count = 0;
    bool located_is_a_device = false;
    for (UINTN i = 0; i < handle_count; ++i) {
        void *output = nullptr, *device_path = nullptr;
        if (EFI_ERROR(boot->HandleProtocol(handles[i], &gop_guid, &output)) || output == nullptr)
            continue;
        if (EFI_ERROR(boot->HandleProtocol(handles[i], &device_path_guid, &device_path)) ||
            device_path == nullptr)
            continue;
        if (output == located) {
            located_is_a_device = true;
        } else if (count + 1 < max_screens) {
            // Slot 0 stays the located output's.
            outputs[1 + count++] = (EFI_GRAPHICS_OUTPUT_PROTOCOL *)output;
        }
    }
    if (boot->FreePool) boot->FreePool(handles);
    if (located_is_a_device) return 1 + count;
    if (count == 0) return 1;  // only the virtual output: draw on that
    // The located output is the virtual one: the devices' own instead.
    for (uint32_t i = 0; i < count; ++i) outputs[i] = outputs[i + 1];
    return count;
}
