// The main loop: one CPU step a pass, logical frames of tpf and physical frames of tpfh
// T-states.
#pragma once

// Ends a logical frame: beeper samples, message timer, picture, pulldown, flashctr.
void render_logical_frame();

// Ends a physical frame: the pause loop (F7, F8, Escape), composition and swap, audio
// start, keyboard, control keys, IFBCLK, tstatesh, IFB_buffer.
void render_physical_frame();

// Resets the CPU and the frame and audio state (not memory).
void reset_logical_system();

// Runs the main loop until exit_request ends it at a physical frame boundary.
void main_loop();

// One pass of the main loop's frame checks followed by CPU steps up to the next frame end:
// runs the machine until exit_request or until `physical_frames` physical frames have ended.
// The headless runner and the tests use it; main_loop() is run_physical_frames(forever).
void run_physical_frames(long physical_frames);
