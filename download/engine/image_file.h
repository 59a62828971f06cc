// Firmware image files: where an image goes (from its name), and how its bytes are read.
//
// The name decides the start block of a block transfer and the start flash address of a
// bootstrap download; names are compared without regard to letter case, as Windows file names
// are. A ".ttf" file is a decimal text image read in text mode; every other file is read as raw
// binary. Readers work over a file or over bytes in memory, so every rule
// here is testable without files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/engine/download_settings.h"
#include "platform/system_error.h"

namespace kolvane {

using Bytes = std::vector<std::uint8_t>;

// Parts of an image path. Both '/' and '\' end a folder name.
struct NameParts {
    std::string fileName;   // after the last folder separator
    std::string title;      // file name up to its last '.'; empty when it has none
    std::string extension;  // after the last '.' of the whole path; the whole path without one
};
NameParts splitImageName(std::string_view path);

struct StartPosition {
    int block = 0;              // K0, first block number of a block transfer
    std::uint32_t address = 0;  // A0, first flash address of a bootstrap download
};
// Only "Boot" + "bin" (in any letter case) starts at block 0.
StartPosition analyseName(std::string_view path, const DownloadSettings& settings);

bool isTextImage(std::string_view path);  // extension "ttf", in any letter case

// The device's flash: kFlashSize bytes from flashBase().
constexpr std::uint32_t kFlashSize = 0x400000;
// Why an image cannot be placed where its name puts it (a start block beyond the frame's
// block field, a bootstrap image outside the device's flash), as a log line; nothing when it
// fits.
std::optional<std::string> placementProblem(const StartPosition& start, std::uint64_t imageSize,
                                            const DownloadSettings& settings);

constexpr std::size_t kSectorSize = 0x10000;
// A bootstrap download writes at most this many sectors (2 MiB).
constexpr int kMaxSectorsPerCommand = 32;
// ".ttf" lines are read in pieces of at most this many characters.
constexpr std::size_t kTextPieceLength = 511;
// Value of a ".ttf" token without a decimal number when no token came before it.
constexpr std::uint8_t kFirstTokenWithoutNumber = 0;
// Block bytes the image does not fill (a short last block, words past the end of a bootstrap
// image): the erased flash value, so the device writes nothing it was not given.
constexpr std::uint8_t kFillByte = 0xFF;

// One ".ttf" piece turned into block values: tokens split at ',', BEL and LF (runs make no
// empty tokens), each read as a decimal integer (leading blanks skipped, sign allowed) of which
// the low 8 bits count. A token without a number repeats previous; previous is updated.
std::vector<std::uint8_t> parseTextPiece(std::string_view piece, std::uint8_t& previous);
// The first token of a piece that is not a decimal number with nothing else but blanks around
// it (an empty token, "0x1F", "12abc", a binary byte); nothing when every token is one.
std::optional<std::string> badTextToken(std::string_view piece);

class ImageReader {
public:
    // Opens a file; text mode turns CR LF into LF as the platform's text mode does. Only a
    // regular file is opened (a FIFO or a device would block or never end); err says why not.
    static std::unique_ptr<ImageReader> openFile(const std::string& path, bool textMode,
                                                 platform::SystemError* err = nullptr);
    static std::unique_ptr<ImageReader> fromBytes(Bytes bytes, bool textMode);
    ~ImageReader();
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;

    // Fills block[0..n) with the next block: binary images take up to n bytes, text images the
    // values of whole pieces until n values are stored (values of that piece beyond the n-th
    // are dropped). Positions past the count hold kFillByte. Returns the count; 0 = exhausted.
    std::size_t readTransferBlock(std::uint8_t* block, std::size_t n);
    // Up to max bytes as they are in the (text-mode) file.
    std::size_t readSectorData(std::uint8_t* buffer, std::size_t max = kSectorSize);

    // Why the image must not be sent, as a log line naming path: an empty file, a text image
    // without values or with a token that is not a decimal number (with its line). Reads a
    // text image once through and starts it again; call it before reading anything.
    std::optional<std::string> contentProblem(const std::string& path);

    std::uint64_t size() const { return size_; }          // bytes in the file
    std::uint64_t consumed() const { return consumed_; }  // raw bytes taken so far

private:
    ImageReader(std::FILE* file, Bytes bytes, bool textMode, std::uint64_t size);
    int rawNext();
    int rawPeek();
    int next();  // one character, text-mode translated; -1 at the end
    std::size_t readPiece(std::string& piece);
    bool rewind();

    std::FILE* file_ = nullptr;
    Bytes buffer_;
    std::size_t pos_ = 0;
    bool textMode_ = false;
    std::uint64_t size_ = 0;
    std::uint64_t consumed_ = 0;
    std::uint8_t previousValue_ = kFirstTokenWithoutNumber;
};

// 16-bit flash word from two file bytes: EndianType 0 gives b0*256+b1, otherwise b0+b1*256.
constexpr std::uint16_t wordValue(std::uint8_t b0, std::uint8_t b1, int endianType) {
    return endianType == 0 ? static_cast<std::uint16_t>(b0 << 8 | b1)
                           : static_cast<std::uint16_t>(b1 << 8 | b0);
}

}  // namespace kolvane
