#include "download/engine/download_thread.h"

#include <chrono>
#include <memory>

#include "download/engine/block_transfer.h"
#include "download/engine/debug_output.h"
#include "download/engine/flash_writer.h"
#include "download/engine/image_file.h"

namespace kolvane {

using namespace std::chrono_literals;

CDownloadThread::CDownloadThread() : line_(cancel_) {}

CDownloadThread::~CDownloadThread() {
    Shutdown();
}

void CDownloadThread::Shutdown() {
    if (!IsRunning()) return;
    RequestCancel();
    PostThreadCommand(kCloseLine);
    Destroy();
    line_.close();
}

void CDownloadThread::OnThreadCommand(std::uint32_t word, const CommandArgument& argument) {
    auto command = decodeCommand(word);
    if (!command) return;  // idle call or wake-up
    // A Cancel belongs to the command it was meant for.
    if (!cancelledForGood_) cancel_.reset();
    const auto arg = argument.number;
    const auto asInt = [&] { return static_cast<int>(arg); };
    DownloadJob job{line_, settings_, cancel_, [this](const std::string& t) { Log(t); }, nullptr};
    int result = 1;
    switch (*command) {
        case kCloseLine:
            line_.close();
            break;
        case kOpenLine:
            result = job.openLine(0) ? 1 : 0;
            break;
        case kDownload:
            result = Download(argument.text);
            break;
        case kSetPort:
            settings_.RsPort = asInt();
            line_.close();
            result = job.openLine(0) ? 1 : 0;
            break;
        case kSetBlockSize:
            // Zero would divide by zero and the frame's length field has 16 bits.
            if (arg >= 1 && arg <= kMaxBlockSize)
                settings_.RsBkSize = asInt();
            else
                result = 0;
            break;
        case kSetDeviceType:
            settings_.DeviceType = asInt();
            break;
        case kSetIfType:
            settings_.IfType = asInt();
            break;
        case kSetEndianType:
            settings_.EndianType = asInt();
            break;
        case kSetSaveAddress:
            settings_.SaveAddress = static_cast<std::int32_t>(arg);
            break;
        case kSetUseZwFlg:
            settings_.UseZwFlg = asInt();
            break;
        default:
            debugOutput("DIO line Error");
            reports_.push(platform::Report::message("DIO line Error",
                                                    platform::Report::Severity::Information));
            return;
    }
    debugOutput("command " + std::to_string(*command) + " completed with " +
                std::to_string(result));
    reports_.push(platform::Report::completed(result));
}

int CDownloadThread::Download(const std::string& path) {
    DownloadJob job{line_, settings_, cancel_, [this](const std::string& t) { Log(t); },
                    [this](int percent) { reports_.push(platform::Report::progress(percent)); }};
    const StartPosition start = analyseName(path, settings_);
    std::unique_ptr<ImageReader> image;  // closed whenever the command ends
    if (!prepareDownload(job, path, start, image)) return 0;
    if (!cancel_.pause(1000ms)) return job.cancelledAt(start.block);
    if (usesMonitor(settings_)) return writeFlash(job, *image, start.address);
    return transferImage(job, *image, start.block);
}

}  // namespace kolvane
