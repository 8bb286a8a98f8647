// writer-cli parts [--json] [--lang 0|1]: the catalogue as the main window lists it.
#include <cstdio>
#include <string>

#include "catalogue/part_database.h"
#include "catalogue/part_order.h"
#include "cli/command.h"
#include "cli/json.h"
#include "cli/session.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli parts [--json] [--lang 0|1]\n\n"
    "The series in the order the main window lists them (series 4 last) and, under each,\n"
    "its parts in list order, with their decoded record keys. --lang picks the language of\n"
    "the series names and option descriptions (0 English, the default; 1 Simplified Chinese).\n";

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    char buf[4];
    for (auto b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

std::string FieldText(const std::optional<cat::FieldSpec>& f) {
    return f ? std::to_string(f->byteIndex) + "|" + Hex(f->mask) : "-";
}

std::string ChoicesText(const std::vector<cat::Choice>& choices) {
    std::string out;
    for (const auto& c : choices) out += (out.empty() ? "" : " ") + c.label + "=" + Hex(c.value);
    return out;
}

std::string JsonChoices(const std::vector<cat::Choice>& choices) {
    std::string out = "[";
    for (std::size_t i = 0; i < choices.size(); ++i) {
        out += (i ? "," : "") + std::string("{\"label\":") + cli::JsonString(choices[i].label) +
               ",\"value\":" + std::to_string(choices[i].value) + "}";
    }
    return out + "]";
}

std::string JsonField(const std::optional<cat::FieldSpec>& f) {
    if (!f) return "null";
    return "{\"byte\":" + std::to_string(f->byteIndex) + ",\"mask\":" + std::to_string(f->mask) +
           "}";
}

void PrintPartText(const cat::Part& p, int lang) {
    using namespace cat::key;
    std::printf("  %4d  %-14s code=%s", p.index(), p.Name().c_str(), Hex(p.CodeSize()).c_str());
    if (p.MaxLoadSize()) std::printf(" maxLoad=%s", Hex(p.MaxLoadSize()).c_str());
    std::printf(" device=0x%04X family=%u isp-code=0x%02X options=%u default=%s\n", p.DeviceCode(),
                p.FirmwareFamily(), p.Number(kIspCode), p.Number(kOptionCount) & 0xFF,
                HexBytes(p.DefaultOptionBytes()).c_str());
    std::printf("        isp %s [%s]\n", FieldText(p.Field(kIspField)).c_str(),
                ChoicesText(p.Choices(kIspList)).c_str());
    if (p.Number(kIapAvailable)) {
        std::printf("        iap %s limit=%s\n", FieldText(p.Field(kIapField)).c_str(),
                    Hex(p.Number(kIapLimit)).c_str());
    }
    if (p.Number(kOscAvailable)) {
        std::printf("        osc variant=%u default=%u [%s]\n", p.Number(kOscVariant),
                    p.Number(kOscDefault), ChoicesText(p.Choices(kOscList)).c_str());
    }
    if (p.Number(kHwenwAvailable)) {
        std::printf("        hwenw %s hwwidl %s hwpsx %s [%s]\n",
                    FieldText(p.Field(kHwenwBit)).c_str(), FieldText(p.Field(kHwwidlBit)).c_str(),
                    FieldText(p.Field(kHwpsxField)).c_str(),
                    ChoicesText(p.Choices(kHwpsxList)).c_str());
    }
    for (int slot = 0; slot < kOptionBitSlots; ++slot) {
        const auto bit = p.OptionBitAt(slot);
        if (!bit) continue;
        std::printf("        bit %2d  %u|0x%02X  %-8s %s\n", slot, bit->byteIndex, bit->mask,
                    bit->name.c_str(),
                    (lang == 1 && !bit->chinese.empty() ? bit->chinese : bit->english).c_str());
    }
}

std::string PartJson(const cat::Part& p, int lang) {
    using namespace cat::key;
    std::string bits = "[";
    for (int slot = 0; slot < kOptionBitSlots; ++slot) {
        const auto bit = p.OptionBitAt(slot);
        if (!bit) continue;
        bits += (bits.size() > 1 ? "," : "") + std::string("{\"slot\":") + std::to_string(slot) +
                ",\"byte\":" + std::to_string(bit->byteIndex) +
                ",\"mask\":" + std::to_string(bit->mask) +
                ",\"name\":" + cli::JsonString(bit->name) +
                ",\"english\":" + cli::JsonString(bit->english) +
                ",\"chinese\":" + cli::JsonString(bit->chinese) + "}";
    }
    bits += "]";
    std::string s =
        "{\"index\":" + std::to_string(p.index()) + ",\"name\":" + cli::JsonString(p.Name());
    s += ",\"codeSize\":" + std::to_string(p.CodeSize());
    s += ",\"maxLoadSize\":" + std::to_string(p.MaxLoadSize());
    s += ",\"optionCount\":" + std::to_string(p.Number(kOptionCount) & 0xFF);
    s += ",\"defaultOptions\":" + cli::JsonString(HexBytes(p.DefaultOptionBytes()));
    s += ",\"deviceCode\":" + std::to_string(p.DeviceCode());
    s += ",\"firmwareFamily\":" + std::to_string(p.FirmwareFamily());
    s += ",\"ispCode\":" + std::to_string(p.Number(kIspCode));
    s += ",\"isp\":{\"available\":" + std::to_string(p.Number(kIspAvailable)) +
         ",\"field\":" + JsonField(p.Field(kIspField)) +
         ",\"choices\":" + JsonChoices(p.Choices(kIspList)) + "}";
    s += ",\"iap\":{\"available\":" + std::to_string(p.Number(kIapAvailable)) +
         ",\"field\":" + JsonField(p.Field(kIapField)) +
         ",\"limit\":" + std::to_string(p.Number(kIapLimit)) + "}";
    s += ",\"osc\":{\"available\":" + std::to_string(p.Number(kOscAvailable)) +
         ",\"variant\":" + std::to_string(p.Number(kOscVariant)) +
         ",\"default\":" + std::to_string(p.Number(kOscDefault)) +
         ",\"choices\":" + JsonChoices(p.Choices(kOscList)) + "}";
    s += ",\"hwenw\":{\"available\":" + std::to_string(p.Number(kHwenwAvailable)) +
         ",\"hwenw\":" + JsonField(p.Field(kHwenwBit)) +
         ",\"hwwidl\":" + JsonField(p.Field(kHwwidlBit)) +
         ",\"hwpsx\":" + JsonField(p.Field(kHwpsxField)) +
         ",\"choices\":" + JsonChoices(p.Choices(kHwpsxList)) + "}";
    s += ",\"ispClearBits\":" + cli::JsonString(std::string(p.Text(kIspClearBits).value_or("")));
    s += ",\"iapLoadAddress\":" + std::to_string(p.Number(kIapLoadAddress));
    s += ",\"customSetting\":" + std::to_string(p.Number(kCustomSetting));
    s += ",\"optionBits\":" + bits + "}";
    (void)lang;
    return s;
}

int Run(const std::vector<std::string>& args) {
    bool json = false;
    int lang = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-h" || args[i] == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--lang" && i + 1 < args.size() &&
                   (args[i + 1] == "0" || args[i + 1] == "1")) {
            lang = args[++i][0] - '0';
        } else {
            return cli::UsageError(kHelp, "");
        }
    }
    const auto series = cat::OrderedSeries(lang);
    if (json) std::printf("{\"series\":[");
    for (std::size_t s = 0; s < series.size(); ++s) {
        const auto parts = cat::OrderedParts(series[s].series);
        if (json) {
            std::printf("%s{\"number\":%d,\"name\":%s,\"parts\":[", s ? "," : "", series[s].series,
                        cli::JsonString(series[s].name).c_str());
            for (std::size_t i = 0; i < parts.size(); ++i) {
                std::printf("%s%s", i ? "," : "", PartJson(cat::Part(parts[i]), lang).c_str());
            }
            std::printf("]}");
        } else {
            std::printf("Series %d: %s (%zu parts)\n", series[s].series, series[s].name.c_str(),
                        parts.size());
            for (int p : parts) PrintPartText(cat::Part(p), lang);
        }
    }
    if (json) std::printf("]}\n");
    return 0;
}

const cli::Register kRegister{{"parts", "print the chip catalogue in list order", Run}};

}  // namespace
