# Signing for Secure Boot: given a key and its certificate (PEM files), the
# boot disk holds BOOTX64.EFI and BOOTAA64.EFI signed with them and the certificate in DER
# form, ready to enroll in the firmware's signature database. Without them
# nothing here takes part in the build.
#
#   cmake -B build -DSIGNING_KEY=$HOME/.config/uefi-slides/signing.key \
#                  -DSIGNING_CERT=$HOME/.config/uefi-slides/signing.pem
#
# tools/make-signing-key makes such a pair. A key protected by a passphrase
# needs SIGNING_KEY_PASSPHRASE_FILE, a file whose first line is the
# passphrase: the build never asks for one.
#
# The images signed are linked with an .sbat section (sbat_image). With
# SECURE_BOOT_SHIM=ON the x86-64 image is started through Debian's
# Microsoft-signed shim instead, the key enrolled in MokManager from the
# disk (README, "Without the setup menu").

set(SIGNING_KEY "" CACHE FILEPATH "Private key (PEM) to sign BOOTX64.EFI and BOOTAA64.EFI with for Secure Boot")
set(SIGNING_CERT "" CACHE FILEPATH "Certificate (PEM) of SIGNING_KEY, put on the boot disk to enroll")
set(SIGNING_KEY_PASSPHRASE_FILE "" CACHE FILEPATH
    "File whose first line is the passphrase of SIGNING_KEY, when it has one")
set(SIGN_EFI ${PROJECT_SOURCE_DIR}/tools/sign-efi)
option(SECURE_BOOT_SHIM "Boot the x86-64 image through Debian's Microsoft-signed shim, the key enrolled by MokManager" OFF)
# Where Debian's packages put shim, signed by Microsoft, and MokManager,
# signed by Debian with the key shim trusts.
set(SHIM_FILE /usr/lib/shim/shimx64.efi.signed CACHE FILEPATH
    "Microsoft-signed shim for SECURE_BOOT_SHIM (Debian package shim-signed)")
set(SHIM_PACKAGE shim-signed)
set(MOK_MANAGER_FILE /usr/lib/shim/mmx64.efi.signed CACHE FILEPATH
    "MokManager for SECURE_BOOT_SHIM (Debian package shim-helpers-amd64-signed)")
set(MOK_MANAGER_PACKAGE shim-helpers-amd64-signed)

# sbat_image(ARCH FOLDER NAME OBJECT...): for the images of the build
# folder itself (FOLDER), the objects linked once more with the SBAT
# section (sbat.S, which facts.py writes from its SBAT text) into FOLDER/NAME.sbat.EFI, the image that is signed.
# Shim refuses an image without that section. Made only when a signed disk
# asks for it, so an unsigned build links nothing more, and its NAME.EFI
# stays without the section, as it always was.
function(sbat_image arch folder name)
    if(NOT folder STREQUAL CMAKE_BINARY_DIR)
        return()
    endif()
    arch_folder(${arch} ${CMAKE_BINARY_DIR}/efi efi_folder)
    set(object ${efi_folder}/sbat.obj)
    add_custom_command(
        OUTPUT ${object}
        COMMAND ${EFI_CLANG} --target=${EFI_TARGET_${arch}} -c ${FACTS_FOLDER}/sbat.S -o ${object}
        DEPENDS ${FACTS_FOLDER}/sbat.S
        COMMENT "Assembling the SBAT section (${arch})"
        VERBATIM)
    # Zeroed data in a section of its own, marked uninitialized, instead of
    # lld-link's default merge into .data, which leaves .data with no bytes
    # in the file and not marked so: shim refuses such a section ("Section 2
    # is inside image headers"). lld-link warns that it overrides its
    # default merge.
    efi_application(${arch} ${folder}/${name}.sbat.EFI ${folder}/${name}.sbat.map ${ARGN} ${object}
                    LINK_FLAGS /merge:.bss=.bss)
endfunction()

# The arguments that hand a passphrase file to tools/sign-efi, if any.
function(passphrase_arguments passphrase_file out)
    if(passphrase_file)
        set(${out} --passphrase-file ${passphrase_file} PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()

# signed_boot_disk(DISK DER KEY CERT IMAGES IMAGE... SIGNED SIGNED...
#                  [PASSPHRASE_FILE FILE]): signs each IMAGE into the SIGNED
# of the same place in the list, each checked with sbverify, writes CERT in
# DER form to DER, and makes the boot disk DISK around the signed images
# with the certificate beside them (EFI/KEYS/SLIDESDB.CER). With SHIM
# SHIM MOKMANAGER, the x86-64 image is started through that shim (see
# boot_disk).
function(signed_boot_disk disk der key cert)
    cmake_parse_arguments(PARSE_ARGV 4 sign "" PASSPHRASE_FILE "IMAGES;SIGNED;SHIM")
    passphrase_arguments("${sign_PASSPHRASE_FILE}" passphrase)
    # All earlier signed images go first, so a failure signing one of them
    # leaves none behind.
    set(commands COMMAND ${CMAKE_COMMAND} -E rm -f ${sign_SIGNED} ${der})
    foreach(image signed IN ZIP_LISTS sign_IMAGES sign_SIGNED)
        list(APPEND commands COMMAND ${SIGN_EFI} ${passphrase} ${key} ${cert} ${image} ${signed} ${der})
    endforeach()
    add_custom_command(
        OUTPUT ${sign_SIGNED} ${der}
        ${commands}
        DEPENDS ${sign_IMAGES} ${key} ${cert} ${sign_PASSPHRASE_FILE} ${SIGN_EFI}
        COMMENT "Signing for Secure Boot: ${sign_SIGNED}"
        VERBATIM)
    set(shim)
    if(sign_SHIM)
        set(shim SHIM ${sign_SHIM})
    endif()
    boot_disk(${disk} ${sign_SIGNED} CERTIFICATE ${der} ${shim})
endfunction()

# At configure time: both files or neither, and a key and certificate that
# will sign (the same checks run again when the build signs).
if(SIGNING_KEY OR SIGNING_CERT)
    if(NOT SIGNING_KEY OR NOT SIGNING_CERT)
        message(FATAL_ERROR "Signing needs both SIGNING_KEY and SIGNING_CERT "
                            "(given: SIGNING_KEY=${SIGNING_KEY} SIGNING_CERT=${SIGNING_CERT})")
    endif()
    passphrase_arguments("${SIGNING_KEY_PASSPHRASE_FILE}" passphrase)
    execute_process(
        COMMAND ${SIGN_EFI} ${passphrase} --check ${SIGNING_KEY} ${SIGNING_CERT}
        INPUT_FILE /dev/null
        RESULT_VARIABLE result
        ERROR_VARIABLE problem
        OUTPUT_QUIET)
    if(NOT result EQUAL 0)
        string(STRIP "${problem}" problem)
        message(FATAL_ERROR "Cannot sign for Secure Boot: ${problem}")
    endif()
endif()
if(SECURE_BOOT_SHIM)
    if(NOT SIGNING_KEY)
        message(FATAL_ERROR "SECURE_BOOT_SHIM needs SIGNING_KEY and SIGNING_CERT: shim starts only "
                            "an image signed with a key enrolled in MokManager")
    endif()
    foreach(part SHIM MOK_MANAGER)
        if(NOT EXISTS ${${part}_FILE})
            message(FATAL_ERROR "SECURE_BOOT_SHIM: ${${part}_FILE} is missing: install the Debian "
                                "package ${${part}_PACKAGE} (tools/install-deps does)")
        endif()
    endforeach()
endif()

# presenter_boot_disk(DISK IMAGE...): the boot disk the presenter writes to
# a stick. With SIGNING_KEY it holds each IMAGE signed (kept beside it as
# NAME.signed.EFI) and the certificate (SLIDESDB.CER); without, the images
# as they are. A disk or signed image made under other signing settings is
# removed when they change, so if this build fails before making its own,
# nothing is left that could be taken for it (an unsigned disk for a
# signed one).
function(presenter_boot_disk disk)
    set(images ${ARGN})
    set(signed_images)
    foreach(image ${images})
        get_filename_component(folder ${image} DIRECTORY)
        get_filename_component(name ${image} NAME_WE)
        list(APPEND signed_images ${folder}/${name}.signed.EFI)
        # What is signed: the same image linked with the SBAT section.
        list(APPEND sbat_images ${folder}/${name}.sbat.EFI)
    endforeach()
    set(der ${folder}/SLIDESDB.CER)
    # A build folder from before signing existed counts as unsigned.
    set(settings "${SIGNING_KEY}|${SIGNING_CERT}")
    if(SECURE_BOOT_SHIM)
        string(APPEND settings "|shim")
    endif()
    set(previous "|")
    if(DEFINED CACHE{SIGNING_SETTINGS_BUILT})
        set(previous "$CACHE{SIGNING_SETTINGS_BUILT}")
    endif()
    if(NOT previous STREQUAL settings)
        file(REMOVE ${disk} ${signed_images} ${der})
    endif()
    set(SIGNING_SETTINGS_BUILT "${settings}" CACHE INTERNAL "SIGNING_KEY|SIGNING_CERT of the last configure")
    if(SIGNING_KEY)
        set(shim)
        if(SECURE_BOOT_SHIM)
            set(shim SHIM ${SHIM_FILE} ${MOK_MANAGER_FILE})
        endif()
        signed_boot_disk(${disk} ${der} ${SIGNING_KEY} ${SIGNING_CERT}
                         IMAGES ${sbat_images} SIGNED ${signed_images}
                         PASSPHRASE_FILE ${SIGNING_KEY_PASSPHRASE_FILE} ${shim})
    else()
        boot_disk(${disk} ${images})
    endif()
endfunction()
