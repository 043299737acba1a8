// Primitive lists built from hand-made levels: one node per run of faces of one texture,
// vertices copied once a run, colours written for the vertex type, texture coordinates fitted
// to padded textures once a vertex, and runs longer than the work area split.
#include "engine/pc/3d/drawprim.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "tests/engine/scene_fixture.h"
#include "tests/engine/texture_slots.h"

namespace
{

struct Face
{
    std::array<uint16_t, 3> v;
    int32_t texture;
    uint32_t colour = 0x11223344; // R G B A bytes of every corner: 0x11, 0x22, 0x33, 0x44
};

class DrawPrimTest : public SceneTest
{
protected:
    // A model whose level is about to be built: vertex i at (i, 2i, 3i), normal (i, -i, 0.5),
    // u = v = 0.5; and the faces given.
    DK_MODEL* Model(int vertices, const std::vector<Face>& faces)
    {
        DK_MODEL* m = nullptr;
        CaptureOutput([&] { m = DkCreateModel(); });
        m->nNumVertices = vertices;
        m->pVertices = static_cast<DK_VERTEX*>(DkHeapAlloc(sizeof(DK_VERTEX) * vertices));
        for (int i = 0; i < vertices; ++i)
            m->pVertices[i] = {static_cast<float>(i),
                               2.0f * i,
                               3.0f * i,
                               {{static_cast<float>(i), -static_cast<float>(i), 0.5f}},
                               0.5f,
                               0.5f};
        m->nNumFaces = static_cast<int32_t>(faces.size());
        auto* f = static_cast<DK_FACE*>(DkHeapAlloc(sizeof(DK_FACE) * faces.size()));
        for (size_t i = 0; i < faces.size(); ++i)
        {
            for (int k = 0; k < 3; ++k)
                f[i].auVertices[k] = faces[i].v[k];
            f[i].nTexture = faces[i].texture;
            for (auto& corner : f[i].aauColours)
                for (int k = 0; k < 4; ++k)
                    corner[k] = static_cast<uint8_t>(faces[i].colour >> (24 - 8 * k));
        }
        m->pFaces = f;
        return m;
    }

    std::string Build(DK_MODEL* m, int type, uint8_t flags = 0)
    {
        return CaptureOutput([&] { DkCreateDrawPrimitiveModel(m, 0, type, flags); });
    }

    static std::vector<const DK_MODEL_NODE*> Nodes(const DK_MODEL* m)
    {
        std::vector<const DK_MODEL_NODE*> nodes;
        for (const DK_MODEL_NODE* n = m->aLevels[0].pFirstNode; n != nullptr; n = n->pNext)
            nodes.push_back(n);
        return nodes;
    }

    TextureSlots textures;
};

TEST_F(DrawPrimTest, EachRunOfOneTextureIsANodeWithItsOwnVertices)
{
    struct Case
    {
        const char* what;
        std::vector<Face> faces;
        std::vector<int32_t> nodeTextures;
        std::vector<int> nodeVertices;
    } cases[] = {
        {"one texture, a shared edge", {{{0, 1, 2}, 1}, {{0, 2, 3}, 1}}, {1}, {4}},
        {"alternating textures",
         {{{0, 1, 2}, 1}, {{0, 2, 3}, 2}, {{1, 2, 3}, 1}, {{0, 1, 3}, 2}},
         {1, 2, 1, 2},
         {3, 3, 3, 3}},
        {"flat, then textured",
         {{{0, 1, 2}, -1}, {{2, 3, 0}, -1}, {{1, 2, 3}, 1}},
         {-1, 1},
         {4, 3}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        DK_MODEL* m = Model(4, c.faces);
        Build(m, DK_VERTEX_LIT, 5);
        EXPECT_EQ(m->aLevels[0].uFlags, 5);
        EXPECT_EQ(m->aLevels[0].nVertexType, DK_VERTEX_LIT);
        const auto nodes = Nodes(m);
        ASSERT_EQ(nodes.size(), c.nodeTextures.size());
        size_t face = 0;
        for (size_t n = 0; n < nodes.size(); ++n)
        {
            const DK_MODEL_NODE& node = *nodes[n];
            EXPECT_EQ(node.nTexture, c.nodeTextures[n]) << n;
            EXPECT_EQ(node.nNumVertices, c.nodeVertices[n]) << n;
            // Each index names the node's copy of the face's vertex.
            for (int i = 0; i < node.nNumIndices; ++i)
            {
                const Face& f = c.faces[face + i / 3];
                const uint16_t source = f.v[i % 3];
                ASSERT_LT(node.puIndices[i], node.nNumVertices);
                EXPECT_EQ(node.pVertices[node.puIndices[i]].x, static_cast<float>(source));
                EXPECT_EQ(node.pfPositions[3 * node.puIndices[i]], static_cast<float>(source))
                    << "the saved normal x";
            }
            face += node.nNumIndices / 3;
        }
        EXPECT_EQ(face, c.faces.size());
    }
}

TEST_F(DrawPrimTest, ColoursFollowTheVertexType)
{
    // Vertex 0 is shared by a textured face and, later, a flat one.
    const std::vector<Face> faces = {{{0, 1, 2}, 1, 0x10203040}, {{0, 3, 4}, -1, 0x50607080}};

    DK_MODEL* lit = Model(5, faces);
    Build(lit, DK_VERTEX_LIT);
    const auto nodes = Nodes(lit);
    ASSERT_EQ(nodes.size(), 2u);
    // A R G B from the high byte down.
    EXPECT_EQ(nodes[0]->pVertices[1].Lit.uColour, 0x40102030u);
    EXPECT_EQ(nodes[0]->pVertices[1].Lit.uSpecular, 0xFF000000u);
    EXPECT_EQ(nodes[0]->pVertices[0].Lit.uColour, 0xFF000000u)
        << "the flat face turns the shared vertex black for the textured node too";
    EXPECT_EQ(nodes[1]->pVertices[2].Lit.uColour, 0xFF000000u);
    EXPECT_EQ(nodes[1]->pVertices[2].Lit.uSpecular, 0xFF000000u);
    EXPECT_EQ(nodes[0]->pfPositions[3 * 1 + 1], -1.0f) << "the normal saved before";

    DK_MODEL* unlit = Model(5, faces);
    Build(unlit, DK_VERTEX_UNLIT);
    const auto plain = Nodes(unlit);
    ASSERT_EQ(plain.size(), 2u);
    EXPECT_EQ(plain[0]->pVertices[1].afNormal[1], -1.0f) << "a textured face keeps its normal";
    EXPECT_EQ(plain[1]->pVertices[1].Lit.uColour, 0xFF000000u);
    EXPECT_EQ(plain[1]->pVertices[1].afNormal[0], 3.0f) << "only the middle word is written";
    EXPECT_EQ(plain[1]->pVertices[1].afNormal[2], 0.5f);

    DK_MODEL* screen = Model(5, faces);
    EXPECT_TRUE(Reported(Build(screen, DK_VERTEX_SCREEN),
                         "TLVERTICES not yet supported in DRAWPRIMITIVE creation"));
    ASSERT_EQ(Nodes(screen).size(), 2u);
    EXPECT_EQ(Nodes(screen)[0]->pVertices[0].afNormal[1], 0.0f) << "left as the reader wrote it";
}

TEST_F(DrawPrimTest, TextureCoordinatesLeaveOutTheLeastPaddingOnceAVertex)
{
    // 16 x 16 with 4 added rows; 32 x 32 with 8 added columns; one without a surface.
    textures.Put(5, 50, 0, 16, 16, 0, 4);
    textures.Put(6, 60, 0, 32, 32, 8, 0);
    textures.Put(7, 70);
    DK_MODEL* m = Model(7, {{{5, 6, 0}, 7}, {{0, 1, 2}, 5}, {{2, 3, 4}, 6}, {{4, 5, 6}, 6}});
    Build(m, DK_VERTEX_LIT);
    const DK_VERTEX* v = m->pVertices;
    // Vertex 0: a face of the surfaceless texture first, then the padded one.
    EXPECT_FLOAT_EQ(v[0].v, 0.5f * 12 / 16);
    EXPECT_FLOAT_EQ(v[0].u, 0.5f);
    // Vertex 2: texture 5's face came first.
    EXPECT_FLOAT_EQ(v[2].v, 0.375f);
    EXPECT_FLOAT_EQ(v[2].u, 0.5f);
    EXPECT_FLOAT_EQ(v[3].u, 0.5f * 24 / 32);
    EXPECT_FLOAT_EQ(v[3].v, 0.5f);
    // Vertex 4 is used by two faces of texture 6 and scaled once.
    EXPECT_FLOAT_EQ(v[4].u, 0.375f);
    EXPECT_FLOAT_EQ(v[5].u, 0.375f) << "vertex 5 came first with the surfaceless texture";
}

TEST_F(DrawPrimTest, ARunLongerThanTheWorkAreaGoesOnInANodeOfTheSameTexture)
{
    std::vector<Face> faces;
    for (int i = 0; i < DK_DRAWPRIM_MAX_NODE_FACES + 5; ++i)
        faces.push_back({{static_cast<uint16_t>(i % 1000), static_cast<uint16_t>((i + 1) % 1000),
                          static_cast<uint16_t>((i + 7) % 1000)},
                         3});
    DK_MODEL* m = Model(1000, faces);
    EXPECT_EQ(CountReports(Build(m, DK_VERTEX_LIT)), 0);
    const auto nodes = Nodes(m);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0]->nNumIndices, 3 * DK_DRAWPRIM_MAX_NODE_FACES);
    EXPECT_EQ(nodes[1]->nNumIndices, 3 * 5);
    for (const DK_MODEL_NODE* n : nodes)
    {
        EXPECT_EQ(n->nTexture, 3);
        for (int i = 0; i < n->nNumIndices; ++i)
            ASSERT_LT(n->puIndices[i], n->nNumVertices);
    }
    EXPECT_EQ(nodes[1]->pNext, nullptr);
}

TEST_F(DrawPrimTest, LevelsTheTablesCannotHoldAreRefused)
{
    DK_MODEL* big = Model(DK_DRAWPRIM_MAX_SHAPE_VERTICES + 1, {{{0, 1, 2}, -1}});
    EXPECT_TRUE(Reported(Build(big, DK_VERTEX_LIT),
                         "DkCreateDrawPrimitiveModel() : a level of 1025 vertices"));
    EXPECT_EQ(big->aLevels[0].pFirstNode, nullptr);
    DK_MODEL* outside = Model(3, {{{0, 1, 3}, -1}});
    EXPECT_TRUE(Reported(Build(outside, DK_VERTEX_LIT),
                         "DkCreateDrawPrimitiveModel() : face 0 uses vertex 3 of 3"));
    EXPECT_EQ(outside->aLevels[0].pFirstNode, nullptr);
}

} // namespace
