// The patch program's streams: a resource (a DKPR record in one gzip member) unpacked into a
// file of the installation, step by step as the program's timer drives it. A stream that would
// unpack to more than a megabyte is cut off there; the half-written target is discarded.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "patcher/patch_dlg.h"
#include "platform/reg/reg.h"
#include "tests/fuzz/fuzz_support.h"

namespace
{
class QuietView : public CPatchView
{
public:
    void SetCurrentFileBar(unsigned) override {}
    void SetOverallBar(unsigned) override {}
    void SetStatusText(const char*) override {}
    void EnableOkButton(bool) override {}
    void SetTimer(unsigned, unsigned) override {}
    void KillTimer(unsigned) override {}
    void EndDialog(int) override {}
    int RunConfirmDialog(const std::string&) override { return 0; }
    void ReportError(const std::string&) override {}
};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string& root = fuzz::Root();
    std::filesystem::create_directories(root + "/c/Dezor");
    std::filesystem::create_directories(root + "/windows");
    const std::string registry =
        "[Drives]\nC=" + root + "/c\nWindows=" + root +
        "/windows\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmorra\\Dezor\\1.00]\n"
        "HDPath=C:\\Dezor\n";
    fuzz::WriteFile(root + "/registry.ini", reinterpret_cast<const uint8_t*>(registry.data()),
                    registry.size());
    RegReload();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const PatchRow rows[] = {{1, "Data.bin"}};
    const PatchResource resources[] = {{1, std::span<const uint8_t>(data, size)}};
    QuietView view;
    CPatchDlg dlg(view, rows, resources);
    if (!dlg.FindInstallPath() || !dlg.PrepareTempPath())
        __builtin_trap(); // the installation set up above is always found
    for (int tick = 0; tick < 256 && dlg.ExtractStep() == CPatchDlg::EXTRACT_GO_ON; ++tick)
    {
    }
    return 0;
}
