#include "patcher/patch_resources.h"

#include <array>
#include <fstream>
#include <iterator>
#include <string>

extern "C"
{
    extern const uint8_t dezor_patch_empty_record[];
    extern const uint8_t dezor_patch_empty_record_end[];
    extern const uint8_t dezor_patch_game_program[];
    extern const uint8_t dezor_patch_game_program_end[];
}

namespace
{

std::span<const uint8_t> Between(const uint8_t* pBegin, const uint8_t* pEnd)
{
    return {pBegin, static_cast<size_t>(pEnd - pBegin)};
}

} // namespace

std::span<const PatchResource> PatchEmbeddedResources(void)
{
    // Resource 104 is the game program; the others are empty files.
    static const std::array<PatchResource, 7> s_resources = []
    {
        std::span<const uint8_t> empty =
            Between(dezor_patch_empty_record, dezor_patch_empty_record_end);
        std::span<const uint8_t> game =
            Between(dezor_patch_game_program, dezor_patch_game_program_end);
        return std::array<PatchResource, 7>{{
            {101, empty},
            {102, empty},
            {103, empty},
            {104, game},
            {105, empty},
            {106, empty},
            {107, empty},
        }};
    }();
    return s_resources;
}

std::vector<PatchResource> PatchDirectoryResources(const char* pszDir,
                                                   std::vector<std::vector<uint8_t>>& storage)
{
    storage.clear();
    std::span<const PatchRow> rows = PatchPayloadRows();
    storage.reserve(rows.size());
    std::vector<PatchResource> resources;
    for (const PatchRow& row : rows)
    {
        std::ifstream in(std::string(pszDir) + "/" + std::to_string(row.nResource),
                         std::ios::binary);
        if (!in)
            continue;
        storage.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        resources.push_back({row.nResource, storage.back()});
    }
    return resources;
}
