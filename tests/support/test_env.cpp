#include "tests/support/test_env.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/reg/reg.h"

namespace fs = std::filesystem;

TestEnv::TestEnv()
{
    std::string pattern = (fs::temp_directory_path() / "dezor-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made == nullptr)
        ADD_FAILURE() << "mkdtemp failed";
    root_ = pattern;
    fs::create_directories(DriveC());
    fs::create_directories(Path("config"));
    fs::create_directories(Path("state"));
    fs::create_directories(Path("run"));
    setenv("DEZOR_REGISTRY", RegistryFile().c_str(), 1);
    setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
    setenv("XDG_STATE_HOME", Path("state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", Path("run").c_str(), 1);
    WriteRegistry("");
}

TestEnv::~TestEnv()
{
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void TestEnv::WriteRegistry(const std::string& text) const
{
    std::string body = text;
    if (body.find("[Drives]") == std::string::npos)
        body = "[Drives]\nC=" + DriveC() + "\n\n" + body;
    WriteWholeFile(RegistryFile(), body);
    RegReload();
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool FileExists(const std::string& path)
{
    return fs::exists(path);
}
