// Test-side decompression with zlib's inflate, independent of the writers under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

// Inflates one gzip stream that must fill `gz` exactly; a failure is reported to the test.
inline std::vector<uint8_t> Gunzip(const std::vector<uint8_t>& gz)
{
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
    z.next_in = const_cast<Bytef*>(gz.data());
    z.avail_in = static_cast<uInt>(gz.size());
    std::vector<uint8_t> out;
    uint8_t chunk[4096];
    int status;
    do
    {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        status = inflate(&z, Z_NO_FLUSH);
        out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    } while (status == Z_OK);
    EXPECT_EQ(status, Z_STREAM_END) << "not one complete gzip stream";
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the gzip stream";
    inflateEnd(&z);
    return out;
}

inline std::vector<uint8_t> BytesOf(const std::string& s)
{
    return {s.begin(), s.end()};
}
