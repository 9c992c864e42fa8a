# The pictures linked into an image. Their list lives in one place,
# slidedeck/pictures.py, which the build asks at configure time.

set(PICTURE_LIST ${PROJECT_SOURCE_DIR}/slidedeck/pictures.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PICTURE_LIST})

# picture_list(FOLDER SOURCE...): writes the list of this build's pictures
# into FOLDER (pictures.cmake and pictures.inc, the include that the slide
# table and the viewer are compiled with) and reads it: sets SLIDE_COUNT,
# PICTURE_NAMES, PICTURE_SIZE_<name> (width height) and PICTURE_BYTES (all
# of them uncompressed), for slides of SLIDE_SIZE (another --size among
# SOURCE wins: the default deck at SLIDE_SIZES). SOURCE is "--default"
# or "--folder DIR", a presenter's folder,
# which is counted and checked; a bad folder stops the configure with the
# file named, and the earlier list stays as it was.
macro(picture_list folder)
    execute_process(
        COMMAND ${DECK_PYTHON} ${PICTURE_LIST} configure --size ${SLIDE_SIZE} ${ARGN}
                --cmake ${folder}/pictures.cmake --include ${folder}/pictures.inc
        RESULT_VARIABLE picture_list_result
        ERROR_VARIABLE picture_list_error)
    if(NOT picture_list_result EQUAL 0)
        string(STRIP "${picture_list_error}" picture_list_error)
        message(FATAL_ERROR "${picture_list_error}")
    endif()
    include(${folder}/pictures.cmake)
endmacro()

# The firmware reads the whole image into memory, twice: raw pictures that
# make an image past 1 GiB are refused at configure time. COMPRESSION is
# how the pictures are linked in (none for raw).
set(RAW_IMAGE_LIMIT ${FACT_RAW_IMAGE_LIMIT})
function(check_raw_image_size compression)
    if(compression STREQUAL "none" AND PICTURE_BYTES GREATER RAW_IMAGE_LIMIT)
        math(EXPR mib "${PICTURE_BYTES} / 1048576")
        message(FATAL_ERROR
            "SLIDE_SIZE=${SLIDE_SIZE} with PICTURE_COMPRESSION=none: the raw pictures of "
            "${SLIDE_COUNT} slides take ${mib} MiB, and an image past 1 GiB (1024 MiB) is "
            "refused; leave PICTURE_COMPRESSION at its default, lz4, or choose a smaller "
            "SLIDE_SIZE or fewer slides")
    endif()
endfunction()
