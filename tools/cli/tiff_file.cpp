// TIFF through libtiff: the first page of a file, 8 and 16-bit unsigned integer or 32-bit float
// samples, gray, gray + alpha, RGB or RGBA (JPEG-compressed YCbCr is read as RGB, old-style JPEG
// through libtiff's RGBA interface), interleaved or planar, in strips or tiles, with any
// compression libtiff decodes. Premultiplied (associated) alpha is taken out on loading and put
// back on saving. Saving repeats the loaded file's layout.
// The resolution, ICC profile, XMP packet and orientation are read; all but the orientation
// (applied on loading) are written.
//
// A file may declare strips or tiles of any size: reading decodes only the rows of each block
// that lie in the image, into a buffer bounded by the image, and the image grows band by band as
// blocks arrive, so a file that lies about its size fails before it costs memory. Metadata tags
// other than those are named as not carried.
#include <sys/stat.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>

#include "image_file.h"

namespace cli {

// A block buffer may take this many times the image rows it covers, or kBlockFloor bytes.
constexpr uint64_t kBlockExcess = 16;
constexpr uint64_t kBlockFloor = 16 << 20;

// An open TIFF file, with the first error libtiff reported about it: the first is the cause,
// later complaints are its consequences.
struct TiffFile {
    TIFF* tif = nullptr;
    std::string message;

    TiffFile(const std::string& path, const char* mode) {
        static std::once_flag silenced;  // nothing goes to standard error from libtiff
        std::call_once(silenced, [] {
            TIFFSetErrorHandler(nullptr);
            TIFFSetWarningHandler(nullptr);
        });
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, keepFirst, this);
        TIFFOpenOptionsSetWarningHandlerExtR(options, ignore, nullptr);
        tif = TIFFOpenExt(path.c_str(), mode, options);
        TIFFOpenOptionsFree(options);
    }
    ~TiffFile() {
        if (tif) TIFFClose(tif);
    }
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    std::string explain(const std::string& reason) const { return message.empty() ? reason : reason + ": " + message; }

    static int keepFirst(TIFF*, void* self, const char*, const char* format, va_list args) {
        std::string& message = static_cast<TiffFile*>(self)->message;
        if (message.empty()) {
            char text[512];
            vsnprintf(text, sizeof text, format, args);
            message = text;
        }
        return 1;
    }
    static int ignore(TIFF*, void*, const char*, const char*, va_list) { return 1; }
};

// The units in which samples are stored: tiles or strips, each holding either one channel
// (planar) or all channels pixel by pixel.
struct Blocks {
    bool tiled;
    uint32_t width;
    uint32_t height;
    int32_t planes;
    int32_t perPixel;
    uint64_t rowBytes;  // one row of a block
};

static Blocks blocksOf(TIFF* tif, const Image& image) {
    Blocks b;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    b.tiled = TIFFIsTiled(tif);
    b.width = static_cast<uint32_t>(image.width);
    b.height = 0;
    if (b.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &b.width);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &b.height);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        b.height = std::min(rowsPerStrip, static_cast<uint32_t>(image.height));
    }
    b.planes = planar == PLANARCONFIG_SEPARATE ? image.channels : 1;
    b.perPixel = planar == PLANARCONFIG_SEPARATE ? 1 : image.channels;
    b.rowBytes = static_cast<uint64_t>(b.width) * b.perPixel * sampleBytes(image);
    return b;
}

// Rows of the block starting at image row y that lie in the image.
static uint32_t rowsIn(const Blocks& b, const Image& image, uint32_t y) {
    return std::min(b.height, static_cast<uint32_t>(image.height) - y);
}

// Moves the samples of the block at (x, y) of a plane between the image and the block buffer:
// interleaved rows as they are, one plane's sample by sample.
static void copyBlock(const Blocks& b, uint8_t* block, uint8_t* samples, const Image& image, uint32_t x, uint32_t y,
                      int32_t plane, bool toBlock) {
    const size_t bytes = static_cast<size_t>(sampleBytes(image));
    const uint32_t columns = std::min(b.width, image.width - x), rows = rowsIn(b, image, y);
    if (b.perPixel == image.channels) {
        const size_t run = static_cast<size_t>(columns) * b.perPixel * bytes;
        for (uint32_t r = 0; r < rows; r++) {
            uint8_t* inBlock = block + r * b.rowBytes;
            uint8_t* inImage = samples + (static_cast<size_t>(y + r) * image.width + x) * image.channels * bytes;
            if (toBlock) memcpy(inBlock, inImage, run);
            else memcpy(inImage, inBlock, run);
        }
        return;
    }
    for (uint32_t r = 0; r < rows; r++)
        for (uint32_t c = 0; c < columns; c++) {
            uint8_t* inBlock = block + r * b.rowBytes + static_cast<size_t>(c) * b.perPixel * bytes;
            uint8_t* inImage = samples + ((static_cast<size_t>(y + r) * image.width + x + c) * image.channels + plane) * bytes;
            if (toBlock) memcpy(inBlock, inImage, b.perPixel * bytes);
            else memcpy(inImage, inBlock, b.perPixel * bytes);
        }
}

static uint32_t blockIndex(TIFF* tif, const Blocks& b, uint32_t x, uint32_t y, int32_t plane) {
    uint16_t sample = static_cast<uint16_t>(plane);
    return b.tiled ? TIFFComputeTile(tif, x, y, 0, sample) : TIFFComputeStrip(tif, y, sample);
}

// Blocks up to this size decode whole into one buffer. A larger strip is read row by row, so
// memory grows with the rows the file really holds; a larger tile is bounded by the image rows
// it covers, and so by the pixel limit.
constexpr uint64_t kWholeBlockBytes = 16u << 20;

// A large strip image, row by row through libtiff's scanline interface (each plane from the top).
static bool readScanlines(TIFF* tif, const Blocks& b, Image& image, const LoadSettings& settings, bool& stopped) {
    const Blocks row = {false, b.width, 1, b.planes, b.perPixel, b.rowBytes};
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(b.rowBytes)]);
    for (int32_t plane = 0; plane < b.planes; plane++)
        for (uint32_t y = 0; y < static_cast<uint32_t>(image.height); y++) {
            if (y % kRowsBetweenStops == 0 && (stopped = stopAsked(settings))) return false;
            uint8_t* samples = growRows(image, static_cast<int32_t>(y + 1));
            if (TIFFReadScanline(tif, buffer.get(), y, static_cast<uint16_t>(plane)) < 0) return false;
            copyBlock(row, buffer.get(), samples, image, 0, y, plane, false);
        }
    return true;
}

// Reads every block, decoding only its rows inside the image; the image grows band by band.
// False on the first libtiff failure or block that decodes short, or when asked to stop
// (stopped then says so).
static bool readBlocks(TIFF* tif, const Blocks& b, Image& image, const LoadSettings& settings, bool& stopped) {
    const uint64_t blockBytes = b.rowBytes * rowsIn(b, image, 0);
    if (blockBytes > kWholeBlockBytes && !b.tiled) return readScanlines(tif, b, image, settings, stopped);
    // Strips of whole interleaved rows decode straight into the image; an uncompressed file
    // holds every sample it claims, so the image takes its memory at once.
    const bool straight = !b.tiled && b.planes == 1 && b.rowBytes == rowBytes(image);
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    struct stat status;
    const size_t imageBytes = rowBytes(image) * static_cast<size_t>(image.height);
    if (compression == COMPRESSION_NONE && fstat(TIFFFileno(tif), &status) == 0 &&
        static_cast<uint64_t>(status.st_size) >= imageBytes)
        image.samples.reserve(imageBytes);
    std::unique_ptr<uint8_t[]> block(straight ? nullptr : new uint8_t[static_cast<size_t>(blockBytes)]);
    for (int32_t plane = 0; plane < b.planes; plane++)
        for (uint32_t y = 0; y < static_cast<uint32_t>(image.height); y += b.height) {
            if ((stopped = stopAsked(settings))) return false;
            const tmsize_t size = static_cast<tmsize_t>(b.rowBytes * rowsIn(b, image, y));
            uint8_t* samples = growRows(image, static_cast<int32_t>(y + rowsIn(b, image, y)));
            if (straight) {
                // A strip that holds less is truncated.
                if (TIFFReadEncodedStrip(tif, blockIndex(tif, b, 0, y, 0), samples + y * b.rowBytes, size) != size) return false;
                continue;
            }
            for (uint32_t x = 0; x < static_cast<uint32_t>(image.width); x += b.width) {
                uint32_t index = blockIndex(tif, b, x, y, plane);
                tmsize_t got = b.tiled ? TIFFReadEncodedTile(tif, index, block.get(), size)
                                       : TIFFReadEncodedStrip(tif, index, block.get(), size);
                if (got != size) return false;  // a block that holds less is truncated
                copyBlock(b, block.get(), samples, image, x, y, plane, false);
            }
        }
    return true;
}

// An old-style JPEG image (compression 6, from old scanners), band by band through libtiff's RGBA
// interface: the only one that decodes every layout such files come in and turns their YCbCr into
// RGB (subsampled chroma repeated over its block, as libtiff's other readers show it). False on
// the first failure or when asked to stop (stopped then says so).
static bool readAsRgba(TIFF* tif, const Blocks& b, Image& image, const LoadSettings& settings, bool& stopped) {
    char message[1024] = "";
    TIFFRGBAImage rgba;
    if (!TIFFRGBAImageBegin(&rgba, tif, 0, message)) return false;
    rgba.req_orientation = rgba.orientation;  // as stored: loadImage applies the orientation
    // Bands of whole strips or tiles, so that each is decoded once (libtiff decodes a strip from
    // its start for every band that reads part of it): a picture in one strip takes a raster of
    // 4 bytes a pixel for the whole of it while it is read.
    const uint32_t width = static_cast<uint32_t>(image.width), band = (kRowsBetweenStops + b.height - 1) / b.height * b.height;
    std::vector<uint32_t> raster(static_cast<size_t>(width) * std::min<uint32_t>(band, image.height));
    bool ok = true;
    for (uint32_t y = 0; ok && y < static_cast<uint32_t>(image.height); y += band) {
        if ((stopped = stopAsked(settings))) break;
        const uint32_t rows = std::min<uint32_t>(band, image.height - y);
        rgba.row_offset = static_cast<int>(y);
        ok = TIFFRGBAImageGet(&rgba, raster.data(), width, rows);
        uint8_t* out = growRows(image, static_cast<int32_t>(y + rows)) + rowBytes(image) * y;
        for (size_t i = 0; ok && i < static_cast<size_t>(width) * rows; i++)
            for (int32_t c = 0; c < image.channels; c++) *out++ = static_cast<uint8_t>(raster[i] >> (8 * c));
    }
    TIFFRGBAImageEnd(&rgba);
    return ok && !stopped;
}

// Why reading the blocks failed, in the tool's words where libtiff's are not: a block that starts
// past the end of the file is one libtiff says it got a negative number of bytes of.
static std::string readFailure(const TiffFile& file) {
    TIFF* tif = file.tif;
    const bool tiled = TIFFIsTiled(tif);
    const uint32_t blocks = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    struct stat status;
    if (fstat(TIFFFileno(tif), &status) == 0)
        for (uint32_t i = 0; i < blocks; i++)
            if (TIFFGetStrileOffset(tif, i) >= static_cast<uint64_t>(status.st_size))
                return std::string("corrupt or truncated TIFF image: ") + (tiled ? "tile " : "strip ") + std::to_string(i) +
                       " starts past the end of the file";
    return file.explain("corrupt or truncated TIFF image");
}

// Names what the file holds that the tool does not carry: its other pages, and tags of
// metadata other than the resolution, ICC profile and XMP.
static void noteOtherTags(TIFF* tif, Image& image) {
    static const std::pair<ttag_t, const char*> kTags[] = {
        {TIFFTAG_EXIFIFD, "the EXIF directory"},   {TIFFTAG_GPSIFD, "the GPS directory"},
        {TIFFTAG_RICHTIFFIPTC, "the IPTC block"},  {TIFFTAG_PHOTOSHOP, "the Photoshop block"},
        {TIFFTAG_IMAGEDESCRIPTION, "the image description"}, {TIFFTAG_ARTIST, "the artist"},
        {TIFFTAG_COPYRIGHT, "the copyright"},      {TIFFTAG_DATETIME, "the date"},
        {TIFFTAG_MAKE, "the camera's make"},       {TIFFTAG_MODEL, "the camera's model"},
        {TIFFTAG_SOFTWARE, "the software"},        {TIFFTAG_DOCUMENTNAME, "the document name"},
    };
    for (const auto& [tag, name] : kTags) {
        void* value[4] = {};
        if (TIFFGetField(tif, tag, &value[0], &value[1], &value[2], &value[3]))
            noteNotCarried(image, std::string(name) + " of the TIFF file");
    }
    if (TIFFNumberOfDirectories(tif) > 1) noteNotCarried(image, "the TIFF file's pages after the first");
}
// Writes every block as the rows become ready; false on the first libtiff failure or when the
// file is abandoned.
static bool writeBlocks(TIFF* tif, const Blocks& b, const Image& image, const SaveSettings& settings) {
    std::vector<uint8_t> block(static_cast<size_t>(b.rowBytes * b.height));
    // Writing only reads the samples.
    uint8_t* samples = const_cast<uint8_t*>(image.samples.data());
    for (int32_t plane = 0; plane < b.planes; plane++)
        for (uint32_t y = 0; y < static_cast<uint32_t>(image.height); y += b.height) {
            if (!rowsReady(settings, static_cast<int32_t>(y + rowsIn(b, image, y)))) return false;
            for (uint32_t x = 0; x < static_cast<uint32_t>(image.width); x += b.width) {
                uint32_t index = blockIndex(tif, b, x, y, plane);
                copyBlock(b, block.data(), samples, image, x, y, plane, true);
                // A strip at the bottom holds only the rows that are left.
                tmsize_t size = static_cast<tmsize_t>(b.tiled ? block.size() : b.rowBytes * rowsIn(b, image, y));
                tmsize_t put = b.tiled ? TIFFWriteEncodedTile(tif, index, block.data(), size)
                                       : TIFFWriteEncodedStrip(tif, index, block.data(), size);
                if (put < 0) return false;
            }
        }
    return true;
}

// Why the loaded directory is not an image the filter takes, or empty when it is. Sets the
// number of colour channels.
static std::string unsupportedKind(TIFF* tif, uint16_t photometric, uint16_t channels, uint16_t bits,
                                   uint16_t format, uint16_t compression, int32_t& colours) {
    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK:
        case PHOTOMETRIC_MINISWHITE:
            if (bits == 1) return "1-bit (black and white) images are not supported";
            if (photometric == PHOTOMETRIC_MINISWHITE) return "min-is-white gray images are not supported";
            colours = 1;
            break;
        case PHOTOMETRIC_RGB: colours = 3; break;
        case PHOTOMETRIC_YCBCR:
            if (compression == COMPRESSION_OJPEG) {
                colours = 3;  // read as RGB through the RGBA interface
                break;
            }
            if (compression != COMPRESSION_JPEG) return "YCbCr images are not supported";
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);  // libjpeg converts to RGB
            colours = 3;
            break;
        case PHOTOMETRIC_SEPARATED: return "CMYK (separated) images are not supported";
        case PHOTOMETRIC_CIELAB:
        case PHOTOMETRIC_ICCLAB:
        case PHOTOMETRIC_ITULAB: return "Lab images are not supported";
        case PHOTOMETRIC_PALETTE: return std::to_string(bits) + "-bit palette (indexed-colour) images are not supported";
        default: return "photometric interpretation " + std::to_string(photometric) + " is not supported";
    }
    if (compression == COMPRESSION_OJPEG && (channels != colours || bits != 8))
        return "old-style JPEG images other than 8-bit gray or colour are not supported";
    if (channels > 4 || channels < colours || channels > colours + 1)
        return std::to_string(channels) + " channels are not supported (only gray, gray + alpha, RGB and RGBA)";
    bool integer = format == SAMPLEFORMAT_UINT && (bits == 8 || bits == 16);
    if (!integer && !(format == SAMPLEFORMAT_IEEEFP && bits == 32))
        return std::to_string(bits) + "-bit " +
               (format == SAMPLEFORMAT_IEEEFP ? "float " : format == SAMPLEFORMAT_INT ? "signed " : "") +
               "samples are not supported (only 8 and 16-bit unsigned integer and 32-bit float)";
    return "";
}

static void readResolution(TIFF* tif, Image& image) {
    float x, y;
    uint16_t unit = RESUNIT_NONE;
    if (!TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) || !TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y)) return;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    image.xResolution = x;
    image.yResolution = y;
    image.resolutionUnit = unit == RESUNIT_INCH ? ResolutionUnit::Inch
                           : unit == RESUNIT_CENTIMETER ? ResolutionUnit::Centimetre
                                                        : ResolutionUnit::None;
}

bool loadTiff(const std::string& path, Image& image, std::string& error, const LoadSettings& settings) {
    TiffFile file(path, "r");
    TIFF* tif = file.tif;
    if (!tif) {
        error = file.explain("not a readable TIFF image");
        return false;
    }
    // What the first page holds. The predictor is asked for only where it is set: asking a
    // codec without one makes libtiff complain.
    uint32_t width = 0, height = 0;
    uint16_t channels, bits, format, photometric = PHOTOMETRIC_MINISBLACK, planar, compression, predictor = 1;
    uint16_t orientation = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &channels);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor);
    TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
    int32_t colours = 0;
    error = unsupportedKind(tif, photometric, channels, bits, format, compression, colours);
    if (!error.empty()) return false;
    error = pictureSizeProblem(width, height, settings);
    if (!error.empty()) return false;

    // How it is stored.
    TiffLayout& layout = image.tiff;
    layout.planar = planar == PLANARCONFIG_SEPARATE;
    if (TIFFIsTiled(tif)) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &layout.tileWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &layout.tileHeight);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &layout.rowsPerStrip);
    }
    layout.compression = compression;
    layout.predictor = predictor;
    uint16_t extraCount = 0;
    uint16_t* extraTypes = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0)
        layout.associatedAlpha = extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
    readResolution(tif, image);
    uint32_t profileLength = 0;
    void* profile = nullptr;
    if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &profileLength, &profile) && profile)
        image.iccProfile.assign(static_cast<uint8_t*>(profile), static_cast<uint8_t*>(profile) + profileLength);
    uint32_t xmpLength = 0;
    void* xmp = nullptr;
    if (TIFFGetField(tif, TIFFTAG_XMLPACKET, &xmpLength, &xmp) && xmp) image.xmp.assign(static_cast<char*>(xmp), xmpLength);
    image.orientation = orientation;
    noteOtherTags(tif, image);

    // The blocks must match libtiff's idea of a row, and their buffer must be bounded by the
    // image rows they cover.
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    image.channels = channels;
    image.bits = bits;
    const Blocks blocks = blocksOf(tif, image);
    const bool viaRgba = compression == COMPRESSION_OJPEG;
    const uint64_t libtiffRow = blocks.tiled ? TIFFTileRowSize64(tif) : TIFFScanlineSize64(tif);
    if (blocks.width == 0 || blocks.height == 0 || (!viaRgba && libtiffRow != blocks.rowBytes)) {
        error = file.explain("corrupt TIFF image: inconsistent strip or tile size");
        return false;
    }
    const uint64_t coveredRows = std::min<uint64_t>(blocks.height, height);
    if (blocks.rowBytes * coveredRows > std::max(kBlockExcess * rowBytes(image) * coveredRows, kBlockFloor)) {
        error = "corrupt TIFF image: " + std::to_string(blocks.width) + " x " + std::to_string(blocks.height) +
                " tiles for a " + std::to_string(width) + " x " + std::to_string(height) + " image";
        return false;
    }

    // The samples, block by block.
    bool stopped = false;
    if (!(viaRgba ? readAsRgba : readBlocks)(tif, blocks, image, settings, stopped)) {
        error = stopped ? kStopped : readFailure(file);
        return false;
    }
    if (layout.associatedAlpha) unpremultiplyAlpha(image);
    return true;
}

// The loaded file's compression when libtiff can write it without loss, else deflate.
static uint16_t outputCompression(uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
        case COMPRESSION_LZW:
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
        case COMPRESSION_PACKBITS:
        case COMPRESSION_ZSTD:
        case COMPRESSION_LZMA:
            if (TIFFIsCODECConfigured(compression)) return compression;
            break;
    }
    return COMPRESSION_ADOBE_DEFLATE;
}

// A tile no larger than the image needs, rounded up to the 16 pixels tiles are made of.
static uint32_t tileSide(uint32_t tile, int32_t imageSide) {
    return std::min(tile, (static_cast<uint32_t>(imageSide) + 15) / 16 * 16);
}

static void writeTags(TIFF* tif, const Image& image, const SaveSettings& settings) {
    const TiffLayout& layout = image.tiff;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(image.channels));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(image.bits));
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, image.bits == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, image.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, layout.planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    if (hasAlpha(image)) {
        uint16_t type = layout.associatedAlpha ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &type);
    }
    uint16_t compression = outputCompression(layout.compression);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (settings.compression >= 0 && (compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_DEFLATE))
        TIFFSetField(tif, TIFFTAG_ZIPQUALITY, settings.compression);
    if (compression == layout.compression && layout.predictor > 1 && compression != COMPRESSION_NONE &&
        compression != COMPRESSION_PACKBITS)
        TIFFSetField(tif, TIFFTAG_PREDICTOR, layout.predictor);
    if (layout.tileWidth > 0) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, tileSide(layout.tileWidth, image.width));
        TIFFSetField(tif, TIFFTAG_TILELENGTH, tileSide(layout.tileHeight, image.height));
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, layout.rowsPerStrip > 0 ? layout.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
    }
    if (image.xResolution > 0 && image.yResolution > 0) {
        bool metre = image.resolutionUnit == ResolutionUnit::Metre;  // stored per centimetre
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(metre ? image.xResolution / 100 : image.xResolution));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(metre ? image.yResolution / 100 : image.yResolution));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT,
                     image.resolutionUnit == ResolutionUnit::Inch ? RESUNIT_INCH
                     : image.resolutionUnit == ResolutionUnit::None ? RESUNIT_NONE
                                                                    : RESUNIT_CENTIMETER);
    }
    const std::vector<uint8_t> profile = profileToWrite(image, image.channels - hasAlpha(image), settings);
    if (!profile.empty()) TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(profile.size()), profile.data());
    if (!image.exif.empty()) leaveOut(settings, "the EXIF block, which the tool does not write into TIFF files");
    if (!image.xmp.empty())
        TIFFSetField(tif, TIFFTAG_XMLPACKET, static_cast<uint32_t>(image.xmp.size()), image.xmp.data());
}

bool saveTiff(const Image& image, const std::string& path, const SaveSettings& settings, std::string& error) {
    // Files past 4 GB need the 64-bit offsets of BigTIFF.
    bool big = image.samples.size() > (static_cast<size_t>(3) << 30);
    TiffFile file(path, big ? "w8" : "w");
    TIFF* tif = file.tif;
    if (!tif) {
        error = file.explain("cannot write the TIFF image");
        return false;
    }
    writeTags(tif, image, settings);
    // Premultiplied alpha is written from a premultiplied copy of the finished image.
    Image premultiplied;
    if (image.tiff.associatedAlpha && hasAlpha(image)) {
        if (!rowsReady(settings, image.height)) return error = kAbandoned, false;
        premultiplied = image;
        premultiplyAlpha(premultiplied);
    }
    const Image& stored = premultiplied.samples.empty() ? image : premultiplied;
    if (!writeBlocks(tif, blocksOf(tif, stored), stored, settings) || !TIFFFlush(tif)) {
        error = file.explain("cannot write the TIFF image");
        return false;
    }
    return true;
}

}  // namespace cli
