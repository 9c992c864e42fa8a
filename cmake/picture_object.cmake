# Turns one raw picture into a COFF object whose symbols are SYMBOL_start,
# _end and _size (facts.picture_symbol of its NAME), wherever the file lies:
# a small assembly file takes the bytes in with .incbin, assembled by clang
# for TARGET (the same file and symbols for every machine). With
# FORMAT=lz4, SOURCE is the picture's LZ4 block (cmake/compress_pictures.py
# made and checked it), under the same symbols: the slide table links
# against either.
#
# cmake -DSOURCE=... [-DFORMAT=bgra|lz4] -DNAME=... -DSYMBOL=... -DWIDTH=...
#       -DHEIGHT=... -DCLANG=... -DTARGET=... -DOUTPUT=... -P picture_object.cmake

# A bad picture also takes away the object an earlier build made, so
# nothing stale stands in for it.
math(EXPR expected "${WIDTH} * ${HEIGHT} * 4")
set(error "")
if(FORMAT STREQUAL "lz4")
    if(NOT EXISTS "${SOURCE}")
        set(error "${SOURCE}: missing; it must be the LZ4 block of a ${WIDTH}x${HEIGHT} picture")
    endif()
elseif(NOT EXISTS "${SOURCE}")
    set(error "${SOURCE}: missing; it must be a ${WIDTH}x${HEIGHT} raw BGRA picture of ${expected} bytes")
else()
    file(SIZE "${SOURCE}" actual)
    if(NOT actual EQUAL expected)
        set(error "${SOURCE}: ${actual} bytes, but a ${WIDTH}x${HEIGHT} raw BGRA picture is ${expected} bytes")
    endif()
endif()
if(error)
    file(REMOVE "${OUTPUT}")
    message(FATAL_ERROR "${error}")
endif()

# Nothing writes a picture: read-only data ("dr"), aligned for 4-byte
# pixels and 16-byte copies.
set(symbol ${SYMBOL})
if(FORMAT STREQUAL "lz4")
    set(stored "one LZ4 block")
else()
    set(stored "raw BGRA")
endif()
string(REPLACE "\\" "\\\\" quoted "${SOURCE}")
string(REPLACE "\"" "\\\"" quoted "${quoted}")
file(WRITE "${OUTPUT}.s" "\
# ${NAME}: ${WIDTH}x${HEIGHT} ${stored}
        .section .rdata,\"dr\"
        .p2align 4
        .globl ${symbol}_start
        .globl ${symbol}_end
        .globl ${symbol}_size
${symbol}_start:
        .incbin \"${quoted}\"
${symbol}_end:
        .set ${symbol}_size, ${symbol}_end - ${symbol}_start
")

# A temporary name until it is complete, so an interrupted build leaves
# nothing that a later one would take as good.
execute_process(
    COMMAND ${CLANG} --target=${TARGET} -c "${OUTPUT}.s" -o "${OUTPUT}.tmp"
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE "${OUTPUT}.tmp")
    message(FATAL_ERROR "${SOURCE}: the assembler failed")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
