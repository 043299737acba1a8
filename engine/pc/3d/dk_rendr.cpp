#include "engine/pc/3d/dk_rendr.h"

#include <cstring>

#include "engine/pc/3d/3dinit.h"
#include "engine/pc/3d/dk_3dcap.h"
#include "engine/pc/core/dk_debug.h"
#include "platform/d3d/d3d.h"

namespace
{

uint32_t guCachedTextureHandle = 0;
uint32_t guCachedMaterialHandle = 0;
uint32_t guCachedTextureFilter = 2;
uint32_t guCachedTextureMinFilter = 2;
int gnCachedZEnable = 0;
int gnCachedZWriteEnable = 0;

int32_t FloatBits(float f)
{
    int32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

void Send(D3DRENDERSTATETYPE state, DWORD value)
{
    if (d3d->lpD3DDevice2 != nullptr)
        d3d->lpD3DDevice2->SetRenderState(state, value);
}

} // namespace

int SetRenderState(int nReset)
{
    int32_t* cache = d3d->anRenderStateCache;
    if (nReset)
    {
        const bool hardware = d3d->nHardwareTexturing != 0;
        const int32_t defaults[DK_RENDER_STATE_CACHE] = {
            1,
            1,
            hardware ? D3DSHADE_GOURAUD : D3DSHADE_FLAT,
            hardware ? D3DFILTER_LINEAR : D3DFILTER_NEAREST,
            hardware ? D3DTBLEND_MODULATE : D3DTBLEND_COPY,
            D3DFILL_SOLID,
            D3DBLEND_SRCALPHA,
            D3DBLEND_INVSRCALPHA,
            0,
            0,
            0,
            0,
            0x969696,
            3,
            FloatBits(10.0f),
            FloatBits(250.0f),
            D3DCULL_CCW,
        };
        std::memcpy(cache, defaults, sizeof defaults);
    }
    if (d3d->lpD3DViewport2 == nullptr)
    {
        DKREPORT("SetRenderState() : No viewport");
        return 1;
    }
    Send(D3DRENDERSTATE_SHADEMODE, cache[DKRS_SHADEMODE]);
    Send(D3DRENDERSTATE_ALPHABLENDENABLE, DkIsZBufferlessDevice() ? 1 : 0);
    Send(D3DRENDERSTATE_COLORKEYENABLE, 1);
    Send(D3DRENDERSTATE_TEXTUREADDRESS, D3DTADDRESS_CLAMP);
    Send(D3DRENDERSTATE_STIPPLEDALPHA, 0);
    Send(D3DRENDERSTATE_SRCBLEND, cache[DKRS_SRCBLEND]);
    Send(D3DRENDERSTATE_DESTBLEND, cache[DKRS_DESTBLEND]);
    Send(D3DRENDERSTATE_TEXTUREPERSPECTIVE, cache[DKRS_TEXTUREPERSPECTIVE]);
    Send(D3DRENDERSTATE_ZENABLE, cache[DKRS_ZENABLE]);
    Send(D3DRENDERSTATE_ZWRITEENABLE, cache[DKRS_ZENABLE]);
    Send(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
    Send(D3DRENDERSTATE_CULLMODE, cache[DKRS_CULLMODE]);
    Send(D3DRENDERSTATE_TEXTUREMAPBLEND, cache[DKRS_TEXTUREMAPBLEND]);
    Send(D3DRENDERSTATE_FILLMODE, cache[DKRS_FILLMODE]);
    Send(D3DRENDERSTATE_DITHERENABLE, cache[DKRS_DITHERENABLE]);
    Send(D3DRENDERSTATE_SPECULARENABLE, cache[DKRS_SPECULARENABLE]);
    Send(D3DRENDERSTATE_ANTIALIAS, cache[DKRS_ANTIALIAS]);
    Send(D3DRENDERSTATE_FOGENABLE, cache[DKRS_FOGENABLE]);
    Send(D3DRENDERSTATE_FOGCOLOR, 0xFFFFFF);
    DkSetTextureHandle(0);
    DkSetTextureFilter(static_cast<uint32_t>(cache[DKRS_TEXTUREFILTER]));
    return 1;
}

void DkSetTextureHandle(uint32_t uHandle)
{
    if (uHandle == guCachedTextureHandle)
        return;
    guCachedTextureHandle = uHandle;
    Send(D3DRENDERSTATE_TEXTUREHANDLE, uHandle);
}

void DkSetTextureFilter(uint32_t uFilter)
{
    if (uFilter == guCachedTextureFilter)
        return;
    // Without clamped addressing the device filters by nearest texel only.
    DWORD sent = DkCapTextureClamp() ? uFilter : static_cast<DWORD>(D3DFILTER_NEAREST);
    Send(D3DRENDERSTATE_TEXTUREMAG, sent);
    Send(D3DRENDERSTATE_TEXTUREMIN, sent);
    guCachedTextureFilter = uFilter;
    guCachedTextureMinFilter = sent;
}

void DkSetMaterialHandle(uint32_t uHandle)
{
    if (uHandle == guCachedMaterialHandle)
        return;
    guCachedMaterialHandle = uHandle;
    if (d3d->lpD3DDevice2 != nullptr)
        TRYD3D(d3d->lpD3DDevice2->SetLightState(D3DLIGHTSTATE_MATERIAL, uHandle));
}

void DkSetTextureMinFilter(uint32_t uFilter)
{
    if (uFilter == guCachedTextureMinFilter)
        return;
    guCachedTextureMinFilter = uFilter;
    Send(D3DRENDERSTATE_TEXTUREMIN, uFilter);
}

int DkSetZEnable(int nOn)
{
    if (nOn != gnCachedZEnable)
    {
        gnCachedZEnable = nOn;
        Send(D3DRENDERSTATE_ZENABLE, static_cast<DWORD>(nOn));
    }
    return nOn;
}

int DkSetZWriteEnable(int nOn)
{
    if (nOn != gnCachedZWriteEnable)
    {
        gnCachedZWriteEnable = nOn;
        Send(D3DRENDERSTATE_ZWRITEENABLE, static_cast<DWORD>(nOn));
    }
    return nOn;
}

void DkResetSetterCaches(void)
{
    guCachedTextureHandle = 0;
    guCachedMaterialHandle = 0;
    guCachedTextureFilter = 2;
    guCachedTextureMinFilter = 2;
    gnCachedZEnable = 0;
    gnCachedZWriteEnable = 0;
}
