#include "ui/labels/RtfLabel.h"

#include "ui/labels/TextHost.h"

CRtfLabel::CRtfLabel() = default;
CRtfLabel::~CRtfLabel() = default;
bool CRtfLabel::Attach(HWND) { return false; }
LRESULT CRtfLabel::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultWindowProc(message, wParam, lParam);
}
void CRtfLabel::OnWindowDestroyed() {}
