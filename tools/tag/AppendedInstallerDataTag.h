#pragma once
// The appended layout of the installer data: the certificate entry holds the
// signature, zero bytes, then the text, its 32-bit little-endian length and
// "TWPL", and stays a multiple of 8 bytes long. Platforms that check the
// certificate padding strictly count such a file as unsigned.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "PeCertificateTable.h"

struct AppendedTag {
    size_t signatureEnd = 0;  // where the signature's DER ends
    size_t textOffset = 0;
    size_t textBytes = 0;
};

// Finds the text of an appended-tagged image; error says why it is not one.
bool LocateAppendedTag(const std::vector<uint8_t>& image, const PeCertificateTable& table, AppendedTag& tag,
                       std::string& error);

// Tags an untagged image; the image is unchanged on failure.
bool AddAppendedTag(std::vector<uint8_t>& image, const PeCertificateTable& table, const std::vector<uint8_t>& data,
                    std::string& error);

// Gives back the untagged image.
bool RemoveAppendedTag(std::vector<uint8_t>& image, const PeCertificateTable& table, std::string& error);
