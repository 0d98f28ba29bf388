// The main loop: one CPU step a pass, logical frames of tpf and physical frames of tpfh
// T-states.
#pragma once

#include <cstdint>

// Ends a logical frame: beeper samples, message timer, picture, pulldown, flashctr.
void render_logical_frame();

// Ends a physical frame: the pause loop (F7, F8, Escape), composition and swap, audio
// start, keyboard, control keys, IFBCLK, tstatesh, IFB_buffer.
void render_physical_frame();

// Resets the CPU and the frame and audio state (not memory).
void reset_logical_system();

// Frames ended since load (statistics: the runner, the tests, the pacing report).
extern uint64_t logical_frames;
extern uint64_t physical_frames;

// Runs the main loop until exit_request ends it at a physical frame boundary.
void main_loop();

// The main loop, returning also as soon as logical_frames reaches `logical_frame_limit`
// (right after that frame end; calling it again continues exactly where it stopped).
// False once exit_request has ended the run.
bool run_machine(uint64_t logical_frame_limit);
