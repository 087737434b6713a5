// Extended XMP is joined and split as text: the XMP packets of photographs are machine-written
// RDF, one rdf:RDF element holding rdf:Description elements, and RDF allows several of them,
// so the extension's descriptions are moved into the main packet's rdf:RDF, and a packet too
// large for one segment becomes a main packet with only the HasExtendedXMP property.
#include "extended_xmp.h"

#include <nettle/md5.h>

#include <algorithm>
#include <cstdint>
#include <utility>

namespace cli {

namespace {

constexpr size_t kGuidBytes = 32;
constexpr size_t kPartHeaderBytes = kGuidBytes + 8;  // the digest, the full length, the offset
// The most of the extension one segment carries: 65533 bytes less the namespace and header.
constexpr size_t kMaxPartBytes = 65533 - kXmpExtensionNamespaceBytes - kPartHeaderBytes;
constexpr char kHasExtended[] = "HasExtendedXMP";

std::string bigEndian(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

uint32_t readBigEndian(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; i++) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

std::string md5Digest(const std::string& text) {
    md5_ctx context;
    uint8_t digest[MD5_DIGEST_SIZE];
    md5_init(&context);
    md5_update(&context, text.size(), reinterpret_cast<const uint8_t*>(text.data()));
    md5_digest(&context, MD5_DIGEST_SIZE, digest);
    static const char hex[] = "0123456789ABCDEF";
    std::string guid;
    for (uint8_t byte : digest) guid += {hex[byte >> 4], hex[byte & 15]};
    return guid;
}

// Where the HasExtendedXMP property lies in the packet, as an attribute (with the space before
// it) or an element, and the digest it names; an empty range when there is none.
struct Property {
    size_t begin = 0, end = 0;
    std::string guid;
};

Property findHasExtended(const std::string& xmp) {
    Property p;
    const size_t name = xmp.find(kHasExtended);
    if (name == std::string::npos) return p;
    size_t value = name + sizeof kHasExtended - 1;
    while (value < xmp.size() && std::string(" \t\r\n=\"'>").find(xmp[value]) != std::string::npos) value++;
    if (value + kGuidBytes > xmp.size()) return p;
    p.guid = xmp.substr(value, kGuidBytes);
    const size_t start = xmp.find_last_of(" \t\r\n<", name);
    if (start == std::string::npos) return p;
    const size_t close = xmp[start] == '<' ? xmp.find('>', value + kGuidBytes) : xmp.find_first_of("\"'", value + kGuidBytes);
    if (close == std::string::npos) return p;
    p.begin = start;
    p.end = close + 1;
    return p;
}

// The inside of the packet's rdf:RDF element, and where it ends.
std::pair<size_t, size_t> rdfContent(const std::string& xmp) {
    const size_t open = xmp.find("<rdf:RDF");
    const size_t start = open == std::string::npos ? open : xmp.find('>', open);
    const size_t end = xmp.rfind("</rdf:RDF>");
    if (start == std::string::npos || end == std::string::npos || end <= start) return {std::string::npos, 0};
    return {start + 1, end};
}

}  // namespace

std::vector<std::string> xmpSegments(const std::string& xmp) {
    if (xmp.size() <= kMaxMainXmpBytes) return {xmp};
    // The whole packet goes into the extension, without its packet wrapper.
    std::string rest = xmp;
    const size_t begin = rest.find("<?xpacket begin");
    if (begin != std::string::npos && rest.find("?>", begin) != std::string::npos) rest.erase(0, rest.find("?>", begin) + 2);
    const size_t end = rest.rfind("<?xpacket end");
    if (end != std::string::npos) rest.erase(end);
    const std::string guid = md5Digest(rest);
    std::vector<std::string> segments{
        "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\" xmpNote:HasExtendedXMP=\"" +
        guid + "\"/></rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>"};
    for (size_t offset = 0; offset < rest.size(); offset += kMaxPartBytes)
        segments.push_back(guid + bigEndian(static_cast<uint32_t>(rest.size())) + bigEndian(static_cast<uint32_t>(offset)) +
                           rest.substr(offset, kMaxPartBytes));
    return segments;
}

bool joinExtendedXmp(std::string& xmp, const std::vector<std::string>& parts) {
    const Property property = findHasExtended(xmp);
    if (property.end == 0) return parts.empty();
    xmp.erase(property.begin, property.end - property.begin);

    // The parts, all of the named extension, which they must cover exactly once.
    std::vector<std::pair<uint32_t, const std::string*>> mine;
    uint32_t fullLength = 0;
    uint64_t held = 0;
    for (const std::string& part : parts) {
        if (part.size() <= kPartHeaderBytes || part.compare(0, kGuidBytes, property.guid) != 0) continue;
        fullLength = readBigEndian(part, kGuidBytes);
        mine.emplace_back(readBigEndian(part, kGuidBytes + 4), &part);
        held += part.size() - kPartHeaderBytes;
    }
    if (mine.size() != parts.size() || held != fullLength) return false;
    std::sort(mine.begin(), mine.end());
    std::string rest;
    for (const auto& [offset, part] : mine) {
        if (offset != rest.size() || readBigEndian(*part, kGuidBytes) != fullLength) return false;
        rest.append(*part, kPartHeaderBytes);
    }

    // The extension's descriptions go into the main packet's rdf:RDF.
    const auto [from, to] = rdfContent(rest);
    const size_t into = rdfContent(xmp).second;
    if (from == std::string::npos || into == 0) return false;
    xmp.insert(into, rest, from, to - from);
    return true;
}

}  // namespace cli
