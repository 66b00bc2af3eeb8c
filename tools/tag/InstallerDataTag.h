#pragma once
// The installer data trailer inside the last certificate entry of a signed
// PE file: the data's bytes, their 32-bit little-endian length and "TWPL"
// end the file. The Authenticode digest does not cover the certificate table,
// so the signature stays valid.
#include <cstdint>
#include <string>
#include <vector>

bool HasInstallerDataTag(const std::vector<uint8_t>& image);

// Appends data; an image that already carries a trailer is refused unless replace.
bool AddInstallerDataTag(std::vector<uint8_t>& image, const std::vector<uint8_t>& data, bool replace,
                         std::string& error);

// Takes the trailer out, leaving the certificate table as the signer wrote it.
bool RemoveInstallerDataTag(std::vector<uint8_t>& image, std::string& error);

// The trailer's bytes exactly as they were added.
bool ReadInstallerDataTag(const std::vector<uint8_t>& image, std::vector<uint8_t>& data, std::string& error);
