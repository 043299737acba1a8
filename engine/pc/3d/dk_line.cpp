#include "engine/pc/3d/dk_line.h"

#include "engine/common/destruct.h"
#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/d3d/d3d.h"

namespace
{

BOOL gboLinesInitialised = FALSE;

D3DLVERTEX Vertex(const DK_VECTOR& p, D3DCOLOR colour)
{
    D3DLVERTEX v{};
    v.x = static_cast<float>(p.x / 65536.0);
    v.y = static_cast<float>(p.y / 65536.0);
    v.z = static_cast<float>(p.z / 65536.0);
    v.color = colour;
    return v;
}

} // namespace

DK_LINE gaLines[MAX_LINES];
int32_t gnNumLines = 0;

void DkInitialiseLines(void)
{
    if (gboLinesInitialised)
        DKREPORT("DkInitialiseLines(): Already initialised!");
    gnNumLines = 0;
    // A second set-up keeps the one registration.
    if (!DkIsDestructorAdded(DkLineDestructor))
        DkAddDestructor(DkLineDestructor, "DkLineDestructor");
    gboLinesInitialised = TRUE;
    DkLog("Line Buffer initialised");
}

BOOL DkLineDestructor(void)
{
    if (!gboLinesInitialised)
        DKREPORT("DkLineDestructor(): Lines have not been initialised!");
    DkDebugOutput("DkLineDestructor");
    gnNumLines = 0;
    gboLinesInitialised = FALSE;
    return TRUE;
}

void DkDrawLine(const DK_VECTOR* pStart, const DK_VECTOR* pEnd, const uint8_t* pColour,
                DK_ACTOR* pActor)
{
    // The colour is read as much as the ends, so it is checked with them.
    if (pStart == nullptr || pEnd == nullptr || pColour == nullptr)
    {
        DKREPORT("DkDrawLine(): One of the passed vectors is NULL!");
        return;
    }
    if (!gboLinesInitialised)
    {
        DKREPORT("DkDrawLine(): Lines have not been initialised!");
        return;
    }
    if (gnNumLines >= MAX_LINES)
        return;
    DK_LINE& line = gaLines[gnNumLines++];
    line.Start = *pStart;
    line.End = *pEnd;
    line.pActor = pActor;
    for (int c = 0; c < 4; ++c)
        line.auColour[c] = pColour[c];
}

void DkRenderLines(const DK_ACTOR*)
{
    if (gnNumLines == 0)
        return;
    DkSetMaterialHandle(0);
    DkSetTextureHandle(0);
    IDirect3DDevice2* lpDevice = d3d->lpD3DDevice2;
    for (int32_t i = 0; i < gnNumLines && lpDevice != nullptr; ++i)
    {
        const DK_LINE& line = gaLines[i];
        const D3DCOLOR rgb = static_cast<D3DCOLOR>(line.auColour[0]) << 16 |
                             static_cast<D3DCOLOR>(line.auColour[1]) << 8 | line.auColour[2];
        D3DLVERTEX ends[2] = {
            Vertex(line.Start, static_cast<D3DCOLOR>(line.auColour[3]) << 24 | rgb),
            Vertex(line.End, rgb)};
        const HRESULT hr = lpDevice->DrawPrimitive(D3DPT_LINELIST, D3DVT_LVERTEX, ends, 2,
                                                   D3DDP_DONOTUPDATEEXTENTS);
        if (hr == D3DERR_INVALIDRAMPTEXTURE)
            DKREPORT("Line:invalid ramp");
        else if (hr == E_INVALIDARG)
            DKREPORT("Line:invalid PARAM");
    }
    gnNumLines = 0;
}
