# The pictures linked into an image. Their list lives in one place,
# tools/slidedeck/pictures.py, which the build asks at configure time.

set(PICTURE_LIST ${PROJECT_SOURCE_DIR}/tools/slidedeck/pictures.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PICTURE_LIST})

# picture_list(FOLDER SOURCE...): writes the list of this build's pictures
# into FOLDER (pictures.cmake and pictures.inc, the include that the slide
# table and the viewer are compiled with) and reads it: sets SLIDE_COUNT,
# PICTURE_NAMES and PICTURE_SIZE_<name> (width height). SOURCE is
# "--default" or "--folder DIR", a presenter's folder,
# which is counted and checked; a bad folder stops the configure with the
# file named, and the earlier list stays as it was.
macro(picture_list folder)
    execute_process(
        COMMAND ${DECK_PYTHON} ${PICTURE_LIST} configure ${ARGN}
                --cmake ${folder}/pictures.cmake --include ${folder}/pictures.inc
        RESULT_VARIABLE picture_list_result
        ERROR_VARIABLE picture_list_error)
    if(NOT picture_list_result EQUAL 0)
        string(STRIP "${picture_list_error}" picture_list_error)
        message(FATAL_ERROR "${picture_list_error}")
    endif()
    include(${folder}/pictures.cmake)
endmacro()
