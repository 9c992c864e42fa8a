// The slide table: the 47 slides of the deck in order, each a 640x480
// picture linked in from bgra/brov_NN.bgra. Initialised data, complete at
// link time; nothing writes it.
#include "img.h"

extern "C" const uint8_t _binary_bgra_brov_01_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_02_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_03_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_04_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_05_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_06_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_07_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_08_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_09_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_10_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_11_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_12_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_13_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_14_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_15_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_16_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_17_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_18_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_19_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_20_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_21_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_22_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_23_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_24_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_25_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_26_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_27_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_28_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_29_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_30_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_31_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_32_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_33_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_34_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_35_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_36_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_37_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_38_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_39_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_40_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_41_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_42_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_43_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_44_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_45_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_46_bgra_start[];
extern "C" const uint8_t _binary_bgra_brov_47_bgra_start[];

const img_entry img[img_count] = {
    {640, 480, _binary_bgra_brov_01_bgra_start},
    {640, 480, _binary_bgra_brov_02_bgra_start},
    {640, 480, _binary_bgra_brov_03_bgra_start},
    {640, 480, _binary_bgra_brov_04_bgra_start},
    {640, 480, _binary_bgra_brov_05_bgra_start},
    {640, 480, _binary_bgra_brov_06_bgra_start},
    {640, 480, _binary_bgra_brov_07_bgra_start},
    {640, 480, _binary_bgra_brov_08_bgra_start},
    {640, 480, _binary_bgra_brov_09_bgra_start},
    {640, 480, _binary_bgra_brov_10_bgra_start},
    {640, 480, _binary_bgra_brov_11_bgra_start},
    {640, 480, _binary_bgra_brov_12_bgra_start},
    {640, 480, _binary_bgra_brov_13_bgra_start},
    {640, 480, _binary_bgra_brov_14_bgra_start},
    {640, 480, _binary_bgra_brov_15_bgra_start},
    {640, 480, _binary_bgra_brov_16_bgra_start},
    {640, 480, _binary_bgra_brov_17_bgra_start},
    {640, 480, _binary_bgra_brov_18_bgra_start},
    {640, 480, _binary_bgra_brov_19_bgra_start},
    {640, 480, _binary_bgra_brov_20_bgra_start},
    {640, 480, _binary_bgra_brov_21_bgra_start},
    {640, 480, _binary_bgra_brov_22_bgra_start},
    {640, 480, _binary_bgra_brov_23_bgra_start},
    {640, 480, _binary_bgra_brov_24_bgra_start},
    {640, 480, _binary_bgra_brov_25_bgra_start},
    {640, 480, _binary_bgra_brov_26_bgra_start},
    {640, 480, _binary_bgra_brov_27_bgra_start},
    {640, 480, _binary_bgra_brov_28_bgra_start},
    {640, 480, _binary_bgra_brov_29_bgra_start},
    {640, 480, _binary_bgra_brov_30_bgra_start},
    {640, 480, _binary_bgra_brov_31_bgra_start},
    {640, 480, _binary_bgra_brov_32_bgra_start},
    {640, 480, _binary_bgra_brov_33_bgra_start},
    {640, 480, _binary_bgra_brov_34_bgra_start},
    {640, 480, _binary_bgra_brov_35_bgra_start},
    {640, 480, _binary_bgra_brov_36_bgra_start},
    {640, 480, _binary_bgra_brov_37_bgra_start},
    {640, 480, _binary_bgra_brov_38_bgra_start},
    {640, 480, _binary_bgra_brov_39_bgra_start},
    {640, 480, _binary_bgra_brov_40_bgra_start},
    {640, 480, _binary_bgra_brov_41_bgra_start},
    {640, 480, _binary_bgra_brov_42_bgra_start},
    {640, 480, _binary_bgra_brov_43_bgra_start},
    {640, 480, _binary_bgra_brov_44_bgra_start},
    {640, 480, _binary_bgra_brov_45_bgra_start},
    {640, 480, _binary_bgra_brov_46_bgra_start},
    {640, 480, _binary_bgra_brov_47_bgra_start},
};
