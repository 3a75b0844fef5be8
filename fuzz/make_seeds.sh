#!/usr/bin/env bash
# Writes the seed inputs of the fuzz targets into fuzz/seeds/<target>/: small
# valid pictures of the kinds the readers handle, damaged and truncated copies
# of them, and byte strings for the subject search. Needs ImageMagick's convert.
# The outputs are kept in the repository; run this again only to change them
# (ImageMagick versions may encode the JPEG files slightly differently). Other
# files in the seed folders, such as inputs kept from fuzzing, are left alone.
set -euo pipefail
cd "$(dirname "$0")"
seeds="$PWD/seeds"

# Writes the bytes given as two-digit hex numbers over `file` at `offset`.
patch_bytes() {
  local file=$1 offset=$2
  shift 2
  local hex
  hex=$(printf '\\x%s' "$@")
  printf "$hex" | dd of="$file" bs=1 seek="$offset" conv=notrunc status=none
}

# Writes `value` as a little-endian 32-bit number at `offset` of `file`.
patch_u32() {
  local file=$1 offset=$2 value=$3
  patch_bytes "$file" "$offset" $(printf '%02x %02x %02x %02x' $((value & 255)) $(((value >> 8) & 255)) \
    $(((value >> 16) & 255)) $(((value >> 24) & 255)))
}

# --- BMP: 24-bit bottom-up files, odd widths so the rows carry padding --------
out="$seeds/fuzz_bmp_reader"
mkdir -p "$out"
# 3 x 2 with one blue pixel, plain 40-byte information header.
convert -size 3x2 xc:red -fill blue -draw "point 1,0" -type truecolor BMP3:"$out/3x2.bmp"
# 5 x 3 gradient with the long (124-byte) information header, skipped through
# the data offset.
convert -size 5x3 gradient:red-blue -type truecolor BMP:"$out/5x3_long_header.bmp"
# 7 x 5 with the image-size field 0, which uncompressed files may carry.
convert -size 7x5 gradient:yellow-navy -type truecolor BMP3:"$out/7x5_size_zero.bmp"
patch_u32 "$out/7x5_size_zero.bmp" 34 0
# The 7 x 5 file cut inside its pixel rows, as stored (the file-size field then
# disagrees) and with the file-size field fixed to the shorter length.
head -c 100 "$out/7x5_size_zero.bmp" >"$out/7x5_cut.bmp"
cp "$out/7x5_cut.bmp" "$out/7x5_cut_size_fixed.bmp"
patch_u32 "$out/7x5_cut_size_fixed.bmp" 2 100
# Only the two headers.
head -c 54 "$out/3x2.bmp" >"$out/headers_only.bmp"
patch_u32 "$out/headers_only.bmp" 2 54

# --- JPEG: baseline, progressive, grey, CMYK, odd sizes, truncated -----------
out="$seeds/fuzz_jpeg_loader"
mkdir -p "$out"
# convert with the metadata stripped; the last argument is the output file.
jpeg() { convert "${@:1:$#-1}" -strip "${@: -1}"; }
jpeg -size 9x7 gradient:red-blue -quality 80 -sampling-factor 2x2 "$out/baseline_420_9x7.jpg"
jpeg -seed 1 -size 11x5 plasma:fractal -quality 90 -sampling-factor 1x1 "$out/baseline_444_11x5.jpg"
jpeg -size 13x9 gradient:green-orange -quality 75 -interlace JPEG "$out/progressive_13x9.jpg"
jpeg -size 10x6 gradient:white-black -colorspace Gray -quality 85 "$out/grey_10x6.jpg"
jpeg -size 12x8 gradient:cyan-magenta -colorspace CMYK -quality 85 "$out/cmyk_12x8.jpg"
jpeg -size 17x3 gradient:blue-yellow -quality 70 -sampling-factor 2x1 "$out/baseline_422_17x3.jpg"
jpeg -size 15x14 gradient:red-black -quality 60 -sampling-factor 1x2 -define jpeg:optimize-coding=true \
  "$out/optimized_440_15x14.jpg"
# Cut after the headers, and in the middle of the progressive scans.
size=$(stat -c %s "$out/baseline_420_9x7.jpg")
head -c $((size - 40)) "$out/baseline_420_9x7.jpg" >"$out/baseline_cut.jpg"
size=$(stat -c %s "$out/progressive_13x9.jpg")
head -c $((size / 2)) "$out/progressive_13x9.jpg" >"$out/progressive_cut.jpg"
# Camera metadata inserted after the JFIF header: an EXIF block stating
# orientation 6 (a little-endian TIFF directory with one entry), the same block
# cut short, and a photo with XMP and a two-chunk ICC profile beside the EXIF.
python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
base = open(out + "/baseline_420_9x7.jpg", "rb").read()
app0_end = 2 + 2 + int.from_bytes(base[4:6], "big")
def segment(code, payload):
    return bytes([0xFF, code]) + struct.pack(">H", len(payload) + 2) + payload
tiff = b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", 1) + struct.pack("<HHII", 0x0112, 3, 1, 6) + struct.pack("<I", 0)
exif = b"Exif\0\0" + tiff
def write(name, *segments):
    open(out + "/" + name, "wb").write(base[:app0_end] + b"".join(segments) + base[app0_end:])
write("exif_orientation6.jpg", segment(0xE1, exif))
write("exif_cut.jpg", segment(0xE1, exif[:20]))
xmp = b"http://ns.adobe.com/xap/1.0/\0<x:xmpmeta xmlns:x='adobe:ns:meta/'/>"
icc = [b"ICC_PROFILE\0" + bytes([i + 1, 2]) + bytes(range(i * 40, i * 40 + 40)) for i in range(2)]
write("exif_xmp_icc.jpg", segment(0xE1, exif), segment(0xE1, xmp), *[segment(0xE2, c) for c in icc])
PY

# --- Subject search: width byte, height byte, failure byte, then pixels -------
# (see fuzz_detect_mask.cpp for the layout)
out="$seeds/fuzz_detect_mask"
mkdir -p "$out"
# 8 x 8 black, no pixel bytes.
printf '\x00\x00\xff' >"$out/black_8x8"
# 40 x 30 of alternating red and white pixels.
printf '\x20\x16\xff\x00\x00\xff\xff\xff\xff' >"$out/stripes_40x30"
# 64 x 48 of a long byte ramp: many colour regions.
{ printf '\x38\x28\xff'; for i in $(seq 0 767); do printf "\\x$(printf %02x $(((i * 37 + i / 7) & 255)))"; done; } \
  >"$out/ramp_64x48"
# The same with the working allocations failing after 3 and after 12.
{ printf '\x38\x28\x03'; tail -c +4 "$out/ramp_64x48"; } >"$out/ramp_64x48_fail_3"
{ printf '\x38\x28\x0c'; tail -c +4 "$out/ramp_64x48"; } >"$out/ramp_64x48_fail_12"
# A face: the head and shoulders of the public-domain astronaut portrait of
# samples/, reduced to 72 x 72, where the detector and the eye check find it.
{ printf '\x40\x40\xff'; convert ../samples/astronaut_single.jpg -crop 300x300+110+20 +repage -resize 72x72! \
  -depth 8 BGR:-; } >"$out/face_72x72"
{ printf '\x40\x40\x10'; tail -c +4 "$out/face_72x72"; } >"$out/face_72x72_fail_16"

# --- Thumbnails: a name byte (even: .jpg, odd: .bmp), then the file -----------
# (see fuzz_thumbnail.cpp)
out="$seeds/fuzz_thumbnail"
mkdir -p "$out"
for f in baseline_420_9x7 progressive_13x9 grey_10x6 cmyk_12x8 baseline_cut; do
  { printf '\x00'; cat "$seeds/fuzz_jpeg_loader/$f.jpg"; } >"$out/jpg_$f"
done
for f in 3x2 5x3_long_header 7x5_size_zero 7x5_cut_size_fixed; do
  { printf '\x01'; cat "$seeds/fuzz_bmp_reader/$f.bmp"; } >"$out/bmp_$f"
done
# JPEG data under a BMP name, as a save over a BMP file leaves it.
{ printf '\x01'; cat "$seeds/fuzz_jpeg_loader/baseline_444_11x5.jpg"; } >"$out/bmp_holding_jpeg"

du -ab "$seeds" | sort -k2
