// The span pipeline the triangle and line set-up hands its spans to. Each span is cut into
// chunks and passes three stages, each specialised by template on the states it depends on and
// chosen once per primitive:
//   depth   - the Z test, giving a mask of pixels still to draw;
//   shade   - vertex colour and texture (filter, perspective, texture blend, colour key);
//   output  - fog, frame-buffer blend or stipple, pixel format, Z write.
#pragma once

#include <cstdint>

#include "platform/d3d/d3d_internal.h"

namespace d3dspan
{

enum Attr
{
    kZ,
    kQ, // rhw, or 1 for affine texturing
    kU, // u * rhw, or u
    kV,
    kR,
    kG,
    kB,
    kA,
    kFog,
    kAttrCount
};

// Fixed-point forms of the depth, colour and fog interpolants: 16 fraction bits, rounding bias
// included, so a pixel's value is (start + i * step) >> 16.
enum Fixed
{
    kFixZ,
    kFixR,
    kFixG,
    kFixB,
    kFixA,
    kFixFog,
    kFixCount
};

// Which fixed-point interpolants stay inside their range (0..65535 for Z, 0..255 for the others)
// at every pixel of a span: those need no clamping and fit unsigned 32-bit lanes.
enum InRange : uint8_t
{
    kZInRange = 1,
    kColoursInRange = 2,
    kFogInRange = 4,
};

// Interpolants of one chunk: value at its first pixel and step per pixel. Of the float ones
// only the texture's (kQ, kU, kV) are read; depth, colour and fog are read in fixed point.
struct Chunk
{
    int x, y, n;
    float start[kAttrCount];
    float step[kAttrCount];
    // Set for what the pipeline reads only (Pipeline::colour, Pipeline::fog); the others are
    // never read.
    int64_t fixStart[kFixCount];
    int64_t fixStep[kFixCount];
    uint8_t inRange; // InRange bits
};

struct Scratch;
using DepthFn = int (*)(const D3dRasterState&, const Chunk&, Scratch&);
using StageFn = void (*)(const D3dRasterState&, const Chunk&, Scratch&);

// The stages chosen for a primitive.
struct Pipeline
{
    DepthFn depth;
    StageFn shade, output;
    bool colour, fog; // whether the stages read the vertex colour, the fog factor
};

Pipeline PickPipeline(const D3dRasterState& rs, bool perspective);

// Draws the pixels c.x .. xEnd - 1 of row c.y, from the values at c.x and their change per pixel
// (start and step, fixStart and fixStep, inRange); c is used up.
void RunSpan(const Pipeline& p, const D3dRasterState& rs, Chunk& c, int xEnd);

// Sets a chunk's fixed-point interpolants and inRange from its float ones (start and step of
// every attribute), for primitives not set up in fixed point.
void FixFromFloats(Chunk& c);

} // namespace d3dspan
