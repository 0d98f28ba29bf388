// The emulator's own keys, polled once per physical frame.
#pragma once

void handle_control_keys();
