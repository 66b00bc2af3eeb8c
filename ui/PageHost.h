#pragma once
// What a page needs of the window that shows it (the main window). User-interface thread.
class IPageHost {
public:
    // Asks whether the setup is to be cancelled; the message-box result (IDYES = 6).
    virtual int ConfirmCancel() = 0;
    // Moves the wizard to its finished page.
    virtual void ShowFinishedPage() = 0;
    // The user's confirmed Cancel ends the run before its installation (the
    // finished page then shows the interrupted texts).
    virtual void CancelRun() = 0;

protected:
    ~IPageHost() = default;
};
