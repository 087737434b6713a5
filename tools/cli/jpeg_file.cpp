// JPEG through libjpeg-turbo: 8-bit gray and colour (YCbCr or RGB) files, read as gray or RGB;
// CMYK and YCCK files are refused. The pixel density, ICC profile, EXIF and XMP are kept, and a
// truncated file is an error rather than a picture padded with gray. Writing takes the quality
// asked for with 4:2:0 chroma subsampling, or 4:4:4 when the source had it or at quality 95 and
// above. Scanlines go straight between the image and libjpeg-turbo's SIMD colour conversion and
// DCT, several at a time, without an optimising second pass.
//
// libjpeg reports errors by a long jump back to the reading or writing function, which
// therefore holds nothing that needs destroying.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "image_file.h"
#include "metadata.h"

namespace cli {

constexpr int kScanlinesAtOnce = 16;
constexpr size_t kMaxMarkerBytes = 65533;  // what a marker segment can carry
constexpr int kFullChromaQuality = 95;
// A block of 64 coefficients (128 bytes in the decoder's whole-image buffers, which progressive
// and multi-scan files need) costs the file at least one bit, so the buffers of a real file are
// less than 1024 times its size. libjpeg's memory is held to that, with room for small files: a
// small file that claims a huge picture is refused before its buffers are allocated.
constexpr long kMaxDecoderMemoryPerByte = 1100;
constexpr long kMinDecoderMemory = 64L << 20;

// The error manager with the way back and libjpeg's message.
struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] static void jpegFail(j_common_ptr info) {
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    if (info->err->msg_code == JERR_NO_BACKING_STORE)
        snprintf(error->message, sizeof error->message, "the picture it declares is too large for the data it holds");
    else
        info->err->format_message(info, error->message);
    longjmp(error->jump, 1);
}

// Warnings pass, except those that say the image data ended early, at the end of the file or
// at a marker: libjpeg would pad the rest of the picture, however large it claims to be.
static void jpegMessage(j_common_ptr info, int level) {
    int code = info->err->msg_code;
    if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) {
        JpegError* error = reinterpret_cast<JpegError*>(info->err);
        snprintf(error->message, sizeof error->message, "the image data is truncated");
        longjmp(error->jump, 1);
    }
}

static void useErrors(jpeg_common_struct* info, JpegError& error) {
    info->err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegFail;
    error.manager.emit_message = jpegMessage;
}

static bool startsWith(const jpeg_saved_marker_ptr marker, const char* prefix, size_t length) {
    return marker->data_length >= length && memcmp(marker->data, prefix, length) == 0;
}

// The density, ICC profile, EXIF and XMP of a file whose header has been read.
static void readMetadata(jpeg_decompress_struct& info, Image& image) {
    if (info.saw_JFIF_marker && (info.density_unit != 0 || info.X_density != info.Y_density)) {
        image.xResolution = info.X_density;
        image.yResolution = info.Y_density;
        image.resolutionUnit = info.density_unit == 1   ? ResolutionUnit::Inch
                               : info.density_unit == 2 ? ResolutionUnit::Centimetre
                                                        : ResolutionUnit::None;
    }
    JOCTET* profile = nullptr;
    unsigned int profileLength = 0;
    if (jpeg_read_icc_profile(&info, &profile, &profileLength)) {
        image.iccProfile.assign(profile, profile + profileLength);
        free(profile);
    }
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1) continue;
        if (startsWith(m, kExifPrefix, kExifPrefixBytes) && image.exif.empty())
            image.exif.assign(m->data + kExifPrefixBytes, m->data + m->data_length);
        else if (startsWith(m, kXmpNamespace, kXmpNamespaceBytes) && image.xmp.empty())
            image.xmp.assign(reinterpret_cast<const char*>(m->data) + kXmpNamespaceBytes, m->data_length - kXmpNamespaceBytes);
    }
}

static bool readJpeg(jpeg_decompress_struct& info, JpegError& error, FILE* file, Image& image, std::string& reason) {
    if (setjmp(error.jump)) {
        reason = std::string("not a readable JPEG image: ") + error.message;
        return false;
    }
    jpeg_stdio_src(&info, file);
    struct stat status;
    if (fstat(fileno(file), &status) == 0)
        info.mem->max_memory_to_use = std::max<long>(kMinDecoderMemory, status.st_size * kMaxDecoderMemoryPerByte);
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&info, TRUE);

    // What the file holds.
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        reason = "CMYK JPEG images are not supported";
        return false;
    }
    if (info.image_width > static_cast<JDIMENSION>(kMaxSide) || info.image_height > static_cast<JDIMENSION>(kMaxSide)) {
        reason = std::to_string(info.image_width) + " x " + std::to_string(info.image_height) +
                 " pixels is too large: the filter takes at most 32767 on a side";
        return false;
    }
    const bool gray = info.num_components == 1;
    info.out_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    image.width = static_cast<int32_t>(info.image_width);
    image.height = static_cast<int32_t>(info.image_height);
    image.channels = gray ? 1 : 3;
    image.bits = 8;
    const jpeg_component_info* c = info.comp_info;
    image.coding.fullChroma = info.num_components == 3 && c[0].h_samp_factor == c[1].h_samp_factor &&
                              c[0].v_samp_factor == c[1].v_samp_factor && c[1].h_samp_factor == c[2].h_samp_factor &&
                              c[1].v_samp_factor == c[2].v_samp_factor;
    readMetadata(info, image);
    if (!image.exif.empty()) image.orientation = exifOrientation(image.exif);

    // The scanlines, the image growing as they arrive.
    jpeg_start_decompress(&info);
    const size_t stride = rowBytes(image);
    while (info.output_scanline < info.output_height) {
        const int32_t first = static_cast<int32_t>(info.output_scanline);
        const int32_t count = std::min(kScanlinesAtOnce, image.height - first);
        uint8_t* samples = growRows(image, first + count);
        JSAMPROW rows[kScanlinesAtOnce];
        for (int32_t i = 0; i < count; i++) rows[i] = samples + (first + i) * stride;
        jpeg_read_scanlines(&info, rows, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_decompress(&info);
    return true;
}

bool loadJpeg(const std::string& path, Image& image, std::string& error) {
    FILE* file = openFile(path, "rb", error);
    if (!file) return false;
    jpeg_decompress_struct info;
    JpegError failure;
    useErrors(reinterpret_cast<jpeg_common_struct*>(&info), failure);
    jpeg_create_decompress(&info);
    bool ok = readJpeg(info, failure, file, image, error);
    jpeg_destroy_decompress(&info);
    fclose(file);
    return ok;
}

// The density as JFIF stores it: dots per inch or centimetre, or only the pixel aspect.
static void setDensity(jpeg_compress_struct& info, const Image& image) {
    if (image.xResolution <= 0 || image.yResolution <= 0) return;
    const bool metre = image.resolutionUnit == ResolutionUnit::Metre;  // stored per centimetre
    const double x = metre ? image.xResolution / 100 : image.xResolution;
    const double y = metre ? image.yResolution / 100 : image.yResolution;
    info.density_unit = image.resolutionUnit == ResolutionUnit::Inch ? 1 : image.resolutionUnit == ResolutionUnit::None ? 0 : 2;
    info.X_density = static_cast<UINT16>(std::clamp(std::lround(x), 1L, 65535L));
    info.Y_density = static_cast<UINT16>(std::clamp(std::lround(y), 1L, 65535L));
}

static void writeMarker(jpeg_compress_struct& info, const char* prefix, size_t prefixBytes, const uint8_t* data,
                        size_t length) {
    if (length == 0 || prefixBytes + length > kMaxMarkerBytes) return;
    jpeg_write_m_header(&info, JPEG_APP0 + 1, static_cast<unsigned int>(prefixBytes + length));
    for (size_t i = 0; i < prefixBytes; i++) jpeg_write_m_byte(&info, prefix[i]);
    for (size_t i = 0; i < length; i++) jpeg_write_m_byte(&info, data[i]);
}

static bool writeJpeg(jpeg_compress_struct& info, JpegError& error, FILE* file, const Image& image,
                      const SaveSettings& settings, std::vector<uint8_t>& scratch, std::string& reason) {
    if (setjmp(error.jump)) {
        reason = std::string("cannot write the JPEG image: ") + error.message;
        return false;
    }
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = image.channels;
    info.in_color_space = image.channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, settings.quality, TRUE);
    if (image.channels == 3 && (image.coding.fullChroma || settings.quality >= kFullChromaQuality))
        info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = 1;
    setDensity(info, image);

    // Markers, then the scanlines as they become ready.
    jpeg_start_compress(&info, TRUE);
    if (!image.iccProfile.empty())
        jpeg_write_icc_profile(&info, image.iccProfile.data(), static_cast<unsigned int>(image.iccProfile.size()));
    writeMarker(info, kExifPrefix, kExifPrefixBytes, image.exif.data(), image.exif.size());
    writeMarker(info, kXmpNamespace, kXmpNamespaceBytes, reinterpret_cast<const uint8_t*>(image.xmp.data()),
                image.xmp.size());
    for (int32_t y = 0; y < image.height; y++) {
        if (!rowsReady(settings, y + 1)) {
            reason = kAbandoned;
            return false;
        }
        JSAMPROW row = const_cast<JSAMPROW>(eightBitRow(image, y, scratch));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

bool saveJpeg(const Image& image, const std::string& path, const SaveSettings& settings, std::string& error) {
    FILE* file = openFile(path, "wb", error);
    if (!file) return false;
    jpeg_compress_struct info;
    JpegError failure;
    useErrors(reinterpret_cast<jpeg_common_struct*>(&info), failure);
    jpeg_create_compress(&info);
    std::vector<uint8_t> scratch;  // 16-bit rows reduced to 8 bits
    bool ok = writeJpeg(info, failure, file, image, settings, scratch, error);
    jpeg_destroy_compress(&info);
    if (fclose(file) != 0 && ok) {
        error = std::string("cannot write the JPEG image: ") + strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace cli
