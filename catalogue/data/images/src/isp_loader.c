/* ISP boot loader carried for insertion at the top of a chip's code space.
 *
 * Built once per image id at the address where insertion places it. On start it sends its
 * banner on the serial port and then serves frames from the host:
 *   cmd addrH addrL n [n data bytes] -> 'E' erase page, 'W' write, 'R' read, 'V' verify,
 *   'G' start the application at 0x0000. Every frame ends with '.' (done), '?' (checksum
 *   mismatch) or '!' (address inside the loader itself).
 * The loader never writes at or above its own base address.
 */
#include <stdint.h>

__sfr __at(0x88) TCON;
__sfr __at(0x89) TMOD;
__sfr __at(0x8D) TH1;
__sfr __at(0x98) SCON;
__sfr __at(0x99) SBUF;
__sbit __at(0x98) RI;
__sbit __at(0x99) TI;
__sbit __at(0x8E) TR1;
/* Flash controller of the CV51 line. */
__sfr __at(0xE9) NVMCTL;
__sfr __at(0xEA) NVMADL;
__sfr __at(0xEB) NVMADH;
__sfr __at(0xEC) NVMDAT;
__sfr __at(0xED) NVMGO;

#define NVM_READ 1
#define NVM_WRITE 2
#define NVM_ERASE 3

#ifndef BAUD_RELOAD
#define BAUD_RELOAD 0xFD
#endif
#ifndef LOADER_BASE
#define LOADER_BASE 0x0C00
#endif
#ifndef BANNER
#define BANNER "CV-ISP"
#endif

static __code const char banner[] = BANNER;

static uint8_t rx(void) {
    while (!RI);
    RI = 0;
    return SBUF;
}

static void tx(uint8_t c) {
    SBUF = c;
    while (!TI);
    TI = 0;
}

static void nvm(uint8_t cmd) {
    NVMCTL = cmd;
    NVMGO = 0x5A; /* two-byte unlock, then the controller runs the command */
    NVMGO = 0xA5;
}

static void next(void) {
    if (++NVMADL == 0) ++NVMADH;
}

void main(void) {
    uint8_t cmd, n, sum, b;
    uint16_t addr;
    __code const char* p;

    TMOD = 0x20;
    TH1 = BAUD_RELOAD;
    TR1 = 1;
    SCON = 0x50;
    for (p = banner; *p; ++p) tx(*p);
    for (;;) {
        cmd = rx();
        addr = rx();
        addr = (addr << 8) | rx();
        n = rx();
        sum = cmd;
        if (cmd == 'G') ((void (*)(void))0)();
        if (addr >= LOADER_BASE || (uint16_t)(LOADER_BASE - addr) < (uint16_t)(n ? n : 256)) {
            tx('!');
            continue;
        }
        NVMADH = addr >> 8;
        NVMADL = addr;
        if (cmd == 'E') {
            nvm(NVM_ERASE);
        } else if (cmd == 'W' || cmd == 'V') {
            uint8_t bad = 0;
            do {
                b = rx();
                sum += b;
                if (cmd == 'W') {
                    NVMDAT = b;
                    nvm(NVM_WRITE);
                } else {
                    nvm(NVM_READ);
                    bad |= NVMDAT ^ b;
                }
                next();
            } while (--n);
            if (rx() != sum || bad) {
                tx('?');
                continue;
            }
        } else if (cmd == 'R') {
            do {
                nvm(NVM_READ);
                b = NVMDAT;
                sum += b;
                tx(b);
                next();
            } while (--n);
            tx(sum);
        }
        tx('.');
    }
}
