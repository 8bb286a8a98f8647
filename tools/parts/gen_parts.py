#!/usr/bin/env python3
"""Writes catalogue/data/parts/NNNN.txt, one record per part, from the chip table below.

Deterministic: the same table always gives the same files. Run it from anywhere:
    python3 tools/parts/gen_parts.py
It checks its own output before writing (field overlaps, list rules, and that applying a
part and composing its option panel gives back the default option bytes).
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
OUT = os.path.join(ROOT, "catalogue", "data", "parts")

# Lengths of the carried ISP boot codes, by id. The image generator reads this table too.
ISP_CODE_COUNT = 39
ISP_CODE_MIN = 606
ISP_CODE_MAX = 2022


def isp_code_length(code_id):
    return ISP_CODE_MIN + (code_id * (ISP_CODE_MAX - ISP_CODE_MIN)) // (ISP_CODE_COUNT - 1)


# Option bit names with their English and Chinese descriptions (a ticked box clears the bit).
BITS = {
    "AUX_RAM": ("Enable the on-chip auxiliary RAM", "使能片内辅助RAM"),
    "BO0REO": ("Brown-out detector 0 causes a reset", "掉电检测器0触发复位"),
    "BO1REO": ("Brown-out detector 1 causes a reset", "掉电检测器1触发复位"),
    "BO1S0O": ("Brown-out detector 1 level select, bit 0", "掉电检测器1电压选择位0"),
    "BO1S1O": ("Brown-out detector 1 level select, bit 1", "掉电检测器1电压选择位1"),
    "BODRE": ("Reset on brown-out", "掉电复位使能"),
    "BODWP": ("Write-protect the flash on brown-out", "掉电时闪存写保护"),
    "EN6T": ("Six clocks per machine cycle (double speed)", "每机器周期6时钟（倍速）"),
    "ENLVR": ("Enable the low-voltage reset", "使能低电压复位"),
    "ENLVRC": ("Keep the low-voltage reset on in power-down mode", "掉电模式下保持低电压复位"),
    "ENLVRO": ("Drive the reset pin on a low-voltage reset", "低电压复位时驱动复位引脚"),
    "ENROSC": ("Run from the internal RC oscillator", "使用内部RC振荡器"),
    "FZWDTCR": ("Freeze the watchdog settings after start-up", "启动后冻结看门狗设置"),
    "HWBS": ("Start from the ISP code after power-on", "上电后从ISP代码启动"),
    "HWBS2": ("Start from the ISP code after any reset", "任何复位后从ISP代码启动"),
    "HWENW": ("Start the watchdog by hardware after power-on", "上电后由硬件启动看门狗"),
    "LOCK": ("Lock Device", "设备数据加锁"),
    "LVFWP": ("Write-protect the flash at low voltage", "低电压时闪存写保护"),
    "MOVCL": ("Block MOVC reads across the ISP boundary", "禁止跨越ISP边界的MOVC读取"),
    "NSWDT": ("Keep the watchdog running in idle mode", "空闲模式下看门狗继续运行"),
    "OSCDN": ("Lower the crystal amplifier gain", "降低晶振放大器增益"),
    "P40IOE": ("Use P4.0 as a general I/O pin", "P4.0用作通用I/O引脚"),
    "P41IOE": ("Use P4.1 as a general I/O pin", "P4.1用作通用I/O引脚"),
    "SB": ("Scramble the code read back from the chip", "读出的代码加扰"),
    "WDSFWP": ("Write-protect the watchdog control register", "看门狗控制寄存器写保护"),
    "WDTRCO": ("Clock the watchdog from its own RC oscillator", "看门狗使用独立RC振荡器时钟"),
    "WRENO": ("Allow the application to write the option bytes", "允许应用程序改写选项字节"),
}

OSC_LONG = "eXternal,0|6MHz,1|11.0592MHz,3|12MHz,4|22.1184MHz,6|24MHz,7|24.576MHz,8"
OSC_SHORT = "eXternal,0|6MHz,1|11.0592MHz,3|12MHz,4"
PSX_DIV2 = "F/2,0|F/4,1|F/8,2|F/16,3|F/32,4|F/64,5|F/128,6|F/256,7"
PSX_DIV1 = "F/1,0|F/2,1|F/4,2|F/8,3|F/16,4|F/32,5|F/64,6|F/128,7"

K = 1024


def isp_list(*kbytes):
    entries = ["None,0"]
    for kb in kbytes:
        size = int(kb * K)
        label = ("%g" % kb) + "K"
        entries.append("%s,0x%X" % (label, size))
    return "|".join(entries)


ISP_1_2_3 = isp_list(1, 2, 3)
ISP_1_2_4 = isp_list(1, 2, 4)
ISP_E0_5 = isp_list(1, 2, 3, 4)
ISP_E0_6 = isp_list(1, 1.5, 2, 3, 4)
ISP_E0_8 = isp_list(1, 2, 3, 4, 5, 6, 8)
ISP_E2_16 = isp_list(*[x / 2 for x in range(1, 16)])  # 0.5K to 7.5K

# Option-byte layouts. Each gives the field locations and the option bits it can offer, in
# check-box order; a chip takes a subset of the bits (always the boot bits and HWENW).
LAYOUTS = {
    # Two bytes, no IAP, no watchdog group.
    "L2": dict(isp="0|0x30", iap=None, hw=False, boot=["HWBS"], bits=[
        ("LOCK", 0, 0x01), ("MOVCL", 0, 0x02), ("EN6T", 0, 0x04), ("HWBS", 0, 0x08),
        ("ENLVR", 0, 0x40), ("SB", 0, 0x80), ("NSWDT", 1, 0x01), ("WDTRCO", 1, 0x02),
        ("FZWDTCR", 1, 0x04), ("OSCDN", 1, 0x10), ("P40IOE", 1, 0x80)]),
    # Three bytes, no IAP, no watchdog group (older chips).
    "L3N": dict(isp="0|0x30", iap=None, hw=False, boot=["HWBS"], bits=[
        ("LOCK", 0, 0x01), ("MOVCL", 0, 0x02), ("HWBS", 0, 0x08), ("EN6T", 0, 0x40),
        ("ENLVR", 1, 0x01), ("BODRE", 1, 0x04), ("OSCDN", 1, 0x10), ("WDTRCO", 2, 0x01),
        ("NSWDT", 2, 0x02), ("P40IOE", 2, 0x04), ("P41IOE", 2, 0x08)]),
    # Three bytes, no IAP, watchdog group in byte 2.
    "L3": dict(isp="0|0x30", iap=None, hw=True, boot=["HWBS"], bits=[
        ("LOCK", 0, 0x01), ("MOVCL", 0, 0x02), ("HWBS", 0, 0x08), ("EN6T", 0, 0x40),
        ("ENLVR", 1, 0x01), ("BODRE", 1, 0x04), ("NSWDT", 1, 0x10), ("P40IOE", 1, 0x80),
        ("HWENW", 2, 0x20), ("WDSFWP", 2, 0x10), ("WDTRCO", 2, 0x40)]),
    # Four bytes, 8-bit IAP page in byte 3.
    "L4": dict(isp="0|0xE0", iap="3|0xFF", hw=True, boot=["HWBS", "HWBS2"], bits=[
        ("LOCK", 0, 0x01), ("MOVCL", 0, 0x02), ("SB", 0, 0x04), ("HWBS", 0, 0x08),
        ("HWBS2", 0, 0x10), ("ENLVR", 1, 0x01), ("BODRE", 1, 0x04), ("ENLVRO", 1, 0x10),
        ("P41IOE", 1, 0x80), ("HWENW", 2, 0x20), ("NSWDT", 2, 0x10), ("FZWDTCR", 2, 0x40),
        ("WDTRCO", 2, 0x80)]),
    # Five bytes, 16 ISP sizes, 12-bit IAP page over bytes 3 and 4.
    "L5": dict(isp="0|0xE2", iap="3|0x0FFF", hw=True, boot=["HWBS", "HWBS2"], bits=[
        ("LOCK", 0, 0x01), ("SB", 0, 0x04), ("HWBS", 0, 0x08), ("ENLVR", 1, 0x01),
        ("HWBS2", 1, 0x20), ("ENLVRC", 1, 0x04), ("BO0REO", 1, 0x10), ("BO1REO", 1, 0x80),
        ("HWENW", 2, 0x20), ("NSWDT", 2, 0x10), ("EN6T", 2, 0x40), ("MOVCL", 4, 0x10),
        ("BO1S0O", 4, 0x40), ("BO1S1O", 4, 0x80)]),
    # Six to nine bytes, 12-bit IAP page over bytes 4 and 5; room for every oscillator variant.
    "L6": dict(isp="0|0xE0", iap="4|0x0FFF", hw=True, boot=["HWBS", "HWBS2"], bits=[
        ("LOCK", 0, 0x04), ("HWBS", 0, 0x08), ("HWBS2", 0, 0x10), ("ENLVR", 1, 0x01),
        ("BODRE", 1, 0x04), ("LVFWP", 1, 0x10), ("BODWP", 1, 0x80), ("HWENW", 2, 0x20),
        ("NSWDT", 2, 0x10), ("WDSFWP", 2, 0x40), ("FZWDTCR", 2, 0x80), ("P40IOE", 3, 0x02),
        ("P41IOE", 3, 0x04), ("ENROSC", 3, 0x10), ("OSCDN", 5, 0x10), ("ENLVRO", 5, 0x20),
        ("AUX_RAM", 6, 0x01), ("WRENO", 7, 0x01), ("EN6T", 8, 0x01)]),
    # 64 bytes (only bytes 0-6 carry hardware options), 16 ISP sizes, IAP in even pages.
    "L64": dict(isp="0|0xE2", iap="3|0xFE", hw=True, boot=["HWBS", "HWBS2"], bits=[
        ("LOCK", 0, 0x01), ("HWBS", 0, 0x08), ("HWBS2", 0, 0x10), ("ENLVR", 1, 0x01),
        ("BODRE", 1, 0x04), ("LVFWP", 1, 0x10), ("HWENW", 2, 0x20), ("NSWDT", 2, 0x10),
        ("WDSFWP", 2, 0x40), ("P40IOE", 4, 0x01), ("P41IOE", 4, 0x02), ("AUX_RAM", 4, 0x04),
        ("WRENO", 5, 0x01), ("BO1S0O", 5, 0x02), ("BO1S1O", 5, 0x04), ("MOVCL", 6, 0x01),
        ("SB", 6, 0x02), ("WDTRCO", 6, 0x04)]),
}

# Bits each oscillator variant writes, per byte (compose also sets bit 0 of byte 3 for 3 and 4).
OSC_BITS = {1: {1: 0x62}, 2: {1: 0x62}, 3: {0: 0x03, 1: 0x08, 3: 0x01}, 4: {1: 0x08, 3: 0x01}}


class Chip:
    def __init__(self, idx, series, name, code, layout, isp, nbits, family=None,
                 osc=None, osc_default=None, variant=None, psx=PSX_DIV2, count=None,
                 isp_pos=0, iap_pos=0, on=(), max_load=None, device=None, sibling=None,
                 prefer=()):
        self.idx, self.series, self.name, self.code = idx, series, name, code
        self.layout, self.isp, self.nbits, self.family = layout, isp, nbits, family
        self.osc, self.osc_default, self.variant, self.psx = osc, osc_default, variant, psx
        self.count, self.isp_pos, self.iap_pos, self.on = count, isp_pos, iap_pos, on
        self.max_load, self.device, self.sibling = max_load, device, sibling
        self.prefer = prefer


# One row per chip; `sibling` is the index of its low-voltage twin (n + 128 or n + 2048).
CHIPS = [
    # Series 0: the small general-purpose line.
    Chip(1, 0, "CV51A04", 0x1000, "L2", ISP_1_2_3, 7, sibling=129, on=("ENLVR",), device=0x5104),
    Chip(2, 0, "CV51A08", 0x2000, "L2", ISP_1_2_4, 8, sibling=130, on=("ENLVR",), device=0x5108),
    Chip(3, 0, "CV51A16", 0x4000, "L3", ISP_1_2_4, 8, variant=1, sibling=131, device=0x5116),
    Chip(4, 0, "CV51A32", 0x8000, "L3", ISP_1_2_4, 9, variant=2, psx=PSX_DIV1, sibling=132,
         isp_pos=3, device=0x5132),
    Chip(5, 0, "CV51A48", 0xC000, "L4", ISP_E0_5, 9, sibling=133, iap_pos=4, device=0x5148),
    Chip(6, 0, "CV51A62", 0xF800, "L4", ISP_E0_5, 10, sibling=134, isp_pos=2, device=0x5162),
    Chip(7, 0, "CV51A64", 0x10000, "L4", ISP_E0_8, 11, family=1, sibling=135,
         max_load=0xF800, device=0x5164),
    Chip(8, 0, "CV51A56", 0xE000, "L4", ISP_E0_6, 10, family=1, sibling=136, iap_pos=8,
         on=("ENLVR",), device=0x5156),
    # Series 1: watchdog group, larger parts with fine ISP steps.
    Chip(9, 1, "CV51B04", 0x1000, "L3", ISP_1_2_3, 6, family=2, device=0x5204),
    Chip(10, 1, "CV51B08", 0x2000, "L3", ISP_1_2_4, 7, family=2, psx=PSX_DIV1, device=0x5208),
    Chip(11, 1, "CV51B16", 0x4000, "L3", ISP_1_2_4, 8, family=2, isp_pos=1, device=0x5216),
    Chip(12, 1, "CV51B20", 0x5000, "L3", ISP_1_2_4, 9, family=2, sibling=140, device=0x5220),
    Chip(13, 1, "CV51B24", 0x6000, "L3", ISP_1_2_4, 10, family=2, sibling=141, psx=PSX_DIV1,
         device=0x5224),
    Chip(14, 1, "CV51B28", 0x7000, "L3", ISP_1_2_4, 11, family=2, sibling=142, on=("ENLVR",),
         device=0x5228),
    Chip(15, 1, "CV51B32", 0x8000, "L5", ISP_E2_16, 10, family=2, sibling=143, isp_pos=8,
         iap_pos=6, device=0x5232),
    Chip(16, 1, "CV51B64", 0x10000, "L5", ISP_E2_16, 11, family=2, sibling=144,
         max_load=0xFC00, device=0x5264, prefer=("BO1S0O", "BO1S1O")),
    # Series 2: trimmed RC oscillator (variant 1) on four of its chips.
    Chip(30, 2, "CV51C16", 0x4000, "L4", ISP_E0_5, 8, family=3, variant=1, sibling=158,
         device=0x5316),
    Chip(34, 2, "CV51C32", 0x8000, "L4", ISP_E0_6, 9, family=3, variant=1, sibling=162,
         iap_pos=2, device=0x5332),
    Chip(42, 2, "CV51C16R", 0x4000, "L4", ISP_E0_5, 9, family=3, variant=1, osc=OSC_LONG,
         osc_default=6, sibling=170, device=0x5336),
    Chip(43, 2, "CV51C32R", 0x8000, "L4", ISP_E0_6, 10, family=3, variant=1, osc=OSC_LONG,
         osc_default=6, sibling=171, isp_pos=4, device=0x5352),
    Chip(44, 2, "CV51C48R", 0xC000, "L4", ISP_E0_8, 10, family=3, variant=1, osc=OSC_LONG,
         sibling=172, psx=PSX_DIV1, device=0x5368),
    Chip(45, 2, "CV51C64R", 0x10000, "L4", ISP_E0_8, 11, family=3, variant=1, osc=OSC_LONG,
         sibling=173, iap_pos=16, device=0x5384),
    Chip(46, 2, "CV51C48", 0xC000, "L4", ISP_E0_8, 11, family=3, variant=1, sibling=174,
         device=0x5348, prefer=("FZWDTCR", "WDTRCO")),
    Chip(47, 2, "CV51C64", 0x10000, "L4", ISP_E0_8, 11, family=3, variant=1, sibling=175,
         max_load=0xF000, device=0x5364),
    # Series 3: wide option blocks, every oscillator variant.
    Chip(49, 3, "CV51D16", 0x4000, "L6", ISP_E0_5, 8, family=4, variant=2, osc=OSC_SHORT,
         osc_default=4, count=6, sibling=177, device=0x5416),
    Chip(51, 3, "CV51D32", 0x8000, "L6", ISP_E0_6, 9, family=4, variant=2, osc=OSC_SHORT,
         count=7, sibling=179, iap_pos=4, device=0x5432),
    Chip(57, 3, "CV51D48", 0xC000, "L6", ISP_E0_8, 10, family=4, variant=2, count=8,
         sibling=185, psx=PSX_DIV1, device=0x5448),
    Chip(59, 3, "CV51D64", 0x10000, "L6", ISP_E0_8, 11, family=4, variant=2, count=9,
         sibling=187, isp_pos=3, device=0x5464, prefer=("AUX_RAM", "WRENO")),
    Chip(110, 3, "CV51D32T", 0x8000, "L6", ISP_E0_6, 9, family=4, variant=3, count=6,
         sibling=238, device=0x5433),
    Chip(126, 3, "CV51D64T", 0x10000, "L64", ISP_E2_16, 10, family=4, variant=4,
         sibling=254, device=0x5465, prefer=("BO1S0O", "BO1S1O", "SB")),
    Chip(149, 3, "CV51D16T", 0x4000, "L6", ISP_E0_5, 8, family=8, variant=3, osc=OSC_SHORT,
         osc_default=4, count=7, device=0x5417),
    Chip(157, 3, "CV51D48T", 0xC000, "L6", ISP_E0_8, 11, family=8, variant=4, count=9,
         iap_pos=10, device=0x5449, prefer=("ENROSC", "WRENO", "EN6T", "AUX_RAM")),
    # Series 4: the legacy line, listed last.
    Chip(201, 4, "CV51E02", 0x1000, "L2", ISP_1_2_3, 6, family=5, device=0x5002),
    Chip(202, 4, "CV51E04", 0x1000, "L2", ISP_1_2_4, 6, family=5, on=("ENLVR",),
         device=0x5004),
    Chip(203, 4, "CV51E08", 0x2000, "L2", ISP_1_2_4, 7, family=5, device=0x5008),
    Chip(204, 4, "CV51E15", 0x3C00, "L2", ISP_1_2_4, 7, family=5, device=0x5015),
    Chip(205, 4, "CV51E16", 0x4000, "L2", ISP_1_2_4, 8, family=5, device=0x5016),
    Chip(206, 4, "CV51E20", 0x5000, "L3N", ISP_1_2_4, 8, family=5, device=0x5020),
    Chip(207, 4, "CV51E24", 0x6000, "L3N", ISP_1_2_4, 9, family=5, device=0x5024),
    Chip(208, 4, "CV51E28", 0x7000, "L3N", ISP_1_2_4, 9, family=5, device=0x5028),
    Chip(209, 4, "CV51E32", 0x8000, "L3N", ISP_1_2_4, 10, family=5, isp_pos=2, device=0x5032),
    Chip(210, 4, "CV51E40", 0xA000, "L3N", ISP_1_2_4, 10, family=5, device=0x5040),
    Chip(211, 4, "CV51E64", 0x10000, "L3N", ISP_1_2_4, 11, family=5, max_load=0x6A00,
         device=0x5064),
    Chip(212, 4, "CV51E62", 0xF800, "L3N", ISP_1_2_4, 11, family=5, device=0x5062),
    Chip(213, 4, "CV51E32W", 0x8000, "L3", ISP_1_2_4, 9, family=5, variant=1, device=0x5033),
    # Series 5 and 6: the 64-byte option block with an ID area.
    Chip(286, 5, "CV52E32", 0x8000, "L64", ISP_E2_16, 9, family=6, variant=4, osc=OSC_LONG,
         osc_default=6, sibling=2334, isp_pos=8, device=0x5A32),
    Chip(304, 5, "CV52E64", 0x10000, "L64", ISP_E2_16, 10, family=6, variant=4, osc=OSC_LONG,
         osc_default=6, sibling=2352, psx=PSX_DIV1, device=0x5A64),
    Chip(305, 6, "CV52F32", 0x8000, "L64", ISP_E2_16, 11, family=7, variant=4, osc=OSC_LONG,
         sibling=2353, iap_pos=6, device=0x5B32),
    Chip(306, 6, "CV52F64", 0x10000, "L64", ISP_E2_16, 11, family=7, variant=4, osc=OSC_LONG,
         sibling=2354, isp_pos=15, iap_pos=3, device=0x5B64,
         prefer=("AUX_RAM", "WRENO", "MOVCL")),
]


def parse_choices(text):
    out = []
    for entry in [e for e in text.split("|") if e]:
        label, value = entry.split(",")
        out.append((label, int(value, 0)))
    return out


def parse_field(text):
    a, b = text.split("|")
    return int(a, 0), int(b, 0)


def get_word(b, i):
    return b[i] | b[i + 1] << 8 | b[i + 2] << 16 | b[i + 3] << 24


def put_word(b, i, w):
    for k in range(4):
        b[i + k] = (w >> (8 * k)) & 0xFF


def put_field(b, field, value):
    i, mask = field
    w = get_word(b, i)
    put_word(b, i, (w & ~mask) | (value & mask))


def shift_of(mask):
    return (mask & -mask).bit_length() - 1


# --- the option panel rules, as the program runs them -------------------------------------


def isp_position(b, field):
    i, mask = field
    w = get_word(b, i)
    if mask == 0xE2:
        return 15 - (((w >> 5) & 7) + 8 * ((w >> 1) & 1))
    return ((~w) & mask) >> shift_of(mask)


def compose_isp(b, field, pos):
    i, mask = field
    if mask == 0xE2:
        low = ((~(pos << 5)) & 0xE0) | (b[i] & 0x1D)
        if pos < 8:
            low |= 0x02
        b[i] = low & 0xFF
    else:
        put_field(b, field, (~pos << shift_of(mask)) & mask)


def iap_entries(limit, isp_size, mask):
    entries = [("None", 0)]
    L = limit - isp_size
    k, s = 1, 512
    while s <= L:
        if not (mask == 0xFE and L == 0x10000 and s == 512):
            entries.append(("%.1f K" % (k * 0.5), s))
        k += 1
        s += 512
    return entries


def iap_position(b, field, code, isp_size, limit):
    i, mask = field
    a = get_word(b, i)
    if mask == 0xFE and (a & 0xFE) == 0xFE:
        by = 0
    elif mask == 0xFE:
        by = code - isp_size - ((a & 0xFF) >> 1) * 512
    else:
        by = code - isp_size - (a & mask) * 256
    pos = by >> 9
    if mask == 0xFE and limit - isp_size == 0x10000 and pos > 0:
        pos -= 1
    return pos


def compose_iap(b, field, code, isp_size, pos):
    i, mask = field
    r = code - isp_size
    if mask == 0xFE:
        if r == 0x10000:
            r = 0x10000 if pos == 0 else 0xFE00 - pos * 512
        else:
            r = r - pos * 512
        page = r >> 8
        if page == 256:
            page = 255
    else:
        page = (r - pos * 512) >> 8
        if mask <= 0xFF and page == 256:
            page = 255
    put_field(b, field, page & mask)


def apply_osc(b, variant, o):
    if variant == 1:
        b[1] = (b[1] & 0xDF) | 0x42 if o == 0 else (b[1] & 0xBD) | 0x20
    elif variant == 2:
        b[1] = b[1] | 0x62 if o == 0 else (b[1] & 0xBD) | 0x20
    elif variant == 3:
        if o == 0:
            b[1] |= 0x08
            b[0] |= 0x03
        else:
            b[1] &= 0xF7
            b[0] = (b[0] & 0xFD) | 0x01
    elif variant == 4:
        b[1] = b[1] | 0x08 if o == 0 else b[1] & 0xF7


# --- building one chip --------------------------------------------------------------------


class Record:
    pass


def build(chip, index, low_voltage):
    lay = LAYOUTS[chip.layout]
    count = chip.count or {"L2": 2, "L3N": 3, "L3": 3, "L4": 4, "L5": 5, "L64": 64}[chip.layout]
    if chip.variant in (3, 4):
        assert count >= 4, chip.name
    # Bits the chip offers: the boot bits and HWENW always, then the layout's order.
    wanted = set(lay["boot"]) | ({"HWENW"} if lay["hw"] else set()) | set(chip.prefer)
    limit = 7 if count == 64 else count
    offered = [bit for bit in lay["bits"] if bit[1] < limit]
    for bit in offered:
        if len(wanted) >= chip.nbits:
            break
        wanted.add(bit[0])
    bits = [bit for bit in offered if bit[0] in wanted]
    assert len(bits) == chip.nbits, (chip.name, len(bits))

    r = Record()
    r.index = index
    r.chip = chip
    r.count = count
    r.isp_loc = parse_field(lay["isp"])
    r.isp = parse_choices(chip.isp)
    r.iap_loc = parse_field(lay["iap"]) if lay["iap"] else None
    r.hw = lay["hw"]
    r.bits = bits
    r.boot = [(b[1], b[2]) for b in bits if b[0] in lay["boot"]]

    # Default option bytes: erased, then the chip's defaults written the way the panel would.
    b = bytearray([0xFF] * 260)
    for name, byte, mask in bits:
        if name in chip.on:
            b[byte] &= ~mask & 0xFF
    compose_isp(b, r.isp_loc, chip.isp_pos)
    isp_size = r.isp[chip.isp_pos][1]
    if r.iap_loc:
        entries = iap_entries(chip.code, isp_size, r.iap_loc[1])
        assert chip.iap_pos < len(entries), chip.name
        compose_iap(b, r.iap_loc, chip.code, isp_size, chip.iap_pos)
    if chip.variant and chip.osc:
        apply_osc(b, chip.variant, chip.osc_default or 0)
    # The 64-byte parts list only their seven hardware bytes; the rest stay erased.
    r.defaults = list(b[: 7 if count == 64 else count])

    name = chip.name + ("L" if low_voltage else "")
    lines = [("0x0000", name)]
    size = "0x%X" % chip.code
    if chip.max_load:
        size += "|0x%X" % chip.max_load
    lines += [("0x0001", size), ("0x0002", str(count)),
              ("0x000F", ",".join("0x%02x" % x for x in r.defaults)),
              ("0x0003", "1"), ("0x0004", lay["isp"]), ("0x0005", chip.isp)]
    if r.iap_loc:
        lines += [("0x0006", "1"), ("0x0007", lay["iap"]), ("0x0008", "0x%X" % chip.code)]
    r.lines = lines
    r.name = name
    return r


def finish(r, isp_code_id):
    chip = r.chip
    lines = list(r.lines)
    lines.append(("0x0009", "0x%04X" % isp_code_id))
    if chip.family:
        lines.append(("0x000A", str(chip.family)))
    lines.append(("0x000C", ",".join("%d|0x%02X" % field for field in r.boot)))
    if chip.osc:
        lines += [("0x000D", "1"), ("0x000E", chip.osc)]
    if r.hw:
        lines += [("0x0010", "1"), ("0x0011", "2|0x20"), ("0x0012", "2|0x08"),
                  ("0x0013", "2|0x07"), ("0x0014", chip.psx)]
    lines.append(("0x0015", str(chip.series)))
    load = 0
    if r.iap_loc:
        load = chip.code // 2
    lines.append(("0x0016", "0x%X" % load if load else "0"))
    lines.append(("0x0017", "0x%04X" % chip.device))
    if chip.osc_default:
        lines.append(("0x0018", str(chip.osc_default)))
    if r.count == 64:
        lines.append(("0x0019", "0"))
    for slot, (name, byte, mask) in enumerate(r.bits):
        en, zh = BITS[name]
        lines.append(("0x%04X" % (0x100 + slot), "%d|0x%02X|%s|%s|%s" % (byte, mask, name, en, zh)))
    if chip.variant:
        lines.append(("0x0F00", str(chip.variant)))
    return lines


# --- self-check: disjoint fields and a clean round trip -----------------------------------


def field_bits(r):
    """(owner, byte, mask) for every bit a control writes."""
    out = []
    i, m = r.isp_loc
    for k in range(4):
        if (m >> (8 * k)) & 0xFF:
            out.append(("ISP", i + k, (m >> (8 * k)) & 0xFF))
    if r.iap_loc:
        i, m = r.iap_loc
        for k in range(4):
            if (m >> (8 * k)) & 0xFF:
                out.append(("IAP", i + k, (m >> (8 * k)) & 0xFF))
    if r.hw:
        out += [("HWWIDL", 2, 0x08), ("HWPSx", 2, 0x07)]
    for name, byte, mask in r.bits:
        out.append((name, byte, mask))
    if r.chip.variant:
        for byte, mask in OSC_BITS[r.chip.variant].items():
            if r.chip.osc or r.chip.variant in (3, 4) and byte == 3:
                out.append(("OSC", byte, mask))
    return out


def check(r):
    chip = r.chip
    seen = {}
    for owner, byte, mask in field_bits(r):
        assert byte < r.count, (chip.name, owner, byte)
        for bit in range(8):
            if mask & (1 << bit):
                key = (byte, bit)
                assert key not in seen, (chip.name, owner, seen.get(key), key)
                seen[key] = owner
    if r.hw:
        assert any(n == "HWENW" and b == 2 and m == 0x20 for n, b, m in r.bits), chip.name
    # ISP list: None first, ascending multiples of 0.5K, largest fits every code here.
    assert r.isp[0] == ("None", 0)
    sizes = [v for _, v in r.isp]
    assert all(s % 512 == 0 for s in sizes) and sizes == sorted(set(sizes))
    positions = {0x30: 4, 0xE0: 8, 0xE2: 16}[r.isp_loc[1]]
    assert 4 <= len(sizes) <= positions, chip.name
    if r.isp_loc[1] == 0xE2:
        assert len(sizes) == 16
    # Round trip: apply the part, then compose the panel.
    b = bytearray([0xFF] * 260)
    b[: len(r.defaults)] = bytes(r.defaults)
    isp_pos = isp_position(b, r.isp_loc)
    assert isp_pos == chip.isp_pos, chip.name
    isp_size = sizes[isp_pos]
    ticked = [(b[byte] & mask) == 0 for _, byte, mask in r.bits]
    o = chip.osc_default or 0
    iap_pos = None
    if r.iap_loc:
        iap_pos = iap_position(b, r.iap_loc, chip.code, isp_size, chip.code)
        assert iap_pos == chip.iap_pos, (chip.name, iap_pos)
    if chip.osc and chip.variant:
        apply_osc(b, chip.variant, o)
    out = bytearray(b)
    if r.iap_loc:
        compose_iap(out, r.iap_loc, chip.code, isp_size, iap_pos)
    compose_isp(out, r.isp_loc, isp_pos)
    for t, (_, byte, mask) in zip(ticked, r.bits):
        out[byte] = out[byte] & ~mask & 0xFF if t else out[byte] | mask
    if chip.variant in (3, 4):
        out[3] |= 0x01
    if r.hw:
        widl = (b[2] & 0x08) == 0
        psx = b[2] & 0x07
        out[2] = out[2] & ~0x08 & 0xFF if widl else out[2] | 0x08
        out[2] = (out[2] & ~0x07) | psx
    want = bytearray([0xFF] * 260)
    want[: len(r.defaults)] = bytes(r.defaults)
    assert out == want, (chip.name, out[:9].hex(), want[:9].hex())


def assign_isp_codes(records):
    """One code per chip where possible; chips of equal size and ISP list share one."""
    chips = []
    for r in records:
        if r.chip.idx == r.index:
            chips.append(r)
    reuse = len(chips) - ISP_CODE_COUNT
    ids = {}
    seen = {}
    next_id = 0
    for r in chips:
        key = (r.chip.code, r.chip.isp)
        if reuse > 0 and key in seen:
            ids[r.chip.idx] = seen[key]
            reuse -= 1
            continue
        ids[r.chip.idx] = next_id
        seen.setdefault(key, next_id)
        next_id += 1
    assert next_id == ISP_CODE_COUNT and reuse == 0, (next_id, reuse)
    return ids


def isp_slot(length, isp):
    for _, size in isp:
        if size >= length:
            return size
    raise AssertionError("ISP code does not fit")


def main():
    records = []
    for chip in CHIPS:
        records.append(build(chip, chip.idx, False))
        if chip.sibling:
            assert chip.sibling in (chip.idx + 128, chip.idx + 2048)
            records.append(build(chip, chip.sibling, True))
    for r in records:
        check(r)
    ids = assign_isp_codes(records)
    # Where each code sits in the chip; every user of an id must agree.
    placement = {}
    for r in records:
        code_id = ids[r.chip.idx]
        length = isp_code_length(code_id)
        base = r.chip.code - isp_slot(length, r.isp)
        assert placement.setdefault(code_id, base) == base, (r.name, code_id)
    indices = sorted(r.index for r in records)
    assert len(indices) == 80, len(indices)

    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        if old.endswith(".txt"):
            os.remove(os.path.join(OUT, old))
    for r in records:
        lines = finish(r, ids[r.chip.idx])
        with open(os.path.join(OUT, "%04d.txt" % r.index), "w", encoding="utf-8") as f:
            f.write("# %s. Generated by tools/parts/gen_parts.py; edit the table there.\n" % r.name)
            for k, v in lines:
                f.write("%s %s\n" % (k, v))
    # The image generator builds each code at its address.
    with open(os.path.join(HERE, "isp_placement.txt"), "w") as f:
        f.write("# id length base: where each carried ISP code sits (written by gen_parts.py)\n")
        for code_id in sorted(placement):
            f.write("0x%04X %d 0x%04X\n" % (code_id, isp_code_length(code_id), placement[code_id]))
    print("wrote %d part records" % len(records))
    return 0


if __name__ == "__main__":
    sys.exit(main())
