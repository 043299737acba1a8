// Language texts: the images of the language files, cut into numbered strings in place.
// The first byte gives the language count (0 to 5), the next two the strings a language; the
// rest is shared out evenly as the languages' images.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/common/dk_heap.h"
#include "engine/common/dk_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{
volatile size_t sink;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitEngineHeaps(4 * 1024 * 1024, 64 * 1024);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const uint8_t languages = data[0] % 6;
    const int32_t strings = (data[1] | data[2] << 8) % 1024;
    data += 3;
    size -= 3;

    // Each image in a block of its own, exactly its size, so a read past it is caught.
    std::vector<std::vector<char>> images(languages);
    std::vector<char*> pointers(languages);
    std::vector<uint32_t> sizes(languages);
    const size_t share = languages > 0 ? size / languages : 0;
    for (uint8_t i = 0; i < languages; ++i)
    {
        images[i].assign(data + i * share, data + (i + 1) * share);
        pointers[i] = images[i].empty() ? nullptr : images[i].data();
        sizes[i] = static_cast<uint32_t>(images[i].size());
    }
    DkInitialiseLanguageText(languages, strings, pointers.data(), sizes.data());
    for (uint8_t language = 0; language <= languages; ++language)
    {
        DkSetLanguage(language);
        // Every string must end inside its image (or be the engine's own "invalid" text).
        for (int32_t n = -1; n <= strings; ++n)
            sink = sink + std::strlen(DkGetText(n));
    }
    DkFreeLanguageText();
    DkHeapReset();
    return 0;
}
