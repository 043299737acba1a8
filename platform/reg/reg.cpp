#include "platform/reg/reg.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// An opened key. Handles are checked against the set of live ones before use, so a stale or
// foreign handle is refused rather than dereferenced.
struct HKEY__
{
    uint32_t magic;
    std::string path;
};

namespace
{

constexpr uint32_t kKeyMagic = 0x5245474Bu; // "REGK"

struct RegValue
{
    std::string name;
    std::string value;
    size_t line;
};

struct RegSection
{
    std::string path;
    size_t header;   // line of the [Section] header
    size_t lastLine; // last value line: new values go after it, before trailing comments
    std::vector<RegValue> values;
};

struct RegCache
{
    bool loaded = false;
    std::string file;
    std::vector<std::string> lines; // as read, without '\n', so a rewrite keeps them
    std::vector<RegSection> sections;
};

std::mutex s_mutex;
RegCache s_cache;
std::unordered_set<HKEY> s_openKeys;

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

std::string TrimRight(const std::string& s)
{
    size_t end = s.size();
    while (end > 0 && IsSpace(s[end - 1]))
        --end;
    return s.substr(0, end);
}

std::string Trim(const std::string& s)
{
    std::string t = TrimRight(s);
    size_t begin = 0;
    while (begin < t.size() && IsSpace(t[begin]))
        ++begin;
    return t.substr(begin);
}

// Backslash-separated path with empty components dropped, so "A\\B\" and "A\B" are one key.
std::string NormaliseKeyPath(const std::string& path)
{
    std::string out;
    size_t i = 0;
    while (i < path.size())
    {
        size_t next = path.find('\\', i);
        if (next == std::string::npos)
            next = path.size();
        if (next > i)
        {
            if (!out.empty())
                out += '\\';
            out.append(path, i, next - i);
        }
        i = next + 1;
    }
    return out;
}

std::string HomeDirectory()
{
    const char* home = getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return home;
    struct passwd pw;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return "";
}

// An XDG directory variable counts only when it holds an absolute path.
std::string XdgDirectory(const char* variable, const char* fallbackUnderHome)
{
    const char* value = getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    std::string home = HomeDirectory();
    if (home.empty())
        return "";
    return home + "/" + fallbackUnderHome;
}

void ParseLines(RegCache& cache)
{
    cache.sections.clear();
    RegSection* current = nullptr;
    for (size_t i = 0; i < cache.lines.size(); ++i)
    {
        std::string line = Trim(cache.lines[i]);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[')
        {
            size_t close = line.rfind(']');
            if (close == std::string::npos || close == 0)
            {
                current = nullptr;
                continue;
            }
            cache.sections.push_back({NormaliseKeyPath(Trim(line.substr(1, close - 1))), i, i, {}});
            current = &cache.sections.back();
            continue;
        }
        if (current == nullptr)
            continue;
        // The value is everything after the first '=', without the spaces around it, so that
        // "C = /x" reads as a person means it.
        std::string raw = TrimRight(cache.lines[i]);
        size_t eq = raw.find('=');
        if (eq == std::string::npos)
            continue;
        std::string name = Trim(raw.substr(0, eq));
        if (name.empty())
            continue;
        current->values.push_back({name, Trim(raw.substr(eq + 1)), i});
        current->lastLine = i;
    }
}

void LoadLocked()
{
    if (s_cache.loaded)
        return;
    s_cache = RegCache{};
    s_cache.loaded = true;
    s_cache.file = RegFilePath();
    std::ifstream in(s_cache.file, std::ios::binary);
    std::string line;
    while (std::getline(in, line))
        s_cache.lines.push_back(line);
    ParseLines(s_cache);
}

const RegSection* FindSection(const std::string& path)
{
    for (const RegSection& section : s_cache.sections)
        if (SameText(section.path, path))
            return &section;
    return nullptr;
}

const RegValue* FindValue(const std::string& keyPath, const std::string& name)
{
    for (const RegSection& section : s_cache.sections)
    {
        if (!SameText(section.path, keyPath))
            continue;
        for (const RegValue& value : section.values)
            if (SameText(value.name, name))
                return &value;
    }
    return nullptr;
}

const char* RootName(HKEY key)
{
    if (key == HKEY_CLASSES_ROOT)
        return "HKEY_CLASSES_ROOT";
    if (key == HKEY_CURRENT_USER)
        return "HKEY_CURRENT_USER";
    if (key == HKEY_LOCAL_MACHINE)
        return "HKEY_LOCAL_MACHINE";
    if (key == HKEY_USERS)
        return "HKEY_USERS";
    return nullptr;
}

bool KeyPathLocked(HKEY key, std::string& path)
{
    if (const char* root = RootName(key))
    {
        path = root;
        return true;
    }
    if (key == nullptr || s_openKeys.count(key) == 0 || key->magic != kKeyMagic)
        return false;
    path = key->path;
    return true;
}

bool KeyExistsLocked(const std::string& path)
{
    if (path.find('\\') == std::string::npos) // a root
        return true;
    for (const RegSection& section : s_cache.sections)
    {
        if (SameText(section.path, path))
            return true;
        if (section.path.size() > path.size() && section.path[path.size()] == '\\' &&
            SameText(section.path.substr(0, path.size()), path))
            return true;
    }
    return false;
}

bool MakeDirectories(const std::string& dir)
{
    if (dir.empty())
        return true;
    struct stat st;
    if (stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash)))
        return false;
    return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size())
    {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The new text goes to "<file>.new" beside the target, is flushed, then renamed over it: a
// reader sees the old file or the new one, never half of one. The one fixed name means a write
// killed part-way leaves at most that file, which the next write replaces. Writers in this
// process already hold s_mutex; a lock on the directory keeps another process (the patch
// program beside the game) from using the name at the same time, and dies with its holder.
bool WriteFileAtomically(const std::string& file, const std::vector<std::string>& lines)
{
    size_t slash = file.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : file.substr(0, slash == 0 ? 1 : slash);
    if (!MakeDirectories(dir))
        return false;

    std::string bytes;
    for (const std::string& line : lines)
        bytes += line + "\n";

    int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0)
        while (flock(dirFd, LOCK_EX) != 0 && errno == EINTR)
        {
        }
    auto finish = [&](bool ok)
    {
        if (dirFd >= 0)
        {
            if (ok)
                fsync(dirFd);
            close(dirFd); // drops the lock
        }
        return ok;
    };

    const std::string temp = file + ".new";
    // A leftover may be read-only or a link planted in its place: it is removed, never opened.
    if (unlink(temp.c_str()) != 0 && errno != ENOENT)
        return finish(false);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return finish(false);
    struct stat st;
    if (stat(file.c_str(), &st) == 0)
        fchmod(fd, st.st_mode & 07777);
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok)
        ok = rename(temp.c_str(), file.c_str()) == 0;
    if (!ok)
        unlink(temp.c_str());
    return finish(ok);
}

// A name or value that would not read back as written.
bool FitsOnALine(const std::string& text)
{
    return text.find_first_of("\r\n") == std::string::npos;
}

LONG OpenKey(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    if (phkResult == nullptr)
        return ERROR_REG_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(s_mutex);
    std::string path;
    if (!KeyPathLocked(hKey, path))
        return ERROR_REG_INVALID_HANDLE;
    LoadLocked();
    std::string sub = NormaliseKeyPath(lpSubKey != nullptr ? lpSubKey : "");
    if (!sub.empty())
        path += "\\" + sub;
    if (!KeyExistsLocked(path))
        return ERROR_REG_FILE_NOT_FOUND;
    HKEY key = new HKEY__{kKeyMagic, path};
    s_openKeys.insert(key);
    *phkResult = key;
    return ERROR_SUCCESS;
}

} // namespace

std::string RegFilePath(void)
{
    const char* file = getenv("DEZOR_REGISTRY");
    if (file != nullptr && file[0] != '\0')
        return file;
    std::string config = XdgDirectory("XDG_CONFIG_HOME", ".config");
    if (config.empty())
        return "registry.ini";
    return config + "/dezor/registry.ini";
}

std::string RegDefaultStateDirectory(void)
{
    std::string state = XdgDirectory("XDG_STATE_HOME", ".local/state");
    return state.empty() ? "" : state + "/dezor";
}

std::string RegDriveDirectory(char letter)
{
    letter = AsciiLower(letter);
    if (letter < 'a' || letter > 'z')
        return "";
    std::string directory;
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        LoadLocked();
        if (const RegValue* value = FindValue("Drives", std::string(1, letter)))
            directory = value->value;
    }
    if (directory.empty() && letter == 'c')
        return RegDefaultStateDirectory();
    return directory;
}

std::string RegWindowsDirectory(void)
{
    std::lock_guard<std::mutex> lock(s_mutex);
    LoadLocked();
    const RegValue* value = FindValue("Drives", "Windows");
    return value != nullptr ? value->value : "";
}

void RegReload(void)
{
    std::lock_guard<std::mutex> lock(s_mutex);
    s_cache = RegCache{};
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult)
{
    return OpenKey(hKey, lpSubKey, phkResult);
}

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult)
{
    return OpenKey(hKey, lpSubKey, phkResult);
}

LONG RegCloseKey(HKEY hKey)
{
    if (RootName(hKey) != nullptr)
        return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(s_mutex);
    if (hKey == nullptr || s_openKeys.erase(hKey) == 0)
        return ERROR_REG_INVALID_HANDLE;
    hKey->magic = 0;
    delete hKey;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, BYTE* lpData,
                      LPDWORD lpcbData)
{
    if (lpData != nullptr && lpcbData == nullptr)
        return ERROR_REG_INVALID_PARAMETER;
    std::lock_guard<std::mutex> lock(s_mutex);
    std::string path;
    if (!KeyPathLocked(hKey, path))
        return ERROR_REG_INVALID_HANDLE;
    LoadLocked();
    const RegValue* value = FindValue(path, lpValueName != nullptr ? lpValueName : "");
    if (value == nullptr)
        return ERROR_REG_FILE_NOT_FOUND;
    if (lpType != nullptr)
        *lpType = REG_SZ;
    DWORD size = static_cast<DWORD>(value->value.size() + 1);
    if (lpcbData == nullptr)
        return ERROR_SUCCESS;
    if (lpData == nullptr)
    {
        *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size)
    {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    memcpy(lpData, value->value.c_str(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData)
{
    if (dwType != REG_SZ || lpValueName == nullptr || (lpData == nullptr && cbData != 0))
        return ERROR_REG_INVALID_PARAMETER;
    std::string name = lpValueName;
    // The text stops at the first NUL or at cbData, whichever comes first.
    const char* text = reinterpret_cast<const char*>(lpData);
    std::string data = text == nullptr ? "" : std::string(text, strnlen(text, cbData));
    if (name.empty() || name != Trim(name) || name.find('=') != std::string::npos ||
        name[0] == '[' || name[0] == ';' || name[0] == '#' || !FitsOnALine(name) ||
        !FitsOnALine(data) || data != Trim(data))
        return ERROR_REG_INVALID_PARAMETER;

    std::lock_guard<std::mutex> lock(s_mutex);
    std::string path;
    if (!KeyPathLocked(hKey, path))
        return ERROR_REG_INVALID_HANDLE;
    LoadLocked();

    std::vector<std::string> lines = s_cache.lines;
    const RegValue* existing = FindValue(path, name);
    const RegSection* section = FindSection(path);
    if (existing != nullptr)
    {
        lines[existing->line] = existing->name + "=" + data;
    }
    else if (section != nullptr)
    {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(section->lastLine + 1),
                     name + "=" + data);
    }
    else
    {
        if (!lines.empty() && !Trim(lines.back()).empty())
            lines.push_back("");
        lines.push_back("[" + path + "]");
        lines.push_back(name + "=" + data);
    }

    if (!WriteFileAtomically(s_cache.file, lines))
        return ERROR_REG_CANTWRITE;
    s_cache.lines = std::move(lines);
    ParseLines(s_cache);
    return ERROR_SUCCESS;
}
