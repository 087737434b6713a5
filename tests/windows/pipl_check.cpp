// The module for strict hosts as hosts read it. Two PiPL readers walk the property records of
// both modules: the usual one steps to the next record by the stored data length rounded up to
// 4, the strict one by the stored length as it is, as some hosts do. The usual reader must find
// the same nine properties with the same data in both modules, the strict one only in the
// module for strict hosts; every other resource must be the same bytes in both.
#include <cstring>
#include <string>
#include <vector>

#include "runner.h"

namespace {

const WORD kUsEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

struct Property {
    std::string key;
    int32_t length;    // as stored
    std::string data;  // through the zero padding that ends the record
};

int32_t int32At(const std::string& bytes, size_t offset) {
    int32_t v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

// Reads the property records; false when one is not an 8BIM property or runs past the end.
bool readPipl(const std::string& pipl, bool roundUp, std::vector<Property>* properties) {
    properties->clear();
    if (pipl.size() < 10) return false;
    int32_t count = int32At(pipl, 6);
    size_t offset = 10;
    for (int32_t i = 0; i < count; i++) {
        if (offset + 16 > pipl.size() || pipl.compare(offset, 4, "MIB8") != 0) return false;
        int32_t length = int32At(pipl, offset + 12);
        size_t padded = (static_cast<size_t>(length) + 3) & ~size_t{3};
        if (length < 0 || offset + 16 + padded > pipl.size()) return false;
        properties->push_back({pipl.substr(offset + 4, 4), length, pipl.substr(offset + 16, padded)});
        offset += 16 + (roundUp ? padded : static_cast<size_t>(length));
    }
    return true;
}

std::string resourceBytes(HMODULE module, const char* type, const char* name, WORD language) {
    HRSRC found = FindResourceExA(module, type, name, language);
    if (!found) return std::string();
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(data, SizeofResource(module, found));
}

// Every resource of one module, by type, name and language, compared with the other module's.
struct Comparison {
    HMODULE strict;
    int32_t compared = 0;
};

BOOL CALLBACK compareLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR param) {
    auto* c = reinterpret_cast<Comparison*>(param);
    c->compared++;
    bool pipl = !IS_INTRESOURCE(type) && std::strcmp(type, "PIPL") == 0;
    std::string mine = resourceBytes(module, type, name, language);
    std::string theirs = resourceBytes(c->strict, type, name, language);
    CHECK(pipl ? mine.size() == theirs.size() : mine == theirs, "resource %s %s differs between the modules",
          IS_INTRESOURCE(type) ? std::to_string(reinterpret_cast<uintptr_t>(type)).c_str() : type,
          IS_INTRESOURCE(name) ? std::to_string(reinterpret_cast<uintptr_t>(name)).c_str() : name);
    return TRUE;
}

BOOL CALLBACK compareName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    EnumResourceLanguagesA(module, type, name, compareLanguage, param);
    return TRUE;
}

BOOL CALLBACK compareType(HMODULE module, LPSTR type, LONG_PTR param) {
    EnumResourceNamesA(module, type, compareName, param);
    return TRUE;
}

}  // namespace

void checkStrictHostsModule(const LoadedModule& module, const char* strictPath) {
    HMODULE strict = LoadLibraryExA(strictPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!CHECK(strict, "cannot open %s", strictPath)) return;
    std::string standardPipl = resourceBytes(module.handle, "PIPL", MAKEINTRESOURCEA(16000), kUsEnglish);
    std::string strictPipl = resourceBytes(strict, "PIPL", MAKEINTRESOURCEA(16000), kUsEnglish);

    // The usual reader: the same nine properties in both, the strict module's lengths rounded up.
    std::vector<Property> standard, rounded;
    CHECK(readPipl(standardPipl, true, &standard) && standard.size() == 9, "usual reader: standard PiPL unreadable");
    CHECK(readPipl(strictPipl, true, &rounded) && rounded.size() == standard.size(),
          "usual reader: strict-hosts PiPL unreadable");
    for (size_t i = 0; i < standard.size() && i < rounded.size(); i++) {
        const Property &s = standard[i], &r = rounded[i];
        CHECK(s.key == r.key && s.data == r.data && r.length == static_cast<int32_t>(s.data.size()),
              "property %zu: %s length %d in the standard PiPL, %s length %d in the strict-hosts one", i,
              s.key.c_str(), s.length, r.key.c_str(), r.length);
    }

    // The strict reader: lost after the first odd length of the standard module, at home in the other.
    std::vector<Property> stepped;
    CHECK(!readPipl(standardPipl, false, &stepped), "strict reader: the standard PiPL reads (%zu properties)",
          stepped.size());
    CHECK(readPipl(strictPipl, false, &stepped) && stepped.size() == rounded.size(),
          "strict reader: the strict-hosts PiPL does not read");
    for (size_t i = 0; i < stepped.size() && i < rounded.size(); i++)
        CHECK(stepped[i].key == rounded[i].key && stepped[i].data == rounded[i].data,
              "strict reader: property %zu differs", i);

    // Everything else is the same.
    Comparison comparison{strict};
    EnumResourceTypesA(module.handle, compareType, reinterpret_cast<LONG_PTR>(&comparison));
    // The PiPL, the AETE, six dialogs, four bitmaps, the icon group with its two images, the manifest.
    CHECK(comparison.compared == 16, "%d resources compared", comparison.compared);
    FreeLibrary(strict);
}
