// The DK3D writer: the bytes it lays down, the texture coordinates it stores for the reader's
// rule, and the scenes it refuses because the format cannot hold them.
#include "tools/datakit/c3d_writer.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace
{

using namespace datakit;

uint32_t Word(const std::vector<uint8_t>& b, size_t at, int bytes = 4)
{
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return v;
}

C3dShape Triangle(const std::string& name)
{
    C3dShape s;
    s.name = name;
    s.vertices.resize(3);
    s.vertices[1].u = 1.5;
    s.vertices[1].v = 0.75;
    s.vertices[2].u = 1.0;
    s.faces.resize(1);
    s.faces[0].vertices = {0, 1, 2};
    return s;
}

TEST(C3dWriter, LaysOutTheHeaderAndRecordsInOrder)
{
    C3dScene scene;
    scene.textures = {{"GREY", C3dSolidBmp(4, 4, {9, 9, 9, 255}), {}}, {"ANIM", {}, {{0, 3}}}};
    scene.shapes = {Triangle("TRI")};
    scene.shapes[0].faces[0].texture = 1;
    scene.shapes[0].faces[0].surface = 77;
    scene.objects = {C3dObject{}};
    scene.objects[0].shapes = {0, -1};
    scene.objects[0].matrix = C3dTranslation(1.0, -2.0, 0.5);
    scene.objects[0].flags = 0x1005;
    C3dLayout at;
    const std::vector<uint8_t> b = FormatC3d(scene, &at);

    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "DK3D");
    EXPECT_EQ(Word(b, 4), 100u);
    EXPECT_EQ(Word(b, 12, 2), 1u);
    EXPECT_EQ(Word(b, 14, 2), 1u);
    EXPECT_EQ(Word(b, 16, 2), 2u);
    EXPECT_EQ(Word(b, 20), at.objects[0]);
    EXPECT_EQ(Word(b, 24), at.shapes[0]);
    EXPECT_EQ(Word(b, 28), at.textures[0]);
    EXPECT_EQ(at.textures[0], 32u);
    // Texture records: name, length, data; the animation's frames after 8 bytes.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[32]), 4), "GREY");
    EXPECT_EQ(at.textures[1], 32 + 16 + Word(b, 32 + 12));
    const size_t anim = at.textures[1] + 16;
    EXPECT_EQ(Word(b, at.textures[1] + 12), 12u);
    EXPECT_EQ(b[anim], 'A');
    EXPECT_EQ(b[anim + 4], 1);
    EXPECT_EQ(Word(b, anim + 8, 2), 0u);
    EXPECT_EQ(b[anim + 10], 3);
    // The shape: its length, counts, unit scale, then vertex 1's u and v as stored.
    const size_t s = at.shapes[0];
    EXPECT_EQ(Word(b, s + 12), 48u + 3 * 32 + 24);
    EXPECT_EQ(Word(b, s + 16, 2), 3u);
    EXPECT_EQ(Word(b, s + 18, 2), 1u);
    EXPECT_EQ(Word(b, s + 24), 0x10000u);
    EXPECT_EQ(Word(b, s + 48 + 32 + 12), 0x28000u) << "u 1.5 is stored as 2.5";
    EXPECT_EQ(Word(b, s + 48 + 32 + 16), 0xFFFFC000u) << "v 0.75 is stored as -0.25";
    EXPECT_EQ(Word(b, s + 48 + 64 + 12), 0x10000u) << "u 1.0 is stored as it is";
    const size_t face = s + 48 + 96;
    EXPECT_EQ(Word(b, face + 8, 2), 1u);
    EXPECT_EQ(Word(b, face + 22, 2), 77u);
    // The object: length, parent, matrix, flags, levels, shapes.
    const size_t o = at.objects[0];
    EXPECT_EQ(Word(b, o), 84u);
    EXPECT_EQ(Word(b, o + 4, 2), 0xFFFFu);
    EXPECT_EQ(Word(b, o + 8), 0x10000u);
    EXPECT_EQ(Word(b, o + 8 + 48 + 4), 0xFFFE0000u) << "translation y -2.0";
    EXPECT_EQ(Word(b, o + 72), 0x1005u);
    EXPECT_EQ(b[o + 76], 2);
    EXPECT_EQ(Word(b, o + 80, 2), 0u);
    EXPECT_EQ(Word(b, o + 82, 2), 0xFFFFu);
    EXPECT_EQ(b.size(), o + 84);
}

TEST(C3dWriter, RefusesWhatTheFormatCannotHold)
{
    struct Case
    {
        const char* what;
        std::function<void(C3dScene&)> change;
    } cases[] = {
        {"an empty name", [](C3dScene& s) { s.shapes[0].name = ""; }},
        {"a 13-character name", [](C3dScene& s) { s.textures[0].name = "THIRTEENCHARS"; }},
        {"2,049 shapes", [](C3dScene& s) { s.shapes.resize(2049, s.shapes[0]); }},
        {"5 levels",
         [](C3dScene& s) {
             s.objects[0].shapes = {0, 0, 0, 0, 0};
         }},
        {"1,025 vertices", [](C3dScene& s) { s.shapes[0].vertices.resize(1025); }},
        {"17 frames", [](C3dScene& s) { s.textures[1].frames.resize(17); }},
        {"a frame of a later texture", [](C3dScene& s) { s.textures[1].frames[0].texture = 1; }},
        {"an image taken for an animation",
         [](C3dScene& s) {
             s.textures[0].image = {'A', 0};
         }},
        {"no image", [](C3dScene& s) { s.textures[0].image.clear(); }},
        {"vertex index V", [](C3dScene& s) { s.shapes[0].faces[0].vertices[2] = 3; }},
        {"texture index = count", [](C3dScene& s) { s.shapes[0].faces[0].texture = 2; }},
        {"texture index -2", [](C3dScene& s) { s.shapes[0].faces[0].texture = -2; }},
        {"shape index = count", [](C3dScene& s) { s.objects[0].shapes = {1}; }},
        {"parent -2", [](C3dScene& s) { s.objects[0].parent = -2; }},
        {"a parent made later",
         [](C3dScene& s)
         {
             s.objects.push_back(C3dObject{});
             s.objects[1].parent = 1;
         }},
        {"beyond 16.16", [](C3dScene& s) { s.shapes[0].vertices[0].x = 40000.0; }},
    };
    C3dScene good;
    good.textures = {{"GREY", C3dSolidBmp(4, 4, {9, 9, 9, 255}), {}}, {"ANIM", {}, {{0, 3}}}};
    good.shapes = {Triangle("TRI")};
    good.objects = {C3dObject{}};
    good.objects[0].shapes = {0};
    EXPECT_NO_THROW(FormatC3d(good));
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        C3dScene scene = good;
        c.change(scene);
        EXPECT_THROW(FormatC3d(scene), Error);
    }
    C3dGridOptions tooMany;
    tooMany.columns = 65;
    tooMany.rows = 64;
    EXPECT_THROW(C3dBlockGrid(tooMany), Error) << "4,160 blocks";
}

TEST(C3dWriter, TheBuildersMakeWhatTheyPromise)
{
    C3dGridOptions grid;
    grid.columns = 4;
    grid.rows = 2;
    grid.animatedSign = true;
    const C3dScene track = C3dBlockGrid(grid);
    EXPECT_EQ(track.objects.size(), 9u) << "a root and a block each";
    EXPECT_TRUE(track.objects[0].shapes.empty());
    EXPECT_EQ(track.objects[1].matrix[3][2], 24.0) << "row 0 holds the largest z";
    EXPECT_EQ(track.objects[8].matrix[3][0], 56.0);
    EXPECT_EQ(track.textures[2].frames.size(), 2u);
    EXPECT_NO_THROW(FormatC3d(track));

    const C3dScene scenery = C3dScenery(2, 3);
    int roots = 0;
    for (const C3dObject& o : scenery.objects)
        roots += o.parent == -1;
    EXPECT_EQ(roots, 1 + 3) << "the signpost and the posts";
    EXPECT_EQ(scenery.objects[4].parent, -1) << "the first actor follows two fixed models";
    EXPECT_NO_THROW(FormatC3d(scenery));

    const C3dScene car = C3dCar(C3dCarParts::None);
    EXPECT_EQ(car.objects[0].shapes.size(), 2u);
    // The body, the origin's dummy (the reflection shell's place), four wheels, the head, the
    // sway pivot and the id-111 part.
    EXPECT_EQ(car.objects.size(), 9u);
    EXPECT_EQ(car.objects[1].parent, 0);
    EXPECT_TRUE(car.objects[1].shapes.empty());
    EXPECT_NO_THROW(FormatC3d(car));
    // The damageable parts: under the body, attribute 6 + part number, then the main body; each
    // with its rest, damaged and rest shapes, the damaged one pushed in.
    for (C3dCarParts parts : {C3dCarParts::Full, C3dCarParts::Medium})
    {
        const C3dScene damageable = C3dCar(parts);
        const size_t count = parts == C3dCarParts::Full ? 11 : 9;
        std::vector<uint32_t> ids;
        for (const C3dObject& o : damageable.objects)
            if (o.parent == 0 && o.flags >= 6 && !o.shapes.empty())
            {
                ids.push_back(o.flags);
                ASSERT_EQ(o.shapes.size(), 3u);
                EXPECT_EQ(o.shapes[0], o.shapes[2]);
                const C3dShape& rest = damageable.shapes[o.shapes[0]];
                const C3dShape& damaged = damageable.shapes[o.shapes[1]];
                ASSERT_EQ(rest.vertices.size(), damaged.vertices.size());
                EXPECT_LE(rest.vertices.size(), o.flags == 111 ? 100u : 1024u);
                double moved = 0;
                for (size_t k = 0; k < rest.vertices.size(); ++k)
                    moved += std::abs(rest.vertices[k].x - damaged.vertices[k].x) +
                             std::abs(rest.vertices[k].y - damaged.vertices[k].y) +
                             std::abs(rest.vertices[k].z - damaged.vertices[k].z);
                EXPECT_GT(moved, 0.0) << o.flags;
                EXPECT_NE(rest.faces[0].texture, damaged.faces[0].texture);
            }
        ASSERT_EQ(ids.size(), count + 1);
        for (size_t k = 0; k < count; ++k)
            EXPECT_EQ(ids[k], 6 + k);
        EXPECT_EQ(ids.back(), 111u);
        EXPECT_NO_THROW(FormatC3d(damageable));
    }
}

} // namespace
