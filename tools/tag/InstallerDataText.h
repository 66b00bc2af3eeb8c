#pragma once
// What the wizard can read as installer data: UTF-8 without a byte order mark
// and without NUL bytes (the wizard's text ends at the first NUL).
#include <cstdint>
#include <string>
#include <vector>

// False, with the reason and the offending byte's offset in error, for text
// the wizard would misread.
bool CheckInstallerDataText(const std::vector<uint8_t>& text, std::string& error);
