// The overlay state and its timed messages.
#include <cstring>

#include "core/surfaces.h"
#include "text/text.h"

int32_t overlay;
int32_t overlay_old;
int32_t overlay_timeout;
uint8_t splashing = 1;

void text_defaults() {
    std::memset(TXT_surface, 0, sizeof TXT_surface);
    TXTINK = 0x0C;
    TXTDUP = 0;
    std::memset(TXTLNBUF, 0, sizeof TXTLNBUF);
    overlay = overlay_old = overlay_timeout = 0;
    splashing = 1;
}
