// Any bytes as an image file's settings, name and contents. The first byte picks the device and
// block size, the next four the save address, then the name up to the first NUL, then the file.
// Beyond the sanitizers' checks: a name splits into parts that are pieces of it, only a "ttf"
// name (in any letter case) reads as text, a binary image reads back as its bytes, a text image
// gives no more values than it has bytes and fills every block position it leaves with the
// fill byte, and checking a text image's content leaves it to be read from its start.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "download/engine/image_file.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

void checkName(std::string_view path, const kolvane::DownloadSettings& settings,
               std::uint64_t size) {
    const kolvane::NameParts parts = kolvane::splitImageName(path);
    check(path.ends_with(parts.fileName));
    check(parts.fileName.find_first_of("/\\") == std::string::npos);
    const std::size_t dot = parts.fileName.rfind('.');
    check(dot == std::string::npos
              ? parts.title.empty()
              : parts.title.size() == dot && parts.fileName.starts_with(parts.title + "."));
    check(path.ends_with(parts.extension));
    check(parts.extension.find('.') == std::string::npos || parts.extension == path);
    check(kolvane::isTextImage(path) == (lower(parts.extension) == "ttf"));

    const kolvane::StartPosition start = kolvane::analyseName(path, settings);
    if (lower(parts.extension) == "bin" && lower(parts.title) == "boot")
        check(start.block == 0 && start.address == kolvane::flashBase(settings.DeviceType));
    auto problem = kolvane::placementProblem(start, size, settings);
    check(!problem || !problem->empty());
    if (!kolvane::usesMonitor(settings) && start.block >= 0 &&
        start.block <= kolvane::kMaxBlockNumber)
        check(!problem);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) return 0;
    static constexpr int kBlockSizes[] = {kolvane::kBin8kBlockSize,
                                          kolvane::kMotHexBlockSize,
                                          kolvane::kBootstrapBlockSize,
                                          1,
                                          3,
                                          512,
                                          0xFFFF,
                                          -1};
    kolvane::DownloadSettings settings;
    settings.DeviceType = data[0] % 3;
    settings.RsBkSize = kBlockSizes[(data[0] >> 2) % std::size(kBlockSizes)];
    settings.SaveAddress =
        static_cast<std::int32_t>(std::uint32_t(data[1]) << 24 | std::uint32_t(data[2]) << 16 |
                                  std::uint32_t(data[3]) << 8 | data[4]);
    const std::string_view rest(reinterpret_cast<const char*>(data) + 5, size - 5);
    const std::size_t nul = rest.find('\0');
    const std::string_view path = rest.substr(0, nul);
    const std::string_view content =
        nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    checkName(path, settings, content.size());

    const kolvane::Bytes bytes(content.begin(), content.end());
    // Binary: the blocks are the file.
    {
        auto reader = kolvane::ImageReader::fromBytes(bytes, false);
        std::uint8_t block[97];
        kolvane::Bytes back;
        while (std::size_t n = reader->readTransferBlock(block, sizeof block)) {
            check(n <= sizeof block);
            back.insert(back.end(), block, block + n);
        }
        check(back == bytes && reader->consumed() == bytes.size());
    }
    // Text: CR LF read as LF, values no more than bytes, the rest of a block filled.
    {
        auto reader = kolvane::ImageReader::fromBytes(bytes, true);
        kolvane::Bytes translated(kolvane::kSectorSize);
        translated.resize(reader->readSectorData(translated.data()));
        kolvane::Bytes expected;
        for (std::size_t i = 0; i < bytes.size(); ++i)
            if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
                expected.push_back(bytes[i]);
        check(translated == expected);
    }
    {
        auto reader = kolvane::ImageReader::fromBytes(bytes, true);
        auto problem = reader->contentProblem("image.ttf");
        check(!problem || !problem->empty());
        check(reader->consumed() == 0);
        const std::size_t blockSize = 1 + data[0] % 64;
        std::uint8_t block[64];
        std::uint64_t values = 0, before = 0;
        while (std::size_t n = reader->readTransferBlock(block, blockSize)) {
            check(n <= blockSize && reader->consumed() > before);
            before = reader->consumed();
            for (std::size_t i = n; i < blockSize; ++i) check(block[i] == kolvane::kFillByte);
            values += n;
        }
        check(values <= bytes.size() && reader->consumed() == bytes.size());
    }
    return 0;
}
