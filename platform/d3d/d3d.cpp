// The device objects: the 3D object, devices with their render states and transforms,
// viewports, materials, textures and their handles, and the execute-buffer stub.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#include "platform/d3d/d3d_internal.h"

const IID IID_IDirect3D = {0x44335A01, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 1, 1}};
const IID IID_IDirect3D2 = {0x44335A01, 0x0002, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 1, 2}};
const IID IID_IDirect3DHALDevice = {
    0x44335A02, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 2, 1}};
const IID IID_IDirect3DRampDevice = {
    0x44335A02, 0x0002, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 2, 2}};

const IID IID_IDirect3DDevice = {
    0x44335A03, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 3, 1}};
const IID IID_IDirect3DDevice2 = {
    0x44335A03, 0x0002, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 3, 2}};
const IID IID_IDirect3DTexture = {
    0x44335A04, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 4, 1}};
const IID IID_IDirect3DTexture2 = {
    0x44335A04, 0x0002, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 4, 2}};
const IID IID_IDirect3DMaterial = {
    0x44335A05, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 5, 1}};
const IID IID_IDirect3DMaterial2 = {
    0x44335A05, 0x0002, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 5, 2}};
const IID IID_IDirect3DViewport = {
    0x44335A06, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 6, 1}};
const IID IID_IDirect3DViewport2 = {
    0x44335A06, 0x0002, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 6, 2}};

struct D3dObject
{
    IDirect3D2 iface;
    ULONG refs = 1;
    IDirectDraw2* dd = nullptr; // holds a reference
};

namespace
{

D3DDEVICEDESC DefaultHardwareDescription()
{
    D3DDEVICEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = D3DDD_COLORMODEL | D3DDD_DEVCAPS | D3DDD_TRICAPS | D3DDD_DEVICERENDERBITDEPTH |
                D3DDD_DEVICEZBUFFERBITDEPTH;
    d.dcmColorModel = D3DCOLOR_RGB;
    d.dwDevCaps = D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY |
                  D3DDEVCAPS_DRAWPRIMTLVERTEX;
    // What the rasteriser really does, for triangles and lines alike.
    D3DPRIMCAPS p{};
    p.dwSize = sizeof p;
    p.dwMiscCaps = D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
    p.dwRasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_SUBPIXEL | D3DPRASTERCAPS_FOGVERTEX |
                     D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_STIPPLE;
    p.dwZCmpCaps = D3DPCMPCAPS_LESSEQUAL;
    p.dwSrcBlendCaps = D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_INVSRCCOLOR | D3DPBLENDCAPS_SRCALPHA;
    p.dwDestBlendCaps = D3DPBLENDCAPS_ONE | D3DPBLENDCAPS_INVSRCCOLOR | D3DPBLENDCAPS_INVSRCALPHA;
    p.dwShadeCaps = D3DPSHADECAPS_COLORFLATRGB | D3DPSHADECAPS_COLORGOURAUDRGB |
                    D3DPSHADECAPS_ALPHAFLATBLEND | D3DPSHADECAPS_ALPHAFLATSTIPPLED |
                    D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_ALPHAGOURAUDSTIPPLED |
                    D3DPSHADECAPS_FOGGOURAUD;
    p.dwTextureCaps =
        D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_TRANSPARENCY;
    p.dwTextureFilterCaps = D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR;
    p.dwTextureBlendCaps =
        D3DPTBLENDCAPS_COPY | D3DPTBLENDCAPS_MODULATE | D3DPTBLENDCAPS_MODULATEALPHA;
    p.dwTextureAddressCaps = D3DPTADDRESSCAPS_CLAMP;
    p.dwStippleWidth = 4;
    p.dwStippleHeight = 4;
    d.dpcTriCaps = p;
    d.dpcLineCaps = p;
    d.dwDeviceZBufferBitDepth = DDBD_16;
    d.dwDeviceRenderBitDepth = DDBD_8 | DDBD_16;
    return d;
}

D3DDEVICEDESC RampEmulationDescription()
{
    D3DDEVICEDESC d{};
    d.dwSize = sizeof d;
    d.dcmColorModel = D3DCOLOR_MONO;
    d.dwDeviceZBufferBitDepth = DDBD_16;
    d.dwDeviceRenderBitDepth = DDBD_8;
    return d;
}

D3DDEVICEDESC gHardwareDescription = DefaultHardwareDescription();

} // namespace

HRESULT D3dCreateForDirectDraw(IDirectDraw2* lpDD, IDirect3D2** lplpD3D)
{
    if (lpDD == nullptr || lplpD3D == nullptr)
        return DDERR_INVALIDPARAMS;
    auto* d3d = new D3dObject;
    d3d->iface.data = d3d;
    d3d->dd = lpDD;
    lpDD->AddRef();
    *lplpD3D = &d3d->iface;
    return D3D_OK;
}

ULONG IDirect3D2::AddRef()
{
    return ++data->refs;
}

ULONG IDirect3D2::Release()
{
    ULONG refs = --data->refs;
    if (refs == 0)
    {
        IDirectDraw2* dd = data->dd;
        delete data;
        dd->Release();
    }
    return refs;
}

HRESULT IDirect3D2::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return DDERR_INVALIDPARAMS;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IDirect3D) && !IsEqualGUID(riid, IID_IDirect3D2))
        return E_NOINTERFACE;
    AddRef();
    *ppv = this;
    return D3D_OK;
}

HRESULT IDirect3D2::EnumDevices(LPD3DENUMDEVICESCALLBACK lpEnumDevicesCallback, LPVOID lpUserArg)
{
    if (lpEnumDevicesCallback == nullptr)
        return DDERR_INVALIDPARAMS;
    const D3DDEVICEDESC none{};

    // The software device comes first and the hardware-like one last, as display drivers
    // list them: the display survey keeps the rating of the last device it is shown.
    GUID ramp = IID_IDirect3DRampDevice;
    char rampDescription[] = "Ramp Emulation";
    char rampName[] = "Ramp";
    D3DDEVICEDESC rampHw = none;
    D3DDEVICEDESC rampHel = RampEmulationDescription();
    if (lpEnumDevicesCallback(&ramp, rampDescription, rampName, &rampHw, &rampHel, lpUserArg) ==
        DDENUMRET_CANCEL)
        return D3D_OK;

    GUID hal = IID_IDirect3DHALDevice;
    char halDescription[] = "Dezor software rasteriser";
    char halName[] = "Dezor HAL";
    D3DDEVICEDESC halHw = gHardwareDescription;
    D3DDEVICEDESC halHel = none;
    lpEnumDevicesCallback(&hal, halDescription, halName, &halHw, &halHel, lpUserArg);
    return D3D_OK;
}

D3DDEVICEDESC D3dHardwareDescription(void)
{
    return gHardwareDescription;
}

void D3dSetHardwareDescriptionForTests(const D3DDEVICEDESC* pDesc)
{
    gHardwareDescription = pDesc != nullptr ? *pDesc : DefaultHardwareDescription();
}

// Objects and handles.

namespace
{

std::atomic<int> gnLive{0};
int gnDevices = 0;    // the drawing threads end with the last device
unsigned gnScene = 1; // stamps texture decodes; each BeginScene starts a new one

// Handles are indexes + 1 into these tables; a released object leaves its slot empty.
std::vector<D3dTexture*> gTextures;
std::vector<D3dMaterial*> gMaterials;

template <class T> DWORD AddHandle(std::vector<T*>& table, T* object)
{
    auto free = std::find(table.begin(), table.end(), nullptr);
    if (free != table.end())
    {
        *free = object;
        return static_cast<DWORD>(free - table.begin()) + 1;
    }
    table.push_back(object);
    return static_cast<DWORD>(table.size());
}

template <class T> T* FromHandle(const std::vector<T*>& table, DWORD handle)
{
    return handle != 0 && handle <= table.size() ? table[handle - 1] : nullptr;
}

// The call log (see d3d.h): every hook tests gboCallLog first and does nothing more when it is off.
bool gboCallLog = false;
std::vector<D3dLoggedCall> gCallLog;

// D3dFailDrawsForTests: what the next draws return instead of drawing.
HRESULT gFailedDrawResult = D3D_OK;
int gnFailedDraws = 0;

bool TakeFailedDraw(HRESULT& hr)
{
    if (gnFailedDraws <= 0) [[likely]]
        return false;
    --gnFailedDraws;
    hr = gFailedDrawResult;
    return true;
}

D3dLoggedCall& Logged(D3dCall call, HRESULT result)
{
    D3dLoggedCall& c = gCallLog.emplace_back();
    c.call = call;
    c.result = result;
    return c;
}

void LogState(D3dCall call, DWORD what, DWORD value, HRESULT result)
{
    D3dLoggedCall& c = Logged(call, result);
    c.what = what;
    c.value = value;
}

D3DMATRIX Identity()
{
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// A NaN component reads as 0: clamping leaves NaN as it is, and NaN must not reach the cast.
uint8_t ToByte(float v)
{
    if (!(v > 0.0f))
        return 0;
    return static_cast<uint8_t>(std::min(v, 1.0f) * 255.0f + 0.5f);
}

D3DCOLOR ToColor(const D3DCOLORVALUE& c)
{
    return static_cast<D3DCOLOR>(ToByte(c.a)) << 24 | static_cast<D3DCOLOR>(ToByte(c.r)) << 16 |
           static_cast<D3DCOLOR>(ToByte(c.g)) << 8 | ToByte(c.b);
}

// A channel of a pixel scaled to 0..255.
uint32_t Channel(DWORD pixel, DWORD mask)
{
    if (mask == 0)
        return 0;
    int shift = std::countr_zero(mask);
    DWORD max = mask >> shift;
    return static_cast<uint32_t>(((pixel & mask) >> shift) * 255 / max);
}

void Decode(D3dTexture& t)
{
    D3dTextureImage& img = t.image;
    const DdSurfaceData& s = *DdData(t.surface);
    img.width = static_cast<int>(s.width);
    img.height = static_cast<int>(s.height);
    img.stride = img.width + 1;
    const size_t stride = static_cast<size_t>(img.stride);
    const size_t count = stride * (s.height + 1);
    img.argb.assign(count, 0xFF000000u);
    img.hasKey = s.hasColorKey;
    img.keyed.assign(img.hasKey ? count : 0, 0);
    const DWORD key = s.colorKey.dwColorSpaceLowValue;
    const bool palettised = (s.format.dwFlags & DDPF_PALETTEINDEXED8) != 0;
    const DdPaletteData* pal = palettised ? DdSurfacePalette(s) : nullptr;
    const bool alpha = (s.format.dwFlags & DDPF_ALPHAPIXELS) != 0;
    img.hasAlpha = alpha;
    for (DWORD y = 0; y < s.height; ++y)
    {
        const uint8_t* row = DdRow(s, y);
        size_t at = y * stride;
        for (DWORD x = 0; x < s.width; ++x, ++at)
        {
            DWORD pixel = 0;
            std::memcpy(&pixel, row + x * s.bytesPerPixel, std::min<DWORD>(s.bytesPerPixel, 4));
            if (img.hasKey)
                img.keyed[at] = pixel == key;
            if (palettised)
            {
                if (pal != nullptr)
                {
                    const PALETTEENTRY& e = pal->entries[pixel & 0xFF];
                    img.argb[at] = 0xFF000000u | static_cast<uint32_t>(e.peRed) << 16 |
                                   static_cast<uint32_t>(e.peGreen) << 8 | e.peBlue;
                }
                continue;
            }
            uint32_t a = alpha ? Channel(pixel, s.format.dwRGBAlphaBitMask) : 255;
            img.argb[at] = a << 24 | Channel(pixel, s.format.dwRBitMask) << 16 |
                           Channel(pixel, s.format.dwGBitMask) << 8 |
                           Channel(pixel, s.format.dwBBitMask);
        }
    }
    // The extra column and row repeat the edges.
    if (s.width == 0 || s.height == 0)
        return;
    for (size_t y = 0; y < s.height; ++y)
    {
        img.argb[y * stride + s.width] = img.argb[y * stride + s.width - 1];
        if (img.hasKey)
            img.keyed[y * stride + s.width] = img.keyed[y * stride + s.width - 1];
    }
    const size_t last = (s.height - 1) * stride;
    std::copy_n(img.argb.begin() + static_cast<ptrdiff_t>(last), stride,
                img.argb.begin() + static_cast<ptrdiff_t>(last + stride));
    if (img.hasKey)
        std::copy_n(img.keyed.begin() + static_cast<ptrdiff_t>(last), stride,
                    img.keyed.begin() + static_cast<ptrdiff_t>(last + stride));
}

// Decodes the texture again only when its surface or palette changed since the last decode.
void Refresh(D3dTexture& t)
{
    const DdSurfaceData& s = *DdData(t.surface);
    const DdPaletteData* pal = DdSurfacePalette(s);
    const uint64_t paletteStamp = pal != nullptr ? pal->stamp : 0;
    if (t.decodedScene == 0 || t.sourceStamp != s.stamp || t.paletteStamp != paletteStamp)
    {
        Decode(t);
        t.sourceStamp = s.stamp;
        t.paletteStamp = paletteStamp;
    }
    t.decodedScene = gnScene;
}

// Formats a test asks the device to offer instead of its own.
std::vector<DDPIXELFORMAT> gTestFormats;

DDSURFACEDESC TextureFormat(DWORD flags, DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a)
{
    DDSURFACEDESC d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    d.ddpfPixelFormat.dwSize = sizeof d.ddpfPixelFormat;
    d.ddpfPixelFormat.dwFlags = flags;
    d.ddpfPixelFormat.dwRGBBitCount = bits;
    d.ddpfPixelFormat.dwRBitMask = r;
    d.ddpfPixelFormat.dwGBitMask = g;
    d.ddpfPixelFormat.dwBBitMask = b;
    d.ddpfPixelFormat.dwRGBAlphaBitMask = a;
    return d;
}

} // namespace

struct D3dViewport
{
    IDirect3DViewport iface;
    ULONG refs = 1;
    D3DVIEWPORT2 vp{};
    D3DMATERIALHANDLE background = 0;
    D3dDevice* device = nullptr; // the device it was added to last, while that lives
};

struct D3dDevice
{
    IDirect3DDevice iface;
    ULONG refs = 1;
    bool ramp = false;
    IDirectDrawSurface* target = nullptr; // holds a reference
    std::array<DWORD, D3DRENDERSTATE_COUNT> states{};
    D3DMATERIALHANDLE material = 0;
    D3DMATRIX world = Identity(), view = Identity(), projection = Identity();
    bool inScene = false;
    std::vector<IDirect3DViewport2*> viewports; // each holds a reference
    D3dViewport* current = nullptr;
    // 8-bit targets: the palette the ramp table was made for.
    std::array<PALETTEENTRY, 256> rampPalette{};
    std::vector<uint8_t> rampTable;
    int rasterThreads = 1; // chosen when the device is made (DEZOR_RASTER_THREADS)
    D3DSTATS stats{sizeof(D3DSTATS), 0, 0, 0, 0, 0};
};

struct D3dExecuteBuffer
{
    IDirect3DExecuteBuffer iface;
    ULONG refs = 1;
    std::vector<uint8_t> bytes;
    D3DEXECUTEDATA executeData{};
};

int D3dLiveObjects(void)
{
    return gnLive;
}

HRESULT IDirect3D2::CreateDevice(REFIID rclsid, IDirectDrawSurface* lpDDS,
                                 IDirect3DDevice2** lplpD3DDevice)
{
    if (lplpD3DDevice == nullptr || lpDDS == nullptr)
        return DDERR_INVALIDPARAMS;
    *lplpD3DDevice = nullptr;
    const bool hal = IsEqualGUID(rclsid, IID_IDirect3DHALDevice);
    if (!hal && !IsEqualGUID(rclsid, IID_IDirect3DRampDevice))
        return DDERR_INVALIDPARAMS;
    const DdSurfaceData& s = *DdData(lpDDS);
    const bool palettised = (s.format.dwFlags & DDPF_PALETTEINDEXED8) != 0;
    if (!(palettised && s.bytesPerPixel == 1) &&
        !(s.bytesPerPixel == 2 && (s.format.dwFlags & DDPF_RGB)))
        return DDERR_INVALIDPIXELFORMAT;

    auto* d = new D3dDevice;
    ++gnLive;
    ++gnDevices;
    d->iface.data = d;
    d->ramp = !hal;
    d->rasterThreads = D3dRasterThreadsFromEnvironment();
    d->target = lpDDS;
    lpDDS->AddRef();
    auto& st = d->states;
    st[D3DRENDERSTATE_TEXTUREADDRESS] = D3DTADDRESS_CLAMP;
    st[D3DRENDERSTATE_TEXTUREPERSPECTIVE] = 1;
    st[D3DRENDERSTATE_ZENABLE] = s.zbuffer != nullptr;
    st[D3DRENDERSTATE_ZWRITEENABLE] = 1;
    st[D3DRENDERSTATE_ZFUNC] = D3DCMP_LESSEQUAL;
    st[D3DRENDERSTATE_FILLMODE] = D3DFILL_SOLID;
    st[D3DRENDERSTATE_SHADEMODE] = D3DSHADE_GOURAUD;
    st[D3DRENDERSTATE_TEXTUREMAG] = D3DFILTER_NEAREST;
    st[D3DRENDERSTATE_TEXTUREMIN] = D3DFILTER_NEAREST;
    st[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
    st[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
    st[D3DRENDERSTATE_TEXTUREMAPBLEND] = D3DTBLEND_MODULATE;
    st[D3DRENDERSTATE_CULLMODE] = D3DCULL_CCW;
    *lplpD3DDevice = &d->iface;
    return D3D_OK;
}

HRESULT IDirect3D2::CreateViewport(IDirect3DViewport2** lplpD3DViewport, void*)
{
    if (lplpD3DViewport == nullptr)
        return DDERR_INVALIDPARAMS;
    auto* v = new D3dViewport;
    ++gnLive;
    v->iface.data = v;
    v->vp.dwSize = sizeof v->vp;
    *lplpD3DViewport = &v->iface;
    return D3D_OK;
}

HRESULT IDirect3D2::CreateViewport(IDirect3DViewport** lplpD3DViewport, void* pUnkOuter)
{
    IDirect3DViewport2* v = nullptr;
    HRESULT hr = CreateViewport(&v, pUnkOuter);
    if (lplpD3DViewport != nullptr)
        *lplpD3DViewport = hr == D3D_OK ? &v->data->iface : nullptr;
    return hr;
}

HRESULT IDirect3D2::CreateMaterial(IDirect3DMaterial** lplpD3DMaterial, void* pUnkOuter)
{
    IDirect3DMaterial2* m = nullptr;
    HRESULT hr = CreateMaterial(&m, pUnkOuter);
    if (lplpD3DMaterial != nullptr)
        *lplpD3DMaterial = hr == D3D_OK ? &m->data->iface : nullptr;
    return hr;
}

HRESULT IDirect3D2::CreateMaterial(IDirect3DMaterial2** lplpD3DMaterial, void*)
{
    if (lplpD3DMaterial == nullptr)
        return DDERR_INVALIDPARAMS;
    auto* m = new D3dMaterial;
    ++gnLive;
    m->iface.data = m;
    m->material.dwSize = sizeof m->material;
    m->handle = AddHandle(gMaterials, m);
    *lplpD3DMaterial = &m->iface;
    return D3D_OK;
}

HRESULT D3dCreateTexture(IDirectDrawSurface* lpDDS, IDirect3DTexture2** lplpTexture)
{
    if (lpDDS == nullptr || lplpTexture == nullptr)
        return DDERR_INVALIDPARAMS;
    auto* t = new D3dTexture;
    ++gnLive;
    t->iface.data = t;
    t->surface = lpDDS;
    lpDDS->AddRef();
    t->handle = AddHandle(gTextures, t);
    *lplpTexture = &t->iface;
    return D3D_OK;
}

// The device.

ULONG IDirect3DDevice2::AddRef()
{
    return ++data->refs;
}

ULONG IDirect3DDevice2::Release()
{
    ULONG refs = --data->refs;
    if (refs == 0)
    {
        D3dDevice* d = data;
        for (IDirect3DViewport2* v : d->viewports)
        {
            if (v->data->device == d)
                v->data->device = nullptr;
            v->Release();
        }
        D3dFinishDrawing();
        d->target->Release();
        delete d;
        --gnLive;
        if (--gnDevices == 0)
            D3dStopDrawingThreads();
    }
    return refs;
}

HRESULT IDirect3DDevice2::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return DDERR_INVALIDPARAMS;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IDirect3DDevice) && !IsEqualGUID(riid, IID_IDirect3DDevice2))
        return E_NOINTERFACE;
    AddRef();
    *ppv = this;
    return D3D_OK;
}

HRESULT IDirect3DDevice2::GetCaps(D3DDEVICEDESC* lpD3DHWDevDesc, D3DDEVICEDESC* lpD3DHELDevDesc)
{
    if (lpD3DHWDevDesc == nullptr || lpD3DHELDevDesc == nullptr)
        return DDERR_INVALIDPARAMS;
    *lpD3DHWDevDesc = data->ramp ? D3DDEVICEDESC{} : gHardwareDescription;
    *lpD3DHELDevDesc = data->ramp ? RampEmulationDescription() : D3DDEVICEDESC{};
    return D3D_OK;
}

HRESULT IDirect3DDevice2::EnumTextureFormats(LPD3DENUMTEXTUREFORMATSCALLBACK lpCallback,
                                             LPVOID lpArg)
{
    if (lpCallback == nullptr)
        return DDERR_INVALIDPARAMS;
    // 5:6:5 comes after 5:5:5: callers that keep the last RGB format offered get the
    // display's own layout.
    std::vector<DDSURFACEDESC> formats = {
        TextureFormat(DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0),
        TextureFormat(DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0),
        TextureFormat(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0),
        TextureFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0F00, 0x00F0, 0x000F, 0xF000),
        TextureFormat(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x00E0, 0x001C, 0x0003, 0xFF00),
    };
    if (!gTestFormats.empty())
    {
        formats.clear();
        for (const DDPIXELFORMAT& pf : gTestFormats)
            formats.push_back(TextureFormat(pf.dwFlags, pf.dwRGBBitCount, pf.dwRBitMask,
                                            pf.dwGBitMask, pf.dwBBitMask, pf.dwRGBAlphaBitMask));
    }
    for (DDSURFACEDESC& f : formats)
        if (lpCallback(&f, lpArg) == DDENUMRET_CANCEL)
            break;
    return D3D_OK;
}

HRESULT IDirect3DDevice2::BeginScene()
{
    HRESULT hr = D3DERR_SCENE_IN_SCENE;
    if (!data->inScene)
    {
        // A scene decodes its textures anew, so none of the last one's drawing may wait.
        D3dFinishDrawing();
        data->inScene = true;
        ++gnScene;
        if (gnScene == 0)
            gnScene = 1;
        hr = D3D_OK;
    }
    if (gboCallLog) [[unlikely]]
        Logged(D3dCall::BeginScene, hr);
    return hr;
}

HRESULT IDirect3DDevice2::EndScene()
{
    HRESULT hr = D3DERR_SCENE_NOT_IN_SCENE;
    if (data->inScene)
    {
        D3dFinishDrawing();
        data->inScene = false;
        hr = D3D_OK;
    }
    if (gboCallLog) [[unlikely]]
        Logged(D3dCall::EndScene, hr);
    return hr;
}

HRESULT IDirect3DDevice2::GetStats(D3DSTATS* lpStats)
{
    if (lpStats == nullptr || lpStats->dwSize != sizeof(D3DSTATS))
        return DDERR_INVALIDPARAMS;
    *lpStats = data->stats;
    return D3D_OK;
}

HRESULT IDirect3DDevice2::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    HRESULT hr = DDERR_INVALIDPARAMS;
    if (state > 0 && state < D3DRENDERSTATE_COUNT)
    {
        data->states[state] = value;
        hr = D3D_OK;
    }
    if (gboCallLog) [[unlikely]]
        LogState(D3dCall::RenderState, static_cast<DWORD>(state), value, hr);
    return hr;
}

HRESULT IDirect3DDevice2::GetRenderState(D3DRENDERSTATETYPE state, DWORD* lpValue)
{
    if (state <= 0 || state >= D3DRENDERSTATE_COUNT || lpValue == nullptr)
        return DDERR_INVALIDPARAMS;
    *lpValue = data->states[state];
    return D3D_OK;
}

HRESULT IDirect3DDevice2::SetLightState(D3DLIGHTSTATETYPE state, DWORD value)
{
    HRESULT hr = DDERR_INVALIDPARAMS;
    if (state == D3DLIGHTSTATE_MATERIAL)
    {
        data->material = value;
        hr = D3D_OK;
    }
    if (gboCallLog) [[unlikely]]
        LogState(D3dCall::LightState, static_cast<DWORD>(state), value, hr);
    return hr;
}

HRESULT IDirect3DDevice2::GetLightState(D3DLIGHTSTATETYPE state, DWORD* lpValue)
{
    if (lpValue == nullptr)
        return DDERR_INVALIDPARAMS;
    if (state == D3DLIGHTSTATE_MATERIAL)
        *lpValue = data->material;
    else
        return DDERR_INVALIDPARAMS;
    return D3D_OK;
}

HRESULT IDirect3DDevice2::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* lpMatrix)
{
    D3DMATRIX* slot = nullptr;
    switch (state)
    {
        case D3DTRANSFORMSTATE_WORLD:
            slot = &data->world;
            break;
        case D3DTRANSFORMSTATE_VIEW:
            slot = &data->view;
            break;
        case D3DTRANSFORMSTATE_PROJECTION:
            slot = &data->projection;
            break;
    }
    const HRESULT hr = slot != nullptr && lpMatrix != nullptr ? D3D_OK : DDERR_INVALIDPARAMS;
    if (hr == D3D_OK)
        *slot = *lpMatrix;
    if (gboCallLog) [[unlikely]]
    {
        D3dLoggedCall& c = Logged(D3dCall::Transform, hr);
        c.what = static_cast<DWORD>(state);
        if (lpMatrix != nullptr)
            c.matrix = *lpMatrix;
    }
    return hr;
}

HRESULT IDirect3DDevice2::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* lpMatrix)
{
    if (lpMatrix == nullptr)
        return DDERR_INVALIDPARAMS;
    switch (state)
    {
        case D3DTRANSFORMSTATE_WORLD:
            *lpMatrix = data->world;
            return D3D_OK;
        case D3DTRANSFORMSTATE_VIEW:
            *lpMatrix = data->view;
            return D3D_OK;
        case D3DTRANSFORMSTATE_PROJECTION:
            *lpMatrix = data->projection;
            return D3D_OK;
    }
    return DDERR_INVALIDPARAMS;
}

namespace
{

D3dBlend BlendOf(DWORD src, DWORD dest)
{
    if (src == D3DBLEND_ONE && dest == D3DBLEND_ONE)
        return D3dBlend::Add;
    if (src == D3DBLEND_INVSRCCOLOR && dest == D3DBLEND_ONE)
        return D3dBlend::InvSrcColorAdd;
    if (src == D3DBLEND_ONE && dest == D3DBLEND_INVSRCCOLOR)
        return D3dBlend::AddInvSrcColor;
    if (src == D3DBLEND_ONE && dest == D3DBLEND_ZERO)
        return D3dBlend::None;
    return D3dBlend::SrcAlpha; // the pair the engine uses for everything else
}

const std::vector<uint8_t>& RampTable(D3dDevice& d, const std::array<PALETTEENTRY, 256>& pal)
{
    if (!d.rampTable.empty() && std::memcmp(pal.data(), d.rampPalette.data(), sizeof pal) == 0)
        return d.rampTable;
    D3dFinishDrawing(); // recorded drawing reads the table being replaced
    d.rampPalette = pal;
    d.rampTable.assign(32768, 0);
    for (int c = 0; c < 32768; ++c)
    {
        int r = (c >> 10) << 3 | (c >> 12), g = ((c >> 5) & 31) << 3 | ((c >> 7) & 7),
            b = (c & 31) << 3 | ((c >> 2) & 7);
        int best = 0, bestDistance = 1 << 30;
        for (int i = 0; i < 256; ++i)
        {
            int dr = pal[i].peRed - r, dg = pal[i].peGreen - g, db = pal[i].peBlue - b;
            int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance)
                best = i, bestDistance = distance;
        }
        d.rampTable[c] = static_cast<uint8_t>(best);
    }
    return d.rampTable;
}

RECT SurfaceRect(const DdSurfaceData& s)
{
    return {0, 0, static_cast<LONG>(s.width), static_cast<LONG>(s.height)};
}

RECT Intersect(RECT a, const RECT& b)
{
    a.left = std::max(a.left, b.left);
    a.top = std::max(a.top, b.top);
    a.right = std::min(a.right, b.right);
    a.bottom = std::min(a.bottom, b.bottom);
    return a;
}

RECT ViewportRect(const D3DVIEWPORT2& vp)
{
    return {static_cast<LONG>(vp.dwX), static_cast<LONG>(vp.dwY),
            static_cast<LONG>(vp.dwX + vp.dwWidth), static_cast<LONG>(vp.dwY + vp.dwHeight)};
}

DdSurfaceData* ZSurface(const DdSurfaceData& target)
{
    DdSurfaceData* z = DdData(target.zbuffer);
    return z != nullptr && z->bytesPerPixel == 2 && z->width >= target.width &&
                   z->height >= target.height
               ? z
               : nullptr;
}

HRESULT Draw(D3dDevice& d, D3DPRIMITIVETYPE type, D3DVERTEXTYPE vertexType, const void* vertices,
             DWORD vertexCount, const WORD* indices, DWORD indexCount, DWORD flags)
{
    if (d.current == nullptr)
        return D3DERR_NOCURRENTVIEWPORT;
    DdSurfaceData& target = *DdData(d.target);
    if (target.lost)
        return DDERR_SURFACELOST;
    const auto& st = d.states;

    D3dRasterState rs;
    rs.target = &target;
    rs.zbuffer = ZSurface(target);
    rs.threads = d.rasterThreads;
    // A texture made from this target or its Z buffer is decoded again.
    DdTouch(target);
    if (rs.zbuffer != nullptr)
        DdTouch(*rs.zbuffer);
    if (target.bytesPerPixel == 1)
    {
        const DdPaletteData* pal = DdSurfacePalette(target);
        const std::array<PALETTEENTRY, 256>& entries =
            pal != nullptr ? pal->entries : GdiSystemPalette();
        rs.format = D3dTarget::Palette8;
        rs.ramp = RampTable(d, entries).data();
        rs.palette = d.rampPalette.data();
    }
    else
        rs.format = target.format.dwGBitMask == 0x07E0 ? D3dTarget::Rgb565 : D3dTarget::Rgb555;
    rs.scissor = Intersect(ViewportRect(d.current->vp), SurfaceRect(target));
    if (D3dTexture* t = FromHandle(gTextures, st[D3DRENDERSTATE_TEXTUREHANDLE]))
    {
        if (t->decodedScene != gnScene)
            Refresh(*t);
        if (t->image.width > 0 && t->image.height > 0)
            rs.texture = &t->image;
    }
    rs.bilinear = st[D3DRENDERSTATE_TEXTUREMAG] == D3DFILTER_LINEAR;
    rs.perspective = st[D3DRENDERSTATE_TEXTUREPERSPECTIVE] != 0;
    rs.colorKey =
        st[D3DRENDERSTATE_COLORKEYENABLE] != 0 && rs.texture != nullptr && rs.texture->hasKey;
    switch (st[D3DRENDERSTATE_TEXTUREMAPBLEND])
    {
        case D3DTBLEND_COPY:
        case D3DTBLEND_DECAL:
            rs.texBlend = D3dTexBlend::Copy;
            break;
        case D3DTBLEND_MODULATEALPHA:
            rs.texBlend = D3dTexBlend::ModulateAlpha;
            break;
        default:
            // A texture without alpha leaves the vertex alpha, as its texels' alpha is 255.
            rs.texBlend = rs.texture != nullptr && !rs.texture->hasAlpha
                              ? D3dTexBlend::ModulateAlpha
                              : D3dTexBlend::Modulate;
    }
    rs.gouraud = st[D3DRENDERSTATE_SHADEMODE] != D3DSHADE_FLAT;
    if (st[D3DRENDERSTATE_ALPHABLENDENABLE])
        rs.blend = BlendOf(st[D3DRENDERSTATE_SRCBLEND], st[D3DRENDERSTATE_DESTBLEND]);
    else if (st[D3DRENDERSTATE_STIPPLEDALPHA])
        rs.blend = D3dBlend::Stipple;
    rs.fog = st[D3DRENDERSTATE_FOGENABLE] != 0;
    rs.fogColor = st[D3DRENDERSTATE_FOGCOLOR];
    rs.zTest = st[D3DRENDERSTATE_ZENABLE] != 0;
    rs.zWrite = rs.zTest && st[D3DRENDERSTATE_ZWRITEENABLE] != 0;

    D3dVertexState vs;
    vs.worldViewProjection = D3dMultiply(D3dMultiply(d.world, d.view), d.projection);
    vs.viewport = d.current->vp;
    vs.cullMode = st[D3DRENDERSTATE_CULLMODE];
    const D3dMaterial* m = FromHandle(gMaterials, d.material);
    vs.materialColor = m != nullptr ? ToColor(m->material.diffuse) : 0xFFFFFFFFu;
    return D3dDrawVertices(rs, vs, type, vertexType, vertices, vertexCount, indices, indexCount,
                           flags, d.stats);
}

void LogDraw(D3DPRIMITIVETYPE type, D3DVERTEXTYPE vertexType, const void* vertices,
             DWORD vertexCount, const WORD* indices, DWORD indexCount, DWORD flags, HRESULT hr)
{
    D3dLoggedCall& c = Logged(D3dCall::Draw, hr);
    c.what = static_cast<DWORD>(type);
    c.value = static_cast<DWORD>(vertexType);
    c.flags = flags;
    if (vertices != nullptr)
    {
        const auto* v = static_cast<const D3DLVERTEX*>(vertices);
        c.vertices.assign(v, v + vertexCount);
    }
    if (indices != nullptr)
        c.indices.assign(indices, indices + indexCount);
}

} // namespace

HRESULT IDirect3DDevice2::DrawPrimitive(D3DPRIMITIVETYPE type, D3DVERTEXTYPE vertexType,
                                        const void* lpVertices, DWORD dwVertexCount, DWORD dwFlags)
{
    HRESULT hr = D3D_OK;
    if (!TakeFailedDraw(hr))
        hr = Draw(*data, type, vertexType, lpVertices, dwVertexCount, nullptr, 0, dwFlags);
    if (gboCallLog) [[unlikely]]
        LogDraw(type, vertexType, lpVertices, dwVertexCount, nullptr, 0, dwFlags, hr);
    return hr;
}

HRESULT IDirect3DDevice2::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, D3DVERTEXTYPE vertexType,
                                               const void* lpVertices, DWORD dwVertexCount,
                                               const WORD* lpIndices, DWORD dwIndexCount,
                                               DWORD dwFlags)
{
    static const WORD kNone = 0; // an empty index list still draws indexed (nothing)
    HRESULT hr = D3D_OK;
    if (!TakeFailedDraw(hr))
        hr = lpIndices == nullptr && dwIndexCount > 0
                 ? DDERR_INVALIDPARAMS
                 : Draw(*data, type, vertexType, lpVertices, dwVertexCount,
                        lpIndices != nullptr ? lpIndices : &kNone, dwIndexCount, dwFlags);
    if (gboCallLog) [[unlikely]]
        LogDraw(type, vertexType, lpVertices, dwVertexCount, lpIndices, dwIndexCount, dwFlags, hr);
    return hr;
}

HRESULT IDirect3DDevice2::AddViewport(IDirect3DViewport2* lpViewport)
{
    if (lpViewport == nullptr)
        return DDERR_INVALIDPARAMS;
    auto& list = data->viewports;
    if (std::find(list.begin(), list.end(), lpViewport) != list.end())
        return DDERR_INVALIDPARAMS;
    lpViewport->AddRef();
    list.push_back(lpViewport);
    lpViewport->data->device = data;
    return D3D_OK;
}

HRESULT IDirect3DDevice2::DeleteViewport(IDirect3DViewport2* lpViewport)
{
    auto& list = data->viewports;
    auto it = std::find(list.begin(), list.end(), lpViewport);
    if (it == list.end())
        return DDERR_INVALIDPARAMS;
    list.erase(it);
    if (data->current == lpViewport->data)
        data->current = nullptr;
    if (lpViewport->data->device == data)
        lpViewport->data->device = nullptr;
    lpViewport->Release();
    return D3D_OK;
}

HRESULT IDirect3DDevice2::SetCurrentViewport(IDirect3DViewport2* lpViewport)
{
    auto& list = data->viewports;
    const HRESULT hr =
        lpViewport == nullptr || std::find(list.begin(), list.end(), lpViewport) == list.end()
            ? DDERR_INVALIDPARAMS
            : D3D_OK;
    if (hr == D3D_OK)
        data->current = lpViewport->data;
    if (gboCallLog) [[unlikely]]
    {
        D3dLoggedCall& c = Logged(D3dCall::CurrentViewport, hr);
        if (lpViewport != nullptr)
            c.viewport = lpViewport->data->vp;
    }
    return hr;
}

HRESULT IDirect3DDevice2::GetCurrentViewport(IDirect3DViewport2** lplpViewport)
{
    if (lplpViewport == nullptr)
        return DDERR_INVALIDPARAMS;
    *lplpViewport = data->current != nullptr ? &data->current->iface : nullptr;
    if (*lplpViewport == nullptr)
        return D3DERR_NOCURRENTVIEWPORT;
    (*lplpViewport)->AddRef();
    return D3D_OK;
}

HRESULT IDirect3DDevice2::CreateExecuteBuffer(D3DEXECUTEBUFFERDESC* lpDesc,
                                              IDirect3DExecuteBuffer** lplpBuffer, void*)
{
    if (lpDesc == nullptr || lplpBuffer == nullptr)
        return DDERR_INVALIDPARAMS;
    auto* b = new D3dExecuteBuffer;
    ++gnLive;
    b->iface.data = b;
    b->bytes.assign(lpDesc->dwBufferSize, 0);
    *lplpBuffer = &b->iface;
    return D3D_OK;
}

HRESULT IDirect3DDevice2::Execute(IDirect3DExecuteBuffer*, IDirect3DViewport2*, DWORD)
{
    return D3D_OK;
}

// Execute buffers.

ULONG IDirect3DExecuteBuffer::AddRef()
{
    return ++data->refs;
}

ULONG IDirect3DExecuteBuffer::Release()
{
    ULONG refs = --data->refs;
    if (refs == 0)
    {
        delete data;
        --gnLive;
    }
    return refs;
}

HRESULT IDirect3DExecuteBuffer::Lock(D3DEXECUTEBUFFERDESC* lpDesc)
{
    if (lpDesc == nullptr)
        return DDERR_INVALIDPARAMS;
    lpDesc->dwBufferSize = static_cast<DWORD>(data->bytes.size());
    lpDesc->lpData = data->bytes.data();
    return D3D_OK;
}

HRESULT IDirect3DExecuteBuffer::Unlock()
{
    return D3D_OK;
}

HRESULT IDirect3DExecuteBuffer::SetExecuteData(const D3DEXECUTEDATA* lpData)
{
    if (lpData == nullptr)
        return DDERR_INVALIDPARAMS;
    data->executeData = *lpData;
    return D3D_OK;
}

HRESULT IDirect3DExecuteBuffer::GetExecuteData(D3DEXECUTEDATA* lpData)
{
    if (lpData == nullptr)
        return DDERR_INVALIDPARAMS;
    *lpData = data->executeData;
    return D3D_OK;
}

// Viewports.

ULONG IDirect3DViewport2::AddRef()
{
    return ++data->refs;
}

ULONG IDirect3DViewport2::Release()
{
    ULONG refs = --data->refs;
    if (refs == 0)
    {
        delete data;
        --gnLive;
    }
    return refs;
}

HRESULT IDirect3DViewport2::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return DDERR_INVALIDPARAMS;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IDirect3DViewport) && !IsEqualGUID(riid, IID_IDirect3DViewport2))
        return E_NOINTERFACE;
    AddRef();
    *ppv = this;
    return D3D_OK;
}

HRESULT IDirect3DViewport2::SetViewport2(const D3DVIEWPORT2* lpData)
{
    const HRESULT hr =
        lpData == nullptr || lpData->dvClipWidth == 0.0f || lpData->dvClipHeight == 0.0f
            ? DDERR_INVALIDPARAMS
            : D3D_OK;
    if (hr == D3D_OK)
    {
        data->vp = *lpData;
        data->vp.dwSize = sizeof data->vp;
    }
    if (gboCallLog) [[unlikely]]
    {
        D3dLoggedCall& c = Logged(D3dCall::SetViewport, hr);
        if (lpData != nullptr)
            c.viewport = *lpData;
    }
    return hr;
}

HRESULT IDirect3DViewport2::GetViewport2(D3DVIEWPORT2* lpData)
{
    if (lpData == nullptr)
        return DDERR_INVALIDPARAMS;
    *lpData = data->vp;
    return D3D_OK;
}

namespace
{

HRESULT ClearViewport(D3dViewport* data, DWORD dwCount, const D3DRECT* lpRects, DWORD dwFlags)
{
    if (dwCount > 0 && lpRects == nullptr)
        return DDERR_INVALIDPARAMS;
    if (data->device == nullptr)
        return D3DERR_VIEWPORTHASNODEVICE;
    D3dFinishDrawing();
    DdSurfaceData& target = *DdData(data->device->target);
    DdSurfaceData* z = ZSurface(target);
    DWORD fill = 0;
    if (dwFlags & D3DCLEAR_TARGET)
    {
        const D3dMaterial* m = FromHandle(gMaterials, data->background);
        D3DCOLOR c = m != nullptr ? ToColor(m->material.diffuse) : 0;
        fill = DdPixelFromRgb(target, static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8),
                              static_cast<BYTE>(c));
    }
    // A clear stays inside the viewport, so each view of a split screen clears its own part.
    const RECT inside = ViewportRect(data->vp);
    for (DWORD i = 0; i < dwCount; ++i)
    {
        RECT r = Intersect({lpRects[i].x1, lpRects[i].y1, lpRects[i].x2, lpRects[i].y2}, inside);
        if (dwFlags & D3DCLEAR_TARGET)
            DdFillClipped(target, r, fill);
        if ((dwFlags & D3DCLEAR_ZBUFFER) && z != nullptr)
            DdFillClipped(*z, r, 0xFFFF);
    }
    return D3D_OK;
}

} // namespace

HRESULT IDirect3DViewport2::Clear(DWORD dwCount, const D3DRECT* lpRects, DWORD dwFlags)
{
    const HRESULT hr = ClearViewport(data, dwCount, lpRects, dwFlags);
    if (gboCallLog) [[unlikely]]
    {
        D3dLoggedCall& c = Logged(D3dCall::Clear, hr);
        c.what = dwFlags;
        if (lpRects != nullptr)
            c.rects.assign(lpRects, lpRects + dwCount);
    }
    return hr;
}

HRESULT IDirect3DViewport2::SetBackground(D3DMATERIALHANDLE hMat)
{
    data->background = hMat;
    return D3D_OK;
}

HRESULT IDirect3DViewport2::GetBackground(D3DMATERIALHANDLE* lphMat, BOOL* lpValid)
{
    if (lphMat == nullptr)
        return DDERR_INVALIDPARAMS;
    *lphMat = data->background;
    if (lpValid != nullptr)
        *lpValid = data->background != 0;
    return D3D_OK;
}

// Materials.

ULONG IDirect3DMaterial2::AddRef()
{
    return ++data->refs;
}

ULONG IDirect3DMaterial2::Release()
{
    ULONG refs = --data->refs;
    if (refs == 0)
    {
        gMaterials[data->handle - 1] = nullptr;
        delete data;
        --gnLive;
    }
    return refs;
}

HRESULT IDirect3DMaterial2::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return DDERR_INVALIDPARAMS;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IDirect3DMaterial) && !IsEqualGUID(riid, IID_IDirect3DMaterial2))
        return E_NOINTERFACE;
    AddRef();
    *ppv = this;
    return D3D_OK;
}

HRESULT IDirect3DMaterial2::SetMaterial(const D3DMATERIAL* lpMat)
{
    if (lpMat == nullptr)
        return DDERR_INVALIDPARAMS;
    data->material = *lpMat;
    return D3D_OK;
}

HRESULT IDirect3DMaterial2::GetMaterial(D3DMATERIAL* lpMat)
{
    if (lpMat == nullptr)
        return DDERR_INVALIDPARAMS;
    *lpMat = data->material;
    return D3D_OK;
}

HRESULT IDirect3DMaterial2::GetHandle(IDirect3DDevice2* lpDevice, D3DMATERIALHANDLE* lpHandle)
{
    if (lpDevice == nullptr || lpHandle == nullptr)
        return DDERR_INVALIDPARAMS;
    *lpHandle = data->handle;
    return D3D_OK;
}

// Textures.

ULONG IDirect3DTexture2::AddRef()
{
    return ++data->refs;
}

ULONG IDirect3DTexture2::Release()
{
    ULONG refs = --data->refs;
    if (refs == 0)
    {
        D3dFinishDrawing(); // recorded drawing reads its texels
        gTextures[data->handle - 1] = nullptr;
        IDirectDrawSurface* surface = data->surface;
        delete data;
        --gnLive;
        surface->Release();
    }
    return refs;
}

HRESULT IDirect3DTexture2::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return DDERR_INVALIDPARAMS;
    *ppv = nullptr;
    if (!IsEqualGUID(riid, IID_IDirect3DTexture) && !IsEqualGUID(riid, IID_IDirect3DTexture2))
        return E_NOINTERFACE;
    AddRef();
    *ppv = this;
    return D3D_OK;
}

HRESULT IDirect3DTexture2::GetHandle(IDirect3DDevice2* lpDevice, D3DTEXTUREHANDLE* lpHandle)
{
    if (lpDevice == nullptr || lpHandle == nullptr)
        return DDERR_INVALIDPARAMS;
    *lpHandle = data->handle;
    return D3D_OK;
}

HRESULT IDirect3DTexture2::Load(IDirect3DTexture2* lpSource)
{
    if (lpSource == nullptr)
        return DDERR_INVALIDPARAMS;
    DdSurfaceData& to = *DdData(data->surface);
    const DdSurfaceData& from = *DdData(lpSource->data->surface);
    if (to.width != from.width || to.height != from.height ||
        to.bytesPerPixel != from.bytesPerPixel || to.format.dwFlags != from.format.dwFlags)
        return D3DERR_TEXTURE_LOAD_FAILED;
    D3dFinishDrawing();
    if (&to != &from)
    {
        const size_t rowBytes = static_cast<size_t>(to.width) * to.bytesPerPixel;
        for (DWORD y = 0; y < to.height; ++y)
            std::memcpy(DdRow(to, y), DdRow(from, y), rowBytes);
        to.hasColorKey = from.hasColorKey;
        to.colorKey = from.colorKey;
        DdTouch(to);
        if (from.palette != nullptr)
            data->surface->SetPalette(from.palette);
    }
    data->decodedScene = 0;
    return D3D_OK;
}

void D3dSetTextureFormatsForTests(const DDPIXELFORMAT* pFormats, int nCount)
{
    gTestFormats.assign(pFormats, pFormats + (pFormats != nullptr && nCount > 0 ? nCount : 0));
}

void D3dStartCallLog(void)
{
    gCallLog.clear();
    gboCallLog = true;
}

void D3dStopCallLog(void)
{
    gboCallLog = false;
}

const std::vector<D3dLoggedCall>& D3dCallLog(void)
{
    return gCallLog;
}

void D3dFailDrawsForTests(HRESULT hr, int nCount)
{
    gFailedDrawResult = hr;
    gnFailedDraws = nCount > 0 ? nCount : 0;
}
