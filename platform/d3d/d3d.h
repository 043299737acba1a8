// The Direct3D-shaped 3D interfaces, as far as the display survey and set-up ask them: the
// IDirect3D object of a DirectDraw object (QueryInterface IID_IDirect3D or IID_IDirect3D2)
// enumerates two devices, a hardware-like one that our software rasteriser drives and a
// "ramp" software device with an all-zero hardware description.
#pragma once

#include "platform/ddraw/ddraw.h"

extern const IID IID_IDirect3D;
extern const IID IID_IDirect3D2;
extern const IID IID_IDirect3DHALDevice;
extern const IID IID_IDirect3DRampDevice;

#define D3D_OK DD_OK

// Colour models.
#define D3DCOLOR_MONO 1
#define D3DCOLOR_RGB 2
typedef DWORD D3DCOLORMODEL;

// Device capabilities.
#define D3DDEVCAPS_TEXTURESYSTEMMEMORY 0x00000100u
#define D3DDEVCAPS_TEXTUREVIDEOMEMORY 0x00000200u
#define D3DPRASTERCAPS_ZBUFFERLESSHSR 0x00008000u
#define D3DPTEXTURECAPS_PERSPECTIVE 0x00000001u
#define D3DPTEXTURECAPS_ALPHA 0x00000004u
#define D3DPTEXTURECAPS_TRANSPARENCY 0x00000008u
#define D3DPTFILTERCAPS_NEAREST 0x00000001u
#define D3DPTFILTERCAPS_LINEAR 0x00000002u
#define D3DPTFILTERCAPS_MIPNEAREST 0x00000004u
#define D3DPTFILTERCAPS_MIPLINEAR 0x00000008u
#define D3DPTFILTERCAPS_LINEARMIPNEAREST 0x00000010u
#define D3DPTFILTERCAPS_LINEARMIPLINEAR 0x00000020u

// Depth flags (z-buffer bit depths a device offers).
#define DDBD_8 0x00000800u
#define DDBD_16 0x00000400u
#define DDBD_24 0x00000200u
#define DDBD_32 0x00000100u

struct D3DPRIMCAPS
{
    DWORD dwSize;
    DWORD dwMiscCaps;
    DWORD dwRasterCaps;
    DWORD dwZCmpCaps;
    DWORD dwSrcBlendCaps;
    DWORD dwDestBlendCaps;
    DWORD dwAlphaCmpCaps;
    DWORD dwShadeCaps;
    DWORD dwTextureCaps;
    DWORD dwTextureFilterCaps;
    DWORD dwTextureBlendCaps;
    DWORD dwTextureAddressCaps;
    DWORD dwStippleWidth;
    DWORD dwStippleHeight;
};

struct D3DDEVICEDESC
{
    DWORD dwSize;
    DWORD dwFlags;
    D3DCOLORMODEL dcmColorModel;
    DWORD dwDevCaps;
    D3DPRIMCAPS dpcLineCaps;
    D3DPRIMCAPS dpcTriCaps;
    DWORD dwDeviceRenderBitDepth;
    DWORD dwDeviceZBufferBitDepth;
    DWORD dwMaxBufferSize;
    DWORD dwMaxVertexCount;
};

typedef HRESULT (*LPD3DENUMDEVICESCALLBACK)(GUID* lpGuid, LPSTR lpDeviceDescription,
                                            LPSTR lpDeviceName, D3DDEVICEDESC* lpD3DHWDeviceDesc,
                                            D3DDEVICEDESC* lpD3DHELDeviceDesc, LPVOID lpContext);

struct D3dObject;

// IDirect3D and IDirect3D2 are one object here.
class IDirect3D2
{
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT QueryInterface(REFIID riid, void** ppv);
    // The ramp device first, then the hardware-like device; stops when the callback returns
    // DDENUMRET_CANCEL.
    HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK lpEnumDevicesCallback, LPVOID lpUserArg);

    D3dObject* data = nullptr;
};
typedef IDirect3D2 IDirect3D;
typedef IDirect3D* LPDIRECT3D;
typedef IDirect3D2* LPDIRECT3D2;

// Creates the 3D object of a DirectDraw object (what its QueryInterface hands out).
HRESULT D3dCreateForDirectDraw(IDirectDraw2* lpDD, IDirect3D2** lplpD3D);

// The hardware-like device's description, which tests may change (an all-zero ramp device
// is always offered after it).
D3DDEVICEDESC D3dHardwareDescription(void);
void D3dSetHardwareDescriptionForTests(const D3DDEVICEDESC* pDesc);
