// Running the full-screen program for a test: a virtual X display of its own (Xvfb), the
// program started on it, keys pressed through xdotool and screenshots read back as pixels.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct Rgb {
    double r = 0, g = 0, b = 0;
};

// A screenshot, 8 bits a channel, row 0 at the top.
struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;

    bool empty() const { return rgb.empty(); }
    Rgb at(int x, int y) const {
        const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
        return {double(p[0]), double(p[1]), double(p[2])};
    }
    // The mean colour of the pixels x0..x1-1, y0..y1-1 (clipped to the image).
    Rgb mean(int x0, int y0, int x1, int y1) const;
    // The share of the pixels in the rectangle for which `test` holds.
    double share(int x0, int y0, int x1, int y1, const std::function<bool(Rgb)>& test) const;
    bool operator==(const Image& other) const = default;
};

// A virtual screen for one test: Xvfb picks a free display number itself, so tests running
// at the same time never meet. Stopped when the object goes.
class XSession {
  public:
    XSession() = default;
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;
    ~XSession();

    // False, with the reason in `error`, if Xvfb cannot be started.
    bool start(int width, int height, std::string& error);
    // Stops Xvfb now rather than when the object goes.
    void stop();
    const std::string& display() const { return display_; }
    int width() const { return width_; }
    int height() const { return height_; }

    Image screenshot() const;

    // Holds a key (an X key name: "F5", "Home", "Escape", "Return", "b", "Control_L") for
    // `hold_ms`, then lets it go and waits `gap_ms`: a key shorter than a displayed frame
    // could fall between two samples of the keyboard.
    void key(const std::string& name, int hold_ms = 200, int gap_ms = 150) const;
    void key_down(const std::string& name) const;
    void key_up(const std::string& name) const;

    // Runs a shell command with DISPLAY set to this screen; its exit status, or what it
    // printed on standard output.
    int run(const std::string& command) const;
    std::string output(const std::string& command) const;

  private:
    pid_t xvfb_ = -1;
    std::string display_;
    int width_ = 0, height_ = 0;
};

// The full-screen program on an XSession, its output in files of a directory of its own.
class Program {
  public:
    Program() = default;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program(); // kills a program still running

    // Starts the program with SDL on X11, the dummy audio driver unless `environment` names
    // another, the keyboard mapped by position; `environment` adds NAME=VALUE entries.
    bool start(const XSession& x, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment, std::string& error);

    // Waits up to `timeout` for the program to end; false if it is still running.
    bool wait(std::chrono::milliseconds timeout);
    bool running();
    // Kills the program if it is still running.
    void stop();
    // The exit status (as the shell shows it, 0..255), or -1 if it ended by a signal.
    int status() const { return status_; }

    std::string standard_output() const;
    std::string standard_error() const;
    // The directory the program runs in (its current directory), for files it should write.
    const std::string& directory() const { return directory_; }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string directory_;
};

// The path of the full-screen program; empty if it has not been built.
std::string program_path();

// Why end-to-end tests cannot run here (no Xvfb, xdotool, xwd or convert), or empty.
std::string missing_tools();

// Polls `test` on screenshots until it holds or `timeout` passes; the last screenshot in
// `last`. True if it held.
bool wait_for_screen(const XSession& x, std::chrono::milliseconds timeout,
                     const std::function<bool(const Image&)>& test, Image* last = nullptr);

// "name=value" pairs of the program's statistics line on standard error; -1 where absent.
double stat_value(const std::string& output, const std::string& name);
