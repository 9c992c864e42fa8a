# The pictures linked into the image, with the size each must have. A
# picture NAME is the raw file bgra/NAME.bgra: 4 bytes a pixel (blue, green,
# red, alpha), rows top to bottom, no header.
set(SLIDE_WIDTH 640)
set(SLIDE_HEIGHT 480)

set(PICTURE_NAMES)
foreach(number RANGE 1 47)
    string(LENGTH "${number}" digits)
    if(digits EQUAL 1)
        set(number "0${number}")
    endif()
    list(APPEND PICTURE_NAMES brov_${number})
endforeach()
list(APPEND PICTURE_NAMES a_012_efiversion_src a_043_graphic_image_blt_src)

# picture_size(NAME WIDTH_VAR HEIGHT_VAR)
function(picture_size name width_var height_var)
    if(name STREQUAL "a_012_efiversion_src")
        set(${height_var} 389 PARENT_SCOPE)
    elseif(name STREQUAL "a_043_graphic_image_blt_src")
        set(${height_var} 295 PARENT_SCOPE)
    else()
        set(${height_var} ${SLIDE_HEIGHT} PARENT_SCOPE)
    endif()
    set(${width_var} ${SLIDE_WIDTH} PARENT_SCOPE)
endfunction()

# check_picture(PATH NAME ERROR_VAR): sets ERROR_VAR to a message naming the
# file, the size it has and the size it must have; empty when it is good.
function(check_picture path name error_var)
    picture_size(${name} width height)
    math(EXPR expected "${width} * ${height} * 4")
    set(error "")
    if(NOT EXISTS "${path}")
        set(error "${path}: missing; it must be a ${width}x${height} raw BGRA picture of ${expected} bytes")
    else()
        file(SIZE "${path}" actual)
        if(NOT actual EQUAL expected)
            set(error "${path}: ${actual} bytes, but a ${width}x${height} raw BGRA picture is ${expected} bytes")
        endif()
    endif()
    set(${error_var} "${error}" PARENT_SCOPE)
endfunction()
