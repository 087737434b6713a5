// EXIF and XMP rewriting. The EXIF block is a little TIFF file: a header naming the byte order,
// then directories of 12-byte entries (tag, type, count, value or offset). It is edited in
// place, never rebuilt, because maker notes hold offsets that a rebuilt block would break: the
// orientation entry becomes 1, the pixel dimensions are rewritten, and the link from the first
// directory to the second (the thumbnail's) is cut; the thumbnail's bytes are cut off too when
// nothing else lies behind them.
#include "metadata.h"

#include <algorithm>

namespace cli {

namespace {

constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagExifDirectory = 0x8769;
constexpr uint16_t kTagGpsDirectory = 0x8825;
constexpr uint16_t kTagInteropDirectory = 0xA005;
constexpr uint16_t kTagPixelXDimension = 0xA002;
constexpr uint16_t kTagPixelYDimension = 0xA003;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr int32_t kMaxDirectories = 8;  // a loop of directory links ends here

// Bytes of one value of each entry type (BYTE, ASCII, SHORT, LONG, RATIONAL, SBYTE, UNDEFINED,
// SSHORT, SLONG, SRATIONAL, FLOAT, DOUBLE, IFD); 0 for unknown types.
size_t typeBytes(uint16_t type) {
    static const uint8_t bytes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizeof bytes ? bytes[type] : 0;
}

// The block with its byte order, read and written with bounds checks.
struct ExifBlock {
    std::vector<uint8_t>& bytes;
    bool little = true;

    bool has(size_t offset, size_t length) const { return offset <= bytes.size() && length <= bytes.size() - offset; }
    uint32_t read(size_t offset, size_t length) const {
        uint32_t value = 0;
        for (size_t i = 0; i < length; i++)
            value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * (little ? i : length - 1 - i));
        return value;
    }
    void write(size_t offset, size_t length, uint32_t value) {
        for (size_t i = 0; i < length; i++)
            bytes[offset + i] = static_cast<uint8_t>(value >> (8 * (little ? i : length - 1 - i)));
    }
    // The first directory's offset, or 0 when the header is not a TIFF header.
    uint32_t firstDirectory() {
        if (!has(0, 8)) return 0;
        if (bytes[0] == 'I' && bytes[1] == 'I') little = true;
        else if (bytes[0] == 'M' && bytes[1] == 'M') little = false;
        else return 0;
        return read(2, 2) == 42 ? read(4, 4) : 0;
    }
};

// One directory entry: where it is and what it holds.
struct Entry {
    size_t at;
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    size_t valueAt;     // where the value is: in the entry or at its offset
    size_t valueBytes;
    bool valueInside;   // whether the value lies in the block
};

// Visits the entries of the directory at offset; returns the offset of its link to the next
// directory, or 0 when the directory does not fit in the block.
template <typename Visit>
size_t forEachEntry(ExifBlock& block, uint32_t offset, Visit visit) {
    if (!block.has(offset, 2)) return 0;
    const uint32_t count = block.read(offset, 2);
    const size_t link = offset + 2 + 12 * static_cast<size_t>(count);
    if (!block.has(link, 4)) return 0;
    for (uint32_t i = 0; i < count; i++) {
        Entry e;
        e.at = offset + 2 + 12 * static_cast<size_t>(i);
        e.tag = static_cast<uint16_t>(block.read(e.at, 2));
        e.type = static_cast<uint16_t>(block.read(e.at + 2, 2));
        e.count = block.read(e.at + 4, 4);
        e.valueBytes = typeBytes(e.type) * e.count;
        e.valueAt = e.valueBytes <= 4 ? e.at + 8 : block.read(e.at + 8, 4);
        e.valueInside = block.has(e.valueAt, e.valueBytes);
        visit(e);
    }
    return link;
}

// The first value of an entry of a whole-number type (BYTE, SHORT, LONG or their signed kinds),
// as common readers take it whatever the type and count; -1 for other entries.
int64_t firstWholeNumber(const ExifBlock& block, const Entry& e) {
    const bool whole = e.type == 1 || e.type == kTypeShort || e.type == kTypeLong || e.type == 6 || e.type == 8 || e.type == 9;
    if (!whole || e.count == 0 || !e.valueInside) return -1;
    return block.read(e.valueAt, typeBytes(e.type));
}

}  // namespace

std::vector<uint8_t> exifBlock(const uint8_t* bytes, size_t size) {
    const bool prefixed = size >= kExifPrefixBytes && std::equal(bytes, bytes + kExifPrefixBytes, kExifPrefix);
    return prefixed ? std::vector<uint8_t>(bytes + kExifPrefixBytes, bytes + size) : std::vector<uint8_t>(bytes, bytes + size);
}

int32_t exifOrientation(const std::vector<uint8_t>& exif) {
    std::vector<uint8_t> copy = exif;
    ExifBlock block{copy};
    const uint32_t first = block.firstDirectory();
    int32_t orientation = 0;
    if (first == 0) return 0;
    forEachEntry(block, first, [&](const Entry& e) {
        const int64_t value = firstWholeNumber(block, e);
        if (e.tag == kTagOrientation && value >= 1 && value <= 8) orientation = static_cast<int32_t>(value);
    });
    return orientation;
}

std::vector<uint8_t> uprightExif(const std::vector<uint8_t>& exif, int32_t width, int32_t height) {
    std::vector<uint8_t> bytes = exif;
    ExifBlock block{bytes};
    const uint32_t first = block.firstDirectory();
    if (first == 0) return {};

    // Rewrite the entries of the first directory and the directories it points to, noting how
    // far their tables and values reach. A directory that does not fit is left alone. The
    // orientation entry becomes a single SHORT 1 whatever it held, its old value left unused.
    size_t reach = 8;
    std::vector<uint32_t> directories{first};
    size_t firstLink = 0;
    for (size_t d = 0; d < directories.size() && d < kMaxDirectories; d++) {
        size_t link = forEachEntry(block, directories[d], [&](const Entry& e) {
            if (e.valueInside) reach = std::max(reach, e.valueAt + e.valueBytes);
            if (e.tag == kTagOrientation) {
                block.write(e.at + 2, 2, kTypeShort);
                block.write(e.at + 4, 4, 1);
                block.write(e.at + 8, 2, 1);
                block.write(e.at + 10, 2, 0);
            }
            bool scalar = e.count == 1 && (e.type == kTypeShort || e.type == kTypeLong) && e.valueInside;
            if (e.tag == kTagPixelXDimension && scalar) block.write(e.valueAt, typeBytes(e.type), static_cast<uint32_t>(width));
            if (e.tag == kTagPixelYDimension && scalar) block.write(e.valueAt, typeBytes(e.type), static_cast<uint32_t>(height));
            bool pointer = e.tag == kTagExifDirectory || e.tag == kTagGpsDirectory || e.tag == kTagInteropDirectory;
            if (pointer && firstWholeNumber(block, e) > 0) directories.push_back(static_cast<uint32_t>(firstWholeNumber(block, e)));
        });
        if (link == 0 && d == 0) return {};
        if (link != 0) reach = std::max(reach, link + 4);
        if (d == 0) firstLink = link;
    }

    // Cut the thumbnail's directory off: unlinked, and its bytes dropped when they come last.
    const uint32_t thumbnail = block.read(firstLink, 4);
    block.write(firstLink, 4, 0);
    if (thumbnail >= reach && thumbnail < bytes.size()) bytes.resize(thumbnail);
    return bytes;
}

namespace {

// Visits the value of every tiff:Orientation in the packet that is a digit 1..8: as an attribute,
// tiff:Orientation="6", or as an element, <tiff:Orientation>6<...
template <typename Visit>
void forEachXmpOrientation(const std::string& xmp, Visit visit) {
    for (const char* opener : {"tiff:Orientation=\"", "tiff:Orientation='", "<tiff:Orientation>"}) {
        const std::string key = opener;
        for (size_t at = xmp.find(key); at != std::string::npos; at = xmp.find(key, at + 1)) {
            const size_t value = at + key.size();
            if (value < xmp.size() && xmp[value] >= '1' && xmp[value] <= '8') visit(value);
        }
    }
}

}  // namespace

int32_t xmpOrientation(const std::string& xmp) {
    size_t first = std::string::npos;
    forEachXmpOrientation(xmp, [&](size_t value) { first = std::min(first, value); });
    return first == std::string::npos ? 0 : xmp[first] - '0';
}

std::string uprightXmp(const std::string& xmp) {
    std::string text = xmp;
    forEachXmpOrientation(xmp, [&](size_t value) { text[value] = '1'; });
    return text;
}

}  // namespace cli
