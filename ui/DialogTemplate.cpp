#include "ui/DialogTemplate.h"

#include <cstring>

namespace {
// Sequential little-endian reads that refuse to pass the end; a failed read
// sticks, so a parse checks once at the end of each step.
class TemplateReader {
public:
    TemplateReader(const BYTE* data, size_t size) : m_data(data), m_size(size) {}

    bool Ok() const { return m_ok; }

    template <typename T>
    T Read() {
        T value{};
        if (!m_ok || m_size - m_offset < sizeof(T)) {
            m_ok = false;
            return value;
        }
        std::memcpy(&value, m_data + m_offset, sizeof(T));
        m_offset += sizeof(T);
        return value;
    }

    std::wstring ReadString() {
        std::wstring text;
        while (m_ok) {
            WCHAR c = Read<WCHAR>();
            if (!m_ok || c == 0) break;
            text.push_back(c);
        }
        return text;
    }

    DialogNameOrOrdinal ReadNameOrOrdinal() {
        DialogNameOrOrdinal field;
        WORD first = Read<WORD>();
        if (!m_ok || first == 0) return field;
        if (first == 0xFFFF) {
            field.isOrdinal = true;
            field.ordinal = Read<WORD>();
            return field;
        }
        field.name.push_back(static_cast<WCHAR>(first));
        field.name += ReadString();
        return field;
    }

    void Skip(size_t count) {
        if (!m_ok || m_size - m_offset < count) {
            m_ok = false;
            return;
        }
        m_offset += count;
    }

    // Items start on 4-byte boundaries of the template.
    void AlignToDword() { Skip((4 - (m_offset & 3)) & 3); }

private:
    const BYTE* m_data;
    size_t m_size;
    size_t m_offset = 0;
    bool m_ok = true;
};

bool ReadHeader(TemplateReader& reader, DialogTemplateInfo& info) {
    if (info.extended) {
        reader.Skip(4);  // version and signature
        info.helpId = reader.Read<DWORD>();
        info.exStyle = reader.Read<DWORD>();
        info.style = reader.Read<DWORD>();
    } else {
        info.style = reader.Read<DWORD>();
        info.exStyle = reader.Read<DWORD>();
    }
    info.itemCount = reader.Read<WORD>();
    info.x = reader.Read<short>();
    info.y = reader.Read<short>();
    info.cx = reader.Read<short>();
    info.cy = reader.Read<short>();
    info.menu = reader.ReadNameOrOrdinal();
    info.windowClass = reader.ReadNameOrOrdinal();
    info.title = reader.ReadString();
    if (info.style & DS_SETFONT) {
        info.pointSize = reader.Read<WORD>();
        if (info.extended) {
            info.weight = reader.Read<WORD>();
            info.italic = reader.Read<BYTE>();
            info.charSet = reader.Read<BYTE>();
        }
        info.faceName = reader.ReadString();
    }
    return reader.Ok();
}

bool ReadItem(TemplateReader& reader, bool extended, DialogTemplateItem& item) {
    reader.AlignToDword();
    if (extended) {
        item.helpId = reader.Read<DWORD>();
        item.exStyle = reader.Read<DWORD>();
        item.style = reader.Read<DWORD>();
    } else {
        item.style = reader.Read<DWORD>();
        item.exStyle = reader.Read<DWORD>();
    }
    item.x = reader.Read<short>();
    item.y = reader.Read<short>();
    item.cx = reader.Read<short>();
    item.cy = reader.Read<short>();
    item.id = extended ? reader.Read<DWORD>() : reader.Read<WORD>();
    item.windowClass = reader.ReadNameOrOrdinal();
    item.text = reader.ReadNameOrOrdinal();
    WORD extraBytes = reader.Read<WORD>();
    reader.Skip(extraBytes);
    return reader.Ok();
}
}  // namespace

const DialogTemplateItem* DialogTemplateInfo::FindItem(DWORD id) const {
    for (const DialogTemplateItem& item : items) {
        if (item.id == id) return &item;
    }
    return nullptr;
}

HRESULT ParseDialogTemplate(const void* data, size_t size, DialogTemplateInfo& info) {
    info = DialogTemplateInfo();
    const HRESULT invalid = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    if (!data) return invalid;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    DialogTemplateInfo parsed;
    parsed.extended = size >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF;
    TemplateReader reader(bytes, size);
    if (!ReadHeader(reader, parsed)) return invalid;
    // Items are added as they are read, so a count that lies costs no more than the bytes present.
    for (WORD index = 0; index < parsed.itemCount; ++index) {
        DialogTemplateItem item;
        if (!ReadItem(reader, parsed.extended, item)) return invalid;
        parsed.items.push_back(std::move(item));
    }
    info = std::move(parsed);
    return S_OK;
}
