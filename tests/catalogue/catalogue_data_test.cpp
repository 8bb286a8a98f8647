// Self-check of the carried data: guards the tables, part records and images against edits
// that would break the program's rules or the writer's expectations.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "catalogue/resources.h"

namespace {

using Records = std::vector<std::pair<std::uint16_t, std::string>>;

// Every record of a carried string table, in stored order (bounded by the resource size).
Records ReadTable(std::uint16_t id) {
    Records out;
    const auto bytes = cat::FindResource(id);
    if (!bytes) return out;
    std::size_t at = 0;
    while (at + 2 <= bytes->size()) {
        const std::uint16_t key = (*bytes)[at] | ((*bytes)[at + 1] << 8);
        if (key == cat::kTableEnd) return out;
        const auto* text = reinterpret_cast<const char*>(bytes->data() + at + 2);
        const std::size_t room = bytes->size() - at - 2;
        const std::size_t len = strnlen(text, room);
        if (len == room) break;  // text without its NUL
        out.emplace_back(key, std::string(text, len));
        at += 2 + len + 1;
    }
    ADD_FAILURE() << "table " << id << " is not terminated";
    return out;
}

std::vector<std::uint16_t> Keys(const Records& records) {
    std::vector<std::uint16_t> keys;
    for (const auto& r : records) keys.push_back(r.first);
    return keys;
}

bool IsAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Well-formed UTF-8: the carried texts are stored that way, and a broken sequence would show
// as garbage (or cut a character) wherever the text is split or drawn.
bool IsUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80         ? 1
                              : (c >> 5) == 6  ? 2
                              : (c >> 4) == 14 ? 3
                              : (c >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

std::vector<int> ExpectedIndices() {
    std::vector<int> v;
    auto range = [&v](int a, int b) {
        for (int i = a; i <= b; ++i) v.push_back(i);
    };
    range(1, 16);
    for (int i : {30, 34}) v.push_back(i);
    range(42, 47);
    for (int i : {49, 51, 57, 59, 110, 126}) v.push_back(i);
    range(129, 136);
    range(140, 144);
    for (int i : {149, 157, 158, 162}) v.push_back(i);
    range(170, 175);
    for (int i : {177, 179, 185, 187}) v.push_back(i);
    range(201, 213);
    for (int i : {238, 254, 286, 304, 305, 306, 2334, 2352, 2353, 2354}) v.push_back(i);
    return v;
}

// --- the option-field encodings the panel uses --------------------------------------------

using OptionBytes = std::array<std::uint8_t, 260>;

std::uint32_t Word(const OptionBytes& b, const cat::FieldSpec& f) {
    return b[f.byteIndex] | b[f.byteIndex + 1] << 8 | b[f.byteIndex + 2] << 16 |
           static_cast<std::uint32_t>(b[f.byteIndex + 3]) << 24;
}

std::size_t IspPosition(const OptionBytes& b, const cat::FieldSpec& f) {
    const std::uint32_t w = Word(b, f);
    if (f.mask == 0xE2) return 15 - (((w >> 5) & 7) + 8 * ((w >> 1) & 1));
    return ((~w) & f.mask) >> f.Shift();
}

// IAP list position the panel shows for the stored page, and the page it would store back.
std::size_t IapPosition(const OptionBytes& b, const cat::FieldSpec& f, std::uint32_t code,
                        std::uint32_t isp) {
    const std::uint32_t a = Word(b, f);
    std::uint32_t bytes = 0;
    if (f.mask == 0xFE && (a & 0xFE) == 0xFE) {
        bytes = 0;
    } else if (f.mask == 0xFE) {
        bytes = code - isp - ((a & 0xFF) >> 1) * 512;
    } else {
        bytes = code - isp - (a & f.mask) * 256;
    }
    std::size_t pos = bytes >> 9;
    if (f.mask == 0xFE && code - isp == 0x10000 && pos > 0) --pos;
    return pos;
}

std::uint32_t IapPage(const cat::FieldSpec& f, std::uint32_t code, std::uint32_t isp,
                      std::size_t pos) {
    std::uint32_t r = code - isp;
    std::uint32_t page = 0;
    if (f.mask == 0xFE) {
        if (r == 0x10000) {
            r = pos == 0 ? 0x10000 : 0xFE00 - static_cast<std::uint32_t>(pos) * 512;
        } else {
            r -= static_cast<std::uint32_t>(pos) * 512;
        }
        page = r >> 8;
        if (page == 256) page = 255;
    } else {
        page = (r - static_cast<std::uint32_t>(pos) * 512) >> 8;
        if (f.mask <= 0xFF && page == 256) page = 255;
    }
    return page & f.mask;
}

std::size_t IapEntries(const cat::FieldSpec& f, std::uint32_t limit, std::uint32_t isp) {
    const std::uint32_t l = limit - isp;
    std::size_t n = 1;
    for (std::uint32_t s = 512; s <= l; s += 512) {
        if (!(f.mask == 0xFE && l == 0x10000 && s == 512)) ++n;
    }
    return n;
}

// Marks the bits a control owns; a second owner of one bit is a layout fault.
class BitOwners {
  public:
    BitOwners(const std::string& part, int count) : part_(part), count_(count) {}
    void Claim(const std::string& owner, int byte, std::uint32_t mask) {
        for (int k = 0; k < 4; ++k) {
            const std::uint8_t m = (mask >> (8 * k)) & 0xFF;
            if (!m) continue;
            EXPECT_LT(byte + k, count_) << part_ << " " << owner;
            for (int bit = 0; bit < 8; ++bit) {
                if (!(m & (1 << bit))) continue;
                const auto [it, fresh] = owners_.emplace(std::make_pair(byte + k, bit), owner);
                EXPECT_TRUE(fresh) << part_ << ": " << owner << " and " << it->second
                                   << " share byte " << byte + k << " bit " << bit;
            }
        }
    }

  private:
    std::string part_;
    int count_;
    std::map<std::pair<int, int>, std::string> owners_;
};

const std::set<std::string> kOptionNames = {
    "AUX_RAM", "BO0REO", "BO1REO", "BO1S0O",  "BO1S1O", "BODRE", "BODWP",  "EN6T",   "ENLVR",
    "ENLVRC",  "ENLVRO", "ENROSC", "FZWDTCR", "HWBS",   "HWBS2", "HWENW",  "LOCK",   "LVFWP",
    "MOVCL",   "NSWDT",  "OSCDN",  "P40IOE",  "P41IOE", "SB",    "WDSFWP", "WDTRCO", "WRENO"};

const char* const kOscLong =
    "eXternal,0|6MHz,1|11.0592MHz,3|12MHz,4|22.1184MHz,6|24MHz,7|24.576MHz,8";
const char* const kOscShort = "eXternal,0|6MHz,1|11.0592MHz,3|12MHz,4";
const char* const kPsxDiv2 = "F/2,0|F/4,1|F/8,2|F/16,3|F/32,4|F/64,5|F/128,6|F/256,7";
const char* const kPsxDiv1 = "F/1,0|F/2,1|F/4,2|F/8,3|F/16,4|F/32,5|F/64,6|F/128,7";

// --- string tables ------------------------------------------------------------------------

TEST(CarriedTexts, ProductInfoAndSeries) {
    const Records product = ReadTable(cat::kProductInfo);
    ASSERT_EQ(Keys(product), (std::vector<std::uint16_t>{0, 1, 2, 3}));
    const std::string title = product[0].second;
    ASSERT_GT(title.size(), 8u);
    EXPECT_EQ(title.substr(title.size() - 8), " (v4.00)");
    EXPECT_EQ(product[1].second, "3.10");
    EXPECT_EQ(product[2].second, "1");
    EXPECT_EQ(product[3].second, "1");

    const Records series = ReadTable(cat::kSeriesList);
    ASSERT_EQ(Keys(series), (std::vector<std::uint16_t>{0, 1, 2, 3, 4, 5, 6}));
    std::set<std::string> names;
    for (const auto& [key, text] : series) {
        const auto fields = cat::SplitFields(text, "|");
        ASSERT_EQ(fields.size(), 2u) << key;
        EXPECT_TRUE(IsAscii(std::string(fields[0]))) << key;
        EXPECT_FALSE(IsAscii(std::string(fields[1]))) << key;
        EXPECT_TRUE(IsUtf8(text)) << key;
        EXPECT_TRUE(names.insert(std::string(fields[0])).second) << "duplicate series " << key;
    }
}

TEST(CarriedTexts, LanguageTablesShareKeysAndOrder) {
    std::vector<std::uint16_t> expected = {0, 2, 129, 130, 131, 132, 133};
    for (int k = 1000; k <= 1060; ++k) {
        if (k != 1050) expected.push_back(static_cast<std::uint16_t>(k));
    }
    for (int k = 2000; k <= 2011; ++k) expected.push_back(static_cast<std::uint16_t>(k));
    for (int k : {141, 1623, 1624, 1626, 1635, 1636, 134, 2012, 2013}) {
        expected.push_back(static_cast<std::uint16_t>(k));
    }
    ASSERT_EQ(expected.size(), 88u);

    const Records english = ReadTable(256);
    const Records chinese = ReadTable(257);
    EXPECT_EQ(Keys(english), expected);
    ASSERT_EQ(Keys(chinese), expected);
    EXPECT_FALSE(cat::FindResource(258));

    std::map<std::uint16_t, std::string> zh(chinese.begin(), chinese.end());
    EXPECT_EQ(zh[0], "简体中文");
    EXPECT_EQ(zh[2005], "设置");
    EXPECT_EQ(zh[2006], "读取");
    // The firmware dialog breaks this message after byte 18 outside English.
    ASSERT_GT(zh[1049].size(), 18u);
    EXPECT_NE(static_cast<unsigned char>(zh[1049][18]) & 0xC0, 0x80);
    for (std::size_t i = 0; i < english.size(); ++i) {
        const auto& [key, en] = english[i];
        const std::string& cn = chinese[i].second;
        EXPECT_TRUE(IsAscii(en)) << key;
        EXPECT_FALSE(cn.empty()) << key;
        EXPECT_TRUE(IsUtf8(cn)) << key;
        // Tooltips are translated too: both texts have the same number of fields.
        EXPECT_EQ(cat::SplitFields(en, "|").size(), cat::SplitFields(cn, "|").size()) << key;
        EXPECT_EQ(en.find("Corvane") != std::string::npos, cn.find("Corvane") != std::string::npos)
            << key;
    }
}

// --- part records -------------------------------------------------------------------------

TEST(CarriedParts, IndicesNamesAndSiblings) {
    const std::vector<int> indices = cat::AllPartIndices();
    ASSERT_EQ(indices, ExpectedIndices());
    std::set<std::string> names;
    for (int i : indices) {
        const cat::Part p(i);
        const std::string name = p.Name();
        EXPECT_EQ(name.rfind("CV", 0), 0u) << i;
        EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
        // Records below 256 and their twins 128 up, or 2048 up above 256: one chip, two supplies.
        const int twin = i < 128 ? i + 128 : (i >= 256 && i < 2048 ? i + 2048 : -1);
        if (twin < 0 || !cat::Part(twin).Exists()) continue;
        const cat::Part t(twin);
        for (std::uint16_t key = 0x0001; key < 0x0F01; ++key) {
            EXPECT_EQ(p.Text(key), t.Text(key)) << i << "/" << twin << " key " << key;
        }
    }
    // Every part shows up under one of the carried series.
    for (int i : indices) EXPECT_LE(cat::Part(i).Series(), 6) << i;
}

TEST(CarriedParts, KeyPresenceCountsAndOrder) {
    const std::map<std::uint16_t, int> expected = {
        {0x0000, 80}, {0x0001, 80}, {0x0002, 80}, {0x0003, 80}, {0x0004, 80}, {0x0005, 80},
        {0x0006, 50}, {0x0007, 50}, {0x0008, 50}, {0x0009, 80}, {0x000A, 68}, {0x000C, 80},
        {0x000D, 21}, {0x000E, 21}, {0x000F, 80}, {0x0010, 64}, {0x0011, 64}, {0x0012, 64},
        {0x0013, 64}, {0x0014, 64}, {0x0015, 80}, {0x0016, 80}, {0x0017, 80}, {0x0018, 11},
        {0x0019, 10}, {0x0100, 80}, {0x0F00, 43}};
    std::map<std::uint16_t, int> counts;
    int lowestWithoutFamily = -1;
    for (int i : cat::AllPartIndices()) {
        const Records r = ReadTable(cat::PartTable(i));
        const auto keys = Keys(r);
        ASSERT_GE(keys.size(), 5u);
        EXPECT_EQ((std::vector<std::uint16_t>(keys.begin(), keys.begin() + 5)),
                  (std::vector<std::uint16_t>{0x0000, 0x0001, 0x0002, 0x000F, 0x0003}))
            << i;
        int bits = 0;
        for (auto k : keys) {
            const bool known = k <= 0x0019 || k == 0x0F00 || (k >= 0x0100 && k <= 0x0117);
            EXPECT_TRUE(known && k != 0x000B) << i << " has key " << k;
            if (k >= 0x0100 && k <= 0x0117) {
                EXPECT_EQ(k, 0x0100 + bits) << i << ": option bits must be consecutive";
                ++bits;
            } else {
                ++counts[k];
            }
        }
        EXPECT_GE(bits, 6) << i;
        EXPECT_LE(bits, 11) << i;
        if (bits > 0) ++counts[0x0100];
        if (lowestWithoutFamily < 0 && !cat::Part(i).Text(0x000A)) lowestWithoutFamily = i;
    }
    EXPECT_EQ(counts, expected);
    EXPECT_EQ(lowestWithoutFamily, 1);
}

// Ranges and syntaxes of each record, and that the catalogue reaches every feature.
TEST(CarriedParts, ValuesAndFeatureCoverage) {
    std::set<std::uint32_t> ispMasks, iapMasks, variants, counts, oscDefaults, boots, fe64k;
    std::set<std::string> oscLists, psxLists, usedNames;
    int withMaxLoad = 0, with64 = 0;
    for (int i : cat::AllPartIndices()) {
        const cat::Part p(i);
        const std::uint32_t code = p.CodeSize();
        const std::uint32_t count = p.Number(0x0002);
        EXPECT_GE(code, 0x1000u) << i;
        EXPECT_LE(code, 0x10000u) << i;
        EXPECT_TRUE((count >= 2 && count <= 9) || count == 64) << i;
        counts.insert(count);
        if (p.MaxLoadSize()) {
            ++withMaxLoad;
            EXPECT_LT(p.MaxLoadSize(), code) << i;
        }
        EXPECT_EQ(p.Number(0x0003), 1u) << i;
        if (p.Text(0x0006)) {
            EXPECT_EQ(p.Number(0x0006), 1u) << i;
            EXPECT_EQ(p.Number(0x0008), code) << i;
            const auto iap = p.Field(0x0007);
            ASSERT_TRUE(iap) << i;
            iapMasks.insert(iap->mask);
            if (iap->mask == 0xFE && code == 0x10000) fe64k.insert(i);
        }
        if (p.Text(0x000A)) {
            EXPECT_GE(p.FirmwareFamily(), 1u) << i;
            EXPECT_LE(p.FirmwareFamily(), 8u) << i;
        }
        EXPECT_LE(p.Number(0x0009), 0x26u) << i;

        // Default option bytes: seven for the 64-byte parts, all of them otherwise.
        const auto defaults = cat::ParseNumberList(*p.Text(0x000F));
        EXPECT_EQ(defaults.size(), count == 64 ? 7u : count) << i;
        for (auto d : defaults) EXPECT_LE(d, 0xFFu) << i;
        if (count == 64) {
            ++with64;
            EXPECT_EQ(p.Text(0x0019), "0") << i;
        } else {
            EXPECT_FALSE(p.Text(0x0019)) << i;
        }
        const auto isp = p.Field(0x0004);
        ASSERT_TRUE(isp) << i;
        ispMasks.insert(isp->mask);
        const auto list = p.Choices(0x0005);
        ASSERT_GE(list.size(), 4u) << i;
        EXPECT_LE(list.size(), isp->mask == 0x30 ? 4u : isp->mask == 0xE0 ? 8u : 16u) << i;
        if (isp->mask == 0xE2) {
            EXPECT_EQ(list.size(), 16u) << i;
        }
        EXPECT_EQ(list[0], (cat::Choice{"None", 0})) << i;
        for (std::size_t k = 1; k < list.size(); ++k) {
            EXPECT_GT(list[k].value, list[k - 1].value) << i;
            EXPECT_EQ(list[k].value % 512, 0u) << i;
        }
        // The built-in ISP code fits the largest ISP space.
        const auto image = cat::LookupImage(static_cast<std::uint16_t>(p.Number(0x0009)));
        ASSERT_TRUE(image) << i;
        EXPECT_LE(image->length, list.back().value) << i;

        const auto clears = cat::ParseFieldSpecList(*p.Text(0x000C));
        boots.insert(static_cast<std::uint32_t>(clears.size()));
        if (p.Text(0x000D)) {
            EXPECT_EQ(p.Number(0x000D), 1u) << i;
            const std::string osc(*p.Text(0x000E));
            EXPECT_TRUE(osc == kOscLong || osc == kOscShort) << i;
            oscLists.insert(osc);
            if (p.Text(0x0018)) {
                EXPECT_EQ(p.Number(0x0018), osc == kOscLong ? 6u : 4u) << i;
                oscDefaults.insert(p.Number(0x0018));
            }
        } else {
            EXPECT_FALSE(p.Text(0x000E) || p.Text(0x0018)) << i;
        }
        if (p.Text(0x0010)) {
            const std::string psx(*p.Text(0x0014));
            EXPECT_TRUE(psx == kPsxDiv2 || psx == kPsxDiv1) << i;
            psxLists.insert(psx);
        }
        if (p.Text(0x0F00)) {
            EXPECT_GE(p.Number(0x0F00), 1u) << i;
            EXPECT_LE(p.Number(0x0F00), 4u) << i;
            variants.insert(p.Number(0x0F00));
        }
        for (int s = 0; s < cat::key::kOptionBitSlots; ++s) {
            const auto bit = p.OptionBitAt(s);
            if (!bit) break;
            EXPECT_TRUE(kOptionNames.count(bit->name)) << i << " " << bit->name;
            usedNames.insert(bit->name);
            EXPECT_TRUE(!bit->english.empty() && IsAscii(bit->english)) << i << " " << bit->name;
            EXPECT_TRUE(!bit->chinese.empty() && !IsAscii(bit->chinese) && IsUtf8(bit->chinese))
                << i << " " << bit->name;
        }
    }
    EXPECT_EQ(ispMasks, (std::set<std::uint32_t>{0x30, 0xE0, 0xE2}));
    EXPECT_EQ(iapMasks, (std::set<std::uint32_t>{0xFF, 0x0FFF, 0xFE}));
    EXPECT_FALSE(fe64k.empty());
    EXPECT_EQ(variants, (std::set<std::uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(counts, (std::set<std::uint32_t>{2, 3, 4, 5, 6, 7, 8, 9, 64}));
    EXPECT_EQ(with64, 10);
    EXPECT_GT(withMaxLoad, 0);
    EXPECT_EQ(oscLists.size(), 2u);
    EXPECT_EQ(oscDefaults, (std::set<std::uint32_t>{4, 6}));
    EXPECT_EQ(psxLists.size(), 2u);
    EXPECT_EQ(boots, (std::set<std::uint32_t>{1, 2}));
    EXPECT_EQ(usedNames, kOptionNames);
}

// Fields never overlap, and the default bytes are what the option panel composes back after
// applying the part: list positions exist, the HWENW bit is an option bit, the boot bits
// are HWBS/HWBS2, the oscillator bits match the default entry.
TEST(CarriedParts, OptionLayoutAndDefaultsAgree) {
    for (int i : cat::AllPartIndices()) {
        const cat::Part p(i);
        const std::string name = p.Name();
        const int count = static_cast<int>(p.Number(0x0002));
        const int carried = count == 64 ? 7 : count;
        OptionBytes b;
        b.fill(0xFF);
        const auto defaults = p.DefaultOptionBytes();
        std::copy(defaults.begin(), defaults.end(), b.begin());

        BitOwners owners(name, carried);
        const auto isp = *p.Field(0x0004);
        EXPECT_NE(isp.mask, 0u);
        owners.Claim("ISP", isp.byteIndex, isp.mask);
        const auto list = p.Choices(0x0005);
        const std::size_t ispPos = IspPosition(b, isp);
        ASSERT_LT(ispPos, list.size()) << name;
        const std::uint32_t ispSize = list[ispPos].value;
        if (auto iap = p.Field(0x0007)) {
            EXPECT_NE(iap->mask, 0u);
            owners.Claim("IAP", iap->byteIndex, iap->mask);
            const std::uint32_t code = p.CodeSize();
            const std::size_t pos = IapPosition(b, *iap, code, ispSize);
            EXPECT_LT(pos, IapEntries(*iap, p.Number(0x0008), ispSize)) << name;
            EXPECT_EQ(Word(b, *iap) & iap->mask, IapPage(*iap, code, ispSize, pos)) << name;
        }
        std::map<std::pair<int, int>, std::string> bitNames;
        for (int s = 0; s < cat::key::kOptionBitSlots; ++s) {
            const auto bit = p.OptionBitAt(s);
            if (!bit) break;
            EXPECT_EQ(std::popcount(bit->mask), 1) << name << " " << bit->name;
            owners.Claim(bit->name, bit->byteIndex, bit->mask);
            bitNames[{bit->byteIndex, bit->mask}] = bit->name;
        }
        for (const auto& clear : cat::ParseFieldSpecList(*p.Text(0x000C))) {
            EXPECT_LE(clear.mask, 0xFFu) << name;
            const std::string boot = bitNames[{clear.byteIndex, static_cast<int>(clear.mask)}];
            EXPECT_TRUE(boot == "HWBS" || boot == "HWBS2") << name << " clears " << boot;
        }
        if (p.Number(0x0010)) {
            const auto enw = *p.Field(0x0011);
            const auto widl = *p.Field(0x0012);
            const auto psx = *p.Field(0x0013);
            EXPECT_EQ((bitNames[{enw.byteIndex, static_cast<int>(enw.mask)}]), "HWENW") << name;
            EXPECT_EQ(std::popcount(widl.mask), 1) << name;
            owners.Claim("HWWIDL", widl.byteIndex, widl.mask);
            owners.Claim("HWPSx", psx.byteIndex, psx.mask);
            // Every field value names an entry of the HWPSx list.
            EXPECT_EQ(psx.mask >> psx.Shift(), 7u) << name;
            EXPECT_EQ(p.Choices(0x0014).size(), 8u) << name;
        }
        const std::uint32_t variant = p.Number(0x0F00);
        if (variant == 3 || variant == 4) {
            ASSERT_GE(count, 4) << name;
            EXPECT_TRUE(b[3] & 0x01) << name << ": compose sets bit 0 of byte 3";
            owners.Claim("OSC", 3, 0x01);
        }
        if (p.Number(0x000D) && variant >= 1 && variant <= 4) {
            const bool external = p.Number(0x0018) == 0;
            switch (variant) {
                case 1:
                    owners.Claim("OSC", 1, 0x62);
                    EXPECT_EQ(b[1] & 0x62, external ? 0x42 : 0x20) << name;
                    break;
                case 2:
                    owners.Claim("OSC", 1, 0x62);
                    EXPECT_EQ(b[1] & 0x62, external ? 0x62 : 0x20) << name;
                    break;
                case 3:
                    owners.Claim("OSC", 0, 0x03);
                    owners.Claim("OSC", 1, 0x08);
                    EXPECT_EQ(b[0] & 0x03, external ? 0x03 : 0x01) << name;
                    EXPECT_EQ(b[1] & 0x08, external ? 0x08 : 0x00) << name;
                    break;
                default:
                    owners.Claim("OSC", 1, 0x08);
                    EXPECT_EQ(b[1] & 0x08, external ? 0x08 : 0x00) << name;
                    break;
            }
        }
    }
}

// --- image library ------------------------------------------------------------------------

TEST(CarriedImages, IdsSizesAndSignatures) {
    const auto library = cat::FindResource(cat::kImageLibrary);
    ASSERT_TRUE(library);
    std::vector<std::uint16_t> ids;
    std::size_t at = 0;
    while (at + 2 <= library->size()) {
        const std::uint16_t id = (*library)[at] | ((*library)[at + 1] << 8);
        if (id == 0xFFFF) break;
        ASSERT_LE(at + 8, library->size());
        ids.push_back(id);
        const std::uint32_t len = (*library)[at + 2] | ((*library)[at + 3] << 8) |
                                  ((*library)[at + 4] << 16) |
                                  (static_cast<std::uint32_t>((*library)[at + 5]) << 24);
        at += 8 + len;
    }
    ASSERT_EQ(at + 2, library->size()) << "library must end with its terminator";
    std::vector<std::uint16_t> expected;
    for (std::uint16_t id = 0; id <= 0x26; ++id) expected.push_back(id);
    for (std::uint16_t id = 0x100; id <= 0x108; ++id) expected.push_back(id);
    expected.push_back(0x200);
    ASSERT_EQ(ids, expected);

    std::uint32_t ispMin = ~0u, ispMax = 0, fwMin = ~0u, fwMax = 0;
    for (auto id : ids) {
        const auto image = *cat::LookupImage(id);
        ASSERT_GT(image.length, 0x100u);
        EXPECT_EQ(image.data[0], 0x02) << id;
        // The first jump lands inside the image (firmware is based at 0).
        const std::uint32_t target = image.data[1] << 8 | image.data[2];
        if (id < 0x100) {
            ispMin = std::min(ispMin, image.length);
            ispMax = std::max(ispMax, image.length);
            continue;
        }
        EXPECT_LT(target, image.length) << id;
        if (id < 0x200) {
            fwMin = std::min(fwMin, image.length);
            fwMax = std::max(fwMax, image.length);
        } else {
            EXPECT_EQ(image.length, 1124u);
        }
        const std::uint8_t* sig = image.data + 0xF0;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(sig), 4), "CVFW") << id;
        EXPECT_EQ(sig[4] | sig[5] << 8, id);
        EXPECT_EQ(sig[6], image.version1) << id;
        EXPECT_EQ(sig[7], image.version2) << id;
    }
    EXPECT_EQ(ispMin, 606u);
    EXPECT_EQ(ispMax, 2022u);
    EXPECT_EQ(fwMin, 9982u);
    EXPECT_EQ(fwMax, 12703u);
    EXPECT_FALSE(cat::LookupImage(0x0109));
}

// Each ISP code is built for the address where insertion puts it: the top of the part's code
// space minus the first ISP space that holds it. Its entry jump must land inside the code.
TEST(CarriedImages, IspCodesAreBuiltForTheirPlace) {
    std::set<std::uint32_t> used;
    for (int i : cat::AllPartIndices()) {
        const cat::Part p(i);
        used.insert(p.Number(0x0009));
        used.insert(0x100 + (p.FirmwareFamily() & 0xFF));
        const auto image = *cat::LookupImage(static_cast<std::uint16_t>(p.Number(0x0009)));
        const auto list = p.Choices(0x0005);
        const auto slot = std::find_if(list.begin(), list.end(), [&](const cat::Choice& c) {
            return c.value >= image.length;
        });
        ASSERT_NE(slot, list.end()) << i;
        const std::uint32_t base = p.CodeSize() - slot->value;
        const std::uint32_t target = image.data[1] << 8 | image.data[2];
        EXPECT_GE(target, base) << p.Name();
        EXPECT_LT(target, base + image.length) << p.Name();
        // The writer firmware for the part's family is carried.
        EXPECT_TRUE(
            cat::LookupImage(static_cast<std::uint16_t>(0x100 + (p.FirmwareFamily() & 0xFF))))
            << i;
    }
    // Every ISP code and every main firmware image serves some part.
    EXPECT_EQ(used.size(), 39u + 9u);
}

}  // namespace
