// The UEFI records and services this program touches, under the names the
// UEFI standard gives them and laid out as it defines them for 64-bit
// machines (x86-64 and AArch64 share every layout).
// Members the program never uses are kept as untyped pointers so that the
// offsets of the ones it does use stay right; the static assertions below
// pin every offset the code relies on.
//
// The same header serves the EFI images and the host tests.
#ifndef EFI_H
#define EFI_H

#include <stddef.h>
#include <stdint.h>

// ---- Per architecture: the firmware's calling convention ---------------
// x86-64 firmware calls and is called with the Microsoft x64 convention,
// which the host tests (x86-64 Linux) must select as well. AArch64
// firmware uses the platform's plain AAPCS64 convention, the compiler's
// default there.
#if defined(__x86_64__)
#define EFIAPI __attribute__((ms_abi))
#elif defined(__aarch64__)
#define EFIAPI
#else
#error "UEFI images are built for x86-64 and AArch64 only"
#endif

typedef uint64_t UINTN;
typedef uint64_t EFI_STATUS;
typedef uint64_t EFI_PHYSICAL_ADDRESS;
typedef void *EFI_HANDLE;
typedef void *EFI_EVENT;
typedef char16_t CHAR16;

static_assert(sizeof(void *) == 8, "64-bit machines only");
static_assert(sizeof(CHAR16) == 2, "UEFI characters are UCS-2");

// Status codes: errors have the top bit set.
#define EFI_ERROR_BIT 0x8000000000000000ull
#define EFI_ERROR(status) (((status) & EFI_ERROR_BIT) != 0)
constexpr EFI_STATUS EFI_SUCCESS = 0;
constexpr EFI_STATUS EFI_INVALID_PARAMETER = EFI_ERROR_BIT | 2;
constexpr EFI_STATUS EFI_UNSUPPORTED = EFI_ERROR_BIT | 3;
constexpr EFI_STATUS EFI_NOT_READY = EFI_ERROR_BIT | 6;
constexpr EFI_STATUS EFI_DEVICE_ERROR = EFI_ERROR_BIT | 7;
constexpr EFI_STATUS EFI_NOT_FOUND = EFI_ERROR_BIT | 14;
constexpr EFI_STATUS EFI_ABORTED = EFI_ERROR_BIT | 21;

struct EFI_GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
static_assert(sizeof(EFI_GUID) == 16, "EFI_GUID layout");

struct EFI_TABLE_HEADER {
    uint64_t Signature;
    uint32_t Revision;
    uint32_t HeaderSize;
    uint32_t CRC32;
    uint32_t Reserved;
};
static_assert(sizeof(EFI_TABLE_HEADER) == 24, "EFI_TABLE_HEADER layout");

// ---- Simple text input -------------------------------------------------

struct EFI_INPUT_KEY {
    uint16_t ScanCode;
    CHAR16 UnicodeChar;
};
static_assert(sizeof(EFI_INPUT_KEY) == 4, "EFI_INPUT_KEY layout");
static_assert(offsetof(EFI_INPUT_KEY, UnicodeChar) == 2, "EFI_INPUT_KEY layout");
// ScanCode of the keys without a character (UnicodeChar 0).
constexpr uint16_t SCAN_UP = 0x01;
constexpr uint16_t SCAN_DOWN = 0x02;
constexpr uint16_t SCAN_RIGHT = 0x03;
constexpr uint16_t SCAN_LEFT = 0x04;
constexpr uint16_t SCAN_HOME = 0x05;
constexpr uint16_t SCAN_END = 0x06;
constexpr uint16_t SCAN_PAGE_UP = 0x09;
constexpr uint16_t SCAN_PAGE_DOWN = 0x0A;
constexpr uint16_t SCAN_F5 = 0x0F;
constexpr uint16_t SCAN_ESC = 0x17;

struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL;
typedef EFI_STATUS(EFIAPI *EFI_INPUT_READ_KEY)(EFI_SIMPLE_TEXT_INPUT_PROTOCOL *This,
                                               EFI_INPUT_KEY *Key);

struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL {
    void *Reset;
    EFI_INPUT_READ_KEY ReadKeyStroke;
    EFI_EVENT WaitForKey;
};
static_assert(sizeof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL) == 24, "text input layout");
static_assert(offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, ReadKeyStroke) == 8,
              "text input layout");
static_assert(offsetof(EFI_SIMPLE_TEXT_INPUT_PROTOCOL, WaitForKey) == 16, "text input layout");

// ---- Graphics output ---------------------------------------------------

// PixelFormat is a value the firmware hands back, so it is kept as a plain
// 32-bit number: firmware may return values outside this list.
typedef uint32_t EFI_GRAPHICS_PIXEL_FORMAT;
constexpr EFI_GRAPHICS_PIXEL_FORMAT PixelRedGreenBlueReserved8BitPerColor = 0;
constexpr EFI_GRAPHICS_PIXEL_FORMAT PixelBlueGreenRedReserved8BitPerColor = 1;
constexpr EFI_GRAPHICS_PIXEL_FORMAT PixelBitMask = 2;
constexpr EFI_GRAPHICS_PIXEL_FORMAT PixelBltOnly = 3;

struct EFI_PIXEL_BITMASK {
    uint32_t RedMask;
    uint32_t GreenMask;
    uint32_t BlueMask;
    uint32_t ReservedMask;
};

struct EFI_GRAPHICS_OUTPUT_MODE_INFORMATION {
    uint32_t Version;
    uint32_t HorizontalResolution;
    uint32_t VerticalResolution;
    EFI_GRAPHICS_PIXEL_FORMAT PixelFormat;
    EFI_PIXEL_BITMASK PixelInformation;
    uint32_t PixelsPerScanLine;
};
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION) == 36, "mode information layout");
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION, HorizontalResolution) == 4,
              "mode information layout");
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION, VerticalResolution) == 8,
              "mode information layout");
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION, PixelFormat) == 12,
              "mode information layout");
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION, PixelsPerScanLine) == 32,
              "mode information layout");

struct EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE {
    uint32_t MaxMode;
    uint32_t Mode;
    EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *Info;
    UINTN SizeOfInfo;
    EFI_PHYSICAL_ADDRESS FrameBufferBase;
    UINTN FrameBufferSize;
};
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE) == 40, "mode record layout");
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE, Info) == 8, "mode record layout");
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE, FrameBufferBase) == 24,
              "mode record layout");

// One pixel of a Blt buffer: the same four bytes, in the same order, as a
// stored picture's pixel.
struct EFI_GRAPHICS_OUTPUT_BLT_PIXEL {
    uint8_t Blue;
    uint8_t Green;
    uint8_t Red;
    uint8_t Reserved;
};
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_BLT_PIXEL) == 4, "blt pixel layout");

typedef uint32_t EFI_GRAPHICS_OUTPUT_BLT_OPERATION;
constexpr EFI_GRAPHICS_OUTPUT_BLT_OPERATION EfiBltVideoFill = 0;
constexpr EFI_GRAPHICS_OUTPUT_BLT_OPERATION EfiBltVideoToBltBuffer = 1;
constexpr EFI_GRAPHICS_OUTPUT_BLT_OPERATION EfiBltBufferToVideo = 2;
constexpr EFI_GRAPHICS_OUTPUT_BLT_OPERATION EfiBltVideoToVideo = 3;

struct EFI_GRAPHICS_OUTPUT_PROTOCOL;
typedef EFI_STATUS(EFIAPI *EFI_GRAPHICS_OUTPUT_PROTOCOL_BLT)(
    EFI_GRAPHICS_OUTPUT_PROTOCOL *This, EFI_GRAPHICS_OUTPUT_BLT_PIXEL *BltBuffer,
    EFI_GRAPHICS_OUTPUT_BLT_OPERATION BltOperation, UINTN SourceX, UINTN SourceY,
    UINTN DestinationX, UINTN DestinationY, UINTN Width, UINTN Height, UINTN Delta);

typedef EFI_STATUS(EFIAPI *EFI_GRAPHICS_OUTPUT_PROTOCOL_QUERY_MODE)(
    EFI_GRAPHICS_OUTPUT_PROTOCOL *This, uint32_t ModeNumber, UINTN *SizeOfInfo,
    EFI_GRAPHICS_OUTPUT_MODE_INFORMATION **Info);
typedef EFI_STATUS(EFIAPI *EFI_GRAPHICS_OUTPUT_PROTOCOL_SET_MODE)(
    EFI_GRAPHICS_OUTPUT_PROTOCOL *This, uint32_t ModeNumber);

struct EFI_GRAPHICS_OUTPUT_PROTOCOL {
    EFI_GRAPHICS_OUTPUT_PROTOCOL_QUERY_MODE QueryMode;
    EFI_GRAPHICS_OUTPUT_PROTOCOL_SET_MODE SetMode;
    EFI_GRAPHICS_OUTPUT_PROTOCOL_BLT Blt;
    EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE *Mode;
};
static_assert(sizeof(EFI_GRAPHICS_OUTPUT_PROTOCOL) == 32, "graphics output layout");
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL, Blt) == 16, "graphics output layout");
static_assert(offsetof(EFI_GRAPHICS_OUTPUT_PROTOCOL, Mode) == 24, "graphics output layout");

// {9042A9DE-23DC-4A38-96FB-7ADED080516A}
#define EFI_GRAPHICS_OUTPUT_PROTOCOL_GUID                                                 \
    {                                                                                     \
        0x9042a9de, 0x23dc, 0x4a38, { 0x96, 0xfb, 0x7a, 0xde, 0xd0, 0x80, 0x51, 0x6a } \
    }

// {09576E91-6D3F-11D2-8E39-00A0C969723B}: on a handle, the path of the
// device it belongs to. Only its presence is looked at.
#define EFI_DEVICE_PATH_PROTOCOL_GUID                                                     \
    {                                                                                     \
        0x09576e91, 0x6d3f, 0x11d2, { 0x8e, 0x39, 0x00, 0xa0, 0xc9, 0x69, 0x72, 0x3b } \
    }

// ---- Time ----------------------------------------------------------------

struct EFI_TIME {
    uint16_t Year;  // 1900 - 9999
    uint8_t Month;  // 1 - 12
    uint8_t Day;    // 1 - 31
    uint8_t Hour;   // 0 - 23
    uint8_t Minute;
    uint8_t Second;
    uint8_t Pad1;
    uint32_t Nanosecond;
    int16_t TimeZone;
    uint8_t Daylight;
    uint8_t Pad2;
};
static_assert(sizeof(EFI_TIME) == 16, "EFI_TIME layout");
static_assert(offsetof(EFI_TIME, Nanosecond) == 8, "EFI_TIME layout");

typedef EFI_STATUS(EFIAPI *EFI_GET_TIME)(EFI_TIME *Time, void *Capabilities);

struct EFI_RUNTIME_SERVICES {
    EFI_TABLE_HEADER Hdr;
    EFI_GET_TIME GetTime;
    void *SetTime;
    void *GetWakeupTime;
    void *SetWakeupTime;
    void *SetVirtualAddressMap;
    void *ConvertPointer;
    void *GetVariable;
    void *GetNextVariableName;
    void *SetVariable;
    void *GetNextHighMonotonicCount;
    void *ResetSystem;
    void *UpdateCapsule;
    void *QueryCapsuleCapabilities;
    void *QueryVariableInfo;
};
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetTime) == 24, "runtime services layout");
static_assert(sizeof(EFI_RUNTIME_SERVICES) == 136, "runtime services layout");

// ---- Boot services -----------------------------------------------------

// Events: a timer that only signals (no notification function), waited
// for beside the keyboard's event.
constexpr uint32_t EVT_TIMER = 0x80000000u;
constexpr UINTN TPL_APPLICATION = 4;
typedef uint32_t EFI_TIMER_DELAY;
constexpr EFI_TIMER_DELAY TimerCancel = 0;
constexpr EFI_TIMER_DELAY TimerPeriodic = 1;
constexpr EFI_TIMER_DELAY TimerRelative = 2;
typedef void(EFIAPI *EFI_EVENT_NOTIFY)(EFI_EVENT Event, void *Context);
typedef EFI_STATUS(EFIAPI *EFI_CREATE_EVENT)(uint32_t Type, UINTN NotifyTpl,
                                             EFI_EVENT_NOTIFY NotifyFunction, void *NotifyContext,
                                             EFI_EVENT *Event);
// TriggerTime in units of 100 ns.
typedef EFI_STATUS(EFIAPI *EFI_SET_TIMER)(EFI_EVENT Event, EFI_TIMER_DELAY Type,
                                          uint64_t TriggerTime);
typedef EFI_STATUS(EFIAPI *EFI_WAIT_FOR_EVENT)(UINTN NumberOfEvents, EFI_EVENT *Event,
                                               UINTN *Index);
typedef EFI_STATUS(EFIAPI *EFI_CLOSE_EVENT)(EFI_EVENT Event);

typedef uint32_t EFI_LOCATE_SEARCH_TYPE;
constexpr EFI_LOCATE_SEARCH_TYPE AllHandles = 0;
constexpr EFI_LOCATE_SEARCH_TYPE ByRegisterNotify = 1;
constexpr EFI_LOCATE_SEARCH_TYPE ByProtocol = 2;

typedef EFI_STATUS(EFIAPI *EFI_SET_WATCHDOG_TIMER)(UINTN Timeout, uint64_t WatchdogCode,
                                                   UINTN DataSize, CHAR16 *WatchdogData);
typedef EFI_STATUS(EFIAPI *EFI_FREE_POOL)(void *Buffer);
typedef EFI_STATUS(EFIAPI *EFI_LOCATE_PROTOCOL)(EFI_GUID *Protocol, void *Registration,
                                                void **Interface);
typedef EFI_STATUS(EFIAPI *EFI_HANDLE_PROTOCOL)(EFI_HANDLE Handle, EFI_GUID *Protocol,
                                                void **Interface);
// The handles come in a pool buffer the caller frees with FreePool.
typedef EFI_STATUS(EFIAPI *EFI_LOCATE_HANDLE_BUFFER)(EFI_LOCATE_SEARCH_TYPE SearchType,
                                                     EFI_GUID *Protocol, void *SearchKey,
                                                     UINTN *NoHandles, EFI_HANDLE **Buffer);

struct EFI_BOOT_SERVICES {
    EFI_TABLE_HEADER Hdr;
    void *RaiseTPL;
    void *RestoreTPL;
    void *AllocatePages;
    void *FreePages;
    void *GetMemoryMap;
    void *AllocatePool;
    EFI_FREE_POOL FreePool;
    EFI_CREATE_EVENT CreateEvent;
    EFI_SET_TIMER SetTimer;
    EFI_WAIT_FOR_EVENT WaitForEvent;
    void *SignalEvent;
    EFI_CLOSE_EVENT CloseEvent;
    void *CheckEvent;
    void *InstallProtocolInterface;
    void *ReinstallProtocolInterface;
    void *UninstallProtocolInterface;
    EFI_HANDLE_PROTOCOL HandleProtocol;
    void *Reserved;
    void *RegisterProtocolNotify;
    void *LocateHandle;
    void *LocateDevicePath;
    void *InstallConfigurationTable;
    void *LoadImage;
    void *StartImage;
    void *Exit;
    void *UnloadImage;
    void *ExitBootServices;
    void *GetNextMonotonicCount;
    void *Stall;
    EFI_SET_WATCHDOG_TIMER SetWatchdogTimer;
    void *ConnectController;
    void *DisconnectController;
    void *OpenProtocol;
    void *CloseProtocol;
    void *OpenProtocolInformation;
    void *ProtocolsPerHandle;
    EFI_LOCATE_HANDLE_BUFFER LocateHandleBuffer;
    EFI_LOCATE_PROTOCOL LocateProtocol;
    void *InstallMultipleProtocolInterfaces;
    void *UninstallMultipleProtocolInterfaces;
    void *CalculateCrc32;
    void *CopyMem;
    void *SetMem;
    void *CreateEventEx;
};
static_assert(sizeof(EFI_BOOT_SERVICES) == 376, "boot services layout");
static_assert(offsetof(EFI_BOOT_SERVICES, FreePool) == 72, "boot services layout");
static_assert(offsetof(EFI_BOOT_SERVICES, CreateEvent) == 80, "boot services layout");
static_assert(offsetof(EFI_BOOT_SERVICES, WaitForEvent) == 96, "boot services layout");
static_assert(offsetof(EFI_BOOT_SERVICES, CloseEvent) == 112, "boot services layout");
static_assert(offsetof(EFI_BOOT_SERVICES, HandleProtocol) == 152, "boot services layout");
static_assert(offsetof(EFI_BOOT_SERVICES, SetWatchdogTimer) == 256, "boot services layout");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateHandleBuffer) == 312, "boot services layout");
static_assert(offsetof(EFI_BOOT_SERVICES, LocateProtocol) == 320, "boot services layout");

// ---- System table ------------------------------------------------------

struct EFI_SYSTEM_TABLE {
    EFI_TABLE_HEADER Hdr;
    CHAR16 *FirmwareVendor;
    uint32_t FirmwareRevision;
    EFI_HANDLE ConsoleInHandle;
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL *ConIn;
    EFI_HANDLE ConsoleOutHandle;
    void *ConOut;
    EFI_HANDLE StandardErrorHandle;
    void *StdErr;
    EFI_RUNTIME_SERVICES *RuntimeServices;
    EFI_BOOT_SERVICES *BootServices;
    UINTN NumberOfTableEntries;
    void *ConfigurationTable;
};
static_assert(sizeof(EFI_SYSTEM_TABLE) == 120, "system table layout");
static_assert(offsetof(EFI_SYSTEM_TABLE, ConIn) == 48, "system table layout");
static_assert(offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == 88, "system table layout");
static_assert(offsetof(EFI_SYSTEM_TABLE, BootServices) == 96, "system table layout");

#endif
