# Turns one raw picture into a COFF object whose symbols are
# _binary_bgra_NAME_bgra_start/_end/_size. Run in the build folder, which
# holds bgra/, so that objcopy derives exactly those names from the path.
#
# cmake -DSOURCE=... -DNAME=... -DOBJCOPY=... -DOUTPUT=... -P picture_object.cmake
include(${CMAKE_CURRENT_LIST_DIR}/pictures.cmake)

set(staged bgra/${NAME}.bgra)
get_filename_component(source_path "${SOURCE}" ABSOLUTE)
get_filename_component(staged_path "${staged}" ABSOLUTE)

# A bad picture also takes away what an earlier build made of its
# predecessor, so nothing stale stands in for it.
check_picture("${SOURCE}" ${NAME} error)
if(error)
    if(NOT source_path STREQUAL staged_path)
        file(REMOVE "${staged}")
    endif()
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "${error}")
endif()

# Stage the picture under bgra/ when it comes from elsewhere. Temporary
# names and a rename, so an interrupted build leaves nothing that a later
# one would take as good.
if(NOT source_path STREQUAL staged_path)
    file(MAKE_DIRECTORY bgra)
    file(COPY_FILE "${SOURCE}" "${staged}.tmp")
    file(RENAME "${staged}.tmp" "${staged}")
endif()

# objcopy puts the bytes in a writable .data section; nothing writes a
# picture, so it goes into read-only data, aligned for 4-byte pixels.
execute_process(
    COMMAND ${OBJCOPY} -I binary -O pe-x86-64 -B i386:x86-64
            --rename-section .data=.rdata,alloc,load,readonly,data,contents
            --set-section-alignment .data=16
            ${staged} ${OUTPUT}.tmp
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE ${OUTPUT}.tmp)
    message(FATAL_ERROR "${staged}: objcopy failed")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
