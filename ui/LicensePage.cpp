#include "ui/LicensePage.h"

#include "resources/resource.h"
#include "ui/MainWindow.h"

IMPLEMENT_DYNCREATE(CLicensePage, CWizardPage)

CLicensePage::CLicensePage() : CWizardPage(IDD_LICENSE) {}

bool CLicensePage::OnCommand(UINT id, UINT notifyCode, HWND control) {
    if (id == IDC_NEXT || id == IDC_AGREE) {
        if (CMainWindow* window = MainWindow()) window->ShowNextPage();
        return true;
    }
    return CWizardPage::OnCommand(id, notifyCode, control);
}
