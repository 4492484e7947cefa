#include "UnnamedFile.h"

#include <filesystem>

#ifdef __linux__
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#endif

namespace vrml {

#ifdef __linux__

std::FILE* OpenUnnamed(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty())
        folder = ".";
    const int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* file = fdopen(fd, "w+b");
    if (file == nullptr)
        close(fd);
    return file;
}

bool GiveName(std::FILE* file, const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fileno(file));
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    // A file of that name is there: the new one takes a name of its own
    // beside it first, then replaces it in one step.
    static std::atomic<unsigned> made{0};
    const std::filesystem::path target(path);
    const std::string beside = (target.parent_path() / ("." + target.filename().string() + ".part-" +
                                                        std::to_string(getpid()) + "-" + std::to_string(++made)))
                                   .string();
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, beside.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return false;
    if (std::rename(beside.c_str(), path.c_str()) == 0)
        return true;
    std::remove(beside.c_str());
    return false;
}

#else

std::FILE* OpenUnnamed(const std::string&) { return nullptr; }

bool GiveName(std::FILE*, const std::string&) { return false; }

#endif

} // namespace vrml
