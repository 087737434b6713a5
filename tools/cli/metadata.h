// EXIF and XMP as the tool carries them from file to file: the orientation read from them, and
// both rewritten for a picture that has been turned upright (orientation 1, EXIF's thumbnail of
// the old picture dropped, its pixel dimensions those of the new one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// The six bytes before the EXIF block in a JPEG APP1 segment (and in some WebP EXIF chunks).
constexpr char kExifPrefix[] = "Exif\0";
constexpr size_t kExifPrefixBytes = 6;
// The name before the XMP packet in a JPEG APP1 segment, with its terminating zero.
constexpr char kXmpNamespace[] = "http://ns.adobe.com/xap/1.0/";
constexpr size_t kXmpNamespaceBytes = sizeof kXmpNamespace;

// An EXIF block as a file's chunk holds it, without the "Exif\0\0" that some writers put before
// it (as a JPEG segment has it).
std::vector<uint8_t> exifBlock(const uint8_t* bytes, size_t size);

// The orientation tag of the EXIF block's first directory: 1..8, or 0 when there is none or
// the block is not readable.
int32_t exifOrientation(const std::vector<uint8_t>& exif);

// The EXIF block for the upright picture of the given size; empty when the block is not
// readable. Offsets inside it are kept, so maker notes stay valid.
std::vector<uint8_t> uprightExif(const std::vector<uint8_t>& exif, int32_t width, int32_t height);

// The first tiff:Orientation of the XMP packet, as an attribute or an element: 1..8, or 0 when
// there is none.
int32_t xmpOrientation(const std::string& xmp);

// The XMP packet with any tiff:Orientation set to 1.
std::string uprightXmp(const std::string& xmp);

}  // namespace cli
