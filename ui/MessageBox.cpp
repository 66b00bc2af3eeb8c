#include "ui/MessageBox.h"

#include <algorithm>

#include "framework/Exceptions.h"
#include "framework/ResourceStrings.h"
#include "framework/Win32Error.h"
#include "resources/resource.h"

IMPLEMENT_DYNAMIC(CMessageBox, CDialog)

namespace {
const COLORREF kMainTextColour = RGB(0, 51, 153);
const COLORREF kStripColour = RGB(240, 240, 240);
const COLORREF kBorderColour = RGB(223, 223, 223);
const int kMainFontPoints = 12;
const UINT kHelpCommand = 9;
const UINT kFirstMainControlId = 0xFFF0;  // ids of the icon and text statics, apart from button ids
// The main text has the id the platform's box gives its message, so tools find it the same way.
enum : UINT { kIconId = kFirstMainControlId, kDetailTextId, kMainTextId = 0xFFFF };

HICON SystemIcon(UINT style) {
    switch ((style & MB_ICONMASK) >> 4) {
        case 1: return LoadIconW(nullptr, IDI_HAND);
        case 2: return LoadIconW(nullptr, IDI_QUESTION);
        case 3: return LoadIconW(nullptr, IDI_EXCLAMATION);
        case 4: return LoadIconW(nullptr, IDI_ASTERISK);
        default: return nullptr;
    }
}

std::wstring ButtonCaption(UINT id) {
    std::wstring caption;
    if (!LoadResourceString(id, caption)) caption = GetBuiltInButtonCaption(id);
    return caption;
}

SIZE MeasureWrapped(HDC dc, HFONT font, const std::wstring& text, int widthLimit) {
    if (text.empty()) return {0, 0};
    ScopedSelection selection(dc, font);
    RECT area = {0, 0, widthLimit, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    return {area.right, area.bottom};
}
}  // namespace

CMessageBox::CMessageBox(HWND owner, std::wstring title, std::wstring mainText, std::wstring detailText, UINT style,
                         UINT helpId)
    : CDialog(IDD_EMPTY_BOX),
      m_hOwner(owner),
      m_strTitle(std::move(title)),
      m_strMainText(std::move(mainText)),
      m_strDetailText(std::move(detailText)),
      m_nStyle(style),
      m_nHelpId(helpId),
      m_buttons(GetMessageBoxButtonSet(style)) {
    m_nCloseResult = m_buttons.closeResult;
}

CMessageBox::~CMessageBox() {
    DestroyWindow();
    if (m_hAccel) DestroyAcceleratorTable(m_hAccel);
}

INT_PTR CMessageBox::Show() { return DoModal(m_hOwner); }

BOOL CMessageBox::OnInitDialog() {
    CDialog::OnInitDialog();
    m_whiteBrush.Reset(CreateSolidBrush(RGB(255, 255, 255)));
    m_stripBrush.Reset(CreateSolidBrush(kStripColour));
    m_borderPen.Reset(CreatePen(PS_SOLID, 1, kBorderColour));
    {
        ScopedWindowDC dc(m_hWnd);
        LOGFONTW font = {};
        font.lfHeight = -MulDiv(kMainFontPoints, GetDeviceCaps(dc.Get(), LOGPIXELSY), 72);
        font.lfWeight = FW_NORMAL;
        font.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
        m_mainFont.Reset(CreateFontIndirectW(&font));
    }
    if (!m_mainFont) ThrowOleException(FailureFromLastError());

    HICON icon = SystemIcon(m_nStyle);
    MessageBoxLayout layout = ComputeMessageBoxLayout(MeasureContent(icon));
    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    if (icon) {
        HWND iconStatic = CreateChild(L"Static", L"", SS_ICON, layout.icon, kIconId, nullptr);
        SendMessageW(iconStatic, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
    if (!m_strMainText.empty()) {
        m_pMainTextStatic = CreateChild(L"Static", m_strMainText, SS_LEFT | SS_NOPREFIX, layout.mainText, kMainTextId,
                                        m_mainFont.Get());
    }
    if (!m_strDetailText.empty()) {
        CreateChild(L"Static", m_strDetailText, SS_LEFT | SS_NOPREFIX, layout.detailText, kDetailTextId, dialogFont);
    }
    HWND defaultButton = nullptr;
    for (size_t index = 0; index < m_buttons.ids.size(); ++index) {
        UINT id = m_buttons.ids[index];
        bool isDefault = static_cast<int>(index) == layout.defaultButton;
        HWND button = CreateChild(L"Button", ButtonCaption(id),
                                  (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP | (index == 0 ? WS_GROUP : 0),
                                  layout.buttons[index], id, dialogFont);
        if (isDefault) defaultButton = button;
    }
    BuildAccelerators();
    m_contentRect = layout.content;
    m_stripRect = layout.strip;
    PlaceWindow(layout);
    if (defaultButton) {
        SendMessageW(m_hWnd, DM_SETDEFID, static_cast<WPARAM>(GetDlgCtrlID(defaultButton)), 0);
        SetFocus(defaultButton);
    }
    return FALSE;  // the focus is set
}

MessageBoxMetrics CMessageBox::MeasureContent(HICON icon) {
    MessageBoxMetrics metrics;
    RECT units = {7, 5, 50, 14};
    MapDialogRect(m_hWnd, &units);
    metrics.margin = units.left;
    metrics.gap = units.top;
    metrics.buttonWidth = units.right;
    metrics.buttonHeight = units.bottom;
    // The dialog font's average character width and height are its base units (4 x 8 dialog units).
    RECT base = {0, 0, 4, 8};
    MapDialogRect(m_hWnd, &base);
    metrics.textWidthLimit = 45 * base.right;
    metrics.minContentHeight = 3 * base.bottom + metrics.gap + metrics.margin;
    if (icon) metrics.icon = {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
    ScopedWindowDC dc(m_hWnd);
    HFONT dialogFont = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    metrics.mainText = MeasureWrapped(dc.Get(), m_mainFont.Get(), m_strMainText, metrics.textWidthLimit);
    metrics.detailText = MeasureWrapped(dc.Get(), dialogFont, m_strDetailText, metrics.textWidthLimit);
    metrics.buttonCount = static_cast<int>(m_buttons.ids.size());
    metrics.defaultBits = (m_nStyle & MB_DEFMASK) >> 8;
    return metrics;
}

HWND CMessageBox::CreateChild(const wchar_t* className, const std::wstring& text, DWORD style, const RECT& area,
                              UINT id, HFONT font) {
    HWND child = CreateWindowExW(0, className, text.c_str(), style | WS_CHILD | WS_VISIBLE, area.left, area.top,
                                 area.right - area.left, area.bottom - area.top, m_hWnd,
                                 reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (!child) ThrowOleException(FailureFromLastError());
    if (font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    m_controls.push_back(child);
    return child;
}

void CMessageBox::BuildAccelerators() {
    std::vector<ACCEL> entries;
    entries.push_back({FVIRTKEY, VK_F1, static_cast<WORD>(kHelpCommand)});
    if (m_buttons.hasCancelExit) entries.push_back({FVIRTKEY, VK_ESCAPE, static_cast<WORD>(m_nCloseResult)});
    for (UINT id : m_buttons.ids) {
        WCHAR c = GetAcceleratorCharacter(ButtonCaption(id));
        if (!c) continue;
        SHORT scan = VkKeyScanW(c);
        if (scan == -1) continue;
        WORD key = LOBYTE(scan);
        entries.push_back({FVIRTKEY, key, static_cast<WORD>(id)});
        entries.push_back({FVIRTKEY | FALT, key, static_cast<WORD>(id)});
    }
    m_hAccel = CreateAcceleratorTableW(entries.data(), static_cast<int>(entries.size()));
}

void CMessageBox::PlaceWindow(const MessageBoxLayout& layout) {
    if (!m_buttons.hasCancelExit) {
        SetWindowLongW(m_hWnd, GWL_STYLE, GetWindowLongW(m_hWnd, GWL_STYLE) & ~WS_SYSMENU);
    } else if (HMENU menu = GetSystemMenu(m_hWnd, FALSE)) {
        EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_ENABLED);
    }
    SetWindowTextW(m_hWnd, m_strTitle.c_str());
    RECT frame = {0, 0, layout.client.cx, layout.client.cy};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(m_hWnd, GWL_EXSTYLE)));
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    RECT around;
    if (!m_hOwner || !IsWindowVisible(m_hOwner) || !GetWindowRect(m_hOwner, &around)) {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
    }
    int x = around.left + (around.right - around.left - width) / 2;
    int y = around.top + (around.bottom - around.top - height) / 2;
    SetWindowPos(m_hWnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

bool CMessageBox::OnCommand(UINT id, UINT, HWND) {
    if (id == kHelpCommand) {
        if (m_hOwner) {
            HELPINFO help = {sizeof(help), HELPINFO_WINDOW, static_cast<int>(kHelpCommand), GetDlgItem(kHelpCommand),
                             m_nHelpId, {}};
            GetCursorPos(&help.MousePos);
            SendMessageW(m_hOwner, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
        }
        return true;
    }
    // Escape and the dialog manager's IDCANCEL count only where the set has a Cancel-like exit.
    if (id == IDCANCEL && std::find(m_buttons.ids.begin(), m_buttons.ids.end(), id) == m_buttons.ids.end()) {
        if (m_buttons.hasCancelExit) EndDialog(m_nCloseResult);
        return true;
    }
    if (std::find(m_buttons.ids.begin(), m_buttons.ids.end(), id) != m_buttons.ids.end()) {
        EndDialog(id);
        return true;
    }
    return true;
}

bool CMessageBox::PreTranslateMessage(MSG& message) {
    if (!m_hAccel || !m_hWnd) return false;
    if (message.hwnd != m_hWnd && !IsChild(m_hWnd, message.hwnd)) return false;
    return TranslateAcceleratorW(m_hWnd, m_hAccel, &message) != 0;
}

void CMessageBox::PaintBackground(HDC dc) {
    ScopedSelection pen(dc, m_borderPen.Get());
    {
        ScopedSelection brush(dc, m_whiteBrush.Get());
        Rectangle(dc, m_contentRect.left, m_contentRect.top, m_contentRect.right, m_contentRect.bottom);
    }
    ScopedSelection brush(dc, m_stripBrush.Get());
    Rectangle(dc, m_stripRect.left, m_stripRect.top, m_stripRect.right, m_stripRect.bottom);
}

bool CMessageBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_ERASEBKGND:
            PaintBackground(reinterpret_cast<HDC>(wParam));
            result = TRUE;
            return true;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, reinterpret_cast<HWND>(lParam) == m_pMainTextStatic ? kMainTextColour : RGB(0, 0, 0));
            SetBkMode(dc, TRANSPARENT);
            result = reinterpret_cast<LRESULT>(m_whiteBrush.Get());
            return true;
        }
        case WM_SHOWWINDOW:
            if (wParam) {
                MessageBeep(m_nStyle & MB_ICONMASK);
                DWORD answer = static_cast<DWORD>(SendMessageW(m_hWnd, DM_GETDEFID, 0, 0));
                if (HIWORD(answer) == DC_HASDEFID) SendMessageW(m_hWnd, DM_SETDEFID, LOWORD(answer), 0);
            }
            return false;
        case WM_CLOSE:
            EndDialog(m_nCloseResult);
            result = 0;
            return true;
        default:
            return CDialog::OnMessage(message, wParam, lParam, result);
    }
}
