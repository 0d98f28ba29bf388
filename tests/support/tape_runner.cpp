#include "tests/support/tape_runner.h"

#include <cstdlib>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/files_images.h"
#include "tests/support/support.h"

namespace {
std::string shell_quoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string read_text(const std::filesystem::path& path) {
    const std::vector<uint8_t> bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}
} // namespace

RunnerResult run_runner(const std::vector<std::string>& args) {
    // The streams go to files named after this process, so parallel test runs do not meet.
    const auto tmp = std::filesystem::temp_directory_path();
    const std::string tag = "marrowgleam-run-" + std::to_string(::getpid());
    const auto out_path = tmp / (tag + ".out"), err_path = tmp / (tag + ".err");

    // A runner that never ends (a hang is a fault to be found) is stopped after two
    // minutes, and the test sees the status 124 of timeout(1).
    std::string command = "timeout -k 5 120 " + shell_quoted(binary_path("marrowgleam-run"));
    for (const std::string& arg : args) command += " " + shell_quoted(arg);
    command += " >" + shell_quoted(out_path.string()) + " 2>" + shell_quoted(err_path.string());

    RunnerResult result;
    const int raw = std::system(command.c_str());
    if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    result.out = read_text(out_path);
    result.err = read_text(err_path);
    std::filesystem::remove(out_path);
    std::filesystem::remove(err_path);

    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) result.rows.push_back(line);
    return result;
}

std::vector<TapBlock> tap_blocks(const std::vector<uint8_t>& image) {
    std::vector<TapBlock> blocks;
    size_t at = 0;
    while (at + 2 <= image.size()) {
        const size_t length = image[at] | image[at + 1] << 8;
        if (length < 2 || at + 2 + length > image.size()) return {};
        blocks.push_back({at, {image.begin() + at + 2, image.begin() + at + 2 + length}});
        at += 2 + length;
    }
    if (at != image.size()) return {};
    return blocks;
}
