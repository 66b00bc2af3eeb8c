#pragma once
// What the controller and the executors need of the progress page: its
// window (all deliveries are posted messages) and its cancelled flag. The
// page owns the texts, paths and error objects that arrive in lParam.
#include "payload/ExecutorPage.h"

class IProgressPage : public IExecutorPage {
public:
    virtual void SetCancelled(bool cancelled) = 0;

protected:
    ~IProgressPage() = default;
};
