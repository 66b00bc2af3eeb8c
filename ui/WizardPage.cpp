#include "ui/WizardPage.h"

#include "ui/WizardApplication.h"
#include "engine/Installation.h"
#include "resources/resource.h"
#include "ui/MainWindow.h"

IMPLEMENT_DYNAMIC(CWizardPage, CSubDialog)

bool CWizardPage::OnCommand(UINT id, UINT notifyCode, HWND control) {
    if (id == IDC_BACK) {
        if (CMainWindow* window = MainWindow()) window->ShowPreviousPage();
        return true;
    }
    return CSubDialog::OnCommand(id, notifyCode, control);
}

CMainWindow* CWizardPage::MainWindow() const { return CMainWindow::FromHost(m_pHost); }

CInstallation* CWizardPage::Controller() { return WizardApplication().Controller(); }

void CWizardPage::PostToController(UINT message) {
    if (CInstallation* installation = Controller()) installation->PostThreadMessage(message, 0, 0);
}
