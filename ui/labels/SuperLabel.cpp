#include "ui/labels/SuperLabel.h"

CSuperLabel::~CSuperLabel() = default;

bool CSuperLabel::Attach(HWND) { return false; }
const SuperLabelRun* CSuperLabel::GetHotRun() const { return nullptr; }
void CSuperLabel::OpenLink(const std::wstring&) {}
LRESULT CSuperLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultWindowProc(message, wParam, lParam);
}
void CSuperLabel::OnWindowDestroyed() {}
