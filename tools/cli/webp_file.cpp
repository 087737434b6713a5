// WebP through libwebp: still images, lossy or lossless, with or without alpha, read as RGB or
// RGBA; animations are refused. The ICC profile, EXIF and XMP chunks are kept. Writing takes the
// quality asked for, lossless when the source was a lossless WebP (then the colour under
// transparent pixels is kept too); gray is written as RGB, 16-bit samples reduced to 8 bits.
//
// libwebp decodes a picture in one call that nothing interrupts, seconds for a large one (a
// lossless picture of one colour takes a few bytes whatever its size). The call runs on a thread
// of its own that owns what it works on, so that a load asked to stop leaves it and returns at
// once; the thread ends on its own, or with the process.
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

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

// Names the chunks of the container that the tool does not carry.
static void noteOtherChunks(const std::vector<uint8_t>& bytes, Image& image) {
    static const char* const kKnown[] = {"VP8 ", "VP8L", "VP8X", "ALPH", "ICCP", "EXIF", "XMP ", "ANIM", "ANMF"};
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string name(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at) + 4);
        const uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 | uint32_t{bytes[at + 7]} << 24;
        if (std::find(std::begin(kKnown), std::end(kKnown), name) == std::end(kKnown))
            noteNotCarried(image, "the WebP " + name + " chunk");
        at += 8 + uint64_t{size} + (size & 1);
    }
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
    const std::vector<uint8_t> exif = chunkOf(demux, "EXIF");
    image.exif = exifBlock(exif.data(), exif.size());
    std::vector<uint8_t> xmp = chunkOf(demux, "XMP ");
    image.xmp.assign(xmp.begin(), xmp.end());
    WebPDemuxDelete(demux);
    noteOtherChunks(bytes, image);
    if (animated) error = "animated WebP images are not supported";
    return !animated;
}

// One decoding: the file's bytes and the pixels, shared by the load and the decoding thread.
struct Decoding {
    std::vector<uint8_t> bytes;
    WebPDecoderConfig config;
    Samples pixels;
    VP8StatusCode status = VP8_STATUS_OK;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;

    void run() {
        status = WebPDecode(bytes.data(), bytes.size(), &config);
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        finished.notify_all();
    }
};

// Decodes on a thread of its own while asking about a stop; false when asked to stop. A load
// that cannot be asked to stop decodes here.
static bool decodeUnlessStopped(const std::shared_ptr<Decoding>& decoding, const LoadSettings& settings) {
    if (!settings.stop) {
        decoding->run();
        return true;
    }
    std::thread thread;
    try {
        thread = std::thread([decoding] { decoding->run(); });
    } catch (const std::system_error&) {
        decoding->run();  // no thread to be had: decode here
        return true;
    }
    std::unique_lock<std::mutex> lock(decoding->mutex);
    while (!decoding->done)
        if (!decoding->finished.wait_for(lock, std::chrono::milliseconds(20), [&] { return decoding->done; }) &&
            stopAsked(settings)) {
            thread.detach();
            return false;
        }
    lock.unlock();
    thread.join();
    return true;
}

bool loadWebp(const std::string& path, Image& image, std::string& error, const LoadSettings& settings) {
    auto decoding = std::make_shared<Decoding>();
    std::vector<uint8_t>& bytes = decoding->bytes;
    if (!readWhole(path, bytes, error) || !readContainer(bytes, image, error)) return false;

    // What the bitstream holds, then its pixels straight into a buffer of the image's layout,
    // whose memory is taken as the rows are decoded.
    WebPDecoderConfig& config = decoding->config;
    WebPInitDecoderConfig(&config);
    VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &config.input);
    if (status == VP8_STATUS_OK) {
        error = pictureSizeProblem(static_cast<uint64_t>(config.input.width), static_cast<uint64_t>(config.input.height), settings);
        if (!error.empty()) return false;
        image.width = config.input.width;
        image.height = config.input.height;
        image.channels = config.input.has_alpha ? 4 : 3;
        image.bits = 8;
        decoding->pixels.resize(sampleCount(image));
        config.output.colorspace = config.input.has_alpha ? MODE_RGBA : MODE_RGB;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = decoding->pixels.data();
        config.output.u.RGBA.stride = static_cast<int>(rowBytes(image));
        config.output.u.RGBA.size = decoding->pixels.size();
        if (!decodeUnlessStopped(decoding, settings)) return error = kStopped, false;
        status = decoding->status;
    }
    if (status != VP8_STATUS_OK) {
        error = status == VP8_STATUS_NOT_ENOUGH_DATA ? "the file is truncated" : "not a readable WebP image";
        return false;
    }
    image.coding.lossless = config.input.format == 2;
    image.samples.swap(decoding->pixels);
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
static bool withMetadata(const Image& image, WebPData& file, const SaveSettings& settings) {
    const std::vector<uint8_t> profile = profileToWrite(image, 3, settings);  // gray is written as RGB
    if (profile.empty() && image.exif.empty() && image.xmp.empty()) return true;
    WebPMux* mux = WebPMuxCreate(&file, 1);
    bool ok = mux != nullptr;
    auto add = [&](const char* name, const void* bytes, size_t size) {
        WebPData chunk{static_cast<const uint8_t*>(bytes), size};
        if (ok && size > 0) ok = WebPMuxSetChunk(mux, name, &chunk, 1) == WEBP_MUX_OK;
    };
    add("ICCP", profile.data(), profile.size());
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
    if (ok && !withMetadata(image, file, settings)) {
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
