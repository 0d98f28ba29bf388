// The view settings and the projection extents of the picture and the text layer.
#include "frontend/view.h"

// FIT and GAME fit fit_x x fit_y to the screen and compare the aspect with 4/3; FILL shows
// 344 picture pixels across (or 288 rows down) and FULL the whole 352 x 288 picture, both
// comparing with 11/9 = 352/288. Computed in extended precision, stored as floats.
void View::update_ortho() {
    const long double a = aspect;
    const float four_thirds = 4.0f / 3.0f;    // 1.3333334
    const float eleven_ninths = 11.0f / 9.0f; // 1.2222222

    if (aspect >= four_thirds) {
        TXT_ortho_x = static_cast<float>(258.0L * a / 2);
        TXT_ortho_y = 129.0f;
    } else {
        TXT_ortho_x = 172.0f;
        TXT_ortho_y = static_cast<float>(344.0L / a / 2);
    }

    switch (fit_mode) {
    case 1: // FILL
        if (aspect >= eleven_ninths) {
            ULA_ortho_x = 172.0f;
            ULA_ortho_y = static_cast<float>(344.0L / a / 2);
        } else {
            ULA_ortho_x = static_cast<float>(288.0L * a / 2);
            ULA_ortho_y = 144.0f;
        }
        break;
    case 3: // FULL
        if (aspect >= eleven_ninths) {
            ULA_ortho_x = static_cast<float>(288.0L * a / 2);
            ULA_ortho_y = 144.0f;
        } else {
            ULA_ortho_x = 176.0f;
            ULA_ortho_y = static_cast<float>(352.0L / a / 2);
        }
        break;
    default: // 0 FIT, 2 GAME
        if (aspect >= four_thirds) {
            ULA_ortho_x = static_cast<float>(static_cast<long double>(fit_y) * a / 2);
            ULA_ortho_y = static_cast<float>(static_cast<long double>(fit_y) / 2);
        } else {
            ULA_ortho_x = static_cast<float>(static_cast<long double>(fit_x) / 2);
            ULA_ortho_y = static_cast<float>(static_cast<long double>(fit_x) / a / 2);
        }
        break;
    }
}

void View::set_screen_size(uint32_t width, uint32_t height) {
    VIDDIMX = width;
    VIDDIMY = height;
    aspect = static_cast<float>(width) / static_cast<float>(height);
    update_ortho();
}
