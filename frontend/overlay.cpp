// The overlay state and its timed messages on row 23, and the start-up title.
#include <cstring>

#include "frontend/text_layer.h"

void TextLayer::post_message(const char* text, bool remember) {
    TXTCLSLN(MESSAGE_ROW, 1);
    TXTSTR(0, MESSAGE_ROW, text);
    // A message posted while another runs keeps the state the first one saved, so the
    // state from before the first message comes back when the last one expires.
    if (overlay_timeout == 0 && remember) overlay_old = overlay;
    overlay_timeout = MESSAGE_FRAMES;
}

void TextLayer::overlay_tick() {
    if (overlay_timeout == 0) return;
    overlay = 1;
    if (--overlay_timeout != 0) return;
    overlay = overlay_old;
    // The title goes with the first message period that ends, together with anything
    // posted over it meanwhile.
    if (splashing) {
        TXTCLS();
        splashing = 0;
    }
}

void TextLayer::splash() {
    // The band: each cell takes as background the ink of the cell to its left, running from
    // black through bright red, yellow, green and cyan back to black.
    static const uint8_t band[] = {0x8A, 0xAE, 0xEC, 0xCD, 0xD8};
    TXTCLS();
    TXTINK = 0x8F;
    TXTSTR(0, 1, " MARROWGLEAM B11                  ");
    int column = 34;
    for (uint8_t colour : band) {
        TXTINK = colour;
        TXTSTR(column++, 1, "\x01");
    }
    TXTINK = 0x88;
    TXTSTR(39, 1, " ");
}

std::string message_with_reason(const std::string& head, const std::string& reason) {
    std::string text = head + reason + " ";
    if (text.size() <= TEXT_COLUMNS) return text;
    text.resize(TEXT_COLUMNS);
    const auto space = text.rfind(' ', TEXT_COLUMNS - 1);
    if (space != std::string::npos && space >= head.size()) text.resize(space + 1);
    return text;
}
