#include "InstallerDataTag.h"

#include <cstring>

#include "PeCertificateTable.h"

namespace {
const uint8_t kMagic[4] = {'T', 'W', 'P', 'L'};
const size_t kFooterBytes = 8;
const size_t kCertificateHeaderBytes = 8;
const size_t kMaxTagBytes = 0x7FFFFFFF;

size_t AlignTo8(size_t value) { return (value + 7) & ~static_cast<size_t>(7); }

// The length of the DER-encoded signature at offset: header plus contents,
// or 0 when it is no well-formed SEQUENCE inside limit.
size_t DerSequenceLength(const std::vector<uint8_t>& image, size_t offset, size_t limit) {
    if (limit - offset < 2 || image[offset] != 0x30) return 0;
    size_t first = image[offset + 1];
    size_t headerBytes = 2;
    size_t contentBytes = first;
    if (first & 0x80) {
        size_t count = first & 0x7F;
        if (count == 0 || count > 4 || limit - offset < 2 + count) return 0;
        contentBytes = 0;
        for (size_t i = 0; i < count; ++i) contentBytes = contentBytes << 8 | image[offset + 2 + i];
        headerBytes += count;
    }
    if (contentBytes > limit - offset - headerBytes) return 0;
    return headerBytes + contentBytes;
}

// Checks that the trailer sits in the last certificate entry and finds where
// the signature before it ends.
bool LocateTag(const std::vector<uint8_t>& image, PeCertificateTable& table, size_t& signatureEnd, size_t& textStart,
               std::string& error) {
    if (!ReadCertificateTable(image, table, error)) return false;
    const size_t size = image.size();
    if (!HasInstallerDataTag(image)) {
        error = "the file carries no installer data trailer";
        return false;
    }
    const size_t entryEnd = table.lastEntryOffset + table.lastEntryLength;
    const size_t length = ReadLittleEndian32(&image[size - kFooterBytes]);
    const size_t entryData = table.lastEntryOffset + kCertificateHeaderBytes;
    if (entryEnd != size || length > size - kFooterBytes - entryData) {
        error = "malformed trailer: it does not lie inside the last certificate entry";
        return false;
    }
    textStart = size - kFooterBytes - length;
    const size_t signatureLength = DerSequenceLength(image, entryData, textStart);
    if (signatureLength == 0) {
        error = "malformed certificate entry: no signature before the trailer";
        return false;
    }
    signatureEnd = entryData + signatureLength;
    for (size_t i = signatureEnd; i < textStart; ++i) {
        if (image[i] != 0) {
            error = "malformed trailer: unexpected bytes between the signature and the trailer";
            return false;
        }
    }
    return true;
}
}  // namespace

bool HasInstallerDataTag(const std::vector<uint8_t>& image) {
    return image.size() >= kFooterBytes && std::memcmp(&image[image.size() - 4], kMagic, 4) == 0;
}

bool ReadInstallerDataTag(const std::vector<uint8_t>& image, std::vector<uint8_t>& data, std::string& error) {
    PeCertificateTable table;
    size_t signatureEnd = 0;
    size_t textStart = 0;
    if (!LocateTag(image, table, signatureEnd, textStart, error)) return false;
    data.assign(image.begin() + static_cast<std::ptrdiff_t>(textStart), image.end() - kFooterBytes);
    return true;
}

bool RemoveInstallerDataTag(std::vector<uint8_t>& image, std::string& error) {
    PeCertificateTable table;
    size_t signatureEnd = 0;
    size_t textStart = 0;
    if (!LocateTag(image, table, signatureEnd, textStart, error)) return false;
    // Back to the usual signer's layout: the entry padded with zeros to a
    // multiple of 8 bytes, the padding counted in its length.
    const size_t entryLength = AlignTo8(signatureEnd - table.lastEntryOffset);
    image.resize(table.lastEntryOffset + entryLength);
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(signatureEnd), image.end(), 0);
    UpdateCertificateTable(image, table, static_cast<uint32_t>(image.size() - table.tableOffset),
                           static_cast<uint32_t>(entryLength));
    return true;
}

bool AddInstallerDataTag(std::vector<uint8_t>& image, const std::vector<uint8_t>& data, bool replace,
                         std::string& error) {
    if (data.empty()) {
        error = "the data file is empty; an empty trailer would read as no trailer";
        return false;
    }
    if (data.size() > kMaxTagBytes) {
        error = "the data file is too large";
        return false;
    }
    PeCertificateTable table;
    if (!ReadCertificateTable(image, table, error)) return false;
    if (HasInstallerDataTag(image)) {
        if (!replace) {
            error = "the file already carries an installer data trailer (use --replace)";
            return false;
        }
        if (!RemoveInstallerDataTag(image, error)) return false;
        if (!ReadCertificateTable(image, table, error)) return false;
    }
    // The entry keeps the signer's bytes, then zero padding, the text, the
    // length and the magic, and stays a multiple of 8 bytes long.
    const size_t signatureEnd = table.lastEntryOffset + table.lastEntryLength;
    const size_t unpadded = table.lastEntryLength + data.size() + kFooterBytes;
    const size_t padding = AlignTo8(unpadded) - unpadded;
    const size_t newEntryLength = unpadded + padding;
    if (table.lastEntryOffset + newEntryLength > 0xFFFFFFFFu) {
        error = "the tagged file would exceed 4 GiB";
        return false;
    }
    image.resize(signatureEnd);
    image.insert(image.end(), padding, 0);
    image.insert(image.end(), data.begin(), data.end());
    uint8_t footer[kFooterBytes];
    WriteLittleEndian32(footer, static_cast<uint32_t>(data.size()));
    std::memcpy(footer + 4, kMagic, 4);
    image.insert(image.end(), footer, footer + kFooterBytes);
    UpdateCertificateTable(image, table, static_cast<uint32_t>(image.size() - table.tableOffset),
                           static_cast<uint32_t>(newEntryLength));
    return true;
}
