/* Firmware of the writer's main controller, one build per firmware family.
 *
 * The image is linked at 0x0100; the first 256 bytes of the image hold the vector table
 * (each vector jumps to its twin at 0x0100 + n) and, at 0x00F0, the signature that the
 * image generator writes: "CVFW", image id (16-bit little-endian), version 1, version 2.
 * The firmware answers the identity command from that signature, so what it reports is
 * always what was loaded.
 *
 * The host sends 16-byte command frames through the USB endpoint FIFO; the controller
 * drives the target chip's serial programming port on P1.
 */
#include <stdint.h>

__sfr __at(0x90) P1;
__sbit __at(0x90) TGT_CLK;
__sbit __at(0x91) TGT_DIN;
__sbit __at(0x92) TGT_DOUT;
__sbit __at(0x93) TGT_RST;
__sbit __at(0x94) TGT_VPP;
__sbit __at(0x95) TGT_VLOW; /* 1 selects the low supply voltage */
__sbit __at(0x96) LED_BUSY;
__sbit __at(0x97) LED_FAIL;

/* Two-wire link to the supply controller (this side drives the clock). */
__sbit __at(0xB2) LINK_CLK;
__sbit __at(0xB3) LINK_DATA;

/* USB endpoint FIFO of the writer's controller. */
__xdata __at(0x7F00) volatile uint8_t EP_OUT[64];
__xdata __at(0x7F40) volatile uint8_t EP_IN[64];
__xdata __at(0x7F80) volatile uint8_t EP_OUT_COUNT;
__xdata __at(0x7F81) volatile uint8_t EP_IN_COUNT;
__xdata __at(0x7F82) volatile uint8_t EP_STATUS; /* bit 0 OUT full, bit 1 IN busy */

#ifndef FAMILY
#define FAMILY 1
#endif
#ifndef PULSE_WIDTH
#define PULSE_WIDTH 20
#endif

#define SIGNATURE ((__code const uint8_t*)0x00F0)

static __xdata uint8_t frame[16];
static __xdata uint8_t chunk[128];
static __xdata uint16_t target_code;

static void wait_out(void) {
    while (!(EP_STATUS & 1));
}

static void send(const __xdata uint8_t* src, uint8_t n) {
    uint8_t i;
    while (EP_STATUS & 2);
    for (i = 0; i < n; ++i) EP_IN[i] = src[i];
    EP_IN_COUNT = n;
}

static void send_status(uint8_t s) {
    while (EP_STATUS & 2);
    EP_IN[0] = s;
    EP_IN_COUNT = 1;
}

static void delay(uint8_t n) {
    while (n--) {
        uint8_t k = PULSE_WIDTH;
        while (k--);
    }
}

static uint8_t shift(uint8_t out) {
    uint8_t i, in = 0;
    for (i = 0; i < 8; ++i) {
        TGT_DIN = (out & 0x80) ? 1 : 0;
        out <<= 1;
        TGT_CLK = 1;
        delay(1);
        in = (in << 1) | TGT_DOUT;
        TGT_CLK = 0;
        delay(1);
    }
    return in;
}

static void target_power(uint8_t on, uint8_t low) {
    TGT_VLOW = low;
    TGT_RST = on ? 0 : 1;
    TGT_VPP = on;
    delay(200);
}

static void target_cmd(uint8_t cmd, uint16_t addr) {
    shift(cmd);
    shift(addr >> 8);
    shift(addr);
}

static uint16_t target_id(void) {
    uint16_t id;
    target_cmd(0x30, 0);
    id = shift(0) << 8;
    id |= shift(0);
    return id;
}

static uint8_t target_wait_ready(void) {
    uint16_t tries = 5000;
    while (tries--) {
        target_cmd(0x70, 0);
        if (!(shift(0) & 0x80)) return 1;
    }
    return 0;
}

static uint8_t program_chunk(uint16_t addr) {
    uint8_t i;
    for (i = 0; i < 128; ++i) {
        if (chunk[i] == 0xFF) continue; /* erased flash needs no pulse */
        target_cmd(0x40, addr + i);
        shift(chunk[i]);
        if (!target_wait_ready()) return 0;
    }
    return 1;
}

static uint8_t read_chunk(uint16_t addr, uint8_t verify) {
    uint8_t i, b, ok = 1;
    for (i = 0; i < 128; ++i) {
        target_cmd(0x20, addr + i);
        b = shift(0);
        if (verify) {
            if (b != chunk[i]) ok = 0;
        } else {
            chunk[i] = b;
        }
    }
    return ok;
}

static void receive_chunk(void) {
    uint8_t i, part;
    for (part = 0; part < 2; ++part) {
        wait_out();
        for (i = 0; i < 64; ++i) chunk[part * 64 + i] = EP_OUT[i];
        EP_STATUS = 1;
    }
}

static uint8_t link_byte(uint8_t out) {
    uint8_t i, in = 0;
    for (i = 0; i < 8; ++i) {
        LINK_DATA = (out & 0x80) ? 1 : 0;
        out <<= 1;
        LINK_CLK = 1;
        delay(1);
        in = (in << 1) | LINK_DATA;
        LINK_CLK = 0;
        delay(1);
    }
    LINK_DATA = 1;
    return in;
}

/* Our own image id and versions, then the supply controller's (it answers command 0x10 with
 * its id byte and two version bytes). */
static void identity(void) {
    uint8_t i;
    __xdata uint8_t reply[6];
    reply[0] = SIGNATURE[4];
    reply[1] = SIGNATURE[6];
    reply[2] = SIGNATURE[7];
    link_byte(0x10);
    for (i = 3; i < 6; ++i) reply[i] = link_byte(0xFF);
    link_byte(0xFF); /* its echo of the command */
    send(reply, 6);
}

static void memory(uint8_t sub, uint16_t addr, uint16_t length) {
    uint8_t ok = 1;
    send_status(1);
    while (length && ok) {
        if (sub == 0) {
            receive_chunk();
            ok = program_chunk(addr);
        } else if (sub == 1) {
            ok = read_chunk(addr, 0);
            send(chunk, 64);
            send(chunk + 64, 64);
        } else {
            receive_chunk();
            ok = read_chunk(addr, 1);
        }
        send_status(ok);
        addr += 128;
        length = length > 128 ? length - 128 : 0;
    }
    LED_FAIL = !ok;
}

static void erase(uint16_t code) {
    uint8_t ok;
    target_cmd(0x80, code);
    ok = target_wait_ready();
    send_status(ok);
}

void main(void) {
    uint8_t i, cmd, sub;
    uint16_t p1, p2;

    P1 = 0x08;
    LED_BUSY = 1;
    for (;;) {
        wait_out();
        for (i = 0; i < 16; ++i) frame[i] = EP_OUT[i];
        EP_STATUS = 1;
        cmd = frame[0];
        sub = frame[1];
        p1 = frame[2] | (uint16_t)frame[3] << 8;
        p2 = frame[4] | (uint16_t)frame[5] << 8;
        LED_BUSY = 0;
        switch (cmd) {
        case 0:
            if (sub == 0) {
                identity();
            } else {
                target_power(1, frame[6]);
                target_code = target_id();
                send_status(target_code == p1);
            }
            break;
        case 1:
            target_power(1, frame[6]);
            erase(p1);
            break;
        case 2:
            memory(sub, p1, p2);
            break;
        case 3:
            target_power(0, 0);
            send_status(1);
            break;
        default:
            send_status(0);
            break;
        }
        LED_BUSY = 1;
    }
}
