#include <cwctype>

#include "config/InstallerDataStore.h"
#include "engine/Installation.h"
#include "services/SystemProbes.h"

HRESULT ExpandUrlTemplate(const std::wstring& text, IInstallationHost& host, std::wstring& output) {
    PlaceholderContext context;
    context.machineId = host.MachineId();
    context.installationId = host.InstallationId();
    context.installerData = [&host](const std::wstring& key) { return host.InstallerData().Get(key); };
    return ExpandUrlTemplate(text, context, output);
}

HRESULT ExpandUrlTemplate(const std::wstring& text, const PlaceholderContext& context, std::wstring& output) {
    output.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'{') {
            output += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == L'{') {
            output += L'{';
            ++i;
            continue;
        }
        size_t close = text.find(L'}', i + 1);
        if (close == std::wstring::npos) return E_INVALIDARG;
        std::wstring content = text.substr(i + 1, close - i - 1);
        i = close;
        size_t dot = content.find(L'.');
        if (dot == std::wstring::npos || dot + 1 == content.size()) continue;
        std::wstring section = content.substr(0, dot);
        std::wstring name = content.substr(dot + 1);
        std::wstring modifier;
        size_t colon = section.find(L':');
        if (colon != std::wstring::npos) {
            if (colon + 1 == section.size()) continue;
            modifier = section.substr(0, colon);
            section = section.substr(colon + 1);
        }
        std::wstring value;
        if (FAILED(ResolveVariable(name, section, context, value))) continue;
        if (modifier == L"u") {
            for (wchar_t& c : value) c = static_cast<wchar_t>(std::towupper(c));
        } else if (modifier == L"l") {
            for (wchar_t& c : value) c = static_cast<wchar_t>(std::towlower(c));
        }
        output += value;
    }
    return S_OK;
}
