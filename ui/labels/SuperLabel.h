#pragma once
// CSuperLabel: a static control turned into a small rich text label. Its text
// carries control characters for bold, italic and link runs (see
// SuperLabelMarkup.h); the label lays the words out with word wrap, draws them
// transparently over the parent's background and opens a link that is clicked
// in the user's default handler.
//
// Owned by the page that attached it (see CRichLabel). User-interface thread only.
#include <cstddef>
#include <string>
#include <vector>

#include "framework/SubclassedWindow.h"
#include "ui/labels/RichLabel.h"
#include "ui/labels/SuperLabelFontSet.h"
#include "ui/labels/SuperLabelLayout.h"
#include "ui/labels/SuperLabelRun.h"

class CSuperLabel : public CRichLabel, private CSubclassedWindow {
public:
    CSuperLabel() = default;
    ~CSuperLabel() override;

    bool Attach(HWND hwndStatic) override;

    const std::wstring& GetPlainText() const { return m_plainText; }
    const std::vector<SuperLabelRun>& GetRuns() const { return m_runs; }
    const std::vector<SuperLabelPiece>& GetPieces() const { return m_pieces; }
    // The link run under the mouse, or null.
    const SuperLabelRun* GetHotRun() const;

protected:
    // Opens a clicked link's target with the shell, owned by the top-level window.
    virtual void OpenLink(const std::wstring& target);

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnWindowDestroyed() override;

    void SetText(const wchar_t* text);
    void LayOut();
    void Paint(HDC dc);
    void OnMouseMove(int x, int y);
    void OnMouseLeave();
    void OnLeftButtonUp();
    void UpdateFontSet();


    CSuperLabelFontSet m_fontSet;
    std::wstring m_plainText;
    std::vector<SuperLabelRun> m_runs;
    std::size_t m_hotRun = kNoSuperLabelRun;
    std::vector<SuperLabelPiece> m_pieces;
    std::size_t m_longestPiece = 0;
    bool m_bTracking = false;
};
