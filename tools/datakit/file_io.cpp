#include "tools/datakit/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace datakit
{

namespace
{

std::string SystemError(const std::string& what, const std::filesystem::path& path)
{
    return what + " " + path.string() + ": " + std::strerror(errno);
}

// Unique within the process as well as between processes, so parallel writers never share
// a temporary file.
std::filesystem::path TemporaryPath(const std::filesystem::path& path)
{
    static std::atomic<unsigned> counter{0};
    std::string name = "." + path.filename().string() + ".tmp." + std::to_string(getpid()) + "." +
                       std::to_string(counter++);
    return path.parent_path() / name;
}

} // namespace

void WriteFileAtomically(const std::filesystem::path& path, std::span<const uint8_t> bytes)
{
    if (path.filename().empty())
        throw Error("cannot write " + path.string() + ": not a file name");
    std::filesystem::path temp = TemporaryPath(path);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        throw Error(SystemError("cannot create", temp));

    std::string failure;
    size_t done = 0;
    while (failure.empty() && done < bytes.size())
    {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            failure = SystemError("cannot write", temp);
        else
            done += static_cast<size_t>(n);
    }
    if (failure.empty() && fsync(fd) != 0)
        failure = SystemError("cannot sync", temp);
    if (close(fd) != 0 && failure.empty())
        failure = SystemError("cannot close", temp);
    if (failure.empty() && rename(temp.c_str(), path.c_str()) != 0)
        failure = SystemError("cannot rename " + temp.string() + " to", path);
    if (!failure.empty())
    {
        unlink(temp.c_str());
        throw Error(failure);
    }
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Error(SystemError("cannot open", path));
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    for (;;)
    {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
        {
            std::string failure = SystemError("cannot read", path);
            close(fd);
            throw Error(failure);
        }
        if (n == 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    close(fd);
    return bytes;
}

} // namespace datakit
