// Where the program writes the user's files: channels beside the executable while it may
// write there, snapshots (and channels it may not write beside the executable) in the
// user's data directory.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "formats/formats.h"
#include "frontend/picture_png.h"
#include "frontend/text_layer.h"
#include "frontend/user_files.h"
#include "spectrum/machine.h"

std::string user_data_dir() {
    std::filesystem::path dir;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    // A relative XDG_DATA_HOME is ignored, as the XDG base directory rules say.
    if (xdg && xdg[0] == '/') dir = xdg;
    else if (home && home[0]) dir = std::filesystem::path(home) / ".local" / "share";
    else return {};
    dir /= "marrowgleam";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir.string() + "/";
}

std::string UserFiles::channel_dir() const {
    const std::string beside = application_path.empty() ? "./" : application_path;
    const bool writable =
        directory_writable ? directory_writable(beside) : access(beside.c_str(), W_OK) == 0;
    if (writable) return application_path;
    const std::string data = user_data_dir();
    return data.empty() ? application_path : data;
}

namespace {
// The n-th name for a snapshot taken at `stamp`: "STAMP.ext", then "STAMP-2.ext", ...
std::string snapshot_candidate(const std::string& directory, const char* stamp,
                               const std::string& ext, int n) {
    return directory + stamp + (n > 1 ? "-" + std::to_string(n) : std::string()) + "." + ext;
}

// Whether anything, a dangling symbolic link included, has the name.
bool name_taken(const std::string& name) {
    std::error_code ec;
    return std::filesystem::symlink_status(name, ec).type() !=
           std::filesystem::file_type::not_found;
}
} // namespace

std::string UserFiles::new_snapshot_name(const std::string& directory, const std::tm& when) const {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &when);
    const std::string ext = snapshot_extension(snapshot_format);
    int n = 1;
    while (name_taken(snapshot_candidate(directory, stamp, ext, n))) n++;
    return snapshot_candidate(directory, stamp, ext, n);
}

void UserFiles::save_snapshot(const Spectrum& machine, TextLayer& text) {
    const std::string dir = user_data_dir();
    std::string why;
    std::string name;
    if (dir.empty()) {
        why = "neither XDG_DATA_HOME nor HOME is set";
    } else if (const SnapshotImage image = snapshot_image(machine, snapshot_format); !image) {
        why = image.why;
    } else {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
        const std::string ext = snapshot_extension(snapshot_format);
        // The name is claimed together with the file: another instance (or a second save in
        // the same second) that took it first makes this one go on to the next suffix
        // instead of replacing its snapshot.
        int error = EEXIST;
        for (int n = 1; error == EEXIST && n < 10000; n++) {
            name = snapshot_candidate(dir, stamp, ext, n);
            if (!name_taken(name)) error = write_new_file(name, image.bytes);
        }
        if (error) why = "cannot write " + name + ": " + std::strerror(error);
    }
    if (!why.empty()) {
        text.post_message(" SNAPSHOT FAILED ");
        std::fprintf(stderr, "marrowgleam: snapshot not saved: %s\n", why.c_str());
        return;
    }
    const std::string saved = " SNAPSHOT " + std::filesystem::path(name).filename().string() + " ";
    text.post_message(saved.c_str());
}

std::string UserFiles::channel_name(int n) const {
    return channel_dir() + "CH" + std::to_string(n);
}

void UserFiles::save_channel(int n, const Spectrum& machine, TextLayer& text) {
    const std::string dir = channel_dir();
    // Away from the executable the message says where the channel went.
    std::snprintf(text.TXTLNBUF, sizeof text.TXTLNBUF,
                  dir == application_path ? " SAVE CHANNEL %1d " : " SAVE CHANNEL %1d TO DATA DIR ",
                  n);
    text.post_message(text.TXTLNBUF);
    if (!write_file_atomic(dir + "CH" + std::to_string(n), channel_image(machine)))
        text.post_message(" SAVE FAILED ");
}

void UserFiles::load_channel(int n, Spectrum& machine, TextLayer& text) {
    const std::string dir = channel_dir();
    std::snprintf(
        text.TXTLNBUF, sizeof text.TXTLNBUF,
        dir == application_path ? " LOAD CHANNEL %1d " : " LOAD CHANNEL %1d FROM DATA DIR ", n);
    text.post_message(text.TXTLNBUF);
    const std::string name = dir + "CH" + std::to_string(n);
    std::error_code ec;
    // Never saved: the machine runs on. A name that cannot even be looked at (a loop of
    // symbolic links, a directory without permission) is read below and says why.
    if (!std::filesystem::exists(name, ec) && !ec) return;
    // One byte more than the longest channel is enough to tell a longer file.
    std::vector<uint8_t> image;
    const LoadResult read = read_regular_file(name, CHANNEL_FILE_LIMIT + 1, image);
    if (read.status == LoadResult::CANNOT_OPEN) {
        text.post_message(message_with_reason(" CANNOT LOAD CHANNEL: ", read.why).c_str());
        return;
    }
    if (!read || !channel_usable(image)) {
        text.post_message(" BAD CHANNEL FILE ");
        return;
    }
    restore_channel(machine, image);
}

void UserFiles::file_loaded(const std::string& path) {
    save_tape_path = getext(path) == "TAP" ? path : std::string();
    saves_to_deck = !save_tape_path.empty();
    std::error_code ec;
    const uintmax_t length = saves_to_deck ? std::filesystem::file_size(path, ec) : 0;
    save_tape_length = saves_to_deck && !ec ? static_cast<int64_t>(length) : -1;
}

std::string UserFiles::save_screenshot(const uint8_t* picture, TextLayer& text) {
    const std::vector<uint8_t> png = picture_png(picture);
    const std::filesystem::path directory = pictures_directory();
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string name = screenshot_name(directory, local);
    const std::string path = (directory / name).string();
    if (directory.empty() || png.empty() || !write_file_atomic(path, png)) {
        text.post_message(" SCREENSHOT FAILED ");
        return {};
    }
    std::snprintf(text.TXTLNBUF, sizeof text.TXTLNBUF, " SAVED %.31s ", name.c_str());
    text.post_message(text.TXTLNBUF);
    return path;
}
