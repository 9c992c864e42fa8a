/* efiversion.c: prints the UEFI revision of the firmware running it. */
#include "efiversion.h"
static CHAR16 *put_number(CHAR16 *out, UINT32 value) {  /* in decimal */
    if (value >= 10) out = put_number(out, value / 10);
    *out = u'0' + value % 10;
    return out + 1;
}

EFI_STATUS EFIAPI efi_main(EFI_HANDLE image, EFI_SYSTEM_TABLE *system) {
    UINT32 major = system->Hdr.Revision >> 16;
    UINT32 minor = system->Hdr.Revision & 0xffff;  /* 2.3.1 is 31 */
    CHAR16 text[24], *end = put_number(text, major);
    *end++ = u'.';
    end = put_number(end, minor / 10);
    if (minor % 10 != 0) {
        *end++ = u'.';
        end = put_number(end, minor % 10);
    }
    *end++ = u'\r'; *end++ = u'\n'; *end = 0;
    system->ConOut->OutputString(system->ConOut, u"UEFI ");
    system->ConOut->OutputString(system->ConOut, text);
    return EFI_SUCCESS;
}
