// The module's resources as a host and the module's own dialogs find them: the PiPL and AETE
// byte for byte against the expectation written here from their field tables, the dialog
// templates with their captions, sizes, styles and fonts, and the bitmaps and icon by size and
// format, every one in US English (1033).
#include <cstring>
#include <string>

#include "runner.h"

namespace {

const WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Property records: vendor 8BIM and key as little-endian codes, ID 0, the unpadded data length,
// the data padded to 4 bytes.
const char kExpectedPipl[] =
    "\x01\x00" "\0\0\0\0" "\x09\0\0\0"                                 // reserved 1, version 0, nine properties
    "MIB8" "dnik" "\0\0\0\0" "\x04\0\0\0" "MFB8"                       // kind: filter module
    "MIB8" "eman" "\0\0\0\0" "\x09\0\0\0" "\x08" "Velorund" "\0\0\0"   // name
    "MIB8" "gtac" "\0\0\0\0" "\x0B\0\0\0" "\x0A" "Brackwater" "\0"     // category
    "MIB8" "srev" "\0\0\0\0" "\x04\0\0\0" "\0\0\x04\0"                 // interface version 4.0
    "MIB8" "4668" "\0\0\0\0" "\x0C\0\0\0" "PluginMain" "\0\0"          // 64-bit entry point
    "MIB8" "mtsh" "\0\0\0\0" "\x30\0\0\0" "\0\0\0\0" "CQCF" "CQCF"     // terminology: version, class, event,
    "\x80\x3E" "Brackwater Velorund" "\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"  // resource 16000, scope
    "MIB8" "edom" "\0\0\0\0" "\x04\0\0\0" "\x50\0\0\0"                 // modes: gray and RGB
    "MIB8" "lbne" "\0\0\0\0" "\x8C\0\0\0"                              // enable expression
    "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, Gray32Mode, RGB96Mode) ) "
    "&& (PSHOP_ImageMode !=  MultichannelMode) " "\0\0\0"
    "MIB8" "icif" "\0\0\0\0" "\x1C\0\0\0"                              // seven filter cases
    "\x01\x01\x01\0" "\x01\x01\x01\0" "\x01\x01\x01\0" "\x01\x01\x01\0" "\x01\x01\x01\0" "\x01\x01\x01\0"
    "\x01\x01\x01\0";

const char kExpectedAete[] =
    "\x01\0" "\x01\0" "\0\0" "\0\0" "\x01\0"                // leading word, version 1.0, language, script, one suite
    "\x0A" "Brackwater" "\x08" "Velorund" "CQCF"            // suite name, description, ID
    "\x01\0" "\x01\0" "\x01\0"                              // level, version, one event
    "\x08" "Velorund" "\x1C" "Warps a square into a circle" "CQCF" "CQCF"  // event
    "llun" "\0" "\0\0"                                      // reply: none
    "RmI#" "\0" "\0\xB0"                                    // direct parameter: an image reference
    "\0\0" "\0\0" "\0\0" "\0\0";                            // no parameters, classes, operators, enumerations

// A dialog template's header, read as the dialog manager reads it.
struct DialogHeader {
    bool extended = false;
    DWORD style = 0;
    int32_t controls = 0, width = 0, height = 0;
    std::string caption, font;
    int32_t pointSize = 0;
};

std::string wideString(const WORD*& p) {
    std::string text;
    while (*p) text += static_cast<char>(*p++);
    p++;
    return text;
}

void skipNameOrOrdinal(const WORD*& p) {
    if (*p == 0xFFFF) p += 2;
    else wideString(p);
}

DialogHeader readDialog(const std::string& bytes) {
    DialogHeader d;
    const WORD* p = reinterpret_cast<const WORD*>(bytes.data());
    d.extended = p[0] == 1 && p[1] == 0xFFFF;
    if (d.extended) p += 2 + 2 + 2;  // version, signature, help ID, extended style
    std::memcpy(&d.style, p, 4);
    p += d.extended ? 2 : 4;         // style (and the classic template's extended style)
    d.controls = *p++;
    p += 2;                          // x, y
    d.width = static_cast<int16_t>(*p++);
    d.height = static_cast<int16_t>(*p++);
    skipNameOrOrdinal(p);            // menu
    skipNameOrOrdinal(p);            // window class
    d.caption = wideString(p);
    if (d.style & DS_SETFONT) {
        d.pointSize = *p++;
        if (d.extended) p += 2;      // weight, italic and character set
        d.font = wideString(p);
    }
    return d;
}

}  // namespace

std::string resourceBytes(HMODULE module, const char* type, const char* name) {
    HRSRC found = FindResourceExA(module, type, name, kUsEnglish);
    if (!found) return std::string();
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(data, SizeofResource(module, found));
}

void checkResources(const LoadedModule& module) {
    HMODULE m = module.handle;

    // The plug-in description, as a host reads it.
    std::string pipl = resourceBytes(m, "PIPL", MAKEINTRESOURCEA(16000));
    CHECK(pipl == std::string(kExpectedPipl, sizeof kExpectedPipl - 1), "PiPL: %zu bytes, not as expected",
          pipl.size());
    std::string aete = resourceBytes(m, "AETE", MAKEINTRESOURCEA(16000));
    CHECK(aete == std::string(kExpectedAete, sizeof kExpectedAete - 1), "AETE: %zu bytes, not as expected",
          aete.size());

    // The dialog templates.
    struct Template {
        const char* name;
        const char* caption;
        int32_t width, height, controls;
        bool extended;
    };
    const Template templates[] = {
        {"ABOUTBOX", "About Velorund", 233, 134, 4, true},
        {"NOT_ENOUGH_MEMORY", "Not Enough Memory", 176, 97, 3, false},
        {"REFUSAL1", "Needs Transparency", 176, 97, 3, false},
        {"REFUSAL2", "Old standard", 176, 97, 3, false},
        {"SORRY3", "Error", 257, 126, 7, false},
        {"COMPLAIN_BRACKWATER", "Cannot open browser", 182, 100, 3, false},
    };
    const DWORD frame = WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    for (const Template& t : templates) {
        std::string bytes = resourceBytes(m, MAKEINTRESOURCEA(5), t.name);  // RT_DIALOG
        if (!CHECK(!bytes.empty(), "no dialog template %s", t.name)) continue;
        DialogHeader d = readDialog(bytes);
        CHECK(d.caption == t.caption && d.width == t.width && d.height == t.height && d.controls == t.controls &&
                  d.extended == t.extended,
              "%s: \"%s\" %d x %d, %d controls, %s template", t.name, d.caption.c_str(), d.width, d.height,
              d.controls, d.extended ? "extended" : "classic");
        CHECK((d.style & frame) == frame && d.font == "MS Sans Serif" && d.pointSize == 8,
              "%s: style 0x%lx, font %d-point %s", t.name, d.style, d.pointSize, d.font.c_str());
    }
    CHECK(!FindResourceA(m, "REFUSAL3", MAKEINTRESOURCEA(5)), "the module holds a REFUSAL3 template");

    // The bitmaps and the icon, by size and format, and loadable.
    struct Bitmap {
        int32_t id, width, height, bits;
        DWORD compression;
    };
    const Bitmap bitmaps[] = {
        {105, 21, 21, 24, BI_RGB}, {106, 264, 49, 4, BI_RLE4}, {118, 149, 14, 4, BI_RGB}, {127, 110, 14, 8, BI_RGB}};
    for (const Bitmap& b : bitmaps) {
        std::string bytes = resourceBytes(m, MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(b.id));  // RT_BITMAP
        if (!CHECK(bytes.size() > sizeof(BITMAPINFOHEADER), "no bitmap %d", b.id)) continue;
        BITMAPINFOHEADER h;
        std::memcpy(&h, bytes.data(), sizeof h);
        CHECK(h.biWidth == b.width && h.biHeight == b.height && h.biBitCount == b.bits &&
                  h.biCompression == b.compression,
              "bitmap %d: %ld x %ld, %d bits, compression %lu", b.id, h.biWidth, h.biHeight, h.biBitCount,
              h.biCompression);
        HBITMAP loaded = LoadBitmapA(m, MAKEINTRESOURCEA(b.id));
        CHECK(loaded, "bitmap %d does not load", b.id);
        DeleteObject(loaded);
    }

    std::string group = resourceBytes(m, MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(148));  // RT_GROUP_ICON
    if (CHECK(group.size() == 6 + 2 * 14, "icon group 148: %zu bytes", group.size())) {
        const BYTE* e = reinterpret_cast<const BYTE*>(group.data()) + 6;
        CHECK(e[0] == 32 && e[1] == 32 && e[6] == 4 && e[14] == 32 && e[15] == 32 && e[20] == 8,
              "icon group 148: not 32 x 32 in 4 and 8 bits");
    }
    CHECK(LoadIconA(m, MAKEINTRESOURCEA(148)), "icon 148 does not load");
}
