// JPEG through libjpeg-turbo: 8-bit gray and colour (YCbCr or RGB) files, read as gray or RGB;
// CMYK and YCCK files are refused. The pixel density, ICC profile, EXIF and XMP (extended XMP
// too) are kept, and a truncated file is an error rather than a picture padded with gray, as is
// image data whose restart markers are out of order. Writing takes the quality
// asked for with 4:2:0 chroma subsampling, or 4:4:4 when the source had it or at quality 95 and
// above. Scanlines go straight between the image and libjpeg-turbo's SIMD colour conversion and
// DCT, several at a time, without an optimising second pass.
//
// libjpeg reports errors by a long jump back to the reading or writing function, which
// therefore holds nothing that needs destroying.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "extended_xmp.h"
#include "image_file.h"
#include "metadata.h"

namespace cli {

constexpr int kScanlinesAtOnce = 16;
constexpr size_t kMaxMarkerBytes = 65533;  // what a marker segment can carry
constexpr int kFullChromaQuality = 95;
constexpr int kMarkerEndOfImage = 0xD9;

// The error manager with the way back and the reason, and the stop asked between bands.
struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
    std::string reason;
    jpeg_progress_mgr progress;
    const LoadSettings* settings = nullptr;
};

// Ends the reading or writing with the reason, libjpeg's message after it when asked for. Nothing
// that needs destroying may be alive here: the jump skips it.
[[noreturn]] static void failWith(j_common_ptr info, const char* reason, bool withMessage = false) {
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    static constexpr char kCorrupt[] = "Corrupt JPEG data: ";  // said by the reason already
    char message[JMSG_LENGTH_MAX] = "";
    if (withMessage) info->err->format_message(info, message);
    error->reason = reason;
    error->reason += strncmp(message, kCorrupt, sizeof kCorrupt - 1) == 0 ? message + sizeof kCorrupt - 1 : message;
    longjmp(error->jump, 1);
}

[[noreturn]] static void jpegFail(j_common_ptr info) {
    if (info->err->msg_code == JERR_NO_BACKING_STORE)
        failWith(info, "corrupt JPEG image: it needs more decoder memory than its picture can");
    failWith(info, info->is_decompressor ? "not a readable JPEG image: " : "cannot write the JPEG image: ", true);
}

// Warnings pass, except those that say the image data ended early, at the end of the file or
// at the end marker (libjpeg would pad the rest of the picture, however large it claims to be),
// or that the restart markers are out of order.
static void jpegMessage(j_common_ptr info, int level) {
    const int code = info->err->msg_code;
    if (level >= 0 || (code != JWRN_JPEG_EOF && code != JWRN_HIT_MARKER && code != JWRN_MUST_RESYNC)) return;
    const int marker = reinterpret_cast<j_decompress_ptr>(info)->unread_marker;
    if (code == JWRN_JPEG_EOF || (code == JWRN_HIT_MARKER && marker == kMarkerEndOfImage))
        failWith(info, "not a readable JPEG image: the image data is truncated");
    failWith(info, "corrupt JPEG image: ", true);
}

static void pollStop(j_common_ptr info) {
    if (stopAsked(*reinterpret_cast<JpegError*>(info->err)->settings)) failWith(info, kStopped);
}

static void useErrors(jpeg_common_struct* info, JpegError& error) {
    info->err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jpegFail;
    error.manager.emit_message = jpegMessage;
}

// libjpeg's buffers for the picture the header declares: the coefficients of the whole picture
// (a block of 64 takes 128 bytes), which progressive and multi-scan files keep, and room for the
// rows it works on. Anything beyond is refused.
static long decoderMemory(const jpeg_decompress_struct& info) {
    uint64_t blocks = 0;
    for (int c = 0; c < info.num_components; c++) {
        const jpeg_component_info& component = info.comp_info[c];
        const uint64_t across = (uint64_t{info.image_width} * component.h_samp_factor + 8 * info.max_h_samp_factor - 1) /
                                (8 * info.max_h_samp_factor);
        const uint64_t down = (uint64_t{info.image_height} * component.v_samp_factor + 8 * info.max_v_samp_factor - 1) /
                              (8 * info.max_v_samp_factor);
        blocks += (across + component.h_samp_factor) * (down + component.v_samp_factor);
    }
    const uint64_t rows = uint64_t{256} * info.image_width * info.num_components;
    return static_cast<long>(std::min<uint64_t>(blocks * 128 + rows + (16 << 20), LONG_MAX));
}

static bool startsWith(const jpeg_saved_marker_ptr marker, const char* prefix, size_t length) {
    return marker->data_length >= length && memcmp(marker->data, prefix, length) == 0;
}

// The density, ICC profile, EXIF and XMP of a file whose header has been read; the segments
// the tool does not carry are named.
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
    std::vector<std::string> xmpParts;
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        const char* data = reinterpret_cast<const char*>(m->data);
        if (m->marker == JPEG_APP0 + 1 && startsWith(m, kExifPrefix, kExifPrefixBytes)) {
            if (image.exif.empty()) image.exif.assign(m->data + kExifPrefixBytes, m->data + m->data_length);
        } else if (m->marker == JPEG_APP0 + 1 && startsWith(m, kXmpNamespace, kXmpNamespaceBytes)) {
            if (image.xmp.empty()) image.xmp.assign(data + kXmpNamespaceBytes, m->data_length - kXmpNamespaceBytes);
        } else if (m->marker == JPEG_APP0 + 1 && startsWith(m, kXmpExtensionNamespace, kXmpExtensionNamespaceBytes)) {
            xmpParts.emplace_back(data + kXmpExtensionNamespaceBytes, m->data_length - kXmpExtensionNamespaceBytes);
        } else if (m->marker == JPEG_COM) {
            noteNotCarried(image, "the JPEG comment");
        } else if (!(m->marker == JPEG_APP0 + 2 && startsWith(m, "ICC_PROFILE", 12))) {
            noteNotCarried(image, "the JPEG APP" + std::to_string(m->marker - JPEG_APP0) + " segment");
        }
    }
    if (!joinExtendedXmp(image.xmp, xmpParts)) noteNotCarried(image, "the extended XMP, which does not join the main packet");
}

static bool readJpeg(jpeg_decompress_struct& info, JpegError& error, FILE* file, Image& image, std::string& reason) {
    if (setjmp(error.jump)) {
        reason = error.reason;
        return false;
    }
    jpeg_stdio_src(&info, file);
    // Segments the tool keeps in full, and those it only names (APP0 and APP14 are libjpeg's).
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_save_markers(&info, JPEG_COM, 1);
    for (int app = 3; app <= 15; app++)
        if (app != 14) jpeg_save_markers(&info, JPEG_APP0 + app, 1);
    jpeg_read_header(&info, TRUE);

    // What the file holds.
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        reason = "CMYK JPEG images are not supported";
        return false;
    }
    reason = pictureSizeProblem(info.image_width, info.image_height, *error.settings);
    if (!reason.empty()) return false;
    info.mem->max_memory_to_use = decoderMemory(info);
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

    // The scanlines, the image growing as they arrive; a progressive file is taken in whole
    // first, asking about a stop between its bands too.
    error.progress.progress_monitor = pollStop;
    info.progress = &error.progress;
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

bool loadJpeg(const std::string& path, Image& image, std::string& error, const LoadSettings& settings) {
    FILE* file = openFile(path, "rb", error);
    if (!file) return false;
    jpeg_decompress_struct info;
    JpegError failure;
    failure.settings = &settings;
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
    jpeg_write_m_header(&info, JPEG_APP0 + 1, static_cast<unsigned int>(prefixBytes + length));
    for (size_t i = 0; i < prefixBytes; i++) jpeg_write_m_byte(&info, prefix[i]);
    for (size_t i = 0; i < length; i++) jpeg_write_m_byte(&info, data[i]);
}

// The metadata segments (the XMP split as a JPEG file holds it), and what does not fit in them
// left out.
static void writeMetadata(jpeg_compress_struct& info, const Image& image, const std::vector<std::string>& xmp,
                          const SaveSettings& settings) {
    const std::vector<uint8_t> profile = profileToWrite(image, image.channels, settings);
    if (!profile.empty()) jpeg_write_icc_profile(&info, profile.data(), static_cast<unsigned int>(profile.size()));
    if (kExifPrefixBytes + image.exif.size() > kMaxMarkerBytes)
        leaveOut(settings, "the EXIF block of " + std::to_string(image.exif.size()) + " bytes, more than the " +
                               std::to_string(kMaxMarkerBytes - kExifPrefixBytes) + " a JPEG file holds");
    else if (!image.exif.empty())
        writeMarker(info, kExifPrefix, kExifPrefixBytes, image.exif.data(), image.exif.size());
    for (size_t i = 0; i < xmp.size(); i++)
        writeMarker(info, i == 0 ? kXmpNamespace : kXmpExtensionNamespace,
                    i == 0 ? kXmpNamespaceBytes : kXmpExtensionNamespaceBytes,
                    reinterpret_cast<const uint8_t*>(xmp[i].data()), xmp[i].size());
}

static bool writeJpeg(jpeg_compress_struct& info, JpegError& error, FILE* file, const Image& image,
                      const std::vector<std::string>& xmp, const SaveSettings& settings, std::vector<uint8_t>& scratch,
                      std::string& reason) {
    if (setjmp(error.jump)) {
        reason = error.reason;
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
    writeMetadata(info, image, xmp, settings);
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
    const std::vector<std::string> xmp = image.xmp.empty() ? std::vector<std::string>{} : xmpSegments(image.xmp);
    bool ok = writeJpeg(info, failure, file, image, xmp, settings, scratch, error);
    jpeg_destroy_compress(&info);
    if (fclose(file) != 0 && ok) {
        error = std::string("cannot write the JPEG image: ") + strerror(errno);
        ok = false;
    }
    return ok;
}

}  // namespace cli
