# Secure Boot on OVMF's enforcing build, whose variable store (Debian's
# "snakeoil" one) holds a test certificate in db; and the same firmware with
# Microsoft's keys, where Debian's shim boots the image once its key is
# enrolled as a machine owner key (MOK). The disks the suite boots
# are made when the tests run, by the secure_boot_disks fixture, so the
# default build needs no signing tools; the keys are Debian's test key and a
# throwaway one made here. None is kept in the repository.
#
#   ctest -L firmware -R secure_boot         the suite: four disks on one machine, then
#                                            the shim disks on two
#   cmake --build build --target secure_boot_timing    boot figures, Secure Boot on and off
#                                                      (bench/CMakeLists.txt)

set(sb ${CMAKE_CURRENT_BINARY_DIR}/secure-boot)
set(snakeoil_key /usr/share/ovmf/PkKek-1-snakeoil.key)
set(snakeoil_cert /usr/share/ovmf/PkKek-1-snakeoil.pem)
# The passphrase Debian publishes with its test key (README.Debian of ovmf).
set(snakeoil_passphrase ${sb}/snakeoil.passphrase)
# Rewritten only when it changes, so the signed images are not remade
# at every configure.
file(CONFIGURE OUTPUT ${snakeoil_passphrase} CONTENT "snakeoil\n")

# The image as linked: refused.
boot_disk(${sb}/unsigned.img ${EFI_IMAGE})

# Signed with the test key, through the same steps as a presenter's build
# (the image with its SBAT section): boots.
signed_boot_disk(${sb}/signed.img ${sb}/snakeoil.cer ${snakeoil_key} ${snakeoil_cert}
                 IMAGES ${EFI_SBAT_IMAGE} SIGNED ${sb}/signed.efi PASSPHRASE_FILE ${snakeoil_passphrase})

# The signed image with one byte of the first slide changed afterwards:
# refused.
add_custom_command(
    OUTPUT ${sb}/picture-changed.efi
    COMMAND ${DECK_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/change_picture_byte.py
            ${sb}/signed.efi ${CMAKE_BINARY_DIR}/bgra/brov_01.bgra ${sb}/picture-changed.efi
    DEPENDS ${sb}/signed.efi ${CMAKE_CURRENT_SOURCE_DIR}/change_picture_byte.py
    COMMENT "Changing one picture byte of the signed image"
    VERBATIM)
boot_disk(${sb}/picture-changed.img ${sb}/picture-changed.efi)

# Signed with a throwaway key whose certificate no firmware holds: refused.
add_custom_command(
    OUTPUT ${sb}/other.key ${sb}/other.pem
    COMMAND openssl genpkey -quiet -algorithm RSA -pkeyopt rsa_keygen_bits:2048
            -out ${sb}/other.key.tmp
    COMMAND openssl req -x509 -key ${sb}/other.key.tmp -sha256 -days 3650
            -subj "/CN=Throwaway test key" -out ${sb}/other.pem.tmp
    COMMAND ${CMAKE_COMMAND} -E rename ${sb}/other.key.tmp ${sb}/other.key
    COMMAND ${CMAKE_COMMAND} -E rename ${sb}/other.pem.tmp ${sb}/other.pem
    COMMENT "Making a throwaway signing key"
    VERBATIM)
signed_boot_disk(${sb}/other-key.img ${sb}/other.cer ${sb}/other.key ${sb}/other.pem
                 IMAGES ${EFI_SBAT_IMAGE} SIGNED ${sb}/other.efi)

# The same image through Debian's shim, as SECURE_BOOT_SHIM makes it: the
# throwaway key is the presenter's, enrolled from the disk in MokManager.
set(shim SHIM ${SHIM_FILE} ${MOK_MANAGER_FILE})
boot_disk(${sb}/shim.img ${sb}/other.efi CERTIFICATE ${sb}/other.cer ${shim})
# And with one picture byte changed after signing: refused by shim even
# once the key is enrolled.
add_custom_command(
    OUTPUT ${sb}/shim-picture-changed.efi
    COMMAND ${DECK_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/change_picture_byte.py
            ${sb}/other.efi ${CMAKE_BINARY_DIR}/bgra/brov_01.bgra ${sb}/shim-picture-changed.efi
    DEPENDS ${sb}/other.efi ${CMAKE_CURRENT_SOURCE_DIR}/change_picture_byte.py
    COMMENT "Changing one picture byte of the image shim starts"
    VERBATIM)
boot_disk(${sb}/shim-picture-changed.img ${sb}/shim-picture-changed.efi
          CERTIFICATE ${sb}/other.cer ${shim})

add_custom_target(secure_boot_disks
    DEPENDS ${sb}/unsigned.img ${sb}/signed.img ${sb}/picture-changed.img ${sb}/other-key.img
            ${sb}/shim.img ${sb}/shim-picture-changed.img)

add_test(NAME secure_boot_disks
         COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target secure_boot_disks)
set_tests_properties(secure_boot_disks PROPERTIES LABELS firmware TIMEOUT 600
                     FIXTURES_SETUP secure_boot_disks)

add_test(NAME secure_boot
         COMMAND ${DECK_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/secure_boot_suite.py
                 --disks ${sb} --pictures ${CMAKE_BINARY_DIR}/bgra
                 --expected-screen $<TARGET_FILE:expected_screen>
                 --artifacts ${CMAKE_BINARY_DIR}/firmware-failures)
set_tests_properties(secure_boot PROPERTIES LABELS firmware TIMEOUT 1200
                     FIXTURES_REQUIRED secure_boot_disks)

# Through Debian's shim on Microsoft's keys: the key enrolled in MokManager
# from the disk, then the changed image refused on the same store. Two
# machines, a few minutes under TCG.
add_test(NAME secure_boot_shim
         COMMAND ${DECK_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/secure_boot_suite.py --shim
                 --disks ${sb} --pictures ${CMAKE_BINARY_DIR}/bgra
                 --expected-screen $<TARGET_FILE:expected_screen>
                 --artifacts ${CMAKE_BINARY_DIR}/firmware-failures)
set_tests_properties(secure_boot_shim PROPERTIES LABELS firmware TIMEOUT 1200
                     FIXTURES_REQUIRED secure_boot_disks)
