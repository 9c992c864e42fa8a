// Where each picture's LZ4 block lies and the buffer the one shown is
// decoded into: linked, with the blocks, into the images that store their
// pictures compressed. The buffer is as large as the deck's largest
// picture, of any of its picture sets, in uninitialised data.
#include "img.h"
#include "options.h"

#define SLIDE(name, width, height) extern "C" const uint8_t PICTURE_START(name)[], PICTURE_END(name)[];
#define LISTING SLIDE
#include "pictures.inc"

namespace {

const picture_block blocks[] = {
#define SLIDE(name, width, height) {PICTURE_START(name), PICTURE_END(name)},
#define LISTING SLIDE
#include "pictures.inc"
};

constexpr size_t picture_bytes[] = {
#define SLIDE(name, width, height) (size_t)(width) * (height) * 4,
#define LISTING SLIDE
#define SET_PICTURE SLIDE
#include "pictures.inc"
};

constexpr size_t largest_picture() {
    size_t largest = 0;
    for (size_t bytes : picture_bytes)
        if (bytes > largest) largest = bytes;
    return largest;
}

alignas(16) uint8_t buffer[largest_picture()];

}  // namespace

extern const compressed_pictures lz4_pictures = {blocks, buffer, sizeof buffer};
