#pragma once
// The strict layout of the installer data: inside the signature, as the value
// of an unauthenticated attribute of the last signer, so that the certificate
// entry holds the PKCS #7 structure and nothing after it, as the platform's
// strict signature check (certificate padding check) demands. The attribute
// is the last one, so the DER of the whole structure ends with the text, its
// length and "TWPL": the wizard, which reads only the file's last bytes, reads
// it like the appended layout.
//
// The attribute: SEQUENCE { type, SET { OCTET STRING value } } with the value
//   byte 0        how the untagged entry's length was written (kEntryLength*)
//   zero bytes    as many as make the structure a multiple of 8 bytes long
//   text, its 32-bit little-endian length, "TWPL"
// The certificate entry's length is the structure's own; no padding follows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "PeCertificateTable.h"

// Where the text lies in a strict-tagged image.
struct StrictTagText {
    size_t offset = 0;
    size_t bytes = 0;
};

// Finds the text of a strict-tagged image; error says why the image is not one.
bool LocateStrictTag(const std::vector<uint8_t>& image, const PeCertificateTable& table, StrictTagText& text,
                     std::string& error);

// Tags an untagged image; the image is unchanged on failure.
bool AddStrictTag(std::vector<uint8_t>& image, const PeCertificateTable& table, const std::vector<uint8_t>& data,
                  std::string& error);

// Gives back the untagged image byte for byte.
bool RemoveStrictTag(std::vector<uint8_t>& image, const PeCertificateTable& table, std::string& error);

// Whether the image's signature fills its certificate entry to the end of the
// file, as only the strict layout makes it; false when it cannot be read.
bool SignatureReachesFileEnd(const std::vector<uint8_t>& image, const PeCertificateTable& table);

// Whether the last signer carries the installer data attribute anywhere.
bool LastSignerCarriesInstallerData(const std::vector<uint8_t>& image, const PeCertificateTable& table);
