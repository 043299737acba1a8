#include "engine/pc/3d/cameras.h"

#include <algorithm>
#include <iterator>
#include <cstring>

#include "engine/common/destruct.h"
#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/3d/3dinit.h"
#include "platform/d3d/d3d.h"

DK_CAMERA* gapCameras[MAXCAMERAS];
uint32_t guNumCameras = 0;
DK_ACTOR* gapPlayerCamera[DK_PLAYER_CAMERAS] = {};

namespace
{

BOOL gboCameraDestructorAdded = FALSE;

} // namespace

DK_ACTOR* DkCreateCamera(const DK_VECTOR* pPosition, const int16_t* pAngles, DK_ACTOR* pExisting,
                         DK_ACTOR* pParent)
{
    if (!gboCameraDestructorAdded)
        gboCameraDestructorAdded = DkAddDestructor(DkCameraDestructor, "Camera Destructor") >= 0;

    DK_ACTOR* pActor = pExisting != nullptr ? pExisting : DkCreateActor(pParent);
    if (pActor == nullptr)
        return nullptr;
    // Keeps the camera off the track blocks.
    pActor->uId = DK_CAMERA_ACTOR_ID;

    auto* pFree = std::find(std::begin(gapCameras), std::end(gapCameras), nullptr);
    if (pFree == std::end(gapCameras))
    {
        DKREPORT("ERROR(DkCreateCamera): Tried to use more than MAXCAMERAS cameras");
        return nullptr;
    }
    auto* pCamera = static_cast<DK_CAMERA*>(DkHeapAlloc(sizeof(DK_CAMERA)));
    if (pCamera == nullptr)
        return nullptr;
    *pFree = pCamera;
    DkSetActorObject(pActor, DK_ACTOR_CAMERA, pCamera);
    if (pExisting == nullptr)
        DkSetActor(pActor, pPosition, pAngles);
    ++guNumCameras;
    return pActor;
}

void DkRemoveCamera(DK_CAMERA* pCamera)
{
    if (pCamera == nullptr)
        return;
    bool boCleared = false;
    for (DK_CAMERA*& pSlot : gapCameras)
        if (pSlot == pCamera)
        {
            pSlot = nullptr;
            boCleared = true;
        }
    if (boCleared && guNumCameras != 0)
        --guNumCameras;
}

void DkRemoveAllCameras(void)
{
    for (DK_CAMERA* pCamera : gapCameras)
        DkRemoveCamera(pCamera);
    guNumCameras = 0;
    for (DK_ACTOR*& pActor : gapPlayerCamera)
        pActor = nullptr;
}

BOOL DkCameraDestructor(void)
{
    DkRemoveAllCameras();
    gboCameraDestructorAdded = FALSE;
    return TRUE;
}

void DkSetCameraTransform(DK_ACTOR* pCamera)
{
    if (pCamera == nullptr || !pCamera->uDirty)
        return;
    DkInvertMatrix(&d3d->View, &pCamera->World);
    float afView[16];
    for (int i = 0; i < 16; ++i)
        afView[i] = static_cast<float>(d3d->View.m[i / 4][i % 4] / 65536.0);
    D3DMATRIX view;
    static_assert(sizeof view == sizeof afView, "a matrix is 16 floats");
    std::memcpy(&view, afView, sizeof view);
    if (d3d->lpD3DDevice2 != nullptr)
        d3d->lpD3DDevice2->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
}
