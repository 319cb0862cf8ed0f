// write_png: libpng over a stdio file. Runs on the thread that saves (the
// GTK thread in the viewer).
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "png_picture.h"

namespace {

// libpng reports through longjmp; the message is kept for the caller.
void png_failed(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    *error = message;
    png_longjmp(png, 1);
}

void png_warned(png_structp, png_const_charp) {}

// The libpng part, apart from any C++ object with a destructor, which a
// longjmp out of it would skip.
bool write_rows(FILE* file, const PngPicture& picture, std::string* error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, png_failed, png_warned);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        *error = "out of memory";
        return false;
    }
    const size_t channels = picture.colour ? 3 : 1;
    const size_t row_bytes = size_t(picture.width) * channels * size_t(picture.bit_depth / 8);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(picture.width), png_uint_32(picture.height), picture.bit_depth,
                 picture.colour ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (picture.significant_bits > 0) {
        png_color_8 bits{};
        bits.gray = png_byte(picture.significant_bits);
        png_set_sBIT(png, info, &bits);
    }
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y) png_write_row(png, picture.rows.data() + size_t(y) * row_bytes);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool write_png(const std::string& path, const PngPicture& picture, std::string* error) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) {
        *error = strerror(errno);
        return false;
    }
    bool written = write_rows(file, picture, error);
    // A full disk shows up only as the buffered bytes go out.
    if (fclose(file) != 0 && written) {
        *error = strerror(errno);
        written = false;
    }
    return written;
}
