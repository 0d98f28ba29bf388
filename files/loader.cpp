// Program loading: SNA snapshots and TAP images.
// TODO: being written (snapshot and tape loading).
#include "files/files.h"

std::string getpath(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string getext(const std::string&) { return {}; }
bool load_speccy(const std::string&) { return false; }
