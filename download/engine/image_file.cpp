#include "download/engine/image_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/folders.h"

#include "serial/display_text.h"

namespace kolvane {

namespace {

bool sameLetters(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

bool isTextSeparator(char c) {
    return c == ',' || c == '\x07' || c == '\n';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

NameParts splitImageName(std::string_view path) {
    NameParts parts;
    auto sep = path.find_last_of("/\\");
    parts.fileName = std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
    auto titleDot = parts.fileName.rfind('.');
    if (titleDot != std::string::npos) parts.title = parts.fileName.substr(0, titleDot);
    auto dot = path.rfind('.');
    parts.extension = std::string(dot == std::string_view::npos ? path : path.substr(dot + 1));
    return parts;
}

bool isTextImage(std::string_view path) {
    return sameLetters(splitImageName(path).extension, "ttf");
}

StartPosition analyseName(std::string_view path, const DownloadSettings& s) {
    const NameParts parts = splitImageName(path);
    const std::uint32_t base = flashBase(s.DeviceType);
    const int blockSize = s.RsBkSize > 0 ? s.RsBkSize : 1;
    StartPosition start;
    if (sameLetters(parts.extension, "bin")) {
        if (sameLetters(parts.title, "Boot")) {
            start.block = 0;
            start.address = base;
        } else {
            start.block = s.SaveAddress / blockSize;
            start.address = base + static_cast<std::uint32_t>(s.SaveAddress);
        }
    } else if (sameLetters(parts.extension, "ttf")) {
        const std::uint32_t top = s.DeviceType == 1 ? 0x101A0000u : 0x101C0000u;
        start.block = static_cast<int>((top - base) / static_cast<std::uint32_t>(blockSize));
        start.address = 0x101C0000u;
    } else {
        start.block = 0x10000 / blockSize;
        start.address = 0x101C0000u;
    }
    return start;
}

std::optional<std::string> placementProblem(const StartPosition& start, std::uint64_t imageSize,
                                            const DownloadSettings& s) {
    auto hex = [](std::uint64_t v) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "0x%08llX", static_cast<unsigned long long>(v));
        return std::string(buf);
    };
    if (usesMonitor(s)) {
        const std::uint64_t low = flashBase(s.DeviceType), high = low + kFlashSize - 1;
        const std::uint64_t bytes =
            std::min<std::uint64_t>(std::max<std::uint64_t>(imageSize, 1),
                                    std::uint64_t(kMaxSectorsPerCommand) * kSectorSize);
        const std::uint64_t first = start.address, last = first + bytes - 1;
        if (first < low || last > high)
            return "The image cannot be written: " + hex(first) + " to " + hex(last) +
                   " lies outside the device's flash (" + hex(low) + " to " + hex(high) + ")";
        return std::nullopt;
    }
    if (start.block < 0 || start.block > kMaxBlockNumber)
        return "The image cannot be written: it starts at block " + std::to_string(start.block) +
               " (flash address " + hex(start.address) + "), beyond the transfer's blocks (0 to " +
               std::to_string(kMaxBlockNumber) + ")";
    return std::nullopt;
}

std::vector<std::uint8_t> parseTextPiece(std::string_view piece, std::uint8_t& previous) {
    std::vector<std::uint8_t> values;
    auto isSeparator = isTextSeparator;
    std::size_t i = 0;
    while (i < piece.size()) {
        while (i < piece.size() && isSeparator(piece[i])) ++i;
        if (i == piece.size()) break;
        std::size_t end = i;
        while (end < piece.size() && !isSeparator(piece[end])) ++end;
        std::string_view token = piece.substr(i, end - i);
        i = end;

        std::size_t p = 0;
        while (p < token.size() && isBlank(token[p])) ++p;
        bool negative = false;
        if (p < token.size() && (token[p] == '+' || token[p] == '-')) negative = token[p++] == '-';
        if (p == token.size() || token[p] < '0' || token[p] > '9') {
            values.push_back(previous);
            continue;
        }
        // Only the low 8 bits count, so the digits are summed modulo 256: no overflow.
        unsigned value = 0;
        for (; p < token.size() && token[p] >= '0' && token[p] <= '9'; ++p)
            value = (value * 10 + static_cast<unsigned>(token[p] - '0')) & 0xFFu;
        if (negative) value = (0x100u - value) & 0xFFu;
        previous = static_cast<std::uint8_t>(value);
        values.push_back(previous);
    }
    return values;
}

std::optional<std::string> badTextToken(std::string_view piece) {
    std::size_t i = 0;
    while (i < piece.size()) {
        while (i < piece.size() && isTextSeparator(piece[i])) ++i;
        if (i == piece.size()) break;
        std::size_t end = i;
        while (end < piece.size() && !isTextSeparator(piece[end])) ++end;
        std::string_view token = piece.substr(i, end - i);
        i = end;
        std::size_t p = 0;
        while (p < token.size() && isBlank(token[p])) ++p;
        if (p < token.size() && (token[p] == '+' || token[p] == '-')) ++p;
        const std::size_t digits = p;
        while (p < token.size() && token[p] >= '0' && token[p] <= '9') ++p;
        const bool hasDigits = p > digits;
        while (p < token.size() && isBlank(token[p])) ++p;
        if (!hasDigits || p != token.size()) return std::string(token);
    }
    return std::nullopt;
}

ImageReader::ImageReader(std::FILE* file, Bytes bytes, bool textMode, std::uint64_t size)
    : file_(file), buffer_(std::move(bytes)), textMode_(textMode), size_(size) {}

ImageReader::~ImageReader() {
    if (file_) std::fclose(file_);
}

std::unique_ptr<ImageReader> ImageReader::openFile(const std::string& path, bool textMode,
                                                   platform::SystemError* err) {
    auto fail = [&](platform::SystemError e) -> std::unique_ptr<ImageReader> {
        if (err) *err = std::move(e);
        return nullptr;
    };
    platform::SystemError why;
    std::FILE* f = platform::openRegularFileStream(path, &why);
    if (!f) return fail(std::move(why));
    std::uint64_t size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long end = std::ftell(f);
        if (end > 0) size = static_cast<std::uint64_t>(end);
    }
    if (std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return nullptr;
    }
    return std::unique_ptr<ImageReader>(new ImageReader(f, {}, textMode, size));
}

std::unique_ptr<ImageReader> ImageReader::fromBytes(Bytes bytes, bool textMode) {
    std::uint64_t size = bytes.size();
    return std::unique_ptr<ImageReader>(new ImageReader(nullptr, std::move(bytes), textMode, size));
}

bool ImageReader::rewind() {
    consumed_ = 0;
    previousValue_ = kFirstTokenWithoutNumber;
    pos_ = 0;
    if (!file_) return true;
    buffer_.clear();
    std::clearerr(file_);
    return std::fseek(file_, 0, SEEK_SET) == 0;
}

std::optional<std::string> ImageReader::contentProblem(const std::string& path) {
    const std::string shown = serial::displayText(path);
    if (size_ == 0) return shown + " is empty: there is nothing to download.";
    if (!textMode_) return std::nullopt;
    std::optional<std::string> problem;
    std::uint64_t line = 1;
    bool anyValue = false;
    std::string piece;
    while (!problem && readPiece(piece) > 0) {
        if (auto bad = badTextToken(piece)) {
            problem = shown + ", line " + std::to_string(line) + ": \"" +
                      serial::displayText(*bad) + "\" is not a decimal number.";
        } else if (piece.find_first_not_of(",\x07\n") != std::string::npos) {
            anyValue = true;
        }
        if (piece.back() == '\n') ++line;
    }
    if (!problem && !anyValue) problem = shown + " holds no values: there is nothing to download.";
    if (!rewind() && !problem) problem = shown + " cannot be read again from its start.";
    return problem;
}

int ImageReader::rawPeek() {
    if (pos_ < buffer_.size()) return buffer_[pos_];
    if (!file_) return -1;
    buffer_.resize(64 * 1024);
    std::size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    buffer_.resize(n);
    pos_ = 0;
    return n > 0 ? buffer_[0] : -1;
}

int ImageReader::rawNext() {
    int c = rawPeek();
    if (c >= 0) {
        ++pos_;
        ++consumed_;
    }
    return c;
}

int ImageReader::next() {
    int c = rawNext();
    if (textMode_ && c == '\r' && rawPeek() == '\n') c = rawNext();
    return c;
}

std::size_t ImageReader::readPiece(std::string& piece) {
    piece.clear();
    while (piece.size() < kTextPieceLength) {
        int c = next();
        if (c < 0) break;
        piece.push_back(static_cast<char>(c));
        if (c == '\n') break;
    }
    return piece.size();
}

std::size_t ImageReader::readTransferBlock(std::uint8_t* block, std::size_t n) {
    std::memset(block, kFillByte, n);
    std::size_t count = 0;
    if (!textMode_) {
        while (count < n) {
            int c = next();
            if (c < 0) break;
            block[count++] = static_cast<std::uint8_t>(c);
        }
        return count;
    }
    std::string piece;
    while (count < n && readPiece(piece) > 0) {
        for (std::uint8_t v : parseTextPiece(piece, previousValue_)) {
            if (count == n) break;
            block[count++] = v;
        }
    }
    return count;
}

std::size_t ImageReader::readSectorData(std::uint8_t* buffer, std::size_t max) {
    std::size_t count = 0;
    while (count < max) {
        int c = next();
        if (c < 0) break;
        buffer[count++] = static_cast<std::uint8_t>(c);
    }
    return count;
}

}  // namespace kolvane
