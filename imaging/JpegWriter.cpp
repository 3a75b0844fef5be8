#include "imaging/JpegWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/ExifBlock.h"
#include "imaging/JpegErrors.h"
#include "imaging/PictureMetadata.h"
#include "platform/win32.h"

namespace {

// Writes each payload that fits one marker as a marker of type `code`.
void WriteMarkers(j_compress_ptr cinfo, int code, const std::vector<std::vector<uint8_t>>& payloads) {
    for (size_t i = 0; i < payloads.size(); i++) {
        const std::vector<uint8_t>& payload = payloads[i];
        if (payload.size() > kMaxMarkerPayload) continue;
        jpeg_write_marker(cinfo, code, payload.data(), static_cast<unsigned>(payload.size()));
    }
}

// Compresses the picture into `file`, with the metadata markers after the JFIF
// header: `exif` (a whole APP1 payload, or empty), then the XMP and ICC payloads
// of `metadata` (may be null). False when the library failed. Nothing with a
// destructor lives in this function or the ones it calls, so the longjmp back to
// it is safe.
bool Encode(FILE* file, const uint8_t* pixels, int width, int height, const std::vector<uint8_t>& exif,
            const PictureMetadata* metadata) {
    jpeg_compress_struct cinfo;
    JpegErrorJump err;

    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegErrorExit;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    if (!exif.empty()) jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    if (metadata) {
        WriteMarkers(&cinfo, JPEG_APP0 + 1, metadata->xmp);
        WriteMarkers(&cinfo, JPEG_APP0 + 2, metadata->icc);
    }

    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                static_cast<JDIMENSION>(3 * width), 1);
    size_t stride = 3 * static_cast<size_t>(width);
    while (cinfo.next_scanline < cinfo.image_height) {
        // The working image is blue, green, red; the library takes red first.
        const uint8_t* src = pixels + cinfo.next_scanline * stride;
        JSAMPLE* dst = row[0];
        for (int x = 0; x < width; x++, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
        jpeg_write_scanlines(&cinfo, row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// The file a save finally replaces: a symbolic link is followed so that saving
// over a linked photo rewrites the photo instead of replacing the link.
bool ResolveTarget(const char* path, char* out, size_t outSize) {
    const char* source = path;
    char resolved[PATH_MAX];
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISLNK(st.st_mode)) {
        if (!realpath(path, resolved)) return false;
        source = resolved;
    }
    size_t length = strlen(source);
    if (length >= outSize) return false;
    memcpy(out, source, length + 1);
    return true;
}

// Creates a new temporary file in the folder of `target`, with the permissions of
// an existing target (or the usual ones for a new file). Returns its descriptor
// and name, or -1.
int CreateTemporary(const char* target, char* tempPath, size_t tempSize) {
    const char* slash = strrchr(target, '/');
    int folderLength = slash ? static_cast<int>(slash - target) + 1 : 0;
    for (int attempt = 0; attempt < 100; attempt++) {
        int n = snprintf(tempPath, tempSize, "%.*s.saving-%ld-%d.tmp", folderLength, target,
                         static_cast<long>(getpid()), attempt);
        if (n < 0 || static_cast<size_t>(n) >= tempSize) return -1;
        int fd = open(tempPath, O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            struct stat st;
            if (stat(target, &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

int SaveJpegPicture(const wchar_t* path, const uint8_t* pixels, int width, int height,
                    const PictureMetadata* metadata) {
    if (!path || !pixels || width <= 0 || height <= 0) return 0;
    // The EXIF block is rewritten before anything is created, and outside the
    // library's reach: the rewrite allocates.
    std::vector<uint8_t> exif;
    if (metadata && !metadata->exif.empty()) {
        try {
            ExifForSavedPicture(metadata->exif.data(), metadata->exif.size(), width, height, &exif);
        } catch (const std::bad_alloc&) {
            exif.clear();  // saved without it, as a block that cannot be rewritten
        }
    }
    char nativePath[kMaxNativePath];
    char target[kMaxNativePath];
    char tempPath[kMaxNativePath];
    if (!WidePathToNative(path, nativePath, sizeof nativePath)) return 0;
    if (!ResolveTarget(nativePath, target, sizeof target)) return 0;

    int fd = CreateTemporary(target, tempPath, sizeof tempPath);
    if (fd < 0) return 0;
    FILE* file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
        unlink(tempPath);
        return 0;
    }

    // The photo reaches the disk before it replaces the original, so neither a
    // failed write nor a power cut leaves the user without a complete picture.
    bool ok = Encode(file, pixels, width, height, exif, metadata);
    ok = ok && fflush(file) == 0 && fsync(fileno(file)) == 0;
    if (fclose(file) != 0) ok = false;
    if (ok && rename(tempPath, target) != 0) ok = false;
    if (!ok) {
        unlink(tempPath);
        return 0;
    }
    return 1;
}
