#include "tools/datakit/dkpr_writer.h"

#include <algorithm>
#include <climits>
#include <string>

#include <zlib.h>

#include "tools/datakit/file_io.h"

namespace datakit
{

std::vector<uint8_t> DkprWrap(std::span<const uint8_t> data)
{
    if (data.size() > kDkprMaxData)
        throw Error("data of " + std::to_string(data.size()) +
                    " bytes is too large for a DKPR file (at most " + std::to_string(kDkprMaxData) +
                    ")");
    uint32_t n = static_cast<uint32_t>(data.size());
    std::vector<uint8_t> out;
    out.reserve(kDkprHeaderSize + data.size());
    out.insert(out.end(), {'D', 'K', 'P', 'R'});
    AppendLittleEndian(out, n, 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> Gzip(std::span<const uint8_t> bytes, int level)
{
    if (level < Z_DEFAULT_COMPRESSION || level > Z_BEST_COMPRESSION)
        throw Error("gzip level " + std::to_string(level) + " is not -1 or 0 to 9");
    z_stream z{};
    // Window bits 15 + 16 asks zlib for the gzip wrapper rather than the zlib one.
    if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw Error("zlib cannot start a gzip stream");

    std::vector<uint8_t> out;
    uint8_t chunk[65536];
    size_t fed = 0;
    int status = Z_OK;
    do
    {
        // zlib counts input in uInt, so large inputs go in in pieces.
        if (z.avail_in == 0 && fed < bytes.size())
        {
            size_t piece = std::min<size_t>(bytes.size() - fed, UINT_MAX);
            z.next_in = const_cast<Bytef*>(bytes.data() + fed);
            z.avail_in = static_cast<uInt>(piece);
            fed += piece;
        }
        int flush = fed == bytes.size() ? Z_FINISH : Z_NO_FLUSH;
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        status = deflate(&z, flush);
        if (status == Z_STREAM_ERROR)
            break;
        out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    } while (status != Z_STREAM_END);
    deflateEnd(&z);
    if (status != Z_STREAM_END)
        throw Error("zlib failed while compressing");
    return out;
}

void WriteDkprFile(const std::filesystem::path& path, std::span<const uint8_t> data,
                   bool compressed)
{
    std::vector<uint8_t> wrapped;
    try
    {
        wrapped = DkprWrap(data);
        if (compressed)
            wrapped = Gzip(wrapped);
    }
    catch (const Error& e)
    {
        throw Error(path.string() + ": " + e.what());
    }
    WriteFileAtomically(path, wrapped);
}

} // namespace datakit
