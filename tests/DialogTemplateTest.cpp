// Dialog template parsing: both layouts, ordinals, and every truncation or
// lying item count failing without reading past the bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/ResourceBytes.h"
#include "ui/DialogTemplate.h"

namespace {
// Writes templates the way the resource compiler lays them out.
class TemplateWriter {
public:
    explicit TemplateWriter(bool extended) : m_extended(extended) {}

    void Word(WORD value) { Append(&value, sizeof(value)); }
    void Dword(DWORD value) { Append(&value, sizeof(value)); }
    void Text(const std::wstring& text) {
        for (wchar_t c : text) Word(static_cast<WORD>(c));
        Word(0);
    }
    void Ordinal(WORD value) {
        Word(0xFFFF);
        Word(value);
    }
    void Align() {
        while (m_bytes.size() % 4) m_bytes.push_back(0);
    }

    void Header(DWORD style, WORD items, const std::wstring& title, const std::wstring& face) {
        if (m_extended) {
            Word(1);
            Word(0xFFFF);
            Dword(77);  // help id
            Dword(0);   // extended style
            Dword(style);
        } else {
            Dword(style);
            Dword(0);
        }
        Word(items);
        for (short v : {0, 0, 328, 220}) Word(static_cast<WORD>(v));
        Word(0);  // no menu
        Word(0);  // default class
        Text(title);
        if (style & DS_SETFONT) {
            Word(8);
            if (m_extended) {
                Word(400);
                m_bytes.push_back(0);
                m_bytes.push_back(1);
            }
            Text(face);
        }
    }

    // An item with a predefined class ordinal (0x82 static, 0x80 button) and a text or an ordinal text.
    void Item(DWORD id, WORD classOrdinal, const std::wstring* text, WORD textOrdinal, WORD extra = 0) {
        Align();
        if (m_extended) {
            Dword(0);
            Dword(0);
            Dword(WS_CHILD | SS_BITMAP);
        } else {
            Dword(WS_CHILD | SS_BITMAP);
            Dword(0);
        }
        for (short v : {1, 2, 30, 40}) Word(static_cast<WORD>(v));
        if (m_extended) {
            Dword(id);
        } else {
            Word(static_cast<WORD>(id));
        }
        Ordinal(classOrdinal);
        if (text) {
            Text(*text);
        } else {
            Ordinal(textOrdinal);
        }
        Word(extra);
        for (WORD i = 0; i < extra; ++i) m_bytes.push_back(0xAB);
    }

    const std::vector<BYTE>& Bytes() const { return m_bytes; }

private:
    void Append(const void* data, size_t size) {
        const BYTE* p = static_cast<const BYTE*>(data);
        m_bytes.insert(m_bytes.end(), p, p + size);
    }
    bool m_extended;
    std::vector<BYTE> m_bytes;
};

std::vector<BYTE> SampleTemplate(bool extended, WORD declaredItems = 3) {
    TemplateWriter writer(extended);
    writer.Header(DS_SETFONT | WS_CHILD, declaredItems, L"Page", L"MS Shell Dlg");
    std::wstring title = L"Title";
    writer.Item(1003, 0x82, &title, 0);
    writer.Item(1039, 0x82, nullptr, 500, 6);
    std::wstring agree = L"I &Agree";
    writer.Item(70000, 0x80, &agree, 0);
    return writer.Bytes();
}

struct LayoutCase {
    const char* name;
    bool extended;
};

class TemplateLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(TemplateLayouts, ParsesHeaderItemsAndOrdinals) {
    std::vector<BYTE> bytes = SampleTemplate(GetParam().extended);
    DialogTemplateInfo info;
    ASSERT_EQ(ParseDialogTemplate(bytes.data(), bytes.size(), info), S_OK);
    EXPECT_EQ(info.extended, GetParam().extended);
    EXPECT_EQ(info.helpId, GetParam().extended ? 77u : 0u);
    EXPECT_EQ(info.cx, 328);
    EXPECT_EQ(info.cy, 220);
    EXPECT_EQ(info.title, L"Page");
    EXPECT_EQ(info.pointSize, 8);
    EXPECT_EQ(info.faceName, L"MS Shell Dlg");
    ASSERT_EQ(info.items.size(), 3u);
    const DialogTemplateItem* banner = info.FindItem(1039);
    ASSERT_NE(banner, nullptr);
    EXPECT_TRUE(banner->text.isOrdinal);
    EXPECT_EQ(banner->text.ordinal, 500);
    EXPECT_TRUE(banner->windowClass.isOrdinal);
    EXPECT_EQ(banner->windowClass.ordinal, 0x82);
    EXPECT_EQ(info.FindItem(1003)->text.name, L"Title");
    // The classic layout keeps 16 bits of an id.
    DWORD wideId = GetParam().extended ? 70000u : (70000u & 0xFFFF);
    ASSERT_NE(info.FindItem(wideId), nullptr);
    EXPECT_EQ(info.FindItem(wideId)->text.name, L"I &Agree");
    EXPECT_EQ(info.FindItem(4242), nullptr);
}

TEST_P(TemplateLayouts, EveryTruncationFails) {
    std::vector<BYTE> bytes = SampleTemplate(GetParam().extended);
    // Each prefix sits at the end of a buffer of its own size, so a read past it would be caught by the checks.
    for (size_t length = 0; length < bytes.size(); ++length) {
        std::vector<BYTE> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        DialogTemplateInfo info;
        EXPECT_EQ(ParseDialogTemplate(prefix.data(), prefix.size(), info), HRESULT_FROM_WIN32(ERROR_INVALID_DATA))
            << "length " << length;
        EXPECT_TRUE(info.items.empty());
    }
}

TEST_P(TemplateLayouts, ItemCountBeyondTheBytesFails) {
    std::vector<BYTE> bytes = SampleTemplate(GetParam().extended, 0xFFFF);
    DialogTemplateInfo info;
    EXPECT_EQ(ParseDialogTemplate(bytes.data(), bytes.size(), info), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
}

TEST_P(TemplateLayouts, ExtraBytesBeyondTheEndFail) {
    TemplateWriter writer(GetParam().extended);
    writer.Header(WS_CHILD, 1, L"", L"");
    std::wstring text = L"x";
    writer.Item(5, 0x82, &text, 0);
    std::vector<BYTE> bytes = writer.Bytes();
    bytes[bytes.size() - 2] = 0x40;  // the item claims 64 bytes of extra data that are not there
    DialogTemplateInfo info;
    EXPECT_EQ(ParseDialogTemplate(bytes.data(), bytes.size(), info), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
}

INSTANTIATE_TEST_SUITE_P(Layouts, TemplateLayouts,
                         ::testing::Values(LayoutCase{"extended", true}, LayoutCase{"classic", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DialogTemplate, NullBytesFail) {
    DialogTemplateInfo info;
    EXPECT_EQ(ParseDialogTemplate(nullptr, 100, info), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
}

TEST(DialogTemplate, ShippedPageTemplatesParse) {
    for (UINT id : {100u, 101u, 102u, 103u, 104u, 105u, 106u, 108u, 528u, 30734u}) {
        LPCWSTR name = MAKEINTRESOURCEW(id);
        const void* bytes = LockResourceBytes(name, RT_DIALOG);
        ASSERT_NE(bytes, nullptr) << id;
        DialogTemplateInfo info;
        ASSERT_EQ(ParseDialogTemplate(bytes, GetResourceByteCount(name, RT_DIALOG), info), S_OK) << id;
        EXPECT_TRUE(info.extended) << id;
        EXPECT_EQ(info.faceName, L"MS Shell Dlg") << id;
        if (id != 106 && id != 30734) {
            EXPECT_EQ(info.cx, 328) << id;
            EXPECT_EQ(info.cy, 220) << id;
        }
    }
}
}  // namespace
