#include "picture/engine/picture_files.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <string_view>
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

// The second line of a message about a file the program writes.
std::string reasonLine(const std::string& path, const platform::SystemError& why) {
    return "\n" + platform::cannotWriteText(serial::displayText(path), why);
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
    platform::SystemError why;
    if (tempFile.empty() ||
        !platform::replaceFileContents(
            tempFile, std::string_view(reinterpret_cast<const char*>(data), length), &why)) {
        showError("Cannot create temp. file" +
                      (tempFile.empty() ? std::string() : reasonLine(tempFile, why)),
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
    // Written beside the name and renamed over it when complete: a failure half-way keeps
    // the picture that had the name before.
    platform::DurableFile out;
    platform::SystemError why;
    if (!out.begin(name, &why)) {
        showMessage("Cannot open output file" + reasonLine(name, why));
        return false;
    }
    std::vector<char> chunk(kCopyChunkSize);
    bool ok = true;
    for (;;) {
        std::size_t n = std::fread(chunk.data(), 1, chunk.size(), in.get());
        if (n > 0 && !out.write(chunk.data(), n, &why)) ok = false;
        if (!ok || n < chunk.size()) break;
    }
    if (ok && std::ferror(in.get())) {
        ok = false;
        why = platform::SystemError::fromErrno();
    }
    if (ok) ok = out.commit(&why);
    if (!ok) showMessage("Cannot write output file" + reasonLine(name, why));
    return ok;
}

}  // namespace pictavo
