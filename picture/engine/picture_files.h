// The files a picture passes through: the temporary picture file that the image callback
// writes and the viewer reads, and the copy the user saves from the viewer (or names with
// the command line's --output).
//
// A JPEG picture is stored as the scanner sent it. An uncompressed picture is stored as a
// complete 8-bit grey BMP file (file header, the engine's bitmap header with its grey
// palette, the rows), so it can be shown and saved like a JPEG one.
//
// Failures are shown through showMessage (messages.h) with the texts the user knows, and
// reported by the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "picture/engine/capture_protocol.h"

namespace pictavo {

constexpr char kTempPrefix[] = "NEW";
constexpr std::size_t kTempPathLimit = 512;
constexpr std::size_t kCopyChunkSize = 16000;

// Makes a new empty file with the prefix "NEW" in platform::tempFolder() and returns its
// name; on failure shows "Cannot get the temp path", "Cannot get a unique temp file name" (with
// the folder and the reason on a second line) or "Cannot create a temp file" and returns an
// empty name.
std::string makeTempPictureFile();

// Writes the received picture into the temporary file, replacing what it held: the bytes as
// they came (header null, a JPEG picture) or a grey BMP file built from header and rows.
// Shows "Cannot create temp. file" (caption "Error", on top), with a second line "Cannot write
// PATH: REASON" when there is a name, when the file cannot be written or the name is empty.
bool storePicture(const std::string& tempFile, const BitmapInfo* header, const std::uint8_t* data,
                  std::size_t length);

// Why a received picture is not whole, as the user is told ("The picture is incomplete: ..."):
// no data at all, a JPEG stream without its end marker (FF D9), or fewer rows than the
// scanner's header announced (header->sizeImage). Empty when it is whole. The picture is
// stored all the same: its bytes may help whoever looks into the scanner.
std::string incompletePicture(const BitmapInfo* header, const std::uint8_t* data,
                              std::size_t length);

// Whether the file is a BMP file (an uncompressed picture as storePicture stores it).
bool isBmpFile(const std::string& path);

// The name a picture gets when only a folder is given: "picture-YYYYMMDD-hhmmss", the
// extension following as for any chosen name.
std::string defaultPictureName();

// The name a copy is saved under: the chosen name, with ".jpg" added when it has no
// extension (".bmp" when the stored picture is a BMP file).
std::string saveNameFor(const std::string& chosenPath, const std::string& tempFile);

// Copies the temporary file byte for byte, in chunks of 16000 bytes, to saveNameFor(chosen),
// through platform::DurableFile: a copy that breaks off leaves the picture that had the name.
// Shows "Cannot open tmp file for reading" or "Cannot open output file" (and "Cannot write
// output file" when the copy breaks off), the latter two with a second line "Cannot write
// PATH: REASON". savedAs, when given, receives the name used.
bool savePictureCopy(const std::string& tempFile, const std::string& chosenPath,
                     std::string* savedAs = nullptr);

}  // namespace pictavo
