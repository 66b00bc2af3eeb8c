#pragma once
// The attribute certificate table of a PE32 or PE32+ image held in memory:
// where its directory entry lives, where the table and its last entry are.
// Portable: used by the tag tool on Linux and on Windows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PeCertificateTable {
    size_t checksumOffset = 0;        // the optional header's CheckSum field
    size_t directoryEntryOffset = 0;  // the security data directory (offset, size)
    size_t tableOffset = 0;           // file offset of the table
    size_t tableSize = 0;             // size recorded in the directory
    size_t lastEntryOffset = 0;       // the last WIN_CERTIFICATE in the table
    uint32_t lastEntryLength = 0;     // its dwLength
    uint16_t lastEntryType = 0;       // its wCertificateType
    size_t entryCount = 0;            // entries in the table
};

const uint16_t kCertificateTypePkcsSignedData = 0x0002;  // WIN_CERT_TYPE_PKCS_SIGNED_DATA
const size_t kCertificateHeaderBytes = 8;                // dwLength, wRevision, wCertificateType

// Fills table from image; on failure returns false and says why in error.
bool ReadCertificateTable(const std::vector<uint8_t>& image, PeCertificateTable& table, std::string& error);

// False, with the reason in error, unless the table holds exactly one entry
// and it is a PKCS #7 signature.
bool RequireSingleSignatureEntry(const PeCertificateTable& table, std::string& error);

// Writes the directory size, the last entry's length and a fresh checksum
// (when the image had one) after the table has been resized.
void UpdateCertificateTable(std::vector<uint8_t>& image, const PeCertificateTable& table, uint32_t newTableSize,
                            uint32_t newLastEntryLength);

uint32_t ReadLittleEndian32(const uint8_t* bytes);
void WriteLittleEndian32(uint8_t* bytes, uint32_t value);
