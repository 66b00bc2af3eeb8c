// CSubDialog: the children's texts, rich labels, rich texts, images and fonts
// from the resources, applied once in the init handler (the rich texts once
// the page has painted).
#include <richedit.h>

#include <cstdlib>
#include <string>

#include "framework/DiagnosticOutput.h"
#include "framework/ResourceStrings.h"
#include "framework/WinApp.h"
#include "framework/WindowText.h"
#include "resources/resource.h"
#include "ui/ImageCache.h"
#include "ui/ReadingPaneKeys.h"
#include "ui/ResourceStyles.h"
#include "ui/RichEditStream.h"
#include "ui/ScreenDpi.h"
#include "ui/SubDialog.h"
#include "ui/labels/RtfLabel.h"
#include "ui/labels/SuperLabel.h"

namespace {
const WCHAR kSuperLabelMark = 0x1B;
const WCHAR kRtfLabelMark[] = L"{\\rtf1";
const LPARAM kRichEditTextLimit = 0x1FFFC;
// Its own id, apart from the pages' timers.
const UINT_PTR kDeferredRichTextTimer = 0x5254;

std::wstring ClassNameOf(HWND window) {
    WCHAR name[64] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

bool IsRichEditClass(const std::wstring& name) { return name == L"RichEdit20W" || name == L"RichEdit20A"; }

bool IsStaticClass(const std::wstring& name) { return CompareStringOrdinal(name.c_str(), -1, L"Static", -1, TRUE) == CSTR_EQUAL; }

std::wstring ApplicationName() {
    if (CWinApp* app = GetApplication()) {
        if (!app->m_strFrameworkAppName.empty()) return app->m_strFrameworkAppName;
    }
    std::wstring name;
    LoadResourceString(IDS_APP_NAME, name);
    return name;
}

std::unique_ptr<CRichLabel> MakeRichLabel(const std::wstring& text) {
    if (!text.empty() && text[0] == kSuperLabelMark) return std::make_unique<CSuperLabel>();
    if (text.compare(0, ARRAYSIZE(kRtfLabelMark) - 1, kRtfLabelMark) == 0) return std::make_unique<CRtfLabel>();
    return nullptr;
}
}  // namespace

std::wstring CSubDialog::ControlText(UINT stringId, const std::wstring& defaultButtonCaption) const {
    std::wstring pattern;
    if (!LoadResourceString(stringId, pattern)) return {};
    std::wstring appName = ApplicationName();
    return FormatMessageText(pattern, {appName.c_str(), defaultButtonCaption.c_str()});
}

// The default button's caption as it will read once styled: its own string,
// formatted, without its accelerator mark. (Its window text may still be the template's
// when an earlier control asks.)
std::wstring CSubDialog::DefaultButtonCaption() const {
    DWORD answer = static_cast<DWORD>(SendMessageW(m_hWnd, DM_GETDEFID, 0, 0));
    if (HIWORD(answer) == 0) return {};
    return CaptionWithoutMnemonic(ControlText(LOWORD(answer), {}));
}

void CSubDialog::StyleChildren() {
    std::wstring defaultButtonCaption = DefaultButtonCaption();
    // Children in creation order; only the page's own, not their descendants.
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        StyleChild(child, defaultButtonCaption);
    }
    if (m_deferredRichTexts.empty()) return;
    if (!SetTimer(m_hWnd, kDeferredRichTextTimer, USER_TIMER_MINIMUM, OnDeferredRichTextTimer)) StreamDeferredRichTexts();
}

void CSubDialog::StreamDeferredRichTexts() {
    std::vector<DeferredRichText> texts = std::move(m_deferredRichTexts);
    m_deferredRichTexts.clear();
    for (const DeferredRichText& text : texts) {
        if (IsWindow(text.control)) StreamIntoRichEdit(text.control, text.rtf, text.size, SF_RTF);
    }
}

void CALLBACK CSubDialog::OnDeferredRichTextTimer(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    auto* page = dynamic_cast<CSubDialog*>(CDialog::FromHandle(window));
    if (!page) return;
    // The run log's time of this line is when the page stood painted (launch and page-change times).
    WriteDiagnosticFormat(L"Page %u painted; its rich text follows\n", page->GetTemplateId());
    page->StreamDeferredRichTexts();
}

void CSubDialog::StyleChild(HWND child, const std::wstring& defaultButtonCaption) {
    UINT id = static_cast<UINT>(GetDlgCtrlID(child));
    std::wstring className = ClassNameOf(child);
    if (IsRichEditClass(className)) {
        const void* rtf = nullptr;
        size_t size = 0;
        if (FindRichText(id, rtf, size)) {
            LRESULT mask = SendMessageW(child, EM_GETEVENTMASK, 0, 0);
            SendMessageW(child, EM_SETEVENTMASK, 0, mask | ENM_LINK);
            SendMessageW(child, EM_AUTOURLDETECT, TRUE, 0);
            SendMessageW(child, EM_EXLIMITTEXT, 0, kRichEditTextLimit);
            m_deferredRichTexts.push_back({child, rtf, size});
        }
        auto keys = std::make_unique<CReadingPaneKeys>();
        if (keys->Subclass(child)) m_readingPanes.push_back(std::move(keys));
    } else if (!IsStaticClass(className)) {
        SetWindowTextW(child, ControlText(id, defaultButtonCaption).c_str());
    } else if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) {
        StyleImageStatic(child, id);
    } else {
        UINT stringId = id == IDC_TITLE ? GetTemplateId() : id;
        StyleTextStatic(child, id, ControlText(stringId, defaultButtonCaption));
    }
    ApplyStyleFont(child, id);
}

void CSubDialog::StyleImageStatic(HWND child, UINT id) {
    HBITMAP image = GetImage(id);
    if (!image) {
        const DialogTemplateItem* item = m_template.FindItem(id);
        if (item && item->text.isOrdinal) image = GetImage(item->text.ordinal);
    }
    // The banner is stretched into the composed background by its own rule;
    // other images show at their size for the screen's DPI, within their place.
    if (image && id != IDC_BANNER) image = ImageForScreen(image, id);
    if (image) SendMessageW(child, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(image));
}

HBITMAP CSubDialog::ImageForScreen(HBITMAP image, UINT id) const {
    BITMAP info = {};
    if (!GetObjectW(image, sizeof(info), &info)) return image;
    RECT room = {};
    if (const DialogTemplateItem* item = m_template.FindItem(id)) {
        room = {0, 0, item->cx, item->cy};
        MapDialogRect(m_hWnd, &room);
    }
    SIZE size = ScaledImageSize({info.bmWidth, std::abs(info.bmHeight)}, WindowDpi(m_hWnd), {room.right, room.bottom});
    return ScaledBitmap(image, size);
}

void CSubDialog::StyleTextStatic(HWND child, UINT, const std::wstring& text) {
    if (std::unique_ptr<CRichLabel> label = MakeRichLabel(text)) {
        if (label->Attach(child)) m_labels.push_back(std::move(label));
    }
    SetWindowTextW(child, text.c_str());
}

void CSubDialog::ApplyStyleFont(HWND child, UINT id) {
    ScopedWindowDC dc(m_hWnd);
    ScopedFont font(CreateStyleFont(id, dc.Get()));
    if (!font) return;
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), TRUE);
    m_fonts.push_back(std::move(font));
}
