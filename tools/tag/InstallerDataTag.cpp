#include "InstallerDataTag.h"

#include <cstring>

#include "AppendedInstallerDataTag.h"
#include "InstallerDataFooter.h"
#include "InstallerDataText.h"
#include "PeCertificateTable.h"
#include "StrictInstallerDataTag.h"

namespace {
const size_t kMaxTagBytes = 0x7FFFFFFF;

// The layout of a tagged image whose table has been read.
InstallerDataLayout LayoutOf(const std::vector<uint8_t>& image, const PeCertificateTable& table) {
    return SignatureReachesFileEnd(image, table) ? InstallerDataLayout::Strict : InstallerDataLayout::Appended;
}

bool ReadTaggedTable(const std::vector<uint8_t>& image, PeCertificateTable& table, std::string& error) {
    if (!ReadCertificateTable(image, table, error)) return false;
    if (!HasInstallerDataTag(image)) {
        error = "the file carries no installer data trailer";
        return false;
    }
    return true;
}
}  // namespace

const char* InstallerDataLayoutName(InstallerDataLayout layout) {
    switch (layout) {
        case InstallerDataLayout::Appended:
            return "appended";
        case InstallerDataLayout::Strict:
            return "strict";
        default:
            return "none";
    }
}

bool HasInstallerDataTag(const std::vector<uint8_t>& image) {
    return image.size() >= kInstallerDataFooterBytes && std::memcmp(&image[image.size() - 4], kInstallerDataMagic, 4) == 0;
}

bool FindInstallerDataLayout(const std::vector<uint8_t>& image, InstallerDataLayout& layout, std::string& error) {
    layout = InstallerDataLayout::None;
    if (!HasInstallerDataTag(image)) return true;
    PeCertificateTable table;
    if (!ReadCertificateTable(image, table, error)) return false;
    layout = LayoutOf(image, table);
    return true;
}

bool ReadInstallerDataTag(const std::vector<uint8_t>& image, std::vector<uint8_t>& data, std::string& error) {
    PeCertificateTable table;
    if (!ReadTaggedTable(image, table, error)) return false;
    size_t offset = 0;
    size_t bytes = 0;
    if (LayoutOf(image, table) == InstallerDataLayout::Strict) {
        StrictTagText text;
        if (!LocateStrictTag(image, table, text, error)) return false;
        offset = text.offset;
        bytes = text.bytes;
    } else {
        AppendedTag tag;
        if (!LocateAppendedTag(image, table, tag, error)) return false;
        offset = tag.textOffset;
        bytes = tag.textBytes;
    }
    const auto begin = image.begin() + static_cast<std::ptrdiff_t>(offset);
    data.assign(begin, begin + static_cast<std::ptrdiff_t>(bytes));
    return true;
}

bool RemoveInstallerDataTag(std::vector<uint8_t>& image, std::string& error) {
    PeCertificateTable table;
    if (!ReadTaggedTable(image, table, error)) return false;
    if (LayoutOf(image, table) == InstallerDataLayout::Strict) return RemoveStrictTag(image, table, error);
    return RemoveAppendedTag(image, table, error);
}

bool AddInstallerDataTag(std::vector<uint8_t>& image, const std::vector<uint8_t>& data, InstallerDataLayout layout,
                         bool replace, std::string& error) {
    if (data.empty()) {
        error = "the data file is empty; an empty trailer would read as no trailer";
        return false;
    }
    if (data.size() > kMaxTagBytes) {
        error = "the data file is too large";
        return false;
    }
    if (!CheckInstallerDataText(data, error)) return false;
    PeCertificateTable table;
    if (!ReadCertificateTable(image, table, error)) return false;
    std::vector<uint8_t> untagged = image;
    if (HasInstallerDataTag(untagged)) {
        if (!replace) {
            error = "the file already carries an installer data trailer (use --replace)";
            return false;
        }
        if (!RemoveInstallerDataTag(untagged, error)) return false;
        if (!ReadCertificateTable(untagged, table, error)) return false;
    }
    if (!RequireSingleSignatureEntry(table, error)) return false;
    if (LastSignerCarriesInstallerData(untagged, table)) {
        error = "the last signer already carries an installer data attribute, but not as the file's trailer";
        return false;
    }
    std::vector<uint8_t> tagged = untagged;
    const bool added = layout == InstallerDataLayout::Strict ? AddStrictTag(tagged, table, data, error)
                                                             : AddAppendedTag(tagged, table, data, error);
    if (!added) return false;
    // The promise of remove: the signed file back byte for byte.
    std::vector<uint8_t> restored = tagged;
    std::string ignored;
    if (!RemoveInstallerDataTag(restored, ignored) || restored != untagged) {
        error = "this signature's certificate entry is laid out in a way the tag could not be removed from "
                "exactly; the file is left as it was";
        return false;
    }
    image.swap(tagged);
    return true;
}
