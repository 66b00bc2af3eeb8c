#pragma once
// The way from an Authenticode signature (a PKCS #7 ContentInfo holding
// SignedData) down to its last SignerInfo and that signer's unauthenticated
// attributes ([1] IMPLICIT SET OF Attribute). Each element of the way is the
// last child of the one before, so all of them end at the same byte: what is
// appended to the last signer's attributes ends the whole structure.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "DerElement.h"

struct LastSignerPath {
    // ContentInfo, its [0] content, SignedData, signerInfos, the last SignerInfo.
    std::vector<Der::Element> chain;
    bool hasUnauthenticatedAttributes = false;
    Der::Element unauthenticatedAttributes;  // the [1] element, when present
    std::vector<Der::Element> attributes;    // its Attribute SEQUENCEs
};

// Reads the signature that starts at offset and ends before limit. False, with
// the reason in error, for anything that is not such a structure in DER.
bool ReadLastSignerPath(const std::vector<uint8_t>& image, size_t offset, size_t limit, LastSignerPath& path,
                        std::string& error);

// Whether an attribute's type is the object identifier whose content octets are oid.
bool AttributeHasType(const std::vector<uint8_t>& image, const Der::Element& attribute,
                      const std::vector<uint8_t>& oid);
