// Files: program loading, tape traps, channels, the file requester.
#pragma once

#include <cstdio>

// The one file handle that loaders hold open: after a tape load, the tape image,
// positioned at the start of the next unread block.
extern std::FILE* f;
