// Triangle and line set-up. Edges are walked in 1/16-pixel fixed point with exact integer
// arithmetic, pixel centres at integer coordinates, and the top-left rule (a pixel on a left or
// top edge is drawn, one on a right or bottom edge is not), so triangles sharing an edge cover
// each pixel once. Each row's span goes to the span pipeline (d3d_span.h).

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstdio>
#include <cstring>
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

// Snaps and orders the corners; false if the triangle has no area or no row inside the scissor.
inline bool SetUpEdges(const D3dRasterState& rs, const D3dScreenVertex* const v[3],
                       TriangleEdges& e)
{
    for (int i = 0; i < 3; ++i)
        e.p[i] = {std::llround(v[i]->x * kSub), std::llround(v[i]->y * kSub)};

    // Edges: top, middle and bottom by y; the long edge runs top to bottom.
    int order[3] = {0, 1, 2};
    std::sort(order, order + 3, [&](int a, int b) { return e.p[a].y < e.p[b].y; });
    e.top = e.p[order[0]];
    e.mid = e.p[order[1]];
    e.bot = e.p[order[2]];
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
    for (int a = 0; a < kAttrCount; ++a)
    {
        double d1 = attr[1][a] - attr[0][a], d2 = attr[2][a] - attr[0][a];
        pl.ddx[a] = (d1 * dy2 - d2 * dy1) / det;
        pl.ddy[a] = (d2 * dx1 - d1 * dx2) / det;
    }
    for (int a = 0; a < kAttrCount; ++a)
        pl.base[a] = attr[0][a];
    return true;
}

// The attributes at the first pixel of a span, from the planes in double precision.
inline void SpanStart(const AttributePlanes& pl, int64_t x, int64_t y, Chunk& c)
{
    const double ox = static_cast<double>(x) - pl.x0, oy = static_cast<double>(y) - pl.y0;
#if defined(__SSE2__)
    // Two attributes at a time, each lane the same double arithmetic as one alone.
    const __m128d oxs = _mm_set1_pd(ox), oys = _mm_set1_pd(oy);
    for (int a = 0; a < kAttrCount - 1; a += 2)
    {
        const __m128d v = _mm_add_pd(
            _mm_add_pd(_mm_loadu_pd(pl.base + a), _mm_mul_pd(_mm_loadu_pd(pl.ddx + a), oxs)),
            _mm_mul_pd(_mm_loadu_pd(pl.ddy + a), oys));
        _mm_storel_pi(reinterpret_cast<__m64*>(c.start + a), _mm_cvtpd_ps(v));
    }
    for (int a = kAttrCount & ~1; a < kAttrCount; ++a)
#else
    for (int a = 0; a < kAttrCount; ++a)
#endif
        c.start[a] = static_cast<float>(pl.base[a] + pl.ddx[a] * ox + pl.ddy[a] * oy);
}

// Walks the rows from top to bottom, between the long edge and the short edge beside it, and
// draws each row's span.
inline void WalkEdges(const D3dRasterState& rs, const TriangleEdges& e, const AttributePlanes& pl,
                      const Pipeline& pipe)
{
    Chunk c;
    for (int a = 0; a < kAttrCount; ++a)
        c.step[a] = static_cast<float>(pl.ddx[a]);

    EdgeWalk longEdge, shortEdge;
    longEdge.Start(e.top, e.bot, e.yBegin);
    bool upper = e.yBegin * kSub < e.mid.y;
    if (upper)
        shortEdge.Start(e.top, e.mid, e.yBegin);
    else
        shortEdge.Start(e.mid, e.bot, e.yBegin);
    for (int64_t y = e.yBegin; y < e.yEnd; ++y, longEdge.Step(), shortEdge.Step())
    {
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
        SpanStart(pl, xl, y, c);
        RunSpan(pipe, rs, c, static_cast<int>(xr));
    }
}

} // namespace

void D3dRasterTriangle(const D3dRasterState& rs, const D3dScreenVertex& v0,
                       const D3dScreenVertex& v1, const D3dScreenVertex& v2)
{
    if (!Finite(v0) || !Finite(v1) || !Finite(v2))
        return;
    const D3dScreenVertex* v[3] = {&v0, &v1, &v2};
    TriangleEdges edges;
    if (!SetUpEdges(rs, v, edges))
        return;
    const bool perspective = UsePerspective(rs, v);
    AttributePlanes planes;
    if (!SetUpPlanes(rs, v, edges.p, perspective, planes))
        return;
    const Pipeline pipe = PickPipeline(rs, perspective);
    WalkEdges(rs, edges, planes, pipe);
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
        RunSpan(pipe, rs, c, c.x + 1);
    }
}

namespace
{

// Below this many pixels (by bounding boxes) a call is drawn on the calling thread alone.
constexpr double kBandedArea = 16384;

// The rows a primitive may touch, with a row to spare either side; false if it draws nothing.
bool RowSpan(const D3dPrimitive& p, int64_t& first, int64_t& last)
{
    const int n = p.line ? 2 : 3;
    float y0 = p.v[0].y, y1 = y0;
    for (int i = 0; i < n; ++i)
    {
        if (!Finite(p.v[i]))
            return false;
        y0 = std::min(y0, p.v[i].y), y1 = std::max(y1, p.v[i].y);
    }
    first = static_cast<int64_t>(std::floor(y0)) - 1;
    last = static_cast<int64_t>(std::ceil(y1)) + 1;
    return true;
}

double BoxArea(const D3dPrimitive& p)
{
    const int n = p.line ? 2 : 3;
    float x0 = p.v[0].x, x1 = x0, y0 = p.v[0].y, y1 = y0;
    for (int i = 1; i < n; ++i)
    {
        x0 = std::min(x0, p.v[i].x), x1 = std::max(x1, p.v[i].x);
        y0 = std::min(y0, p.v[i].y), y1 = std::max(y1, p.v[i].y);
    }
    const double area = (static_cast<double>(x1) - x0 + 1) * (static_cast<double>(y1) - y0 + 1);
    return area == area ? area : 0; // NaN coordinates are not drawn
}

void Draw(const D3dRasterState& rs, const D3dPrimitive& p)
{
    if (p.line)
        D3dRasterLine(rs, p.v[0], p.v[1]);
    else
        D3dRasterTriangle(rs, p.v[0], p.v[1], p.v[2]);
}

// The state of a call kept to the rows of band b.
D3dRasterState BandState(const D3dRasterState& rs, int b)
{
    D3dRasterState band = rs;
    band.scissor.top = std::max<LONG>(rs.scissor.top, rs.scissor.top + b * kD3dBandRows);
    band.scissor.bottom = std::min<LONG>(rs.scissor.bottom, band.scissor.top + kD3dBandRows);
    return band;
}

// One call cut into bands of rows: each band lists, in order, the primitives that may reach it.
struct BandedCall
{
    const D3dRasterState* rs = nullptr;
    const D3dPrimitive* primitives = nullptr;
    std::vector<std::vector<uint32_t>> bins;
    std::atomic<int> next{0}; // the next band to be drawn

    // Draws bands until none is left. Each band is drawn by one thread, its primitives in
    // their order and kept to its rows, so the pixels come out as one thread draws them.
    void DrawBands()
    {
        const int count = static_cast<int>(bins.size());
        for (int b = next.fetch_add(1, std::memory_order_relaxed); b < count;
             b = next.fetch_add(1, std::memory_order_relaxed))
        {
            const D3dRasterState band = BandState(*rs, b);
            for (uint32_t i : bins[static_cast<size_t>(b)])
                Draw(band, primitives[i]);
        }
    }
};

// Threads that draw bands of a call beside the calling thread. They live until the program
// ends, asleep between calls.
class BandPool
{
public:
    static BandPool& Instance()
    {
        static BandPool pool;
        return pool;
    }

    void Run(BandedCall& call, int threads)
    {
        std::lock_guard<std::mutex> caller(callerLock_); // one call at a time
        {
            std::lock_guard<std::mutex> lock(lock_);
            while (static_cast<int>(workers_.size()) < threads - 1)
            {
                const int index = static_cast<int>(workers_.size());
                workers_.emplace_back([this, index] { Work(index); });
            }
            call_ = &call;
            helpers_ = threads - 1;
            pending_ = helpers_;
            ++job_;
        }
        wake_.notify_all();
        call.DrawBands();
        std::unique_lock<std::mutex> lock(lock_);
        done_.wait(lock, [this] { return pending_ == 0; });
        call_ = nullptr;
    }

private:
    BandPool() = default;

    ~BandPool()
    {
        {
            std::lock_guard<std::mutex> lock(lock_);
            quit_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }

    void Work(int index)
    {
        uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(lock_);
        for (;;)
        {
            wake_.wait(lock, [&] { return quit_ || job_ != seen; });
            if (quit_)
                return;
            seen = job_;
            if (index >= helpers_) // not wanted for this call
                continue;
            BandedCall* call = call_;
            lock.unlock();
            call->DrawBands();
            lock.lock();
            if (--pending_ == 0)
                done_.notify_one();
        }
    }

    std::mutex callerLock_;
    std::mutex lock_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> workers_;
    uint64_t job_ = 0;
    bool quit_ = false;
    BandedCall* call_ = nullptr;
    int helpers_ = 0;
    int pending_ = 0;
};

// Whether a call is shared among threads: it must have threads and bands to share, and enough
// to draw, since waking the other threads costs more than a few small primitives take to draw.
bool WorthBanding(const D3dRasterState& rs, const D3dPrimitive* primitives, size_t count,
                  int64_t bands)
{
    if (rs.threads <= 1 || bands <= 1 || count > UINT32_MAX)
        return false;
    double area = 0;
    for (size_t i = 0; i < count && area < kBandedArea; ++i)
        area += BoxArea(primitives[i]);
    return area >= kBandedArea;
}

// Lists each primitive, in order, in every band of rows it may reach, and readies the call to
// be drawn.
void BinPrimitives(BandedCall& call, const D3dRasterState& rs, const D3dPrimitive* primitives,
                   size_t count, int64_t rows, int64_t bands)
{
    call.rs = &rs;
    call.primitives = primitives;
    call.bins.resize(static_cast<size_t>(bands));
    for (std::vector<uint32_t>& bin : call.bins)
        bin.clear();
    for (size_t i = 0; i < count; ++i)
    {
        int64_t first = 0, last = 0;
        if (!RowSpan(primitives[i], first, last))
            continue;
        first = std::max<int64_t>(first - rs.scissor.top, 0) / kD3dBandRows;
        last = std::min<int64_t>(last - rs.scissor.top, rows - 1);
        if (last < 0)
            continue;
        last /= kD3dBandRows;
        for (int64_t b = first; b <= last; ++b)
            call.bins[static_cast<size_t>(b)].push_back(static_cast<uint32_t>(i));
    }
    call.next.store(0, std::memory_order_relaxed);
}

} // namespace

int D3dRasterThreadsFromEnvironment()
{
    return static_cast<int>(crt_env_number("DEZOR_RASTER_THREADS", 1, 64, 1, "a number"));
}

void D3dRasterPrimitives(const D3dRasterState& rs, const D3dPrimitive* primitives, size_t count)
{
    const int64_t rows = static_cast<int64_t>(rs.scissor.bottom) - rs.scissor.top;
    const int64_t bands = (rows + kD3dBandRows - 1) / kD3dBandRows;
    if (!WorthBanding(rs, primitives, count, bands))
    {
        for (size_t i = 0; i < count; ++i)
            Draw(rs, primitives[i]);
        return;
    }
    thread_local BandedCall call;
    BinPrimitives(call, rs, primitives, count, rows, bands);
    BandPool::Instance().Run(call, std::min<int>(rs.threads, static_cast<int>(bands)));
}
