// A document as a photo editor holds it: one layer of gray, RGB or multichannel pixels at 8,
// 16 (0..32768) or 32 (float, 1.0 full) bits per sample, with or without a transparency plane,
// and an optional rectangular selection. Samples are stored pixel by pixel with the planes
// interleaved, colour planes first and the transparency plane last.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "host/host_api.h"

namespace hostapp {

enum class ColourModel { Gray, Rgb, Multichannel };

// A document's samples: bytes of its own, or the bytes of an image a front end lends it, which
// the front end keeps alive and in the document's layout for the document's life. A copy of a
// document has bytes of its own.
class DocumentSamples {
public:
    DocumentSamples() = default;
    DocumentSamples(const DocumentSamples& other) : own_(other.begin(), other.end()) { useOwn(); }
    DocumentSamples(DocumentSamples&& other) noexcept
        : own_(std::move(other.own_)), data_(other.data_), size_(other.size_) {}
    DocumentSamples& operator=(DocumentSamples other) noexcept {
        own_.swap(other.own_);
        data_ = other.data_;
        size_ = other.size_;
        return *this;
    }

    void assign(size_t count, uint8_t value) {
        own_.assign(count, value);
        useOwn();
    }
    void lend(uint8_t* bytes, size_t count) {
        std::vector<uint8_t>().swap(own_);
        data_ = bytes;
        size_ = count;
    }

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    uint8_t* begin() { return data_; }
    uint8_t* end() { return data_ + size_; }
    const uint8_t* begin() const { return data_; }
    const uint8_t* end() const { return data_ + size_; }
    friend bool operator==(const DocumentSamples& a, const DocumentSamples& b) {
        return a.size_ == b.size_ && (a.size_ == 0 || std::memcmp(a.data_, b.data_, a.size_) == 0);
    }

private:
    void useOwn() {
        data_ = own_.data();
        size_ = own_.size();
    }
    std::vector<uint8_t> own_;
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

struct Document {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitDepth = 8;
    ColourModel model = ColourModel::Rgb;
    bool transparency = false;  // a layer with editable transparency
    bool hasSelection = false;
    Rect16 selection{};         // becomes the filter rectangle
    DocumentSamples samples;
};

// A document of the given kind with every sample 0.
Document makeDocument(int32_t width, int32_t height, int32_t bitDepth, ColourModel model, bool transparency);

int32_t colourPlanes(const Document& doc);  // 1 gray, 3 RGB, 2 multichannel
int32_t planeCount(const Document& doc);    // colour planes plus the transparency plane
int32_t sampleBytes(const Document& doc);   // 1, 2 or 4
int16_t hostImageMode(const Document& doc);
int16_t filterCaseOf(const Document& doc);
Rect16 filterRectOf(const Document& doc);   // the selection, or the whole image

uint8_t* sampleAddress(Document& doc, int32_t x, int32_t y, int32_t plane);
const uint8_t* sampleAddress(const Document& doc, int32_t x, int32_t y, int32_t plane);

// Samples on the document's own scale: 0..255, 0..32768 or float.
double sampleValue(const Document& doc, int32_t x, int32_t y, int32_t plane);
void setSampleValue(Document& doc, int32_t x, int32_t y, int32_t plane, double value);

// The host's poison: what an output buffer holds before the filter writes it. The 16-bit and
// float patterns are values no filter produces.
bool isPoison(const Document& doc, int32_t x, int32_t y, int32_t plane);
void writePoison(uint8_t* sample, int32_t bytes);

}  // namespace hostapp
