#include "PeCertificateTable.h"

namespace {
const uint16_t kPe32Magic = 0x10b;
const uint16_t kPe32PlusMagic = 0x20b;
const uint32_t kSecurityDirectoryIndex = 4;

uint16_t ReadLittleEndian16(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

// The PE checksum: 16-bit one's-complement style sum of the image with the
// CheckSum field taken as zero, plus the image length.
uint32_t ComputePeChecksum(const std::vector<uint8_t>& image, size_t checksumOffset) {
    uint64_t sum = 0;
    for (size_t i = 0; i < image.size(); i += 2) {
        if (i == checksumOffset || i == checksumOffset + 2) continue;
        uint32_t word = image[i];
        if (i + 1 < image.size()) word |= static_cast<uint32_t>(image[i + 1]) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + image.size());
}
}  // namespace

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void WriteLittleEndian32(uint8_t* bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool ReadCertificateTable(const std::vector<uint8_t>& image, PeCertificateTable& table, std::string& error) {
    const size_t size = image.size();
    if (size < 0x40 || image[0] != 'M' || image[1] != 'Z') {
        error = "not a PE file (no MZ header)";
        return false;
    }
    const size_t peOffset = ReadLittleEndian32(&image[0x3C]);
    if (peOffset > size - 24 || image[peOffset] != 'P' || image[peOffset + 1] != 'E' ||
        image[peOffset + 2] != 0 || image[peOffset + 3] != 0) {
        error = "malformed header: no PE signature where the DOS header points";
        return false;
    }
    const size_t optionalOffset = peOffset + 24;
    const size_t optionalSize = ReadLittleEndian16(&image[peOffset + 20]);
    if (optionalSize < 2 || optionalOffset + optionalSize > size) {
        error = "malformed header: optional header outside the file";
        return false;
    }
    const uint16_t magic = ReadLittleEndian16(&image[optionalOffset]);
    size_t countOffset;
    if (magic == kPe32Magic) {
        countOffset = 92;
    } else if (magic == kPe32PlusMagic) {
        countOffset = 108;
    } else {
        error = "malformed header: unknown optional header magic";
        return false;
    }
    const size_t directoriesOffset = countOffset + 4;
    const size_t entryOffset = directoriesOffset + kSecurityDirectoryIndex * 8;
    if (entryOffset + 8 > optionalSize || ReadLittleEndian32(&image[optionalOffset + countOffset]) <= kSecurityDirectoryIndex) {
        error = "malformed header: no security data directory";
        return false;
    }
    table.checksumOffset = optionalOffset + 64;
    table.directoryEntryOffset = optionalOffset + entryOffset;
    table.tableOffset = ReadLittleEndian32(&image[table.directoryEntryOffset]);
    table.tableSize = ReadLittleEndian32(&image[table.directoryEntryOffset + 4]);
    if (table.tableOffset == 0 || table.tableSize == 0) {
        error = "the file is not signed (no certificate table)";
        return false;
    }
    if (table.tableOffset > size || table.tableSize > size - table.tableOffset) {
        error = "malformed header: certificate table outside the file";
        return false;
    }
    if (table.tableOffset + table.tableSize != size) {
        error = "the certificate table is not at the end of the file";
        return false;
    }
    // Walk the 8-byte aligned entries to the last one.
    size_t offset = table.tableOffset;
    const size_t end = table.tableOffset + table.tableSize;
    table.entryCount = 0;
    while (true) {
        if (end - offset < kCertificateHeaderBytes) {
            error = "malformed certificate table: truncated entry";
            return false;
        }
        const uint32_t length = ReadLittleEndian32(&image[offset]);
        if (length < kCertificateHeaderBytes || length > end - offset) {
            error = "malformed certificate table: entry length outside the table";
            return false;
        }
        ++table.entryCount;
        const size_t next = offset + ((static_cast<size_t>(length) + 7) & ~static_cast<size_t>(7));
        if (next >= end) {
            table.lastEntryOffset = offset;
            table.lastEntryLength = length;
            table.lastEntryType = ReadLittleEndian16(&image[offset + 6]);
            return true;
        }
        offset = next;
    }
}

bool RequireSingleSignatureEntry(const PeCertificateTable& table, std::string& error) {
    if (table.entryCount != 1) {
        error = "the certificate table holds " + std::to_string(table.entryCount) +
                " entries; only a file with a single signature entry can be tagged";
        return false;
    }
    if (table.lastEntryType != kCertificateTypePkcsSignedData) {
        error = "the certificate entry is not a PKCS #7 signature (type " + std::to_string(table.lastEntryType) + ")";
        return false;
    }
    return true;
}

void UpdateCertificateTable(std::vector<uint8_t>& image, const PeCertificateTable& table, uint32_t newTableSize,
                            uint32_t newLastEntryLength) {
    WriteLittleEndian32(&image[table.directoryEntryOffset + 4], newTableSize);
    WriteLittleEndian32(&image[table.lastEntryOffset], newLastEntryLength);
    if (ReadLittleEndian32(&image[table.checksumOffset]) != 0) {
        WriteLittleEndian32(&image[table.checksumOffset], ComputePeChecksum(image, table.checksumOffset));
    }
}
