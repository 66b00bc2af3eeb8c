#pragma once
// The installer data trailer of a signed PE file: the data's bytes, their
// 32-bit little-endian length and "TWPL" end the file, inside the certificate
// table, which the Authenticode digest does not cover. Two layouts carry it:
// appended after the signature in its certificate entry, or strict, inside the
// signature as an attribute of the last signer (see the layouts' headers).
// Every function takes any bytes and refuses, with the reason in error, what
// it cannot handle exactly; a refused image is left as it was.
#include <cstdint>
#include <string>
#include <vector>

enum class InstallerDataLayout { None, Appended, Strict };

// "none", "appended" or "strict".
const char* InstallerDataLayoutName(InstallerDataLayout layout);

bool HasInstallerDataTag(const std::vector<uint8_t>& image);

// The layout of the image's trailer; None when the image does not end with the magic.
bool FindInstallerDataLayout(const std::vector<uint8_t>& image, InstallerDataLayout& layout, std::string& error);

// Tags the image in the layout given (Appended or Strict). An image that
// already carries a trailer, in either layout, is refused unless replace.
// Refused too: data the wizard would misread, and any image from which the
// tag could not later be removed to give back the same bytes.
bool AddInstallerDataTag(std::vector<uint8_t>& image, const std::vector<uint8_t>& data, InstallerDataLayout layout,
                         bool replace, std::string& error);

// Takes the trailer out, in either layout, leaving the file as the signer wrote it.
bool RemoveInstallerDataTag(std::vector<uint8_t>& image, std::string& error);

// The trailer's bytes exactly as they were added.
bool ReadInstallerDataTag(const std::vector<uint8_t>& image, std::vector<uint8_t>& data, std::string& error);
