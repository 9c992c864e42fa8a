# Building EFI applications for x86-64 and AArch64: C++ compiled by clang
# for the Windows ABI of each machine (the one UEFI uses), linked by
# lld-link into a PE32+ image of the EFI application subsystem, and put on
# a bootable disk image.

find_program(EFI_CLANG NAMES clang++ clang++-14 REQUIRED)
find_program(EFI_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)

# ---- Per architecture ---------------------------------------------------
# Every image is built for each machine of facts.py (x64 for x86-64 PCs,
# aa64 for ARM64 machines), under the name firmware boots from removable
# media, by the compiler for that machine's target.
set(EFI_ARCHITECTURES ${FACT_ARCHITECTURES})
foreach(arch ${EFI_ARCHITECTURES})
    set(EFI_BOOT_NAME_${arch} ${FACT_BOOT_NAME_${arch}})
    set(EFI_TARGET_${arch} ${FACT_TARGET_${arch}})
endforeach()
# The flags only one machine needs. x86-64: no red zone (interrupt
# handlers share the stack). AArch64: no unaligned access anywhere, since
# the framebuffer may be device memory, where one faults; without it the
# compiler may merge narrow stores into wider ones that are not aligned to
# their width.
set(EFI_ARCH_FLAGS_x64 -mno-red-zone)
set(EFI_ARCH_FLAGS_aa64 -mstrict-align)
set(EFI_LINK_FLAGS_x64)
set(EFI_LINK_FLAGS_aa64 /machine:arm64)
# -------------------------------------------------------------------------

# Freestanding code for the firmware: no exceptions or runtime type data;
# general registers only, since firmware may leave SSE (or, on AArch64, the
# FP/SIMD unit) unset up. The benchmarks compile the viewer for the host
# with these too, so they time the code the firmware runs.
set(EFI_CODEGEN_FLAGS -O2 -ffreestanding -fno-exceptions -fno-rtti -mgeneral-regs-only)
# The rest of a unit for UEFI: no stack protector or stack probes, and no
# global that needs a constructor run.
set(EFI_CXX_FLAGS
    -std=c++17 -g0 ${EFI_CODEGEN_FLAGS}
    -fno-stack-protector -fno-threadsafe-statics -fshort-wchar
    -mno-stack-arg-probe -Wall -Wextra -Werror -Werror=global-constructors
    -I${PROJECT_SOURCE_DIR}/src -I${FACTS_FOLDER})

# efi_object(ARCH SOURCE OBJECT [FLAG...]): compiles one C++ unit for UEFI
# on ARCH (x64 or aa64), with any further compiler flags given.
function(efi_object arch source object)
    get_filename_component(name ${source} NAME)
    add_custom_command(
        OUTPUT ${object}
        COMMAND ${EFI_CLANG} --target=${EFI_TARGET_${arch}} ${EFI_CXX_FLAGS}
                ${EFI_ARCH_FLAGS_${arch}} ${ARGN} -MD -MF ${object}.d -c ${source} -o ${object}
        DEPENDS ${source}
        DEPFILE ${object}.d
        COMMENT "Compiling ${name} for UEFI (${arch})"
        VERBATIM)
endfunction()

# efi_application(ARCH IMAGE MAP OBJECT... [LINK_FLAGS FLAG...]): links the
# objects into the EFI application IMAGE for ARCH, entry point efi_main,
# with the linker's map in MAP and any further linker flags given. The
# firmware relocates the image, so it keeps its relocations (no /fixed);
# /Brepro leaves out the time stamp, so the same sources give the same
# bytes. A temporary name until the link succeeds.
function(efi_application arch image map)
    cmake_parse_arguments(PARSE_ARGV 3 link "" "" LINK_FLAGS)
    set(objects ${link_UNPARSED_ARGUMENTS})
    get_filename_component(name ${image} NAME)
    add_custom_command(
        OUTPUT ${image} ${map}
        COMMAND ${EFI_LLD_LINK} /nologo ${EFI_LINK_FLAGS_${arch}} /subsystem:efi_application
                /entry:efi_main /nodefaultlib /Brepro ${link_LINK_FLAGS} /map:${map}
                /out:${image}.tmp ${objects}
        COMMAND ${CMAKE_COMMAND} -E rename ${image}.tmp ${image}
        DEPENDS ${objects}
        COMMENT "Linking ${name}"
        VERBATIM)
endfunction()

# boot_disk(DISK IMAGE... [CERTIFICATE DER]): a GPT disk image whose EFI
# system partition holds each IMAGE under the removable-media name of its
# machine (EFI/BOOT/BOOTX64.EFI, EFI/BOOT/BOOTAA64.EFI), and the DER
# certificate as EFI/KEYS/SLIDESDB.CER, when given. With SHIM SHIM
# MOKMANAGER, EFI/BOOT/BOOTX64.EFI is that shim, MOKMANAGER beside it as
# mmx64.efi, and the x86-64 IMAGE is grubx64.efi, the name shim starts.
function(boot_disk disk)
    cmake_parse_arguments(PARSE_ARGV 1 disk "" CERTIFICATE "SHIM")
    set(images ${disk_UNPARSED_ARGUMENTS})
    list(POP_FRONT images first)
    set(extra)
    if(disk_SHIM)
        list(GET disk_SHIM 0 shim)
        list(GET disk_SHIM 1 mok_manager)
        set(extra --shim ${shim} ${mok_manager})
    endif()
    foreach(image ${images})
        list(APPEND extra --add ${image})
    endforeach()
    get_filename_component(name ${disk} NAME)
    add_custom_command(
        OUTPUT ${disk}
        COMMAND ${PROJECT_SOURCE_DIR}/tools/make-disk-image ${extra} ${first} ${disk}
                ${disk_CERTIFICATE}
        DEPENDS ${first} ${images} ${disk_CERTIFICATE} ${disk_SHIM} ${PROJECT_SOURCE_DIR}/tools/make-disk-image
        COMMENT "Making the boot disk ${name}"
        VERBATIM)
endfunction()
