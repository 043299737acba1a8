// What the renderer's and the fog's tests share: the overlay tests' display and device, the
// device's call log read back as text, hand-built models (one level, lists of lit or device-lit
// vertices) on actors, texture and material slots that only carry handles, capability sets,
// and the renderer's switches put back after each test.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_model.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_fog.h"
#include "tests/engine/overlay_fixture.h"
#include "tests/engine/scene_fixture.h"

// A lit vertex.
inline DK_VERTEX Lit(float x, float y, float z, uint32_t uColour = 0xFFFFFFFF, float u = 0.0f,
                     float v = 0.0f)
{
    DK_VERTEX vertex{};
    vertex.x = x;
    vertex.y = y;
    vertex.z = z;
    vertex.Lit.uColour = uColour;
    vertex.Lit.uSpecular = 0xFF000000;
    vertex.u = u;
    vertex.v = v;
    return vertex;
}

class RenderTest : public OverlayTest
{
protected:
    void SetUp() override
    {
        OverlayTest::SetUp();
        if (HasFatalFailure())
            return;
        hardwareTexturing = d3d->nHardwareTexturing;
        ASSERT_NE(d3d->nHardwareTexturing, 0) << "the display's device textures";
        DkSetAlwaysDrawOnly(0);
        DkSetObjectDetailLevel(3);
        output += CaptureOutput([] { DkDisableFog(); });
        DkSetFogDensity(1.0f);
        D3dStartCallLog();
    }

    void TearDown() override
    {
        D3dStopCallLog();
        for (auto it = savedTextures.rbegin(); it != savedTextures.rend(); ++it)
            d3d->apTextures[it->first] = it->second;
        for (auto it = savedMaterials.rbegin(); it != savedMaterials.rend(); ++it)
            d3d->apMaterials[it->first] = it->second;
        d3d->nHardwareTexturing = hardwareTexturing;
        gboActorTintLighting = 0;
        gpHorizonActor = nullptr;
        gpRenderCameraActor = nullptr;
        gxObjectDistance = 0;
        gFogEyePoint = {0, 0, 0};
        DkSetAlwaysDrawOnly(0);
        DkSetObjectDetailLevel(3);
        output += CaptureOutput(
            []
            {
                DkDisableFog();
                DkKillAllObjects();
            });
        OverlayTest::TearDown();
    }

    // The device's description changed by change, read again as the 3D set-up reads it.
    template <typename Change> void Card(Change change)
    {
        D3DDEVICEDESC desc = card;
        change(desc.dpcTriCaps);
        D3dSetHardwareDescriptionForTests(&desc);
        DkGet3DCapabilities();
    }

    // Slot nSlot holds a texture of device handle uHandle whose own material is slot
    // nMaterial; a material slot holds only its handle.
    void FakeTexture(int nSlot, uint32_t uHandle, int nMaterial)
    {
        auto& t = fakeTextureRecords.emplace_back(std::make_unique<DK_TEXTURE>());
        std::memset(t.get(), 0, sizeof *t);
        t->uHandle = uHandle;
        t->nMaterial = static_cast<int16_t>(nMaterial);
        UseTexture(nSlot, t.get());
    }
    // Slot nSlot holds pTexture until the test ends.
    void UseTexture(int nSlot, DK_TEXTURE* pTexture)
    {
        savedTextures.push_back({nSlot, d3d->apTextures[nSlot]});
        d3d->apTextures[nSlot] = pTexture;
    }
    void FakeMaterial(int nSlot, uint32_t uHandle)
    {
        auto& m = fakeMaterialRecords.emplace_back(std::make_unique<DK_MATERIAL>());
        *m = DK_MATERIAL{};
        m->uHandle = uHandle;
        savedMaterials.push_back({nSlot, d3d->apMaterials[nSlot]});
        d3d->apMaterials[nSlot] = m.get();
    }

    // The display made again in its second mode (640x480 beside the first, 320x240), on a card
    // whose triangle capabilities change makes; the call log starts again.
    template <typename Change> void ReopenInSecondMode(Change change)
    {
        D3dStopCallLog();
        output += CaptureOutput([] { DkDestroyDisplay(); });
        DkForgetDisplayCapabilities();
        DkClear3DCapabilities();
        const DdMode modes[] = {{kDisplayWidth, kDisplayHeight, 16}, {640, 480, 16}};
        DdSetModesForTests(modes, 2, 0x7E0);
        D3DDEVICEDESC desc = card;
        change(desc.dpcTriCaps);
        D3dSetHardwareDescriptionForTests(&desc);
        output += CaptureOutput(
            []
            {
                DkInitialiseDisplay(nullptr, 1, "c:\\none.pal", DKID_16BIT, DKLF_AS_GIVEN);
                DkInit3D();
                DkInitialisePolyBlits();
                DkInitialise2DTriangles();
            });
        ASSERT_EQ(DkGetDisplayModeIndex(), 1) << output;
        D3dStartCallLog();
        seen = 0;
    }

    // A list on the heap: its texture slot, vertices and triangle indices.
    static DK_MODEL_NODE* Node(int32_t nTexture, std::initializer_list<DK_VERTEX> vertices,
                               std::initializer_list<uint16_t> indices)
    {
        auto* node = static_cast<DK_MODEL_NODE*>(DkHeapAlloc(sizeof(DK_MODEL_NODE)));
        node->nTexture = nTexture;
        node->nNumVertices = static_cast<int32_t>(vertices.size());
        node->pVertices = static_cast<DK_VERTEX*>(DkHeapAlloc(sizeof(DK_VERTEX) * vertices.size()));
        std::copy(vertices.begin(), vertices.end(), node->pVertices);
        node->nNumIndices = static_cast<int32_t>(indices.size());
        node->puIndices =
            static_cast<uint16_t*>(DkHeapAlloc(sizeof(uint16_t) * (indices.size() + 1)));
        std::copy(indices.begin(), indices.end(), node->puIndices);
        return node;
    }
    // A quad of lit vertices in the plane z = 0, all of one colour.
    static DK_MODEL_NODE* Quad(int32_t nTexture, uint32_t uColour = 0xFFFFFFFF, float size = 1.0f)
    {
        return Node(nTexture,
                    {Lit(-size, -size, 0, uColour, 0, 1), Lit(-size, size, 0, uColour, 0, 0),
                     Lit(size, size, 0, uColour, 1, 0), Lit(size, -size, 0, uColour, 1, 1)},
                    {0, 1, 2, 0, 2, 3});
    }

    // A one-level model of the given lists (chained in order).
    static DK_MODEL* Model(std::initializer_list<DK_MODEL_NODE*> nodes,
                           int32_t nVertexType = DK_VERTEX_LIT, uint8_t uFlags = 0)
    {
        DK_MODEL* model = DkCreateModel();
        model->uNumLevels = 1;
        model->Scale = {ONE, ONE, ONE};
        DK_MODEL_LEVEL& level = model->aLevels[0];
        level.nVertexType = nVertexType;
        level.uFlags = uFlags;
        DK_MODEL_NODE** link = &level.pFirstNode;
        for (DK_MODEL_NODE* node : nodes)
        {
            *link = node;
            link = &node->pNext;
        }
        return model;
    }
    static void MakeWorldSpace(DK_MODEL* model) { model->Scale = {-ONE, -ONE, -ONE}; }

    DK_ACTOR* World()
    {
        if (DkGetWorldActor() == nullptr)
            output += CaptureOutput([] { DkCreateWorldActor(); });
        return DkGetWorldActor();
    }
    // An actor holding model under parent (the world when NULL), in every pass.
    DK_ACTOR* Actor(DK_MODEL* model, DK_ACTOR* parent = nullptr, uint32_t uId = 0)
    {
        DK_ACTOR* actor = DkCreateActor(parent != nullptr ? parent : World());
        if (model != nullptr)
            DkSetActorObject(actor, DK_ACTOR_MODEL, model);
        actor->uId = uId;
        return actor;
    }
    // The drawing confined to the corner the golden frames compare, as the scene frame makes a
    // view's viewport.
    void CornerViewport()
    {
        D3DVIEWPORT2 corner{};
        corner.dwSize = sizeof corner;
        corner.dwWidth = kWidth;
        corner.dwHeight = kHeight;
        corner.dvClipX = -1.0f;
        corner.dvClipY = static_cast<float>(kWidth) / kHeight;
        corner.dvClipWidth = 2.0f;
        corner.dvClipHeight = 2.0f * kWidth / kHeight;
        corner.dvMaxZ = 1.0f;
        ASSERT_EQ(d3d->lpD3DViewport2->SetViewport2(&corner), D3D_OK);
    }

    // The world matrices and their device copies, as the scene frame makes them.
    void UpdateActors()
    {
        DkUpdateActorTree(World());
        DkSyncActorTreeD3D(World());
    }

    // The log since it was last read, as text: "NAME value" for render states (by their
    // names below), "material h", "world", "view" or "projection", "draw t v/i" (vertex
    // type, vertex and index counts), "begin", "end".
    std::vector<std::string> Calls()
    {
        std::vector<std::string> text;
        const auto& log = D3dCallLog();
        for (; seen < log.size(); ++seen)
            text.push_back(Text(log[seen]));
        return text;
    }
    // The draws since the log was last read.
    std::vector<D3dLoggedCall> Draws()
    {
        std::vector<D3dLoggedCall> draws;
        const auto& log = D3dCallLog();
        for (; seen < log.size(); ++seen)
            if (log[seen].call == D3dCall::Draw)
                draws.push_back(log[seen]);
        return draws;
    }
    void Forget() { seen = D3dCallLog().size(); }

    static std::string StateName(DWORD state)
    {
        switch (state)
        {
            case D3DRENDERSTATE_TEXTUREHANDLE:
                return "TEXTUREHANDLE";
            case D3DRENDERSTATE_ANTIALIAS:
                return "ANTIALIAS";
            case D3DRENDERSTATE_TEXTUREADDRESS:
                return "TEXTUREADDRESS";
            case D3DRENDERSTATE_TEXTUREPERSPECTIVE:
                return "TEXTUREPERSPECTIVE";
            case D3DRENDERSTATE_ZENABLE:
                return "ZENABLE";
            case D3DRENDERSTATE_FILLMODE:
                return "FILLMODE";
            case D3DRENDERSTATE_SHADEMODE:
                return "SHADEMODE";
            case D3DRENDERSTATE_ZWRITEENABLE:
                return "ZWRITEENABLE";
            case D3DRENDERSTATE_TEXTUREMAG:
                return "TEXTUREMAG";
            case D3DRENDERSTATE_TEXTUREMIN:
                return "TEXTUREMIN";
            case D3DRENDERSTATE_SRCBLEND:
                return "SRCBLEND";
            case D3DRENDERSTATE_DESTBLEND:
                return "DESTBLEND";
            case D3DRENDERSTATE_TEXTUREMAPBLEND:
                return "TEXTUREMAPBLEND";
            case D3DRENDERSTATE_CULLMODE:
                return "CULLMODE";
            case D3DRENDERSTATE_ZFUNC:
                return "ZFUNC";
            case D3DRENDERSTATE_DITHERENABLE:
                return "DITHERENABLE";
            case D3DRENDERSTATE_ALPHABLENDENABLE:
                return "ALPHABLENDENABLE";
            case D3DRENDERSTATE_FOGENABLE:
                return "FOGENABLE";
            case D3DRENDERSTATE_SPECULARENABLE:
                return "SPECULARENABLE";
            case D3DRENDERSTATE_STIPPLEDALPHA:
                return "STIPPLEDALPHA";
            case D3DRENDERSTATE_FOGCOLOR:
                return "FOGCOLOR";
            case D3DRENDERSTATE_COLORKEYENABLE:
                return "COLORKEYENABLE";
        }
        return "state" + std::to_string(state);
    }

    static std::string Text(const D3dLoggedCall& c)
    {
        switch (c.call)
        {
            case D3dCall::RenderState:
                return StateName(c.what) + " " + std::to_string(c.value);
            case D3dCall::LightState:
                return "material " + std::to_string(c.value);
            case D3dCall::Transform:
                return c.what == D3DTRANSFORMSTATE_WORLD  ? "world"
                       : c.what == D3DTRANSFORMSTATE_VIEW ? "view"
                                                          : "projection";
            case D3dCall::Draw:
                return "draw " + std::to_string(c.value) + " " + std::to_string(c.vertices.size()) +
                       "/" + std::to_string(c.indices.size());
            case D3dCall::BeginScene:
                return "begin";
            case D3dCall::EndScene:
                return "end";
            case D3dCall::SetViewport:
                return "viewport";
            case D3dCall::CurrentViewport:
                return "current viewport";
            case D3dCall::Clear:
                return "clear";
        }
        return "?";
    }

    int32_t hardwareTexturing = 0;
    size_t seen = 0;

private:
    std::vector<std::unique_ptr<DK_TEXTURE>> fakeTextureRecords;
    std::vector<std::unique_ptr<DK_MATERIAL>> fakeMaterialRecords;
    std::vector<std::pair<int, DK_TEXTURE*>> savedTextures;
    std::vector<std::pair<int, DK_MATERIAL*>> savedMaterials;
};
