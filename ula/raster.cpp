// The picture: palette and rasteriser.
#include "ula/ula.h"

int32_t screen_mode;
