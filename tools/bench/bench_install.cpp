#include "tools/bench/bench_install.h"

#include <cstdlib>

#include "platform/reg/reg.h"
#include "tools/datakit/install.h"

namespace bench
{
std::string InstallDemoAt(const std::string& dir)
{
    const datakit::InstallSummary install = datakit::InstallDemo(dir);
    setenv("DEZOR_REGISTRY", install.registryFile.c_str(), 1);
    RegReload();
    return (install.root / "c" / "Dezor").string();
}

std::string InstallDemoOnce()
{
    static const std::string hardDisk = []
    {
        char pattern[] = "/tmp/dezor-bench-install-XXXXXX";
        return InstallDemoAt(mkdtemp(pattern) != nullptr ? pattern : "/tmp");
    }();
    return hardDisk;
}
} // namespace bench
