// A fake UEFI firmware for running the real entry point on the host: a
// system table whose console input replays a script of keystrokes and
// statuses, and a graphics output whose screen is host memory of any
// geometry and pixel format. Every other service is absent (a null
// pointer), so a call to one crashes the test.
#ifndef FAKE_FIRMWARE_H
#define FAKE_FIRMWARE_H

#include <stdint.h>

#include <vector>

#include "efi.h"
#include "options.h"

// One answer of ReadKeyStroke: a status, and the key it hands back when
// the status is EFI_SUCCESS.
struct scripted_read {
    EFI_STATUS status;
    CHAR16 unicode_char;
    uint16_t scan_code;
    // A tick instead of a read: no key yet, and WaitForEvent answers with
    // the viewer's timer event after the clock moved on this many seconds.
    uint32_t tick_seconds = 0;
};

scripted_read key(CHAR16 unicode_char);
scripted_read scan_key(uint16_t scan_code);
scripted_read no_key_yet();
scripted_read device_error();
scripted_read tick(uint32_t seconds);

struct screen_geometry {
    uint32_t width;
    uint32_t height;
    uint32_t pixels_per_scan_line;  // 0: same as width
    EFI_GRAPHICS_PIXEL_FORMAT format;
};

// A Blt call as the firmware saw it.
struct blt_call {
    EFI_GRAPHICS_OUTPUT_BLT_OPERATION operation;
    UINTN source_x, source_y, destination_x, destination_y, width, height, delta;
    EFI_STATUS result;
};

// What filled the screen memory before the application drew anything.
constexpr uint32_t untouched = 0xDEADBEEF;

struct fake_firmware {
    // Graphics output.
    EFI_GRAPHICS_OUTPUT_PROTOCOL gop;
    EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE mode;
    EFI_GRAPHICS_OUTPUT_MODE_INFORMATION info;
    std::vector<uint32_t> video;  // pitch x height pixels in the mode's own byte order
    std::vector<blt_call> blt_calls;
    // The modes QueryMode lists, mode 0 first (the one the firmware
    // started in: the geometry given). QueryMode refuses the numbers in
    // refused_modes; SetMode answers set_mode_status, and on success makes
    // that mode current with a fresh screen, every pixel untouched.
    std::vector<screen_geometry> modes;
    std::vector<uint32_t> refused_modes;
    EFI_STATUS set_mode_status = EFI_SUCCESS;
    std::vector<uint32_t> query_mode_calls;
    std::vector<uint32_t> set_mode_calls;
    // Mode records QueryMode handed out and FreePool has not taken back.
    std::vector<EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *> queried_infos;
    EFI_GRAPHICS_OUTPUT_MODE_INFORMATION refused_record = {};
    int bad_free_pool_calls = 0;

    // Console input.
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL con_in;
    std::vector<scripted_read> script;
    size_t next_read = 0;
    // Set when the viewer asked for a key after the script was over; it is
    // handed q once, and asking again ends the run (see run()).
    bool script_ran_out = false;
    // Calls refused as invalid (wrong instance, no key buffer). The viewer
    // retries every failed read, so a wrong call would spin for ever: past
    // the script's length in refusals the run is ended the same way.
    size_t refused_reads = 0;
    bool run_abandoned = false;
    // The screen (as BGRA pixels) at each keystroke handed out; the
    // screens of more_outputs as well, each in its own fake.
    std::vector<std::vector<uint32_t>> screen_at_key;

    // The wall clock GetTime answers with, and the events: the keyboard's
    // and the one timer a viewer may make. WaitForEvent must be given both.
    EFI_RUNTIME_SERVICES runtime;
    EFI_TIME clock = {2026, 12, 11, 9, 59, 58, 0, 0, 0, 0, 0};
    int timer_events = 0;  // made and not closed
    int wait_calls = 0;
    int get_time_calls = 0;
    // The number of Blt calls made when each key was handed out, and when
    // each tick was.
    std::vector<size_t> blt_calls_at_key, blt_calls_at_tick;

    // Further screens the firmware drives: LocateHandleBuffer lists this
    // firmware's own output, then theirs (each another fake_firmware,
    // whose handle is the fake itself). Only the ones with has_device_path
    // carry a device path: the console splitter's virtual output has none.
    std::vector<fake_firmware *> more_outputs;
    bool has_device_path = true;
    EFI_STATUS locate_handle_buffer_status = EFI_SUCCESS;
    int locate_handle_buffer_calls = 0;
    std::vector<EFI_HANDLE *> handle_buffers;  // handed out, not yet freed

    // Boot services and system table.
    EFI_BOOT_SERVICES boot;
    EFI_SYSTEM_TABLE system;
    EFI_STATUS locate_status = EFI_SUCCESS;
    bool locate_hands_back_null = false;
    int locate_calls = 0;
    bool locate_asked_for_gop = false;
    bool locate_registration_null = false;
    EFI_STATUS watchdog_status = EFI_SUCCESS;
    int watchdog_calls = 0;
    UINTN watchdog_timeout = 1;
    uint64_t watchdog_code = 0;

    explicit fake_firmware(screen_geometry geometry);
    // Makes `geometry` the current mode: its record, and a screen of its
    // size, every pixel untouched.
    void use_mode(screen_geometry geometry);
    fake_firmware(const fake_firmware &) = delete;
    fake_firmware &operator=(const fake_firmware &) = delete;
    ~fake_firmware();

    // Runs the real entry point against this firmware, or with `options`
    // the presentation an image built with them runs. A viewer that keeps
    // reading past the script's end is stopped: the run fails the test and
    // returns EFI_ABORTED, so a fault never hangs the suite.
    EFI_STATUS run(std::vector<scripted_read> keys, const image_options *options = nullptr);
    EFI_STATUS run(std::vector<scripted_read> keys, const image_options &options) {
        return run(std::move(keys), &options);
    }

    uint32_t pitch() const { return info.PixelsPerScanLine; }
    // The screen as the viewer sees it: every visible pixel as BGRA,
    // whatever the mode's byte order.
    std::vector<uint32_t> screen() const;
    uint32_t screen_pixel(uint32_t x, uint32_t y) const;
};

#endif
