// What the snapshot formats share: the format by name, the start and end of every load,
// and saving through a temporary file.
#include <cstring>

#include "formats/snapshots.h"
#include "spectrum/machine.h"

bool snapshot_format_of(const std::string& name, SnapshotFormat& format) {
    const std::string ext = getext(name);
    if (ext == "SNA") format = SnapshotFormat::SNA;
    else if (ext == "Z80") format = SnapshotFormat::Z80;
    else if (ext == "SZX") format = SnapshotFormat::SZX;
    else return false;
    return true;
}

const char* snapshot_extension(SnapshotFormat format) {
    switch (format) {
    case SnapshotFormat::SNA: return "sna";
    case SnapshotFormat::Z80: return "z80";
    case SnapshotFormat::SZX: return "szx";
    }
    return "szx";
}

void begin_snapshot_load(Spectrum& m, int model, uint8_t paging) {
    // As an SNA load does: the deck is emptied too, not only the image the load trap reads.
    m.detach_tape();
    m.is_snapshot = 1;
    m.model = model;
    m.reset_logical_system();
    m.tpf = m.tpf_for_model();
    m.port_7ffd = paging;
    m.map_slot3(paging & 7);
    m.ay.reset();
}

void finish_snapshot_load(Spectrum& m) {
    m.OUTNEW = m.OUTOLD = m.OUTAGE = (m.port_fe & 0x10) ? 0xFF : 0x00;
    m.OUTSTK.clear();
    std::memcpy(m.RTFB, m.screen_bank(), sizeof m.RTFB);
}

uint8_t r_register(const Spectrum& m) {
    return static_cast<uint8_t>((m.z80.R & 0x7F) | (m.z80.R7 & 0x80));
}

SnapshotImage snapshot_image(const Spectrum& m, SnapshotFormat format) {
    switch (format) {
    case SnapshotFormat::SNA: return sna_image(m);
    case SnapshotFormat::Z80: return z80_image(m);
    case SnapshotFormat::SZX: return szx_image(m);
    }
    return szx_image(m);
}

std::string save_snapshot(const Spectrum& m, const std::string& path, SnapshotFormat format) {
    const SnapshotImage image = snapshot_image(m, format);
    if (!image) return image.why;
    std::string why;
    if (!write_file_atomic(path, image.bytes, &why)) return "cannot write " + path + ": " + why;
    return {};
}
