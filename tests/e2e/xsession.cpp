// Xvfb, the program, xdotool and screenshots for the end-to-end tests.
#include "tests/e2e/xsession.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
using namespace std::chrono_literals;

std::string read_whole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Ends a child: politely first, then for good.
int stop_child(pid_t pid, std::chrono::milliseconds grace) {
    kill(pid, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + grace;
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return status;
}

// The next whitespace-separated token of a PNM header, skipping comments.
bool pnm_token(const std::string& data, size_t& at, long& value) {
    while (at < data.size()) {
        if (data[at] == '#') {
            while (at < data.size() && data[at] != '\n') at++;
        } else if (std::isspace(static_cast<unsigned char>(data[at]))) {
            at++;
        } else {
            break;
        }
    }
    const size_t start = at;
    while (at < data.size() && std::isdigit(static_cast<unsigned char>(data[at]))) at++;
    if (at == start) return false;
    value = std::strtol(data.substr(start, at - start).c_str(), nullptr, 10);
    return true;
}
} // namespace

Rgb Image::mean(int x0, int y0, int x1, int y1) const {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, width), y1 = std::min(y1, height);
    Rgb sum;
    long n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            const Rgb p = at(x, y);
            sum.r += p.r, sum.g += p.g, sum.b += p.b;
            n++;
        }
    if (n == 0) return {};
    return {sum.r / n, sum.g / n, sum.b / n};
}

double Image::share(int x0, int y0, int x1, int y1, const std::function<bool(Rgb)>& test) const {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, width), y1 = std::min(y1, height);
    long hits = 0, n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++, n++)
            if (test(at(x, y))) hits++;
    return n ? double(hits) / n : 0;
}

XSession::~XSession() { stop(); }

void XSession::stop() {
    if (xvfb_ > 0) stop_child(xvfb_, 3000ms);
    xvfb_ = -1;
}

bool XSession::start(int width, int height, std::string& error) {
    // Xvfb chooses a free display number and writes it to the pipe once it accepts clients.
    int fds[2];
    if (pipe(fds) != 0) {
        error = "pipe failed";
        return false;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    const std::string fd = std::to_string(fds[1]);
    xvfb_ = fork();
    if (xvfb_ == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    if (xvfb_ < 0) {
        close(fds[0]);
        error = "fork failed";
        return false;
    }
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (std::chrono::steady_clock::now() < until && number.find('\n') == std::string::npos) {
        if (poll(&p, 1, 200) <= 0) continue;
        char c[16];
        const ssize_t n = read(fds[0], c, sizeof c);
        if (n <= 0) break;
        number.append(c, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        error = "Xvfb did not start";
        return false;
    }
    display_ = ":" + number.substr(0, number.find('\n'));
    width_ = width;
    height_ = height;
    return true;
}

int XSession::run(const std::string& command) const {
    const std::string line = "DISPLAY=" + display_ + " " + command;
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string XSession::output(const std::string& command) const {
    std::string text;
    std::FILE* pipe = popen(("DISPLAY=" + display_ + " " + command).c_str(), "r");
    if (!pipe) return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    return text;
}

Image XSession::screenshot() const {
    Image image;
    const std::string command =
        "DISPLAY=" + display_ + " xwd -root -silent 2>/dev/null | convert xwd:- ppm:- 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return image;
    std::string data;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) data.append(buffer, n);
    pclose(pipe);

    size_t at = 2;
    long w = 0, h = 0, max = 0;
    if (data.compare(0, 2, "P6") != 0 || !pnm_token(data, at, w) || !pnm_token(data, at, h) ||
        !pnm_token(data, at, max) || max != 255)
        return image;
    at++; // the single whitespace byte before the pixels
    const size_t size = static_cast<size_t>(w) * h * 3;
    if (data.size() < at + size) return image;
    image.width = static_cast<int>(w);
    image.height = static_cast<int>(h);
    image.rgb.assign(data.begin() + at, data.begin() + at + size);
    return image;
}

void XSession::key_down(const std::string& name) const { run("xdotool keydown " + name); }
void XSession::key_up(const std::string& name) const { run("xdotool keyup " + name); }

void XSession::key(const std::string& name, int hold_ms, int gap_ms) const {
    key_down(name);
    std::this_thread::sleep_for(std::chrono::milliseconds(hold_ms));
    key_up(name);
    std::this_thread::sleep_for(std::chrono::milliseconds(gap_ms));
}

void Program::stop() {
    if (pid_ > 0) stop_child(pid_, 2000ms);
    pid_ = -1;
}

Program::~Program() {
    stop();
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

bool Program::start(const XSession& x, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment, std::string& error) {
    char dir[] = "/tmp/marrowgleam-e2e-XXXXXX";
    if (!mkdtemp(dir)) {
        error = "cannot make a directory for the program";
        return false;
    }
    directory_ = dir;

    // The environment: ours without anything that would change how the program runs, then
    // the test's settings.
    std::vector<std::string> env;
    for (char** e = environ; *e; e++) {
        const std::string entry = *e;
        if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("SDL", 0) == 0 ||
            entry.rfind("MARROWGLEAM", 0) == 0 || entry.rfind("XDG_CONFIG_HOME=", 0) == 0)
            continue;
        env.push_back(entry);
    }
    // The settings the program remembers go to its own directory: none of the user's are
    // read, and nothing a test's keys choose is left for the next test.
    std::vector<std::string> ours = {"DISPLAY=" + x.display(), "SDL_VIDEODRIVER=x11",
                                     "SDL_AUDIODRIVER=dummy", "SDL12COMPAT_USE_KEYBOARD_LAYOUT=0",
                                     "XDG_CONFIG_HOME=" + directory_ + "/config"};
    for (const auto& entry : environment) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(ours, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    }
    env.insert(env.end(), ours.begin(), ours.end());
    env.insert(env.end(), environment.begin(), environment.end());

    const std::string program = program_path();
    std::vector<std::string> args = {program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string out = directory_ + "/stdout.txt", err = directory_ + "/stderr.txt";
    pid_ = fork();
    if (pid_ == 0) {
        if (chdir(directory_.c_str()) != 0) _exit(126);
        const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(o, 1);
        dup2(e, 2);
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    if (pid_ < 0) {
        error = "fork failed";
        return false;
    }
    return true;
}

bool Program::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
}

bool Program::wait(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string Program::standard_output() const { return read_whole(directory_ + "/stdout.txt"); }
std::string Program::standard_error() const { return read_whole(directory_ + "/stderr.txt"); }

std::string program_path() {
    const std::string path = std::string(MARROWGLEAM_BINARY_DIR) + "/marrowgleam";
    return access(path.c_str(), X_OK) == 0 ? path : "";
}

std::string missing_tools() {
    std::string missing;
    for (const char* tool : {"Xvfb", "xdotool", "xwd", "convert"}) {
        const std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            missing += std::string(missing.empty() ? "" : ", ") + tool;
    }
    return missing;
}

bool wait_for_screen(const XSession& x, std::chrono::milliseconds timeout,
                     const std::function<bool(const Image&)>& test, Image* last) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        Image shot = x.screenshot();
        const bool ok = !shot.empty() && test(shot);
        if (last) *last = std::move(shot);
        if (ok) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(100ms);
    }
}

double stat_value(const std::string& output, const std::string& name) {
    const std::string key = " " + name + "=";
    const size_t at = output.find(key);
    if (at == std::string::npos) return -1;
    return std::strtod(output.c_str() + at + key.size(), nullptr);
}
