#include "engine/common/dk_text.h"

#include <cstring>

#include "engine/common/dk_heap.h"
#include "engine/include/dk_services.h"

namespace
{

const char* const kInvalidText = "INVALID TEXT STRING";

char** ppLanguageData = nullptr;
uint8_t guNumLanguages = 0;
int32_t gnStringsPerLanguage = 0;
uint8_t guCurrentLanguage = 0;
int32_t gnLanguageBase = 0;

// Entries past the strings a file holds point here.
char gszNoText[1] = "";

// Cuts one image into up to nStrings strings, storing them from apEntries[0].
void SplitImage(char* pImage, uint32_t uSize, int32_t nStrings, char** apEntries)
{
    uint32_t pos = 0;
    for (int32_t n = 0; n < nStrings; ++n)
    {
        if (pImage == nullptr || pos >= uSize)
        {
            apEntries[n] = gszNoText;
            continue;
        }
        uint32_t start = pos;
        while (pos < uSize && static_cast<unsigned char>(pImage[pos]) >= 32)
            ++pos;
        if (pos == uSize)
        {
            // The last string runs to the image's end, where there is no byte to end it in
            // place: it alone is copied.
            uint32_t length = pos - start;
            char* copy = static_cast<char*>(DkHeapAlloc(length + 1));
            if (copy != nullptr)
            {
                std::memcpy(copy, pImage + start, length);
                copy[length] = '\0';
            }
            apEntries[n] = copy != nullptr ? copy : gszNoText;
            continue;
        }
        apEntries[n] = pImage + start;
        pImage[pos++] = '\0';
        while (pos < uSize && static_cast<unsigned char>(pImage[pos]) < 32)
            ++pos;
    }
}

} // namespace

void DkInitialiseLanguageText(uint8_t nLanguages, int32_t nStrings, char* const* apImages,
                              const uint32_t* auSizes)
{
    // The counts take effect only once the table stands, so a failed build leaves every
    // lookup answering "INVALID TEXT STRING".
    ppLanguageData = nullptr;
    guNumLanguages = 0;
    gnStringsPerLanguage = 0;
    guCurrentLanguage = 0;
    gnLanguageBase = 0;

    // No language would leave a table of no entries that every string number reads past.
    if (nLanguages == 0)
    {
        DkLog(DkFormatString("\nERROR - Cannot build \"ppLanguageData\" for 0 languages (%d "
                             "strings)!\n",
                             nStrings));
        return;
    }
    uint64_t entries =
        static_cast<uint64_t>(nLanguages) * static_cast<uint64_t>(nStrings > 0 ? nStrings : 0);
    char** table = nullptr;
    if (nStrings > 0 && entries * sizeof(char*) <= 0xFFFFFFFFull)
        table = static_cast<char**>(DkHeapAlloc(static_cast<uint32_t>(entries * sizeof(char*))));
    if (table == nullptr)
    {
        DkLog("\nERROR - Cannot allocate \"ppLanguageData\"!\n");
        return;
    }
    for (uint8_t i = 0; i < nLanguages; ++i)
        SplitImage(apImages != nullptr ? apImages[i] : nullptr, auSizes != nullptr ? auSizes[i] : 0,
                   nStrings, table + static_cast<size_t>(i) * static_cast<size_t>(nStrings));

    ppLanguageData = table;
    guNumLanguages = nLanguages;
    gnStringsPerLanguage = nStrings;
}

void DkSetLanguage(uint8_t nLanguage)
{
    if (nLanguage >= guNumLanguages)
    {
        DkLog(DkFormatString("ERROR - Language %d is invalid (max %d languages allowed)!",
                             nLanguage, guNumLanguages));
        return;
    }
    guCurrentLanguage = nLanguage;
    gnLanguageBase = nLanguage * gnStringsPerLanguage;
}

const char* DkGetText(int32_t nString)
{
    if (nString < 0 || nString >= gnStringsPerLanguage || ppLanguageData == nullptr ||
        guCurrentLanguage >= guNumLanguages)
    {
        DkLog(DkFormatString("ERROR - Text string %d is invalid in language %d (max %d strings "
                             "allowed)!",
                             nString, guCurrentLanguage, gnStringsPerLanguage));
        return kInvalidText;
    }
    return ppLanguageData[gnLanguageBase + nString];
}

void DkFreeLanguageText(void)
{
    if (ppLanguageData != nullptr)
        DkHeapFree(ppLanguageData);
    ppLanguageData = nullptr;
    guNumLanguages = 0;
    gnStringsPerLanguage = 0;
    guCurrentLanguage = 0;
    gnLanguageBase = 0;
}
