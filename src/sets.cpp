// Choosing the picture set for a screen, as a browser picks among an
// image's renditions: never enlarge when a larger one exists, and never
// reduce more than needed. With sets S and a mode of MW x MH:
//
// 1. A set of exactly MW x MH is drawn 1:1: it is the one.
// 2. Otherwise the candidates are the sets of the mode's aspect ratio,
//    W x H with |W MH - MW H| at most MW H / 100 (1366x768 counts as
//    16:9); when no set has it, every set.
// 3. Among the candidates, the smallest (fewest pixels; the first listed
//    of equals) that is at least as large as the area `fill` gives it on
//    the mode, W >= AW and H >= AH: reduced to it by area averaging.
// 4. When no candidate is that large, the largest candidate (most pixels;
//    the first listed of equals), enlarged.
#include "sets.h"

#include "BOOTX64.h"
#include "scale.h"

namespace {

uint64_t pixels_of(const picture_set &set) {
    return (uint64_t)set.slide_width * set.slide_height;
}

bool same_aspect(const picture_set &set, uint32_t width, uint32_t height) {
    const uint64_t a = (uint64_t)set.slide_width * height;
    const uint64_t b = (uint64_t)width * set.slide_height;
    return (a > b ? a - b : b - a) * 100 <= b;
}

}  // namespace

bool set_of_size(const picture_set *sets, uint32_t count, uint32_t width, uint32_t height) {
    for (uint32_t i = 0; i < count; ++i)
        if (sets[i].slide_width == width && sets[i].slide_height == height) return true;
    return false;
}

uint32_t choose_set(const picture_set *sets, uint32_t count, uint32_t screen_width,
                    uint32_t screen_height) {
    for (uint32_t i = 0; i < count; ++i)
        if (sets[i].slide_width == screen_width && sets[i].slide_height == screen_height) return i;
    bool any_of_aspect = false;
    for (uint32_t i = 0; i < count; ++i)
        any_of_aspect |= same_aspect(sets[i], screen_width, screen_height);
    bool found_large = false;
    uint32_t smallest_large = 0, largest = 0;
    bool found_any = false;
    for (uint32_t i = 0; i < count; ++i) {
        const picture_set &set = sets[i];
        if (any_of_aspect && !same_aspect(set, screen_width, screen_height)) continue;
        if (!found_any || pixels_of(set) > pixels_of(sets[largest])) largest = i;
        found_any = true;
        const screen_rect area = scaled_area_for(scale_fill, set.slide_width, set.slide_height,
                                                 screen_width, screen_height);
        if (set.slide_width < area.width || set.slide_height < area.height) continue;
        if (!found_large || pixels_of(set) < pixels_of(sets[smallest_large])) smallest_large = i;
        found_large = true;
    }
    return found_large ? smallest_large : largest;
}

picture_set set_for_screen(const image_options &options, uint32_t screen_width,
                           uint32_t screen_height) {
    if (options.sets != nullptr && options.set_count > 0)
        return options.sets[choose_set(options.sets, options.set_count, screen_width,
                                       screen_height)];
    return {options.slide_width, options.slide_height, img, extra_img,
            options.compressed != nullptr ? options.compressed->blocks : nullptr,
            options.overview};
}
