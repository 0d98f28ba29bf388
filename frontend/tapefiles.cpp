// The tape around the machine: F11, the deck's messages, and the blocks the ROM's save
// routine hands over, appended to a TAP file (a new one in the data directory when there is
// none, or the one there is write-protected).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "formats/formats.h"
#include "frontend/session.h"
#include "frontend/text_layer.h"
#include "frontend/user_files.h"

namespace {
// The last `width` characters of a file's name: a long name keeps its end, which tells
// files apart.
std::string shown_name(const std::string& path, size_t width) {
    std::string name = std::filesystem::path(path).filename().string();
    if (name.size() > width) name = name.substr(name.size() - width);
    return name;
}
} // namespace

void Session::tape_key() {
    Spectrum& m = machine;
    if (m.tape_deck.playing) {
        m.tape_stop();
    } else {
        m.tape_play();
        // Started by hand, it plays until stopped by hand or its end, listened to or not.
        m.tape_deck.by_hand = m.tape_deck.playing;
    }
    if (!m.tape_deck.attached()) text.post_message(" NO TAPE ");
}

void Session::tape_frame() {
    Spectrum& m = machine;
    switch (m.tape_deck.take_event()) {
    case TapeEvent::PLAY: text.post_message(" TAPE PLAY "); break;
    case TapeEvent::STOP: text.post_message(" TAPE STOP "); break;
    case TapeEvent::END: text.post_message(" TAPE END "); break;
    case TapeEvent::FAULT:
        text.post_message(m.tape_deck.fault.substr(0, TEXT_COLUMNS).c_str());
        break;
    case TapeEvent::NONE: break;
    }
    if (m.save_refused) {
        m.save_refused = 0;
        text.post_message(" SAVE REFUSED: OVER 65533 BYTES ");
        files.tape_save_failure = "a block of more than 65,533 bytes does not fit in a TAP file; "
                                  "nothing was written";
    }
    if (!m.saved_blocks.empty()) files.write_saved_blocks(m, text);
}

void UserFiles::tape_save_failed(const std::string& path, const std::string& why, TextLayer& text) {
    text.post_message(" SAVE FAILED ");
    tape_save_failure = path.empty() ? why : path + ": " + why;
}

std::string UserFiles::new_tape_file(const std::vector<uint8_t>& bytes, std::string& why) {
    const std::string dir = user_data_dir();
    if (dir.empty()) {
        why = "neither XDG_DATA_HOME nor HOME is set";
        return {};
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        std::filesystem::create_directories(dir, ec);
        why = "cannot make the data directory " + dir + ": " +
              (ec ? ec.message() : std::string("it is not a directory"));
        return {};
    }
    // Named by the date and time, never over a file that is there.
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "tape-%Y%m%d-%H%M%S", &local);
    std::string path = dir + stamp + ".tap";
    for (int n = 2; std::filesystem::exists(path, ec); n++)
        path = dir + stamp + "-" + std::to_string(n) + ".tap";
    errno = 0;
    if (!write_file_atomic(path, bytes)) {
        why = errno ? std::strerror(errno) : "it could not be written";
        return {};
    }
    return path;
}

void UserFiles::write_saved_blocks(Spectrum& m, TextLayer& text) {
    std::vector<uint8_t> bytes;
    for (const auto& block : m.saved_blocks) bytes.insert(bytes.end(), block.begin(), block.end());
    m.saved_blocks.clear();

    // Onto the file saved to: appended, the file as it was if that fails. One that has gone
    // meanwhile is not made again under its name: the blocks go to a new file.
    bool read_only = false;
    std::error_code gone;
    if (!save_tape_path.empty() && !std::filesystem::exists(save_tape_path, gone) && !gone)
        save_tape_path.clear();
    if (!save_tape_path.empty()) {
        std::error_code ec;
        const uint64_t length = save_tape_length >= 0
                                    ? static_cast<uint64_t>(save_tape_length)
                                    : std::filesystem::file_size(save_tape_path, ec);
        const AppendResult appended = append_file(save_tape_path, bytes, ec ? 0 : length);
        if (appended) {
            save_tape_length = static_cast<int64_t>(length + bytes.size());
            if (saves_to_deck) m.append_tape_records(bytes);
            const std::string saved =
                " SAVED " + shown_name(save_tape_path, TEXT_COLUMNS - 8) + " ";
            text.post_message(saved.c_str());
            return;
        }
        if (appended.status != AppendResult::READ_ONLY) {
            tape_save_failed(save_tape_path, appended.why, text);
            return;
        }
        // A write-protected tape is never replaced: this and later saves go to a new file.
        read_only = true;
    }
    std::string why;
    const std::string path = new_tape_file(bytes, why);
    if (path.empty()) {
        tape_save_failed("", why, text);
        return;
    }
    save_tape_path = path;
    save_tape_length = static_cast<int64_t>(bytes.size());
    saves_to_deck = false;
    const std::string saved = read_only ? std::string(" READ-ONLY: SAVED TO DATA DIR ")
                                        : " SAVED " + shown_name(path, TEXT_COLUMNS - 8) + " ";
    text.post_message(saved.c_str());
}
