#include "ui/WizardApplication.h"

#include "framework/Exceptions.h"

namespace {
IWizardApplication* g_application = nullptr;
}  // namespace

IWizardApplication* GetWizardApplication() { return g_application; }

void SetWizardApplication(IWizardApplication* application) { g_application = application; }

IWizardApplication& WizardApplication() {
    // A window without an application is a broken build of the program.
    if (!g_application) ThrowResourceException();
    return *g_application;
}
