#include "download/engine/block_transfer.h"

#include <chrono>
#include <cstdio>

#include "download/engine/debug_output.h"

namespace kolvane {

using namespace std::chrono_literals;

namespace {

constexpr int kRetransmissionLimit = 255;

bool is(std::uint8_t a, std::uint8_t b, const char* code) {
    return (a == code[0] && b == code[1]) || (a == code[1] && b == code[0]);
}

std::string replyText(const std::uint8_t* r) {
    auto show = [](std::uint8_t c) {
        char buf[8];
        std::snprintf(buf, sizeof buf, c >= 0x20 && c < 0x7F ? "%c" : "<%02X>", c);
        return std::string(buf);
    };
    return show(r[0]) + show(r[1]);
}

class Progress {
public:
    Progress(const DownloadJob& job, const ImageReader& image) : job_(job), image_(image) {}
    void update() {
        if (!job_.progress || image_.size() == 0) return;
        int percent = static_cast<int>(image_.consumed() * 100 / image_.size());
        if (percent != last_) job_.progress(last_ = percent);
    }

private:
    const DownloadJob& job_;
    const ImageReader& image_;
    int last_ = -1;
};

}  // namespace

Reply classifyReply(std::uint8_t a, std::uint8_t b) {
    if (is(a, b, "NX")) return Reply::Accepted;
    if (is(a, b, "RT")) return Reply::Rejected;
    if (is(a, b, "ED")) return Reply::StopAccepted;
    if (is(a, b, "BE")) return Reply::FlashBlockWritten;
    if (is(a, b, "EG")) return Reply::FlashErased;
    if (is(a, b, "WE")) return Reply::FlashWriteFailed;
    if (is(a, b, "FE")) return Reply::FlashDone;
    return Reply::Other;
}

std::uint16_t blockChecksum(const std::uint8_t* data, std::size_t count) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += data[i];
    return static_cast<std::uint16_t>(sum);
}

BlockFrame::BlockFrame(int blockSize)
    : blockSize_(blockSize), bytes_(static_cast<std::size_t>(blockSize) + kFrameOverhead, 0) {}

void BlockFrame::seal(int blockNumber, int endianType) {
    const auto length = static_cast<std::uint16_t>(blockSize_);
    const auto number = static_cast<std::uint16_t>(blockNumber);
    const std::uint16_t sum = blockChecksum(data(), static_cast<std::size_t>(blockSize_));
    std::uint8_t* trailer = data() + blockSize_;
    if (endianType == 0) {
        bytes_[0] = length >> 8, bytes_[1] = length & 0xFF;
        bytes_[2] = number >> 8, bytes_[3] = number & 0xFF;
        trailer[0] = sum >> 8, trailer[1] = sum & 0xFF;
    } else {
        bytes_[0] = number & 0xFF, bytes_[1] = number >> 8;
        bytes_[2] = length & 0xFF, bytes_[3] = length >> 8;
        trailer[0] = sum & 0xFF, trailer[1] = sum >> 8;
    }
    trailer[2] = trailer[3] = 0;
}

Bytes stopFrame(int blockSize) {
    Bytes frame(static_cast<std::size_t>(blockSize) + kFrameOverhead, 0);
    frame[0] = 'E';
    frame[1] = 'D';
    return frame;
}

std::array<std::string, 4> modeSwitchCommands(int ifType) {
    return {
        std::string("\x1BUX\r\r\r\r\r"),
        std::string("\x1B[XUX\r\r\r"),
        ifType == 0 ? std::string("\x1B[X.Z\r\r\r") : std::string("\x1B[E49\r\r\r"),
        std::string("\x1BZW\r\r\r\r\r"),
    };
}

bool prepareDownload(const DownloadJob& job, const std::string& path, const StartPosition& start,
                     std::unique_ptr<ImageReader>& image) {
    const int startBlock = start.block;
    if (!job.line.isOpen()) {
        job.log("RS line for Download can't be used.");
        job.logOpenAdvice();
        return false;
    }
    platform::SystemError why;
    image = ImageReader::openFile(path, isTextImage(path), &why);
    if (!image) {
        job.log("An input file didn't open it.");
        job.log(serial::displayText(path) + ": " + why.text);
        return false;
    }
    job.log("An input file was opened.");
    // Nothing goes to the device for an image it could not take.
    if (auto problem = image->contentProblem(path)) {
        job.log(*problem);
        return false;
    }
    if (auto problem = placementProblem(start, image->size(), job.settings)) {
        job.log(*problem);
        return false;
    }
    if (!usesMonitor(job.settings) && job.settings.UseZwFlg == 1) {
        const milliseconds pauses[4] = {300ms, 500ms, 500ms, 500ms};
        const auto commands = modeSwitchCommands(job.settings.IfType);
        for (int i = 0; i < 4; ++i) {
            if (!job.cancel.pause(pauses[i])) return job.cancelledAt(startBlock);
            WaitResult r = job.line.write(commands[i].data(), commands[i].size());
            if (r == WaitResult::Cancelled) return job.cancelledAt(startBlock);
            if (r != WaitResult::Done)
                job.log(std::to_string(startBlock) + ":Data transmitting time out");
        }
    }
    job.line.close();
    return true;
}

int transferImage(const DownloadJob& job, ImageReader& image, int startBlock) {
    if (!job.openLine(kTransferBaudRate)) return 0;
    const int blockSize = job.settings.RsBkSize;
    const int endian = job.settings.EndianType;
    DownloadLine& line = job.line;
    Progress progress(job, image);

    // 1. Transfer cycles.
    BlockFrame frame(blockSize);
    std::uint8_t reply[2] = {'N', 'X'};
    int retransmissions = 0;  // rejections and unknown replies, over the whole image
    ReplyWatch watch(job);
    std::int64_t k = startBlock;  // wide enough that counting on from any start never overflows
    std::int64_t sending = startBlock;  // the block of the frame on the line
    for (;;) {
        Reply r = classifyReply(reply[0], reply[1]);
        if (r == Reply::Rejected) {
            job.log(std::to_string(k) + ":Transfer failure (re-transfer start)");
            if (retransmissions > kRetransmissionLimit) return 0;
            ++retransmissions;
        } else if (r == Reply::Accepted) {
            std::size_t count =
                image.readTransferBlock(frame.data(), static_cast<std::size_t>(blockSize));
            const std::int64_t number = k++;
            if (blockSize == kBin8kBlockSize || k % 10 == 0)
                job.log(std::to_string(number) + ":Transfer success");
            if (count == 0) break;
            if (number > kMaxBlockNumber) {
                job.log(std::to_string(number) + ":The image runs past the last block number (" +
                        std::to_string(kMaxBlockNumber) + ")");
                return 0;
            }
            frame.seal(static_cast<int>(number), endian);
            sending = number;
            progress.update();
        } else {
            debugOutput("unknown reply " + replyText(reply) + ", block sent again");
            // A device answering only nonsense is given up as one rejecting every block is.
            if (retransmissions > kRetransmissionLimit) {
                job.log(std::to_string(k) + ":Unknown reply " + replyText(reply) +
                        ": the limit of " + std::to_string(kRetransmissionLimit + 1) +
                        " retransmissions is used up");
                return 0;
            }
            ++retransmissions;
        }
        watch.check();

        // Whatever is queued now answers nothing we sent: a reply that came too late.
        line.discardInput();
        if (!line.startRead(2)) return 0;
        if (!job.cancel.pause(20ms)) return job.cancelledAt(sending);
        line.startWrite(frame.bytes().data(), frame.bytes().size());
        WaitResult w = line.waitWrite(DownloadLine::kWait);
        if (w == WaitResult::Cancelled) return job.cancelledAt(sending);
        if (w == WaitResult::Failed) return job.lineLost();
        if (w == WaitResult::TimedOut) {
            job.log(std::to_string(k) + ":Data transmitting time out");
            reply[0] = 'R', reply[1] = 'T';
        }
        std::uint8_t got[2];
        WaitResult rd = line.waitRead(DownloadLine::kWait, got);
        if (rd == WaitResult::Cancelled) return job.cancelledAt(sending);
        if (rd == WaitResult::Failed) return job.lineLost();
        if (rd == WaitResult::Done) {
            reply[0] = got[0], reply[1] = got[1];
            if (classifyReply(got[0], got[1]) != Reply::Other) watch.validReply();
        } else {
            job.log(std::to_string(k) + ":Result receiving time out");
            reply[0] = 'R', reply[1] = 'T';
        }
        if (job.cancel.isSet()) return job.cancelledAt(sending);
    }

    // 2. Stop exchange, until the device accepts.
    const Bytes stop = stopFrame(blockSize);
    for (;;) {
        if (!job.cancel.pause(1000ms)) return job.cancelledAt(sending);
        job.log("Receiving stop directions transmission");
        line.discardInput();
        if (!line.startRead(2)) return job.lineLost();
        line.startWrite(stop.data(), stop.size());
        WaitResult w = line.waitWrite(DownloadLine::kWait);
        if (w == WaitResult::Cancelled) return job.cancelledAt(sending);
        if (w == WaitResult::Failed) return job.lineLost();
        if (w == WaitResult::TimedOut) job.log("Receiving stop directions transmitting time out");
        std::uint8_t got[2];
        WaitResult rd = line.waitRead(DownloadLine::kWait, got);
        if (rd == WaitResult::Cancelled) return job.cancelledAt(sending);
        if (rd == WaitResult::Failed) return job.lineLost();
        if (rd == WaitResult::TimedOut)
            job.log("Receiving stop directions result receiving time out");
        if (rd == WaitResult::Done && classifyReply(got[0], got[1]) == Reply::StopAccepted) break;
        if (rd == WaitResult::Done && classifyReply(got[0], got[1]) != Reply::Other)
            watch.validReply();
        watch.check();
        if (job.cancel.isSet()) return job.cancelledAt(sending);
    }
    job.log("All the file data transmitting completion");

    // 3. The device's flash-writing reports, until it reports the end. A block it could not
    // write fails the download, whatever the end report says.
    bool writeFailed = false;
    watch.validReply();  // the stop was just accepted
    for (;;) {
        std::uint8_t got[2];
        WaitResult rd = line.read(got, 2, DownloadLine::kWait);
        if (rd == WaitResult::Cancelled) return job.cancelledAt(sending);
        if (rd == WaitResult::Failed) return job.lineLost();
        if (rd == WaitResult::TimedOut) {
            job.log("FROM block writing result receiving time out");
        } else {
            switch (classifyReply(got[0], got[1])) {
                case Reply::FlashDone:
                    job.log("All the FROM writing completion");
                    return writeFailed ? 0 : 1;
                case Reply::FlashWriteFailed:
                    job.log("FROM block: Writing failure");
                    writeFailed = true;
                    break;
                case Reply::FlashErased:
                    job.log("FROM block: Initialization completion");
                    break;
                case Reply::FlashBlockWritten:
                    job.log("FROM block: Writing completion");
                    break;
                default:
                    debugOutput("unknown flash report " + replyText(got));
                    break;
            }
            if (classifyReply(got[0], got[1]) != Reply::Other) watch.validReply();
        }
        watch.check();
        if (job.cancel.isSet()) return job.cancelledAt(sending);
    }
}

}  // namespace kolvane
