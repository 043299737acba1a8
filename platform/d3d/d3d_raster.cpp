// Triangle and line set-up. Edges are walked in 1/16-pixel fixed point with exact integer
// arithmetic, pixel centres at integer coordinates, and the top-left rule (a pixel on a left or
// top edge is drawn, one on a right or bottom edge is not), so triangles sharing an edge cover
// each pixel once. Each row's span goes to the span pipeline (d3d_span.h).

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/crt/crt.h"
#include "platform/d3d/d3d_internal.h"
#include "platform/d3d/d3d_span.h"

namespace
{

using namespace d3dspan;

constexpr int kSub = 16; // sub-pixel steps per pixel
constexpr float kCoordLimit = 1 << 20;

// The attribute values of a vertex, as the pipeline interpolates them.
void Attributes(const D3dScreenVertex& v, bool perspective, float out[kAttrCount])
{
    float q = perspective ? v.rhw : 1.0f;
    out[kZ] = v.z;
    out[kQ] = q;
    out[kU] = v.u * q;
    out[kV] = v.v * q;
    out[kR] = v.r;
    out[kG] = v.g;
    out[kB] = v.b;
    out[kA] = v.a;
    out[kFog] = v.fog;
}

bool Finite(const D3dScreenVertex& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::abs(v.x) < kCoordLimit &&
           std::abs(v.y) < kCoordLimit;
}

int64_t FloorDiv(int64_t n, int64_t d) // d > 0
{
    int64_t q = n / d;
    return (n % d != 0 && n < 0) ? q - 1 : q;
}

int64_t CeilDiv(int64_t n, int64_t d) // d > 0
{
    return -FloorDiv(-n, d);
}

struct FixedPoint
{
    int64_t x, y;
};

// Walks the first pixel column at or right of the edge a-b (a above b), row by row, exactly:
// the column is ceil(num / d) for num = a.x * dy + (y * kSub - a.y) * (b.x - a.x) and
// d = dy * kSub, kept as q * d - r with 0 <= r < d so that each row costs no division.
struct EdgeWalk
{
    int64_t q, r, d, stepQ, stepR;

    void Start(const FixedPoint& a, const FixedPoint& b, int64_t y)
    {
        const int64_t dy = b.y - a.y;
        d = dy * kSub;
        const int64_t num = a.x * dy + (y * kSub - a.y) * (b.x - a.x);
        q = CeilDiv(num, d);
        r = q * d - num;
        const int64_t step = kSub * (b.x - a.x);
        stepQ = FloorDiv(step, d);
        stepR = step - stepQ * d;
    }

    void Step()
    {
        q += stepQ;
        r -= stepR;
        if (r < 0)
        {
            r += d;
            ++q;
        }
    }
};

bool UsePerspective(const D3dRasterState& rs, const D3dScreenVertex* const v[3])
{
    if (rs.texture == nullptr || !rs.perspective)
        return false;
    for (int i = 0; i < 3; ++i)
        if (!(v[i]->rhw > 0.0f) || !std::isfinite(v[i]->rhw))
            return false;
    return true;
}

// Narrows the steps [lo, hi) to those where pred holds, for a pred that changes value at most
// once along them.
template <class Pred> void Narrow(int64_t& lo, int64_t& hi, Pred pred)
{
    if (lo >= hi)
        return;
    const bool first = pred(lo), last = pred(hi - 1);
    if (first && last)
        return;
    if (!first && !last)
    {
        hi = lo;
        return;
    }
    // The step where it changes: the first with pred == last.
    int64_t a = lo, b = hi - 1; // pred(a) == first, pred(b) == last
    while (b - a > 1)
    {
        const int64_t m = a + (b - a) / 2;
        (pred(m) == first ? a : b) = m;
    }
    if (first)
        hi = b;
    else
        lo = b;
}

// A triangle's corners snapped to sub-pixels, in the vertices' order and from top to bottom,
// and the rows it covers inside the scissor.
struct TriangleEdges
{
    FixedPoint p[3];
    FixedPoint top, mid, bot;
    bool midOnRight; // the middle corner lies right of the long edge
    int64_t yBegin, yEnd;
};

// A coordinate in sub-pixels, rounded half away from zero as llround rounds (the product is
// exact, and so is the sum in double for coordinates inside kCoordLimit).
inline int64_t RoundToSub(float v)
{
    const double d = static_cast<double>(v * kSub);
    return static_cast<int64_t>(d + (d < 0 ? -0.5 : 0.5));
}

// Snaps and orders the corners; false if the triangle has no area or no row inside the scissor.
inline bool SetUpEdges(const D3dRasterState& rs, const D3dScreenVertex* const v[3],
                       TriangleEdges& e)
{
    for (int i = 0; i < 3; ++i)
        e.p[i] = {RoundToSub(v[i]->x), RoundToSub(v[i]->y)};

    // Edges: top, middle and bottom by y (corners at one height kept in their order); the long
    // edge runs top to bottom.
    int o0 = 0, o1 = 1, o2 = 2;
    if (e.p[1].y < e.p[0].y)
        std::swap(o0, o1);
    if (e.p[2].y < e.p[o1].y)
    {
        o2 = o1;
        if (e.p[2].y < e.p[o0].y)
            o1 = o0, o0 = 2;
        else
            o1 = 2;
    }
    e.top = e.p[o0];
    e.mid = e.p[o1];
    e.bot = e.p[o2];
    const int64_t cross =
        (e.mid.x - e.top.x) * (e.bot.y - e.top.y) - (e.bot.x - e.top.x) * (e.mid.y - e.top.y);
    if (cross == 0)
        return false;
    e.midOnRight = cross > 0;

    e.yBegin = std::max<int64_t>(CeilDiv(e.top.y, kSub), rs.scissor.top);
    e.yEnd = std::min<int64_t>(CeilDiv(e.bot.y, kSub), rs.scissor.bottom);
    return e.yBegin < e.yEnd;
}

// The attributes as planes over the snapped corners: the value at corner 0 (x0, y0) and the
// change per pixel across and down.
struct AttributePlanes
{
    double x0, y0;
    double base[kAttrCount];
    double ddx[kAttrCount], ddy[kAttrCount];
};

// False if the snapped corners lie on one line.
inline bool SetUpPlanes(const D3dRasterState& rs, const D3dScreenVertex* const v[3],
                        const FixedPoint p[3], bool perspective, AttributePlanes& pl)
{
    float attr[3][kAttrCount];
    for (int i = 0; i < 3; ++i)
        Attributes(*v[i], perspective, attr[i]);
    if (!rs.gouraud)
        for (int i = 1; i < 3; ++i)
            for (int a = kR; a <= kA; ++a)
                attr[i][a] = attr[0][a];
    pl.x0 = static_cast<double>(p[0].x) / kSub;
    pl.y0 = static_cast<double>(p[0].y) / kSub;
    const double dx1 = static_cast<double>(p[1].x - p[0].x) / kSub;
    const double dy1 = static_cast<double>(p[1].y - p[0].y) / kSub;
    const double dx2 = static_cast<double>(p[2].x - p[0].x) / kSub;
    const double dy2 = static_cast<double>(p[2].y - p[0].y) / kSub;
    const double det = dx1 * dy2 - dx2 * dy1;
    if (det == 0.0)
        return false;
    const double inverse = 1.0 / det;
    // Only what the stages read: depth always, the texture, colour and fog when used.
    const bool colour = rs.texture == nullptr || rs.texBlend != D3dTexBlend::Copy;
    for (int a = 0; a < kAttrCount; ++a)
    {
        const bool used = a == kZ || (a >= kQ && a <= kV && rs.texture != nullptr) ||
                          (a >= kR && a <= kA && colour) || (a == kFog && rs.fog);
        if (!used)
        {
            pl.base[a] = pl.ddx[a] = pl.ddy[a] = 0.0;
            continue;
        }
        const double d1 = attr[1][a] - attr[0][a], d2 = attr[2][a] - attr[0][a];
        pl.ddx[a] = (d1 * dy2 - d2 * dy1) * inverse;
        pl.ddy[a] = (d2 * dx1 - d1 * dx2) * inverse;
        pl.base[a] = attr[0][a];
    }
    return true;
}

// Depth, colour and fog as planes in fixed point over whole pixels, anchored at a pixel
// (x0, y0) near the triangle: a pixel's value is c + dx (x - x0) + dy (y - y0), in 16 fraction
// bits with the rounding bias (see Chunk). The arithmetic is exact, so a row's values are the same
// whichever row a walk starts at.
struct FixedPlanes
{
    int64_t x0, y0;
    int64_t c[kFixCount], dx[kFixCount], dy[kFixCount];
    uint8_t inRange; // InRange bits, for the whole triangle
};

// A double rounded to an integer no larger than limit either way; NaN gives -limit.
inline int64_t RoundClamped(double v, double limit)
{
    if (!(v > -limit))
        return static_cast<int64_t>(-limit);
    v = v < limit ? v : limit;
    return static_cast<int64_t>(v < 0 ? v - 0.5 : v + 0.5);
}

// Whether fixed plane f stays in 0..(limit << 16) - 1 over the triangle: its pixels lie inside
// the snapped corners' triangle, and a plane takes its extremes over that at the corners, which
// are tested exactly (in sixteenths of a pixel).
inline bool PlaneInRange(const FixedPlanes& fp, int f, int64_t limit, const FixedPoint p[3])
{
    constexpr int64_t kBound = int64_t{1} << 36;
    if (fp.dx[f] <= -kBound || fp.dx[f] >= kBound || fp.dy[f] <= -kBound || fp.dy[f] >= kBound)
        return false;
    const int64_t end = (limit << 16) * kSub;
    for (int i = 0; i < 3; ++i)
    {
        const int64_t v = fp.c[f] * kSub + fp.dx[f] * (p[i].x - fp.x0 * kSub) +
                          fp.dy[f] * (p[i].y - fp.y0 * kSub);
        if (v < 0 || v >= end)
            return false;
    }
    return true;
}

inline void SetUpFixedPlanes(const AttributePlanes& pl, const FixedPoint p[3], FixedPlanes& fp)
{
    static constexpr int kFrom[kFixCount] = {kZ, kR, kG, kB, kA, kFog};
    // The corners lie within kCoordLimit, so the anchor and every pixel drawn lie within 2^21 of
    // one another and these bounds keep every sum inside 64 bits.
    constexpr double kStepLimit = 1099511627776.0;        // 2^40
    constexpr double kValueLimit = 1152921504606846976.0; // 2^60
    fp.x0 = FloorDiv(p[0].x, kSub);
    fp.y0 = FloorDiv(p[0].y, kSub);
    const double ox = static_cast<double>(fp.x0) - pl.x0, oy = static_cast<double>(fp.y0) - pl.y0;
    for (int f = 0; f < kFixCount; ++f)
    {
        const int a = kFrom[f];
        const double scale = (f == kFixZ ? 65535.0 : 1.0) * 65536.0;
        fp.dx[f] = RoundClamped(pl.ddx[a] * scale, kStepLimit);
        fp.dy[f] = RoundClamped(pl.ddy[a] * scale, kStepLimit);
        fp.c[f] =
            RoundClamped((pl.base[a] + pl.ddx[a] * ox + pl.ddy[a] * oy) * scale, kValueLimit) +
            0x8000;
    }
    fp.inRange = 0;
    if (PlaneInRange(fp, kFixZ, 65536, p))
        fp.inRange |= kZInRange;
    if (PlaneInRange(fp, kFixR, 256, p) && PlaneInRange(fp, kFixG, 256, p) &&
        PlaneInRange(fp, kFixB, 256, p) && PlaneInRange(fp, kFixA, 256, p))
        fp.inRange |= kColoursInRange;
    if (PlaneInRange(fp, kFixFog, 256, p))
        fp.inRange |= kFogInRange;
}

// The texture attributes at the first pixel of a span, from the planes in double precision.
inline void SpanStart(const AttributePlanes& pl, int64_t x, int64_t y, Chunk& c)
{
    const double ox = static_cast<double>(x) - pl.x0, oy = static_cast<double>(y) - pl.y0;
    static_assert(kU == kQ + 1 && kV == kQ + 2);
#if defined(__SSE2__)
    // Two attributes at a time, each lane the same double arithmetic as one alone.
    const __m128d oxs = _mm_set1_pd(ox), oys = _mm_set1_pd(oy);
    const __m128d v = _mm_add_pd(
        _mm_add_pd(_mm_loadu_pd(pl.base + kQ), _mm_mul_pd(_mm_loadu_pd(pl.ddx + kQ), oxs)),
        _mm_mul_pd(_mm_loadu_pd(pl.ddy + kQ), oys));
    _mm_storel_pi(reinterpret_cast<__m64*>(c.start + kQ), _mm_cvtpd_ps(v));
    c.start[kV] = static_cast<float>(pl.base[kV] + pl.ddx[kV] * ox + pl.ddy[kV] * oy);
#else
    for (int a = kQ; a <= kV; ++a)
        c.start[a] = static_cast<float>(pl.base[a] + pl.ddx[a] * ox + pl.ddy[a] * oy);
#endif
}

// A triangle ready to be drawn: its edges and attribute planes, and whether it is drawn with
// perspective (which picks its stages).
struct TriangleSetUp
{
    TriangleEdges edges;
    AttributePlanes planes;
    FixedPlanes fixed;
    bool perspective;
};

// Sets a triangle up; false if it draws nothing.
bool SetUpTriangle(const D3dRasterState& rs, const D3dScreenVertex& v0, const D3dScreenVertex& v1,
                   const D3dScreenVertex& v2, TriangleSetUp& t)
{
    if (!Finite(v0) || !Finite(v1) || !Finite(v2))
        return false;
    const D3dScreenVertex* v[3] = {&v0, &v1, &v2};
    if (!SetUpEdges(rs, v, t.edges))
        return false;
    t.perspective = UsePerspective(rs, v);
    if (!SetUpPlanes(rs, v, t.edges.p, t.perspective, t.planes))
        return false;
    SetUpFixedPlanes(t.planes, t.edges.p, t.fixed);
    return true;
}

// Walks the rows yFrom..yTo - 1 of a set-up triangle (at most its own), between the long edge
// and the short edge beside it, and draws each row's span. The edges are exact integers, so a
// walk started at any row gives the columns a walk from the top gives.
void WalkEdges(const D3dRasterState& rs, const Pipeline& pipe, const TriangleSetUp& t,
               int64_t yFrom, int64_t yTo)
{
    const TriangleEdges& e = t.edges;
    yFrom = std::max(yFrom, e.yBegin);
    yTo = std::min(yTo, e.yEnd);
    if (yFrom >= yTo)
        return;
    Chunk c;
    const bool textured = rs.texture != nullptr;
    for (int a = 0; a < kAttrCount; ++a)
        c.start[a] = c.step[a] = 0.0f;
    if (textured)
        for (int a = kQ; a <= kV; ++a)
            c.step[a] = static_cast<float>(t.planes.ddx[a]);
    // The fixed-point values at x = 0 of the row.
    const FixedPlanes& fp = t.fixed;
    int64_t rowStart[kFixCount];
    for (int f = 0; f < kFixCount; ++f)
    {
        c.fixStep[f] = fp.dx[f];
        rowStart[f] = fp.c[f] + fp.dy[f] * (yFrom - fp.y0) - fp.dx[f] * fp.x0;
    }
    c.inRange = fp.inRange;

    EdgeWalk longEdge, shortEdge;
    longEdge.Start(e.top, e.bot, yFrom);
    bool upper = yFrom * kSub < e.mid.y;
    if (upper)
        shortEdge.Start(e.top, e.mid, yFrom);
    else
        shortEdge.Start(e.mid, e.bot, yFrom);
    for (int64_t y = yFrom; y < yTo; ++y, longEdge.Step(), shortEdge.Step())
    {
        if (y != yFrom)
            for (int f = 0; f < kFixCount; ++f)
                rowStart[f] += fp.dy[f];
        if (upper && y * kSub >= e.mid.y)
        {
            upper = false;
            shortEdge.Start(e.mid, e.bot, y);
        }
        const int64_t xLong = longEdge.q, xShort = shortEdge.q;
        int64_t xl = e.midOnRight ? xLong : xShort;
        int64_t xr = e.midOnRight ? xShort : xLong;
        xl = std::max<int64_t>(xl, rs.scissor.left);
        xr = std::min<int64_t>(xr, rs.scissor.right);
        if (xl >= xr)
            continue;
        c.x = static_cast<int>(xl);
        c.y = static_cast<int>(y);
        c.n = 0;
        for (int f = 0; f < kFixCount; ++f)
            c.fixStart[f] = rowStart[f] + c.fixStep[f] * xl;
        if (textured)
            SpanStart(t.planes, xl, y, c);
        RunSpan(pipe, rs, c, static_cast<int>(xr));
    }
}

} // namespace

void D3dRasterTriangle(const D3dRasterState& rs, const D3dScreenVertex& v0,
                       const D3dScreenVertex& v1, const D3dScreenVertex& v2)
{
    TriangleSetUp t;
    if (SetUpTriangle(rs, v0, v1, v2, t))
        WalkEdges(rs, PickPipeline(rs, t.perspective), t, INT64_MIN, INT64_MAX);
}

void D3dRasterLine(const D3dRasterState& rs, const D3dScreenVertex& v0, const D3dScreenVertex& v1)
{
    if (!Finite(v0) || !Finite(v1))
        return;
    // Step along the major axis through pixel centres from v0 up to v1.
    const float dx = v1.x - v0.x, dy = v1.y - v0.y;
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const float len = xMajor ? dx : dy;
    if (len == 0.0f)
        return;
    const float from = xMajor ? v0.x : v0.y;
    const int64_t start =
        len > 0 ? static_cast<int64_t>(std::ceil(from)) : static_cast<int64_t>(std::floor(from));
    const int64_t steps = static_cast<int64_t>(std::ceil(std::abs(len)));
    const int64_t dir = len > 0 ? 1 : -1;

    struct Step
    {
        float t;
        int64_t px, py;
    };
    auto at = [&](int64_t i) -> Step
    {
        const int64_t major = start + dir * i;
        const float t = (static_cast<float>(major) - from) / len;
        const float minor = xMajor ? v0.y + dy * t : v0.x + dx * t;
        const int64_t m = std::llround(minor);
        return {t, xMajor ? major : m, xMajor ? m : major};
    };
    // t, x and y each move one way along the line, so each bound holds on a run of steps at one
    // end: the steps inside all of them are found by search, not tested one by one.
    int64_t lo = 0, hi = steps + 1;
    const RECT& sc = rs.scissor;
    Narrow(lo, hi, [&](int64_t i) { return at(i).t >= 0.0f; });
    Narrow(lo, hi, [&](int64_t i) { return at(i).t < 1.0f; });
    Narrow(lo, hi, [&](int64_t i) { return at(i).px >= sc.left; });
    Narrow(lo, hi, [&](int64_t i) { return at(i).px < sc.right; });
    Narrow(lo, hi, [&](int64_t i) { return at(i).py >= sc.top; });
    Narrow(lo, hi, [&](int64_t i) { return at(i).py < sc.bottom; });

    float a0[kAttrCount], a1[kAttrCount];
    Attributes(v0, false, a0);
    Attributes(v1, false, a1);
    if (!rs.gouraud)
        for (int a = kR; a <= kA; ++a)
            a1[a] = a0[a];
    const Pipeline pipe = PickPipeline(rs, false); // lines are never perspective-textured
    for (int64_t i = lo; i < hi; ++i)
    {
        const Step st = at(i);
        Chunk c;
        c.x = static_cast<int>(st.px);
        c.y = static_cast<int>(st.py);
        c.n = 1;
        for (int a = 0; a < kAttrCount; ++a)
        {
            c.start[a] = a0[a] + (a1[a] - a0[a]) * st.t;
            c.step[a] = 0.0f;
        }
        FixFromFloats(c);
        RunSpan(pipe, rs, c, c.x + 1);
    }
}

// Drawing shared among threads. Between the points where anything else looks at the pixels
// (see D3dFinishDrawing) the calls are recorded, with their resolved state and a copy of their
// screen-space primitives, and listed by bands of rows. Finishing draws the bands on all
// threads: a band is drawn by one thread, its primitives in the order they were recorded and
// kept to its rows, so the target and Z come out as one thread draws them whatever the number
// of threads. A triangle is set up once, by the first thread to reach it. A band holds whole rows
// because the span pipeline may rewrite pixels just past a span's end with what they hold.
namespace
{

// Below this many pixels (by bounding boxes) recorded drawing is done on the calling thread
// alone, since waking the workers costs more than a few small primitives take to draw.
constexpr double kSharedArea = 16384;
// Recorded primitives beyond which they are drawn at once, which bounds what a frame holds.
constexpr size_t kMaxRecorded = size_t{1} << 18;

// The rows a primitive may touch inside the scissor, with a row to spare either side (the exact
// rows come with the set-up), and the area of its bounding box; false if it touches no row.
bool Extent(const D3dPrimitive& p, const RECT& scissor, int64_t& first, int64_t& last, double& area)
{
    const int n = p.line ? 2 : 3;
    float x0 = p.v[0].x, x1 = x0, y0 = p.v[0].y, y1 = y0;
    for (int i = 0; i < n; ++i)
    {
        if (!Finite(p.v[i]))
            return false;
        x0 = std::min(x0, p.v[i].x), x1 = std::max(x1, p.v[i].x);
        y0 = std::min(y0, p.v[i].y), y1 = std::max(y1, p.v[i].y);
    }
    first = std::max<int64_t>(static_cast<int64_t>(std::floor(y0)) - 1, scissor.top);
    last = std::min<int64_t>(static_cast<int64_t>(std::ceil(y1)) + 1, scissor.bottom - 1);
    area = (static_cast<double>(x1) - x0 + 1) * (static_cast<double>(y1) - y0 + 1);
    return first <= last;
}

class DrawPool;

// The recorded, not yet drawn calls of all devices.
class Recording
{
public:
    // Where a call's primitives are put before Added.
    std::vector<D3dPrimitive>& Primitives() { return primitives_; }
    // Records the call whose primitives were put from `first` on (dropping those outside the
    // scissor or not finite); draws all if it is too much to hold.
    void Added(const D3dRasterState& rs, size_t first);
    // Draws everything recorded, on rs.threads threads where that pays, and forgets it.
    void Finish();
    // Draws bands until none is left; run by every thread of a Finish (see DrawPool).
    void Work();

private:
    // Where a primitive's set-up stands while finishing.
    enum : uint8_t
    {
        kNotSetUp,
        kSettingUp,
        kDraws,
        kDrawsNothing,
    };

    void Reset();
    bool SetUp(uint32_t i);
    void DrawBand(int64_t band);

    std::vector<D3dRasterState> calls_;
    std::vector<std::array<Pipeline, 2>> pipes_; // each call's stages, without and with perspective
    std::vector<D3dPrimitive> primitives_;
    std::vector<uint32_t> callOf_;                  // each primitive's call
    std::vector<std::vector<uint32_t>> bins_;       // each band's primitives, in their order
    int64_t firstBand_ = INT64_MAX, lastBand_ = -1; // the bands holding any
    double area_ = 0;
    int threads_ = 1;
    // While finishing: each primitive's set-up and where it stands.
    std::vector<TriangleSetUp> setUps_;
    std::unique_ptr<std::atomic<uint8_t>[]> state_;
    size_t stateSize_ = 0;
    std::atomic<int64_t> nextBand_{0};
};

// Threads that help the calling thread finish a recording. They live while any device does,
// asleep between finishes; each finish wakes them once.
class DrawPool
{
public:
    static DrawPool& Instance()
    {
        static DrawPool pool;
        return pool;
    }

    // Runs recording.Work() on `threads` threads, the calling one included, and returns when
    // all are done.
    void Run(Recording& recording, int threads)
    {
        {
            std::lock_guard<std::mutex> lock(lock_);
            while (static_cast<int>(workers_.size()) < threads - 1)
            {
                const int index = static_cast<int>(workers_.size());
                workers_.emplace_back([this, index] { Serve(index); });
            }
            recording_ = &recording;
            helpers_ = threads - 1;
            pending_ = helpers_;
            ++job_;
        }
        wake_.notify_all();
        recording.Work();
        std::unique_lock<std::mutex> lock(lock_);
        done_.wait(lock, [this] { return pending_ == 0; });
        recording_ = nullptr;
    }

    void Stop()
    {
        std::vector<std::thread> workers;
        {
            std::lock_guard<std::mutex> lock(lock_);
            quit_ = true;
            workers.swap(workers_);
        }
        wake_.notify_all();
        for (std::thread& t : workers)
            t.join();
        std::lock_guard<std::mutex> lock(lock_);
        quit_ = false;
    }

    int Workers()
    {
        std::lock_guard<std::mutex> lock(lock_);
        return static_cast<int>(workers_.size());
    }

private:
    DrawPool() = default;
    ~DrawPool() { Stop(); }

    // A worker is made for the job about to be handed over, so it takes the job in hand first.
    void Serve(int index)
    {
        uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(lock_);
        for (;;)
        {
            wake_.wait(lock, [&] { return quit_ || job_ != seen; });
            if (quit_)
                return;
            seen = job_;
            if (index >= helpers_) // not wanted this time
                continue;
            Recording* recording = recording_;
            lock.unlock();
            recording->Work();
            lock.lock();
            if (--pending_ == 0)
                done_.notify_one();
        }
    }

    std::mutex lock_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> workers_;
    uint64_t job_ = 0;
    bool quit_ = false;
    Recording* recording_ = nullptr;
    int helpers_ = 0;
    int pending_ = 0;
};

void Recording::Added(const D3dRasterState& rs, size_t first)
{
    const auto call = static_cast<uint32_t>(calls_.size());
    calls_.push_back(rs);
    pipes_.push_back({PickPipeline(rs, false), PickPipeline(rs, true)});
    threads_ = std::max(threads_, rs.threads);
    size_t kept = first;
    for (size_t i = first; i < primitives_.size(); ++i)
    {
        int64_t top = 0, bottom = 0;
        double area = 0;
        if (!Extent(primitives_[i], rs.scissor, top, bottom, area))
            continue;
        if (kept != i)
            primitives_[kept] = primitives_[i];
        const auto index = static_cast<uint32_t>(kept++);
        callOf_.push_back(call);
        area_ += area;
        const int64_t b0 = top / kD3dBandRows, b1 = bottom / kD3dBandRows;
        if (static_cast<size_t>(b1) >= bins_.size())
            bins_.resize(static_cast<size_t>(b1) + 1);
        for (int64_t b = b0; b <= b1; ++b)
            bins_[static_cast<size_t>(b)].push_back(index);
        firstBand_ = std::min(firstBand_, b0);
        lastBand_ = std::max(lastBand_, b1);
    }
    primitives_.resize(kept);
    if (primitives_.size() > kMaxRecorded)
        Finish();
}

void Recording::Reset()
{
    calls_.clear();
    pipes_.clear();
    primitives_.clear();
    callOf_.clear();
    for (int64_t b = firstBand_; b <= lastBand_; ++b)
        bins_[static_cast<size_t>(b)].clear();
    firstBand_ = INT64_MAX, lastBand_ = -1;
    area_ = 0;
    threads_ = 1;
}

void Recording::Finish()
{
    if (primitives_.empty())
    {
        Reset();
        return;
    }
    const int64_t bands = lastBand_ - firstBand_ + 1;
    const int threads = static_cast<int>(std::min<int64_t>(threads_, bands));
    if (threads <= 1 || area_ < kSharedArea)
    {
        for (size_t i = 0; i < primitives_.size(); ++i)
        {
            const D3dPrimitive& p = primitives_[i];
            const D3dRasterState& rs = calls_[callOf_[i]];
            if (p.line)
                D3dRasterLine(rs, p.v[0], p.v[1]);
            else
                D3dRasterTriangle(rs, p.v[0], p.v[1], p.v[2]);
        }
        Reset();
        return;
    }
    const size_t n = primitives_.size();
    setUps_.resize(n);
    if (stateSize_ < n)
    {
        stateSize_ = std::max(n, 2 * stateSize_);
        state_ = std::make_unique<std::atomic<uint8_t>[]>(stateSize_);
    }
    for (size_t i = 0; i < n; ++i)
        state_[i].store(kNotSetUp, std::memory_order_relaxed);
    nextBand_.store(firstBand_, std::memory_order_relaxed);
    DrawPool::Instance().Run(*this, threads);
    Reset();
}

// Sets primitive i up unless another thread has (waiting while one does); whether it draws.
bool Recording::SetUp(uint32_t i)
{
    std::atomic<uint8_t>& state = state_[i];
    uint8_t now = state.load(std::memory_order_acquire);
    if (now == kNotSetUp &&
        state.compare_exchange_strong(now, kSettingUp, std::memory_order_acquire))
    {
        const D3dPrimitive& p = primitives_[i];
        const bool draws =
            p.line || SetUpTriangle(calls_[callOf_[i]], p.v[0], p.v[1], p.v[2], setUps_[i]);
        state.store(draws ? kDraws : kDrawsNothing, std::memory_order_release);
        return draws;
    }
    // A set-up takes a fraction of a microsecond.
    while (now == kSettingUp)
    {
        std::this_thread::yield();
        now = state.load(std::memory_order_acquire);
    }
    return now == kDraws;
}

void Recording::DrawBand(int64_t band)
{
    const int64_t top = band * kD3dBandRows, bottom = top + kD3dBandRows;
    for (uint32_t i : bins_[static_cast<size_t>(band)])
    {
        if (!SetUp(i))
            continue;
        const D3dPrimitive& p = primitives_[i];
        const D3dRasterState& rs = calls_[callOf_[i]];
        if (p.line)
        {
            D3dRasterState kept = rs;
            kept.scissor.top = static_cast<LONG>(std::max<int64_t>(rs.scissor.top, top));
            kept.scissor.bottom = static_cast<LONG>(std::min<int64_t>(rs.scissor.bottom, bottom));
            D3dRasterLine(kept, p.v[0], p.v[1]);
        }
        else
        {
            const TriangleSetUp& t = setUps_[i];
            WalkEdges(rs, pipes_[callOf_[i]][t.perspective], t, top, bottom);
        }
    }
}

void Recording::Work()
{
    for (int64_t b = nextBand_.fetch_add(1, std::memory_order_relaxed); b <= lastBand_;
         b = nextBand_.fetch_add(1, std::memory_order_relaxed))
        DrawBand(b);
}

std::mutex gRecordingLock;
Recording gRecording;

} // namespace

int D3dRasterThreadsFromEnvironment()
{
    const unsigned cores = std::thread::hardware_concurrency();
    const long fallback = std::clamp<long>(cores != 0 ? static_cast<long>(cores) : 1, 1, 64);
    return static_cast<int>(crt_env_number("DEZOR_RASTER_THREADS", 1, 64, fallback, "a number"));
}

D3dRasterCall::D3dRasterCall(const D3dRasterState& rs) : rs_(rs), lock_(gRecordingLock)
{
    if (rs.threads > 1)
    {
        out_ = &gRecording.Primitives();
        first_ = out_->size();
        return;
    }
    // Drawn at once, after whatever another device recorded.
    gRecording.Finish();
    thread_local std::vector<D3dPrimitive> primitives;
    primitives.clear();
    out_ = &primitives;
    first_ = 0;
}

D3dRasterCall::~D3dRasterCall()
{
    if (out_ != nullptr) // not submitted
        out_->resize(first_);
}

void D3dRasterCall::Submit()
{
    if (rs_.threads > 1)
        gRecording.Added(rs_, first_);
    else
        for (const D3dPrimitive& p : *out_)
            if (p.line)
                D3dRasterLine(rs_, p.v[0], p.v[1]);
            else
                D3dRasterTriangle(rs_, p.v[0], p.v[1], p.v[2]);
    out_ = nullptr;
}

void D3dFinishDrawing(void)
{
    std::lock_guard<std::mutex> lock(gRecordingLock);
    gRecording.Finish();
}

void D3dStopDrawingThreads(void)
{
    std::lock_guard<std::mutex> lock(gRecordingLock);
    gRecording.Finish();
    DrawPool::Instance().Stop();
}

int D3dDrawingThreads(void)
{
    return DrawPool::Instance().Workers();
}
