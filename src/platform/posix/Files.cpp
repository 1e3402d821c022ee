#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/Module.h"

namespace platform {

std::string nativePath(std::string_view path) {
    std::string native(path);
    for (char& c : native) {
        if (c == '\\') c = '/';
    }
    return native;
}

std::string appDataFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return config;
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0') return std::string(home) + "/.config";
    return {};
}

std::string moduleFolder() { return folderOf(modulePath()); }

std::optional<std::string> readFile(const std::string& path) {
    const int fd = ::open(nativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(info.st_size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    if (done != bytes.size()) return std::nullopt;
    return bytes;
}

bool writeFile(const std::string& path, std::string_view bytes) {
    // The bytes go to a file beside the target that then takes its place, so a failed write
    // never leaves the target half written.
    const std::string target = nativePath(path);
    const std::string scratch = target + ".new";
    const int fd = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<size_t>(put);
    }
    const bool written = done == bytes.size() && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(scratch.c_str(), target.c_str()) != 0) {
        ::unlink(scratch.c_str());
        return false;
    }
    return true;
}

bool folderExists(const std::string& path) {
    struct stat info {};
    return ::stat(nativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(nativePath(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool createFolder(const std::string& path) {
    std::string native = nativePath(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (native.empty()) return false;
    // Every prefix ending before a "/" is a parent that may be missing.
    for (size_t slash = native.find('/', 1); slash != std::string::npos; slash = native.find('/', slash + 1)) {
        const std::string parent = native.substr(0, slash);
        if (::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    if (::mkdir(native.c_str(), 0755) != 0 && errno != EEXIST) return false;
    return folderExists(native);
}

bool removeFile(const std::string& path) {
    return fileExists(path) && ::unlink(nativePath(path).c_str()) == 0;
}

}  // namespace platform
