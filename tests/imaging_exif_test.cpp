// Photos from phones and cameras: they open the right way up whatever
// orientation their EXIF block states, a saved copy keeps their metadata (and
// no longer claims to be turned), damaged metadata never costs the picture, and
// pictures up to 100 megapixels are accepted.
#include <gtest/gtest.h>
#include <libexif/exif-data.h>
#include <libexif/exif-mem.h>
#include <libexif/exif-utils.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "imaging/ImageRecord.h"
#include "imaging/JpegReader.h"
#include "imaging/JpegWriter.h"
#include "imaging/LoadPicture.h"
#include "imaging/PictureMetadata.h"
#include "imaging/Thumbnail.h"
#include "imaging_ExifImages.h"
#include "imaging_TestImages.h"

namespace {

using namespace imaging_test;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

void ExpectColour(const uint8_t* got, const Colour& want, const std::string& where) {
    for (int c = 0; c < 3; c++) EXPECT_NEAR(got[c], want[c], 12) << where << ", channel " << c;
}

// The corners of a `w` x `h` picture whose rows are `stride` pixels apart.
void ExpectCorners(const uint8_t* p, int w, int h, int stride, const std::array<Colour, 4>& want, const char* what) {
    const char* names[4] = {"top-left", "top-right", "bottom-left", "bottom-right"};
    for (int i = 0; i < 4; i++)
        ExpectColour(p + 3 * ((i < 2 ? 0 : h - 1) * stride + (i % 2 ? w - 1 : 0)), want[i],
                     std::string(what) + names[i]);
}

const std::array<Colour, 4> kUpright = {kRed, kGreen, kBlue, kWhite};

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
    // Saves the open picture as saved.jpg, which must hold no EXIF block and
    // `xmp` right after the JFIF header.
    void ExpectSavedWithoutExif(const Bytes& xmp) {
        ASSERT_EQ(Save("saved.jpg"), 1);
        EXPECT_TRUE(ExifMarkersOf(dir.File("saved.jpg")).empty());
        const std::vector<Marker> saved = MarkersOf(dir.File("saved.jpg"));
        ASSERT_GE(saved.size(), 2u);
        EXPECT_EQ(saved[1].payload, xmp);
    }
    // The size ReadPictureSize reads, or {-1, -1} when it fails.
    std::pair<int, int> SizeOf(const std::string& name) {
        int w = 0, h = 0;
        return ReadPictureSize(Path(name).c_str(), &w, &h) == 1 ? std::pair{w, h} : std::pair{-1, -1};
    }
    const uint8_t* At(int x, int y) const { return record.pixels + (static_cast<size_t>(y) * record.width + x) * 3; }

    testing_support::TempDir dir;
    ImageRecord record;
};

// The upright picture: 6 x 4 with a red, green, blue and white quarter. For each
// orientation, which of its corners each stored corner shows (stored top-left,
// top-right, bottom-left, bottom-right), as the EXIF orientation tag defines:
// where the stored first row and first column lie in the upright picture. A
// missing (-1) or unusable orientation leaves the picture as stored, and counts
// as orientation 1.
const struct {
    int orientation;
    std::array<Colour, 4> stored;
} kStoredCorners[] = {
    {1, kUpright},                       // first row top, first column left
    {2, {kGreen, kRed, kWhite, kBlue}},  // top, right
    {3, {kWhite, kBlue, kGreen, kRed}},  // bottom, right
    {4, {kBlue, kWhite, kRed, kGreen}},  // bottom, left
    {5, {kRed, kBlue, kGreen, kWhite}},  // left, top
    {6, {kGreen, kWhite, kRed, kBlue}},  // right, top
    {7, {kWhite, kGreen, kBlue, kRed}},  // right, bottom
    {8, {kBlue, kRed, kWhite, kGreen}},  // left, bottom
    {-1, kUpright},
    {0, kUpright},
    {9, kUpright},
    {65535, kUpright},
};

TEST_F(ExifTest, EachOrientationOpensUprightWithItsCornersInPlace) {
    for (const auto& c : kStoredCorners) {
        SCOPED_TRACE(testing::Message() << "orientation " << c.orientation);
        const int orientation = c.orientation >= 1 && c.orientation <= 8 ? c.orientation : 1;
        const bool turned = orientation >= 5;
        const int storedW = turned ? 4 : 6, storedH = turned ? 6 : 4;
        const std::string name = "o" + std::to_string(c.orientation) + ".jpg";
        // Without an orientation (or of 0) the block holds a camera model.
        WriteJpeg(dir.File(name), storedW, storedH, Quarters(storedW, storedH, c.stored),
                  {{0xE1, MakeExif({.orientation = c.orientation, .model = c.orientation <= 0 ? "Cam" : ""})}});

        EXPECT_EQ(SizeOf(name), std::pair(6, 4));

        ASSERT_EQ(Load(name), LOAD_OK);
        EXPECT_EQ(record.width, 8);  // 6 padded to a multiple of 4
        EXPECT_EQ(record.height, 4);
        EXPECT_EQ(record.byteSize, 8 * 4 * 3);
        ExpectCorners(record.pixels, 6, 4, 8, kUpright, "");
        for (int y = 0; y < 4; y++)
            for (int x = 6; x < 8; x++) EXPECT_EQ(At(x, y)[0] | At(x, y)[1] | At(x, y)[2], 0) << "padding " << x;
        ASSERT_NE(record.metadata, nullptr);
        EXPECT_EQ(record.metadata->orientation, orientation);

        int w = 0, h = 0;
        uint8_t* thumb = ReadPictureThumbnail(Path(name).c_str(), 140, 110, &w, &h);
        ASSERT_NE(thumb, nullptr);
        EXPECT_EQ(std::pair(w, h), std::pair(6, 4));
        ExpectCorners(thumb, 6, 4, 6, kUpright, "thumbnail ");
        free(thumb);
    }
}

// The same compressed rows under each orientation: every decoded pixel must
// land exactly where its orientation puts it. 37 x 45 pixels are several of the
// bands a quarter-turned picture is placed in, and an odd width and height.
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
        ASSERT_EQ(uw, turned ? 48 : 40);  // 45 and 37 padded to multiples of 4
        ASSERT_EQ(uh, turned ? w : h);
        auto at = [&](int x, int y) { return upright + (static_cast<size_t>(y) * uw + x) * 3; };
        int wrong = 0;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                auto [ux, uy] = UprightPlace(o, x, y, w, h);
                wrong += std::memcmp(at(ux, uy), plain + (static_cast<size_t>(y) * plainW + x) * 3, 3) != 0;
            }
        EXPECT_EQ(wrong, 0) << "pixels out of place";
        for (int y = 0; y < uh; y++)
            for (int x = turned ? h : w; x < uw; x++) wrong += (at(x, y)[0] | at(x, y)[1] | at(x, y)[2]) != 0;
        EXPECT_EQ(wrong, 0) << "padding columns not black";
        free(upright);
    }
    free(plain);
}

// The tag is a SHORT; a LONG still says which way up the picture is, and keeps
// its format when saved as 1. Anything else is no orientation, and is saved as
// the SHORT 1.
TEST_F(ExifTest, OrientationsOfAnotherTypeAreReadWhenNumericAndSavedAsOne) {
    const struct {
        const char* name;
        ExifFormat format;
        int openedWidth;
        ExifFormat savedFormat;
    } cases[] = {{"LONG", EXIF_FORMAT_LONG, 4, EXIF_FORMAT_LONG}, {"text", EXIF_FORMAT_ASCII, 8, EXIF_FORMAT_SHORT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteJpeg(dir.File("p.jpg"), 6, 4, Quarters(6, 4, {kGreen, kWhite, kRed, kBlue}),
                  {{0xE1, MakeExif({.orientation = 6, .orientationFormat = c.format, .model = "Cam"})}});
        ASSERT_EQ(Load("p.jpg"), LOAD_OK);
        EXPECT_EQ(record.width, c.openedWidth);
        ASSERT_NE(record.metadata, nullptr);
        ASSERT_EQ(Save("saved.jpg"), 1);
        const std::vector<Bytes> saved = ExifMarkersOf(dir.File("saved.jpg"));
        ASSERT_EQ(saved.size(), 1u);
        ExifData* data = ReadExif(saved[0]);
        EXPECT_EQ(NumberEntry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION), std::make_pair(1L, c.savedFormat));
        EXPECT_EQ(TextEntry(data, EXIF_IFD_0, EXIF_TAG_MODEL), "Cam");
        exif_data_unref(data);
    }
}

// A wide picture stored for turning clockwise shrinks into the box as the tall
// picture it is, and turning anticlockwise puts its stored left half at the bottom.
TEST_F(ExifTest, ThumbnailsOfTurnedPhotosFitTheBoxUpright) {
    const Bytes rgb = Quarters(400, 100, {kRed, kBlue, kRed, kBlue});
    WriteJpeg(dir.File("turned.jpg"), 400, 100, rgb, {{0xE1, MakeExif({.orientation = 8})}});
    int w = 0, h = 0;
    uint8_t* thumb = ReadPictureThumbnail(Path("turned.jpg").c_str(), 140, 110, &w, &h);
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(w, 28);  // 100 x 400 upright: 110 high, 27.5 wide
    EXPECT_EQ(h, 110);
    ExpectColour(thumb + (5 * w + 14) * 3, kBlue, "top");
    ExpectColour(thumb + (104 * w + 14) * 3, kRed, "bottom");
    free(thumb);
}

TEST_F(ExifTest, TheOpenLimitIsCheckedAgainstTheUprightSize) {
    // 2001 x 1000 stored, 1000 x 2001 upright: 1000 pads to 1008.
    Bytes header = JpegHeaderOnly(2001, 1000, 3, true);
    const Bytes exif = MakeExif({.orientation = 6});
    Bytes app1{0xFF, 0xE1, static_cast<uint8_t>((exif.size() + 2) >> 8),
               static_cast<uint8_t>((exif.size() + 2) & 0xFF)};
    app1.insert(app1.end(), exif.begin(), exif.end());
    header.insert(header.begin() + 2, app1.begin(), app1.end());
    WriteBytes(dir.File("big.jpg"), header);
    EXPECT_EQ(SizeOf("big.jpg"), std::pair(1000, 2001));
    ASSERT_EQ(Load("big.jpg", 6000000), LOAD_TOO_LARGE);
    EXPECT_EQ(record.width, 1008);
    EXPECT_EQ(record.height, 2001);
    EXPECT_EQ(record.byteSize, 6051024);  // over the limit, where 2016 x 1000 x 3 = 6048000 would not be
    EXPECT_EQ(record.pixels, nullptr);
    EXPECT_EQ(record.metadata, nullptr);
}

// A photo as a phone writes it, opened, edited and saved over itself.
TEST_F(ExifTest, ASavedPhotoKeepsItsMetadataAndIsNoLongerMarkedTurned) {
    Bytes thumbnailJpeg(3000);
    for (size_t i = 0; i < thumbnailJpeg.size(); i++) thumbnailJpeg[i] = static_cast<uint8_t>(i * 7);
    Bytes xmpPacket(Payload(kXmpId, sizeof kXmpId, Bytes(900, 'x')));
    Bytes extendedXmp(Payload(kExtendedXmpId, sizeof kExtendedXmpId, Bytes(5000, 'e')));
    std::vector<Bytes> icc;
    for (int i = 1; i <= 3; i++) {
        // Chunk i of 3; the second fills a whole marker.
        Bytes body{static_cast<uint8_t>(i), 3};
        body.resize(i == 2 ? 65533 - sizeof kIccId : 700, static_cast<uint8_t>(0x40 + i));
        icc.push_back(Payload(kIccId, sizeof kIccId, body));
    }
    const struct {
        const char* name;
        ExifByteOrder order;
        bool shortSize;
    } cases[] = {{"little-endian, LONG sizes", EXIF_BYTE_ORDER_INTEL, false},
                 {"big-endian, SHORT sizes", EXIF_BYTE_ORDER_MOTOROLA, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes exif = MakeExif({.order = c.order,
                                     .orientation = 6,
                                     .model = "Pixelphone 7 Pro",
                                     .dateTimeOriginal = "2023:06:15 14:22:05",
                                     .pixelWidth = 64,
                                     .pixelHeight = 48,
                                     .pixelSizeAsShort = c.shortSize,
                                     .thumbnail = thumbnailJpeg});
        // Stored 64 x 48 for turning clockwise, its left half red: upright 48 x 64, red on top.
        WriteJpeg(
            dir.File("photo.jpg"), 64, 48, Quarters(64, 48, {kRed, kBlue, kRed, kBlue}),
            {{0xE1, exif}, {0xE1, xmpPacket}, {0xE2, icc[0]}, {0xE2, icc[1]}, {0xE1, extendedXmp}, {0xE2, icc[2]}});

        ASSERT_EQ(Load("photo.jpg"), LOAD_OK);
        ASSERT_EQ(record.width, 48);
        ASSERT_EQ(record.height, 64);
        ASSERT_NE(record.metadata, nullptr);
        EXPECT_EQ(record.metadata->orientation, 6);
        EXPECT_EQ(record.metadata->exif, Bytes(exif.begin() + 6, exif.end())) << "the block as read";
        EXPECT_EQ(record.metadata->xmp, (std::vector<Bytes>{xmpPacket, extendedXmp}));
        EXPECT_EQ(record.metadata->icc, icc);

        ASSERT_EQ(Save("photo.jpg"), 1);
        const std::vector<Marker> markers = MarkersOf(dir.File("photo.jpg"));
        ASSERT_GE(markers.size(), 7u);  // JFIF, EXIF, two XMP, three ICC, then the tables
        std::vector<int> codes;
        for (const Marker& m : markers) codes.push_back(m.code);
        EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 7),
                  (std::vector<int>{0xE0, 0xE1, 0xE1, 0xE1, 0xE2, 0xE2, 0xE2}));
        EXPECT_EQ(std::count_if(codes.begin() + 7, codes.end(), [](int c) { return c >= 0xE0 && c <= 0xEF; }), 0);
        EXPECT_TRUE(StartsWith(markers[0].payload, "JFIF", 5));
        ASSERT_TRUE(StartsWith(markers[1].payload, kExifId, sizeof kExifId));
        EXPECT_EQ(markers[2].payload, xmpPacket);
        EXPECT_EQ(markers[3].payload, extendedXmp);
        for (int i = 0; i < 3; i++) EXPECT_EQ(markers[4 + i].payload, icc[i]) << "ICC chunk " << i + 1;

        const Bytes& saved = markers[1].payload;
        ExifData* data = ReadExif(saved);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(exif_data_get_byte_order(data), c.order);
        EXPECT_EQ(TextEntry(data, EXIF_IFD_0, EXIF_TAG_MODEL), "Pixelphone 7 Pro");
        EXPECT_EQ(TextEntry(data, EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL), "2023:06:15 14:22:05");
        EXPECT_EQ(NumberEntry(data, EXIF_IFD_0, EXIF_TAG_ORIENTATION).first, 1);
        const ExifFormat sizeFormat = c.shortSize ? EXIF_FORMAT_SHORT : EXIF_FORMAT_LONG;
        EXPECT_EQ(NumberEntry(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION), std::make_pair(48L, sizeFormat));
        EXPECT_EQ(NumberEntry(data, EXIF_IFD_EXIF, EXIF_TAG_PIXEL_Y_DIMENSION), std::make_pair(64L, sizeFormat));
        EXPECT_EQ(data->ifd[EXIF_IFD_0]->count, 2u) << "Orientation and Model, nothing added";
        EXPECT_EQ(data->ifd[EXIF_IFD_EXIF]->count, 3u) << "DateTimeOriginal and the size, nothing added";
        EXPECT_EQ(data->ifd[EXIF_IFD_1]->count, 0u) << "no thumbnail directory";
        EXPECT_EQ(data->size, 0u) << "no thumbnail data";
        exif_data_unref(data);
        EXPECT_LT(saved.size(), 400u) << "the thumbnail's bytes are gone";

        // Opened again, the saved photo is the way up it was saved.
        ASSERT_EQ(Load("photo.jpg"), LOAD_OK);
        EXPECT_EQ(record.width, 48);
        EXPECT_EQ(record.height, 64);
        ExpectColour(At(10, 5), kRed, "top");
        ExpectColour(At(10, 58), kBlue, "bottom");
        ASSERT_NE(record.metadata, nullptr);
        EXPECT_EQ(record.metadata->orientation, 1);
    }
}

TEST_F(ExifTest, SavingWithoutMetadataWritesTheSameBytesAsBefore) {
    const int w = 24, h = 16;
    Bytes bgr(static_cast<size_t>(w) * h * 3), rgb(bgr.size());
    for (size_t i = 0; i < bgr.size(); i++) bgr[i] = static_cast<uint8_t>(i * 13 % 251);
    for (size_t i = 0; i < bgr.size(); i += 3) rgb[i] = bgr[i + 2], rgb[i + 1] = bgr[i + 1], rgb[i + 2] = bgr[i];
    // The library's defaults, written directly: what the program always wrote.
    ASSERT_TRUE(WriteRawJpeg(dir.File("reference.jpg"), w, h, 3, JCS_RGB, JCS_YCbCr, false, rgb));
    const Bytes reference = ReadBytes(dir.File("reference.jpg"));

    PictureMetadata nothing;  // turned, but carrying no block
    nothing.orientation = 6;
    ASSERT_EQ(SaveJpegPicture(Path("a.jpg").c_str(), bgr.data(), w, h), 1);
    ASSERT_EQ(SaveJpegPicture(Path("b.jpg").c_str(), bgr.data(), w, h, nullptr), 1);
    ASSERT_EQ(SaveJpegPicture(Path("c.jpg").c_str(), bgr.data(), w, h, &nothing), 1);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) EXPECT_EQ(ReadBytes(dir.File(name)), reference) << name;
}

// A TIFF header (little-endian) and a first directory of `entries` (12 bytes
// each), with no further directory.
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

TEST_F(ExifTest, APhotoWithADamagedExifBlockOpensAndSavesWithoutIt) {
    const Bytes rgb = Quarters(6, 4, kUpright);
    WriteJpeg(dir.File("clean.jpg"), 6, 4, rgb, {});
    ASSERT_EQ(Load("clean.jpg"), LOAD_OK);
    const Bytes clean(record.pixels, record.pixels + record.byteSize);
    EXPECT_EQ(record.metadata, nullptr) << "a file without metadata carries none";

    const Bytes xmp = Payload(kXmpId, sizeof kXmpId, Bytes(64, 'x'));
    const Bytes sound = TiffBlock({{0x0112, 3, 1, 6}});
    Bytes badOrder = sound, badMagic = sound, farDirectory = sound;
    badOrder[0] = badOrder[1] = 'X';
    badMagic[2] = 43;
    farDirectory[4] = 0xF0;
    const std::pair<const char*, Bytes> cases[] = {
        {"nothing after the header", {}},
        {"unknown byte order", badOrder},
        {"not a TIFF header", badMagic},
        {"first directory past the end", farDirectory},
        {"a cut-off block", Bytes(badOrder.begin(), badOrder.begin() + 5)},
    };
    for (const auto& [what, block] : cases) {
        for (bool withXmp : {false, true}) {
            SCOPED_TRACE(testing::Message() << what << (withXmp ? ", with XMP" : ""));
            std::vector<Marker> markers{{0xE1, Payload(kExifId, sizeof kExifId, block)}};
            if (withXmp) markers.push_back({0xE1, xmp});
            WriteJpeg(dir.File("damaged.jpg"), 6, 4, rgb, markers);
            EXPECT_EQ(SizeOf("damaged.jpg"), std::pair(6, 4));
            ASSERT_EQ(Load("damaged.jpg"), LOAD_OK);
            EXPECT_EQ(Bytes(record.pixels, record.pixels + record.byteSize), clean);
            if (!withXmp) {
                EXPECT_EQ(record.metadata, nullptr);
                continue;
            }
            ASSERT_NE(record.metadata, nullptr);
            EXPECT_TRUE(record.metadata->exif.empty());
            ExpectSavedWithoutExif(xmp);
        }
    }
}

// A first directory that libexif reads in full, with a pointer to a second
// directory beyond the block: the block is damaged and not kept, but the
// orientation read from it still turns the picture.
TEST_F(ExifTest, AnOrientationReadFromADamagedBlockIsStillApplied) {
    WriteJpeg(dir.File("p.jpg"), 6, 4, Quarters(6, 4, {kGreen, kWhite, kRed, kBlue}),
              {{0xE1, Payload(kExifId, sizeof kExifId, TiffBlock({{0x0112, 3, 1, 6}, {0x8769, 4, 1, 5000}}))}});
    ASSERT_EQ(Load("p.jpg"), LOAD_OK);
    EXPECT_EQ(record.width, 4);
    EXPECT_EQ(record.height, 6);
    ExpectColour(At(0, 0), kRed, "top-left");
    EXPECT_EQ(record.metadata, nullptr) << "nothing worth keeping";
}

// Two entries sharing one 40000-byte value fit one marker as read; written
// back, each needs its own copy, which no marker holds.
TEST_F(ExifTest, AnExifBlockThatOutgrowsAMarkerWhenRewrittenIsLeftOut) {
    const uint32_t valueAt = 8 + 2 + 2 * 12 + 4;
    const Bytes block = TiffBlock({{0x010E, 2, 40000, valueAt}, {0x013B, 2, 40000, valueAt}}, Bytes(40000, 'a'));
    const Bytes xmp = Payload(kXmpId, sizeof kXmpId, Bytes(64, 'x'));
    WriteJpeg(dir.File("p.jpg"), 6, 4, Quarters(6, 4, kUpright),
              {{0xE1, Payload(kExifId, sizeof kExifId, block)}, {0xE1, xmp}});
    ASSERT_EQ(Load("p.jpg"), LOAD_OK);
    ASSERT_NE(record.metadata, nullptr);
    EXPECT_EQ(record.metadata->exif, block) << "the block itself is sound";
    ExpectSavedWithoutExif(xmp);
}

TEST_F(ExifTest, BitmapsOpenWithoutMetadata) {
    WriteJpeg(dir.File("photo.jpg"), 6, 4, Quarters(6, 4, kUpright), {{0xE1, MakeExif({.orientation = 3})}});
    ASSERT_EQ(Load("photo.jpg"), LOAD_OK);
    ASSERT_NE(record.metadata, nullptr);
    WriteBytes(dir.File("p.bmp"), MakeBmp(5, 3));
    ASSERT_EQ(Load("p.bmp"), LOAD_OK);  // the photo's metadata is released with it
    EXPECT_EQ(record.metadata, nullptr);
}

TEST(PictureLimitsTest, HundredMegapixelPhotosOfAnyUsualAspectAreAccepted) {
    const struct {
        int64_t w, h;
        bool accepted;
    } cases[] = {
        {10000, 10000, true},                        // exactly 100 megapixels, though its rows pad to 10048
        {10000, 10001, false},                       // one row more
        {11547, 8660, true},                         // 4:3
        {11548, 8660, false},  {13333, 7500, true},  // 16:9
        {30000, 3333, true},                         // 9:1, the longest side
        {30001, 100, false},                         // a side too long, however few pixels
        {100, 30001, false},   {0, 100, false},     {100, -1, false},
    };
    for (const auto& c : cases) EXPECT_EQ(PictureSizeAcceptable(c.w, c.h), c.accepted) << c.w << " x " << c.h;
}

// Headers alone: a 100-megapixel picture is measured and would open, one just
// over is refused before anything is allocated.
TEST_F(ExifTest, APictureJustOver100MegapixelsIsRefusedFromItsHeader) {
    WriteBytes(dir.File("100mp.jpg"), JpegHeaderOnly(10000, 10000, 3, false));
    WriteBytes(dir.File("over.jpg"), JpegHeaderOnly(10000, 10001, 3, false));
    EXPECT_EQ(SizeOf("100mp.jpg"), std::pair(10000, 10000));
    EXPECT_EQ(SizeOf("over.jpg"), std::pair(-1, -1));
    ASSERT_EQ(Load("100mp.jpg", 6000000), LOAD_TOO_LARGE);
    EXPECT_EQ(record.byteSize, 3 * 10048 * 10000);
    EXPECT_EQ(Load("over.jpg", 6000000), LOAD_FAILED);
    EXPECT_EQ(Load("over.jpg"), LOAD_FAILED);
    int w = 0, h = 0;
    EXPECT_EQ(ReadPictureThumbnail(Path("over.jpg").c_str(), 140, 110, &w, &h), nullptr);
}

}  // namespace
