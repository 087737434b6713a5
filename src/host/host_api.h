// The host's filter plug-in interface as the module sees it: the FilterRecord, the
// procedure suites, the entry point's signature and the constants both sides agree on.
// The layout is that of 64-bit Windows; every offset is asserted below, so a record that
// would not match a real host to the byte does not compile, natively or for Windows. With
// 4-byte pointers (the WebAssembly build) the offsets asserted are those a 32-bit host has.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int16_t OSErr;
typedef uint8_t Boolean;
typedef int32_t Fixed;  // 16.16 fixed point, 1.0 = 0x10000
typedef char** Handle;  // pointer to a master pointer
typedef char* Ptr;
typedef struct HostBufferOpaque* BufferID;

struct Point16 {
    int16_t v;
    int16_t h;
};

// A host rectangle: bottom and right are exclusive.
struct Rect16 {
    int16_t top;
    int16_t left;
    int16_t bottom;
    int16_t right;
};

struct RGBColor {
    uint16_t red;
    uint16_t green;
    uint16_t blue;
};

struct PlugInMonitor {
    Fixed gamma;
    Fixed redX, redY;
    Fixed greenX, greenY;
    Fixed blueX, blueY;
    Fixed whiteX, whiteY;
    Fixed ambient;
};

typedef OSErr (*AdvanceStateProc)(void);
typedef void (*ProgressProc)(int32_t done, int32_t total);
typedef Boolean (*TestAbortProc)(void);
typedef void* HostProcPtr;  // suites and procedures the module only passes through or tests for presence

// Buffer suite: natural alignment, so four bytes of padding follow the two counts.
struct BufferProcs {
    int16_t bufferProcsVersion;
    int16_t numBufferProcs;
    OSErr (*allocateProc)(int32_t size, BufferID* bufferID);
    Ptr (*lockProc)(BufferID bufferID, Boolean moveHigh);
    void (*unlockProc)(BufferID bufferID);
    void (*freeProc)(BufferID bufferID);
    int32_t (*spaceProc)(void);
};

struct HandleProcs {
    int16_t handleProcsVersion;
    int16_t numHandleProcs;
    Handle (*newProc)(int32_t size);
    void (*disposeProc)(Handle h);
    int32_t (*getSizeProc)(Handle h);
    OSErr (*setSizeProc)(Handle h, int32_t newSize);
    Ptr (*lockProc)(Handle h, Boolean moveHigh);
    void (*unlockProc)(Handle h);
    void (*recoverSpaceProc)(int32_t size);
    void (*disposeRegularHandleProc)(Handle h);
};

#pragma pack(push, 4)
struct FilterRecord {
    int32_t serial;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point16 imageSize;
    int16_t planes;
    Rect16 filterRect;
    RGBColor background;
    RGBColor foreground;
    int32_t maxSpace;
    int32_t bufferSpace;
    Rect16 inRect;
    int16_t inLoPlane;
    int16_t inHiPlane;
    Rect16 outRect;
    int16_t outLoPlane;
    int16_t outHiPlane;
    void* inData;
    int32_t inRowBytes;
    void* outData;
    int32_t outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect16 maskRect;
    void* maskData;
    int32_t maskRowBytes;
    uint8_t backColor[4];
    uint8_t foreColor[4];
    uint32_t hostSig;
    HostProcPtr hostProcs;
    int16_t imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point16 floatCoord;
    Point16 wholeSize;
    PlugInMonitor monitor;
    void* platformData;
    BufferProcs* bufferProcs;
    HostProcPtr resourceProcs;
    HostProcPtr processEvent;
    HostProcPtr displayPixels;
    HandleProcs* handleProcs;
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    int16_t wantLayout;
    int16_t filterCase;
    int16_t dummyPlaneValue;
    HostProcPtr premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    HostProcPtr getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    int16_t inputPadding;
    int16_t outputPadding;
    int16_t maskPadding;
    Boolean samplingSupport;
    Boolean reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    HostProcPtr colorServices;
    int16_t inLayerPlanes;
    int16_t inTransparencyMask;
    int16_t inLayerMasks;
    int16_t inInvertedLayerMasks;
    int16_t inNonLayerPlanes;
    int16_t outLayerPlanes;
    int16_t outTransparencyMask;
    int16_t outLayerMasks;
    int16_t outInvertedLayerMasks;
    int16_t outNonLayerPlanes;
    int16_t absLayerPlanes;
    int16_t absTransparencyMask;
    int16_t absLayerMasks;
    int16_t absInvertedLayerMasks;
    int16_t absNonLayerPlanes;
    int16_t inPreDummyPlanes;
    int16_t inPostDummyPlanes;
    int16_t outPreDummyPlanes;
    int16_t outPostDummyPlanes;
    int32_t inColumnBytes;
    int32_t inPlaneBytes;
    int32_t outColumnBytes;
    int32_t outPlaneBytes;
    HostProcPtr imageServicesProcs;
    HostProcPtr propertyProcs;
    int16_t inTileHeight;
    int16_t inTileWidth;
    Point16 inTileOrigin;
    int16_t absTileHeight;
    int16_t absTileWidth;
    Point16 absTileOrigin;
    int16_t outTileHeight;
    int16_t outTileWidth;
    Point16 outTileOrigin;
    int16_t maskTileHeight;
    int16_t maskTileWidth;
    Point16 maskTileOrigin;
    HostProcPtr descriptorParameters;
    HostProcPtr errorString;
    HostProcPtr channelPortProcs;
    HostProcPtr documentInfo;
    HostProcPtr sSPBasic;
    HostProcPtr plugInRef;
    int32_t depth;
};
#pragma pack(pop)

// The entry point every host calls; `data` is the host's pointer-sized slot for the
// module's globals, `result` the host's result code.
typedef void (*PluginEntryProc)(int16_t selector, FilterRecord* filterRecord, intptr_t* data, int16_t* result);

// Selectors.
enum : int16_t {
    kSelectorAbout = 0,
    kSelectorParameters = 1,
    kSelectorPrepare = 2,
    kSelectorStart = 3,
    kSelectorContinue = 4,
    kSelectorFinish = 5,
};

// Result codes.
enum : int16_t {
    kNoErr = 0,
    kParamErr = -50,
    kMemFullErr = -108,
    kUserCanceledErr = -128,
    kFilterBadParameters = -30100,
};

// Host image modes.
enum : int16_t {
    kModeBitmap = 0,
    kModeGrayScale = 1,
    kModeIndexedColor = 2,
    kModeRGBColor = 3,
    kModeCMYKColor = 4,
    kModeHSLColor = 5,
    kModeHSBColor = 6,
    kModeMultichannel = 7,
    kModeDuotone = 8,
    kModeLabColor = 9,
    kModeGray16 = 10,
    kModeRGB48 = 11,
    kModeLab48 = 12,
    kModeCMYK64 = 13,
    kModeDeepMultichannel = 14,
    kModeDuotone16 = 15,
    kModeRGB96 = 16,
    kModeGray32 = 17,
};

// Filter cases: what kind of pixels the host hands the filter.
enum : int16_t {
    kFilterCaseFlatImageNoSelection = 1,
    kFilterCaseFlatImageWithSelection = 2,
    kFilterCaseFloatingSelection = 3,
    kFilterCaseEditableTransparencyNoSelection = 4,
    kFilterCaseEditableTransparencyWithSelection = 5,
    kFilterCaseProtectedTransparencyNoSelection = 6,
    kFilterCaseProtectedTransparencyWithSelection = 7,
};

// Padding values for requests that reach outside the image.
enum : int16_t {
    kPaddingEdgeReplication = -1,
    kPaddingNone = -2,
    kPaddingErrorOnBounds = -3,
};

constexpr Fixed kFixedOne = 0x10000;
constexpr int16_t kHandleProcsVersion = 1;
constexpr int16_t kHandleProcsCount = 8;
constexpr int16_t kBufferProcsVersion = 2;
constexpr int16_t kBufferProcsCount = 5;

// Layout checks: the offsets real hosts use on 64-bit Windows, and with 4-byte pointers.
constexpr size_t kPointerBytes = sizeof(void*);
static_assert(kPointerBytes == 8 || kPointerBytes == 4);
static_assert(sizeof(Point16) == 4 && sizeof(Rect16) == 8 && sizeof(RGBColor) == 6);
static_assert(sizeof(PlugInMonitor) == 40);
// The suites: two int16 counts, then the procedure pointers, from 8 (4 with 4-byte pointers).
static_assert(offsetof(BufferProcs, allocateProc) == kPointerBytes && offsetof(BufferProcs, lockProc) == 2 * kPointerBytes &&
              offsetof(BufferProcs, unlockProc) == 3 * kPointerBytes && offsetof(BufferProcs, freeProc) == 4 * kPointerBytes &&
              offsetof(BufferProcs, spaceProc) == 5 * kPointerBytes);
static_assert(offsetof(HandleProcs, newProc) == kPointerBytes && offsetof(HandleProcs, disposeProc) == 2 * kPointerBytes &&
              offsetof(HandleProcs, getSizeProc) == 3 * kPointerBytes && offsetof(HandleProcs, setSizeProc) == 4 * kPointerBytes &&
              offsetof(HandleProcs, lockProc) == 5 * kPointerBytes && offsetof(HandleProcs, unlockProc) == 6 * kPointerBytes &&
              offsetof(HandleProcs, recoverSpaceProc) == 7 * kPointerBytes &&
              offsetof(HandleProcs, disposeRegularHandleProc) == 8 * kPointerBytes);

// Each field's offset with 8-byte pointers, then with 4-byte ones.
#define VELORUND_ASSERT_OFFSET(field, offset, offset4)                                         \
    static_assert(offsetof(FilterRecord, field) == (kPointerBytes == 8 ? (offset) : (offset4)), \
                  "FilterRecord." #field " is not at " #offset " (" #offset4 " with 4-byte pointers)")
VELORUND_ASSERT_OFFSET(serial, 0, 0);
VELORUND_ASSERT_OFFSET(abortProc, 4, 4);
VELORUND_ASSERT_OFFSET(progressProc, 12, 8);
VELORUND_ASSERT_OFFSET(parameters, 20, 12);
VELORUND_ASSERT_OFFSET(imageSize, 28, 16);
VELORUND_ASSERT_OFFSET(planes, 32, 20);
VELORUND_ASSERT_OFFSET(filterRect, 34, 22);
VELORUND_ASSERT_OFFSET(background, 42, 30);
VELORUND_ASSERT_OFFSET(foreground, 48, 36);
VELORUND_ASSERT_OFFSET(maxSpace, 56, 44);
VELORUND_ASSERT_OFFSET(bufferSpace, 60, 48);
VELORUND_ASSERT_OFFSET(inRect, 64, 52);
VELORUND_ASSERT_OFFSET(inLoPlane, 72, 60);
VELORUND_ASSERT_OFFSET(inHiPlane, 74, 62);
VELORUND_ASSERT_OFFSET(outRect, 76, 64);
VELORUND_ASSERT_OFFSET(outLoPlane, 84, 72);
VELORUND_ASSERT_OFFSET(outHiPlane, 86, 74);
VELORUND_ASSERT_OFFSET(inData, 88, 76);
VELORUND_ASSERT_OFFSET(inRowBytes, 96, 80);
VELORUND_ASSERT_OFFSET(outData, 100, 84);
VELORUND_ASSERT_OFFSET(outRowBytes, 108, 88);
VELORUND_ASSERT_OFFSET(isFloating, 112, 92);
VELORUND_ASSERT_OFFSET(haveMask, 113, 93);
VELORUND_ASSERT_OFFSET(autoMask, 114, 94);
VELORUND_ASSERT_OFFSET(maskRect, 116, 96);
VELORUND_ASSERT_OFFSET(maskData, 124, 104);
VELORUND_ASSERT_OFFSET(maskRowBytes, 132, 108);
VELORUND_ASSERT_OFFSET(backColor, 136, 112);
VELORUND_ASSERT_OFFSET(foreColor, 140, 116);
VELORUND_ASSERT_OFFSET(hostSig, 144, 120);
VELORUND_ASSERT_OFFSET(hostProcs, 148, 124);
VELORUND_ASSERT_OFFSET(imageMode, 156, 128);
VELORUND_ASSERT_OFFSET(imageHRes, 160, 132);
VELORUND_ASSERT_OFFSET(imageVRes, 164, 136);
VELORUND_ASSERT_OFFSET(floatCoord, 168, 140);
VELORUND_ASSERT_OFFSET(wholeSize, 172, 144);
VELORUND_ASSERT_OFFSET(monitor, 176, 148);
VELORUND_ASSERT_OFFSET(platformData, 216, 188);
VELORUND_ASSERT_OFFSET(bufferProcs, 224, 192);
VELORUND_ASSERT_OFFSET(resourceProcs, 232, 196);
VELORUND_ASSERT_OFFSET(processEvent, 240, 200);
VELORUND_ASSERT_OFFSET(displayPixels, 248, 204);
VELORUND_ASSERT_OFFSET(handleProcs, 256, 208);
VELORUND_ASSERT_OFFSET(supportsDummyChannels, 264, 212);
VELORUND_ASSERT_OFFSET(supportsAlternateLayouts, 265, 213);
VELORUND_ASSERT_OFFSET(wantLayout, 266, 214);
VELORUND_ASSERT_OFFSET(filterCase, 268, 216);
VELORUND_ASSERT_OFFSET(dummyPlaneValue, 270, 218);
VELORUND_ASSERT_OFFSET(premiereHook, 272, 220);
VELORUND_ASSERT_OFFSET(advanceState, 280, 224);
VELORUND_ASSERT_OFFSET(supportsAbsolute, 288, 228);
VELORUND_ASSERT_OFFSET(wantsAbsolute, 289, 229);
VELORUND_ASSERT_OFFSET(getPropertyObsolete, 292, 232);
VELORUND_ASSERT_OFFSET(cannotUndo, 300, 236);
VELORUND_ASSERT_OFFSET(supportsPadding, 301, 237);
VELORUND_ASSERT_OFFSET(inputPadding, 302, 238);
VELORUND_ASSERT_OFFSET(outputPadding, 304, 240);
VELORUND_ASSERT_OFFSET(maskPadding, 306, 242);
VELORUND_ASSERT_OFFSET(samplingSupport, 308, 244);
VELORUND_ASSERT_OFFSET(reservedByte, 309, 245);
VELORUND_ASSERT_OFFSET(inputRate, 312, 248);
VELORUND_ASSERT_OFFSET(maskRate, 316, 252);
VELORUND_ASSERT_OFFSET(colorServices, 320, 256);
VELORUND_ASSERT_OFFSET(inLayerPlanes, 328, 260);
VELORUND_ASSERT_OFFSET(inTransparencyMask, 330, 262);
VELORUND_ASSERT_OFFSET(inLayerMasks, 332, 264);
VELORUND_ASSERT_OFFSET(inInvertedLayerMasks, 334, 266);
VELORUND_ASSERT_OFFSET(inNonLayerPlanes, 336, 268);
VELORUND_ASSERT_OFFSET(outLayerPlanes, 338, 270);
VELORUND_ASSERT_OFFSET(outTransparencyMask, 340, 272);
VELORUND_ASSERT_OFFSET(outLayerMasks, 342, 274);
VELORUND_ASSERT_OFFSET(outInvertedLayerMasks, 344, 276);
VELORUND_ASSERT_OFFSET(outNonLayerPlanes, 346, 278);
VELORUND_ASSERT_OFFSET(absLayerPlanes, 348, 280);
VELORUND_ASSERT_OFFSET(absTransparencyMask, 350, 282);
VELORUND_ASSERT_OFFSET(absLayerMasks, 352, 284);
VELORUND_ASSERT_OFFSET(absInvertedLayerMasks, 354, 286);
VELORUND_ASSERT_OFFSET(absNonLayerPlanes, 356, 288);
VELORUND_ASSERT_OFFSET(inPreDummyPlanes, 358, 290);
VELORUND_ASSERT_OFFSET(inPostDummyPlanes, 360, 292);
VELORUND_ASSERT_OFFSET(outPreDummyPlanes, 362, 294);
VELORUND_ASSERT_OFFSET(outPostDummyPlanes, 364, 296);
VELORUND_ASSERT_OFFSET(inColumnBytes, 368, 300);
VELORUND_ASSERT_OFFSET(inPlaneBytes, 372, 304);
VELORUND_ASSERT_OFFSET(outColumnBytes, 376, 308);
VELORUND_ASSERT_OFFSET(outPlaneBytes, 380, 312);
VELORUND_ASSERT_OFFSET(imageServicesProcs, 384, 316);
VELORUND_ASSERT_OFFSET(propertyProcs, 392, 320);
VELORUND_ASSERT_OFFSET(inTileHeight, 400, 324);
VELORUND_ASSERT_OFFSET(inTileWidth, 402, 326);
VELORUND_ASSERT_OFFSET(inTileOrigin, 404, 328);
VELORUND_ASSERT_OFFSET(absTileHeight, 408, 332);
VELORUND_ASSERT_OFFSET(absTileWidth, 410, 334);
VELORUND_ASSERT_OFFSET(absTileOrigin, 412, 336);
VELORUND_ASSERT_OFFSET(outTileHeight, 416, 340);
VELORUND_ASSERT_OFFSET(outTileWidth, 418, 342);
VELORUND_ASSERT_OFFSET(outTileOrigin, 420, 344);
VELORUND_ASSERT_OFFSET(maskTileHeight, 424, 348);
VELORUND_ASSERT_OFFSET(maskTileWidth, 426, 350);
VELORUND_ASSERT_OFFSET(maskTileOrigin, 428, 352);
VELORUND_ASSERT_OFFSET(descriptorParameters, 432, 356);
VELORUND_ASSERT_OFFSET(errorString, 440, 360);
VELORUND_ASSERT_OFFSET(channelPortProcs, 448, 364);
VELORUND_ASSERT_OFFSET(documentInfo, 456, 368);
VELORUND_ASSERT_OFFSET(sSPBasic, 464, 372);
VELORUND_ASSERT_OFFSET(plugInRef, 472, 376);
VELORUND_ASSERT_OFFSET(depth, 480, 380);
#undef VELORUND_ASSERT_OFFSET
static_assert(sizeof(FilterRecord) == (kPointerBytes == 8 ? 484 : 384), "the FilterRecord through depth is 484 bytes (384)");
