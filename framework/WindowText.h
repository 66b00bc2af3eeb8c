#pragma once
// Reading a window's text as a string. Thread rule: the window's thread, or
// any thread for a window whose owner thread is pumping messages.
#include <windows.h>

#include <string>

// The window's text; empty when it has none or is not a window.
std::wstring ReadWindowText(HWND hwnd);

// A caption as text names it: the accelerator marks go ("I &Agree" reads
// "I Agree"), and a mark in brackets after the caption goes whole, as in
// Japanese ("同意する(&A)" reads "同意する"). "&&" stays one "&".
std::wstring CaptionWithoutMnemonic(const std::wstring& caption);

// The child window's rectangle in its parent's client coordinates.
RECT ChildRectInParent(HWND parent, HWND child);

// The width of the window's text on one line, drawn in the window's own font
// on its own device context; 0 when it cannot be measured.
int WindowTextWidth(HWND window);
