#include "game/race/display.h"

#include <algorithm>
#include <cstdio>

#include "engine/common/dk_actor.h"
#include "engine/common/dk_heap.h"
#include "engine/common/dk_text.h"
#include "engine/include/dk_entries.h"
#include "engine/include/dk_ff.h"
#include "engine/include/dk_services.h"
#include "engine/pc/3d/cameras.h"
#include "engine/pc/3d/dk_anim.h"
#include "engine/pc/3d/dk_rendr.h"
#include "engine/pc/3d/timebar.h"
#include "engine/pc/core/dk_file.h"
#include "engine/pc/core/dk_timer.h"
#include "engine/pc/core/main.h"
#include "engine/pc/display/2dinit.h"
#include "engine/pc/display/dk_font.h"
#include "engine/pc/display/dk_image.h"
#include "engine/pc/display/dk_pblit.h"
#include "engine/pc/display/dk_surf.h"
#include "game/effects/effects.h"
#include "game/hud/endstage.h"
#include "game/hud/gamefade.h"
#include "game/hud/osd.h"
#include "game/hud/pause.h"
#include "game/hud/podium.h"
#include "game/hud/rs_main.h"
#include "game/hud/rs_menu.h"
#include "game/hud/setuprepair.h"
#include "game/hud/welcome.h"
#include "game/race/attract.h"
#include "game/race/cameras.h"
#include "game/race/gamedata.h"
#include "game/race/gmhndlr.h"
#include "game/race/interp.h"
#include "game/race/loading.h"
#include "game/race/netplay.h"
#include "game/race/pertick.h"
#include "game/race/replay.h"
#include "game/race/snapshot.h"
#include "game/race/splttime.h"
#include "game/race/superspecial.h"
#include "game/vehicle/carmodel.h"
#include "game/vehicle/damage.h"

DISP_FRAME_SNAPSHOT gDispFrame = {};
DK_RECT gaPlayerViewport[DISP_PLAYERS] = {};
BOOL gboDebugOverlay = FALSE;

namespace
{

constexpr int32_t kOne = DK_FIXED_ONE;
// The hardware type that draws no fade layer.
constexpr int kNoFadeHardware = 6;
// The start lights strip: the source rectangle's x and width by lights left less one.
constexpr int16_t kLightX[5] = {213, 157, 104, 51, 0};
constexpr int16_t kLightWidth[5] = {35, 47, 46, 50, 44};
// The run-in's lights fade over 20 ticks.
constexpr int kRunInPeriod = 20;
// The texts of the start's network wait: alone, and with the network's players.
constexpr int kTextWaiting = 45;
constexpr int kTextWaitingReady = 302;
constexpr int kTextWaitingPlayers = 308;
// The waiting text's place, as fractions of the screen.
constexpr int32_t kWaitTextX = kOne / 2;
constexpr int32_t kWaitTextY = 19661; // 0.3
// The recorders: one scene of 7,500 frames (15,000 at 50 ticks a second).
constexpr int kRecorderScenes = 1;
constexpr int kRecorderFrames25 = 7500;
constexpr int kRecorderFrames50 = 15000;
// The surface creation flags of LoadImageToSurface: colour-keyed, or also kept as source.
constexpr uint32_t kCreateKeyed = 1;
constexpr uint32_t kCreatePlain = 5;
// Country 7 shows the message roll on the podium once the roll runs.
constexpr int kRollCountry = 7;

int32_t gnFrameCount = 0;
DispFrameRecord gRecord = {};
// A super special stage's finish display, counted down by the frames after the finish; run out,
// the next snapshot ends the stage (set by the frame, applied inside the critical section).
int32_t gnSuperFinishDisplay = START_HOLD_TICKS;
BOOL gboSuperFinishOver = FALSE;

bool SurfacesExist()
{
    return d2d != nullptr && d2d->PrimarySurface.lpSurface != nullptr &&
           d2d->BackSurface.lpSurface != nullptr;
}

int StartPhase(int nPlayer)
{
    if (!StartSeq_IsRunning(nPlayer))
        return DISP_START_NONE;
    if (StartSeq_IsIntroDone(nPlayer) && !StartSeq_IsWaitDone(nPlayer))
        return DISP_START_WAIT;
    if (StartSeq_IsCountdownDone(nPlayer))
        return DISP_START_RUN_IN;
    if (StartSeq_IsHoldDone(nPlayer))
        return DISP_START_LIGHTS;
    return DISP_START_NONE;
}

// The blend of the running states: the scene at the tick fraction and the frame snapshot, both
// inside the critical section; then the particles, which are the frame's own.
void BlendStep()
{
    DkEnterCriticalSection();
    const int32_t xFraction = DkGetTickFraction();
    InterpolateSceneForDisplay(xFraction);
    Disp_TakeFrameSnapshot(xFraction);
    DkExitCriticalSection();
    DkSetDrawingFrame(1);
    for (int c = 0; c < gnNumMechCars && c < MAX_CARS; ++c)
        Effects_InterpolateParticles(c, xFraction);
}

// The snapshot alone, for the frames that blend nothing of the tick.
void SnapshotStep()
{
    DkEnterCriticalSection();
    Disp_TakeFrameSnapshot(gDispFrame.xFraction);
    DkExitCriticalSection();
}

DK_RECT Rect(int nX, int nY, int nW, int nH)
{
    return {static_cast<int16_t>(nX), static_cast<int16_t>(nY), static_cast<int16_t>(nW),
            static_cast<int16_t>(nH)};
}

// A light of the start, t (16.16) of the given share of the screen's width and of its height,
// centred on the screen.
DK_RECT CentredLight(int32_t xT, int nWidthFifths)
{
    const int nW =
        static_cast<int>(static_cast<int64_t>(xT) * d2d->nWidth * nWidthFifths / 5 >> 16);
    const int nH = static_cast<int>(static_cast<int64_t>(xT) * d2d->nHeight >> 16);
    return Rect((d2d->nWidth - nW) / 2, (d2d->nHeight - nH) / 2, nW, nH);
}

void DrawLight(DK_TEXTURE* pTexture, const DK_RECT& source, const DK_RECT& at, int nAlpha)
{
    gRecord.nLightAlpha = nAlpha;
    gRecord.lightRect = at;
    if (pTexture == nullptr)
        return;
    const uint8_t colour[4] = {255, 255, 255, static_cast<uint8_t>(nAlpha)};
    DkPolyAlphaBlit(&source, &at, pTexture, colour, BLIT_TO_FRONT, 0, DK_PIVOT_CENTRE, nullptr, 0);
}

// The texture's size in texels of its device surface (0 x 0 without one).
DK_RECT TextureSize(const DK_TEXTURE* pTexture)
{
    if (pTexture == nullptr)
        return {};
    const DK_SURFACE* pSurface =
        pTexture->pDeviceSurface != nullptr ? pTexture->pDeviceSurface : pTexture->pSourceSurface;
    return pSurface != nullptr ? Rect(0, 0, pSurface->rect.w, pSurface->rect.h) : DK_RECT{};
}

// The start's waiting text, light or run-in over the first viewport, by player 0's phase.
void DrawStartLights()
{
    const DISP_FRAME_SNAPSHOT& fr = gDispFrame;
    const int nPhase = fr.anStartPhase[0];
    gRecord.nStartPhase = nPhase;
    if (nPhase == DISP_START_WAIT)
    {
        const int nText = !gboNetworkGame     ? kTextWaiting
                          : fr.boNetworkReady ? kTextWaitingReady
                                              : kTextWaitingPlayers;
        const char* pszText = DkGetText(nText);
        if (gpTitleFont != nullptr && pszText != nullptr)
            DkPrintTextScaled(kWaitTextX, kWaitTextY, pszText, gpTitleFont, &d2d->BackSurface,
                              nullptr, DKJ_CENTRE);
    }
    else if (nPhase == DISP_START_LIGHTS)
    {
        // The light shrinks and fades as its ticks run out.
        const int32_t xT = fr.nStepTicks > 0 ? FfDiv(fr.anLightTicks[0], fr.nStepTicks) : 0;
        const int nIndex = std::clamp(static_cast<int>(fr.anLightsLeft[0]) - 1, 0, 4);
        gRecord.nLightSource = nIndex;
        const int nAlpha = std::min(255, (xT * 255 >> 16) + 1);
        const DK_RECT source =
            Rect(kLightX[nIndex], 0, kLightWidth[nIndex], TextureSize(gpOsdCountdownTexture).h);
        DrawLight(gpOsdCountdownTexture, source, CentredLight(xT, 3), nAlpha);
    }
    else if (nPhase == DISP_START_RUN_IN)
    {
        // The lights out grow and fade over the run-in.
        const int nCounter = std::max(0, static_cast<int>(fr.anRunIn[0]));
        const int32_t xT = (kRunInPeriod - nCounter % kRunInPeriod) * kOne / kRunInPeriod;
        const int nAlpha = std::clamp(255 - (xT * 255 >> 16), 0, 255);
        DrawLight(gpOsdGoTexture, TextureSize(gpOsdGoTexture), CentredLight(xT, 4), nAlpha);
    }
}

// The on-screen display of a running state's view.
void DrawPlayerOsd(int nPlayer, int nState)
{
    const DISP_FRAME_SNAPSHOT& fr = gDispFrame;
    const bool boSchool = GameData_IsRallySchool();
    Osd_PrepareView(nPlayer);
    Osd_DrawPlayerPanel(nPlayer);
    if ((!boSchool || School_IsOsdShown()) && !GameData_IsAttractDemo())
        Osd_DrawPlayerView(nPlayer);
    if (boSchool && gnSchoolAttempts > 0)
        School_DrawAttemptsLeft();
    const int nSplit = fr.anSplitIndex[nPlayer];
    const bool boSplit = nSplit != -1 && (nSplit <= 7 || fr.aboFinished[nPlayer]);
    SplitTime_Draw(nPlayer, boSplit ? TRUE : FALSE, nState != GAME_STATE_PAUSE ? TRUE : FALSE);
    if (boSchool || !fr.aboFinished[nPlayer])
        return;
    if (IsSuperSpecialStage())
    {
        if (gnSuperFinishDisplay > 0 && --gnSuperFinishDisplay == 0)
            gboSuperFinishOver = TRUE;
        return;
    }
    ++gRecord.nFinishCalls;
    Osd_DrawFinish(nPlayer);
}

// The rectangle of viewport nView of nViews: the full screen, or one of the halves that the
// split layout chooses (the stage's rectangles: the full screen twice, top, bottom, left,
// right).
const DK_RECT* ViewportRect(int nView, int nViews)
{
    if (nViews < 2)
        return &gaViewportRects[0];
    const int nLayout = (gboSplitHorizontal ? 1 : 3) + nView;
    return &gaViewportRects[nLayout + 1];
}

} // namespace

void Disp_TakeFrameSnapshot(int32_t xFraction)
{
    if (gboSuperFinishOver)
    {
        gboSuperFinishOver = FALSE;
        gboEndOfStage = TRUE;
        gaStartHold[0] = gaStartHold[1] = 0;
    }
    SplitTime_TakeFrame();
    // The animated textures show the frames the ticks stepped to, the cars' models the dents.
    DkShowAnimatedTextures();
    Damage_ShowLiveShapes();
    DISP_FRAME_SNAPSHOT& fr = gDispFrame;
    fr.nState = GetGameState();
    fr.nPlayers = gNumberOfPlayers;
    fr.xFraction = xFraction;
    for (int p = 0; p < DISP_PLAYERS; ++p)
    {
        fr.aboFinished[p] = HasPlayerFinished(p);
        fr.anStartHold[p] = gaStartHold[p];
        fr.anStartPhase[p] = StartPhase(p);
        fr.anLightsLeft[p] = StartLights_GetLightsLeft(p);
        fr.anLightTicks[p] = StartLights_GetTickCounter(p);
        fr.anRunIn[p] = StartSeq_GetRunInCounter(p);
        fr.anStageHundredths[p] = StageTimer_GetHundredths(p);
        fr.anSplitIndex[p] = gaSplitsPassed[p];
        fr.anCameraType[p] = gaPlayerView[p].nCameraType;
    }
    // A stage with no one finished starts the super special finish display afresh.
    if (!fr.aboFinished[0] && !fr.aboFinished[1])
        gnSuperFinishDisplay = START_HOLD_TICKS;
    fr.nStepTicks = StartLights_GetStepTicks();
    fr.boEndStageSelected = EndStage_GetSelection() != 0 ? TRUE : FALSE;
    fr.boNetworkReady = gboNetworkGame && NetPlay_IsReady() ? TRUE : FALSE;
}

void Disp_RenderFrame(BOOL boFlip, BOOL, BOOL boStartLights)
{
    const DISP_FRAME_SNAPSHOT& fr = gDispFrame;
    const int nState = fr.nState;
    gnTicksSinceFrame = 0;
    gRecord = {};
    gRecord.nFadeAlpha = -1;
    gRecord.nLightSource = -1;
    if (gboTurnSwitch.load() || d2d == nullptr)
        return;
    gRecord.boDrawn = TRUE;

    const bool boSchool = GameData_IsRallySchool();
    const int nViews = (nState == GAME_STATE_RACE || nState == GAME_STATE_PAUSE) && !boSchool
                           ? std::clamp(static_cast<int>(fr.nPlayers), 1, DISP_PLAYERS)
                           : 1;
    gRecord.nViewports = nViews;
    if (!GameFade_IsDone())
    {
        const int32_t xLevel = GameFade_Step();
        if (DkGetHardwareType() != kNoFadeHardware)
        {
            const int nAlpha = std::clamp(
                255 - static_cast<int>(static_cast<int64_t>(xLevel) * 255 >> 16), 0, 255);
            gRecord.nFadeAlpha = nAlpha;
            const DK_RECT whole = Rect(0, 0, d2d->nWidth, d2d->nHeight);
            const uint8_t black[4] = {0, 0, 0, static_cast<uint8_t>(nAlpha)};
            DkFillPolyRectAlpha(&d2d->BackSurface, &whole, black);
        }
    }

    for (int i = 0; i < nViews; ++i)
    {
        DkClearZBuffer();
        if (!Snapshot_IsEnabled() && !(nViews == 2 && i == 1))
            DkClearTarget();
        gaPlayerViewport[i] = *ViewportRect(i, nViews);
        gRecord.aViewports[i] = gaPlayerViewport[i];
        DK_ACTOR* pCamera = gapPlayerCamera[i];
        Cameras_GetFieldOfView(i);
        DkSetCameraTransform(pCamera);

        if (nState == GAME_STATE_RACE || nState == GAME_STATE_SCHOOL ||
            nState == GAME_STATE_EXIT_PAN || nState == GAME_STATE_PAUSE)
            DrawPlayerOsd(i, nState);
        else if (nState == GAME_STATE_REPLAY && !boSchool)
        {
            if ((GameData_GetByte(GD_STAGE_SELECTION) & 0x0F) == kRollCountry &&
                MessageRoll_IsRunning())
                MessageRoll_Draw();
            else
                Podium_Draw();
        }

        if (pCamera != nullptr)
            DkUpdateActorAncestors(pCamera);
        Effects_Update();
        Effects_DrawSky(pCamera, i);
        if (!fr.boEndStageSelected)
            Effects_DrawFadeRect(i);
        if (boStartLights && !boThisIsPodiumStage && i == 0)
            DrawStartLights();
        if (Snapshot_IsEnabled())
            Snapshot_MoveMarker(i);

        if (i == 0)
        {
            // The cars' actors are filed on the blocks they now lie on before any view culls.
            const int nCars = IsSuperSpecialStage() ? std::min<int>(gnNumMechCars, MAX_CARS)
                                                    : std::min<int>(fr.nPlayers, MAX_CARS);
            for (int c = 0; c < nCars; ++c)
                for (DK_ACTOR* pActor : {gaCarBody[c].paBodyDummy, gaCarBody[c].paCar})
                    if (pActor != nullptr)
                    {
                        DkUpdateActorAncestors(pActor);
                        DkUpdateActorTrackBlock(pActor);
                    }
        }

        Effects_Draw(i);
        if (gboNetworkGame && GameData_IsOptionSet(OPTION_NETWORK_DEBUG_LINES))
            NetPlay_DrawDebugLines(i);
        // The 2D overlays end the last view's scene.
        DkSetTrackDrawParamA(i == nViews - 1 ? 1 : 0);
        if (gboNetworkGame)
            NetPlay_DrawNameTags(i);
        DK_ACTOR* pRoot = DkGetWorldActor();
        if (pRoot != nullptr && pCamera != nullptr)
        {
            DkRender3D(pRoot, pCamera, &gaPlayerViewport[i], gaCarBody[i].paCar,
                       gaCarBody[i].paBodyDummy, i);
            ++gRecord.nRenders;
        }
        if (gboDebugOverlay)
        {
            DkDrawDebugOverlay();
            Osd_DrawDebugText(0);
            Osd_DrawDebugText(1);
            if (gboNetworkGame)
                NetPlay_DrawDebugStats();
        }
    }

    if (boFlip)
        DkWaitAndFlip();
    ++gnFrameCount;
    gboFirstFrameDrawn = TRUE;
    DkSetDrawingFrame(0);
}

int32_t Disp_GetFrameCount(void)
{
    return gnFrameCount;
}

void Disp_AllocReplayStates(void)
{
    for (int p = 0; p < gNumberOfPlayers && p < DISP_PLAYERS; ++p)
        Replay_Create(kRecorderScenes, gbo50HzMode ? kRecorderFrames50 : kRecorderFrames25);
}

DK_SURFACE* LoadImageToSurface(DK_SURFACE* pSurface, const char* pszPath, BOOL boCreate,
                               BOOL boKeepColourKey, int nLoadKind)
{
    void* pData = DkMallocLoadFile(pszPath, nLoadKind);
    if (pData == nullptr)
    {
        DkDebugOutput("file data is NULL");
        return nullptr;
    }
    const uint32_t uSize = DkGetLastFileSize();
    DK_SURFACE* pResult;
    if (boCreate)
    {
        DkDebugOutput(DkFormatString("CREATED and loaded to surface the file: %s", pszPath));
        pResult =
            DkImageToSurface(nullptr, pData, uSize, boKeepColourKey ? kCreateKeyed : kCreatePlain);
    }
    else
    {
        DkDebugOutput("loaded to surface");
        pResult = DkImageToSurface(pSurface, pData, uSize, 0);
    }
    DkHeapFree(pData);
    return pResult;
}

void Disp_NoOp(int) {}

void NoteTextureLoaded(void*) {}

int32_t DispStateNone(void)
{
    return 0;
}

int32_t DispInitGame(void)
{
    gboFocusLostInGame = FALSE;
    return 0;
}

int32_t DispWelcome(void)
{
    if (!GameData_IsRallySchool())
    {
        boThisIsPodiumStage = gboGoToPodium;
        Welcome_Handler();
        return 0;
    }
    SchoolMenu_Draw();
    if (SurfacesExist())
    {
        DkWaitAndFlip();
        DkClearSurface(&d2d->BackSurface);
    }
    if (SchoolMenu_IsFadeDone() || (GameData_GetByte(GD_SCHOOL_SELECTION) & 7) == 6)
    {
        // Back to the front end.
        SchoolMenu_RequestExit();
        gboGameOver = TRUE;
        GameHandler_ReturnToFrontend();
        GameHandler_SetInitialised(FALSE);
    }
    return 0;
}

int32_t DispSetupRepair(void)
{
    if (!SetupRepair_IsAvailable())
        return 0;
    if (!SetupRepair_Handler() && SurfacesExist())
        DkWaitAndFlip();
    return 0;
}

int32_t DispRace(void)
{
    gboTurnSwitch = FALSE;
    if (GameData_IsRallySchool())
        School_DrawStateMessage();
    BlendStep();
    if (!PauseMenu_TakeEnteredFlag())
        Disp_RenderFrame(TRUE, FALSE, TRUE);
    return 0;
}

int32_t DispSchool(void)
{
    if (!GameData_IsRallySchool() || !(School_IsRunActive() || School_GetStep() < 2))
        return 0;
    BlendStep();
    if (!PauseMenu_TakeEnteredFlag())
        Disp_RenderFrame(TRUE, FALSE, FALSE);
    return 0;
}

int32_t DispEndStage(void)
{
    if (GameData_IsRallySchool())
    {
        gboGameOver = TRUE;
        return 0;
    }
    BlendStep();
    if (GameData_IsAttractDemo())
        DemoLogo_Draw();
    if (gDispFrame.boEndStageSelected)
    {
        // The shown car's fade rectangle: the second car's in the second turn of a game where
        // two take turns.
        Effects_DrawFadeRect(IsAlternatingGame() && gboSecondPlayerTurn ? 1 : 0);
        ResultsScreen_Draw();
    }
    Disp_RenderFrame(TRUE, FALSE, FALSE);
    return 0;
}

int32_t DispExitPan(void)
{
    if (!GameData_IsRallySchool())
        return 0;
    School_DrawStateMessage();
    BlendStep();
    Disp_RenderFrame(TRUE, FALSE, FALSE);
    return 0;
}

int32_t DispPause(void)
{
    DkEnterCriticalSection();
    if (gboNetworkGame)
    {
        const int32_t xFraction = DkGetTickFraction();
        InterpolateRemoteCars(xFraction);
        gDispFrame.xFraction = xFraction;
    }
    Disp_TakeFrameSnapshot(gDispFrame.xFraction);
    DkExitCriticalSection();
    DkSetDrawingFrame(1);
    PauseMenu_Draw();
    Disp_RenderFrame(TRUE, TRUE, FALSE);
    return 0;
}

int32_t DispLeaveGame(void)
{
    if (GameFade_IsDone())
    {
        DkDebugOutput("/n/n *******leaving the game********\n");
        if (SurfacesExist())
        {
            DkResetAllHeaps();
            gboFocusLostInGame = FALSE;
            gboFrontendNeedsInit = 1;
        }
        return 0;
    }
    if (IsAlternatingGame() && gboSecondPlayerTurn && gboTurnSwitch.load())
    {
        DkDebugOutput("not doing rendering in the fn DispLeaveGame()\n");
        return 0;
    }
    SnapshotStep();
    Disp_RenderFrame(TRUE, FALSE, FALSE);
    return 0;
}

DispFrameRecord Disp_GetFrameRecordForTests(void)
{
    return gRecord;
}

void Disp_ResetForTests(void)
{
    gDispFrame = {};
    gRecord = {};
    gnFrameCount = 0;
    gnSuperFinishDisplay = START_HOLD_TICKS;
    gboSuperFinishOver = FALSE;
    gboDebugOverlay = FALSE;
    gboTurnSwitch = FALSE;
}

DK_FONT* gpTitleFont = nullptr;
DK_FONT* gpResultFont = nullptr;
DK_FONT* gpResultGrFont = nullptr;

void LoadResultFonts(void)
{
    const int nWidth = d2d != nullptr ? d2d->nWidth : 640;
    const char* pszSize = nWidth == 320   ? "320x240"
                          : nWidth == 512 ? "512x384"
                          : nWidth == 640 ? "640x480"
                                          : "800x600";
    const char* pszTitleSize = nWidth == 320 ? "320x240" : nWidth == 512 ? "512x384" : "640x480";
    char path[64];
    std::snprintf(path, sizeof path, "fonts\\%s\\result.fon", pszSize);
    DkCreateAndLoadFont(&gpResultFont, path);
    std::snprintf(path, sizeof path, "fonts\\%s\\resultgr.fon", pszSize);
    DkCreateAndLoadFont(&gpResultGrFont, path);
    std::snprintf(path, sizeof path, "fonts\\%s\\title.fon", pszTitleSize);
    DkCreateAndLoadFont(&gpTitleFont, path);
}
