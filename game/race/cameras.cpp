#include "game/race/cameras.h"

#include <algorithm>

#include "engine/common/dk_actor.h"
#include "engine/include/dk_ff.h"
#include "engine/pc/3d/cameras.h"
#include "game/race/gameflow.h"
#include "game/vehicle/carmodel.h"

PlayerView gaPlayerView[CAMERA_PLAYERS];
BOOL gboSplitHorizontal = FALSE;

namespace
{

DK_VECTOR BlendRow(const DK_MATRIX* pFrom, const DK_MATRIX* pTo, int nRow, int32_t xWeight)
{
    DK_VECTOR a, b, d;
    FfMatGetRow(&a, pFrom, nRow);
    FfMatGetRow(&b, pTo, nRow);
    const DK_VECTOR diff = {FfSub(b.x, a.x), FfSub(b.y, a.y), FfSub(b.z, a.z)};
    FfVecScale(&d, &diff, xWeight);
    return {FfAdd(a.x, d.x), FfAdd(a.y, d.y), FfAdd(a.z, d.z)};
}

int ganNextModeCalls[CAMERA_PLAYERS] = {};

int gnInitCalls = 0;
} // namespace

void BlendMatrices(DK_MATRIX* pOut, const DK_MATRIX* pFrom, const DK_MATRIX* pTo,
                   int32_t xPositionWeight, int32_t xRotationWeight, int32_t, int nMode)
{
    // The rows are worked on copies, so pOut may be either input.
    const DK_MATRIX from = *pFrom;
    const DK_MATRIX to = *pTo;
    *pOut = to;
    const DK_VECTOR position = BlendRow(&from, &to, 3, xPositionWeight);
    DK_VECTOR up = BlendRow(&from, &to, 1, xRotationWeight);
    FfVecNormalise(&up, &up);
    DK_VECTOR side, forward;
    if (nMode == 0)
    {
        // Side and up: forward = side x up, then the side made square to both.
        side = BlendRow(&from, &to, 0, xRotationWeight);
        FfVecCross(&forward, &side, &up);
        FfVecNormalise(&forward, &forward);
        FfVecCross(&side, &up, &forward);
    }
    else
    {
        // Forward and up: side = up x forward, then the forward made square to both.
        forward = BlendRow(&from, &to, 2, xRotationWeight);
        FfVecCross(&side, &up, &forward);
        FfVecNormalise(&side, &side);
        FfVecCross(&forward, &side, &up);
    }
    FfMatSetRow0(&side, pOut);
    FfMatSetRow1(&up, pOut);
    FfMatSetRow2(&forward, pOut);
    FfMatSetPosition(&position, pOut);
}

void Cameras_Update(int) {}

void Cameras_Reattach(int) {}

void Cameras_GetBlendedMatrix(int, int32_t) {}

void Cameras_GetFieldOfView(int) {}

void Cameras_NextMode(int nPlayer)
{
    if (nPlayer >= 0 && nPlayer < CAMERA_PLAYERS)
        ++ganNextModeCalls[nPlayer];
}

int Cameras_GetNextModeCallsForTests(int nPlayer)
{
    return nPlayer >= 0 && nPlayer < CAMERA_PLAYERS ? ganNextModeCalls[nPlayer] : 0;
}

void Cameras_ResetForTests(void)
{
    gnInitCalls = 0;
    for (int& n : ganNextModeCalls)
        n = 0;
    gboSplitHorizontal = FALSE;
}

void Cameras_Init(void)
{
    ++gnInitCalls;
    // Until the camera views place them, each player's engine camera rides behind and above its
    // car's body object (placed every frame at the blend of the last two ticks), looking along
    // the car.
    const int nPlayers = std::min<int>(gNumberOfPlayers, DK_PLAYER_CAMERAS);
    for (int p = 0; p < nPlayers; ++p)
    {
        DK_ACTOR* pCar = gaCarBody[p].paCar;
        if (pCar == nullptr || gapPlayerCamera[p] != nullptr)
            continue;
        DK_ACTOR* pCamera = DkCreateCamera(nullptr, nullptr, nullptr, pCar);
        if (pCamera == nullptr)
            continue;
        DK_MATRIX& m = pCamera->Local;
        DkIdentityMatrix(&m);
        // Side, up and view rows: the view along the car's lengthwise axis.
        m.m[0][0] = 0;
        m.m[0][2] = -DK_FIXED_ONE;
        m.m[2][0] = DK_FIXED_ONE;
        m.m[2][2] = 0;
        m.m[3][0] = -6 * DK_FIXED_ONE;
        m.m[3][1] = 2 * DK_FIXED_ONE;
        DkMarkActorDirty(pCamera);
        gapPlayerCamera[p] = pCamera;
    }
}

int Cameras_GetInitCallsForTests(void)
{
    return gnInitCalls;
}

void Cameras_SetType(int nPlayer, int nType)
{
    if (nPlayer >= 0 && nPlayer < CAMERA_PLAYERS)
        gaPlayerView[nPlayer].nCameraType = nType;
}

void Cameras_SetStartView(int) {}

void Cameras_SetLookBack(int, BOOL) {}
