// Where the program writes the user's files: channels beside the executable while it may
// write there, snapshots (and channels it may not write beside the executable) in the
// user's data directory.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
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

std::string Session::new_snapshot_name(const std::string& directory, const std::tm& when) const {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &when);
    const std::string ext = snapshot_extension(snapshot_format);
    std::string name = directory + stamp + "." + ext;
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(name, ec); n++)
        name = directory + stamp + "-" + std::to_string(n) + "." + ext;
    return name;
}

void Session::save_snapshot_key() {
    const std::string dir = user_data_dir();
    std::string why;
    std::string name;
    if (dir.empty()) {
        why = "neither XDG_DATA_HOME nor HOME is set";
    } else {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        name = new_snapshot_name(dir, local);
        why = save_snapshot(machine, name, snapshot_format);
    }
    if (!why.empty()) {
        post_message(" SNAPSHOT FAILED ");
        std::fprintf(stderr, "marrowgleam: snapshot not saved: %s\n", why.c_str());
        return;
    }
    const std::string text = " SNAPSHOT " + std::filesystem::path(name).filename().string() + " ";
    post_message(text.c_str());
}
