// XMP packets larger than one JPEG segment holds. Such a file carries a small main packet whose
// xmpNote:HasExtendedXMP names the MD5 digest of the rest (as 32 hexadecimal digits); the rest,
// a full XMP serialisation, follows in segments of its own, each with that digest, the rest's
// full length and the offset of its part.
#pragma once

#include <string>
#include <vector>

namespace cli {

// The name before the extension parts in a JPEG APP1 segment, with its terminating zero.
constexpr char kXmpExtensionNamespace[] = "http://ns.adobe.com/xmp/extension/";
constexpr size_t kXmpExtensionNamespaceBytes = sizeof kXmpExtensionNamespace;
// The most XMP a main segment carries after its namespace.
constexpr size_t kMaxMainXmpBytes = 65504;

// The segments of a packet for a JPEG file (each without its namespace): the packet alone when
// it fits one, else a main packet naming the digest and the parts of the whole packet.
std::vector<std::string> xmpSegments(const std::string& xmp);

// Joins the extension parts (segments without their namespace) into the main packet that names
// them, one packet holding every property; the main packet's HasExtendedXMP goes. False when
// parts are missing, left over or cannot be joined: xmp is then the main packet without its
// HasExtendedXMP.
bool joinExtendedXmp(std::string& xmp, const std::vector<std::string>& parts);

}  // namespace cli
