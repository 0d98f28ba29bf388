// Host files the user names: opened for reading only when they are regular files, read
// with a reason for every failure, and written whole or not at all.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
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

bool write_file_atomic(const std::string& name, const std::vector<uint8_t>& image) {
    const std::string temporary = name + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    // An empty vector's data() may be null, which fwrite must not be given.
    bool ok = image.empty() || std::fwrite(image.data(), 1, image.size(), file) == image.size();
    // On the disk before the name points at it: a crash after the rename must find the new
    // contents, not an empty file.
    ok = std::fflush(file) == 0 && ok;
    ok = ::fsync(::fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(temporary, name, ec);
    if (!ok || ec) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    // The rename itself is made durable through the directory (where it can be opened).
    const std::string directory = getpath(name).empty() ? "." : getpath(name);
    const int dir = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
