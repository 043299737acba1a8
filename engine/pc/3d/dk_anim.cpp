#include "engine/pc/3d/dk_anim.h"

#include <cstdio>
#include <cstring>

#include "engine/pc/3d/3dinit.h"
#include "engine/pc/core/dk_debug.h"
#include "engine/pc/display/dk_image.h"

DK_ANIMTEXTURE gaAnimTextures[DK_MAX_ANIMTEXTURES];
uint8_t guNumAnimTextures = 0;

namespace
{

// The low byte of a frame texture's size, from whichever surface it has.
uint8_t LowByte(const DK_TEXTURE* pTexture, bool boWidth)
{
    const DK_SURFACE* pSurface =
        pTexture->pDeviceSurface != nullptr ? pTexture->pDeviceSurface : pTexture->pSourceSurface;
    if (pSurface == nullptr)
        return 0;
    return static_cast<uint8_t>(boWidth ? pSurface->rect.w : pSurface->rect.h);
}

// Shows the record's current frame on its own texture.
void ShowFrame(const DK_ANIMTEXTURE& anim)
{
    DK_TEXTURE* pOwn = d3d->apTextures[anim.uSlot];
    if (pOwn == nullptr)
        return;
    const int nFrame = anim.uCurrentFrame;
    pOwn->uHandle = anim.auFrameHandles[nFrame];
    const DK_TEXTURE* pFrame = d3d->apTextures[anim.auFrameSlots[nFrame]];
    if (pFrame != nullptr)
        pOwn->nMaterial = pFrame->nMaterial;
}

} // namespace

DK_TEXTURE* DkCreateAnimatedTexture(const char* pszName, int nFrames, DK_TEXTURE* const* apFrames,
                                    const uint8_t* auDelays)
{
    if (guNumAnimTextures >= DK_MAX_ANIMTEXTURES)
    {
        DKREPORT("Can't load any more animated textures");
        return nullptr;
    }
    if (nFrames < 1 || nFrames > DK_MAX_ANIMFRAMES)
    {
        DKREPORT(DkFormatString("Animated texture %s: %d frames", pszName, nFrames));
        return nullptr;
    }
    // A frame whose texture did not load would show nothing, and its slot is unknown.
    for (int f = 0; f < nFrames; ++f)
        if (apFrames[f] == nullptr)
        {
            DKREPORT(DkFormatString("Animated texture %s: frame %d has no texture", pszName, f));
            return nullptr;
        }

    DK_TEXTURE* pTexture =
        DkTakeTextureSlot("Animation Texture : Unable to allocate memory for the Texture struct");
    if (pTexture == nullptr)
        return nullptr;

    // The end mode stays as the record last had it.
    DK_ANIMTEXTURE& anim = gaAnimTextures[guNumAnimTextures++];
    std::snprintf(anim.szName, sizeof anim.szName, "%s", pszName);
    anim.uSlot = pTexture->uSlot;
    anim.uNumFrames = static_cast<uint8_t>(nFrames);
    anim.uCurrentFrame = 0;
    anim.uTick = 0;
    anim.nActive = 0;
    anim.pVertexList = nullptr;
    for (int f = 0; f < nFrames; ++f)
    {
        anim.auFrameSlots[f] = apFrames[f]->uSlot;
        anim.auFrameHandles[f] = apFrames[f]->uHandle;
        anim.auFrameWidths[f] = LowByte(apFrames[f], true);
        anim.auFrameHeights[f] = LowByte(apFrames[f], false);
        anim.auFrameDelays[f] = auDelays[f];
    }
    // Frame 0's material too: a software device draws by material, and slot 0 belongs to
    // another texture.
    ShowFrame(anim);
    return pTexture;
}

int DkStartAnimatedTexture(const char* pszName, int nEndMode)
{
    if (pszName == nullptr)
        return 0;
    for (int i = 0; i < guNumAnimTextures; ++i)
    {
        DK_ANIMTEXTURE& anim = gaAnimTextures[i];
        if (std::strcmp(anim.szName, pszName) == 0)
        {
            anim.nActive = 1;
            anim.nEndMode = nEndMode;
            return 1;
        }
    }
    return 0;
}

void DkUpdateAnimatedTextures(void)
{
    for (int i = 0; i < guNumAnimTextures; ++i)
    {
        DK_ANIMTEXTURE& anim = gaAnimTextures[i];
        if (!anim.nActive)
            continue;
        ++anim.uTick;
        if (anim.uTick < anim.auFrameDelays[anim.uCurrentFrame])
            continue;
        anim.uTick = 0;
        ++anim.uCurrentFrame;
        if (anim.uCurrentFrame >= anim.uNumFrames)
        {
            // Stopping, and end modes it does not know, hold the last frame: past it the
            // record holds no frame.
            switch (anim.nEndMode)
            {
                case DK_ANIM_LOOP:
                    anim.uCurrentFrame = 0;
                    break;
                case DK_ANIM_REWIND_STOP:
                    anim.uCurrentFrame = 0;
                    anim.nActive = 0;
                    break;
                case DK_ANIM_STOP:
                    anim.nActive = 0;
                    [[fallthrough]];
                default:
                    anim.uCurrentFrame = static_cast<uint8_t>(anim.uNumFrames - 1);
                    break;
            }
        }
    }
}

void DkShowAnimatedTextures(void)
{
    for (int i = 0; i < guNumAnimTextures; ++i)
        ShowFrame(gaAnimTextures[i]);
}

void DkClearAnimatedTextures(void)
{
    guNumAnimTextures = 0;
}
