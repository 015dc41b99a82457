#include "formats.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tool {

FileBytes readFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) throw UserError(path + ": cannot open: " + std::strerror(errno));
    struct stat info {};
    FileBytes file;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        // Mapped, the file's pages are used where they lie: reading a large
        // bitmap costs no copy.  Private: changes stay in this process.
        file.size = static_cast<size_t>(info.st_size);
        void* p = ::mmap(nullptr, file.size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_POPULATE, fd,
                         0);
        if (p != MAP_FAILED) {
            const size_t size = file.size;
            file.data = Bytes(static_cast<unsigned char*>(p),
                              [size](unsigned char* q) { ::munmap(q, size); });
            ::close(fd);
            return file;
        }
    }
    if (S_ISREG(info.st_mode)) {
        file.size = static_cast<size_t>(info.st_size);
        file.data.reset(new unsigned char[file.size + 1]);
        size_t done = 0;
        while (done < file.size) {
            ssize_t n = ::read(fd, file.data.get() + done, file.size - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        file.size = done;
    }
    ::close(fd);
    if (!file.data) throw UserError(path + ": not a file");
    return file;
}

namespace {

template <size_t N>  // magic may hold a 0 byte: its length is the array's
bool startsWith(const FileBytes& file, const char (&magic)[N]) {
    return file.size >= N - 1 && std::memcmp(file.data.get(), magic, N - 1) == 0;
}

bool isPnm(const FileBytes& file) {
    return file.size >= 2 && file.data[0] == 'P' &&
           std::strchr("123456fF", static_cast<char>(file.data[1])) && file.data[1] != 0;
}

}  // namespace

OwnedImage decodeImage(FileBytes file, const std::string& name) {
    try {
        if (startsWith(file, "BM")) return readBmp(std::move(file));
        if (startsWith(file, "\x89PNG")) return readPng(file);
        if (startsWith(file, "\xFF\xD8\xFF")) return readJpeg(file);
        if (startsWith(file, "II*") || startsWith(file, "MM\x00*")) return readTiff(file);
        if (isPnm(file)) return readPnm(file);
    } catch (const UserError& e) {
        throw UserError(name + ": " + e.what());
    }
    throw UserError(name + ": not a BMP, PNG, JPEG, TIFF, PNM or PFM file");
}

OwnedImage loadImage(const std::string& path) { return decodeImage(readFile(path), path); }

std::string extensionOf(const std::string& path) {
    size_t dot = path.rfind('.');
    size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

const char* outputExtensions() {
    return ".bmp, .png, .jpg/.jpeg, .tif/.tiff, .pbm, .pgm, .ppm, .pnm or .pfm";
}

bool isOutputExtension(const std::string& path) {
    static const char* const known[] = {"bmp", "png", "jpg", "jpeg", "tif", "tiff",
                                        "pbm", "pgm", "ppm", "pnm",  "pfm"};
    std::string ext = extensionOf(path);
    for (const char* k : known)
        if (ext == k) return true;
    return false;
}

namespace {

void encode(const ImageHeader* image, const std::string& ext, FILE* out,
            const WriteOptions& options) {
    if (ext == "bmp") {
        writeBmp(image, out);
    } else if (ext == "png") {
        writePng(image, out);
    } else if (ext == "jpg" || ext == "jpeg") {
        writeJpeg(image, out, options.quality);
    } else if (ext == "tif" || ext == "tiff") {
        writeTiff(image, out);
    } else {
        writePnm(image, out, ext == "pfm" ? 'f' : ext[1] == 'n' ? 'n' : ext[1]);
    }
}

}  // namespace

void saveImage(const ImageHeader* image, const std::string& path, const WriteOptions& options) {
    if (!isOutputExtension(path))
        throw UserError(path + ": unknown output format; name it " + outputExtensions());
    const std::string temporary = path + ".part";
    FILE* out = std::fopen(temporary.c_str(), "w+b");
    if (!out) throw UserError(path + ": cannot write: " + std::strerror(errno));
    try {
        encode(image, extensionOf(path), out, options);
        if (std::fflush(out) != 0 || std::ferror(out))
            throw UserError(std::string("cannot write: ") + std::strerror(errno));
    } catch (const UserError& e) {
        std::fclose(out);
        std::remove(temporary.c_str());
        throw UserError(path + ": " + e.what());
    }
    bool closed = std::fclose(out) == 0;
    if (!closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw UserError(path + ": cannot write: " + std::strerror(errno));
    }
}

std::string describeFile(const std::string& path) {
    FileBytes file = readFile(path);
    std::string text;
    if (startsWith(file, "BM")) text = describeBmp(file);
    if (startsWith(file, "\x89PNG")) text = "format      PNG\n";
    if (startsWith(file, "\xFF\xD8\xFF")) text = "format      JPEG\n";
    if (startsWith(file, "II*") || startsWith(file, "MM\x00*")) text = "format      TIFF\n";
    if (isPnm(file)) text = std::string("format      netpbm P") + char(file.data[1]) + "\n";
    OwnedImage image = decodeImage(std::move(file), path);
    const char* kinds[] = {"gray", "gray with alpha", "colour", "colour with alpha"};
    return text + "size        " + std::to_string(image->width) + " x " +
           std::to_string(image->height) + "\n" + "pixels      " + kinds[image->nChannels - 1] +
           ", " + depthName(image->depth) + " samples\n";
}

}  // namespace tool
