// The slide table: the slides of the deck in order, each a picture of the
// slide size linked in from bgra/brov_NN.bgra (or its LZ4 block), one entry for each SLIDE line of the
// build's generated pictures.inc. Initialised data, complete at link time;
// nothing writes it.
#include "img.h"

#define SLIDE(name, width, height) extern "C" const uint8_t PICTURE_START(name)[];
#include "pictures.inc"

const img_entry img[] = {
#define SLIDE(name, width, height) {width, height, PICTURE_START(name)},
#include "pictures.inc"
};

const int32_t img_count = sizeof img / sizeof img[0];
