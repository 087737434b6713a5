// WebP through libwebp: still images, lossy or lossless, with or without alpha, read as RGB or
// RGBA; animations are refused. The ICC profile, EXIF and XMP chunks are kept. Writing takes the
// quality asked for, lossless when the source was a lossless WebP (then the colour under
// transparent pixels is kept too); gray is written as RGB, 16-bit samples reduced to 8 bits.
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "image_file.h"
#include "metadata.h"

namespace cli {

// The whole file, as libwebp decodes from memory.
static bool readWhole(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    FILE* file = openFile(path, "rb", error);
    if (!file) return false;
    struct stat status;
    bool ok = fstat(fileno(file), &status) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(status.st_size));
        ok = fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    }
    if (!ok) error = ferror(file) ? strerror(errno) : "the file is truncated";
    fclose(file);
    return ok;
}

static std::vector<uint8_t> chunkOf(WebPDemuxer* demux, const char* name) {
    WebPChunkIterator chunk;
    std::vector<uint8_t> bytes;
    if (WebPDemuxGetChunk(demux, name, 1, &chunk)) bytes.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
    return bytes;
}

// The container's metadata chunks; false with the reason for a file that is not a complete
// still WebP image.
static bool readContainer(const std::vector<uint8_t>& bytes, Image& image, std::string& error) {
    WebPData data{bytes.data(), bytes.size()};
    WebPDemuxState state;
    WebPDemuxer* demux = WebPDemuxPartial(&data, &state);
    if (!demux || state != WEBP_DEMUX_DONE) {
        error = demux && state != WEBP_DEMUX_PARSE_ERROR ? "the file is truncated" : "not a readable WebP image";
        WebPDemuxDelete(demux);
        return false;
    }
    const bool animated = WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG;
    image.iccProfile = chunkOf(demux, "ICCP");
    image.exif = chunkOf(demux, "EXIF");
    std::vector<uint8_t> xmp = chunkOf(demux, "XMP ");
    image.xmp.assign(xmp.begin(), xmp.end());
    WebPDemuxDelete(demux);
    // Some writers keep the JPEG segment's prefix in the chunk.
    if (image.exif.size() >= kExifPrefixBytes && memcmp(image.exif.data(), kExifPrefix, kExifPrefixBytes) == 0)
        image.exif.erase(image.exif.begin(), image.exif.begin() + kExifPrefixBytes);
    if (!image.exif.empty()) image.orientation = exifOrientation(image.exif);
    if (animated) error = "animated WebP images are not supported";
    return !animated;
}

bool loadWebp(const std::string& path, Image& image, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readWhole(path, bytes, error) || !readContainer(bytes, image, error)) return false;

    // What the bitstream holds, then its pixels in libwebp's own buffer (whose memory is taken
    // as the rows are decoded), copied into the image.
    WebPDecoderConfig config;
    WebPInitDecoderConfig(&config);
    VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &config.input);
    if (status == VP8_STATUS_OK) {
        config.output.colorspace = config.input.has_alpha ? MODE_RGBA : MODE_RGB;
        status = WebPDecode(bytes.data(), bytes.size(), &config);
    }
    if (status != VP8_STATUS_OK) {
        error = status == VP8_STATUS_NOT_ENOUGH_DATA ? "the file is truncated" : "not a readable WebP image";
        WebPFreeDecBuffer(&config.output);
        return false;
    }
    image.width = config.output.width;
    image.height = config.output.height;
    image.channels = config.input.has_alpha ? 4 : 3;
    image.bits = 8;
    image.coding.lossless = config.input.format == 2;
    const WebPRGBABuffer& decoded = config.output.u.RGBA;
    for (int32_t y = 0; y < image.height; y++)
        memcpy(growRows(image, y + 1) + y * rowBytes(image), decoded.rgba + static_cast<size_t>(y) * decoded.stride,
               rowBytes(image));
    WebPFreeDecBuffer(&config.output);
    return true;
}

// The image as 8-bit RGB or RGBA pixels, gray spread over the three colours.
static std::vector<uint8_t> rgbPixels(const Image& image) {
    const int32_t colours = hasAlpha(image) ? image.channels - 1 : image.channels;
    const int32_t outChannels = hasAlpha(image) ? 4 : 3;
    std::vector<uint8_t> pixels(static_cast<size_t>(image.width) * image.height * outChannels);
    std::vector<uint8_t> scratch;
    uint8_t* out = pixels.data();
    for (int32_t y = 0; y < image.height; y++) {
        const uint8_t* row = eightBitRow(image, y, scratch);
        for (int32_t x = 0; x < image.width; x++, row += image.channels, out += outChannels)
            for (int32_t c = 0; c < outChannels; c++) out[c] = row[c < 3 ? (colours == 1 ? 0 : c) : colours];
    }
    return pixels;
}

// The encoder's progress hook: going on only while the file is wanted.
static int stillWanted(int, const WebPPicture* picture) {
    return rowsReady(*static_cast<const SaveSettings*>(picture->user_data), picture->height) ? 1 : 0;
}

// The bitstream with the metadata chunks added, in the extended container.
static bool withMetadata(const Image& image, WebPData& file) {
    if (image.iccProfile.empty() && image.exif.empty() && image.xmp.empty()) return true;
    WebPMux* mux = WebPMuxCreate(&file, 1);
    bool ok = mux != nullptr;
    auto add = [&](const char* name, const void* bytes, size_t size) {
        WebPData chunk{static_cast<const uint8_t*>(bytes), size};
        if (ok && size > 0) ok = WebPMuxSetChunk(mux, name, &chunk, 1) == WEBP_MUX_OK;
    };
    add("ICCP", image.iccProfile.data(), image.iccProfile.size());
    add("EXIF", image.exif.data(), image.exif.size());
    add("XMP ", image.xmp.data(), image.xmp.size());
    WebPData assembled{};
    ok = ok && WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK;
    WebPMuxDelete(mux);
    WebPDataClear(&file);
    file = assembled;
    return ok;
}

bool saveWebp(const Image& image, const std::string& path, const SaveSettings& settings, std::string& error) {
    // The encoder takes the whole picture at once.
    if (!rowsReady(settings, image.height)) return error = kAbandoned, false;
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) return error = "libwebp is not usable", false;
    config.quality = static_cast<float>(settings.quality);
    config.lossless = image.coding.lossless;
    config.exact = image.coding.lossless;
    picture.use_argb = image.coding.lossless;
    picture.width = image.width;
    picture.height = image.height;
    picture.progress_hook = stillWanted;
    picture.user_data = const_cast<SaveSettings*>(&settings);

    // Encode into memory, then add the metadata and write the file.
    std::vector<uint8_t> pixels = rgbPixels(image);
    const int stride = image.width * (hasAlpha(image) ? 4 : 3);
    bool ok = hasAlpha(image) ? WebPPictureImportRGBA(&picture, pixels.data(), stride)
                              : WebPPictureImportRGB(&picture, pixels.data(), stride);
    WebPMemoryWriter encoded;
    WebPMemoryWriterInit(&encoded);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &encoded;
    ok = ok && WebPEncode(&config, &picture);
    if (!ok) error = picture.error_code == VP8_ENC_ERROR_USER_ABORT ? kAbandoned : "cannot encode the WebP image";
    WebPPictureFree(&picture);
    WebPData file{encoded.mem, encoded.size};
    if (ok && !withMetadata(image, file)) {
        error = "cannot add the metadata to the WebP image";
        ok = false;
    }
    FILE* out = ok ? openFile(path, "wb", error) : nullptr;
    if (out) {
        ok = fwrite(file.bytes, 1, file.size, out) == file.size;
        ok = fclose(out) == 0 && ok;
        if (!ok) error = std::string("cannot write the WebP image: ") + strerror(errno);
    }
    ok = ok && out;
    WebPDataClear(&file);
    return ok;
}

}  // namespace cli
