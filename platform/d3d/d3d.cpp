// The 3D object of a DirectDraw object and the devices it offers.

#include "platform/d3d/d3d.h"

const IID IID_IDirect3D = {0x44335A01, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 1, 1}};
const IID IID_IDirect3D2 = {0x44335A01, 0x0002, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 1, 2}};
const IID IID_IDirect3DHALDevice = {
    0x44335A02, 0x0001, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 2, 1}};
const IID IID_IDirect3DRampDevice = {
    0x44335A02, 0x0002, 0x0001, {0x64, 0x65, 0x7A, 0x6F, 0x72, 0, 2, 2}};

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
    d.dcmColorModel = D3DCOLOR_RGB;
    d.dwDevCaps = D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_TEXTUREVIDEOMEMORY;
    d.dpcTriCaps.dwSize = sizeof d.dpcTriCaps;
    d.dpcTriCaps.dwTextureFilterCaps = D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR;
    d.dpcTriCaps.dwTextureCaps =
        D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_TRANSPARENCY;
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
