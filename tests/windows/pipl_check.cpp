// The module for strict hosts as hosts read it. Two PiPL readers walk the property records of
// both modules: the usual one steps to the next record by the stored data length rounded up to
// 4, the strict one by the stored length as it is, as some hosts do. The usual reader must find
// the same nine properties with the same data in both modules, the strict one only in the
// module for strict hosts.
#include <cstring>
#include <string>
#include <vector>

#include "runner.h"

namespace {

struct Property {
    std::string key;
    int32_t length;    // as stored
    std::string data;  // through the zero padding that ends the record
};

// Reads the property records; true when it finds nine, false when one is not an 8BIM property
// or runs past the end.
bool readPipl(const std::string& pipl, bool roundUp, std::vector<Property>* properties) {
    auto int32At = [&](size_t offset) {
        int32_t v;
        std::memcpy(&v, pipl.data() + offset, 4);
        return v;
    };
    properties->clear();
    if (pipl.size() < 10) return false;
    size_t offset = 10;  // after reserved, version and count
    for (int32_t i = 0; i < int32At(6); i++) {
        if (offset + 16 > pipl.size() || pipl.compare(offset, 4, "MIB8") != 0) return false;
        int32_t length = int32At(offset + 12);
        size_t padded = (static_cast<size_t>(length) + 3) & ~size_t{3};
        if (length < 0 || offset + 16 + padded > pipl.size()) return false;
        properties->push_back({pipl.substr(offset + 4, 4), length, pipl.substr(offset + 16, padded)});
        offset += 16 + (roundUp ? padded : static_cast<size_t>(length));
    }
    return properties->size() == 9;
}

}  // namespace

void checkStrictHostsModule(const LoadedModule& module, const char* strictPath) {
    HMODULE strictModule = LoadLibraryExA(strictPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!CHECK(strictModule, "cannot open %s", strictPath)) return;
    std::string standardPipl = resourceBytes(module.handle, "PIPL", MAKEINTRESOURCEA(16000));
    std::string strictPipl = resourceBytes(strictModule, "PIPL", MAKEINTRESOURCEA(16000));
    FreeLibrary(strictModule);

    // The usual reader: the same properties in both, the strict module's lengths rounded up.
    std::vector<Property> standard, strict, stepped;
    CHECK(readPipl(standardPipl, true, &standard), "usual reader: the standard PiPL does not read");
    CHECK(readPipl(strictPipl, true, &strict), "usual reader: the strict-hosts PiPL does not read");
    for (size_t i = 0; i < standard.size() && i < strict.size(); i++) {
        const Property &s = standard[i], &r = strict[i];
        CHECK(s.key == r.key && s.data == r.data && r.length == static_cast<int32_t>(s.data.size()),
              "property %zu: %s length %d in the standard PiPL, %s length %d in the strict-hosts one", i,
              s.key.c_str(), s.length, r.key.c_str(), r.length);
    }

    // The strict reader: lost after the standard module's first odd length, at home in the other.
    CHECK(!readPipl(standardPipl, false, &stepped), "strict reader: the standard PiPL reads");
    CHECK(readPipl(strictPipl, false, &stepped), "strict reader: the strict-hosts PiPL does not read");
    for (size_t i = 0; i < stepped.size() && i < strict.size(); i++)
        CHECK(stepped[i].key == strict[i].key && stepped[i].data == strict[i].data, "strict reader: property %zu", i);
}
