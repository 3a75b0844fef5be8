// Photos from phones and cameras: they open the right way up whatever
// orientation their EXIF block states, a saved copy keeps their metadata (and
// no longer claims to be turned), damaged metadata never costs the picture, and
// pictures up to 100 megapixels are accepted.
#include <gtest/gtest.h>

#include <tuple>

#include "imaging/ImageRecord.h"
#include "imaging/JpegReader.h"
#include "imaging/JpegWriter.h"
#include "imaging/LoadPicture.h"
#include "imaging/PictureMetadata.h"
#include "imaging/Thumbnail.h"
#include "imaging_ExifImages.h"

namespace {

using namespace imaging_test;
using testing_support::WriteBytes;

// The corners (top-left, top-right, bottom-left, bottom-right) of a `w` x `h`
// picture, within a few levels.
void ExpectCorners(const uint8_t* p, int w, int h, const std::array<Colour, 4>& want, const char* what) {
    for (int i = 0; i < 12; i++) {
        const int corner = i / 3, x = corner % 2 ? w - 1 : 0, y = corner < 2 ? 0 : h - 1;
        EXPECT_NEAR(p[3 * (y * w + x) + i % 3], want[corner][i % 3], 12) << what << corner << ", channel " << i % 3;
    }
}

// The upright picture: 280 x 100 with a red, green, blue and white quarter. For
// orientation i + 1, which of its corners each stored corner shows (stored
// top-left, top-right, bottom-left, bottom-right), as the EXIF orientation tag
// defines: where the stored first row and first column lie upright.
const std::array<Colour, 4> kUpright = {kRed, kGreen, kBlue, kWhite};
const std::array<Colour, 4> kStored[8] = {kUpright,                        // first row top, first column left
                                          {kGreen, kRed, kWhite, kBlue},   // top, right
                                          {kWhite, kBlue, kGreen, kRed},   // bottom, right
                                          {kBlue, kWhite, kRed, kGreen},   // bottom, left
                                          {kRed, kBlue, kGreen, kWhite},   // left, top
                                          {kGreen, kWhite, kRed, kBlue},   // right, top
                                          {kWhite, kGreen, kBlue, kRed},   // right, bottom
                                          {kBlue, kRed, kWhite, kGreen}};  // left, bottom

class ExifTest : public ::testing::Test {
protected:
    ExifTest() { std::memset(&record, 0, sizeof record); }
    ~ExifTest() override { ClearImageRecord(&record); }

    std::wstring Path(const std::string& name) { return Wide(dir.File(name)); }
    int Load(const std::string& name, int64_t maxBytes = 0) {
        return LoadPicture(Path(name).c_str(), Wide(name).c_str(), &record, maxBytes);
    }
    int Save(const std::string& name) {
        return SaveJpegPicture(Path(name).c_str(), record.pixels, record.width, record.height, record.metadata);
    }
    // The size ReadPictureSize reads, or {-1, -1} when it fails.
    std::pair<int, int> SizeOf(const std::string& name) {
        int w = 0, h = 0;
        return ReadPictureSize(Path(name).c_str(), &w, &h) == 1 ? std::pair{w, h} : std::pair{-1, -1};
    }
    // Writes the upright picture stored as `orientation` (1 to 8) turns it, with `markers`.
    void WriteStored(const std::string& name, int orientation, const std::vector<Marker>& markers) {
        const int w = orientation >= 5 ? 100 : 280, h = 380 - w;
        WriteJpeg(dir.File(name), w, h, Quarters(w, h, kStored[orientation - 1]), markers);
    }
    Bytes Pixels() const { return Bytes(record.pixels, record.pixels + record.byteSize); }

    testing_support::TempDir dir;
    ImageRecord record;
};

// A missing or unusable orientation, or one written as text, leaves the picture
// as stored: orientation 1. The thumbnail fits the box as the upright picture
// (at half size; fitted as stored it would be 110 high). A saved copy states
// orientation 1, as a LONG where the entry was one and else as a SHORT.
TEST_F(ExifTest, EachOrientationOpensUprightAndIsSavedAsOne) {
    const ExifFormat kShort = EXIF_FORMAT_SHORT, kLong = EXIF_FORMAT_LONG;
    const struct {
        int tag;  // -1: no entry
        ExifFormat format;
        int orientation;
    } cases[] = {{1, kShort, 1}, {2, kShort, 2},     {3, kShort, 3}, {4, kShort, 4},           {5, kShort, 5},
                 {6, kShort, 6}, {7, kShort, 7},     {8, kShort, 8}, {-1, kShort, 1},          {0, kShort, 1},
                 {9, kShort, 1}, {65535, kShort, 1}, {6, kLong, 6},  {6, EXIF_FORMAT_ASCII, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "orientation " << c.tag << " of format " << c.format);
        WriteStored("p.jpg", c.orientation,
                    {{0xE1, MakeExif({.orientation = c.tag, .orientationFormat = c.format, .model = "Cam"})}});
        EXPECT_EQ(SizeOf("p.jpg"), std::pair(280, 100));
        int tw = 0, th = 0;
        uint8_t* thumb = ReadPictureThumbnail(Path("p.jpg").c_str(), 140, 110, &tw, &th);
        ASSERT_NE(thumb, nullptr);
        EXPECT_EQ(std::pair(tw, th), std::pair(140, 50));
        ExpectCorners(thumb, 140, 50, kUpright, "thumbnail corner ");
        free(thumb);

        ASSERT_EQ(Load("p.jpg"), LOAD_OK);
        EXPECT_EQ(std::tuple(record.width, record.height, record.byteSize), std::tuple(280, 100, 84000));
        ExpectCorners(record.pixels, 280, 100, kUpright, "corner ");
        ASSERT_NE(record.metadata, nullptr);
        EXPECT_EQ(record.metadata->orientation, c.orientation);

        ASSERT_EQ(Save("saved.jpg"), 1);
        const std::vector<Bytes> saved = ExifMarkersOf(dir.File("saved.jpg"));
        ASSERT_EQ(saved.size(), 1u);
        ExifData* data = ReadExif(saved[0]);
        EXPECT_EQ(NumberEntry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION),
                  c.tag < 0 ? std::pair(-1L, ExifFormat(0)) : std::pair(1L, c.format == kLong ? kLong : kShort));
        EXPECT_EQ(TextEntry(data, EXIF_IFD_0, EXIF_TAG_MODEL), "Cam");
        exif_data_unref(data);
    }
}

// The same compressed rows under each orientation: every decoded pixel must
// land exactly where its orientation puts it, with black padding. 37 x 45
// pixels are several of the bands a quarter-turned picture is placed in, and an
// odd width and height.
TEST_F(ExifTest, EveryPixelLandsWhereItsOrientationPutsIt) {
    const int w = 37, h = 45;
    Bytes rgb(static_cast<size_t>(w) * h * 3);
    for (size_t i = 0; i < rgb.size(); i++) rgb[i] = static_cast<uint8_t>(i * 29 % 253);
    WriteJpeg(dir.File("plain.jpg"), w, h, rgb, {});
    int plainW = 0, plainH = 0;
    uint8_t* plain = LoadJpegPicture(Path("plain.jpg").c_str(), &plainW, &plainH);
    ASSERT_NE(plain, nullptr);
    ASSERT_EQ(plainW, 40);
    for (int o = 1; o <= 8; o++) {
        SCOPED_TRACE(testing::Message() << "orientation " << o);
        WriteJpeg(dir.File("turned.jpg"), w, h, rgb, {{0xE1, MakeExif({.orientation = o})}});
        int uw = 0, uh = 0;
        uint8_t* upright = LoadJpegPicture(Path("turned.jpg").c_str(), &uw, &uh);
        ASSERT_NE(upright, nullptr);
        const bool turned = o >= 5;
        ASSERT_EQ(std::pair(uw, uh), turned ? std::pair(48, w) : std::pair(40, h));  // 45 and 37 padded
        auto at = [&](int x, int y) { return upright + (static_cast<size_t>(y) * uw + x) * 3; };
        int wrong = 0, padding = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                auto [ux, uy] = UprightPlace(o, x, y, w, h);
                wrong += std::memcmp(at(ux, uy), plain + (static_cast<size_t>(y) * plainW + x) * 3, 3) != 0;
            }
        for (int y = 0; y < uh; y++)
            for (int x = turned ? h : w; x < uw; x++) padding += (at(x, y)[0] | at(x, y)[1] | at(x, y)[2]) != 0;
        EXPECT_EQ(wrong, 0) << "pixels out of place";
        EXPECT_EQ(padding, 0) << "padding pixels not black";
        free(upright);
    }
    free(plain);
}

// A photo as a phone writes it, opened, edited and saved over itself.
TEST_F(ExifTest, ASavedPhotoKeepsItsMetadataAndIsNoLongerMarkedTurned) {
    Bytes thumbnail(3000);
    for (size_t i = 0; i < thumbnail.size(); i++) thumbnail[i] = static_cast<uint8_t>(i * 7);
    const Bytes xmp = Payload(kXmpId, sizeof kXmpId, Bytes(900, 'x'));
    const Bytes extendedXmp = Payload(kExtendedXmpId, sizeof kExtendedXmpId, Bytes(5000, 'e'));
    std::vector<Bytes> icc;
    for (int i = 1; i <= 3; i++) {  // chunk i of 3; the second fills a whole marker
        Bytes body{static_cast<uint8_t>(i), 3};
        body.resize(i == 2 ? 65533 - sizeof kIccId : 700, static_cast<uint8_t>(0x40 + i));
        icc.push_back(Payload(kIccId, sizeof kIccId, body));
    }
    for (const auto& [order, shortSizes] :
         {std::pair(EXIF_BYTE_ORDER_INTEL, false), std::pair(EXIF_BYTE_ORDER_MOTOROLA, true)}) {
        SCOPED_TRACE(testing::Message() << "byte order " << order << ", SHORT sizes " << shortSizes);
        // Orientation, model, date taken, pixel size, thumbnail.
        const Bytes exif = MakeExif(
            {order, 6, EXIF_FORMAT_SHORT, "Pixelphone 7 Pro", "2023:06:15 14:22:05", 64, 48, shortSizes, thumbnail});
        // Stored 64 x 48 for turning clockwise, its left half red: upright 48 x 64, red on top.
        WriteJpeg(dir.File("photo.jpg"), 64, 48, Quarters(64, 48, {kRed, kBlue, kRed, kBlue}),
                  {{0xE1, exif}, {0xE1, xmp}, {0xE2, icc[0]}, {0xE2, icc[1]}, {0xE1, extendedXmp}, {0xE2, icc[2]}});
        ASSERT_EQ(Load("photo.jpg"), LOAD_OK);
        ASSERT_NE(record.metadata, nullptr);
        EXPECT_EQ(record.metadata->orientation, 6);
        EXPECT_EQ(record.metadata->exif, Bytes(exif.begin() + 6, exif.end())) << "the block as read";
        EXPECT_EQ(record.metadata->xmp, (std::vector<Bytes>{xmp, extendedXmp}));
        EXPECT_EQ(record.metadata->icc, icc);
        ASSERT_EQ(Save("photo.jpg"), 1);

        // JFIF, EXIF, both XMP packets and the three ICC chunks in turn; no other application marker.
        const std::vector<Marker> markers = MarkersOf(dir.File("photo.jpg"));
        std::vector<int> codes;
        for (const Marker& m : markers)
            if (m.code >= 0xE0 && m.code <= 0xEF) codes.push_back(m.code);
        ASSERT_EQ(codes, (std::vector<int>{0xE0, 0xE1, 0xE1, 0xE1, 0xE2, 0xE2, 0xE2}));
        const Bytes* kept[] = {&xmp, &extendedXmp, &icc[0], &icc[1], &icc[2]};
        for (int i = 0; i < 5; i++) EXPECT_EQ(markers[2 + i].payload, *kept[i]) << "marker " << 2 + i;
        ASSERT_TRUE(StartsWith(markers[1].payload, kExifId, sizeof kExifId));
        EXPECT_LT(markers[1].payload.size(), 400u) << "the thumbnail's bytes are gone";

        ExifData* data = ReadExif(markers[1].payload);
        EXPECT_EQ(exif_data_get_byte_order(data), order);
        EXPECT_EQ(TextEntry(data, EXIF_IFD_0, EXIF_TAG_MODEL), "Pixelphone 7 Pro");
        EXPECT_EQ(TextEntry(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL), "2023:06:15 14:22:05");
        EXPECT_EQ(NumberEntry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION).first, 1);
        const ExifFormat sizeFormat = shortSizes ? EXIF_FORMAT_SHORT : EXIF_FORMAT_LONG;
        EXPECT_EQ(NumberEntry(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION), std::pair(48L, sizeFormat));
        EXPECT_EQ(NumberEntry(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION), std::pair(64L, sizeFormat));
        // No entry added; no thumbnail directory or data left.
        EXPECT_EQ(std::tuple(data->ifd[EXIF_IFD_0]->count, data->ifd[EXIF_IFD_EXIF]->count,
                             data->ifd[EXIF_IFD_1]->count, data->size),
                  std::tuple(2u, 3u, 0u, 0u));
        exif_data_unref(data);
        EXPECT_EQ(SizeOf("photo.jpg"), std::pair(48, 64)) << "measured again, the way up it was saved";
    }
}

TEST_F(ExifTest, SavingWithoutMetadataWritesTheSameBytesAsBefore) {
    const int w = 24, h = 16;
    Bytes bgr(static_cast<size_t>(w) * h * 3), rgb(bgr.size());
    for (size_t i = 0; i < bgr.size(); i++) bgr[i] = static_cast<uint8_t>(i * 13 % 251);
    for (size_t i = 0; i < bgr.size(); i += 3) rgb[i] = bgr[i + 2], rgb[i + 1] = bgr[i + 1], rgb[i + 2] = bgr[i];
    // The library's defaults, written directly: what the program always wrote.
    ASSERT_TRUE(WriteRawJpeg(dir.File("reference.jpg"), w, h, 3, JCS_RGB, JCS_YCbCr, false, rgb));
    PictureMetadata nothing;  // turned, but carrying no block
    nothing.orientation = 6;
    ASSERT_EQ(SaveJpegPicture(Path("a.jpg").c_str(), bgr.data(), w, h), 1);
    ASSERT_EQ(SaveJpegPicture(Path("b.jpg").c_str(), bgr.data(), w, h, &nothing), 1);
    for (const char* name : {"a.jpg", "b.jpg"})
        EXPECT_EQ(ReadBytes(dir.File(name)), ReadBytes(dir.File("reference.jpg"))) << name;
}

// A TIFF header (little-endian) and a first directory of `entries` {tag, type,
// count, value}, with no further directory, then `tail`.
Bytes TiffBlock(const std::vector<std::array<uint32_t, 4>>& entries, const Bytes& tail = {}) {
    Bytes b{'I', 'I', 42, 0, 8, 0, 0, 0, static_cast<uint8_t>(entries.size()), 0};
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; i++) b.push_back(static_cast<uint8_t>(v >> 8 * i));
    };
    for (const auto& [tag, type, count, value] : entries) put(tag, 2), put(type, 2), put(count, 4), put(value, 4);
    put(0, 4);
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

// Blocks that are not saved again: damaged ones, whose orientation is still
// applied when libexif read it, and a sound one that outgrows a marker when
// rewritten (two entries share one 40000-byte value, which written back each
// needs a copy of). The picture opens as with a sound block, and the other
// metadata is kept.
TEST_F(ExifTest, ExifBlocksThatCannotBeSavedAgainCostNothingElse) {
    const Bytes sound = TiffBlock({{0x0112, 3, 1, 6}});
    Bytes badOrder = sound, badMagic = sound, farDirectory = sound;
    badOrder[0] = badOrder[1] = 'X';
    badMagic[2] = 43;
    farDirectory[4] = 0xF0;
    const uint32_t valueAt = 8 + 2 + 2 * 12 + 4;
    const struct {
        const char* what;
        Bytes block;
        int orientation;
        bool kept;  // in the opened picture's metadata
    } cases[] = {
        {"nothing after the header", {}, 1, false},
        {"unknown byte order", badOrder, 1, false},
        {"not a TIFF header", badMagic, 1, false},
        {"first directory past the end", farDirectory, 1, false},
        {"a cut-off block", Bytes(badOrder.begin(), badOrder.begin() + 5), 1, false},
        {"second directory past the end", TiffBlock({{0x0112, 3, 1, 6}, {0x8769, 4, 1, 5000}}), 6, false},
        {"outgrowing a marker",
         TiffBlock({{0x010E, 2, 40000, valueAt}, {0x013B, 2, 40000, valueAt}}, Bytes(40000, 'a')), 1, true},
    };
    const Bytes xmp = Payload(kXmpId, sizeof kXmpId, Bytes(64, 'x'));
    for (const auto& c : cases) {
        WriteStored("sound.jpg", c.orientation, {{0xE1, MakeExif({.orientation = c.orientation})}});
        ASSERT_EQ(Load("sound.jpg"), LOAD_OK);
        const Bytes upright = Pixels();
        for (bool withXmp : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (withXmp ? ", with XMP" : ""));
            std::vector<Marker> markers{{0xE1, Payload(kExifId, sizeof kExifId, c.block)}};
            if (withXmp) markers.push_back({0xE1, xmp});
            WriteStored("p.jpg", c.orientation, markers);
            EXPECT_EQ(SizeOf("p.jpg"), std::pair(280, 100));
            ASSERT_EQ(Load("p.jpg"), LOAD_OK);
            EXPECT_EQ(Pixels(), upright);
            if (!withXmp && !c.kept) {
                EXPECT_EQ(record.metadata, nullptr);
                continue;
            }
            ASSERT_NE(record.metadata, nullptr);
            EXPECT_EQ(record.metadata->exif, c.kept ? c.block : Bytes());
            ASSERT_EQ(Save("saved.jpg"), 1);
            std::vector<Bytes> app1;  // saved without the EXIF block
            for (const Marker& m : MarkersOf(dir.File("saved.jpg")))
                if (m.code == 0xE1) app1.push_back(m.payload);
            EXPECT_EQ(app1, withXmp ? std::vector<Bytes>{xmp} : std::vector<Bytes>{});
        }
    }
    // A bitmap opened next carries no metadata: the photo's is released with it.
    WriteBytes(dir.File("p.bmp"), MakeBmp(5, 3));
    ASSERT_EQ(Load("p.bmp"), LOAD_OK);
    EXPECT_EQ(record.metadata, nullptr);
}

TEST(PictureLimitsTest, HundredMegapixelPhotosOfAnyUsualAspectAreAccepted) {
    // 10000 x 10000 is exactly 100 megapixels, though its rows pad to 10048;
    // 4:3, 16:9 and 9:1 (the longest side) fit; a side too long never does.
    const struct {
        int64_t w, h;
        bool accepted;
    } cases[] = {{10000, 10000, true}, {10000, 10001, false}, {11547, 8660, true}, {11548, 8660, false},
                 {13333, 7500, true},  {30000, 3333, true},   {30001, 100, false}, {100, 30001, false},
                 {0, 100, false},      {100, -1, false}};
    for (const auto& c : cases) EXPECT_EQ(PictureSizeAcceptable(c.w, c.h), c.accepted) << c.w << " x " << c.h;
}

// A picture over the caller's limit is refused from its header, measured
// upright, before anything is decoded; one over 100 megapixels is refused
// whatever the limit.
TEST_F(ExifTest, LargePicturesAreMeasuredUprightAndRefusedFromTheirHeader) {
    // 2001 x 1000 stored, 1000 x 2001 upright: 1000 pads to 1008, so 6051024
    // bytes, where 2016 x 1000 as stored would be 6048000.
    WriteJpeg(dir.File("turned.jpg"), 2001, 1000, Bytes(2001 * 1000 * 3), {{0xE1, MakeExif({.orientation = 6})}});
    WriteBytes(dir.File("100mp.jpg"), JpegHeaderOnly(10000, 10000, 3, false));
    WriteBytes(dir.File("over.jpg"), JpegHeaderOnly(10000, 10001, 3, false));
    const struct {
        const char* name;
        int64_t limit;
        std::pair<int, int> size;
        int result;
        std::tuple<int, int, int> record;  // width, height, bytes
    } cases[] = {
        {"turned.jpg", 6050000, {1000, 2001}, LOAD_TOO_LARGE, {1008, 2001, 6051024}},
        {"100mp.jpg", 6000000, {10000, 10000}, LOAD_TOO_LARGE, {10048, 10000, 3 * 10048 * 10000}},
        {"over.jpg", 6000000, {-1, -1}, LOAD_FAILED, {-1, -1, -1}},
        {"over.jpg", 0, {-1, -1}, LOAD_FAILED, {-1, -1, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " limit " << c.limit);
        EXPECT_EQ(SizeOf(c.name), c.size);
        ASSERT_EQ(Load(c.name, c.limit), c.result);
        EXPECT_EQ(std::tuple(record.width, record.height, record.byteSize), c.record);
        EXPECT_EQ(record.pixels, nullptr);
        EXPECT_EQ(record.metadata, nullptr);
    }
    int w = 0, h = 0;
    EXPECT_EQ(ReadPictureThumbnail(Path("over.jpg").c_str(), 140, 110, &w, &h), nullptr);
}

}  // namespace
