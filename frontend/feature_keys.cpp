// The control keys of typing by character (Windows+T), screenshots (Windows+P), the exact
// border (Windows+B) and the display mode (Alt+Enter), each with its message on row 23.
#include <cstdio>
#include <ctime>
#include <system_error>

#include "formats/formats.h"
#include "frontend/keys.h"
#include "frontend/picture_png.h"
#include "frontend/session.h"

std::string Session::save_screenshot() {
    const std::vector<uint8_t> png = picture_png(ULA_surface[last_picture]);
    const std::filesystem::path directory = pictures_directory();
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string name = screenshot_name(directory, local);
    const std::string path = (directory / name).string();
    if (directory.empty() || png.empty() || !write_file_atomic(path, png)) {
        post_message(" SCREENSHOT FAILED ");
        return {};
    }
    std::snprintf(TXTLNBUF, sizeof TXTLNBUF, " SAVED %.31s ", name.c_str());
    post_message(TXTLNBUF);
    return path;
}

void Session::feature_keys() {
    if (win_held() && key_pressed(key::letter('t'))) {
        type_chars = !type_chars;
        post_message(type_chars ? " TYPE BY CHARACTER " : " TYPE BY POSITION  ");
    }
    if (win_held() && key_pressed(key::letter('p'))) save_screenshot();
    if (win_held() && key_pressed(key::letter('b'))) {
        machine.exact_border = !machine.exact_border;
        post_message(machine.exact_border ? " EXACT BORDER ON  " : " EXACT BORDER OFF ");
    }
    if ((key_held(key::LALT) || key_held(key::RALT)) && key_pressed(key::RETURN)) {
        windowed = !windowed;
        post_message(windowed ? " WINDOW      " : " FULL SCREEN ");
    }
}
