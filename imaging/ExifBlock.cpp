#include "imaging/ExifBlock.h"

#include <libexif/exif-data.h>
#include <libexif/exif-log.h>
#include <libexif/exif-mem.h>
#include <libexif/exif-utils.h>

#include <cstdarg>
#include <cstring>

namespace {

// libexif reports damage only through its log. Maker notes come in many private
// layouts that it parses with heuristics; their complaints say nothing about
// the block itself.
void NoteDamage(ExifLog*, ExifLogCode code, const char* domain, const char*, va_list, void* damaged) {
    const bool makerNote = domain && std::strncmp(domain, "ExifMnote", 9) == 0;
    if (code == EXIF_LOG_CODE_NO_MEMORY || (code == EXIF_LOG_CODE_CORRUPT_DATA && !makerNote))
        *static_cast<bool*>(damaged) = true;
}

// A block as libexif reads it, with what its log said while reading and, later,
// while saving. Neither copied nor moved: the log writes to `damaged_`.
class LoadedExif {
public:
    LoadedExif(const uint8_t* block, size_t size) {
        if (!block || size == 0 || size > UINT32_MAX - sizeof kExifHeader) {
            damaged_ = true;
            return;
        }
        data_ = exif_data_new();
        ExifLog* log = exif_log_new();
        if (!data_ || !log) {
            damaged_ = true;
            if (log) exif_log_unref(log);
            return;
        }
        exif_log_set_func(log, NoteDamage, &damaged_);
        exif_data_log(data_, log);
        exif_log_unref(log);
        // The block is taken as it is: no mandatory entries made up, none
        // converted or removed.
        exif_data_unset_option(data_, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);

        // libexif wants the "Exif\0\0" header in front.
        std::vector<uint8_t> payload(sizeof kExifHeader + size);
        std::memcpy(payload.data(), kExifHeader, sizeof kExifHeader);
        std::memcpy(payload.data() + sizeof kExifHeader, block, size);
        exif_data_load_data(data_, payload.data(), static_cast<unsigned>(payload.size()));
        // A header libexif cannot read leaves everything empty without a word.
        bool found = data_->size > 0;
        for (int i = 0; i < EXIF_IFD_COUNT; i++) found = found || data_->ifd[i]->count > 0;
        if (!found) damaged_ = true;
    }
    ~LoadedExif() {
        if (data_) exif_data_unref(data_);
    }
    LoadedExif(const LoadedExif&) = delete;
    LoadedExif& operator=(const LoadedExif&) = delete;

    ExifData* data() const { return data_; }
    bool damaged() const { return damaged_; }

private:
    ExifData* data_ = nullptr;
    bool damaged_ = false;
};

// Releases what libexif allocated for an ExifData made by exif_data_new, which
// uses libexif's default allocator.
void FreeExifMemory(void* p) {
    if (!p) return;
    ExifMem* mem = exif_mem_new_default();
    if (mem) {
        exif_mem_free(mem, p);
        exif_mem_unref(mem);
    }
}

// The entry's first value when it is a SHORT or LONG; `fallback` otherwise.
uint32_t NumberIn(const ExifEntry* entry, ExifByteOrder order, uint32_t fallback) {
    if (!entry || !entry->data || entry->components < 1) return fallback;
    if (entry->format == EXIF_FORMAT_SHORT && entry->size >= 2) return exif_get_short(entry->data, order);
    if (entry->format == EXIF_FORMAT_LONG && entry->size >= 4) return exif_get_long(entry->data, order);
    return fallback;
}

// Sets a single SHORT or LONG entry to `value` when its format holds it.
bool SetIfItHolds(ExifEntry* entry, uint32_t value, ExifByteOrder order) {
    if (!entry->data || entry->components != 1) return false;
    if (entry->format == EXIF_FORMAT_SHORT && entry->size >= 2 && value <= 0xFFFF) {
        exif_set_short(entry->data, order, static_cast<ExifShort>(value));
        return true;
    }
    if (entry->format == EXIF_FORMAT_LONG && entry->size >= 4) {
        exif_set_long(entry->data, order, value);
        return true;
    }
    return false;
}

// Replaces `old` in `dir` by a fresh entry of the same tag in the format libexif
// gives it, holding `value`. False when that is impossible or memory ran out.
bool Replace(ExifContent* dir, ExifEntry* old, uint32_t value, ExifByteOrder order) {
    const ExifTag tag = old->tag;
    exif_content_remove_entry(dir, old);
    ExifEntry* fresh = exif_entry_new();
    if (!fresh) return false;
    fresh->tag = tag;
    exif_content_add_entry(dir, fresh);
    exif_entry_initialize(fresh, tag);
    const bool ok = fresh->parent == dir && SetIfItHolds(fresh, value, order);
    exif_entry_unref(fresh);  // the directory holds its own reference
    return ok;
}

// Sets every `tag` entry of `dir` to `value`, in its own SHORT or LONG format
// when that holds the value, else in a fresh entry. False when memory ran out.
bool SetNumber(ExifContent* dir, ExifTag tag, uint32_t value, ExifByteOrder order) {
    for (unsigned i = 0; i < dir->count;) {
        ExifEntry* entry = dir->entries[i];
        if (entry->tag != tag || SetIfItHolds(entry, value, order)) {
            i++;
            continue;
        }
        // The fresh entry goes to the end of the directory, where the loop
        // meets it again; the next entry has moved up to `i`.
        if (!Replace(dir, entry, value, order)) return false;
    }
    return true;
}

// Drops the thumbnail: the second image directory, which describes it, and its
// compressed data.
bool DropThumbnail(ExifData* data) {
    ExifContent* dir = data->ifd[EXIF_IFD_1];
    while (dir->count > 0) {
        const unsigned before = dir->count;
        exif_content_remove_entry(dir, dir->entries[dir->count - 1]);
        if (dir->count == before) return false;
    }
    if (data->data) {
        FreeExifMemory(data->data);
        data->data = nullptr;
    }
    data->size = 0;
    return true;
}

}  // namespace

int ReadExifOrientation(const uint8_t* block, size_t size, bool* intact) {
    LoadedExif exif(block, size);
    int orientation = 1;
    if (exif.data()) {
        const ExifEntry* entry = exif_content_get_entry(exif.data()->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
        const uint32_t value = NumberIn(entry, exif_data_get_byte_order(exif.data()), 1);
        if (value >= 1 && value <= 8) orientation = static_cast<int>(value);
    }
    if (intact) *intact = !exif.damaged();
    return orientation;
}

bool ExifForSavedPicture(const uint8_t* block, size_t size, int width, int height, std::vector<uint8_t>* app1) {
    app1->clear();
    if (width <= 0 || height <= 0) return false;
    LoadedExif exif(block, size);
    if (exif.damaged()) return false;
    ExifData* data = exif.data();
    const ExifByteOrder order = exif_data_get_byte_order(data);
    // The thumbnail shows the picture as it was before its edits (and stored
    // turned, where the saved pixels are upright).
    if (!DropThumbnail(data)) return false;
    bool kept = false;
    for (int i = 0; i < EXIF_IFD_COUNT; i++) kept = kept || data->ifd[i]->count > 0;
    if (!kept) return false;
    // The saved pixels are upright, at the size saved.
    if (!SetNumber(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION, 1, order) ||
        !SetNumber(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_PIXEL_X_DIMENSION, static_cast<uint32_t>(width), order) ||
        !SetNumber(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_PIXEL_Y_DIMENSION, static_cast<uint32_t>(height), order))
        return false;

    unsigned char* saved = nullptr;
    unsigned int savedSize = 0;
    exif_data_save_data(data, &saved, &savedSize);
    const bool ok = saved && savedSize > sizeof kExifHeader && savedSize <= kMaxMarkerPayload && !exif.damaged();
    if (ok) app1->assign(saved, saved + savedSize);
    FreeExifMemory(saved);
    return ok;
}
