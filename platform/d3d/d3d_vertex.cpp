// Vertex processing: each vertex of a call is transformed and classified against the clip
// volume once; primitives are then assembled from the list, strip or indices, clipped exactly
// in homogeneous space (near and far planes, the viewport's four sides), projected, culled by
// their screen winding and handed to the rasteriser.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d/d3d_internal.h"

namespace
{

struct ClipVertex
{
    float x, y, z, w;
    float r, g, b, a, fog, u, v;
    unsigned outside; // bit per plane the vertex lies outside of
};

constexpr int kPlanes = 6;
constexpr int kMaxPolygon = 3 + kPlanes;

// Signed distance to plane i, non-negative inside.
float PlaneDistance(const D3DVIEWPORT2& vp, const ClipVertex& c, int plane)
{
    switch (plane)
    {
        case 0:
            return c.z - vp.dvMinZ * c.w; // near
        case 1:
            return vp.dvMaxZ * c.w - c.z; // far
        case 2:
            return c.x - vp.dvClipX * c.w;
        case 3:
            return (vp.dvClipX + vp.dvClipWidth) * c.w - c.x;
        case 4:
            return vp.dvClipY * c.w - c.y;
        default:
            return c.y - (vp.dvClipY - vp.dvClipHeight) * c.w;
    }
}

unsigned Outcode(const D3DVIEWPORT2& vp, const ClipVertex& c)
{
    unsigned code = 0;
    for (int i = 0; i < kPlanes; ++i)
        if (!(PlaneDistance(vp, c, i) >= 0.0f))
            code |= 1u << i;
    return code;
}

void SetColours(ClipVertex& c, D3DCOLOR colour, D3DCOLOR specular)
{
    c.r = static_cast<float>((colour >> 16) & 0xFF);
    c.g = static_cast<float>((colour >> 8) & 0xFF);
    c.b = static_cast<float>(colour & 0xFF);
    c.a = static_cast<float>(colour >> 24);
    c.fog = static_cast<float>(specular >> 24);
}

ClipVertex Lerp(const ClipVertex& a, const ClipVertex& b, float t)
{
    auto mix = [t](float p, float q) { return p + (q - p) * t; };
    ClipVertex c;
    c.x = mix(a.x, b.x), c.y = mix(a.y, b.y), c.z = mix(a.z, b.z), c.w = mix(a.w, b.w);
    c.r = mix(a.r, b.r), c.g = mix(a.g, b.g), c.b = mix(a.b, b.b), c.a = mix(a.a, b.a);
    c.fog = mix(a.fog, b.fog), c.u = mix(a.u, b.u), c.v = mix(a.v, b.v);
    c.outside = 0;
    return c;
}

D3dScreenVertex Project(const D3DVIEWPORT2& vp, const ClipVertex& c)
{
    const float rhw = 1.0f / c.w;
    const float depthRange = vp.dvMaxZ - vp.dvMinZ;
    D3dScreenVertex s;
    s.x = static_cast<float>(vp.dwX) +
          (c.x * rhw - vp.dvClipX) / vp.dvClipWidth * static_cast<float>(vp.dwWidth);
    s.y = static_cast<float>(vp.dwY) +
          (vp.dvClipY - c.y * rhw) / vp.dvClipHeight * static_cast<float>(vp.dwHeight);
    s.z = depthRange != 0.0f ? (c.z * rhw - vp.dvMinZ) / depthRange : 0.0f;
    s.rhw = rhw;
    s.r = c.r, s.g = c.g, s.b = c.b, s.a = c.a, s.fog = c.fog, s.u = c.u, s.v = c.v;
    return s;
}

// Screen-space winding: positive is clockwise on screen (y grows downwards).
float Area(const D3dScreenVertex* v, int n)
{
    float area = 0.0f;
    for (int i = 0; i < n; ++i)
    {
        const D3dScreenVertex& a = v[i];
        const D3dScreenVertex& b = v[(i + 1) % n];
        area += a.x * b.y - b.x * a.y;
    }
    return area;
}

bool Culled(DWORD cullMode, float area)
{
    if (cullMode == D3DCULL_CW)
        return area > 0.0f;
    if (cullMode == D3DCULL_CCW)
        return area < 0.0f;
    return false;
}

struct Assembler
{
    const D3dRasterState& rs;
    const D3dVertexState& vs;
    bool screenSpace;
    bool clip;
    std::vector<ClipVertex>& clipped; // transformed vertices (not screen space)
    std::vector<D3dScreenVertex>& screen;
    std::vector<D3dPrimitive>& out; // what the rasteriser draws, in order

    void AddLine(const D3dScreenVertex& a, const D3dScreenVertex& b)
    {
        D3dPrimitive& p = out.emplace_back();
        p.line = true;
        p.v[0] = a, p.v[1] = b, p.v[2] = b;
    }

    void Polygon(int n, const D3dScreenVertex* poly)
    {
        if (n < 3 || Culled(vs.cullMode, Area(poly, n)))
            return;
        for (int i = 1; i + 1 < n; ++i)
        {
            D3dPrimitive& p = out.emplace_back();
            p.line = false;
            p.v[0] = poly[0], p.v[1] = poly[i], p.v[2] = poly[i + 1];
        }
    }

    void Triangle(unsigned i0, unsigned i1, unsigned i2)
    {
        D3dScreenVertex poly[kMaxPolygon];
        if (screenSpace)
        {
            poly[0] = screen[i0], poly[1] = screen[i1], poly[2] = screen[i2];
            Polygon(3, poly);
            return;
        }
        const ClipVertex& a = clipped[i0];
        const ClipVertex& b = clipped[i1];
        const ClipVertex& c = clipped[i2];
        if (!clip || (a.outside | b.outside | c.outside) == 0)
        {
            if (!(a.w > 0.0f && b.w > 0.0f && c.w > 0.0f))
                return; // unclipped geometry behind the eye cannot be projected
            poly[0] = Project(vs.viewport, a);
            poly[1] = Project(vs.viewport, b);
            poly[2] = Project(vs.viewport, c);
            Polygon(3, poly);
            return;
        }
        if (a.outside & b.outside & c.outside)
            return;
        // A pass adds at most one corner to a convex polygon, but rounding on wild coordinates
        // can break convexity; a pass never more than doubles a polygon, and one grown past
        // the bound is dropped.
        ClipVertex in[kMaxPolygon], out[2 * kMaxPolygon];
        in[0] = a, in[1] = b, in[2] = c;
        if (!rs.gouraud)
            for (int i = 1; i < 3; ++i) // a clipped corner keeps the first vertex's flat colour
                in[i].r = a.r, in[i].g = a.g, in[i].b = a.b, in[i].a = a.a;
        int n = 3;
        const unsigned planes = a.outside | b.outside | c.outside;
        for (int p = 0; p < kPlanes && n >= 3; ++p)
        {
            if (!(planes & (1u << p)))
                continue;
            int m = 0;
            for (int i = 0; i < n; ++i)
            {
                const ClipVertex& s = in[i];
                const ClipVertex& e = in[(i + 1) % n];
                float ds = PlaneDistance(vs.viewport, s, p);
                float de = PlaneDistance(vs.viewport, e, p);
                if (ds >= 0.0f)
                    out[m++] = s;
                if ((ds >= 0.0f) != (de >= 0.0f))
                    out[m++] = Lerp(s, e, ds / (ds - de));
            }
            if (m > kMaxPolygon)
                return;
            std::copy(out, out + m, in);
            n = m;
        }
        if (n < 3)
            return;
        for (int i = 0; i < n; ++i)
        {
            if (!(in[i].w > 0.0f))
                return;
            poly[i] = Project(vs.viewport, in[i]);
        }
        Polygon(n, poly);
    }

    void Line(unsigned i0, unsigned i1)
    {
        if (screenSpace)
        {
            AddLine(screen[i0], screen[i1]);
            return;
        }
        ClipVertex a = clipped[i0], b = clipped[i1];
        if (clip)
        {
            if (a.outside & b.outside)
                return;
            float t0 = 0.0f, t1 = 1.0f;
            for (int p = 0; p < kPlanes; ++p)
            {
                float da = PlaneDistance(vs.viewport, a, p);
                float db = PlaneDistance(vs.viewport, b, p);
                if (da < 0.0f && db < 0.0f)
                    return;
                if (da < 0.0f)
                    t0 = std::max(t0, da / (da - db));
                else if (db < 0.0f)
                    t1 = std::min(t1, da / (da - db));
            }
            if (t0 >= t1)
                return;
            ClipVertex ca = Lerp(a, b, t0), cb = Lerp(a, b, t1);
            a = ca, b = cb;
        }
        if (!(a.w > 0.0f && b.w > 0.0f))
            return;
        AddLine(Project(vs.viewport, a), Project(vs.viewport, b));
    }

    void Point(unsigned i)
    {
        D3dScreenVertex s;
        if (screenSpace)
            s = screen[i];
        else
        {
            const ClipVertex& c = clipped[i];
            if ((clip && c.outside) || !(c.w > 0.0f))
                return;
            s = Project(vs.viewport, c);
        }
        D3dScreenVertex e = s;
        e.x += 1.0f;
        AddLine(s, e);
    }
};

// The rows of pixels from y0 to y1 inside the scissor: those whose centres a triangle covers;
// for a line those it steps through (one at least, a point's).
DWORD Rows(float y0, float y1, bool line, const RECT& scissor)
{
    if (!(y0 > -1e9f && y1 < 1e9f))
        return 0;
    const double top = line ? std::floor(double{y0}) : std::ceil(y0 - 0.5);
    const double end = line ? std::max(std::floor(double{y1}), top + 1.0) : std::ceil(y1 - 0.5);
    const double rows = std::min<double>(end, scissor.bottom) - std::max<double>(top, scissor.top);
    return rows > 0.0 ? static_cast<DWORD>(rows) : 0;
}

// What a call handed to the rasteriser (its primitives from `first` on) that crosses a row of
// the viewport, added to the device's statistics; a point list's primitives are its points.
void Count(D3DSTATS& stats, const RECT& scissor, const std::vector<D3dPrimitive>& primitives,
           size_t first, bool points, DWORD vertexCount)
{
    stats.dwVerticesProcessed += vertexCount;
    for (size_t i = first; i < primitives.size(); ++i)
    {
        const D3dPrimitive& p = primitives[i];
        const int n = p.line ? 2 : 3;
        float y0 = p.v[0].y, y1 = y0;
        for (int k = 1; k < n; ++k)
            y0 = std::min(y0, p.v[k].y), y1 = std::max(y1, p.v[k].y);
        // A primitive crossing no row of the viewport draws nothing.
        const DWORD rows = Rows(y0, y1, p.line, scissor);
        if (rows == 0)
            continue;
        stats.dwSpansDrawn += rows;
        if (!p.line)
            ++stats.dwTrianglesDrawn;
        else if (points)
            ++stats.dwPointsDrawn;
        else
            ++stats.dwLinesDrawn;
    }
}

} // namespace

D3DMATRIX D3dMultiply(const D3DMATRIX& a, const D3DMATRIX& b)
{
    const float* pa = &a._11;
    const float* pb = &b._11;
    D3DMATRIX r;
    float* pr = &r._11;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
        {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += pa[i * 4 + k] * pb[k * 4 + j];
            pr[i * 4 + j] = sum;
        }
    return r;
}

HRESULT D3dDrawVertices(const D3dRasterState& rsIn, const D3dVertexState& vs, D3DPRIMITIVETYPE type,
                        D3DVERTEXTYPE vertexType, const void* vertices, DWORD vertexCount,
                        const WORD* indices, DWORD indexCount, DWORD flags, D3DSTATS& stats)
{
    if (vertices == nullptr && vertexCount > 0)
        return DDERR_INVALIDPARAMS;
    if (vertexType < D3DVT_VERTEX || vertexType > D3DVT_TLVERTEX)
        return D3DERR_INVALIDVERTEXTYPE;
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN)
        return D3DERR_INVALIDPRIMITIVETYPE;
    const DWORD count = indices != nullptr ? indexCount : vertexCount;
    if (indices != nullptr)
        for (DWORD i = 0; i < indexCount; ++i)
            if (indices[i] >= vertexCount)
                return DDERR_INVALIDPARAMS;

    D3dRasterState rs = rsIn;
    const bool screenSpace = vertexType == D3DVT_TLVERTEX;
    const bool clip = !(flags & D3DDP_DONOTCLIP);
    if (screenSpace && !clip)
        // Unclipped screen vertices are still kept inside the surface.
        rs.scissor = {0, 0, static_cast<LONG>(rs.target->width),
                      static_cast<LONG>(rs.target->height)};

    thread_local std::vector<ClipVertex> clipped;
    thread_local std::vector<D3dScreenVertex> screen;
    clipped.clear();
    screen.clear();
    const auto* bytes = static_cast<const uint8_t*>(vertices);
    if (screenSpace)
    {
        screen.resize(vertexCount);
        for (DWORD i = 0; i < vertexCount; ++i)
        {
            D3DTLVERTEX t;
            std::memcpy(&t, bytes + i * sizeof t, sizeof t);
            ClipVertex c{};
            SetColours(c, t.color, t.specular);
            screen[i] = {t.sx, t.sy, t.sz, t.rhw, c.r, c.g, c.b, c.a, c.fog, t.tu, t.tv};
        }
    }
    else
    {
        clipped.resize(vertexCount);
        const D3DMATRIX& m = vs.worldViewProjection;
        for (DWORD i = 0; i < vertexCount; ++i)
        {
            ClipVertex& c = clipped[i];
            float x, y, z;
            if (vertexType == D3DVT_VERTEX)
            {
                D3DVERTEX v;
                std::memcpy(&v, bytes + i * sizeof v, sizeof v);
                x = v.x, y = v.y, z = v.z, c.u = v.tu, c.v = v.tv;
                // The engine places no lights: a vertex takes its material's colour.
                SetColours(c, vs.materialColor, 0xFF000000u);
            }
            else
            {
                D3DLVERTEX v;
                std::memcpy(&v, bytes + i * sizeof v, sizeof v);
                x = v.x, y = v.y, z = v.z, c.u = v.tu, c.v = v.tv;
                SetColours(c, v.color, v.specular);
            }
            c.x = x * m._11 + y * m._21 + z * m._31 + m._41;
            c.y = x * m._12 + y * m._22 + z * m._32 + m._42;
            c.z = x * m._13 + y * m._23 + z * m._33 + m._43;
            c.w = x * m._14 + y * m._24 + z * m._34 + m._44;
            c.outside = Outcode(vs.viewport, c);
        }
    }

    D3dRasterCall call(rs);
    const size_t first = call.Primitives().size();
    Assembler as{rs, vs, screenSpace, clip, clipped, screen, call.Primitives()};
    auto at = [indices](DWORD i) -> unsigned { return indices != nullptr ? indices[i] : i; };
    switch (type)
    {
        case D3DPT_POINTLIST:
            for (DWORD i = 0; i < count; ++i)
                as.Point(at(i));
            break;
        case D3DPT_LINELIST:
            for (DWORD i = 0; i + 1 < count; i += 2)
                as.Line(at(i), at(i + 1));
            break;
        case D3DPT_LINESTRIP:
            for (DWORD i = 0; i + 1 < count; ++i)
                as.Line(at(i), at(i + 1));
            break;
        case D3DPT_TRIANGLELIST:
            for (DWORD i = 0; i + 2 < count; i += 3)
                as.Triangle(at(i), at(i + 1), at(i + 2));
            break;
        case D3DPT_TRIANGLESTRIP:
            // Every other triangle is turned round so that a strip keeps one winding.
            for (DWORD i = 0; i + 2 < count; ++i)
                if (i % 2 == 0)
                    as.Triangle(at(i), at(i + 1), at(i + 2));
                else
                    as.Triangle(at(i + 1), at(i), at(i + 2));
            break;
        case D3DPT_TRIANGLEFAN:
            for (DWORD i = 1; i + 1 < count; ++i)
                as.Triangle(at(0), at(i), at(i + 1));
            break;
    }
    Count(stats, rs.scissor, call.Primitives(), first, type == D3DPT_POINTLIST, vertexCount);
    call.Submit();
    return D3D_OK;
}
