#include "ui/labels/LinkColour.h"

#include <cmath>

namespace {
const double kReadableContrast = 4.5;

double Linear(BYTE channel) {
    double value = channel / 255.0;
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double RelativeLuminance(COLORREF colour) {
    return 0.2126 * Linear(GetRValue(colour)) + 0.7152 * Linear(GetGValue(colour)) + 0.0722 * Linear(GetBValue(colour));
}
}  // namespace

double ContrastRatio(COLORREF first, COLORREF second) {
    double a = RelativeLuminance(first) + 0.05, b = RelativeLuminance(second) + 0.05;
    return a > b ? a / b : b / a;
}

COLORREF ChooseLinkColour(COLORREF themeLink, COLORREF background, COLORREF text) {
    if (ContrastRatio(themeLink, background) >= kReadableContrast) return themeLink;
    if (ContrastRatio(kFixedLinkBlue, background) >= kReadableContrast) return kFixedLinkBlue;
    return text;
}
