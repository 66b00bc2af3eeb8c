#include "LastSignerPath.h"

#include <cstring>

namespace {
// 1.2.840.113549.1.7.2, PKCS #7 signedData.
const uint8_t kSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

bool Fail(std::string& error, const char* what) {
    error = std::string("malformed signature: ") + what;
    return false;
}

// The last child of parent, which must have the tag expected.
bool ReadLastChild(const std::vector<uint8_t>& image, const Der::Element& parent, uint8_t expected,
                   Der::Element& child) {
    std::vector<Der::Element> children;
    if (!Der::ReadChildren(image.data(), image.size(), parent, children) || children.empty()) return false;
    child = children.back();
    return child.tag == expected;
}
}  // namespace

bool ReadLastSignerPath(const std::vector<uint8_t>& image, size_t offset, size_t limit, LastSignerPath& path,
                        std::string& error) {
    path = LastSignerPath();
    const uint8_t* bytes = image.data();
    Der::Element contentInfo;
    if (!Der::ReadElement(bytes, image.size(), offset, limit, contentInfo) || contentInfo.tag != Der::kSequence) {
        return Fail(error, "no DER SEQUENCE where the signature starts");
    }
    std::vector<Der::Element> children;
    if (!Der::ReadChildren(bytes, image.size(), contentInfo, children) || children.size() != 2 ||
        children[0].tag != Der::kObjectIdentifier || children[0].contentBytes != sizeof(kSignedDataOid) ||
        std::memcmp(bytes + children[0].ContentOffset(), kSignedDataOid, sizeof(kSignedDataOid)) != 0 ||
        children[1].tag != Der::kContextConstructed0) {
        return Fail(error, "the signature is not PKCS #7 SignedData");
    }
    const Der::Element explicitContent = children[1];
    if (!Der::ReadChildren(bytes, image.size(), explicitContent, children) || children.size() != 1 ||
        children[0].tag != Der::kSequence) {
        return Fail(error, "no SignedData inside the signature");
    }
    const Der::Element signedData = children[0];
    Der::Element signerInfos;
    if (!ReadLastChild(image, signedData, Der::kSet, signerInfos)) {
        return Fail(error, "SignedData does not end with its signer infos");
    }
    Der::Element signerInfo;
    if (!ReadLastChild(image, signerInfos, Der::kSequence, signerInfo)) {
        return Fail(error, "no signer info in SignedData");
    }
    if (!Der::ReadChildren(bytes, image.size(), signerInfo, children) || children.size() < 5) {
        return Fail(error, "the last signer info is not well formed");
    }
    path.chain = {contentInfo, explicitContent, signedData, signerInfos, signerInfo};
    if (children.back().tag != Der::kContextConstructed1) return true;
    path.hasUnauthenticatedAttributes = true;
    path.unauthenticatedAttributes = children.back();
    if (!Der::ReadChildren(bytes, image.size(), path.unauthenticatedAttributes, path.attributes)) {
        return Fail(error, "the last signer's unauthenticated attributes are not well formed");
    }
    for (const Der::Element& attribute : path.attributes) {
        if (attribute.tag != Der::kSequence || !Der::ReadChildren(bytes, image.size(), attribute, children) ||
            children.size() != 2 || children[0].tag != Der::kObjectIdentifier || children[1].tag != Der::kSet) {
            return Fail(error, "an unauthenticated attribute of the last signer is not well formed");
        }
    }
    return true;
}

bool AttributeHasType(const std::vector<uint8_t>& image, const Der::Element& attribute,
                      const std::vector<uint8_t>& oid) {
    Der::Element type;
    if (!Der::ReadElement(image.data(), image.size(), attribute.ContentOffset(), attribute.End(), type)) return false;
    return type.tag == Der::kObjectIdentifier && type.contentBytes == oid.size() &&
           std::memcmp(image.data() + type.ContentOffset(), oid.data(), oid.size()) == 0;
}
