# Signing for Secure Boot: given a key and its certificate (PEM files), the
# boot disk holds BOOTX64.EFI signed with them and the certificate in DER
# form, ready to enroll in the firmware's signature database. Without them
# nothing here takes part in the build.
#
#   cmake -B build -DSIGNING_KEY=$HOME/.config/uefi-slides/signing.key \
#                  -DSIGNING_CERT=$HOME/.config/uefi-slides/signing.pem
#
# tools/make-signing-key makes such a pair. A key protected by a passphrase
# needs SIGNING_KEY_PASSPHRASE_FILE, a file whose first line is the
# passphrase: the build never asks for one.

set(SIGNING_KEY "" CACHE FILEPATH "Private key (PEM) to sign BOOTX64.EFI with for Secure Boot")
set(SIGNING_CERT "" CACHE FILEPATH "Certificate (PEM) of SIGNING_KEY, put on the boot disk to enroll")
set(SIGNING_KEY_PASSPHRASE_FILE "" CACHE FILEPATH
    "File whose first line is the passphrase of SIGNING_KEY, when it has one")
set(SIGN_EFI ${PROJECT_SOURCE_DIR}/tools/sign-efi)

# The arguments that hand a passphrase file to tools/sign-efi, if any.
function(passphrase_arguments passphrase_file out)
    if(passphrase_file)
        set(${out} --passphrase-file ${passphrase_file} PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()

# signed_boot_disk(IMAGE SIGNED CERTIFICATE_DER DISK KEY CERT [PASSPHRASE_FILE]):
# signs IMAGE into SIGNED, checked with sbverify, writes CERT in DER form to
# CERTIFICATE_DER, and makes the boot disk DISK around SIGNED with the
# certificate beside it (EFI/KEYS/SLIDESDB.CER).
function(signed_boot_disk image signed der disk key cert)
    passphrase_arguments("${ARGN}" passphrase)
    get_filename_component(name ${signed} NAME)
    add_custom_command(
        OUTPUT ${signed} ${der}
        COMMAND ${SIGN_EFI} ${passphrase} ${key} ${cert} ${image} ${signed} ${der}
        DEPENDS ${image} ${key} ${cert} ${ARGN} ${SIGN_EFI}
        COMMENT "Signing ${name} for Secure Boot"
        VERBATIM)
    boot_disk(${signed} ${disk} ${der})
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

# presenter_boot_disk(IMAGE DISK): the boot disk the presenter writes to a
# stick. With SIGNING_KEY it holds IMAGE signed (kept beside IMAGE as
# BOOTX64.signed.EFI) and the certificate (SLIDESDB.CER); without, IMAGE as
# it is. A disk or signed image made under other signing settings is
# removed when they change, so if this build fails before making its own,
# nothing is left that could be taken for it (an unsigned disk for a
# signed one).
function(presenter_boot_disk image disk)
    get_filename_component(folder ${image} DIRECTORY)
    set(signed ${folder}/BOOTX64.signed.EFI)
    set(der ${folder}/SLIDESDB.CER)
    # A build folder from before signing existed counts as unsigned.
    set(settings "${SIGNING_KEY}|${SIGNING_CERT}")
    set(previous "|")
    if(DEFINED CACHE{SIGNING_SETTINGS_BUILT})
        set(previous "$CACHE{SIGNING_SETTINGS_BUILT}")
    endif()
    if(NOT previous STREQUAL settings)
        file(REMOVE ${disk} ${signed} ${der})
    endif()
    set(SIGNING_SETTINGS_BUILT "${settings}" CACHE INTERNAL "SIGNING_KEY|SIGNING_CERT of the last configure")
    if(SIGNING_KEY)
        signed_boot_disk(${image} ${signed} ${der} ${disk} ${SIGNING_KEY} ${SIGNING_CERT}
                         ${SIGNING_KEY_PASSPHRASE_FILE})
    else()
        boot_disk(${image} ${disk})
    endif()
endfunction()
