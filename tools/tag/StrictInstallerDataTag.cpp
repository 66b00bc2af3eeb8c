#include "StrictInstallerDataTag.h"

#include <algorithm>

#include "DerElement.h"
#include "InstallerDataFooter.h"
#include "LastSignerPath.h"

namespace {
// The installer data attribute's type: 1.3.6.1.4.1.61017.1.1, an object
// identifier under the maker's private enterprise arc (1.3.6.1.4.1.61017),
// written here as its DER content octets. Nothing else names it.
const std::vector<uint8_t> kInstallerDataAttributeOid = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x83, 0xDC, 0x59, 0x01, 0x01};

// The first byte of the attribute's value: how the untagged certificate entry
// wrote its length, so that removing the tag gives back the same bytes.
const uint8_t kEntryLengthPadded = 0;    // dwLength counted the zero padding to 8 bytes
const uint8_t kEntryLengthUnpadded = 1;  // dwLength was the signature's own length

const size_t kFormBytes = 1;
// A few more than 8 candidates: a length-of-length step can skip a residue.
const size_t kMaxAlignmentPadding = 64;

size_t Encoded(size_t contentBytes) { return Der::HeaderSize(contentBytes) + contentBytes; }

// The encoded size of the attribute for a given padding and text size.
size_t AttributeSize(size_t padding, size_t textBytes) {
    const size_t value = Encoded(kFormBytes + padding + textBytes + kInstallerDataFooterBytes);
    return Encoded(Encoded(kInstallerDataAttributeOid.size()) + Encoded(value));
}

std::vector<uint8_t> EncodeAttribute(uint8_t form, size_t padding, const std::vector<uint8_t>& text) {
    const size_t valueBytes = kFormBytes + padding + text.size() + kInstallerDataFooterBytes;
    const size_t setBytes = Encoded(valueBytes);
    std::vector<uint8_t> out;
    out.reserve(AttributeSize(padding, text.size()));
    Der::AppendHeader(out, Der::kSequence, Encoded(kInstallerDataAttributeOid.size()) + Encoded(setBytes));
    Der::AppendHeader(out, Der::kObjectIdentifier, kInstallerDataAttributeOid.size());
    out.insert(out.end(), kInstallerDataAttributeOid.begin(), kInstallerDataAttributeOid.end());
    Der::AppendHeader(out, Der::kSet, setBytes);
    Der::AppendHeader(out, Der::kOctetString, valueBytes);
    out.push_back(form);
    out.insert(out.end(), padding, 0);
    out.insert(out.end(), text.begin(), text.end());
    AppendInstallerDataFooter(out, text.size());
    return out;
}

// A strict-tagged image's signature, its installer data attribute and value.
struct StrictTag {
    LastSignerPath path;
    Der::Element value;  // the OCTET STRING
    uint8_t form = 0;
    StrictTagText text;
};

bool ReadStrictTag(const std::vector<uint8_t>& image, const PeCertificateTable& table, StrictTag& tag,
                   std::string& error) {
    if (!RequireSingleSignatureEntry(table, error)) return false;
    const size_t size = image.size();
    const size_t contentStart = table.lastEntryOffset + kCertificateHeaderBytes;
    if (!ReadLastSignerPath(image, contentStart, size, tag.path, error)) return false;
    if (tag.path.chain.front().End() != size) {
        error = "malformed trailer: the signature does not reach the end of the file";
        return false;
    }
    const std::vector<Der::Element>& attributes = tag.path.attributes;
    if (attributes.empty() || !AttributeHasType(image, attributes.back(), kInstallerDataAttributeOid)) {
        error = "malformed trailer: the file ends inside the signature, but the last signer's last attribute is "
                "not the installer data";
        return false;
    }
    for (size_t i = 0; i + 1 < attributes.size(); ++i) {
        if (AttributeHasType(image, attributes[i], kInstallerDataAttributeOid)) {
            error = "malformed trailer: the last signer carries the installer data attribute more than once";
            return false;
        }
    }
    std::vector<Der::Element> children;
    std::vector<Der::Element> values;
    if (!Der::ReadChildren(image.data(), size, attributes.back(), children) ||
        !Der::ReadChildren(image.data(), size, children[1], values) || values.size() != 1 ||
        values[0].tag != Der::kOctetString) {
        error = "malformed trailer: the installer data attribute does not hold one OCTET STRING";
        return false;
    }
    tag.value = values[0];
    if (tag.value.contentBytes < kFormBytes + kInstallerDataFooterBytes) {
        error = "malformed trailer: the installer data attribute's value is too short";
        return false;
    }
    tag.form = image[tag.value.ContentOffset()];
    if (tag.form != kEntryLengthPadded && tag.form != kEntryLengthUnpadded) {
        error = "malformed trailer: unknown installer data attribute format " + std::to_string(tag.form);
        return false;
    }
    const size_t length = ReadLittleEndian32(&image[size - kInstallerDataFooterBytes]);
    if (length > tag.value.contentBytes - kFormBytes - kInstallerDataFooterBytes) {
        error = "malformed trailer: its length reaches outside the installer data attribute";
        return false;
    }
    tag.text.offset = size - kInstallerDataFooterBytes - length;
    tag.text.bytes = length;
    const auto padding = image.begin() + static_cast<std::ptrdiff_t>(tag.value.ContentOffset() + kFormBytes);
    if (std::any_of(padding, image.begin() + static_cast<std::ptrdiff_t>(tag.text.offset),
                    [](uint8_t byte) { return byte != 0; })) {
        error = "malformed trailer: unexpected bytes before the text in the installer data attribute";
        return false;
    }
    return true;
}
}  // namespace

bool LocateStrictTag(const std::vector<uint8_t>& image, const PeCertificateTable& table, StrictTagText& text,
                     std::string& error) {
    StrictTag tag;
    if (!ReadStrictTag(image, table, tag, error)) return false;
    text = tag.text;
    return true;
}

bool RemoveStrictTag(std::vector<uint8_t>& image, const PeCertificateTable& table, std::string& error) {
    StrictTag tag;
    if (!ReadStrictTag(image, table, tag, error)) return false;
    // Without other attributes the [1] element goes too, as before the tag.
    std::vector<Der::Element> chain = tag.path.chain;
    size_t cut = tag.path.unauthenticatedAttributes.offset;
    if (tag.path.attributes.size() > 1) {
        chain.push_back(tag.path.unauthenticatedAttributes);
        cut = tag.path.attributes.back().offset;
    }
    const std::vector<uint8_t> signature = Der::RewriteTail(image.data(), chain, cut, {});
    const size_t contentStart = table.lastEntryOffset + kCertificateHeaderBytes;
    const size_t entryBytes = kCertificateHeaderBytes + signature.size();
    const size_t paddedEntryBytes = AlignTo8(entryBytes);
    image.resize(contentStart);
    image.insert(image.end(), signature.begin(), signature.end());
    image.insert(image.end(), paddedEntryBytes - entryBytes, 0);
    UpdateCertificateTable(image, table, static_cast<uint32_t>(image.size() - table.tableOffset),
                           static_cast<uint32_t>(tag.form == kEntryLengthUnpadded ? entryBytes : paddedEntryBytes));
    return true;
}

bool AddStrictTag(std::vector<uint8_t>& image, const PeCertificateTable& table, const std::vector<uint8_t>& data,
                  std::string& error) {
    if (!RequireSingleSignatureEntry(table, error)) return false;
    const size_t contentStart = table.lastEntryOffset + kCertificateHeaderBytes;
    const size_t entryEnd = table.lastEntryOffset + table.lastEntryLength;
    LastSignerPath path;
    if (!ReadLastSignerPath(image, contentStart, entryEnd, path, error)) return false;
    for (const Der::Element& attribute : path.attributes) {
        if (AttributeHasType(image, attribute, kInstallerDataAttributeOid)) {
            error = "the last signer already carries an installer data attribute, but not as the file's trailer";
            return false;
        }
    }
    const size_t signatureEnd = path.chain.front().End();
    if (std::any_of(image.begin() + static_cast<std::ptrdiff_t>(signatureEnd), image.end(),
                    [](uint8_t byte) { return byte != 0; })) {
        error = "unexpected bytes after the signature in its certificate entry";
        return false;
    }
    const uint8_t form = table.lastEntryLength % 8 != 0 ? kEntryLengthUnpadded : kEntryLengthPadded;

    // The attribute goes last into the last signer's [1], which is made when missing.
    std::vector<Der::Element> chain = path.chain;
    size_t cut = path.chain.back().End();
    if (path.hasUnauthenticatedAttributes) {
        chain.push_back(path.unauthenticatedAttributes);
        cut = path.unauthenticatedAttributes.End();
    }
    auto tailBytes = [&](size_t padding) {
        const size_t attribute = AttributeSize(padding, data.size());
        return path.hasUnauthenticatedAttributes ? attribute : Encoded(attribute);
    };
    size_t padding = 0;
    while (padding <= kMaxAlignmentPadding && Der::SizeAfterTailRewrite(chain, cut, tailBytes(padding)) % 8 != 0) {
        ++padding;
    }
    if (padding > kMaxAlignmentPadding) {
        error = "cannot align the tagged signature to 8 bytes";
        return false;
    }
    if (static_cast<uint64_t>(contentStart) + Der::SizeAfterTailRewrite(chain, cut, tailBytes(padding)) > 0xFFFFFFFFu) {
        error = "the tagged file would exceed 4 GiB";
        return false;
    }
    std::vector<uint8_t> tail;
    if (!path.hasUnauthenticatedAttributes) {
        Der::AppendHeader(tail, Der::kContextConstructed1, AttributeSize(padding, data.size()));
    }
    const std::vector<uint8_t> attribute = EncodeAttribute(form, padding, data);
    tail.insert(tail.end(), attribute.begin(), attribute.end());
    const std::vector<uint8_t> signature = Der::RewriteTail(image.data(), chain, cut, tail);

    std::vector<uint8_t> tagged(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(contentStart));
    tagged.insert(tagged.end(), signature.begin(), signature.end());
    UpdateCertificateTable(tagged, table, static_cast<uint32_t>(tagged.size() - table.tableOffset),
                           static_cast<uint32_t>(kCertificateHeaderBytes + signature.size()));
    image.swap(tagged);
    return true;
}

bool SignatureReachesFileEnd(const std::vector<uint8_t>& image, const PeCertificateTable& table) {
    Der::Element signature;
    return Der::ReadElement(image.data(), image.size(), table.lastEntryOffset + kCertificateHeaderBytes,
                            image.size(), signature) &&
           signature.End() == image.size();
}

bool LastSignerCarriesInstallerData(const std::vector<uint8_t>& image, const PeCertificateTable& table) {
    LastSignerPath path;
    std::string error;
    const size_t contentStart = table.lastEntryOffset + kCertificateHeaderBytes;
    if (!ReadLastSignerPath(image, contentStart, table.lastEntryOffset + table.lastEntryLength, path, error)) {
        return false;
    }
    return std::any_of(path.attributes.begin(), path.attributes.end(), [&](const Der::Element& attribute) {
        return AttributeHasType(image, attribute, kInstallerDataAttributeOid);
    });
}
