/* Firmware of the writer's supply controller: sets the target supply and programming
 * voltage on request of the main controller, over a two-wire link on P3.
 *
 * Linked at 0x0100 like the main firmware, with the same 256-byte head: vector table and,
 * at 0x00F0, the signature "CVFW", image id (16-bit little-endian), version 1, version 2.
 */
#include <stdint.h>

__sfr __at(0xB0) P3;
__sbit __at(0xB2) LINK_CLK;
__sbit __at(0xB3) LINK_DATA;
__sfr __at(0x90) P1; /* DAC code for the supply regulator */
__sfr __at(0xA0) P2; /* DAC code for the programming voltage */

#define SIGNATURE ((__code const uint8_t*)0x00F0)

static uint8_t link_read(void) {
    uint8_t i, v = 0;
    for (i = 0; i < 8; ++i) {
        while (!LINK_CLK);
        v = (v << 1) | LINK_DATA;
        while (LINK_CLK);
    }
    return v;
}

static void link_write(uint8_t v) {
    uint8_t i;
    for (i = 0; i < 8; ++i) {
        while (!LINK_CLK);
        LINK_DATA = (v & 0x80) ? 1 : 0;
        v <<= 1;
        while (LINK_CLK);
    }
    LINK_DATA = 1;
}

void main(void) {
    uint8_t cmd;
    P1 = 0;
    P2 = 0;
    for (;;) {
        cmd = link_read();
        switch (cmd) {
        case 0x01: P1 = link_read(); break;
        case 0x02: P2 = link_read(); break;
        case 0x03: P1 = 0; P2 = 0; break;
        case 0x10:
            link_write(SIGNATURE[4]);
            link_write(SIGNATURE[6]);
            link_write(SIGNATURE[7]);
            break;
        default: break;
        }
        link_write(cmd);
    }
}
