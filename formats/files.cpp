// Host files the user names: opened for reading only when they are regular files, read
// with a reason for every failure, and written whole or not at all.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/formats.h"

namespace {
// What a file that is not a regular file is, in words.
std::string kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a directory";
    if (S_ISFIFO(mode)) return "it is a named pipe (FIFO)";
    if (S_ISCHR(mode)) return "it is a character device";
    if (S_ISBLK(mode)) return "it is a block device";
    if (S_ISSOCK(mode)) return "it is a socket";
    return "it is not a regular file";
}
} // namespace

std::FILE* open_regular_file(const std::string& path, LoadResult& result) {
    // The type is looked at before the file is opened: opening a named pipe for reading
    // waits for a writer, and opening some devices does something.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        result = {LoadResult::CANNOT_OPEN, std::strerror(errno)};
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        result = {LoadResult::REFUSED, kind_of(st.st_mode)};
        return nullptr;
    }
    // The name may have been replaced since: opened without waiting, and looked at again.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result = {LoadResult::CANNOT_OPEN, std::strerror(errno)};
        return nullptr;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result = {LoadResult::REFUSED, kind_of(st.st_mode)};
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        result = {LoadResult::CANNOT_OPEN, std::strerror(errno)};
        ::close(fd);
        return nullptr;
    }
    result = {LoadResult::DONE, ""};
    return file;
}

LoadResult read_regular_file(const std::string& path, size_t limit, std::vector<uint8_t>& bytes) {
    LoadResult result{LoadResult::DONE, ""};
    std::FILE* file = open_regular_file(path, result);
    bytes.clear();
    if (!file) return result;
    uint8_t buffer[65536];
    size_t n;
    while (bytes.size() < limit &&
           (n = std::fread(buffer, 1, std::min(sizeof buffer, limit - bytes.size()), file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    if (std::ferror(file)) result = {LoadResult::CANNOT_OPEN, std::strerror(errno)};
    std::fclose(file);
    return result;
}

std::vector<uint8_t> read_file_prefix(const std::string& path, size_t limit) {
    std::vector<uint8_t> bytes;
    if (!read_regular_file(path, limit, bytes)) bytes.clear();
    return bytes;
}

bool read_text_file(const std::string& path, size_t limit, std::string& text, std::string& error) {
    std::vector<uint8_t> bytes;
    // One byte past the limit tells a file of exactly `limit` bytes from a longer one.
    const LoadResult result = read_regular_file(path, limit + 1, bytes);
    if (!result || bytes.size() > limit) {
        error = "cannot read " + path + ": " +
                (result ? "over " + std::to_string(limit) + " bytes" : result.why);
        return false;
    }
    text.assign(bytes.begin(), bytes.end());
    return true;
}

namespace {
// A temporary file that outlived its writer (a kill between its creation and its rename) is
// known by this mark in its name, with the writer's process id after it:
// ".NAME.mgtmp-PID-XXXXXX". Unnamed files (O_TMPFILE) need no such care: the kernel drops
// one whose writer dies before it is given a name.
constexpr char TEMP_MARK[] = ".mgtmp-";

std::string directory_of(const std::string& path) {
    const std::string dir = getpath(path);
    return dir.empty() ? "./" : dir;
}

std::string base_of(const std::string& path) { return path.substr(getpath(path).size()); }

// The mode a file made by open(..., 0666) would get: mkstemp makes 0600.
mode_t new_file_mode() {
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[128];
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found) return 0666 & ~mask;
    }
    mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

// Removes the named temporary files in `dir` whose writer is gone.
void remove_stale_temporaries(const std::string& dir) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const auto mark = name.rfind(TEMP_MARK);
        if (name[0] != '.' || mark == std::string::npos) continue;
        const long pid = std::strtol(name.c_str() + mark + sizeof TEMP_MARK - 1, nullptr, 10);
        if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH))
            ::unlink(it->path().c_str());
    }
}

int write_all(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += static_cast<size_t>(n);
    }
    // On the disk before a name points at it: a crash after the rename must find the new
    // contents, not an empty file.
    return ::fsync(fd) == 0 ? 0 : errno;
}

// A file of its own in `dir` holding `bytes`, flushed: unnamed where the file system can
// make one (`named` then empty), else under a unique temporary name set in `named`. The
// descriptor, or -1 with `error` set.
int make_filled(const std::string& dir, const std::string& base, const std::vector<uint8_t>& bytes,
                std::string& named, int& error) {
    remove_stale_temporaries(dir);
    named.clear();
    int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            error = errno;
            return -1;
        }
        std::string pattern = dir + "." + base + TEMP_MARK + std::to_string(::getpid()) + "-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            error = errno;
            return -1;
        }
        named = pattern;
        ::fchmod(fd, new_file_mode());
    }
    error = write_all(fd, bytes);
    if (error) {
        ::close(fd);
        if (!named.empty()) ::unlink(named.c_str());
        return -1;
    }
    return fd;
}

// Gives the unnamed file `fd` the name `path`; EEXIST when the name is taken.
int link_unnamed(int fd, const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != ENOENT) return errno;
    // Without /proc: by the descriptor itself, which needs privilege.
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// The new name made durable through the directory (where it can be opened).
void sync_directory(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A unique name for a temporary file beside `path`, free when it was made.
std::string temporary_name(const std::string& dir, const std::string& base, unsigned attempt) {
    return dir + "." + base + TEMP_MARK + std::to_string(::getpid()) + "-" +
           std::to_string(attempt) + "-" + std::to_string(::time(nullptr));
}

int replace_with(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string dir = directory_of(path), base = base_of(path);
    std::string named;
    int error = 0;
    const int fd = make_filled(dir, base, bytes, named, error);
    if (fd < 0) return error;
    // An unnamed file cannot be renamed: it is linked under a temporary name first.
    for (unsigned attempt = 0; named.empty() && attempt < 100; attempt++) {
        const std::string candidate = temporary_name(dir, base, attempt);
        error = link_unnamed(fd, candidate);
        if (!error) named = candidate;
        else if (error != EEXIST) break;
    }
    ::close(fd);
    if (named.empty()) return error ? error : EEXIST;
    if (::rename(named.c_str(), path.c_str()) != 0) {
        error = errno;
        ::unlink(named.c_str());
        return error;
    }
    sync_directory(dir);
    return 0;
}
} // namespace

bool write_file_atomic(const std::string& path, const std::vector<uint8_t>& bytes,
                       std::string* why) {
    const int error = replace_with(path, bytes);
    if (error && why) *why = std::strerror(error);
    return error == 0;
}

int write_new_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    const std::string dir = directory_of(path), base = base_of(path);
    std::string named;
    int error = 0;
    const int fd = make_filled(dir, base, bytes, named, error);
    if (fd < 0) return error;
    if (named.empty()) {
        error = link_unnamed(fd, path);
    } else {
        // A hard link claims the name or fails with EEXIST; where the file system has none,
        // a rename that never replaces does.
        error = ::link(named.c_str(), path.c_str()) == 0 ? 0 : errno;
        if (error == EPERM || error == EOPNOTSUPP)
            error =
                ::renameat2(AT_FDCWD, named.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0
                    ? 0
                    : errno;
        ::unlink(named.c_str());
    }
    ::close(fd);
    if (!error) sync_directory(dir);
    return error;
}
