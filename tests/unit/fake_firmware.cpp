#include "fake_firmware.h"

#include <gtest/gtest.h>
#include <setjmp.h>
#include <string.h>

#include "BOOTX64.h"

// The default image's options, which efi_main runs with; a test that
// wants others hands its own record to run().
extern const image_options build_options = {scale_off};

namespace {

// The firmware's services are plain function pointers with no context
// argument of their own, so they reach the fake through this, and a
// graphics output's through the fake that owns it.
fake_firmware *active = nullptr;
std::vector<fake_firmware *> live_fakes;

fake_firmware *owner_of(const EFI_GRAPHICS_OUTPUT_PROTOCOL *gop) {
    for (fake_firmware *fake : live_fakes)
        if (&fake->gop == gop) return fake;
    return nullptr;
}
// Where a runaway run is abandoned: back in fake_firmware::run. The frames
// skipped over (efi_main's) hold nothing that needs destroying.
jmp_buf abandon_run;

[[noreturn]] void abandon(fake_firmware &firmware) {
    firmware.run_abandoned = true;
    longjmp(abandon_run, 1);
}

const EFI_GUID gop_guid = EFI_GRAPHICS_OUTPUT_PROTOCOL_GUID;

bool stores_bgr(const fake_firmware &firmware) {
    return firmware.info.PixelFormat == PixelBlueGreenRedReserved8BitPerColor;
}

// Exchanges the first and third byte: BGRA <-> RGBA.
uint32_t swap_red_blue(uint32_t pixel) {
    return (pixel & 0xFF00FF00u) | (pixel & 0xFFu) << 16 | (pixel >> 16 & 0xFFu);
}

EFI_STATUS EFIAPI fake_read_key_stroke(EFI_SIMPLE_TEXT_INPUT_PROTOCOL *self, EFI_INPUT_KEY *key) {
    fake_firmware &firmware = *active;
    if (self != &firmware.con_in || key == nullptr) {
        if (++firmware.refused_reads > firmware.script.size()) abandon(firmware);
        return EFI_INVALID_PARAMETER;
    }
    scripted_read read;
    if (firmware.next_read < firmware.script.size() &&
        firmware.script[firmware.next_read].tick_seconds != 0) {
        return EFI_NOT_READY;  // the tick comes through WaitForEvent
    } else if (firmware.next_read < firmware.script.size()) {
        read = firmware.script[firmware.next_read++];
    } else if (!firmware.script_ran_out) {
        // The script is over but the viewer still waits: end it with q.
        firmware.script_ran_out = true;
        read = {EFI_SUCCESS, u'q', 0};
    } else {
        abandon(firmware);
    }
    if (read.status != EFI_SUCCESS) return read.status;
    firmware.screen_at_key.push_back(firmware.screen());
    firmware.blt_calls_at_key.push_back(firmware.blt_calls.size());
    for (fake_firmware *other : firmware.more_outputs)
        other->screen_at_key.push_back(other->screen());
    key->ScanCode = read.scan_code;
    key->UnicodeChar = read.unicode_char;
    return EFI_SUCCESS;
}

// Buffer-to-video Blt, checked the way firmware checks it: a rectangle
// that does not fit the screen is refused.
EFI_STATUS EFIAPI fake_blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *self, EFI_GRAPHICS_OUTPUT_BLT_PIXEL *buffer,
                           EFI_GRAPHICS_OUTPUT_BLT_OPERATION operation, UINTN source_x,
                           UINTN source_y, UINTN destination_x, UINTN destination_y, UINTN width,
                           UINTN height, UINTN delta) {
    fake_firmware &firmware = owner_of(self) ? *owner_of(self) : *active;
    blt_call call = {operation, source_x, source_y, destination_x, destination_y,
                     width,     height,   delta,    EFI_SUCCESS};
    const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION &info = firmware.info;
    if (self != &firmware.gop || operation != EfiBltBufferToVideo || buffer == nullptr ||
        width == 0 || height == 0 || destination_x + width > info.HorizontalResolution ||
        destination_y + height > info.VerticalResolution) {
        call.result = EFI_INVALID_PARAMETER;
    } else {
        const UINTN stride = delta != 0 ? delta : width * 4;
        for (UINTN y = 0; y < height; ++y) {
            const uint8_t *row = (const uint8_t *)buffer + (source_y + y) * stride;
            for (UINTN x = 0; x < width; ++x) {
                uint32_t pixel;
                memcpy(&pixel, row + (source_x + x) * 4, 4);
                firmware.video[(destination_y + y) * firmware.pitch() + destination_x + x] =
                    stores_bgr(firmware) ? pixel : swap_red_blue(pixel);
            }
        }
    }
    firmware.blt_calls.push_back(call);
    return call.result;
}

EFI_STATUS EFIAPI fake_query_mode(EFI_GRAPHICS_OUTPUT_PROTOCOL *self, uint32_t number,
                                   UINTN *size, EFI_GRAPHICS_OUTPUT_MODE_INFORMATION **info) {
    fake_firmware &firmware = owner_of(self) ? *owner_of(self) : *active;
    firmware.query_mode_calls.push_back(number);
    if (self != &firmware.gop || size == nullptr || info == nullptr ||
        number >= firmware.modes.size())
        return EFI_INVALID_PARAMETER;
    bool refused = false;
    for (uint32_t number_refused : firmware.refused_modes) refused |= number_refused == number;
    const screen_geometry &geometry = firmware.modes[number];
    // A refusal still leaves a record behind, one that is not the
    // caller's: only the status says it is no answer.
    EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *record =
        refused ? &firmware.refused_record : new EFI_GRAPHICS_OUTPUT_MODE_INFORMATION();
    record->HorizontalResolution = geometry.width;
    record->VerticalResolution = geometry.height;
    record->PixelFormat = geometry.format;
    record->PixelsPerScanLine = geometry.pixels_per_scan_line ? geometry.pixels_per_scan_line
                                                              : geometry.width;
    *size = sizeof *record;
    *info = record;
    if (refused) return EFI_DEVICE_ERROR;
    firmware.queried_infos.push_back(record);
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI fake_set_mode(EFI_GRAPHICS_OUTPUT_PROTOCOL *self, uint32_t number) {
    fake_firmware &firmware = owner_of(self) ? *owner_of(self) : *active;
    firmware.set_mode_calls.push_back(number);
    if (self != &firmware.gop || number >= firmware.modes.size()) return EFI_UNSUPPORTED;
    if (firmware.set_mode_status != EFI_SUCCESS) return firmware.set_mode_status;
    firmware.use_mode(firmware.modes[number]);
    firmware.mode.Mode = number;
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI fake_free_pool(void *buffer) {
    fake_firmware &firmware = *active;
    // Mode records come back to the fake whose output handed them out.
    for (fake_firmware *owner : live_fakes)
        for (size_t i = 0; i < owner->queried_infos.size(); ++i)
            if (owner->queried_infos[i] == buffer) {
                delete owner->queried_infos[i];
                owner->queried_infos.erase(owner->queried_infos.begin() + (long)i);
                return EFI_SUCCESS;
            }
    for (size_t i = 0; i < firmware.handle_buffers.size(); ++i)
        if (firmware.handle_buffers[i] == buffer) {
            delete[] firmware.handle_buffers[i];
            firmware.handle_buffers.erase(firmware.handle_buffers.begin() + (long)i);
            return EFI_SUCCESS;
        }
    ++firmware.bad_free_pool_calls;
    return EFI_INVALID_PARAMETER;
}

EFI_STATUS EFIAPI fake_locate_protocol(EFI_GUID *protocol, void *registration, void **interface) {
    fake_firmware &firmware = *active;
    ++firmware.locate_calls;
    firmware.locate_asked_for_gop = memcmp(protocol, &gop_guid, sizeof gop_guid) == 0;
    firmware.locate_registration_null = registration == nullptr;
    if (firmware.locate_status != EFI_SUCCESS) return firmware.locate_status;
    *interface = firmware.locate_hands_back_null ? nullptr : &firmware.gop;
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI fake_locate_handle_buffer(EFI_LOCATE_SEARCH_TYPE type, EFI_GUID *protocol,
                                            void *key, UINTN *count, EFI_HANDLE **buffer) {
    fake_firmware &firmware = *active;
    ++firmware.locate_handle_buffer_calls;
    if (type != ByProtocol || protocol == nullptr || key != nullptr || count == nullptr ||
        buffer == nullptr || memcmp(protocol, &gop_guid, sizeof gop_guid) != 0)
        return EFI_INVALID_PARAMETER;
    if (firmware.locate_handle_buffer_status != EFI_SUCCESS)
        return firmware.locate_handle_buffer_status;
    *count = 1 + firmware.more_outputs.size();
    *buffer = new EFI_HANDLE[*count];
    (*buffer)[0] = &firmware;
    for (size_t i = 0; i < firmware.more_outputs.size(); ++i)
        (*buffer)[1 + i] = firmware.more_outputs[i];
    firmware.handle_buffers.push_back(*buffer);
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI fake_handle_protocol(EFI_HANDLE handle, EFI_GUID *protocol, void **interface) {
    static const EFI_GUID device_path_guid = EFI_DEVICE_PATH_PROTOCOL_GUID;
    static const uint8_t some_device_path[4] = {};
    fake_firmware *owner = nullptr;
    for (fake_firmware *fake : live_fakes)
        if (fake == handle) owner = fake;
    if (owner == nullptr || protocol == nullptr || interface == nullptr)
        return EFI_INVALID_PARAMETER;
    if (memcmp(protocol, &gop_guid, sizeof gop_guid) == 0) {
        *interface = &owner->gop;
        return EFI_SUCCESS;
    }
    if (memcmp(protocol, &device_path_guid, sizeof device_path_guid) == 0 &&
        owner->has_device_path) {
        *interface = (void *)some_device_path;
        return EFI_SUCCESS;
    }
    return EFI_UNSUPPORTED;
}

// Tokens the fake hands out as events.
int key_event_token, timer_event_token;

EFI_STATUS EFIAPI fake_create_event(uint32_t type, UINTN, EFI_EVENT_NOTIFY notify, void *,
                                    EFI_EVENT *event) {
    fake_firmware &firmware = *active;
    if (type != EVT_TIMER || notify != nullptr || event == nullptr) return EFI_INVALID_PARAMETER;
    ++firmware.timer_events;
    *event = &timer_event_token;
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI fake_set_timer(EFI_EVENT event, EFI_TIMER_DELAY type, uint64_t) {
    if (event != &timer_event_token || type != TimerPeriodic) return EFI_INVALID_PARAMETER;
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI fake_close_event(EFI_EVENT event) {
    if (event != &timer_event_token) return EFI_INVALID_PARAMETER;
    --active->timer_events;
    return EFI_SUCCESS;
}

// Answers at once: with the timer when the script's next entry is a tick
// (the clock moved on), else with the keyboard (the next read has it).
EFI_STATUS EFIAPI fake_wait_for_event(UINTN count, EFI_EVENT *events, UINTN *index) {
    fake_firmware &firmware = *active;
    if (++firmware.wait_calls > 100000) abandon(firmware);
    if (count != 2 || events[0] != &key_event_token || events[1] != &timer_event_token ||
        index == nullptr)
        return EFI_INVALID_PARAMETER;
    if (firmware.next_read < firmware.script.size() &&
        firmware.script[firmware.next_read].tick_seconds != 0) {
        uint32_t seconds = firmware.clock.Second + firmware.clock.Minute * 60 +
                           firmware.clock.Hour * 3600 +
                           firmware.script[firmware.next_read++].tick_seconds;
        firmware.clock.Second = seconds % 60;
        firmware.clock.Minute = seconds / 60 % 60;
        firmware.clock.Hour = seconds / 3600 % 24;
        firmware.blt_calls_at_tick.push_back(firmware.blt_calls.size());
        *index = 1;
    } else {
        *index = 0;
    }
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI fake_get_time(EFI_TIME *time, void *) {
    ++active->get_time_calls;
    if (time == nullptr) return EFI_INVALID_PARAMETER;
    *time = active->clock;
    return EFI_SUCCESS;
}

EFI_STATUS EFIAPI fake_set_watchdog_timer(UINTN timeout, uint64_t code, UINTN, CHAR16 *) {
    fake_firmware &firmware = *active;
    ++firmware.watchdog_calls;
    firmware.watchdog_timeout = timeout;
    firmware.watchdog_code = code;
    return firmware.watchdog_status;
}

}  // namespace

scripted_read key(CHAR16 unicode_char) { return {EFI_SUCCESS, unicode_char, 0}; }
scripted_read scan_key(uint16_t scan_code) { return {EFI_SUCCESS, 0, scan_code}; }
scripted_read no_key_yet() { return {EFI_NOT_READY, 0, 0}; }
scripted_read device_error() { return {EFI_DEVICE_ERROR, 0, 0}; }
scripted_read tick(uint32_t seconds) { return {EFI_NOT_READY, 0, 0, seconds}; }

fake_firmware::fake_firmware(screen_geometry geometry) : modes{geometry} {
    memset(&mode, 0, sizeof mode);
    use_mode(geometry);

    memset(&gop, 0, sizeof gop);
    gop.QueryMode = fake_query_mode;
    gop.SetMode = fake_set_mode;
    gop.Blt = fake_blt;
    gop.Mode = &mode;

    memset(&con_in, 0, sizeof con_in);
    con_in.ReadKeyStroke = fake_read_key_stroke;
    con_in.WaitForKey = &key_event_token;

    memset(&boot, 0, sizeof boot);
    boot.LocateProtocol = fake_locate_protocol;
    boot.SetWatchdogTimer = fake_set_watchdog_timer;
    boot.FreePool = fake_free_pool;
    boot.LocateHandleBuffer = fake_locate_handle_buffer;
    boot.HandleProtocol = fake_handle_protocol;
    boot.CreateEvent = fake_create_event;
    boot.SetTimer = fake_set_timer;
    boot.WaitForEvent = fake_wait_for_event;
    boot.CloseEvent = fake_close_event;

    memset(&runtime, 0, sizeof runtime);
    runtime.GetTime = fake_get_time;

    memset(&system, 0, sizeof system);
    system.ConIn = &con_in;
    system.BootServices = &boot;
    system.RuntimeServices = &runtime;
    active = this;
    live_fakes.push_back(this);
}

void fake_firmware::use_mode(screen_geometry geometry) {
    memset(&info, 0, sizeof info);
    info.HorizontalResolution = geometry.width;
    info.VerticalResolution = geometry.height;
    info.PixelsPerScanLine = geometry.pixels_per_scan_line ? geometry.pixels_per_scan_line
                                                           : geometry.width;
    info.PixelFormat = geometry.format;
    video.assign((size_t)info.PixelsPerScanLine * geometry.height, untouched);

    mode.MaxMode = (uint32_t)modes.size();
    mode.Info = &info;
    mode.SizeOfInfo = sizeof info;
    // Only a mode with a linear framebuffer tells where it is.
    mode.FrameBufferBase = 0;
    mode.FrameBufferSize = 0;
    if (geometry.format != PixelBltOnly) {
        mode.FrameBufferBase = (EFI_PHYSICAL_ADDRESS)(uintptr_t)video.data();
        mode.FrameBufferSize = video.size() * 4;
    }
}

fake_firmware::~fake_firmware() {
    for (EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *record : queried_infos) delete record;
    for (EFI_HANDLE *buffer : handle_buffers) delete[] buffer;
    for (size_t i = 0; i < live_fakes.size(); ++i)
        if (live_fakes[i] == this) live_fakes.erase(live_fakes.begin() + (long)i);
    if (active == this) active = nullptr;
}

EFI_STATUS fake_firmware::run(std::vector<scripted_read> keys, const image_options *options) {
    mode.MaxMode = (uint32_t)modes.size();
    script = std::move(keys);
    next_read = 0;
    refused_reads = 0;
    script_ran_out = false;
    run_abandoned = false;
    active = this;
    if (setjmp(abandon_run) != 0) {
        ADD_FAILURE() << "the viewer kept reading keys after the script was over";
        return EFI_ABORTED;
    }
    return options ? present(&system, *options) : efi_main(nullptr, &system);
}

uint32_t fake_firmware::screen_pixel(uint32_t x, uint32_t y) const {
    const uint32_t stored = video[(size_t)y * pitch() + x];
    return stores_bgr(*this) || stored == untouched ? stored : swap_red_blue(stored);
}

std::vector<uint32_t> fake_firmware::screen() const {
    const uint32_t width = info.HorizontalResolution, height = info.VerticalResolution;
    std::vector<uint32_t> pixels((size_t)width * height);
    const bool bgr = stores_bgr(*this);
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t *row = video.data() + (size_t)y * pitch();
        uint32_t *out = pixels.data() + (size_t)y * width;
        for (uint32_t x = 0; x < width; ++x)
            out[x] = bgr || row[x] == untouched ? row[x] : swap_red_blue(row[x]);
    }
    return pixels;
}
