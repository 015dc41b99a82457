// Image files: recognised by their contents when read, chosen by the file
// name's extension when written.  Each format has its own file; PNG, JPEG and
// TIFF go through libpng, libjpeg-turbo and libtiff.
#pragma once

#include <cstdio>
#include <string>

#include "image.h"

namespace tool {

struct WriteOptions {
    int quality = 90;  // JPEG
};

// A file's bytes; size counts them.
struct FileBytes {
    Bytes data;
    size_t size = 0;
};
FileBytes readFile(const std::string& path);

// Reads any supported file.  Errors name the file.
OwnedImage loadImage(const std::string& path);
// The same for bytes held in memory; name is used in messages.
OwnedImage decodeImage(FileBytes file, const std::string& name);

// Writes by the extension of path, through a temporary file beside it that is
// renamed when complete, so a failure leaves no partial output.
void saveImage(const ImageHeader* image, const std::string& path, const WriteOptions& options);

// The extensions saveImage knows, for messages: ".bmp, .png, ...".
const char* outputExtensions();
bool isOutputExtension(const std::string& path);
// Lower-case extension without the dot ("" when none).
std::string extensionOf(const std::string& path);

// What the file is: format and how the tool reads it.
std::string describeFile(const std::string& path);

// The readers and writers of each format.  Readers throw UserError with the
// reason (without the file name); writers write to an open file.
OwnedImage readBmp(FileBytes file);
void writeBmp(const ImageHeader* image, FILE* out);
std::string describeBmp(const FileBytes& file);
OwnedImage readPnm(const FileBytes& file);
// kind: 'b' (.pbm), 'g' (.pgm), 'p' (.ppm), 'n' (.pnm: gray or colour), 'f' (.pfm)
void writePnm(const ImageHeader* image, FILE* out, char kind);
OwnedImage readPng(const FileBytes& file);
void writePng(const ImageHeader* image, FILE* out);
OwnedImage readJpeg(const FileBytes& file);
void writeJpeg(const ImageHeader* image, FILE* out, int quality);
OwnedImage readTiff(const FileBytes& file);
void writeTiff(const ImageHeader* image, FILE* out);
// Messages of libtiff land where the TIFF reader and writer read them.
void installTiffMessages();

// Versions of the format libraries, for --version.
std::string pngVersion();
std::string jpegVersion();
std::string tiffVersion();

}  // namespace tool
