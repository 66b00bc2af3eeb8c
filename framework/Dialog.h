#pragma once
// CDialog: a dialog window built from a dialog template in the resources,
// run modally (DoModal, with its own message loop) or created modeless (a
// child page or a tool window). Every message reaches OnMessage through one
// guard: whatever escapes a handler goes to the application object's
// ProcessWndProcException (framework/HandlerExceptions.h). Subclasses that
// configuration names are created at run time by class name
// (DECLARE_DYNCREATE). Main thread only; the object must outlive its window.
#include <windows.h>

#include "framework/RuntimeClass.h"

class CDialog : public CObject {
    DECLARE_DYNAMIC(CDialog)
public:
    explicit CDialog(UINT templateId);
    ~CDialog() override;  // destroys a window that still exists
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog modally over owner (may be null; it is disabled for the
    // run). Returns the EndDialog result, or -1 when the window could not be made.
    INT_PTR DoModal(HWND owner);
    // Creates the window modeless with the given parent (the template's
    // style decides whether it is a child). False when it could not be made.
    bool CreateModeless(HWND parent);
    // Ends a modal run with result; for a modeless dialog it only hides it.
    void EndDialog(INT_PTR result);
    void DestroyWindow();

    HWND GetSafeHwnd() const { return m_hWnd; }
    UINT GetTemplateId() const { return m_nTemplateId; }
    HWND GetDlgItem(int id) const { return m_hWnd ? ::GetDlgItem(m_hWnd, id) : nullptr; }
    bool IsModal() const { return m_bModal; }
    // One of the dialog's handlers is running (it may be inside a modal box it
    // opened, whose loop delivers other messages meanwhile): the object must
    // not be deleted until it returns.
    bool IsHandlingMessage() const { return m_nHandlersRunning > 0; }
    // From now on the modal loop drops key presses and clicks made before
    // this moment: they were aimed at what was on screen then (a key typed
    // ahead must not press Finish on a page that appeared under it). A modal
    // run starts so when it shows the dialog.
    void IgnoreEarlierInput();

    // The dialog object behind a window this class created, or null.
    static CDialog* FromHandle(HWND window);

protected:
    // The template to build from; the base locks RT_DIALOG m_nTemplateId of
    // the resource module. Null makes creation fail.
    virtual const DLGTEMPLATE* LoadTemplate();
    // After the controls exist; TRUE lets the system set the focus.
    virtual BOOL OnInitDialog();
    virtual void OnOK();      // the base ends the dialog with IDOK
    virtual void OnCancel();  // the base ends the dialog with IDCANCEL
    // WM_COMMAND; true when handled. The base sends IDOK and IDCANCEL to OnOK and OnCancel.
    virtual bool OnCommand(UINT id, UINT notifyCode, HWND control);
    // Every message from WM_INITDIALOG on; true when handled, with its result.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // A queued message before the dialog's own keyboard handling in the modal
    // loop; true when it was consumed.
    virtual bool PreTranslateMessage(MSG& message);
    // Told before the escaped error of a handler of message is reported.
    virtual void OnHandlerException(UINT message);

    HWND m_hWnd = nullptr;

private:
    static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    HWND CreateFromTemplate(HWND parent);

    UINT m_nTemplateId;
    bool m_bModal = false;
    bool m_bEndModal = false;
    INT_PTR m_nModalResult = -1;
    int m_nHandlersRunning = 0;
    DWORD m_nInputSince = 0;  // the message time before which input is dropped
    bool m_bInputSinceSet = false;
};
