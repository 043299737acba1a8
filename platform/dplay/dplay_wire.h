// The frames the transport's machines exchange, in explicit little-endian layouts, and the
// bounds-checked reader every received frame goes through.
//
// Frame: 0 magic, 4 kind (16-bit), 6 version (16-bit), 8 body length, 12 body. A frame whose
// body length is not exactly the bytes that follow the header is dropped, and so is one whose
// body does not have its kind's exact size.
//
// Records inside bodies:
//   session record (130): the 80-byte session description (dplay.h), then the name char[50]
//   player record (108):  0 id, 4 flags (1: created on the host's machine), 8 short name
//                         char[50], 58 long name char[50]
//
// Bodies:
//   Query (134)         0 nonce, 4 application GUID (GUID_NULL: any), 20 zero padding:
//                       raw UDP to the port, as large as its reply so that a forged source
//                       address cannot draw more bytes than it sends
//   QueryReply (134)    0 nonce, 4 session record                     raw UDP back
//   Join (16)           0 instance GUID
//   JoinAccept          0 session record, 130 player count n (<= DP_MAX_PLAYERS),
//                       134 n player records
//   JoinRefuse (4)      0 result code
//   CreatePlayer (104)  0 request number, 4 short name char[50], 54 long name char[50]
//   PlayerCreated (116) 0 request number, 4 result code, 8 player record
//   PlayerAdded (108)   0 player record
//   DestroyPlayer (4)   0 player id
//   PlayerRemoved (4)   0 player id
//   SessionDesc (130)   0 session record
//   Data                0 from, 4 to, 8 send flags, 12 size n (<= DP_MAX_MESSAGE_SIZE),
//                       16 n bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dplay/dplay.h"

namespace dpwire
{

constexpr uint32_t kMagic = 0x50445A44u; // "DZDP"
constexpr uint16_t kVersion = 1;

constexpr size_t kHeaderMagic = 0;
constexpr size_t kHeaderKind = 4;
constexpr size_t kHeaderVersion = 6;
constexpr size_t kHeaderBodyLength = 8;
constexpr size_t kHeaderSize = 12;
static_assert(kHeaderBodyLength + 4 == kHeaderSize);

enum Kind : uint16_t
{
    kQuery = 1,
    kQueryReply,
    kJoin,
    kJoinAccept,
    kJoinRefuse,
    kCreatePlayer,
    kPlayerCreated,
    kPlayerAdded,
    kDestroyPlayer,
    kPlayerRemoved,
    kSessionDesc,
    kData,
};

constexpr size_t kGuidSize = 16;
constexpr size_t kDescSize = DPSESSIONDESC2_SIZE_32;
constexpr size_t kSessionRecordSize = kDescSize + DP_NAME_FIELD;
constexpr size_t kPlayerId = 0;
constexpr size_t kPlayerFlags = 4;
constexpr size_t kPlayerShortName = 8;
constexpr size_t kPlayerLongName = kPlayerShortName + DP_NAME_FIELD;
constexpr size_t kPlayerRecordSize = kPlayerLongName + DP_NAME_FIELD;
constexpr uint32_t kPlayerOnHost = 1;

constexpr size_t kQueryReplySize = 4 + kSessionRecordSize;
constexpr size_t kQueryFields = 4 + kGuidSize;
constexpr size_t kQuerySize = kQueryReplySize;
constexpr size_t kJoinSize = kGuidSize;
constexpr size_t kJoinAcceptFixed = kSessionRecordSize + 4;
constexpr size_t kJoinRefuseSize = 4;
constexpr size_t kCreatePlayerSize = 4 + 2 * DP_NAME_FIELD;
constexpr size_t kPlayerCreatedSize = 8 + kPlayerRecordSize;
constexpr size_t kPlayerIdSize = 4;
constexpr size_t kDataFixed = 16;

static_assert(kSessionRecordSize == 130);
static_assert(kPlayerRecordSize == 108);
static_assert(kQuerySize == 134 && kQueryFields <= kQuerySize);
static_assert(kQueryReplySize == 134);
static_assert(kCreatePlayerSize == 104);
static_assert(kPlayerCreatedSize == 116);
// The largest frame: a data message of the largest size.
constexpr size_t kMaxFrame = kHeaderSize + kDataFixed + DP_MAX_MESSAGE_SIZE;

class Writer
{
public:
    explicit Writer(Kind kind)
    {
        U32(kMagic);
        U16(kind);
        U16(kVersion);
        U32(0); // body length, set by Frame()
    }
    void U16(uint16_t v)
    {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Guid(const GUID& g)
    {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        Bytes(g.Data4, 8);
    }
    // A 50-byte name field: at most 49 characters, zero-filled.
    void Name(const std::string& name)
    {
        size_t n = name.size() < DP_NAME_FIELD - 1 ? name.size() : DP_NAME_FIELD - 1;
        Bytes(name.data(), n);
        bytes_.insert(bytes_.end(), DP_NAME_FIELD - n, 0);
    }
    void Bytes(const void* p, size_t n)
    {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    std::vector<uint8_t> Frame()
    {
        uint32_t body = static_cast<uint32_t>(bytes_.size() - kHeaderSize);
        for (int i = 0; i < 4; ++i)
            bytes_[kHeaderBodyLength + i] = static_cast<uint8_t>(body >> (8 * i));
        return bytes_;
    }

private:
    std::vector<uint8_t> bytes_;
};

// Reads a body front to back; any read past its end fails and marks the reader bad, and
// later reads yield zeros.
class Reader
{
public:
    Reader() = default;
    Reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool Ok() const { return ok_; }
    size_t Left() const { return ok_ ? n_ - at_ : 0; }
    bool Take(size_t n)
    {
        if (!ok_ || n > n_ - at_)
        {
            ok_ = false;
            return false;
        }
        at_ += n;
        return true;
    }
    uint16_t U16()
    {
        if (!Take(2))
            return 0;
        return static_cast<uint16_t>(p_[at_ - 2] | p_[at_ - 1] << 8);
    }
    uint32_t U32()
    {
        if (!Take(4))
            return 0;
        const uint8_t* b = p_ + at_ - 4;
        return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    }
    GUID Guid()
    {
        GUID g{};
        g.Data1 = U32();
        g.Data2 = U16();
        g.Data3 = U16();
        if (Take(8))
            std::memcpy(g.Data4, p_ + at_ - 8, 8);
        return g;
    }
    // A 50-byte name field; a name without its terminator keeps its first 49 characters.
    std::string Name()
    {
        if (!Take(DP_NAME_FIELD))
            return std::string();
        const char* s = reinterpret_cast<const char*>(p_ + at_ - DP_NAME_FIELD);
        return std::string(s, strnlen(s, DP_NAME_FIELD - 1));
    }
    const uint8_t* Bytes(size_t n)
    {
        if (!Take(n))
            return nullptr;
        return p_ + at_ - n;
    }

private:
    const uint8_t* p_ = nullptr;
    size_t n_ = 0;
    size_t at_ = 0;
    bool ok_ = true;
};

// Checks a frame's header against the bytes received; on success gives its kind and a reader
// over exactly its body.
inline bool OpenFrame(const uint8_t* p, size_t n, Kind* kind, Reader* body)
{
    if (p == nullptr || n < kHeaderSize || n > kMaxFrame)
        return false;
    Reader header(p, kHeaderSize);
    uint32_t magic = header.U32();
    uint16_t k = header.U16();
    uint16_t version = header.U16();
    uint32_t length = header.U32();
    if (magic != kMagic || version != kVersion || length != n - kHeaderSize)
        return false;
    if (k < kQuery || k > kData)
        return false;
    *kind = static_cast<Kind>(k);
    *body = Reader(p + kHeaderSize, length);
    return true;
}

// The session description in its 80-byte layout; the pointers go as 0.
inline void PutDesc(Writer& w, const DPSESSIONDESC2& d)
{
    uint8_t bytes[kDescSize];
    DpWriteSessionDesc(&d, bytes);
    w.Bytes(bytes, kDescSize);
}

} // namespace dpwire
