// The RTF label's parts without a window: the character format from a font,
// the code page from the RTF header and the conversion, and the text host's
// answers to the engine.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "framework/MemoryEditStream.h"
#include "ui/labels/RtfCharFormat.h"
#include "ui/labels/RtfText.h"
#include "ui/labels/TextHost.h"

namespace {

LOGFONTW Font(LONG height, LONG weight, bool italic = false, bool underline = false, bool strikeOut = false) {
    LOGFONTW font = {};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfItalic = italic;
    font.lfUnderline = underline;
    font.lfStrikeOut = strikeOut;
    font.lfCharSet = SHIFTJIS_CHARSET;
    font.lfPitchAndFamily = 0x22;
    wcscpy(font.lfFaceName, L"Microsoft Sans Serif");
    return font;
}

TEST(RtfCharFormat, FollowsTheFont) {
    LOGFONTW font = Font(-16, 400, true, true, true);
    CHARFORMATW format = MakeRtfLabelCharFormat(&font, 96);
    EXPECT_EQ(format.cbSize, 92u);
    EXPECT_EQ(format.dwMask, 0xE800000Fu);
    EXPECT_EQ(format.dwEffects, static_cast<DWORD>(CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT));
    EXPECT_EQ(format.yHeight, 16 * 1440 / 96);
    EXPECT_EQ(format.yOffset, 0);
    EXPECT_EQ(format.crTextColor, RGB(0, 0, 0));
    EXPECT_EQ(format.bCharSet, SHIFTJIS_CHARSET);
    EXPECT_EQ(format.bPitchAndFamily, 0x22);
    EXPECT_STREQ(format.szFaceName, L"Microsoft Sans Serif");
    // Positive heights count the same; another resolution scales.
    font.lfHeight = 20;
    EXPECT_EQ(MakeRtfLabelCharFormat(&font, 120).yHeight, 20 * 1440 / 120);
}

TEST(RtfCharFormat, BoldOnlyAboveWeight700) {
    LOGFONTW font = Font(-13, 700);
    EXPECT_EQ(MakeRtfLabelCharFormat(&font, 96).dwEffects & CFE_BOLD, 0u);
    font.lfWeight = 800;
    EXPECT_EQ(MakeRtfLabelCharFormat(&font, 96).dwEffects & CFE_BOLD, static_cast<DWORD>(CFE_BOLD));
}

TEST(RtfCharFormat, WithoutAFont) {
    CHARFORMATW format = MakeRtfLabelCharFormat(nullptr, 96);
    EXPECT_EQ(format.dwEffects, 0u);
    EXPECT_EQ(format.yHeight, 160);
    EXPECT_EQ(format.bCharSet, 1);
    EXPECT_EQ(format.bPitchAndFamily, 0);
    EXPECT_STREQ(format.szFaceName, L"Tahoma");
    // A face name that fills the whole field is cut, never read past.
    LOGFONTW font = Font(-13, 400);
    for (wchar_t& unit : font.lfFaceName) unit = L'X';
    format = MakeRtfLabelCharFormat(&font, 96);
    EXPECT_EQ(std::wstring(format.szFaceName).size(), static_cast<std::size_t>(LF_FACESIZE - 1));
}

struct CodePageCase {
    const wchar_t* text;
    UINT codePage;
};

TEST(RtfText, CodePageFromTheHeaderWords) {
    const CodePageCase cases[] = {
        {L"{\\rtf1\\ansi\\deff0 x}", CP_ACP},
        {L"{\\rtf1\\mac\\deff0 x}", CP_MACCP},
        {L"{\\rtf1\\pc x}", CP_OEMCP},
        {L"{\\rtf1\\pca\\deff0{\\fonttbl}x}", CP_OEMCP},
        {L"{\\rtf1\\ansi\\ansicpg1252\r\n\\mac x}", CP_MACCP},
        {L"{\\rtf1\\macpict x}", CP_ACP},
        {L"{\\rtf1\\ansi{\\fonttbl\\mac}x}", CP_ACP},
        {L"{\\rtf1 text \\mac}", CP_ACP},
        {L"{\\rtf1\\", CP_ACP},
        {L"plain \\mac", CP_ACP},
    };
    for (const CodePageCase& c : cases) EXPECT_EQ(ChooseRtfCodePage(c.text), c.codePage) << c.text;
    EXPECT_TRUE(IsRtfText(L"{\\rtf1\\ansi"));
    EXPECT_FALSE(IsRtfText(L"{\\rtf"));
    EXPECT_FALSE(IsRtfText(L" {\\rtf1"));
}

TEST(RtfText, GroupDepthIgnoresEscapedBraces) {
    EXPECT_EQ(MeasureRtfGroupDepth(L""), 0u);
    EXPECT_EQ(MeasureRtfGroupDepth(L"{\\rtf1 \\{ \\} {\\b a}{b}}"), 2u);
    EXPECT_EQ(MeasureRtfGroupDepth(L"}}}{"), 1u);
    EXPECT_EQ(MeasureRtfGroupDepth(L"{\\\\{x}}"), 2u);
    EXPECT_EQ(MeasureRtfGroupDepth(L"{{{\\"), 3u);
}

TEST(RtfText, ConvertsWithoutBestFit) {
    EXPECT_EQ(ConvertRtfText(L"{\\rtf1 caf\x00E9}", 1252), std::optional<std::string>("{\\rtf1 caf\xE9}"));
    EXPECT_EQ(ConvertRtfText(L"caf\x00E9", 10000), std::optional<std::string>("caf\x8E"));
    EXPECT_EQ(ConvertRtfText(L"", 1252), std::optional<std::string>(""));
    // No exact character: not converted (best fit would make "A" of U+0100).
    EXPECT_EQ(ConvertRtfText(L"\x0100", 1252), std::nullopt);
    EXPECT_EQ(ConvertRtfText(L"\x65E5", 1252), std::nullopt);
    EXPECT_EQ(ConvertRtfText(L"\x65E5", 932), std::optional<std::string>("\x93\xFA"));
}

TEST(MemoryEditStream, HandsOutChunksNoLargerThanAsked) {
    const char bytes[] = "{\\rtf1 ab}";
    CMemoryEditStream stream(bytes, 10);
    EDITSTREAM* edit = stream.Get();
    BYTE buffer[16] = {};
    LONG given = -1;
    std::string read;
    for (LONG wanted : {4, 0, -5, 4, 16, 16}) {
        ASSERT_EQ(edit->pfnCallback(edit->dwCookie, buffer, wanted, &given), 0u);
        ASSERT_LE(given, wanted > 0 ? wanted : 0);
        read.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(given));
    }
    EXPECT_EQ(read, std::string(bytes, 10));
    EXPECT_EQ(given, 0);
    EXPECT_EQ(stream.GetBytesRead(), 10u);
    EXPECT_EQ(stream.GetError(), 0u);
}

TEST(TextHost, AnswersTheEngine) {
    CTextHost* host = new CTextHost();
    void* object = nullptr;
    EXPECT_EQ(host->QueryInterface(kIidTextHost, &object), S_OK);
    EXPECT_EQ(object, static_cast<ITextHost*>(host));
    EXPECT_EQ(host->QueryInterface(IID_IUnknown, &object), S_OK);
    EXPECT_EQ(host->QueryInterface(IID_IDispatch, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(host->Release(), 2u);
    EXPECT_EQ(host->Release(), 1u);

    CHARFORMATW format = MakeRtfLabelCharFormat(nullptr, 96);
    EXPECT_EQ(host->Init(nullptr, &format), E_INVALIDARG);
    EXPECT_EQ(host->Init(GetDesktopWindow(), nullptr), E_INVALIDARG);
    CHARFORMATW empty = {};
    EXPECT_EQ(host->Init(GetDesktopWindow(), &empty), E_INVALIDARG);
    ASSERT_EQ(host->Init(GetDesktopWindow(), &format), S_OK);

    DWORD bits = 0;
    EXPECT_EQ(host->TxGetPropertyBits(0xFFFFFFFF, &bits), S_OK);
    EXPECT_EQ(bits, 0x142Fu);
    host->TxGetPropertyBits(TXTBIT_READONLY | TXTBIT_USEPASSWORD, &bits);
    EXPECT_EQ(bits, static_cast<DWORD>(TXTBIT_READONLY));

    // A format change is copied and flagged until the engine reads it back.
    CHARFORMAT2W changed = {};
    changed.cbSize = sizeof(changed);
    changed.yHeight = 333;
    EXPECT_EQ(host->OnTxCharFormatChange(reinterpret_cast<CHARFORMATW*>(&changed)), S_OK);
    host->TxGetPropertyBits(0xFFFFFFFF, &bits);
    EXPECT_EQ(bits, 0x142Fu | TXTBIT_CHARFORMATCHANGE);
    const CHARFORMATW* stored = nullptr;
    EXPECT_EQ(host->TxGetCharFormat(&stored), S_OK);
    EXPECT_EQ(stored->yHeight, 333);
    host->TxGetPropertyBits(0xFFFFFFFF, &bits);
    EXPECT_EQ(bits, 0x142Fu);

    // A record claiming more bytes than a format has is copied only as far as a format goes.
    std::vector<unsigned char> oversized(4096, 0xAB);
    UINT claimed = 4000;
    std::memcpy(oversized.data(), &claimed, sizeof(claimed));
    EXPECT_EQ(host->OnTxParaFormatChange(reinterpret_cast<PARAFORMAT*>(oversized.data())), S_OK);
    const PARAFORMAT* paragraph = nullptr;
    EXPECT_EQ(host->TxGetParaFormat(&paragraph), S_OK);
    ASSERT_NE(paragraph, nullptr);
    EXPECT_EQ(paragraph->cbSize, sizeof(PARAFORMAT2));
    host->TxGetPropertyBits(TXTBIT_PARAFORMATCHANGE, &bits);
    EXPECT_EQ(bits, 0u);
    EXPECT_EQ(host->OnTxCharFormatChange(nullptr), E_INVALIDARG);

    TXTBACKSTYLE style = TXTBACK_OPAQUE;
    EXPECT_EQ(host->TxGetBackStyle(&style), S_OK);
    EXPECT_EQ(style, TXTBACK_TRANSPARENT);
    DWORD maxLength = 0;
    host->TxGetMaxLength(&maxLength);
    EXPECT_EQ(maxLength, 0x7FFFFFFFu);
    LONG position = 0;
    host->TxGetAcceleratorPos(&position);
    EXPECT_EQ(position, -1);
    SIZEL extent = {};
    EXPECT_EQ(host->TxGetExtent(&extent), E_NOTIMPL);
    host->DetachWindow();
    EXPECT_EQ(host->TxReleaseDC(nullptr), static_cast<INT>(E_POINTER));
    EXPECT_EQ(host->Release(), 0u);
}

}  // namespace
