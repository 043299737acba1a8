// The span pipeline: see d3d_span.h.

#include "platform/d3d/d3d_span.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace d3dspan
{

constexpr int kChunk = 64; // pixels per span chunk

struct Scratch
{
    uint8_t mask[kChunk + 8]; // the eight past a chunk's end are 0 (see DepthStage)
    uint16_t z[kChunk];
    uint32_t argb[kChunk];                  // shaded colour
    alignas(16) float u[kChunk], v[kChunk]; // texture coordinates
};

namespace
{

// A fixed-point start or step the stages read only where Used, else 0.
template <bool Used> inline int64_t FixStart(const Chunk& c, int f)
{
    if constexpr (Used)
        return c.fixStart[f];
    else
        return 0;
}
template <bool Used> inline int64_t FixStep(const Chunk& c, int f)
{
    if constexpr (Used)
        return c.fixStep[f];
    else
        return 0;
}

inline int64_t ToFixed(float v, double scale)
{
    double d = static_cast<double>(v) * scale * 65536.0;
    if (!(d > -1e15)) // also NaN
        return static_cast<int64_t>(-1e15);
    return static_cast<int64_t>(d < 1e15 ? d : 1e15);
}

inline uint32_t Clamp255(int64_t v)
{
    return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Texel coordinates clamp in float first: a NaN or huge value from bad vertices must not reach
// an integer cast.
inline int TexelIndex(float t, int size)
{
    if (!(t > 0.0f))
        return 0;
    const float max = static_cast<float>(size - 1);
    return t >= max ? size - 1 : static_cast<int>(t);
}

// floor() of a value known to be in int range, without a library call.
inline int Floor(float v)
{
    const int i = static_cast<int>(v);
    return v < static_cast<float>(i) ? i - 1 : i;
}

// Whether fixed-point interpolant f stays in 0..(limit << 16) - 1 from the chunk's first pixel to
// its last: then it needs no clamping and fits unsigned 32-bit lanes (it is linear along the
// chunk).
inline bool FixInRange(const Chunk& c, int f, int64_t limit)
{
    const int64_t first = c.fixStart[f];
    const int64_t last = first + c.fixStep[f] * (c.n - 1);
    const int64_t end = limit << 16;
    return first >= 0 && first < end && last >= 0 && last < end;
}

#if defined(__SSE2__)
// The low 32 bits of start + step * k for k = 0..7 in two registers of four lanes, and of
// step * 8: 32-bit arithmetic wraps as the low bits of the 64-bit values do.
inline void LinearLanes(int64_t start, int64_t step, __m128i& lo, __m128i& hi, __m128i& step8)
{
    const uint32_t s = static_cast<uint32_t>(step);
    lo = _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(start))),
                       _mm_set_epi32(static_cast<int32_t>(3 * s), static_cast<int32_t>(2 * s),
                                     static_cast<int32_t>(s), 0));
    hi = _mm_add_epi32(lo, _mm_set1_epi32(static_cast<int32_t>(4 * s)));
    step8 = _mm_set1_epi32(static_cast<int32_t>(8 * s));
}
#endif

// Depth stage: returns how many pixels of the chunk passed, so that a chunk hidden entirely
// costs no shading.
template <bool ZTest> int DepthStage(const D3dRasterState& rs, const Chunk& c, Scratch& s)
{
    const uint16_t* zrow = nullptr;
    if constexpr (ZTest)
        zrow = reinterpret_cast<const uint16_t*>(DdRow(*rs.zbuffer, c.y)) + c.x;
    const int n = c.n;
    int passed = 0;
    int i = 0;
#if defined(__SSE2__)
    // Eight pixels at a time while the depth needs no clamping; a last part-block too if the
    // row has room for all eight (the lanes past the chunk pass nothing).
    int blocks = n & ~7;
    if (!ZTest || static_cast<DWORD>(c.x + ((n + 7) & ~7)) <= rs.zbuffer->width)
        blocks = (n + 7) & ~7;
    if (blocks != 0 && (c.inRange & kZInRange))
    {
        const __m128i lanes = _mm_set_epi16(7, 6, 5, 4, 3, 2, 1, 0);
        const int64_t d0 = c.fixStart[kFixZ], dd = c.fixStep[kFixZ];
        __m128i lo, hi, step8;
        LinearLanes(d0, dd, lo, hi, step8);
        const __m128i bias32 = _mm_set1_epi32(32768);
        const __m128i bias16 = _mm_set1_epi16(-32768);
        const __m128i one = _mm_set1_epi8(1);
        for (; i < blocks; i += 8)
        {
            // Depths 0..65535 less 32768, as signed 16-bit lanes.
            const __m128i z = _mm_packs_epi32(_mm_sub_epi32(_mm_srli_epi32(lo, 16), bias32),
                                              _mm_sub_epi32(_mm_srli_epi32(hi, 16), bias32));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(s.z + i), _mm_xor_si128(z, bias16));
            __m128i pass = _mm_cmpgt_epi16(_mm_set1_epi16(static_cast<int16_t>(n - i)), lanes);
            if constexpr (ZTest)
            {
                const __m128i stored = _mm_xor_si128(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(zrow + i)), bias16);
                pass = _mm_andnot_si128(_mm_cmpgt_epi16(z, stored), pass);
            }
            const __m128i bytes = _mm_packs_epi16(pass, pass);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(s.mask + i), _mm_and_si128(bytes, one));
            // The passed pixels of the eight (the low eight bytes, each 1 or 0) summed.
            passed +=
                _mm_cvtsi128_si32(_mm_sad_epu8(_mm_and_si128(bytes, one), _mm_setzero_si128()));
            lo = _mm_add_epi32(lo, step8);
            hi = _mm_add_epi32(hi, step8);
        }
    }
#endif
    // (start + i * step) >> 16, then by a running sum: the same integers without a multiply.
    int64_t d = c.fixStart[kFixZ] + c.fixStep[kFixZ] * i;
    const int64_t dd = c.fixStep[kFixZ];
    for (; i < n; ++i, d += dd)
    {
        const int64_t v = d >> 16;
        const uint16_t z = static_cast<uint16_t>(v < 0 ? 0 : (v > 65535 ? 65535 : v));
        s.z[i] = z;
        uint8_t m = 1;
        if constexpr (ZTest)
            m = z <= zrow[i];
        s.mask[i] = m;
        passed += m;
    }
    // The stages after work in blocks of four or eight: the pixels past the end are never drawn.
    std::memset(s.mask + n, 0, 8);
    return passed;
}

// Shade stage.
enum class Tex
{
    None,
    Nearest,
    Bilinear
};

inline uint32_t Lerp2(uint32_t a, uint32_t b, uint32_t f) // f in 0..256
{
    uint32_t rb = ((a & 0x00FF00FFu) * (256 - f) + (b & 0x00FF00FFu) * f) >> 8;
    uint32_t ag = (((a >> 8) & 0x00FF00FFu) * (256 - f) + ((b >> 8) & 0x00FF00FFu) * f) >> 8;
    return (rb & 0x00FF00FFu) | ((ag & 0x00FF00FFu) << 8);
}

// A texture as the span loops read it, held in locals so that stores to the scratch arrays do
// not force it to be read again for every pixel.
struct TexView
{
    const uint32_t* argb = nullptr;
    const uint8_t* keyed = nullptr;
    int width = 0, height = 0, stride = 0;
    float fw = 0, fh = 0;
    explicit TexView(const D3dTextureImage* t)
    {
        if (t == nullptr)
            return;
        argb = t->argb.data();
        keyed = t->keyed.data();
        width = t->width, height = t->height, stride = t->stride;
        fw = static_cast<float>(width), fh = static_cast<float>(height);
    }
};

inline size_t NearestAt(const TexView& t, float u, float v)
{
    const int tx = TexelIndex(u * t.fw, t.width);
    const int ty = TexelIndex(v * t.fh, t.height);
    return static_cast<size_t>(ty) * static_cast<size_t>(t.stride) + static_cast<size_t>(tx);
}

template <bool Key> inline bool FetchNearest(const TexView& t, float u, float v, uint32_t& texel)
{
    const size_t at = NearestAt(t, u, v);
    if constexpr (Key)
        if (t.keyed[at])
            return false;
    texel = t.argb[at];
    return true;
}

template <bool Key> inline bool FetchBilinear(const TexView& t, float u, float v, uint32_t& texel)
{
    if constexpr (Key)
        // The key is tested on the nearest texel, so keyed edges stay where they were drawn.
        if (t.keyed[NearestAt(t, u, v)])
            return false;
    // Clamped addressing: outside the texture the edge texels repeat.
    const float fu = std::clamp(u * t.fw - 0.5f, -1.0f, t.fw);
    const float fv = std::clamp(v * t.fh - 0.5f, -1.0f, t.fh);
    if (!(fu == fu) || !(fv == fv))
        return false;
    const int iu = Floor(fu), iv = Floor(fv);
    const uint32_t wu = static_cast<uint32_t>((fu - static_cast<float>(iu)) * 256.0f);
    const uint32_t wv = static_cast<uint32_t>((fv - static_cast<float>(iv)) * 256.0f);
    // fu lies in -1..width, so iu in -1..width: only the ends need clamping.
    const int x0 = iu < 0 ? 0 : (iu > t.width - 1 ? t.width - 1 : iu);
    const int x1 = iu + 1 > t.width - 1 ? t.width - 1 : iu + 1;
    const int y0 = iv < 0 ? 0 : (iv > t.height - 1 ? t.height - 1 : iv);
    const int y1 = iv + 1 > t.height - 1 ? t.height - 1 : iv + 1;
    const uint32_t* r0 = t.argb + static_cast<size_t>(y0) * static_cast<size_t>(t.stride);
    const uint32_t* r1 = t.argb + static_cast<size_t>(y1) * static_cast<size_t>(t.stride);
    texel = Lerp2(Lerp2(r0[x0], r0[x1], wu), Lerp2(r1[x0], r1[x1], wu), wv);
    return true;
}

inline uint32_t Mul8(uint32_t a, uint32_t b)
{
    return (a * b + 127) / 255;
}

// The shade stage one pixel at a time in plain integers: any colour values.
template <Tex T, D3dTexBlend TB, bool Key>
void ShadeScalar(const D3dRasterState& rs, const Chunk& c, Scratch& s)
{
    const int n = c.n;
    [[maybe_unused]] const TexView tex(rs.texture);
    constexpr bool kColour = T == Tex::None || TB != D3dTexBlend::Copy;
    int64_t r = FixStart<kColour>(c, kFixR), g = FixStart<kColour>(c, kFixG),
            b = FixStart<kColour>(c, kFixB), a = FixStart<kColour>(c, kFixA);
    const int64_t dr = FixStep<kColour>(c, kFixR), dg = FixStep<kColour>(c, kFixG),
                  db = FixStep<kColour>(c, kFixB), da = FixStep<kColour>(c, kFixA);
    for (int i = 0; i < n; ++i, r += dr, g += dg, b += db, a += da)
    {
        if (!s.mask[i])
            continue;
        uint32_t cr = Clamp255(r >> 16);
        uint32_t cg = Clamp255(g >> 16);
        uint32_t cb = Clamp255(b >> 16);
        uint32_t ca = Clamp255(a >> 16);
        if constexpr (T != Tex::None)
        {
            uint32_t t = 0;
            const bool drawn = T == Tex::Nearest ? FetchNearest<Key>(tex, s.u[i], s.v[i], t)
                                                 : FetchBilinear<Key>(tex, s.u[i], s.v[i], t);
            if (!drawn)
            {
                s.mask[i] = 0;
                continue;
            }
            const uint32_t tr = (t >> 16) & 0xFF, tg = (t >> 8) & 0xFF, tb = t & 0xFF, ta = t >> 24;
            if constexpr (TB == D3dTexBlend::Copy)
            {
                cr = tr, cg = tg, cb = tb, ca = ta;
            }
            else
            {
                cr = Mul8(cr, tr), cg = Mul8(cg, tg), cb = Mul8(cb, tb);
                ca = TB == D3dTexBlend::ModulateAlpha ? Mul8(ca, ta) : ta;
            }
        }
        s.argb[i] = ca << 24 | cr << 16 | cg << 8 | cb;
    }
}

#if defined(__SSE2__)
// y / 255 of 16-bit lanes y, by the reciprocal: (y * 0x8081) >> 23 is exact for every y
// below 65536.
inline __m128i Div255Exact(__m128i y)
{
    return _mm_srli_epi16(_mm_mulhi_epu16(y, _mm_set1_epi16(static_cast<int16_t>(0x8081))), 7);
}

// (x + 127) / 255 of each 16-bit lane x = a * b, a and b at most 255.
inline __m128i Mul8Lanes(__m128i a, __m128i b)
{
    return Div255Exact(_mm_add_epi16(_mm_mullo_epi16(a, b), _mm_set1_epi16(127)));
}

// A chunk's colour starts, or steps, as 32-bit lanes in the order of a pixel's bytes: blue,
// green, red, alpha.
template <bool Used> inline __m128i ColourStartLanes(const Chunk& c)
{
    return _mm_set_epi32(static_cast<int32_t>(FixStart<Used>(c, kFixA)),
                         static_cast<int32_t>(FixStart<Used>(c, kFixR)),
                         static_cast<int32_t>(FixStart<Used>(c, kFixG)),
                         static_cast<int32_t>(FixStart<Used>(c, kFixB)));
}
template <bool Used> inline __m128i ColourStepLanes(const Chunk& c)
{
    return _mm_set_epi32(static_cast<int32_t>(FixStep<Used>(c, kFixA)),
                         static_cast<int32_t>(FixStep<Used>(c, kFixR)),
                         static_cast<int32_t>(FixStep<Used>(c, kFixG)),
                         static_cast<int32_t>(FixStep<Used>(c, kFixB)));
}

// (a * (256 - f) + b * f) >> 8 per lane; the sum is below 65536, so 16-bit lanes hold it.
inline __m128i LerpLanes(__m128i a, __m128i b, __m128i f)
{
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(a, _mm_sub_epi16(_mm_set1_epi16(256), f)),
                                        _mm_mullo_epi16(b, f)),
                          8);
}

// The key is tested on the nearest texel, so keyed edges stay where they were drawn.
inline void DropKeyedTexels(const TexView& tex, int n, Scratch& s)
{
    for (int i = 0; i < n; ++i)
        if (s.mask[i] && tex.keyed[NearestAt(tex, s.u[i], s.v[i])])
            s.mask[i] = 0;
}

// Texture coordinates of four pixels at a time, the values ShadeStage works out one at a time.
struct CoordLanes
{
    __m128 u0, du, v0, dv, q0, dq;

    explicit CoordLanes(const Chunk& c)
        : u0(_mm_set1_ps(c.start[kU])), du(_mm_set1_ps(c.step[kU])), v0(_mm_set1_ps(c.start[kV])),
          dv(_mm_set1_ps(c.step[kV])), q0(_mm_set1_ps(c.start[kQ])), dq(_mm_set1_ps(c.step[kQ]))
    {
    }

    template <bool Persp> void At(int i, __m128& u, __m128& v) const
    {
        const __m128 fi =
            _mm_cvtepi32_ps(_mm_add_epi32(_mm_set1_epi32(i), _mm_set_epi32(3, 2, 1, 0)));
        u = _mm_add_ps(u0, _mm_mul_ps(du, fi));
        v = _mm_add_ps(v0, _mm_mul_ps(dv, fi));
        if constexpr (Persp)
        {
            const __m128 q = _mm_div_ps(_mm_set1_ps(1.0f), _mm_add_ps(q0, _mm_mul_ps(dq, fi)));
            u = _mm_mul_ps(u, q);
            v = _mm_mul_ps(v, q);
        }
    }
};

// Where four pixels' texels lie: the index of each top-left texel (its right and lower
// neighbours follow in the image, see D3dTextureImage), and the weights across and down as
// 16-bit lanes, four a pixel: pixels 0 and 1, then 2 and 3.
struct BilinearTaps
{
    __m128i at0;
    __m128i wu[2], wv[2];
};

// Whether a texture's texel indices can be worked out by 16-bit multiplies (TapsAt).
inline bool SmallTexture(const D3dTextureImage& tex)
{
    return tex.stride < 32768 && tex.height < 32768;
}

// The taps of pixels i..i + 3 at coordinates u and v; pixels whose coordinates are NaN are
// dropped from the mask.
inline BilinearTaps TapsAt(const TexView& tex, __m128 u, __m128 v, Scratch& s, int i, int n)
{
    const __m128 half = _mm_set1_ps(0.5f), zero = _mm_setzero_ps(), scale = _mm_set1_ps(256.0f);
    __m128 fu = _mm_sub_ps(_mm_mul_ps(u, _mm_set1_ps(tex.fw)), half);
    __m128 fv = _mm_sub_ps(_mm_mul_ps(v, _mm_set1_ps(tex.fh)), half);
    const int nan = _mm_movemask_ps(_mm_cmpunord_ps(fu, fv));
    if (nan != 0)
        for (int k = 0; k < 4 && i + k < n; ++k)
            if (nan & (1 << k))
                s.mask[i + k] = 0;
    // Clamped addressing: outside the texture the edge texels repeat. Clamping to the texel
    // centres 0..size - 1 gives the texels the plain stage gives: its blend of a texel with
    // itself there equals this one's blend with weight 0. The values are then not negative, so
    // truncation floors them; in 8 fraction bits (an exact scaling) they give the texel in
    // their top bits and the weight in their low byte.
    fu = _mm_min_ps(_mm_max_ps(fu, zero), _mm_set1_ps(tex.fw - 1.0f));
    fv = _mm_min_ps(_mm_max_ps(fv, zero), _mm_set1_ps(tex.fh - 1.0f));
    const __m128i su = _mm_cvttps_epi32(_mm_mul_ps(fu, scale));
    const __m128i sv = _mm_cvttps_epi32(_mm_mul_ps(fv, scale));
    BilinearTaps t;
    // u + v * stride by one multiply-add of 16-bit pairs (u, v) and (1, stride).
    const __m128i uv =
        _mm_or_si128(_mm_srli_epi32(su, 8), _mm_slli_epi32(_mm_srli_epi32(sv, 8), 16));
    t.at0 = _mm_madd_epi16(uv, _mm_set1_epi32(tex.stride << 16 | 1));
    const __m128i byte = _mm_set1_epi32(0xFF);
    const __m128i w = _mm_packs_epi32(_mm_and_si128(su, byte), _mm_and_si128(sv, byte));
    const __m128i wu = _mm_unpacklo_epi16(w, w), wv = _mm_unpackhi_epi16(w, w);
    t.wu[0] = _mm_unpacklo_epi32(wu, wu);
    t.wu[1] = _mm_unpackhi_epi32(wu, wu);
    t.wv[0] = _mm_unpacklo_epi32(wv, wv);
    t.wv[1] = _mm_unpackhi_epi32(wv, wv);
    return t;
}

// The texel rows filtered across, for pixels 0 and 1, then 2 and 3: each pixel's four texels
// are two pairs side by side in memory, one row apart.
inline void FilterRows(const TexView& tex, const BilinearTaps& t, __m128i top[2], __m128i bottom[2])
{
    // The indices are not negative, so zero extension keeps them.
    const uint64_t at01 = static_cast<uint64_t>(_mm_cvtsi128_si64(t.at0));
    const uint64_t at23 =
        static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(t.at0, t.at0)));
    const uint32_t* const p[4] = {tex.argb + static_cast<uint32_t>(at01), tex.argb + (at01 >> 32),
                                  tex.argb + static_cast<uint32_t>(at23), tex.argb + (at23 >> 32)};
    const size_t down = static_cast<size_t>(tex.stride);
    const __m128i zero = _mm_setzero_si128();
    // A row's two texels of two pixels by two loads: a0 b0 a1 b1.
    auto row = [&](const uint32_t* a, const uint32_t* b, __m128i w)
    {
        const __m128i both =
            _mm_unpacklo_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)));
        return LerpLanes(_mm_unpacklo_epi8(both, zero), _mm_unpackhi_epi8(both, zero), w);
    };
    for (int h = 0; h < 2; ++h)
    {
        const uint32_t* a = p[2 * h];
        const uint32_t* b = p[2 * h + 1];
        top[h] = row(a, b, t.wu[h]);
        bottom[h] = row(a + down, b + down, t.wu[h]);
    }
}

// Filters the rows down, blends with the vertex colour (colourEven and colourOdd: pixels 0
// and 1 of the four) and stores the four pixels.
template <D3dTexBlend TB>
inline void BlendBilinear(const __m128i top[2], const __m128i bottom[2], const __m128i wv[2],
                          __m128i colourEven, __m128i colourOdd, __m128i colourStep2, uint32_t* out)
{
    // The texel's own alpha (lanes 3 and 7) for MODULATE.
    const __m128i alphaLanes = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
    for (int h = 0; h < 2; ++h)
    {
        const __m128i texel = LerpLanes(top[h], bottom[h], wv[h]);
        __m128i px = texel;
        if constexpr (TB != D3dTexBlend::Copy)
        {
            const __m128i even = h == 0 ? colourEven : _mm_add_epi32(colourEven, colourStep2);
            const __m128i odd = h == 0 ? colourOdd : _mm_add_epi32(colourOdd, colourStep2);
            px = Mul8Lanes(_mm_packs_epi32(_mm_srai_epi32(even, 16), _mm_srai_epi32(odd, 16)),
                           texel);
            if constexpr (TB == D3dTexBlend::Modulate)
                px = _mm_or_si128(_mm_andnot_si128(alphaLanes, px),
                                  _mm_and_si128(alphaLanes, texel));
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 2 * h), _mm_packus_epi16(px, px));
    }
}

// The bilinear shade stage with SSE2 for chunks whose colours are in range, four pixels at a
// time: coordinates, texel indices and weights in 32-bit lanes, then the filter and the texture
// blend on two pixels' channels at once. Every step gives the integers the plain stage gives.
// With Key the coordinates are taken from the scratch arrays, else worked out here as
// ShadeStage works them out.
template <D3dTexBlend TB, bool Persp, bool Key>
void ShadeBilinearSimd(const D3dRasterState& rs, const Chunk& c, Scratch& s)
{
    const int n = c.n;
    const TexView tex(rs.texture);
    if constexpr (Key)
        DropKeyedTexels(tex, n, s);
    // Colour lanes for an even pixel and for the odd pixel after it.
    constexpr bool kColour = TB != D3dTexBlend::Copy;
    const __m128i colourStep = ColourStepLanes<kColour>(c);
    const __m128i colourStep2 = _mm_add_epi32(colourStep, colourStep);
    const __m128i colourStep4 = _mm_add_epi32(colourStep2, colourStep2);
    __m128i colourEven = ColourStartLanes<kColour>(c);
    __m128i colourOdd = _mm_add_epi32(colourEven, colourStep);
    [[maybe_unused]] const CoordLanes coords(c);
    // Lanes past the chunk's end have mask 0 (see ShadeStage): their texel indices are clamped
    // like any others and their results are not used.
    for (int i = 0; i < n; i += 4, colourEven = _mm_add_epi32(colourEven, colourStep4),
             colourOdd = _mm_add_epi32(colourOdd, colourStep4))
    {
        uint32_t drawn;
        std::memcpy(&drawn, s.mask + i, 4);
        if (drawn == 0)
            continue;
        __m128 u, v;
        if constexpr (Key)
        {
            u = _mm_load_ps(s.u + i);
            v = _mm_load_ps(s.v + i);
        }
        else
        {
            coords.At<Persp>(i, u, v);
        }
        const BilinearTaps taps = TapsAt(tex, u, v, s, i, n);
        __m128i top[2], bottom[2];
        FilterRows(tex, taps, top, bottom);
        BlendBilinear<TB>(top, bottom, taps.wv, colourEven, colourOdd, colourStep2, s.argb + i);
    }
}

// The shade stage with SSE2 for nearest texels and chunks whose colours are in range: the
// texture blend on a pixel's four channels at once. Every step gives the integers the plain
// stage gives.
template <D3dTexBlend TB, bool Key>
void ShadeSimd(const D3dRasterState& rs, const Chunk& c, Scratch& s)
{
    const int n = c.n;
    const TexView tex(rs.texture);
    const __m128i zero = _mm_setzero_si128();
    __m128i colour = ColourStartLanes<TB != D3dTexBlend::Copy>(c);
    const __m128i colourStep = ColourStepLanes<TB != D3dTexBlend::Copy>(c);
    for (int i = 0; i < n; ++i, colour = _mm_add_epi32(colour, colourStep))
    {
        if (!s.mask[i])
            continue;
        const size_t at = NearestAt(tex, s.u[i], s.v[i]);
        if constexpr (Key)
            if (tex.keyed[at])
            {
                s.mask[i] = 0;
                continue;
            }
        const __m128i texel =
            _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(tex.argb[at])), zero);
        __m128i out = texel;
        if constexpr (TB != D3dTexBlend::Copy)
        {
            const __m128i vertex = _mm_srai_epi32(colour, 16);
            out = Mul8Lanes(_mm_packs_epi32(vertex, vertex), texel);
            if constexpr (TB == D3dTexBlend::Modulate)
            {
                // The texel's own alpha (lane 3).
                const __m128i alphaLane = _mm_set_epi16(0, 0, 0, 0, -1, 0, 0, 0);
                out =
                    _mm_or_si128(_mm_andnot_si128(alphaLane, out), _mm_and_si128(alphaLane, texel));
            }
        }
        s.argb[i] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(out, out)));
    }
}
#endif

template <Tex T, bool Persp, D3dTexBlend TB, bool Key>
void ShadeStage(const D3dRasterState& rs, const Chunk& c, Scratch& s)
{
    const int n = c.n;
#if defined(__SSE2__)
    if constexpr (T == Tex::Bilinear && !Key)
        if ((TB == D3dTexBlend::Copy || (c.inRange & kColoursInRange)) && SmallTexture(*rs.texture))
        {
            ShadeBilinearSimd<TB, Persp, false>(rs, c, s);
            return;
        }
#endif
    // Texture coordinates first, in a loop of their own that the compiler can vectorise; the
    // values are those of start + i * step, divided by q, exactly as one pixel at a time.
    if constexpr (T != Tex::None)
    {
        const float u0 = c.start[kU], du = c.step[kU];
        const float v0 = c.start[kV], dv = c.step[kV];
        [[maybe_unused]] const float q0 = c.start[kQ], dq = c.step[kQ];
        for (int i = 0; i < n; ++i)
        {
            const float fi = static_cast<float>(i);
            float u = u0 + du * fi, v = v0 + dv * fi;
            if constexpr (Persp)
            {
                const float q = 1.0f / (q0 + dq * fi);
                u *= q;
                v *= q;
            }
            s.u[i] = u;
            s.v[i] = v;
        }
#if defined(__SSE2__)
        for (int i = n; i % 4 != 0; ++i)
            s.u[i] = s.v[i] = 0.0f;
        if (TB == D3dTexBlend::Copy || (c.inRange & kColoursInRange))
        {
            if constexpr (T == Tex::Bilinear)
            {
                if (SmallTexture(*rs.texture))
                {
                    ShadeBilinearSimd<TB, Persp, Key>(rs, c, s);
                    return;
                }
            }
            else
            {
                ShadeSimd<TB, Key>(rs, c, s);
                return;
            }
        }
#endif
    }
    ShadeScalar<T, TB, Key>(rs, c, s);
}

// Output stage.
template <D3dTarget F> inline uint32_t ReadRgb(const D3dRasterState& rs, const uint8_t* p)
{
    if constexpr (F == D3dTarget::Palette8)
    {
        const PALETTEENTRY& e = rs.palette[*p];
        return static_cast<uint32_t>(e.peRed) << 16 | static_cast<uint32_t>(e.peGreen) << 8 |
               e.peBlue;
    }
    else
    {
        uint16_t px;
        std::memcpy(&px, p, 2);
        uint32_t r, g, b;
        if constexpr (F == D3dTarget::Rgb565)
        {
            r = (px >> 11) & 31, g = (px >> 5) & 63, b = px & 31;
            g = (g << 2) | (g >> 4);
        }
        else
        {
            r = (px >> 10) & 31, g = (px >> 5) & 31, b = px & 31;
            g = (g << 3) | (g >> 2);
        }
        r = (r << 3) | (r >> 2);
        b = (b << 3) | (b >> 2);
        return r << 16 | g << 8 | b;
    }
}

template <D3dTarget F>
inline void WriteRgb(const D3dRasterState& rs, uint8_t* p, uint32_t r, uint32_t g, uint32_t b)
{
    if constexpr (F == D3dTarget::Palette8)
        *p = rs.ramp[(r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)];
    else
    {
        uint16_t px = F == D3dTarget::Rgb565
                          ? static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3))
                          : static_cast<uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
        std::memcpy(p, &px, 2);
    }
}

// A 4x4 ordered pattern: a pixel of alpha a is drawn where its cell is below a / 16.
constexpr uint8_t kStipple[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

#if defined(__SSE2__)
// (x + 127) / 255 of 16-bit lanes holding x <= 255 * 255.
inline __m128i Div255Lanes(__m128i x)
{
    return Div255Exact(_mm_add_epi16(x, _mm_set1_epi16(127)));
}

// One 8-bit channel of eight 0xAARRGGBB pixels as 16-bit lanes.
inline __m128i ChannelLanes(__m128i p0, __m128i p1, int shift)
{
    const __m128i ff = _mm_set1_epi32(0xFF);
    return _mm_packs_epi32(_mm_and_si128(_mm_srl_epi32(p0, _mm_cvtsi32_si128(shift)), ff),
                           _mm_and_si128(_mm_srl_epi32(p1, _mm_cvtsi32_si128(shift)), ff));
}

// The red, green and blue channels of eight pixels, 0..255 in 16-bit lanes.
struct RgbLanes
{
    __m128i r, g, b;
};

// The channels of eight 0xAARRGGBB pixels.
inline RgbLanes ColourLanes(__m128i p0, __m128i p1)
{
    return {ChannelLanes(p0, p1, 16), ChannelLanes(p0, p1, 8), ChannelLanes(p0, p1, 0)};
}

// Lanes set for the pixels of i..i + 7 the target keeps: those past the chunk's end, and those
// the mask leaves out.
inline __m128i KeepLanes(const Scratch& s, int i, int n)
{
    const __m128i lanes = _mm_set_epi16(7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i zero = _mm_setzero_si128();
    const __m128i past = _mm_cmpgt_epi16(lanes, _mm_set1_epi16(static_cast<int16_t>(n - i - 1)));
    return _mm_or_si128(
        past,
        _mm_cmpeq_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s.mask + i)), zero),
            zero));
}

// (c * w + other * (255 - w) + 127) / 255 of each channel: fog, or the alpha blend.
inline void MixLanes(RgbLanes& c, __m128i w, const RgbLanes& other)
{
    const __m128i nw = _mm_sub_epi16(_mm_set1_epi16(255), w);
    c.r = Div255Lanes(_mm_add_epi16(_mm_mullo_epi16(c.r, w), _mm_mullo_epi16(other.r, nw)));
    c.g = Div255Lanes(_mm_add_epi16(_mm_mullo_epi16(c.g, w), _mm_mullo_epi16(other.g, nw)));
    c.b = Div255Lanes(_mm_add_epi16(_mm_mullo_epi16(c.b, w), _mm_mullo_epi16(other.b, nw)));
}

// Eight 16-bit target pixels widened to 8-bit channels, as ReadRgb widens one.
template <D3dTarget F> inline RgbLanes UnpackTargetLanes(__m128i px)
{
    RgbLanes c;
    if constexpr (F == D3dTarget::Rgb565)
    {
        c.r = _mm_and_si128(_mm_srli_epi16(px, 11), _mm_set1_epi16(31));
        c.g = _mm_and_si128(_mm_srli_epi16(px, 5), _mm_set1_epi16(63));
        c.g = _mm_or_si128(_mm_slli_epi16(c.g, 2), _mm_srli_epi16(c.g, 4));
    }
    else
    {
        c.r = _mm_and_si128(_mm_srli_epi16(px, 10), _mm_set1_epi16(31));
        c.g = _mm_and_si128(_mm_srli_epi16(px, 5), _mm_set1_epi16(31));
        c.g = _mm_or_si128(_mm_slli_epi16(c.g, 3), _mm_srli_epi16(c.g, 2));
    }
    c.b = _mm_and_si128(px, _mm_set1_epi16(31));
    c.r = _mm_or_si128(_mm_slli_epi16(c.r, 3), _mm_srli_epi16(c.r, 2));
    c.b = _mm_or_si128(_mm_slli_epi16(c.b, 3), _mm_srli_epi16(c.b, 2));
    return c;
}

// Eight pixels packed in the target's 16-bit format, as WriteRgb packs one.
template <D3dTarget F> inline __m128i PackTargetLanes(const RgbLanes& c)
{
    if constexpr (F == D3dTarget::Rgb565)
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_srli_epi16(c.r, 3), 11),
                                         _mm_slli_epi16(_mm_srli_epi16(c.g, 2), 5)),
                            _mm_srli_epi16(c.b, 3));
    else
        return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_srli_epi16(c.r, 3), 10),
                                         _mm_slli_epi16(_mm_srli_epi16(c.g, 3), 5)),
                            _mm_srli_epi16(c.b, 3));
}

// old where keep is set, else drawn.
inline __m128i SelectLanes(__m128i keep, __m128i old, __m128i drawn)
{
    return _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, drawn));
}

// The output stage eight pixels at a time for 16-bit targets, no blend or the alpha blend,
// with or without fog; the same integers as one pixel at a time. Returns the pixels done (a
// multiple of eight; the rest are left to the plain loop).
template <bool Fog, D3dBlend B, bool ZWrite, D3dTarget F>
int OutputSimd(const D3dRasterState& rs, const Chunk& c, Scratch& s)
{
    const int n = c.n;
    // A last part-block is done the same way if the row has room for all eight: its lanes past
    // the chunk keep the pixels they hold (the row is this thread's alone).
    int blocks = n & ~7;
    if (static_cast<DWORD>(c.x + ((n + 7) & ~7)) <= rs.target->width)
        blocks = (n + 7) & ~7;
    if (blocks == 0)
        return 0;
    if constexpr (Fog)
        if (!(c.inRange & kFogInRange))
            return 0;
    auto* row = reinterpret_cast<uint16_t*>(DdRow(*rs.target, c.y)) + c.x;
    uint16_t* zrow = nullptr;
    if constexpr (ZWrite)
        zrow = reinterpret_cast<uint16_t*>(DdRow(*rs.zbuffer, c.y)) + c.x;
    const RgbLanes fogColour = {_mm_set1_epi16(static_cast<int16_t>((rs.fogColor >> 16) & 0xFF)),
                                _mm_set1_epi16(static_cast<int16_t>((rs.fogColor >> 8) & 0xFF)),
                                _mm_set1_epi16(static_cast<int16_t>(rs.fogColor & 0xFF))};
    const int64_t f0 = FixStart<Fog>(c, kFixFog), df = FixStep<Fog>(c, kFixFog);
    __m128i fogLo, fogHi, fogStep8;
    LinearLanes(f0, df, fogLo, fogHi, fogStep8);
    int i = 0;
    for (; i < blocks; i += 8)
    {
        const __m128i keep = KeepLanes(s, i, n);
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.argb + i));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.argb + i + 4));
        RgbLanes colour = ColourLanes(p0, p1);
        if constexpr (Fog)
        {
            MixLanes(colour, _mm_packs_epi32(_mm_srli_epi32(fogLo, 16), _mm_srli_epi32(fogHi, 16)),
                     fogColour);
            fogLo = _mm_add_epi32(fogLo, fogStep8);
            fogHi = _mm_add_epi32(fogHi, fogStep8);
        }
        const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        if constexpr (B == D3dBlend::SrcAlpha)
            MixLanes(colour, ChannelLanes(p0, p1, 24), UnpackTargetLanes<F>(old));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i),
                         SelectLanes(keep, old, PackTargetLanes<F>(colour)));
        if constexpr (ZWrite)
        {
            const __m128i oldZ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zrow + i));
            const __m128i z = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.z + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(zrow + i), SelectLanes(keep, oldZ, z));
        }
    }
    return std::min(i, n);
}
#endif

template <bool Fog, D3dBlend B, bool ZWrite, D3dTarget F>
void OutputStage(const D3dRasterState& rs, const Chunk& c, Scratch& s)
{
    constexpr size_t bpp = F == D3dTarget::Palette8 ? 1 : 2;
    uint8_t* row = DdRow(*rs.target, c.y) + static_cast<size_t>(c.x) * bpp;
    uint16_t* zrow = nullptr;
    if constexpr (ZWrite)
        zrow = reinterpret_cast<uint16_t*>(DdRow(*rs.zbuffer, c.y)) + c.x;
    const uint32_t fr = (rs.fogColor >> 16) & 0xFF, fg = (rs.fogColor >> 8) & 0xFF,
                   fb = rs.fogColor & 0xFF;
    [[maybe_unused]] const uint8_t* stipple = kStipple[c.y & 3];
    int i = 0;
#if defined(__SSE2__)
    if constexpr (F != D3dTarget::Palette8 && (B == D3dBlend::None || B == D3dBlend::SrcAlpha))
        i = OutputSimd<Fog, B, ZWrite, F>(rs, c, s);
#endif
    int64_t fog = FixStart<Fog>(c, kFixFog) + FixStep<Fog>(c, kFixFog) * i;
    const int64_t dfog = FixStep<Fog>(c, kFixFog);
    const int n = c.n;
    for (; i < n; ++i, fog += dfog)
    {
        if (!s.mask[i])
            continue;
        const uint32_t px = s.argb[i];
        uint32_t r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
        [[maybe_unused]] const uint32_t a = px >> 24;
        if constexpr (B == D3dBlend::Stipple)
        {
            if (((a * 16 + 128) >> 8) <= stipple[(c.x + i) & 3])
                continue;
        }
        if constexpr (Fog)
        {
            const uint32_t f = Clamp255(fog >> 16);
            r = (r * f + fr * (255 - f) + 127) / 255;
            g = (g * f + fg * (255 - f) + 127) / 255;
            b = (b * f + fb * (255 - f) + 127) / 255;
        }
        uint8_t* p = row + static_cast<size_t>(i) * bpp;
        if constexpr (B != D3dBlend::None && B != D3dBlend::Stipple)
        {
            const uint32_t d = ReadRgb<F>(rs, p);
            const uint32_t dr = (d >> 16) & 0xFF, dg = (d >> 8) & 0xFF, db = d & 0xFF;
            auto mix = [a](uint32_t sc, uint32_t dc) -> uint32_t
            {
                uint32_t v = 0;
                if constexpr (B == D3dBlend::SrcAlpha)
                    v = (sc * a + dc * (255 - a) + 127) / 255;
                else if constexpr (B == D3dBlend::Add)
                    v = sc + dc;
                else if constexpr (B == D3dBlend::InvSrcColorAdd)
                    v = Mul8(sc, 255 - sc) + dc;
                else
                    v = sc + Mul8(dc, 255 - sc);
                return v > 255 ? 255 : v;
            };
            r = mix(r, dr), g = mix(g, dg), b = mix(b, db);
        }
        WriteRgb<F>(rs, p, r, g, b);
        if constexpr (ZWrite)
            zrow[i] = s.z[i];
    }
}

template <Tex T, bool P, D3dTexBlend TB> StageFn PickShadeKey(bool key)
{
    return key ? ShadeStage<T, P, TB, true> : ShadeStage<T, P, TB, false>;
}

template <Tex T, bool P> StageFn PickShadeBlend(const D3dRasterState& rs)
{
    switch (rs.texBlend)
    {
        case D3dTexBlend::Copy:
            return PickShadeKey<T, P, D3dTexBlend::Copy>(rs.colorKey);
        case D3dTexBlend::ModulateAlpha:
            return PickShadeKey<T, P, D3dTexBlend::ModulateAlpha>(rs.colorKey);
        default:
            return PickShadeKey<T, P, D3dTexBlend::Modulate>(rs.colorKey);
    }
}

template <Tex T> StageFn PickShadePersp(const D3dRasterState& rs, bool perspective)
{
    return perspective ? PickShadeBlend<T, true>(rs) : PickShadeBlend<T, false>(rs);
}

StageFn PickShade(const D3dRasterState& rs, bool perspective)
{
    if (rs.texture == nullptr)
        return ShadeStage<Tex::None, false, D3dTexBlend::Modulate, false>;
    return rs.bilinear ? PickShadePersp<Tex::Bilinear>(rs, perspective)
                       : PickShadePersp<Tex::Nearest>(rs, perspective);
}

template <bool Fog, D3dBlend B, bool ZW> StageFn PickOutputFormat(D3dTarget f)
{
    switch (f)
    {
        case D3dTarget::Rgb555:
            return OutputStage<Fog, B, ZW, D3dTarget::Rgb555>;
        case D3dTarget::Palette8:
            return OutputStage<Fog, B, ZW, D3dTarget::Palette8>;
        default:
            return OutputStage<Fog, B, ZW, D3dTarget::Rgb565>;
    }
}

template <bool Fog, D3dBlend B> StageFn PickOutputZ(const D3dRasterState& rs, bool zWrite)
{
    return zWrite ? PickOutputFormat<Fog, B, true>(rs.format)
                  : PickOutputFormat<Fog, B, false>(rs.format);
}

template <bool Fog> StageFn PickOutputBlend(const D3dRasterState& rs, bool zWrite)
{
    switch (rs.blend)
    {
        case D3dBlend::SrcAlpha:
            return PickOutputZ<Fog, D3dBlend::SrcAlpha>(rs, zWrite);
        case D3dBlend::Add:
            return PickOutputZ<Fog, D3dBlend::Add>(rs, zWrite);
        case D3dBlend::InvSrcColorAdd:
            return PickOutputZ<Fog, D3dBlend::InvSrcColorAdd>(rs, zWrite);
        case D3dBlend::AddInvSrcColor:
            return PickOutputZ<Fog, D3dBlend::AddInvSrcColor>(rs, zWrite);
        case D3dBlend::Stipple:
            return PickOutputZ<Fog, D3dBlend::Stipple>(rs, zWrite);
        default:
            return PickOutputZ<Fog, D3dBlend::None>(rs, zWrite);
    }
}
} // namespace

Pipeline PickPipeline(const D3dRasterState& rs, bool perspective)
{
    bool hasZ = rs.zbuffer != nullptr;
    Pipeline p;
    p.depth = hasZ && rs.zTest ? DepthStage<true> : DepthStage<false>;
    p.shade = PickShade(rs, perspective);
    p.output = rs.fog ? PickOutputBlend<true>(rs, hasZ && rs.zWrite)
                      : PickOutputBlend<false>(rs, hasZ && rs.zWrite);
    p.colour = rs.texture == nullptr || rs.texBlend != D3dTexBlend::Copy;
    p.fog = rs.fog;
    return p;
}

void RunSpan(const Pipeline& p, const D3dRasterState& rs, Chunk& c, int xEnd)
{
    Scratch s;
    for (;;)
    {
        c.n = std::min(kChunk, xEnd - c.x);
        if (p.depth(rs, c, s) != 0)
        {
            p.shade(rs, c, s);
            p.output(rs, c, s);
        }
        c.x += c.n;
        if (c.x >= xEnd)
            return;
        for (int a = kQ; a <= kV; ++a)
            c.start[a] += c.step[a] * static_cast<float>(c.n);
        for (int f = 0; f < kFixCount; ++f)
            c.fixStart[f] += c.fixStep[f] * c.n;
    }
}

void FixFromFloats(Chunk& c)
{
    static constexpr int kFrom[kFixCount] = {kZ, kR, kG, kB, kA, kFog};
    for (int f = 0; f < kFixCount; ++f)
    {
        const double scale = f == kFixZ ? 65535.0 : 1.0;
        c.fixStart[f] = ToFixed(c.start[kFrom[f]], scale) + 0x8000;
        c.fixStep[f] = ToFixed(c.step[kFrom[f]], scale);
    }
    c.inRange = 0;
    if (FixInRange(c, kFixZ, 65536))
        c.inRange |= kZInRange;
    if (FixInRange(c, kFixR, 256) && FixInRange(c, kFixG, 256) && FixInRange(c, kFixB, 256) &&
        FixInRange(c, kFixA, 256))
        c.inRange |= kColoursInRange;
    if (FixInRange(c, kFixFog, 256))
        c.inRange |= kFogInRange;
}

} // namespace d3dspan
