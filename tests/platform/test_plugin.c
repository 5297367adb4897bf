/* A pad plug-in for tests: reports the y axis at -1 (up) and button 2. */
#include <stdint.h>
#include <string.h>

unsigned char GetInput(void* reading) {
    int32_t axes[2] = {0, -1};
    unsigned char buttons[8] = {0, 0, 1, 0, 0, 0, 0, 0};
    memcpy(reading, axes, sizeof axes);
    memcpy((char*)reading + 8, buttons, sizeof buttons);
    return 1;
}
