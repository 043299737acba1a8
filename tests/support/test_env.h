// A private world for one test: a fresh temporary directory holding the registry file, the
// state directory behind drive C:, the runtime directory of the single-instance lock and the
// configuration directory. The environment points at it while the object lives.
#pragma once

#include <cstdlib>
#include <string>

class TestEnv
{
public:
    TestEnv();
    ~TestEnv();
    TestEnv(const TestEnv&) = delete;
    TestEnv& operator=(const TestEnv&) = delete;

    const std::string& Root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    // Directory behind drive C: (named in the registry file).
    std::string DriveC() const { return Path("c"); }
    std::string RegistryFile() const { return Path("registry.ini"); }

    // Replaces the registry file with the given text; the drive map keeps C: unless the text
    // has its own [Drives] section.
    void WriteRegistry(const std::string& text) const;

private:
    std::string root_;
};

// Puts an environment variable back as it was (or unset) when it goes out of scope.
class SavedVariable
{
public:
    explicit SavedVariable(const char* name) : name_(name)
    {
        const char* value = std::getenv(name);
        had_ = value != nullptr;
        if (had_)
            old_ = value;
    }
    ~SavedVariable()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }
    SavedVariable(const SavedVariable&) = delete;
    SavedVariable& operator=(const SavedVariable&) = delete;

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

// Whole-file helpers for assertions.
std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
