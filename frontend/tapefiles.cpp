// The tape around the machine: F11, the deck's messages, and the blocks the ROM's save
// routine hands over, written to a TAP file.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "formats/formats.h"
#include "frontend/session.h"

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
    if (m.tape_deck.playing) m.tape_stop();
    else m.tape_play();
    if (!m.tape_deck.attached()) post_message(" NO TAPE ");
}

void Session::tape_frame() {
    Spectrum& m = machine;
    switch (m.tape_deck.take_event()) {
    case TapeEvent::PLAY: post_message(" TAPE PLAY "); break;
    case TapeEvent::STOP: post_message(" TAPE STOP "); break;
    case TapeEvent::END: post_message(" TAPE END "); break;
    case TapeEvent::FAULT: post_message(m.tape_deck.fault.substr(0, TEXT_COLUMNS).c_str()); break;
    case TapeEvent::NONE: break;
    }
    if (!m.saved_blocks.empty()) write_saved_blocks();
}

void Session::write_saved_blocks() {
    Spectrum& m = machine;
    std::vector<uint8_t> bytes;
    for (const auto& block : m.saved_blocks) bytes.insert(bytes.end(), block.begin(), block.end());
    m.saved_blocks.clear();

    std::string path = save_tape_path;
    if (path.empty()) {
        // The data directory, made when missing; without one there is nowhere to save.
        const std::string dir = user_data_dir();
        if (dir.empty()) {
            post_message(" SAVE FAILED ");
            return;
        }
        char name[64];
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::strftime(name, sizeof name, "tape-%Y%m%d-%H%M%S.tap", &local);
        path = dir + name;
    }
    // The file as it is, then the new blocks: a failed write leaves it as it was.
    std::error_code ec;
    std::vector<uint8_t> file;
    if (std::filesystem::exists(path, ec)) {
        // A file over the limit would be written back cut short: it is left as it is.
        file = read_file_prefix(path, TAPE_LIMIT + 1);
        if ((file.empty() && std::filesystem::file_size(path, ec) != 0) ||
            file.size() > TAPE_LIMIT) {
            post_message(" SAVE FAILED ");
            return;
        }
    }
    file.insert(file.end(), bytes.begin(), bytes.end());
    if (!write_file_atomic(path, file)) {
        post_message(" SAVE FAILED ");
        return;
    }
    save_tape_path = path;
    if (saves_to_deck) m.append_tape_records(bytes);
    const std::string text = " SAVED " + shown_name(path, TEXT_COLUMNS - 8) + " ";
    post_message(text.c_str());
}
