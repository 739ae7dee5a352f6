#include "png_file.hpp"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

namespace tervox::view {
namespace {

// libpng reports errors by longjmp. The jump must not cross a frame that
// owns C++ objects with destructors, so everything that may fail runs in
// encode(), which owns none; the error text is kept in fixed storage.
struct png_error_text {
  char text[200] = "";
};

extern "C" void on_png_error(png_structp png, png_const_charp message) {
  auto* error = static_cast<png_error_text*>(png_get_error_ptr(png));
  std::strncpy(error->text, message, sizeof error->text - 1);
  png_longjmp(png, 1);
}

extern "C" void on_png_warning(png_structp, png_const_charp) {}

extern "C" void on_png_write(png_structp png, png_bytep data, std::size_t size) {
  static_cast<output_file*>(png_get_io_ptr(png))->write(reinterpret_cast<const char*>(data), size);
}

extern "C" void on_png_flush(png_structp) {}

bool encode(png_structp png, png_infop info, output_file& file, const image& img, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png)))
    return false;
  png_set_write_fn(png, &file, on_png_write, on_png_flush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(img.width()),
               static_cast<png_uint_32>(img.height()), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

io_result write_png(const std::string& path, const image& img) {
  output_file file(path);
  if (auto r = file.open(); !r.ok())
    return r;
  std::vector<png_bytep> rows(static_cast<std::size_t>(img.height()));
  for (int y = 0; y < img.height(); ++y)
    rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(img.row(y));

  png_error_text error;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, on_png_error, on_png_warning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  const bool encoded = info != nullptr && encode(png, info, file, img, rows.data());
  png_destroy_write_struct(&png, &info);
  if (!encoded) {
    return {cannot_write(path, error.text[0] != 0 ? error.text : "out of memory")};
  }
  return file.commit();
}

}  // namespace tervox::view
