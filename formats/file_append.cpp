// Adding to the end of a file the user already has (a tape that SAVE writes onto): what is
// there is never read back, rewritten or shortened, whatever its size.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "formats/formats.h"

namespace {
bool write_protected(const std::string& path, const struct stat& st) {
    // No write bit at all is the tape's write-protect tab, which holds for every user (the
    // superuser, who may write anything, too).
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool means_read_only(int error) { return error == EACCES || error == EPERM || error == EROFS; }
} // namespace

AppendResult append_file(const std::string& path, const std::vector<uint8_t>& bytes,
                         uint64_t expected_length) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {AppendResult::FAILED, std::strerror(errno)};
    if (!S_ISREG(st.st_mode)) return {AppendResult::FAILED, "it is not a regular file"};
    if (write_protected(path, st)) return {AppendResult::READ_ONLY, "it is read-only"};
    // Opened without waiting (the name may have become a named pipe since), and looked at
    // again once open: the same file, as long as it was.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return {means_read_only(error) ? AppendResult::READ_ONLY : AppendResult::FAILED,
                std::strerror(error)};
    }
    struct stat now;
    if (::fstat(fd, &now) != 0 || !S_ISREG(now.st_mode) || now.st_dev != st.st_dev ||
        now.st_ino != st.st_ino) {
        ::close(fd);
        return {AppendResult::FAILED, "the file was replaced while it was opened"};
    }
    if (static_cast<uint64_t>(now.st_size) != expected_length) {
        ::close(fd);
        return {AppendResult::FAILED, "the file is " + std::to_string(now.st_size) +
                                          " bytes long, not the " +
                                          std::to_string(expected_length) + " it had"};
    }
    size_t done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    // On the disk before success is reported: a crash after it must find the blocks.
    if (!error && ::fsync(fd) != 0) error = errno;
    if (error) {
        // A full disk or a write error: what was added goes, and the file is as it was.
        if (::ftruncate(fd, static_cast<off_t>(expected_length)) == 0) ::fsync(fd);
        ::close(fd);
        return {AppendResult::FAILED, std::strerror(error)};
    }
    ::close(fd);
    return {AppendResult::DONE, ""};
}
