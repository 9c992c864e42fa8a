// The copy as the AArch64 image has it: every store aligned to its width,
// so that a framebuffer in device memory never sees an unaligned access.
#define COPY_ALIGNED_STORES_ONLY 1
#define COPY_SUITE CopyBytesAlignedStoresOnly
#include "copy_test.cpp"
