#include "harness.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/device/writer_ids.h"
#include "vwriter/daemon.h"

extern char** environ;

namespace vwt {

namespace {

void* Open(const char* file) {
    const std::string path = BinDir() + "/" + file;
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) throw std::runtime_error(std::string("cannot load ") + path + ": " + dlerror());
    return h;
}

template <typename F>
F Resolve(void* handle, const char* name) {
    void* sym = dlsym(handle, name);
    if (!sym) throw std::runtime_error(std::string("missing ") + name);
    return reinterpret_cast<F>(sym);
}

void PutLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool SocketExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

std::string BinDir() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

const TunnixApi& Tunnix() {
    static const TunnixApi api = [] {
        void* h = Open("libtunnix.so");
        return TunnixApi{Resolve<decltype(TunnixApi::Connect)>(h, "ConnectTNX"),
                         Resolve<decltype(TunnixApi::Disconnect)>(h, "DisconnectTNX"),
                         Resolve<decltype(TunnixApi::Write)>(h, "WriteData"),
                         Resolve<decltype(TunnixApi::Read)>(h, "ReadData"),
                         Resolve<decltype(TunnixApi::Clear)>(h, "ClearTNXBuffer")};
    }();
    return api;
}

const DfuApi& Dfu() {
    static const DfuApi api = [] {
        void* h = Open("libdfu.so");
        return DfuApi{Resolve<decltype(DfuApi::ResetToIsp)>(h, "DFU_Reset_To_ISP"),
                      Resolve<decltype(DfuApi::Download)>(h, "DFU_Download"),
                      Resolve<decltype(DfuApi::ResetToAp)>(h, "DFU_Reset_To_AP"),
                      Resolve<decltype(DfuApi::ProcessCount)>(h, "DFU_Get_ProcessCount")};
    }();
    return api;
}

VWriter::VWriter(std::vector<std::string> args) : args_(std::move(args)) {
    char tmpl[] = "/tmp/vwt-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    dir_ = tmpl;
    // VWRITER_TEST_TRANSPORT=hid: the tests reach the device through the hidapi double (which
    // they preload) on its report channel; uhid: through the kernel HID device it makes. The
    // socket then sits where the device watcher looks for a virtual writer.
    const char* transport = std::getenv("VWRITER_TEST_TRANSPORT");
    const std::string over = transport ? transport : "";
    const bool hid = over == "hid" || over == "uhid";
    socket_ = dir_ + (hid ? "/vwriter.sock" : "/dev.sock");
    tracePath_ = dir_ + "/trace.jsonl";
    bool traced = false;
    for (std::size_t i = 0; i < args_.size(); ++i) {
        if (args_[i] == "--lenient") strict_ = false;
        if (i + 1 >= args_.size()) continue;
        if (args_[i] == "--socket") socket_ = args_[i + 1];
        if (args_[i] == "--trace") {
            traced = true;
            tracePath_ = args_[i + 1];
            if (const auto at = tracePath_.find("@DIR@"); at != std::string::npos) {
                tracePath_.replace(at, 5, dir_);
            }
        }
    }
    if (!traced) {
        args_.push_back("--trace");
        args_.push_back(tracePath_);
    }
    if (strict_) args_.push_back("--strict");
    if (over == "uhid") {
        args_.insert(args_.end(), {"--uhid", "--usb-serial", "T" + std::to_string(::getpid())});
    }
    ::setenv(writer_ids::kDeviceEnv, hid ? "hid" : ("vwriter:" + socket_).c_str(), 1);
    if (hid) {
        ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        ::setenv("HIDAPI_DOUBLE_DEVICES", socket_.c_str(), 1);
    }
    Start();
}

VWriter::~VWriter() {
    Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

bool VWriter::Start() {
    if (pid_ > 0) return true;
    const std::string exe = BinDir() + "/vwriter";
    std::vector<std::string> argv{exe, "--socket", socket_, "--reenumerate-ms", "150"};
    // A "--socket" among the arguments is already in socket_.
    for (std::string a : args_) {
        // "@DIR@" names the daemon's temporary folder (state and trace files).
        if (const auto at = a.find("@DIR@"); at != std::string::npos) a.replace(at, 5, dir_);
        argv.push_back(a);
    }
    std::vector<char*> cargs;
    for (auto& a : argv) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    if (posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, cargs.data(), environ) != 0) {
        pid_ = -1;
        return false;
    }
    for (int i = 0; i < 300; ++i) {
        if (SocketExists(socket_) && SocketExists(writer_ids::ControlSocketFor(socket_))) {
            return true;
        }
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void VWriter::Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            CheckTrace();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    CheckTrace();
}

std::vector<std::string> VWriter::TraceLines(const std::string& kind) const {
    std::ifstream in(tracePath_);
    std::vector<std::string> lines;
    const std::string mark = "\"kind\":\"" + kind + "\"";
    for (std::string line; std::getline(in, line);) {
        if (kind.empty() || line.find(mark) != std::string::npos) lines.push_back(line);
    }
    return lines;
}

void VWriter::CheckTrace() {
    if (!strict_ || !checkTrace_) return;
    const auto errors = TraceLines("protocol_error");
    for (std::size_t i = reportedErrors_; i < errors.size(); ++i) {
        if (::testing::UnitTest::GetInstance()->current_test_info()) {
            ADD_FAILURE() << "the virtual writer saw a protocol error: " << errors[i];
        } else {
            // Outside GoogleTest (a QtTest binary): say so, and end the run with a failure.
            std::fprintf(stderr, "FAIL: the virtual writer saw a protocol error: %s\n",
                         errors[i].c_str());
            static const bool once = [] { return std::atexit([] { std::_Exit(1); }) == 0; }();
            (void)once;
        }
    }
    reportedErrors_ = errors.size();
}

std::string VWriter::Ctl(const std::string& line) {
    return vw::SendControl(socket_, line, 3000).value_or("error: no answer");
}

std::string VWriter::StateValue(const std::string& key) {
    std::istringstream in(Ctl("state"));
    std::string line;
    const std::string prefix = key + "=";
    while (std::getline(in, line)) {
        // A line holding one value ("firmware=01 02 ...") gives all of it.
        if (line.rfind(prefix, 0) == 0 && line.find('=', prefix.size()) == std::string::npos) {
            return line.substr(prefix.size());
        }
        std::istringstream words(line);
        std::string word;
        while (words >> word) {
            if (word.rfind(prefix, 0) == 0) return word.substr(prefix.size());
        }
    }
    return {};
}

Link::Link(std::uint32_t vid, std::uint32_t pid, std::uint32_t readMs, std::uint32_t writeMs) {
    PutLE32(record_.data(), vid);
    PutLE32(record_.data() + 4, pid);
    SetTimeouts(readMs, writeMs);
    connectResult_ = Tunnix().Connect(record_.data(), 1);
    connected_ = connectResult_ == 0;
}

Link::Link() : Link(writer_ids::WRITER_VID, writer_ids::WRITER_PID) {}

Link::~Link() {
    if (connected_) Tunnix().Disconnect(record_.data());
}

void Link::SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    PutLE32(record_.data() + 8, readMs);
    PutLE32(record_.data() + 12, writeMs);
}

std::uint32_t Link::Timeout(int offset) const {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | record_[static_cast<std::size_t>(offset + i)];
    return v;
}

bool Link::Send(const Bytes& bytes) {
    unsigned int count = 0;
    return Tunnix().Write(record_.data(), bytes.data(), static_cast<unsigned>(bytes.size()),
                          &count) == 0 &&
           count == bytes.size();
}

Bytes Link::Receive(unsigned int length) {
    Bytes buffer(length);
    unsigned int count = 0;
    Tunnix().Read(record_.data(), buffer.data(), length, &count);
    buffer.resize(count);
    return buffer;
}

void Link::Frame(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1, std::uint32_t p2,
                 std::uint32_t p3) {
    Bytes frame(16);
    frame[0] = 0xFF;
    frame[1] = 0x5A;
    frame[2] = cmd;
    frame[3] = sub;
    PutLE32(frame.data() + 4, p1);
    PutLE32(frame.data() + 8, p2);
    PutLE32(frame.data() + 12, p3);
    Send(frame);
}

int Link::Status() {
    const Bytes b = Receive(1);
    return b.empty() ? -1 : b[0];
}

int Link::Command(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1, std::uint32_t p2,
                  std::uint32_t p3) {
    Frame(cmd, sub, p1, p2, p3);
    return Status();
}

std::vector<int> Link::BulkWrite(const Bytes& data) {
    std::vector<int> acks;
    for (std::size_t off = 0; off < data.size(); off += 128) {
        const std::size_t n = std::min<std::size_t>(128, data.size() - off);
        Send(Bytes(data.begin() + static_cast<std::ptrdiff_t>(off),
                   data.begin() + static_cast<std::ptrdiff_t>(off + n)));
        const int ack = Status();
        if (ack < 0) break;
        acks.push_back(ack);
        if (ack == 0) break;
    }
    return acks;
}

std::optional<Bytes> Link::BulkRead(unsigned int length) {
    Bytes out;
    while (out.size() < length) {
        const auto n = std::min<unsigned int>(128, length - static_cast<unsigned>(out.size()));
        const Bytes piece = Receive(n);
        if (piece.size() != n) return std::nullopt;
        out.insert(out.end(), piece.begin(), piece.end());
    }
    return out;
}

bool Link::WriteCommand(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1, const Bytes& data) {
    if (Command(cmd, sub, p1, static_cast<std::uint32_t>(data.size())) <= 0) return false;
    const auto acks = BulkWrite(data);
    return acks.size() == (data.size() + 127) / 128 &&
           std::all_of(acks.begin(), acks.end(), [](int a) { return a > 0; });
}

std::optional<Bytes> Link::ReadCommand(std::uint8_t cmd, std::uint8_t sub, std::uint32_t p1,
                                       std::uint32_t length) {
    if (Command(cmd, sub, p1, length) <= 0) return std::nullopt;
    return BulkRead(length);
}

Bytes MakeImage(std::uint16_t id, std::uint8_t v1, std::uint8_t v2, std::size_t size) {
    Bytes image = Pattern(size, static_cast<std::uint8_t>(id));
    std::memcpy(image.data() + 0xF0, "CVFW", 4);
    image[0xF4] = static_cast<std::uint8_t>(id & 0xFF);
    image[0xF5] = static_cast<std::uint8_t>(id >> 8);
    image[0xF6] = v1;
    image[0xF7] = v2;
    return image;
}

std::uint32_t ByteSum(const Bytes& bytes) {
    std::uint32_t sum = 0;
    for (auto b : bytes) sum += b;
    return sum;
}

Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes out(size);
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

long long MillisecondsSince(long long startMs) {
    return NowMs() - startMs;
}

}  // namespace vwt
