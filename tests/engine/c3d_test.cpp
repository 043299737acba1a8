// DK3D files written by dezor-datakit, loaded on the display's devices: what each load kind
// makes and where, textures found, reloaded and compared by name, levels shared by shape name,
// faces coloured by kind, and corrupt files refused whole before anything is made.
#include "engine/pc/3d/c3d.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_model.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/3d/dk_anim.h"
#include "engine/pc/3d/dk_light.h"
#include "engine/pc/3d/dk_mats.h"
#include "engine/pc/3d/dk_tblk.h"
#include "engine/pc/3d/drawprim.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/main.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_dvice.h"
#include "engine/pc/display/dk_image.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/win/win.h"
#include "tests/engine/device_fixture.h"
#include "tests/support/engine_test.h"
#include "tools/datakit/c3d_writer.h"
#include "tools/datakit/image_writer.h"

namespace
{

using namespace datakit;
using Bytes = std::vector<uint8_t>;

constexpr int32_t ONE = 0x10000;

// What the engine's tables hold, to tell what a load made.
struct Counts
{
    uint32_t actors, models, fixed, blocks, textures, materials, anims;
    bool operator==(const Counts&) const = default;
};

Counts Now()
{
    return {guNumActors,   guNumModels,    guNumFixedModels, guNumTrackBlocks,
            guNumTextures, guNumMaterials, guNumAnimTextures};
}

std::ostream& operator<<(std::ostream& os, const Counts& c)
{
    return os << "{actors " << c.actors << ", models " << c.models << ", fixed " << c.fixed
              << ", blocks " << c.blocks << ", textures " << c.textures << ", materials "
              << c.materials << ", animated " << c.anims << "}";
}

C3dFace F(uint16_t a, uint16_t b, uint16_t c, int texture = -1, C3dRgba colour = {1, 2, 3, 4})
{
    C3dFace face;
    face.vertices = {a, b, c};
    face.texture = texture;
    face.colours = {colour, {5, 6, 7, 8}, {9, 10, 11, 12}};
    return face;
}

// A triangle shape whose corners are (x, 0, 0), (0, y, 0), (0, 0, z).
C3dShape Tri(const std::string& name, int texture = -1, double x = 1, double y = 1, double z = 1)
{
    C3dShape s;
    s.name = name;
    s.vertices = {C3dVertexAt(x, 0, 0, 0.25, 0.5), C3dVertexAt(0, y, 0, 1.5, 0.75),
                  C3dVertexAt(0, 0, z, 1.0, 0.0)};
    s.faces = {F(0, 1, 2, texture)};
    return s;
}

C3dObject Obj(int parent, std::vector<int> shapes, C3dMatrix m = C3dIdentity(), uint32_t flags = 0)
{
    return C3dPlaced(parent, std::move(shapes), m, flags);
}

C3dTexture Tex(const std::string& name, C3dRgba colour = {200, 40, 40, 255})
{
    return {name, C3dSolidBmp(16, 16, colour), {}};
}

const DK_FACE* FacesOf(const DK_MODEL* m)
{
    return static_cast<const DK_FACE*>(m->pFaces);
}

DK_MODEL* ModelOf(const DK_ACTOR* a)
{
    return a != nullptr && a->uType == DK_ACTOR_MODEL ? static_cast<DK_MODEL*>(a->pObject)
                                                      : nullptr;
}

void Put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool gboMediumDetail = false;
BOOL MediumDetail(void)
{
    return gboMediumDetail ? TRUE : FALSE;
}

// The display and device of device_fixture.h, a world actor, and the reader's switches at
// their starting values. 16 bits give the hardware-like device with hardware texturing, 8 bits
// the software one without.
class C3dTest : public DeviceTest
{
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        ResetSwitches();
        DK_ENTRIES entries{};
        entries.IsMediumDetailCar = MediumDetail;
        DkRegisterEntries(&entries);
    }

    void ResetSwitches()
    {
        gboC3dLoadOption = FALSE;
        gboActorTintLighting = 0;
        gboCarVertexLighting = 0;
        gpGrassTexture = nullptr;
        gboMediumDetail = false;
    }

    // A display afresh, with the heap a stage has.
    void Open(int bits, int type = 0, uint32_t heapBytes = 24 * 1024 * 1024)
    {
        Close();
        DeviceTest::Open(bits, {}, type, heapBytes);
        ASSERT_EQ(d3d->nHardwareTexturing, bits == 16 ? 1 : 0);
        DkInitialiseTrigTables();
        output += CaptureOutput([&] { world = DkCreateWorldActor(); });
        opened = true;
    }

    void Close()
    {
        if (!opened)
            return;
        output += CaptureOutput(
            []
            {
                DkKillAllObjects();
                DkDestroyDisplay();
                DkCallAllDestructors();
            });
        EXPECT_EQ(DdLiveObjects(), 0) << "every DirectDraw object was released";
        opened = false;
    }

    void TearDown() override
    {
        output += CaptureOutput([] { DkKillAllObjects(); });
        opened = false;
        ResetSwitches();
        DkResetEntries();
        DeviceTest::TearDown();
    }

    DK_ACTOR* Load(const Bytes& file, int kind, BOOL keyed = FALSE, uint32_t options = 2)
    {
        DK_ACTOR* first = nullptr;
        last = CaptureOutput(
            [&]
            {
                first = DkProcessC3dObject(file.data(), static_cast<uint32_t>(file.size()), kind,
                                           world, keyed, options);
            });
        output += last;
        return first;
    }

    DK_ACTOR* Load(const C3dScene& scene, int kind, BOOL keyed = FALSE, uint32_t options = 2)
    {
        return Load(FormatC3d(scene), kind, keyed, options);
    }

    DK_ACTOR* world = nullptr;
    bool opened = false;
    std::string last; // the reports of the last load
};

// ---------------------------------------------------------------------------------------------
// Placement by load kind.

TEST_F(C3dTest, ATrackOfNObjectsMakesNMinusOneWorldSpaceBlocksAndNoActors)
{
    Open(16);
    C3dGridOptions grid;
    grid.columns = 3;
    grid.rows = 2;
    grid.cell = 16.0;
    const C3dScene scene = C3dBlockGrid(grid);
    ASSERT_EQ(scene.objects.size(), 7u);
    const uint32_t actors = guNumActors;

    EXPECT_EQ(Load(scene, DK3D_TRACK), nullptr) << "a track makes no actors";
    EXPECT_EQ(guNumActors, actors);
    ASSERT_EQ(guNumTrackBlocks, 6u) << last;
    for (int b = 0; b < 6; ++b)
    {
        SCOPED_TRACE(b);
        const DK_TRACK_BLOCK& block = gaTrackBlocks[b];
        const int c = b % 3, r = b / 3;
        EXPECT_EQ(block.Reference.x, static_cast<int32_t>((c + 0.5) * 16 * ONE));
        EXPECT_EQ(block.Reference.y, 0);
        EXPECT_EQ(block.Reference.z, static_cast<int32_t>((2 - r - 0.5) * 16 * ONE));
        ASSERT_NE(block.pMesh, nullptr);
        EXPECT_TRUE(DkIsWorldSpaceModel(block.pMesh));
        // Corner 0 of the square is (-8, 0, 8) around the block's centre.
        EXPECT_EQ(block.pMesh->pVertices[0].x, static_cast<float>((c + 0.5) * 16 - 8));
        EXPECT_EQ(block.pMesh->pVertices[0].z, static_cast<float>((2 - r - 0.5) * 16 + 8));
        EXPECT_EQ(block.pMesh->uNumLevels, 1);
        EXPECT_EQ(block.pMesh->xRadius, 0) << "world-space kinds keep no radius";
        EXPECT_EQ(FacesOf(block.pMesh)[0].uSurface, c == 1 ? 1 : 20) << "tracks keep surfaces";
    }
}

TEST_F(C3dTest, SceneryMakesFixedModelsInWorldSpaceUntilTheFirstRootThenActors)
{
    Open(16);
    C3dScene scene;
    scene.shapes = {Tri("ROCK", -1, 2, 1, 3), Tri("POST", -1, 2, 1, 3)};
    // A dummy places the fixed model after it; the fixed model's own matrix is not used.
    scene.objects = {
        Obj(0, {}, C3dTranslation(10, 0, 20)), Obj(0, {0}, C3dTranslation(99, 99, 99)),
        // An actor whose axes are scaled 2, 1 and 0.5 and which stands at (5, 0, 0).
        Obj(-1, {1}, {{{2, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 0.5, 0}, {5, 0, 0, 1}}}, 0x1005),
        Obj(0, {}, C3dTranslation(0, 1, 0), 7)};
    const uint32_t actors = guNumActors;
    DK_ACTOR* first = Load(scene, DK3D_OBJECTS);

    ASSERT_EQ(guNumFixedModels, 1u) << last;
    const DK_FIXED_MODEL* fixed = gapFixedModels[0];
    EXPECT_EQ(fixed->Centre.x, 10 * ONE);
    EXPECT_EQ(fixed->Centre.z, 20 * ONE);
    EXPECT_EQ(fixed->pModel->pVertices[0].x, 12.0f) << "(2, 0, 0) moved by the dummy";
    EXPECT_EQ(fixed->pModel->pVertices[2].z, 23.0f);
    EXPECT_EQ(fixed->pModel->xRadius, FfSqrt(9 * ONE)) << "unit scale: the largest of 2 and 3";

    ASSERT_EQ(guNumActors, actors + 2);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->pParent, world);
    EXPECT_EQ(first->uId, 0x1005u);
    // The lengths of the axis rows, by the engine's root.
    EXPECT_EQ(first->Scale.x, FfSqrt(4 * ONE));
    EXPECT_EQ(first->Scale.y, FfSqrt(ONE));
    EXPECT_EQ(first->Scale.z, FfSqrt(ONE / 4));
    EXPECT_EQ(first->Local.m[3][0], 5 * ONE);
    EXPECT_EQ(first->Base.m[0][0], 2 * ONE);
    DK_MODEL* model = ModelOf(first);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->pVertices[0].x, 2.0f) << "an actor's model stays local";
    // Radius: the larger of |(2 x 2, 0.5 x 0)| and |(2 x 0, 0.5 x 3)|.
    const int32_t x = FfMul(first->Scale.x, 2 * ONE);
    EXPECT_EQ(model->xRadius, FfSqrt(FfMul(x, x)));
    DK_ACTOR* dummy = first->pChild;
    ASSERT_NE(dummy, nullptr);
    EXPECT_EQ(dummy->uType, static_cast<uint32_t>(DK_ACTOR_DUMMY));
    EXPECT_EQ(dummy->pObject, nullptr);
    EXPECT_EQ(dummy->uId, 7u);
}

TEST_F(C3dTest, ShadowFacesAreDoubledAndReversedOnlyWithoutHardwareTexturing)
{
    C3dScene scene;
    scene.shapes = {Tri("SHADOW")};
    scene.shapes[0].faces.push_back(F(2, 1, 0));
    scene.objects = {Obj(-1, {0}, C3dTranslation(1, 0, 0))};
    for (int bits : {16, 8})
    {
        SCOPED_TRACE(bits);
        Open(bits);
        const DK_MODEL* model = ModelOf(Load(scene, DK3D_SHADOWS));
        ASSERT_NE(model, nullptr) << last;
        EXPECT_EQ(model->pVertices[0].x, 2.0f) << "shadows are in world space";
        if (bits == 16)
        {
            EXPECT_EQ(model->nNumFaces, 2);
            continue;
        }
        ASSERT_EQ(model->nNumFaces, 4);
        const DK_FACE* f = FacesOf(model);
        EXPECT_EQ(f[2].auVertices[0], 1);
        EXPECT_EQ(f[2].auVertices[1], 0);
        EXPECT_EQ(f[2].auVertices[2], 2);
        EXPECT_EQ(f[3].auVertices[0], 1);
        EXPECT_EQ(f[3].auVertices[1], 2);
        EXPECT_EQ(f[3].auVertices[2], 0);
    }
}

TEST_F(C3dTest, CarKindsKeepCopiesOfLevelsZeroAndOne)
{
    Open(16);
    C3dScene scene;
    scene.shapes = {Tri("HI", -1, 1, 2, 3), Tri("LO", -1, 4, 5, 6)};
    scene.objects = {Obj(-1, {0, 1})};
    for (int kind : {DK3D_CAR, DK3D_MEDIUM_CAR, DK3D_SELECT_CAR, DK3D_OBJECTS, DK3D_DRIVER_HEAD})
    {
        SCOPED_TRACE(kind);
        const DK_MODEL* model = ModelOf(Load(scene, kind));
        ASSERT_NE(model, nullptr) << last;
        EXPECT_EQ(model->uNumLevels, 2);
        const bool car = kind == DK3D_CAR || kind == DK3D_MEDIUM_CAR || kind == DK3D_SELECT_CAR;
        if (!car)
        {
            EXPECT_EQ(model->pVertices2, nullptr);
            EXPECT_EQ(model->pVertices3, nullptr);
            continue;
        }
        ASSERT_NE(model->pVertices2, nullptr);
        ASSERT_NE(model->pVertices3, nullptr);
        // The copies are taken before the lit layout is written over the normals.
        EXPECT_EQ(model->pVertices2[0].x, 1.0f);
        EXPECT_EQ(model->pVertices2[0].afNormal[1], 1.0f);
        EXPECT_EQ(model->pVertices3[0].x, 4.0f);
        EXPECT_EQ(model->pVertices3[1].y, 5.0f);
    }
}

TEST_F(C3dTest, FaceColoursFollowTheKind)
{
    const C3dRgba file = {1, 2, 3, 4};
    struct Case
    {
        int kind;
        bool option;
        int nightBefore; // the night flag before the load
        std::array<uint8_t, 4> want;
    } cases[] = {
        {DK3D_TRACK, false, 0, {0, 0, 0, 255}},
        {DK3D_TRACK, true, 0, {1, 2, 3, 4}},
        {DK3D_NIGHT_TRACK, true, 0, {0, 0, 0, 0}},
        {DK3D_OBJECTS, false, 0, {0, 0, 0, 150}},
        {DK3D_OBJECTS, true, 0, {1, 2, 3, 150}},
        {DK3D_SHADOWS, false, 0, {0, 0, 0, 255}},
        {DK3D_SHADOWS, true, 0, {1, 2, 3, 4}},
        {DK3D_HORIZON, true, 0, {200, 200, 200, 255}},
        {DK3D_CAR, true, 0, {150, 150, 150, 150}},
        {DK3D_CAR, false, 1, {40, 40, 40, 150}},
        {DK3D_MEDIUM_CAR, false, 1, {40, 40, 40, 150}},
        {DK3D_SELECT_CAR, false, 0, {150, 150, 150, 150}},
        {DK3D_DRIVER_HEAD, false, 1, {40, 40, 40, 150}},
    };
    Open(16);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message()
                     << "kind " << c.kind << " option " << c.option << " night " << c.nightBefore);
        C3dScene scene;
        scene.shapes = {Tri("T" + std::to_string(&c - cases))};
        scene.shapes[0].faces[0].colours = {file, file, file};
        scene.objects = {Obj(-1, {}), Obj(0, {0})};
        gboC3dLoadOption = c.option ? TRUE : FALSE;
        gboActorTintLighting = c.nightBefore;
        // Options 1: the night flag stays as it is.
        DK_ACTOR* root = Load(scene, c.kind, FALSE, DK3D_OPT_UNLIT);
        const DK_MODEL* model =
            c.kind <= DK3D_NIGHT_TRACK ? gaTrackBlocks[0].pMesh : ModelOf(root->pChild);
        ASSERT_NE(model, nullptr) << last;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(std::vector<uint8_t>(FacesOf(model)[0].aauColours[k],
                                           FacesOf(model)[0].aauColours[k] + 4),
                      std::vector<uint8_t>(c.want.begin(), c.want.end()))
                << "corner " << k;
    }
}

TEST_F(C3dTest, TheNightFlagComesFromTrackLoadsAndPicksTheCarColour)
{
    Open(16);
    C3dScene track = C3dBlockGrid({});
    C3dScene car;
    car.shapes = {Tri("BODY")};
    car.objects = {Obj(-1, {0})};
    struct Step
    {
        int kind;
        uint32_t options;
        int32_t night;
    } steps[] = {
        {DK3D_NIGHT_TRACK, 2, 1},
        {DK3D_CAR, 2, 1},
        {DK3D_TRACK, DK3D_OPT_UNLIT | 2, 1}, // device-lit loads leave it
        {DK3D_TRACK, 2, 0},
        {DK3D_CAR, 2, 0},
    };
    for (const Step& s : steps)
    {
        DK_ACTOR* a = Load(s.kind == DK3D_CAR ? car : track, s.kind, FALSE, s.options);
        EXPECT_EQ(gboActorTintLighting, s.night) << "after kind " << s.kind;
        if (s.kind == DK3D_CAR)
        {
            const uint8_t want = s.night ? 40 : 150;
            EXPECT_EQ(FacesOf(ModelOf(a))[0].aauColours[2][0], want);
            EXPECT_EQ(gCarAmbientLight[0], want) << "set through the lights' ambient colour";
        }
    }
    EXPECT_EQ(gboCarVertexLighting, 0);
    // A head of its own shape: a level shared by name is not built again.
    car.shapes[0].name = "HEAD";
    Load(car, DK3D_DRIVER_HEAD, FALSE, DK3D_OPT_CAR_LIGHT | 2);
    EXPECT_EQ(gboCarVertexLighting, 1);
    Load(car, DK3D_DRIVER_HEAD, FALSE, 2);
    EXPECT_EQ(gboCarVertexLighting, 1) << "never cleared by a load";
    EXPECT_EQ(DkGetUse3DBitmaps(), 0) << "off at start";
    DkSetUse3DBitmaps(5);
    EXPECT_EQ(DkGetUse3DBitmaps(), 1);
    DkSetUse3DBitmaps(0);
}

TEST_F(C3dTest, TextureCoordinatesComeBackAsTheDataKitMeantThem)
{
    Open(16);
    C3dScene scene;
    scene.textures = {Tex("SQUARE")};
    scene.shapes = {Tri("UV", 0)};
    scene.objects = {Obj(-1, {0})};
    // Device-lit vertices keep the normal words too.
    const DK_MODEL* model = ModelOf(Load(scene, DK3D_OBJECTS, FALSE, DK3D_OPT_UNLIT));
    ASSERT_NE(model, nullptr) << last;
    const double want[3][2] = {{0.25, 0.5}, {1.5, 0.75}, {1.0, 0.0}};
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_FLOAT_EQ(model->pVertices[i].u, want[i][0]) << i;
        EXPECT_FLOAT_EQ(model->pVertices[i].v, want[i][1]) << i;
    }
    EXPECT_EQ(model->aLevels[0].nVertexType, DK_VERTEX_UNLIT);
    EXPECT_STREQ(model->aLevels[0].szName, "UV");
}

// ---------------------------------------------------------------------------------------------
// Refusals of the header.

TEST_F(C3dTest, WrongVersionsIdentifiersAndNoImageAreRefused)
{
    Open(16);
    C3dScene scene;
    scene.shapes = {Tri("A")};
    scene.objects = {Obj(-1, {0})};
    const Bytes good = FormatC3d(scene);
    auto withVersion = [&](int v)
    {
        Bytes b = good;
        b[4] = static_cast<uint8_t>(v);
        return b;
    };
    Bytes magic = good;
    magic[3] = 'd';
    struct Case
    {
        const char* what;
        Bytes file;
        const char* message;
    } cases[] = {
        {"version 99", withVersion(99), "ERROR (Loading C3D File): Incorrect c3d version"},
        {"version 101", withVersion(101), "ERROR (Loading C3D File): Incorrect c3d version"},
        {"DK3d", magic, "*** Identifier not DK3D!"},
    };
    const Counts before = Now();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Load(c.file, DK3D_OBJECTS), nullptr);
        EXPECT_TRUE(Reported(last, c.message)) << last;
        EXPECT_EQ(Now(), before);
    }
    last =
        CaptureOutput([&] { EXPECT_EQ(DkProcessC3dObject(nullptr, 0, 2, world, 0, 2), nullptr); });
    EXPECT_TRUE(Reported(last, "FILE DOESN'T EXIST")) << last;
    EXPECT_EQ(Now(), before);
    EXPECT_NE(Load(good, DK3D_OBJECTS), nullptr) << "the file itself is good: " << last;
}

// ---------------------------------------------------------------------------------------------
// Textures.

TEST_F(C3dTest, ATimRecordWarnsEvenWhenFoundByName)
{
    Open(16);
    Image tim;
    tim.width = tim.height = 8;
    tim.bits = 8;
    tim.colours = {{10, 20, 30}, {200, 100, 0}};
    tim.pixels.assign(64, 1);
    C3dScene scene;
    scene.textures = {{"TIMTEX", FormatTim(tim), {}}};
    scene.shapes = {Tri("A", 0)};
    scene.objects = {Obj(-1, {0})};
    for (int load = 0; load < 2; ++load)
    {
        const uint32_t textures = guNumTextures;
        Load(scene, DK3D_OBJECTS);
        EXPECT_TRUE(Reported(last, "WARNING: Texture 'TIMTEX' is in TIM format")) << load << last;
        EXPECT_EQ(DkC3dLastTextureFlags(), static_cast<uint32_t>(ITT_TIM | ITT_KEEP_SOURCE));
        EXPECT_EQ(guNumTextures, textures + (load == 0 ? 1 : 0)) << "the same image is kept once";
    }
}

TEST_F(C3dTest, ATrackLoadedTwiceReusesItsTexturesButRebuildsModelsAndBlocks)
{
    Open(16);
    const Bytes file = FormatC3d(C3dBlockGrid({}));
    Load(file, DK3D_TRACK);
    const uint32_t textures = guNumTextures, models = guNumModels, blocks = guNumTrackBlocks;
    const DK_MODEL* mesh = gaTrackBlocks[4].pMesh;
    const int32_t slot = FacesOf(mesh)[0].nTexture;
    ASSERT_NE(gpGrassTexture, nullptr);
    EXPECT_EQ(std::string(gpGrassTexture->szName, 5), "GRASS");

    Load(file, DK3D_TRACK);
    EXPECT_EQ(guNumTextures, textures) << "identical images take no slot: " << last;
    EXPECT_EQ(guNumModels, 2 * models);
    EXPECT_EQ(guNumTrackBlocks, blocks);
    EXPECT_NE(gaTrackBlocks[4].pMesh, mesh);
    EXPECT_EQ(FacesOf(gaTrackBlocks[4].pMesh)[0].nTexture, slot);
    EXPECT_EQ(DkC3dLastTextureFlags(), static_cast<uint32_t>(ITT_BMP | ITT_KEEP_SOURCE))
        << "the reload's flags";
}

TEST_F(C3dTest, AChangedImageUnderAKnownNameStandsInForItInThatFileOnly)
{
    Open(16);
    // Each file's own shape: a shape of a known name would share the first file's level.
    int files = 0;
    auto sceneWith = [&](Bytes image)
    {
        C3dScene s;
        s.textures = {{"SIGN", std::move(image), {}}};
        s.shapes = {Tri("S" + std::to_string(files++), 0)};
        s.objects = {Obj(-1, {0})};
        return s;
    };
    // Two images that differ in their last row alone.
    Image image;
    image.width = image.height = 16;
    image.bits = 8;
    image.colours = {{0, 0, 0}, {255, 255, 255}};
    image.pixels.assign(256, 0);
    const Bytes first = FormatBmp(image);
    image.pixels[255] = 1;
    const Bytes changed = FormatBmp(image);

    const DK_MODEL* a = ModelOf(Load(sceneWith(first), DK3D_OBJECTS));
    const int32_t original = FacesOf(a)[0].nTexture;
    const uint32_t textures = guNumTextures;
    const DK_MODEL* b = ModelOf(Load(sceneWith(changed), DK3D_OBJECTS));
    EXPECT_NE(FacesOf(b)[0].nTexture, original) << last;
    EXPECT_EQ(guNumTextures, textures + 1);
    EXPECT_EQ(DkFindC3dTexture("SIGN"), d3d->apTextures[original]) << "the name keeps the first";
    const DK_MODEL* c = ModelOf(Load(sceneWith(first), DK3D_OBJECTS));
    EXPECT_EQ(FacesOf(c)[0].nTexture, original);
    EXPECT_EQ(guNumTextures, textures + 1) << "a copy that matched is given back";
}

TEST_F(C3dTest, FlatFacesMakeAMaterialOnlyWhenTheirColourChanges)
{
    Open(16);
    gboC3dLoadOption = TRUE;
    const C3dRgba red{255, 0, 0, 255}, blue{0, 0, 255, 255};
    C3dScene scene;
    scene.shapes = {Tri("FLAT")};
    scene.shapes[0].faces = {F(0, 1, 2, -1, red), F(0, 1, 2, -1, red), F(0, 1, 2, -1, blue),
                             F(0, 1, 2, -1, blue), F(0, 1, 2, -1, red)};
    scene.objects = {Obj(-1, {}), Obj(0, {0})};
    const uint32_t materials = guNumMaterials;
    Load(scene, DK3D_TRACK);
    EXPECT_EQ(guNumMaterials, materials + 3) << "red, blue, red again: " << last;
    const DK_MATERIAL* m = d3d->apMaterials[materials];
    ASSERT_NE(m, nullptr);
    D3DMATERIAL desc{};
    desc.dwSize = sizeof desc;
    m->lpD3DMaterial2->GetMaterial(&desc);
    EXPECT_FLOAT_EQ(desc.diffuse.r, 1.0f);
    EXPECT_FLOAT_EQ(desc.ambient.r, 127 / 255.0f);
    EXPECT_FLOAT_EQ(desc.specular.r, 254 / 255.0f) << "255 doubled, modulo 256";
    EXPECT_EQ(desc.hTexture, 0u);
}

TEST_F(C3dTest, TheFirstNewTextureOfALoadGetsAMaterialWithHardwareTexturing)
{
    for (int bits : {16, 8})
    {
        SCOPED_TRACE(bits);
        Open(bits);
        C3dScene scene;
        scene.textures = {Tex("ONE"), Tex("TWO", {0, 200, 0, 255})};
        scene.shapes = {Tri("A", 0)};
        scene.objects = {Obj(-1, {0})};
        const uint32_t materials = guNumMaterials;
        Load(scene, DK3D_OBJECTS);
        const DK_TEXTURE* one = DkFindC3dTexture("ONE");
        const DK_TEXTURE* two = DkFindC3dTexture("TWO");
        ASSERT_NE(one, nullptr);
        ASSERT_NE(two, nullptr);
        // A software device makes each texture's own material in the image conversion.
        EXPECT_EQ(guNumMaterials, materials + (bits == 16 ? 1 : 2));
        EXPECT_EQ(one->nMaterial, static_cast<int16_t>(materials));
        if (bits == 16)
        {
            EXPECT_EQ(two->nMaterial, 0);
        }
    }
}

TEST_F(C3dTest, TextureFlagsFollowKindColourKeyOptionsAndHardware)
{
    constexpr uint32_t kBase = ITT_BMP | ITT_KEEP_SOURCE;
    struct Case
    {
        int kind;
        BOOL keyed;
        uint32_t options;
        int type;
        bool medium;
        uint32_t want;
    } cases[] = {
        {DK3D_TRACK, FALSE, 2, 0, false, kBase | ITT_QUARTER_SIZE},
        {DK3D_TRACK, TRUE, 2, 0, false, kBase | ITT_KEY_COLOUR | ITT_QUARTER_SIZE},
        {DK3D_OBJECTS, TRUE, 2, 0, false, kBase | ITT_KEY_COLOUR | ITT_QUARTER_SIZE},
        {DK3D_OBJECTS, TRUE, 2, 1, false,
         kBase | ITT_KEY_COLOUR | ITT_QUARTER_SIZE | ITT_KEY_COLOUR_8BIT},
        {DK3D_SHADOWS, FALSE, 2, 5, false, kBase | ITT_QUARTER_SIZE | ITT_KEY_COLOUR_8BIT},
        {DK3D_OBJECTS, FALSE, 2, 3, false, kBase | ITT_QUARTER_SIZE},
        {DK3D_HORIZON, FALSE, 2, 1, false, kBase | ITT_QUARTER_SIZE},
        {DK3D_CAR, TRUE, 2, 0, false, kBase | ITT_HALF_SIZE},
        {DK3D_CAR, TRUE, 2, 0, true, kBase},
        {DK3D_MEDIUM_CAR, FALSE, 2, 0, false, kBase | ITT_HALF_SIZE},
        {DK3D_SELECT_CAR, TRUE, 0x18, 0, false, kBase | ITT_KEEP_INDICES},
        {DK3D_DRIVER_HEAD, TRUE, 10, 0, false, kBase | ITT_KEY_COLOUR | ITT_QUARTER_SIZE},
        {DK3D_OBJECTS, FALSE, 0x11, 0, false, kBase | ITT_QUARTER_SIZE | ITT_KEEP_INDICES},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " keyed " << c.keyed << " options "
                                        << c.options << " type " << c.type);
        Open(16, c.type);
        gboMediumDetail = c.medium;
        C3dScene scene;
        scene.textures = {Tex("FLAGS")};
        scene.shapes = {Tri("A", 0)};
        scene.objects = {Obj(-1, {}), Obj(0, {0})};
        Load(scene, c.kind, c.keyed, c.options);
        EXPECT_EQ(DkC3dLastTextureFlags(), c.want);
        if (c.kind == DK3D_CAR || c.kind == DK3D_MEDIUM_CAR || c.kind == DK3D_SELECT_CAR)
            continue;
        // Found by name: the reload's flags.
        Load(scene, c.kind, c.keyed, c.options);
        EXPECT_EQ(DkC3dLastTextureFlags(),
                  kBase | (c.keyed ? ITT_KEY_COLOUR : 0u) |
                      (c.options & DK3D_OPT_KEEP_INDEX ? ITT_KEEP_INDICES : 0u));
    }
}

TEST_F(C3dTest, FacesOfATextureThatDidNotLoadAreFlat)
{
    Open(16);
    C3dScene scene;
    scene.textures = {{"BROKEN", {'B', 'M', 1, 2, 3}, {}}, Tex("GOOD")};
    scene.shapes = {Tri("A", 0)};
    scene.shapes[0].faces.push_back(F(0, 1, 2, 1));
    scene.objects = {Obj(-1, {0})};
    const DK_MODEL* model = ModelOf(Load(scene, DK3D_OBJECTS));
    ASSERT_NE(model, nullptr);
    EXPECT_TRUE(Reported(last, "Error loading Texture : BROKEN")) << last;
    EXPECT_EQ(FacesOf(model)[0].nTexture, -1);
    EXPECT_EQ(FacesOf(model)[1].nTexture, DkFindC3dTexture("GOOD")->uSlot);
}

// ---------------------------------------------------------------------------------------------
// Animated textures from 'A' records.

TEST_F(C3dTest, AnimatedRecordsStepThroughTheirFileTexturesAndTheSeventeenthIsRefused)
{
    Open(16);
    C3dScene scene;
    scene.textures = {Tex("RED", {255, 0, 0, 255}), Tex("GREEN", {0, 255, 0, 255})};
    for (int i = 0; i < 17; ++i)
        scene.textures.push_back({"FLAG" + std::to_string(i), {}, {{0, 1}, {1, 3}}});
    scene.shapes = {Tri("A", 2), Tri("B", 18)};
    scene.objects = {Obj(-1, {0}), Obj(-1, {1})};
    DK_ACTOR* first = Load(scene, DK3D_OBJECTS);
    EXPECT_TRUE(Reported(last, "Can't load any more animated textures")) << last;
    EXPECT_EQ(guNumAnimTextures, 16);
    const DK_ANIMTEXTURE& flag = gaAnimTextures[0];
    EXPECT_STREQ(flag.szName, "FLAG0");
    const DK_TEXTURE* red = DkFindC3dTexture("RED");
    const DK_TEXTURE* green = DkFindC3dTexture("GREEN");
    EXPECT_EQ(flag.auFrameSlots[0], red->uSlot);
    EXPECT_EQ(flag.auFrameHandles[1], green->uHandle);
    EXPECT_EQ(flag.auFrameDelays[1], 3);
    EXPECT_EQ(flag.auFrameWidths[0], 16);
    EXPECT_EQ(flag.nActive, 0);
    // Faces point at the animated texture's own slot, which shows frame 0 and has no name.
    const DK_TEXTURE* own = d3d->apTextures[FacesOf(ModelOf(first))[0].nTexture];
    EXPECT_EQ(own->uSlot, flag.uSlot);
    EXPECT_EQ(own->uHandle, red->uHandle);
    EXPECT_EQ(own->szName[0], '\0');
    EXPECT_EQ(FacesOf(ModelOf(first->pNext))[0].nTexture, -1) << "the 17th is flat";

    ASSERT_EQ(DkStartAnimatedTexture("FLAG0", DK_ANIM_LOOP), 1);
    DkUpdateAnimatedTextures();
    DkShowAnimatedTextures();
    EXPECT_EQ(own->uHandle, green->uHandle);
    // A new display forgets the records.
    Open(16);
    EXPECT_EQ(guNumAnimTextures, 0);
}

// ---------------------------------------------------------------------------------------------
// Levels.

TEST_F(C3dTest, LevelsAreSharedByShapeNameForObjectsHorizonAndHeadsOnly)
{
    C3dScene scene;
    scene.shapes = {Tri("SHARED", -1, 2, 2, 2), Tri("OTHER")};
    scene.objects = {Obj(-1, {0}), Obj(-1, {0, 1}), Obj(-1, {1, -1})};
    Open(16);
    for (int kind : {DK3D_OBJECTS, DK3D_HORIZON, DK3D_DRIVER_HEAD, DK3D_CAR, DK3D_SHADOWS})
    {
        SCOPED_TRACE(kind);
        DK_ACTOR* first = Load(scene, kind);
        const DK_MODEL* a = ModelOf(first);
        const DK_MODEL* b = ModelOf(first->pNext);
        const DK_MODEL* c = ModelOf(first->pNext->pNext);
        ASSERT_NE(c, nullptr) << last;
        const bool shared =
            kind == DK3D_OBJECTS || kind == DK3D_HORIZON || kind == DK3D_DRIVER_HEAD;
        EXPECT_EQ(b->aLevels[0].pFirstNode == a->aLevels[0].pFirstNode, shared);
        // A model's vertex list is that of the last level it built or shared.
        EXPECT_EQ(c->pVertices == b->pVertices, shared);
        // A level of no shape stays empty; the count is still the object's.
        EXPECT_EQ(c->uNumLevels, 2);
        EXPECT_EQ(c->aLevels[1].pFirstNode, nullptr);
        EXPECT_EQ(c->aLevels[0].pFirstNode != nullptr, true);
    }
}

TEST_F(C3dTest, ALevelIsSharedWithAModelPastAHoleInTheTable)
{
    Open(16);
    auto one = [](const char* shape)
    {
        C3dScene s;
        s.shapes = {Tri(shape)};
        s.objects = {Obj(-1, {0})};
        return s;
    };
    DK_ACTOR* a = Load(one("A"), DK3D_OBJECTS);
    const DK_MODEL* b = ModelOf(Load(one("B"), DK3D_OBJECTS));
    ASSERT_EQ(gapModels[1], b);
    output += CaptureOutput([&] { DkDeleteObject(a); });
    ASSERT_EQ(gapModels[0], nullptr);

    // The new model takes slot 0, and the model to share with stands after it.
    const DK_MODEL* c = ModelOf(Load(one("B"), DK3D_OBJECTS));
    EXPECT_EQ(gapModels[0], c);
    EXPECT_EQ(c->aLevels[0].pFirstNode, b->aLevels[0].pFirstNode) << last;
    EXPECT_EQ(DkFindModelByData("B", c), b);
    EXPECT_EQ(DkFindModelByData("B"), c);
}

// ---------------------------------------------------------------------------------------------
// The actors of one call.

TEST_F(C3dTest, ParentsAreTheActorsThisCallMadeWhateverHolesTheTableHas)
{
    Open(16);
    // Holes in the actor table ahead of the load.
    std::vector<DK_ACTOR*> spare;
    output += CaptureOutput(
        [&]
        {
            for (int i = 0; i < 6; ++i)
                spare.push_back(DkCreateActor(world));
            DkDestroyActor(spare[1]);
            DkDestroyActor(spare[3]);
        });
    C3dScene scene;
    scene.objects = {Obj(-1, {}, C3dIdentity(), 1), Obj(0, {}, C3dIdentity(), 2),
                     Obj(1, {}, C3dIdentity(), 3), Obj(0, {}, C3dIdentity(), 4),
                     Obj(3, {}, C3dIdentity(), 5)};
    // A parent the data kit will not write: past the actors made so far.
    C3dLayout at;
    Bytes file = FormatC3d(scene, &at);
    Put16(file, at.objects[4] + 4, 9);
    DK_ACTOR* first = Load(file, DK3D_OBJECTS);
    ASSERT_NE(first, nullptr) << last;
    EXPECT_EQ(first->uId, 1u);
    EXPECT_EQ(first->pParent, world);
    DK_ACTOR* two = DkFindActorById(first, 2);
    DK_ACTOR* three = DkFindActorById(first, 3);
    DK_ACTOR* four = DkFindActorById(first, 4);
    DK_ACTOR* five = DkFindActorById(first, 5);
    ASSERT_TRUE(two && three && four && five);
    EXPECT_EQ(two->pParent, first);
    EXPECT_EQ(three->pParent, two);
    EXPECT_EQ(four->pParent, first);
    EXPECT_EQ(five->pParent, four) << "past the end: the last actor made";
}

// ---------------------------------------------------------------------------------------------
// Tracks loaded one after another.

TEST_F(C3dTest, ASecondTrackStartsFromEmptyBlocks)
{
    Open(16);
    C3dGridOptions big;
    big.columns = 3;
    big.rows = 3;
    Load(C3dBlockGrid(big), DK3D_TRACK);
    ASSERT_EQ(guNumTrackBlocks, 9u);
    gaTrackBlocks[6].nNumFixed = 3;
    C3dGridOptions small;
    small.columns = 2;
    small.rows = 1;
    Load(C3dBlockGrid(small), DK3D_TRACK);
    EXPECT_EQ(guNumTrackBlocks, 2u);
    for (int b = 2; b < 9; ++b)
    {
        EXPECT_EQ(gaTrackBlocks[b].pMesh, nullptr) << b;
        EXPECT_EQ(gaTrackBlocks[b].nNumFixed, 0) << b;
    }
}

TEST_F(C3dTest, ATeardownLeavesNothingForTheResetCheckToReport)
{
    Open(16);
    Load(C3dScenery(1, 1), DK3D_OBJECTS);
    last = CaptureOutput([] { DkResetC3dObjects(); });
    EXPECT_TRUE(Reported(last, "guNumActors != 0")) << last;
    EXPECT_TRUE(Reported(last, "guNumModels != 0"));
    EXPECT_TRUE(Reported(last, "Actor 0 is not NULL"));
    EXPECT_TRUE(Reported(last, "Model 0 is not NULL"));
    last = CaptureOutput(
        []
        {
            DkKillAllObjects();
            MaterialDestructor();
            DkResetC3dObjects();
        });
    EXPECT_EQ(CountReports(last), 0) << last;
}

// ---------------------------------------------------------------------------------------------
// Corrupt files: single mutations of a good file, each refused whole.

struct Mutation
{
    std::string what;
    std::function<void(Bytes&, const C3dLayout&)> change;
    std::string message; // what the refusal says
    int kind = DK3D_OBJECTS;
};

TEST_F(C3dTest, EveryCorruptionOfAGoodFileIsRefusedBeforeAnythingIsMade)
{
    Open(16);
    // Two images, an animation of them, two shapes, fixed models then actors.
    C3dScene scene;
    scene.textures = {Tex("RED"), Tex("BLUE", {0, 0, 255, 255}), {"ANIM", {}, {{0, 1}, {1, 1}}}};
    scene.shapes = {Tri("A", 2), Tri("B", 0)};
    scene.shapes[1].faces.push_back(F(2, 1, 0, 1));
    scene.objects = {Obj(0, {}, C3dTranslation(1, 2, 3)), Obj(0, {0}), Obj(-1, {0, 1}),
                     Obj(0, {1})};
    C3dLayout at;
    const Bytes good = FormatC3d(scene, &at);
    const uint32_t size = static_cast<uint32_t>(good.size());
    const size_t anim = at.textures[2] + 16, shape1 = at.shapes[1], object2 = at.objects[2];
    const std::string bad = "ERROR (Loading C3D File): ";

    std::vector<Mutation> cases = {
        {"a header cut short", [](Bytes& b, auto&) { b.resize(31); }, bad + "a header of 31 bytes"},
        {"objects before the file", [](Bytes& b, auto&) { Put32(b, 20, 0xFFFFFFFFu); },
         bad + "the objects start at -1, outside the file's " + std::to_string(size) + " bytes"},
        {"shapes past the end", [&](Bytes& b, auto&) { Put32(b, 24, size + 1); },
         bad + "the shapes start at " + std::to_string(size + 1) + ", outside the file's " +
             std::to_string(size) + " bytes"},
        {"textures past the end", [&](Bytes& b, auto&) { Put32(b, 28, 0x7FFFFFFF); },
         bad + "the textures start at 2147483647, outside the file's " + std::to_string(size) +
             " bytes"},
        {"texture length 0", [](Bytes& b, auto& l) { Put32(b, l.textures[1] + 12, 0); },
         bad + "Texture 1 has 0 bytes of data"},
        {"texture length negative",
         [](Bytes& b, auto& l) { Put32(b, l.textures[0] + 12, 0xFFFFFFF0u); },
         bad + "Texture 0 has -16 bytes of data"},
        {"texture length past the end",
         [&](Bytes& b, auto& l) { Put32(b, l.textures[2] + 12, size); },
         bad + "Texture 2 has " + std::to_string(size) + " bytes of data"},
        {"no frames", [&](Bytes& b, auto&) { b[anim + 4] = 0; },
         bad + "Animated texture 2 has 0 frames in 16 bytes"},
        {"17 frames", [&](Bytes& b, auto&) { b[anim + 4] = 17; },
         bad + "Animated texture 2 has 17 frames in 16 bytes"},
        {"a frame of its own record", [&](Bytes& b, auto&) { Put16(b, anim + 12, 2); },
         "ERROR : Frame has higher index in c3d texture list than Animated Texture"},
        {"2,049 shapes", [](Bytes& b, auto&) { Put16(b, 14, 2049); },
         "MAX_SHAPES too small for this C3D object file!"},
        {"shape length 0", [&](Bytes& b, auto&) { Put32(b, shape1 + 12, 0); },
         bad + "Shape 1 has a length of 0"},
        {"shape length negative", [&](Bytes& b, auto&) { Put32(b, shape1 + 12, 0x80000000u); },
         bad + "Shape 1 has a length of -2147483648"},
        {"shape length past the end", [&](Bytes& b, auto&) { Put32(b, shape1 + 12, size); },
         bad + "Shape 1 has a length of " + std::to_string(size)},
        {"1,025 vertices", [&](Bytes& b, auto&) { Put16(b, shape1 + 16, 1025); },
         bad + "Shape 1 has 1025 vertices"},
        {"more faces than the record holds", [&](Bytes& b, auto&) { Put16(b, shape1 + 18, 3); },
         bad + "Shape 1 holds 3 vertices and 3 faces in 192 bytes"},
        {"vertex index V", [&](Bytes& b, auto&) { Put16(b, shape1 + 48 + 96 + 24 + 4, 3); },
         bad + "Shape 1 face 1 uses vertex 3 of 3"},
        {"texture index = count", [&](Bytes& b, auto&) { Put16(b, shape1 + 48 + 96 + 8, 3); },
         bad + "Shape 1 face 0 uses texture 3 of 3"},
        {"texture index -2", [&](Bytes& b, auto&) { Put16(b, shape1 + 48 + 96 + 8, 0xFFFE); },
         bad + "Shape 1 face 0 uses texture -2 of 3"},
        {"object length 0", [&](Bytes& b, auto&) { Put32(b, object2, 0); },
         bad + "Object 2 has a length of 0"},
        {"object length negative", [&](Bytes& b, auto&) { Put32(b, object2, 0xFFFFFFFFu); },
         bad + "Object 2 has a length of -1"},
        {"object length past the end", [&](Bytes& b, auto&) { Put32(b, object2, size); },
         bad + "Object 2 has a length of " + std::to_string(size)},
        {"5 levels", [&](Bytes& b, auto&) { b[object2 + 76] = 5; },
         "DkProcessC3dObject(): Detail level too high!5"},
        {"levels past the record", [&](Bytes& b, auto&) { b[object2 + 76] = 4; },
         bad + "Object 2 has 4 levels in 84 bytes"},
        {"shape index = count", [&](Bytes& b, auto&) { Put16(b, object2 + 82, 2); },
         bad + "Object 2 uses shape 2 of 2"},
        {"parent -2", [&](Bytes& b, auto&) { Put16(b, object2 + 4, 0xFFFE); },
         bad + "Object 2 has parent -2"},
        {"4,097 blocks", [](Bytes& b, auto&) { Put16(b, 12, 4098); },
         bad + "4097 track blocks, more than 4096", DK3D_TRACK},
        {"unknown kind", [](Bytes&, auto&) {}, "DkProcessC3dObject(): no load kind 7", 7},
    };
    // Cut at every record's start and one byte short of the end.
    std::vector<uint32_t> cuts = {32};
    for (const auto* list : {&at.textures, &at.shapes, &at.objects})
        for (uint32_t offset : *list)
            if (offset > 32)
                cuts.push_back(offset);
    cuts.push_back(size - 1);
    for (uint32_t cut : cuts)
        cases.push_back(
            {"cut at " + std::to_string(cut), [cut](Bytes& b, auto&) { b.resize(cut); }, bad});

    const Counts before = Now();
    for (const Mutation& m : cases)
    {
        SCOPED_TRACE(m.what);
        Bytes file = good;
        m.change(file, at);
        EXPECT_EQ(Load(file, m.kind), nullptr);
        EXPECT_EQ(CountReports(last), 1) << last;
        EXPECT_NE(last.find(m.message), std::string::npos) << last;
        EXPECT_EQ(Now(), before);
    }
    EXPECT_NE(Load(good, DK3D_OBJECTS), nullptr) << "the file itself is good: " << last;
    EXPECT_EQ(CountReports(last), 0) << last;
}

// ---------------------------------------------------------------------------------------------
// Limits met while building.

TEST_F(C3dTest, AFullActorTableSkipsTheObjectsItCannotHold)
{
    Open(16);
    output += CaptureOutput(
        [&]
        {
            while (guNumActors < MAXACTORS - 1)
                DkCreateActor(world);
        });
    DK_ACTOR* first = Load(C3dCar(), DK3D_CAR);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(guNumActors, static_cast<uint32_t>(MAXACTORS));
    EXPECT_NE(ModelOf(first), nullptr);
    EXPECT_TRUE(Reported(last, "ERROR (DkCreateActor): No space for the new actor!")) << last;
}

TEST_F(C3dTest, LoadsGoOnWhenTheHeapRunsOutAndLeaveNothingHalfMade)
{
    Open(16, 0, 3 * 1024 * 1024);
    const Bytes file = FormatC3d(C3dScenery(20, 30));
    bool ranOut = false;
    for (int i = 0; i < 100 && !ranOut; ++i)
    {
        Load(file, DK3D_SHADOWS);
        ranOut = last.find("Cannot allocate") != std::string::npos;
    }
    ASSERT_TRUE(ranOut) << "the heap should run out";
    Load(file, DK3D_SHADOWS);
    // Whatever a level got, its lists agree with their counts.
    for (const DK_MODEL* m : gapModels)
        for (int l = 0; m != nullptr && l < DK_MODEL_LEVELS; ++l)
            for (const DK_MODEL_NODE* n = m->aLevels[l].pFirstNode; n != nullptr; n = n->pNext)
            {
                ASSERT_TRUE(n->nNumIndices == 0 || n->puIndices != nullptr);
                ASSERT_TRUE(n->nNumVertices == 0 || (n->pVertices && n->pfPositions));
                for (int i = 0; i < n->nNumIndices; ++i)
                    ASSERT_LT(n->puIndices[i], n->nNumVertices);
            }
}

} // namespace
