/* The few UEFI records that efiversion.c touches, laid out as the UEFI
 * standard defines them for x86-64. Members it never uses are kept as
 * untyped pointers so that the offsets of the ones it does use stay right. */
#ifndef EFIVERSION_H
#define EFIVERSION_H

#define EFIAPI __attribute__((ms_abi))

typedef unsigned short CHAR16;
typedef unsigned int UINT32;
typedef unsigned long long UINT64;
typedef UINT64 EFI_STATUS;
typedef void *EFI_HANDLE;

#define EFI_SUCCESS 0

typedef struct {
    UINT64 Signature;
    UINT32 Revision; /* major in the high 16 bits, minor in the low 16 */
    UINT32 HeaderSize;
    UINT32 CRC32;
    UINT32 Reserved;
} EFI_TABLE_HEADER;

typedef struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL;
struct EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL {
    void *Reset;
    EFI_STATUS(EFIAPI *OutputString)(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *This, CHAR16 *String);
};

typedef struct {
    EFI_TABLE_HEADER Hdr;
    CHAR16 *FirmwareVendor;
    UINT32 FirmwareRevision;
    EFI_HANDLE ConsoleInHandle;
    void *ConIn;
    EFI_HANDLE ConsoleOutHandle;
    EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL *ConOut;
} EFI_SYSTEM_TABLE;

_Static_assert(sizeof(EFI_TABLE_HEADER) == 24, "EFI_TABLE_HEADER layout");
_Static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, ConOut) == 64, "EFI_SYSTEM_TABLE layout");

#endif
