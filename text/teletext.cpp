// The text engine.
#include "text/text.h"

uint8_t CHR[CHR_SIZE];
uint8_t TXTINK = 0x0C;
uint8_t TXTDUP;
char TXTLNBUF[48];
