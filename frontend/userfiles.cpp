// Where the program writes the user's files: channels beside the executable while it may
// write there, snapshots (and channels it may not write beside the executable) in the
// user's data directory.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "frontend/session.h"

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

std::string Session::channel_dir() const {
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

std::string Session::new_snapshot_name(const std::string& directory, const std::tm& when) const {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &when);
    const std::string ext = snapshot_extension(snapshot_format);
    int n = 1;
    while (name_taken(snapshot_candidate(directory, stamp, ext, n))) n++;
    return snapshot_candidate(directory, stamp, ext, n);
}

void Session::save_snapshot_key() {
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
        post_message(" SNAPSHOT FAILED ");
        std::fprintf(stderr, "marrowgleam: snapshot not saved: %s\n", why.c_str());
        return;
    }
    const std::string text = " SNAPSHOT " + std::filesystem::path(name).filename().string() + " ";
    post_message(text.c_str());
}
