// Channel snapshots.
// TODO: being written.
#include "files/files.h"

void save_channel(int) {}
void load_channel(int) {}
