#include "platform/png/png.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <exception>

// libpng reports an error by calling the error handler, which must not return: it longjmps
// back to the setjmp of the libpng call in progress. Each such call sits in a stage function
// below whose frame holds only plain values, so the jump skips no destructor; the C++ objects
// (the output, the row pointers, the libpng structures' owner) live in the callers.

namespace
{

[[noreturn]] void OnError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

// Warnings (an ancillary chunk with a bad CRC, say) change nothing we return; stay quiet.
void OnWarning(png_structp, png_const_charp) {}

// Reading: from a buffer of known size, never past it.

struct Source
{
    const png_byte* next;
    size_t left;
};

void ReadSource(png_structp png, png_bytep out, size_t count)
{
    Source* source = static_cast<Source*>(png_get_io_ptr(png));
    if (count > source->left)
        png_error(png, "truncated");
    std::memcpy(out, source->next, count);
    source->next += count;
    source->left -= count;
}

struct Reader
{
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Reader() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Reads the header and asks libpng for 8-bit RGB whatever the file holds. nativeRowBytes is
// a row's size as stored, before those conversions.
bool ReadHeader(png_structp png, png_infop info, size_t* nativeRowBytes)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    *nativeRowBytes = png_get_rowbytes(png, info);
    // Each of these acts only on images it applies to.
    png_set_palette_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_strip_alpha(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool ReadRows(png_structp png, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    // On to the end chunk, so that a damaged or missing tail fails too.
    png_read_end(png, nullptr);
    return true;
}

bool Decode(const void* data, size_t size, std::vector<uint8_t>& rgb, uint32_t& width,
            uint32_t& height)
{
    Reader r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (r.png == nullptr)
        return false;
    r.info = png_create_info_struct(r.png);
    if (r.info == nullptr)
        return false;
    Source source{static_cast<const png_byte*>(data), size};
    png_set_read_fn(r.png, &source, ReadSource);
    // libpng refuses the header of a larger image.
    png_set_user_limits(r.png, kPngMaxSide, kPngMaxSide);

    size_t nativeRowBytes = 0;
    if (!ReadHeader(r.png, r.info, &nativeRowBytes))
        return false;
    const uint32_t w = png_get_image_width(r.png, r.info);
    const uint32_t h = png_get_image_height(r.png, r.info);
    const size_t rowBytes = static_cast<size_t>(w) * 3;
    if (png_get_rowbytes(r.png, r.info) != rowBytes)
        return false;
    // Deflate packs at most 1032 bytes into one, so a file declaring more pixels than its size
    // can hold is refused before its image is allocated.
    if (nativeRowBytes * h / 1032 > size)
        return false;

    rgb.assign(rowBytes * h, 0);
    std::vector<png_bytep> rows(h);
    for (uint32_t y = 0; y < h; ++y)
        rows[y] = rgb.data() + rowBytes * y;
    if (!ReadRows(r.png, rows.data()))
        return false;
    width = w;
    height = h;
    return true;
}

// Writing: into a std::string.

void WriteSink(png_structp png, png_bytep data, size_t count)
{
    std::string* out = static_cast<std::string*>(png_get_io_ptr(png));
    bool failed = false;
    try
    {
        out->append(reinterpret_cast<const char*>(data), count);
    }
    catch (const std::exception&)
    {
        failed = true; // no exception may cross libpng's C frames
    }
    if (failed)
        png_error(png, "out of memory");
}

void FlushSink(png_structp) {}

struct Writer
{
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Writer() { png_destroy_write_struct(&png, &info); }
};

bool WriteImage(png_structp png, png_infop info, png_bytepp rows, uint32_t width, uint32_t height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

bool Encode(std::span<const uint8_t> rgb, uint32_t width, uint32_t height, std::string& png)
{
    if (width == 0 || height == 0 || width > kPngMaxSide || height > kPngMaxSide)
        return false;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    if (rgb.size() != rowBytes * height)
        return false;
    Writer w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (w.png == nullptr)
        return false;
    w.info = png_create_info_struct(w.png);
    if (w.info == nullptr)
        return false;
    png_set_write_fn(w.png, &png, WriteSink, FlushSink);
    // libpng copies each row before filtering it, so the pixels are only read.
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y)
        rows[y] = const_cast<png_bytep>(rgb.data() + rowBytes * y);
    return WriteImage(w.png, w.info, rows.data(), width, height);
}

} // namespace

bool PngEncodeRgb(std::span<const uint8_t> rgb, uint32_t width, uint32_t height, std::string& png)
{
    png.clear();
    if (Encode(rgb, width, height, png))
        return true;
    png.clear();
    return false;
}

bool PngSaveRgb(const char* path, std::span<const uint8_t> rgb, uint32_t width, uint32_t height)
{
    std::string png;
    if (!PngEncodeRgb(rgb, width, height, png))
        return false;
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr)
        return false;
    bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    if (std::fclose(f) != 0)
        written = false;
    return written;
}

bool PngDecodeRgb(const void* data, size_t size, std::vector<uint8_t>& rgb, uint32_t& width,
                  uint32_t& height)
{
    width = 0;
    height = 0;
    rgb.clear();
    if (Decode(data, size, rgb, width, height))
        return true;
    rgb.clear();
    width = 0;
    height = 0;
    return false;
}
