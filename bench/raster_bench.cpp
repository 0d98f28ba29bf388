// How long the rasteriser takes per logical frame, in each screen mode, over a busy screen
// (random bitmap, every attribute including FLASH and BRIGHT). Prints the median and the
// fastest of several rounds.
#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "frontend/session.h"
#include "host/headless/headless.h"

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int rounds = 9;
    HeadlessHost host;
    const auto session = std::make_unique<Session>(host); // the picture surfaces
    Spectrum& m = session->machine;
    std::mt19937 random(1982);
    uint8_t* bank = m.RAM + 5 * 0x4000;
    for (int i = 0; i < 6912; i++) bank[i] = static_cast<uint8_t>(random());
    m.port_fe = 3;

    const char* names[3] = {"colour", "MELBOURNE", "INVERSE INK"};
    for (int mode = 0; mode < 3; mode++) {
        session->view.screen_mode = mode;
        std::vector<double> us;
        for (int r = 0; r < rounds; r++) {
            const auto start = std::chrono::steady_clock::now();
            for (int f = 0; f < frames; f++) {
                // the three surfaces in turn, as the machine does
                m.rasterize_ULA(session->ULA_surface[f % 3], session->view.screen_mode, true);
                m.flashctr++;
            }
            const std::chrono::duration<double, std::micro> took =
                std::chrono::steady_clock::now() - start;
            us.push_back(took.count() / frames);
        }
        std::sort(us.begin(), us.end());
        std::printf("%-12s %8.1f us/frame median, %8.1f fastest (%d frames x %d rounds)\n",
                    names[mode], us[rounds / 2], us[0], frames, rounds);
    }
    return 0;
}
