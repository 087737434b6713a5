// The module's resources as a host and the module's own dialogs find them: the PiPL and AETE
// byte for byte against the expectation written here from the host interface's layout, and the
// dialog templates, bitmaps and icon present and loadable, every one in US English (1033).
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

    // The dialog templates the module ships (only the about box is ever opened: REFUSAL3, which a
    // multichannel document asks for, is absent so that nothing waits for the user), and the
    // bitmaps and the icon they show.
    for (const char* name : {"ABOUTBOX", "NOT_ENOUGH_MEMORY", "REFUSAL1", "REFUSAL2", "SORRY3", "COMPLAIN_BRACKWATER"})
        CHECK(!resourceBytes(m, MAKEINTRESOURCEA(5), name).empty(), "no dialog template %s", name);  // RT_DIALOG
    CHECK(!FindResourceA(m, "REFUSAL3", MAKEINTRESOURCEA(5)), "the module holds a REFUSAL3 template");
    for (int32_t id : {105, 106, 118, 127}) {
        HBITMAP loaded = LoadBitmapA(m, MAKEINTRESOURCEA(id));
        CHECK(loaded, "bitmap %d does not load", id);
        DeleteObject(loaded);
    }
    CHECK(LoadIconA(m, MAKEINTRESOURCEA(148)), "icon 148 does not load");
}
