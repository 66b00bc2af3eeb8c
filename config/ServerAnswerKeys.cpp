#include "config/ServerAnswerKeys.h"

#include "config/BuildConfig.h"
#include "config/InstallerDataStore.h"
#include "config/ServerEndpoints.h"
#include "framework/DiagnosticOutput.h"

namespace {
// The keys the wizard reads from the installer data (aliases as stored).
const wchar_t* const kAnswerKeys[] = {
    L"upl", L"WS_UPDATE", L"WS_SKIP_EULA", L"track", L"MaxOffers", L"NoxOffer", L"GearfreshOffer",
    L"NoxInstallOnReboot", L"GearfreshInstallOnReboot", L"SI_CHNL", L"SI_MODE", L"SI_DELAY", L"NoxCallerP2",
    L"NoxOfferP2", L"NoxStubId", L"GearfreshCallerP2", L"GearfreshOfferP2", L"GearfreshStubId", L"PayloadUrl",
    L"installScanTimeout", L"AutoLaunchWait", L"InstallerFinishedS2S", L"LaunchRegistrationPageOnFinish",
    L"browser", L"p2", L"secondOfferOrigin", L"ul_stubid",
};
// Read back by later runs: the campaign ("upl", by the server update) and the browser choice.
const wchar_t* const kPersistentKeys[] = {L"upl", L"browser"};
// Addresses the wizard itself fetches.
const wchar_t* const kAddressKeys[] = {L"PayloadUrl", L"InstallerFinishedS2S"};

template <size_t N>
bool IsListed(const wchar_t* const (&list)[N], const std::wstring& key) {
    for (const wchar_t* listed : list) {
        if (key == listed) return true;
    }
    return false;
}

void LogDropped(const std::wstring& key, const wchar_t* reason) {
    WriteDiagnostic((L"Server answer: \"" + key + L"\" dropped (" + reason + L")\n").c_str());
}
}  // namespace

bool IsServerAnswerKey(const std::wstring& key) { return IsListed(kAnswerKeys, key); }
bool IsServerAnswerPersistentKey(const std::wstring& key) { return IsListed(kPersistentKeys, key); }
bool IsServerAnswerAddressKey(const std::wstring& key) { return IsListed(kAddressKeys, key); }

HRESULT ApplyServerAnswer(const InstallerDataStore& answer, const BuildConfig* config, InstallerDataStore& store) {
    // The kept entries as lines again, in the answer's order: keys and values
    // hold no line ends, so the text reads back to exactly these entries.
    std::wstring text;
    if (answer.DoNotErase()) text += L"+DO_NOT_ERASE+\r\n";
    if (answer.DoNotSave()) text += L"+DO_NOT_SAVE+\r\n";
    for (const InstallerDataItem& item : answer.Items()) {
        if (item.kind != InstallerDataItem::KeyValue) continue;
        const std::wstring& key = item.entry->first;
        const InstallerDataValue& value = item.entry->second;
        if (!IsServerAnswerKey(key)) {
            LogDropped(key, L"not a key a server answer may set");
            continue;
        }
        if (IsServerAnswerAddressKey(key) && !(config && IsBuildConfigHost(*config, value.text))) {
            LogDropped(key, L"an address outside the build configuration's hosts");
            continue;
        }
        bool persistent = value.isPersistent;
        if (persistent && !IsServerAnswerPersistentKey(key)) {
            LogDropped(key, L"may not be saved; kept for this run");
            persistent = false;
        }
        text += persistent ? L"@" : value.isPrivate ? L"?" : L"";
        text += key + L"=" + value.text + L"\r\n";
    }
    return store.Parse(text.c_str());
}
