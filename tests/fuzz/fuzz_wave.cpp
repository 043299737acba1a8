// Wave files: loaded whole as a sample and opened as a stream, then played and mixed for a
// moment through the mixer's loopback device. Odd input lengths load as stereo 11,025 Hz.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/common/destruct.h"
#include "engine/common/dk_heap.h"
#include "engine/pc/sound/dk_qsnd.h"
#include "platform/qmix/qmix.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::Root();
    QmixUseLoopbackForTests(TRUE);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = fuzz::DriveCPath("input.wav");
    fuzz::WriteFile(path, data, size);
    const bool stereo = size % 2 == 1;

    DkTempHeapInit(64 * 1024);
    DkHeapInit(1024 * 1024);
    DkInitQSound();
    DkOpenQChannel(0);
    DkOpenQChannel(1);
    if (DkLoadQSample("c:\\input.wav", stereo ? 11025 : 22050, 16, stereo ? 1 : 0) > 0)
        DkPlayQSample(0, 0, 1);
    DkSetUpQStream("c:\\INPUT.WAV");
    if (DkGetNumQSamples() > 1)
        DkPlayQSample(1, 1, QMIX_LOOP_FOREVER);
    std::vector<int16_t> mixed(2 * 2048);
    QmixRenderForTests(DkGetQSoundSession(), mixed.data(), 2048);
    DkCallAllDestructors();
    if (QmixLiveSessions() != 0)
        __builtin_trap(); // the session outlived its destructor
    return 0;
}
