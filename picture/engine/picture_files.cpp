#include "picture/engine/picture_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "picture/engine/messages.h"
#include "platform/folders.h"
#include "serial/display_text.h"

namespace pictavo {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openFile(const std::string& path, const char* mode) {
    return File(path.empty() ? nullptr : std::fopen(path.c_str(), mode));
}

std::string reasonLine(const std::string& path, int err) {
    // Appended piece by piece: g++ 12 warns wrongly about operator+ on a temporary here.
    std::string line = "\n";
    line += serial::displayText(path);
    line += ": ";
    line += std::strerror(err);
    return line;
}

}  // namespace

std::string incompletePicture(const BitmapInfo* header, const std::uint8_t* data,
                              std::size_t length) {
    const std::string lead = "The picture is incomplete: ";
    if (length == 0) return lead + "the scanner sent no picture data.";
    if (!header) {
        for (std::size_t i = length - 1; i > 0; --i)
            if (data[i - 1] == 0xFF && data[i] == 0xD9) return {};
        return lead + "its JPEG data has no end marker (FF D9).";
    }
    if (length < header->sizeImage)
        return lead + std::to_string(length) + " of " + std::to_string(header->sizeImage) +
               " bytes of its rows arrived.";
    return {};
}

std::string defaultPictureName() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char name[40];
    std::strftime(name, sizeof name, "picture-%Y%m%d-%H%M%S", &local);
    return name;
}

bool isBmpFile(const std::string& path) {
    File f = openFile(path, "rb");
    char magic[2] = {};
    return f && std::fread(magic, 1, 2, f.get()) == 2 && magic[0] == 'B' && magic[1] == 'M';
}

std::string makeTempPictureFile() {
    std::string folder = platform::tempFolder();
    if (folder.empty() || folder.size() > kTempPathLimit) {
        showMessage("Cannot get the temp path");
        return {};
    }
    platform::SystemError err;
    auto name = platform::createUniqueTempFile(folder, kTempPrefix, &err);
    if (!name) {
        showMessage("Cannot get a unique temp file name\n" + serial::displayText(folder) + ": " +
                    err.text);
        return {};
    }
    if (!openFile(*name, "w+b")) {
        showMessage("Cannot create a temp file");
        return {};
    }
    return *name;
}

bool storePicture(const std::string& tempFile, const BitmapInfo* header, const std::uint8_t* data,
                  std::size_t length) {
    std::vector<std::uint8_t> bmp;
    if (header) {
        bmp = makeGreyBmp(*header, data, length);
        data = bmp.data();
        length = bmp.size();
    }
    File f = openFile(tempFile, "wb");
    int err = errno;
    bool ok = f && (length == 0 || std::fwrite(data, 1, length, f.get()) == length);
    if (f && !ok) err = errno;
    if (f && std::fclose(f.release()) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        showError("Cannot create temp. file" +
                      (tempFile.empty() ? std::string() : reasonLine(tempFile, err)),
                  true);
        return false;
    }
    return true;
}

std::string saveNameFor(const std::string& chosenPath, const std::string& tempFile) {
    if (platform::fileNameOf(chosenPath).find('.') != std::string::npos) return chosenPath;
    return chosenPath + (isBmpFile(tempFile) ? ".bmp" : ".jpg");
}

bool savePictureCopy(const std::string& tempFile, const std::string& chosenPath,
                     std::string* savedAs) {
    std::string name = saveNameFor(chosenPath, tempFile);
    if (savedAs) *savedAs = name;
    File in = openFile(tempFile, "rb");
    if (!in) {
        showMessage("Cannot open tmp file for reading");
        return false;
    }
    File out = openFile(name, "wb");
    if (!out) {
        showMessage("Cannot open output file" + reasonLine(name, errno));
        return false;
    }
    std::vector<char> chunk(kCopyChunkSize);
    bool ok = true;
    for (;;) {
        std::size_t n = std::fread(chunk.data(), 1, chunk.size(), in.get());
        if (n > 0 && std::fwrite(chunk.data(), 1, n, out.get()) != n) ok = false;
        if (!ok || n < chunk.size()) break;
    }
    if (std::ferror(in.get())) ok = false;
    int err = errno;
    if (std::fclose(out.release()) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) showMessage("Cannot write output file" + reasonLine(name, err));
    return ok;
}

}  // namespace pictavo
