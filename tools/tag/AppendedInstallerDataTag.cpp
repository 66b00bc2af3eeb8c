#include "AppendedInstallerDataTag.h"

#include <algorithm>

#include "DerElement.h"
#include "InstallerDataFooter.h"

namespace {
// An entry whose length did not count its padding is tagged with at least this
// many zero bytes before the text; earlier tags never have more than 14, and
// their entries' lengths counted the padding.
const size_t kUnpaddedEntryMarkBytes = 16;

}  // namespace

bool LocateAppendedTag(const std::vector<uint8_t>& image, const PeCertificateTable& table, AppendedTag& tag,
                       std::string& error) {
    const size_t size = image.size();
    const size_t entryData = table.lastEntryOffset + kCertificateHeaderBytes;
    if (table.lastEntryOffset + table.lastEntryLength != size) {
        error = "malformed trailer: it does not end the last certificate entry";
        return false;
    }
    if (table.lastEntryLength < kCertificateHeaderBytes + kInstallerDataFooterBytes) {
        error = "malformed trailer: the last certificate entry (" + std::to_string(table.lastEntryLength) +
                " bytes) is too short to hold one";
        return false;
    }
    const size_t length = ReadLittleEndian32(&image[size - kInstallerDataFooterBytes]);
    if (length > size - kInstallerDataFooterBytes - entryData) {
        error = "malformed trailer: its length reaches outside the last certificate entry";
        return false;
    }
    tag.textOffset = size - kInstallerDataFooterBytes - length;
    tag.textBytes = length;
    Der::Element signature;
    if (!Der::ReadElement(image.data(), size, entryData, tag.textOffset, signature) ||
        signature.tag != Der::kSequence) {
        error = "malformed certificate entry: no signature before the trailer";
        return false;
    }
    tag.signatureEnd = signature.End();
    if (std::any_of(image.begin() + static_cast<std::ptrdiff_t>(tag.signatureEnd),
                    image.begin() + static_cast<std::ptrdiff_t>(tag.textOffset), [](uint8_t b) { return b != 0; })) {
        error = "malformed trailer: unexpected bytes between the signature and the trailer";
        return false;
    }
    return true;
}

bool RemoveAppendedTag(std::vector<uint8_t>& image, const PeCertificateTable& table, std::string& error) {
    AppendedTag tag;
    if (!LocateAppendedTag(image, table, tag, error)) return false;
    // Back to the signer's layout: the entry padded with zeros to a multiple
    // of 8 bytes, the padding counted in its length unless the tag marks otherwise.
    const size_t signatureBytes = tag.signatureEnd - table.lastEntryOffset;
    const size_t paddedBytes = AlignTo8(signatureBytes);
    const bool unpadded = tag.textOffset - tag.signatureEnd >= kUnpaddedEntryMarkBytes;
    image.resize(table.lastEntryOffset + paddedBytes);
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(tag.signatureEnd), image.end(), 0);
    UpdateCertificateTable(image, table, static_cast<uint32_t>(image.size() - table.tableOffset),
                           static_cast<uint32_t>(unpadded ? signatureBytes : paddedBytes));
    return true;
}

bool AddAppendedTag(std::vector<uint8_t>& image, const PeCertificateTable& table, const std::vector<uint8_t>& data,
                    std::string& error) {
    const size_t entryData = table.lastEntryOffset + kCertificateHeaderBytes;
    Der::Element signature;
    if (!Der::ReadElement(image.data(), image.size(), entryData, table.lastEntryOffset + table.lastEntryLength,
                          signature) ||
        signature.tag != Der::kSequence) {
        error = "malformed certificate entry: no DER signature in it";
        return false;
    }
    if (std::any_of(image.begin() + static_cast<std::ptrdiff_t>(signature.End()), image.end(),
                    [](uint8_t b) { return b != 0; })) {
        error = "unexpected bytes after the signature in its certificate entry";
        return false;
    }
    // The entry keeps the signer's bytes and their padding to 8 bytes (plus the
    // mark of an unpadded entry length), then zeros, the text, the length and
    // the magic, and stays a multiple of 8 bytes long.
    const bool unpadded = table.lastEntryLength % 8 != 0;
    const size_t signatureBytes = signature.End() - table.lastEntryOffset;
    const size_t textStart = AlignTo8(signatureBytes) + (unpadded ? kUnpaddedEntryMarkBytes : 0);
    const size_t newEntryLength = AlignTo8(textStart + data.size() + kInstallerDataFooterBytes);
    const size_t zeros = newEntryLength - kInstallerDataFooterBytes - data.size() - signatureBytes;
    if (static_cast<uint64_t>(table.lastEntryOffset) + newEntryLength > 0xFFFFFFFFu) {
        error = "the tagged file would exceed 4 GiB";
        return false;
    }
    image.resize(signature.End());
    image.insert(image.end(), zeros, 0);
    image.insert(image.end(), data.begin(), data.end());
    AppendInstallerDataFooter(image, data.size());
    UpdateCertificateTable(image, table, static_cast<uint32_t>(image.size() - table.tableOffset),
                           static_cast<uint32_t>(newEntryLength));
    return true;
}
