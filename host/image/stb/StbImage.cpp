// The implementation of stb_image and stb_image_write, compiled into the
// loader where no stb library is installed (Debian's libstb carries both).
// The tests and the tool write images with stb_image_write; they find it here
// then, so that no symbol is defined twice.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>
