#include "services/MakerKeys.h"

const wchar_t kMakerKeyPath[] = L"SOFTWARE\\Tarnwell Utilities Inc";

std::wstring ProductKeyPath(const std::wstring& productName) { return std::wstring(kMakerKeyPath) + L"\\" + productName; }
