#pragma once
// The end of every tagged file, whatever the layout: the text's 32-bit
// little-endian length and the magic "TWPL", which the wizard reads back.
#include <cstddef>
#include <cstdint>
#include <vector>

const uint8_t kInstallerDataMagic[4] = {'T', 'W', 'P', 'L'};
const size_t kInstallerDataFooterBytes = 8;

// Appends the footer for a text of textBytes.
inline void AppendInstallerDataFooter(std::vector<uint8_t>& out, size_t textBytes) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(textBytes >> (8 * i)));
    out.insert(out.end(), kInstallerDataMagic, kInstallerDataMagic + 4);
}

// Certificate entries and the table are laid out in multiples of 8 bytes.
inline size_t AlignTo8(size_t value) { return (value + 7) & ~static_cast<size_t>(7); }
