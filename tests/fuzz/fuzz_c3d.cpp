// DK3D scene and model files, made into textures, models, actors, fixed models and track blocks
// on a display with its 3D device, loaded twice (the second time finds its textures and shapes
// by name), then used as a stage uses them: the track grid built, animated textures started and
// stepped. Everything an input made is torn down before the next.
//
// The input: a byte choosing the load kind (its place in 0, 1, 2, 3, 4, 5, 6, 8, 9; 0x80 for an
// 8-bit display and the software device), a byte of options (0x01, 0x08 and 0x10 as the game
// passes them; 0x80 colour keys, 0x40 the vertex-colour option), then the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/common/dk_actor.h"
#include "engine/pc/3d/c3d.h"
#include "engine/pc/3d/dk_anim.h"
#include "engine/pc/3d/dk_tblk.h"
#include "tests/fuzz/fuzz_display.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    static const int kKinds[] = {0, 1, 2, 3, 4, 5, 6, 8, 9};
    const int nKind = kKinds[(data[0] & 0x7F) % (sizeof kKinds / sizeof kKinds[0])];
    if (!fuzz::OpenDisplay(data[0] & 0x80 ? 8 : 16, true))
        __builtin_trap();
    gboC3dLoadOption = data[1] & 0x40 ? TRUE : FALSE;
    const BOOL boColourKeyed = data[1] & 0x80 ? TRUE : FALSE;
    const uint32_t uOptions = data[1] & 0x19;
    // A copy of exactly the file's size, so a read past its end is caught.
    const std::vector<uint8_t> file(data + 2, data + size);
    const uint32_t n = static_cast<uint32_t>(file.size());

    DK_ACTOR* pWorld = DkCreateWorldActor();
    for (int load = 0; load < 2; ++load)
        DkProcessC3dObject(file.data(), n, nKind, pWorld, boColourKeyed, uOptions);
    if (nKind == DK3D_TRACK || nKind == DK3D_NIGHT_TRACK)
        DkInitialiseTrackBlocks();
    for (int i = 0; i < guNumAnimTextures; ++i)
        DkStartAnimatedTexture(gaAnimTextures[i].szName, i % 4);
    for (int tick = 0; tick < 40; ++tick)
    {
        DkUpdateAnimatedTextures();
        DkShowAnimatedTextures();
    }

    DkKillAllObjects();
    fuzz::CloseDisplay();
    return 0;
}
