#include "sim/ymodem_receive.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/cancel_flag.h"
#include "serial/ymodem.h"

namespace sim {

namespace {

// The scanner's end of the line as the YMODEM receiver reads it: the bytes the device had
// already taken from the line come first.
class PendingSimLine final : public serial::ByteLine {
public:
    PendingSimLine(SimLine& line, Bytes& pending, std::size_t& at, bool strayAck)
        : line_(line), pending_(pending), at_(at), strayAck_(strayAck) {}

    std::size_t read(void* buffer, std::size_t max, std::chrono::milliseconds wait) override {
        if (at_ < pending_.size()) {
            std::size_t n = std::min(max, pending_.size() - at_);
            std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(at_), n,
                        static_cast<std::uint8_t*>(buffer));
            at_ += n;
            return n;
        }
        if (!line_.isOpen()) return 0;
        if (!strayAck_) return line_.read(buffer, max, wait);
        // Small reads, so a block's start is seen while the rest of it is still on the wire.
        std::size_t n = line_.read(buffer, std::min(max, kStraySlice), wait);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t b = static_cast<std::uint8_t*>(buffer)[i];
            if (blockLeft_ > 0) {
                --blockLeft_;
            } else if (std::size_t length = serial::ymodemBlockLength(b)) {
                blockLeft_ = length - 1;
                if (b == serial::ymodem::kStx) line_.send(Bytes{serial::ymodem::kAck});
            }
        }
        return n;
    }
    std::size_t write(const void* data, std::size_t count, std::chrono::milliseconds) override {
        return line_.send(data, count) ? count : 0;
    }
    void purgeInput() override {
        at_ = pending_.size();
        std::uint8_t sink[256];
        while (line_.read(sink, sizeof sink, std::chrono::milliseconds(0)) > 0) {
        }
    }
    double byteTime() const override {
        auto s = line_.programSettings();
        return s && s->baudRate ? 10.0 / s->baudRate : 0;
    }
    std::string failure() const override { return line_.isOpen() ? "" : "the line closed"; }

private:
    SimLine& line_;
    Bytes& pending_;
    std::size_t& at_;
    bool strayAck_;
    std::size_t blockLeft_ = 0;  // bytes of the block under way still to come
    static constexpr std::size_t kStraySlice = 64;
};

// A folder of its own for one batch, removed with everything in it.
class BatchFolder {
public:
    BatchFolder() {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "sim-ymodem-XXXXXX");
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~BatchFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

BatchReceipt receiveYmodemBatch(SimLine& line, Bytes& pending, std::size_t& at,
                                std::stop_token stop, bool strayAck) {
    BatchFolder folder;
    if (folder.path().empty()) return {false, "cannot create a folder for the batch", {}};
    platform::CancelFlag cancel;
    std::stop_callback onStop(stop, [&cancel] { cancel.set(); });
    PendingSimLine byteLine(line, pending, at, strayAck);
    serial::YmodemReceiver receiver(byteLine, {}, &cancel);
    serial::YmodemResult result = receiver.receiveBatch(folder.path());

    BatchReceipt receipt{result.ok(), result.detail, {}};
    for (const auto& f : result.files) {
        std::ifstream in(f.path, std::ios::binary);
        ReceivedFile file{f.name, Bytes(std::istreambuf_iterator<char>(in), {})};
        if (!in.good() && !in.eof()) return {false, "cannot read back " + f.name, {}};
        receipt.files.push_back(std::move(file));
    }
    return receipt;
}

}  // namespace sim
