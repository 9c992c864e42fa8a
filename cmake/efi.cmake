# Building EFI applications for x86-64: C++ compiled by clang for the
# Windows x64 ABI the firmware uses, linked by lld-link into a PE32+ image
# of the EFI application subsystem, and put on a bootable disk image.

find_program(EFI_CLANG NAMES clang++ clang++-14 REQUIRED)
find_program(EFI_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)

# Freestanding code for the firmware: no exceptions, runtime type data,
# stack protector, red zone or stack probes; general registers only, since
# firmware may leave SSE unset up; no global that needs a constructor run.
set(EFI_CXX_FLAGS
    --target=x86_64-unknown-windows -std=c++17 -O2 -g0
    -ffreestanding -fno-exceptions -fno-rtti -fno-stack-protector
    -fno-threadsafe-statics -fshort-wchar -mno-red-zone -mgeneral-regs-only
    -mno-stack-arg-probe -Wall -Wextra -Werror -Werror=global-constructors
    -I${PROJECT_SOURCE_DIR}/src)

# efi_object(SOURCE OBJECT [FLAG...]): compiles one C++ unit for UEFI, with
# any further compiler flags given.
function(efi_object source object)
    get_filename_component(name ${source} NAME)
    add_custom_command(
        OUTPUT ${object}
        COMMAND ${EFI_CLANG} ${EFI_CXX_FLAGS} ${ARGN} -MD -MF ${object}.d -c ${source} -o ${object}
        DEPENDS ${source}
        DEPFILE ${object}.d
        COMMENT "Compiling ${name} for UEFI"
        VERBATIM)
endfunction()

# efi_application(IMAGE MAP OBJECT...): links the objects into the EFI
# application IMAGE, entry point efi_main, with the linker's map in MAP.
# The firmware relocates the image, so it keeps its relocations (no
# /fixed); /Brepro leaves out the time stamp, so the same sources give the
# same bytes. A temporary name until the link succeeds.
function(efi_application image map)
    get_filename_component(name ${image} NAME)
    add_custom_command(
        OUTPUT ${image} ${map}
        COMMAND ${EFI_LLD_LINK} /nologo /subsystem:efi_application /entry:efi_main
                /nodefaultlib /Brepro /map:${map} /out:${image}.tmp ${ARGN}
        COMMAND ${CMAKE_COMMAND} -E rename ${image}.tmp ${image}
        DEPENDS ${ARGN}
        COMMENT "Linking ${name}"
        VERBATIM)
endfunction()

# boot_disk(IMAGE DISK [CERTIFICATE]): a GPT disk image whose EFI system
# partition holds IMAGE as EFI/BOOT/BOOTX64.EFI (and the DER certificate
# as EFI/KEYS/SLIDESDB.CER, when given).
function(boot_disk image disk)
    get_filename_component(name ${disk} NAME)
    add_custom_command(
        OUTPUT ${disk}
        COMMAND ${PROJECT_SOURCE_DIR}/tools/make-disk-image ${image} ${disk} ${ARGN}
        DEPENDS ${image} ${ARGN} ${PROJECT_SOURCE_DIR}/tools/make-disk-image
        COMMENT "Making the boot disk ${name}"
        VERBATIM)
endfunction()
