// The file requester.
// TODO: being written.
#include "files/files.h"

void do_file_requester() {}
void handle_file_requester() {}
