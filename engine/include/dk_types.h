// Types every engine and game module uses.
//
// The engine's public headers never include the platform layer. Where they name one of its
// handles or plain types, they use the declarations below: the same typedefs as the platform
// layer's (a typedef may be repeated when it names the same type), and forward declarations
// of its structures, so that either header may come first.
#pragma once

#include <cstdint>

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef int32_t HRESULT;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef void* HANDLE;

// Window handles and the window procedure.
struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);

// A network player's id.
typedef DWORD DPID;

// Platform structures the engine's headers only point at.
struct GUID;
struct DDSURFACEDESC;
struct DPSESSIONDESC2;
class IDirectDrawSurface;
class IDirectPlay3A;

// A GUID's 16 bytes, as the engine keeps a copy of one in its own records.
struct DK_GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
