// Build-time resource compiler: turns the readable sources in catalogue/data into the
// carried byte formats and writes them as a C++ source file.
//
//   rescompile DATA_DIR OUT.cpp
//
// DATA_DIR/strings/NNNN-*.txt   string table with resource id NNNN (decimal)
// DATA_DIR/parts/NNNN.txt       part record with resource id 4096 + NNNN
// DATA_DIR/images/library.txt   the image library (resource 2): lines "ID V1 V2 FILE"
// DATA_DIR/texts/NNNN-*.txt     a text resource with resource id NNNN (decimal)
//
// A string source holds one record a line: the key (decimal, or 0x hexadecimal), one space
// or tab, then the text to the end of the line (it may be empty). Records keep the order of
// the file. Blank lines and lines starting with '#' are skipped. Texts are stored in UTF-8.
//
// A text source is taken whole: its lines are joined with "\r\n" (a line break at the very end
// of the file only ends the last line) and one NUL closes the text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class Kind { StringTable, ImageLibrary, Text };

struct Resource {
    std::vector<std::uint8_t> bytes;
    Kind kind = Kind::StringTable;
    std::string source;
};

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::ImageLibrary:
            return "ImageLibrary";
        case Kind::Text:
            return "Text";
        case Kind::StringTable:
            break;
    }
    return "StringTable";
}

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    std::cerr << where << ": " << what << "\n";
    std::exit(1);
}

unsigned long ParseKey(const std::string& text, const std::string& where) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (end == text.c_str() || *end != '\0') Fail(where, "bad number '" + text + "'");
    return value;
}

void PutU16(std::vector<std::uint8_t>& out, unsigned long v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void PutU32(std::vector<std::uint8_t>& out, unsigned long v) {
    PutU16(out, v & 0xFFFF);
    PutU16(out, (v >> 16) & 0xFFFF);
}

std::vector<std::uint8_t> CompileStringTable(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(file.string(), "cannot open");
    std::vector<std::uint8_t> out;
    std::set<unsigned long> keys;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string where = file.string() + ":" + std::to_string(lineNo);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto gap = line.find_first_of(" \t");
        const std::string keyText = line.substr(0, gap);
        const std::string text = gap == std::string::npos ? "" : line.substr(gap + 1);
        const unsigned long key = ParseKey(keyText, where);
        if (key >= 0xFFFF) Fail(where, "key out of range");
        if (!keys.insert(key).second) Fail(where, "duplicate key " + keyText);
        for (unsigned char c : text) {
            if (c < 0x20 && c != '\t') Fail(where, "control character in text");
        }
        PutU16(out, key);
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
    }
    PutU16(out, 0xFFFF);
    return out;
}

std::vector<std::uint8_t> CompileImageLibrary(const fs::path& manifest) {
    std::ifstream in(manifest);
    if (!in) Fail(manifest.string(), "cannot open");
    std::vector<std::uint8_t> out;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string where = manifest.string() + ":" + std::to_string(lineNo);
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string id, v1, v2, name;
        if (!(fields >> id >> v1 >> v2 >> name)) Fail(where, "expected ID V1 V2 FILE");
        std::ifstream image(manifest.parent_path() / name, std::ios::binary);
        if (!image) Fail(where, "cannot open " + name);
        std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(image)),
                                       std::istreambuf_iterator<char>());
        PutU16(out, ParseKey(id, where));
        PutU32(out, data.size());
        out.push_back(static_cast<std::uint8_t>(ParseKey(v1, where)));
        out.push_back(static_cast<std::uint8_t>(ParseKey(v2, where)));
        out.insert(out.end(), data.begin(), data.end());
    }
    PutU16(out, 0xFFFF);
    return out;
}

std::vector<std::uint8_t> CompileText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(file.string(), "cannot open");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find('\0') != std::string::npos) Fail(file.string(), "NUL in text");
    std::vector<std::uint8_t> out;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        const bool last = end == std::string::npos || end + 1 == text.size();
        if (end == std::string::npos) end = text.size();
        std::size_t lineEnd = end;
        if (lineEnd > start && text[lineEnd - 1] == '\r') --lineEnd;
        out.insert(out.end(), text.begin() + static_cast<std::ptrdiff_t>(start),
                   text.begin() + static_cast<std::ptrdiff_t>(lineEnd));
        if (last) break;
        out.push_back('\r');
        out.push_back('\n');
        start = end + 1;
    }
    out.push_back(0);
    return out;
}

unsigned long LeadingNumber(const fs::path& file) {
    const std::string stem = file.filename().string();
    const auto end = stem.find_first_not_of("0123456789");
    if (end == 0) Fail(file.string(), "file name must start with its number");
    return std::stoul(stem.substr(0, end));
}

void AddResource(std::map<unsigned long, Resource>& all, unsigned long id, Resource r) {
    if (id > 0xFFFE) Fail(r.source, "resource id out of range");
    if (all.count(id)) Fail(r.source, "resource id " + std::to_string(id) + " given twice");
    all.emplace(id, std::move(r));
}

std::vector<fs::path> SortedFiles(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.is_regular_file() && entry.path().extension() == ".txt") files.push_back(entry);
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: rescompile DATA_DIR OUT.cpp\n";
        return 2;
    }
    const fs::path data = argv[1];
    std::map<unsigned long, Resource> all;
    for (const auto& file : SortedFiles(data / "strings")) {
        AddResource(all, LeadingNumber(file), {CompileStringTable(file), Kind::StringTable, file.string()});
    }
    for (const auto& file : SortedFiles(data / "parts")) {
        AddResource(all, 4096 + LeadingNumber(file),
                    {CompileStringTable(file), Kind::StringTable, file.string()});
    }
    for (const auto& file : SortedFiles(data / "texts")) {
        AddResource(all, LeadingNumber(file), {CompileText(file), Kind::Text, file.string()});
    }
    const fs::path manifest = data / "images" / "library.txt";
    if (fs::exists(manifest)) {
        AddResource(all, 2, {CompileImageLibrary(manifest), Kind::ImageLibrary, manifest.string()});
    }

    std::ostringstream out;
    out << "// Generated by rescompile from catalogue/data. Do not edit.\n"
           "#include \"catalogue/resources.h\"\n\nnamespace cat {\nnamespace {\n";
    for (const auto& [id, r] : all) {
        out << "alignas(4) const std::uint8_t kRes" << id << "[] = {";
        for (std::size_t i = 0; i < r.bytes.size(); ++i) {
            if (i % 24 == 0) out << "\n";
            out << static_cast<unsigned>(r.bytes[i]) << ",";
        }
        out << "\n};\n";
    }
    out << "const CarriedResource kAll[] = {\n";
    for (const auto& [id, r] : all) {
        out << "    {" << id << ", ResourceKind::" << KindName(r.kind)
            << ", kRes" << id << ", sizeof(kRes" << id << ")},\n";
    }
    out << "};\n}  // namespace\n\nstd::span<const CarriedResource> CarriedResources() { return "
           "kAll; }\n\n"
           "}  // namespace cat\n";

    const std::string text = out.str();
    // Leave an unchanged output alone so that nothing downstream rebuilds.
    std::ifstream old(argv[2], std::ios::binary);
    if (old) {
        std::string previous((std::istreambuf_iterator<char>(old)),
                             std::istreambuf_iterator<char>());
        if (previous == text) return 0;
    }
    std::ofstream file(argv[2], std::ios::binary);
    file << text;
    return file ? 0 : 1;
}
