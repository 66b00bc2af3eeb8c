#include "InstallerDataText.h"


namespace {
// The length of the well-formed UTF-8 sequence at i, or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF are not).
size_t Utf8SequenceLength(const std::vector<uint8_t>& text, size_t i) {
    const uint8_t lead = text[i];
    if (lead < 0x80) return 1;
    size_t length;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    if (text[i + 1] < low || text[i + 1] > high) return 0;
    for (size_t k = 2; k < length; ++k) {
        if (text[i + k] < 0x80 || text[i + k] > 0xBF) return 0;
    }
    return length;
}

std::string Describe(const char* what, const std::vector<uint8_t>& text, size_t offset) {
    const char digits[] = "0123456789ABCDEF";
    return std::string(what) + " (byte 0x" + digits[text[offset] >> 4] + digits[text[offset] & 15] + " at offset " +
           std::to_string(offset) + ")";
}
}  // namespace

bool CheckInstallerDataText(const std::vector<uint8_t>& text, std::string& error) {
    if (text.size() >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) {
        error = "the data file starts with a byte order mark; installer data is UTF-8 without one";
        return false;
    }
    for (size_t i = 0; i < text.size();) {
        if (text[i] == 0) {
            error = Describe("the data file holds a NUL byte, where the wizard's text would end", text, i);
            return false;
        }
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            error = Describe("the data file is not valid UTF-8", text, i);
            return false;
        }
        i += length;
    }
    return true;
}
