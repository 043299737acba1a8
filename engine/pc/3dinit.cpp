// The Direct3D context. The display set-up fills its interfaces; the 3D set-up comes with
// the renderer.

#include "engine/pc/3dinit.h"

namespace
{
DK_D3D gD3D;
}

DK_D3D* d3d = &gD3D;
BOOL gbo3DReady = FALSE;
