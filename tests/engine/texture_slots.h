// Hand-made textures in the 3D context's slots, for modules that only read a texture's
// handle, material and system-memory surface: no device needed. The slots are emptied again.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "engine/pc/3d/3dinit.h"
#include "engine/pc/display/dk_image.h"

class TextureSlots
{
public:
    TextureSlots() = default;
    TextureSlots(const TextureSlots&) = delete;
    TextureSlots& operator=(const TextureSlots&) = delete;
    // A teardown's MaterialDestructor may have emptied the slots already.
    ~TextureSlots()
    {
        for (size_t i = 0; i < taken_.size(); ++i)
            if (d3d->apTextures[taken_[i]] == &textures_[i])
            {
                d3d->apTextures[taken_[i]] = nullptr;
                --guNumTextures;
            }
    }

    // A texture in `slot`; with a width it has a source surface of that size and padding.
    DK_TEXTURE* Put(int slot, uint32_t handle, int16_t material = 0, int width = 0, int height = 0,
                    int addedColumns = 0, int addedRows = 0)
    {
        DK_TEXTURE& t = textures_.emplace_back();
        t.uSlot = static_cast<uint16_t>(slot);
        t.uHandle = handle;
        t.nMaterial = material;
        if (width > 0)
        {
            DK_SURFACE& s = surfaces_.emplace_back();
            s.rect = {0, 0, static_cast<int16_t>(width), static_cast<int16_t>(height)};
            s.nAddedColumns = addedColumns;
            s.nAddedRows = addedRows;
            t.pSourceSurface = &s;
        }
        d3d->apTextures[slot] = &t;
        taken_.push_back(slot);
        ++guNumTextures;
        return &t;
    }

private:
    std::deque<DK_TEXTURE> textures_; // deques keep the records where they are
    std::deque<DK_SURFACE> surfaces_;
    std::vector<int> taken_;
};
