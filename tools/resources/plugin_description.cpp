// The PiPL and AETE of the module, each written as the list of its fields. Integers are little
// endian; a four-character code is stored as a little-endian 32-bit integer, so the code 8BIM
// appears as the bytes M I B 8; strings are length-prefixed unless said otherwise.
#include "plugin_description.h"

#include <cstdio>

namespace {

constexpr int16_t kResourceId = 16000;
constexpr const char* kProductName = "Velorund";
constexpr const char* kMakerName = "Brackwater";
// The filter's own class, event and suite code: the bytes C Q C F in the file.
constexpr const char* kFilterCode = "FCQC";

struct Bytes {
    std::vector<uint8_t> data;

    Bytes& int8(uint8_t v) { data.push_back(v); return *this; }
    Bytes& int16(int32_t v) { return int8(v & 0xFF).int8((v >> 8) & 0xFF); }
    Bytes& int32(int64_t v) { return int16(v & 0xFFFF).int16((v >> 16) & 0xFFFF); }
    Bytes& fourCharCode(const char* code) {
        for (int i = 3; i >= 0; i--) int8(static_cast<uint8_t>(code[i]));
        return *this;
    }
    Bytes& pascalString(const std::string& text) {
        int8(static_cast<uint8_t>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
        return *this;
    }
    // The characters, a terminating zero, then zeros up to `length` bytes in all.
    Bytes& cString(const std::string& text, size_t length) {
        data.insert(data.end(), text.begin(), text.end());
        data.resize(data.size() + length - text.size(), 0);
        return *this;
    }
    Bytes& append(const Bytes& more) {
        data.insert(data.end(), more.data.begin(), more.data.end());
        return *this;
    }
};

// One PiPL property: vendor 8BIM, key, ID 0, the data length (unpadded, or rounded up to 4),
// the data padded to 4.
Bytes property(const char* key, const Bytes& value, PropertyLengths lengths) {
    Bytes padded = value;
    while (padded.data.size() % 4) padded.int8(0);
    const Bytes& stored = lengths == PropertyLengths::RoundedUp ? padded : value;
    Bytes record;
    record.fourCharCode("8BIM").fourCharCode(key).int32(0).int32(static_cast<int64_t>(stored.data.size()));
    return record.append(padded);
}

constexpr const char* kEnableExpression =
    "( in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode, Gray32Mode, RGB96Mode) ) "
    "&& (PSHOP_ImageMode !=  MultichannelMode) ";

// A byte shown as itself in a comment; a backslash would continue the comment onto the next line.
bool printable(uint8_t byte) { return byte >= 32 && byte < 127 && byte != '\\'; }

std::string hexWords(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    std::string line = "   ";
    char word[16];
    for (size_t i = from; i < to; i += 2) {
        std::snprintf(word, sizeof word, " 0x%04X,", bytes[i] | bytes[i + 1] << 8);
        line += word;
    }
    return line;
}

// A user-defined resource as 16-bit words (the script's raw-data unit), 16 bytes to a line,
// each line followed by the bytes it holds as characters where they are printable.
std::string rawResource(const char* type, const std::vector<uint8_t>& bytes, const char* what) {
    std::string text = std::string("// ") + what + " (" + std::to_string(bytes.size()) + " bytes)\n" +
                       std::to_string(kResourceId) + " " + type + "\nBEGIN\n";
    for (size_t from = 0; from < bytes.size(); from += 16) {
        size_t to = from + 16 < bytes.size() ? from + 16 : bytes.size();
        std::string line = hexWords(bytes, from, to);
        if (to == bytes.size()) line.pop_back();  // no comma after the last word
        line.resize(4 + 8 * 8, ' ');
        line += "  // ";
        for (size_t i = from; i < to; i++) line += printable(bytes[i]) ? char(bytes[i]) : '.';
        text += line + "\n";
    }
    return text + "END\n";
}

}  // namespace

std::vector<uint8_t> piplBytes(PropertyLengths lengths) {
    // Seven filter cases (flat image without and with selection, floating selection, editable
    // transparency without and with selection, preserved transparency without and with
    // selection), all alike: data passed unchanged in and out, and the host does not copy the
    // source into the destination first, because the filter writes every output pixel.
    Bytes filterCases;
    for (int i = 0; i < 7; i++) filterCases.int8(1).int8(1).int8(0x01).int8(0x00);

    Bytes hasTerminology;
    hasTerminology.int32(0).fourCharCode(kFilterCode).fourCharCode(kFilterCode).int16(kResourceId);
    hasTerminology.cString(std::string(kMakerName) + " " + kProductName, 48 - 14);

    const Bytes properties[] = {
        property("kind", Bytes().fourCharCode("8BFM"), lengths),                   // a filter module
        property("name", Bytes().pascalString(kProductName), lengths),             // the menu item
        property("catg", Bytes().pascalString(kMakerName), lengths),               // the menu category
        property("vers", Bytes().int32(0x00040000), lengths),                      // interface version 4.0
        property("8664", Bytes().cString("PluginMain", 12), lengths),              // the 64-bit entry point
        property("hstm", hasTerminology, lengths),                                 // the AETE that scripts it
        property("mode", Bytes().int8(0x50).int8(0).int8(0).int8(0), lengths),     // gray 0x4000, RGB 0x1000, big endian
        property("enbl", Bytes().cString(kEnableExpression, 140), lengths),        // when the menu item is enabled
        property("fici", filterCases, lengths),
    };

    Bytes pipl;
    pipl.int16(1).int32(0).int32(sizeof properties / sizeof properties[0]);
    for (const Bytes& p : properties) pipl.append(p);
    return pipl.data;
}

std::vector<uint8_t> aeteBytes() {
    Bytes aete;
    aete.int16(1).int8(1).int8(0).int16(0).int16(0);  // leading word, version 1.0, language, script
    aete.int16(1);                                     // one suite
    aete.pascalString(kMakerName).pascalString(kProductName).fourCharCode(kFilterCode);
    aete.int16(1).int16(1);                            // suite level and version
    aete.int16(1);                                     // one event
    aete.pascalString(kProductName).pascalString("Warps a square into a circle");
    aete.fourCharCode(kFilterCode).fourCharCode(kFilterCode);  // event class and ID
    aete.fourCharCode("null").pascalString("").int16(0);       // no reply: type, description, flags
    aete.fourCharCode("#ImR").pascalString("").int16(0xB000);  // direct parameter: an image reference
    aete.int16(0);                                     // no other parameters
    aete.int16(0).int16(0).int16(0);                   // no classes, comparison operators, enumerations
    return aete.data;
}

std::string pluginDescriptionScript() {
    return "// Generated by velorund-plugin-description (tools/resources) from the field lists in\n"
           "// plugin_description.cpp: do not edit by hand; regenerate with the tool (see\n"
           "// tools/CMakeLists.txt). Each resource is written as 16-bit little-endian words.\n"
           "LANGUAGE 9, 1  // US English, 1033\n\n"
           "#ifndef VELORUND_STRICT_HOSTS\n" +
           rawResource("PIPL", piplBytes(PropertyLengths::Unpadded),
                       "Plug-in property list: kind, name, category, version, entry, terminology, modes, enable "
                       "expression, filter cases") +
           "#else\n" +
           rawResource("PIPL", piplBytes(PropertyLengths::RoundedUp),
                       "The same for hosts that step by the stored lengths: every length rounded up to 4") +
           "#endif\n\n" + rawResource("AETE", aeteBytes(), "Scripting terminology: one suite with one event");
}
