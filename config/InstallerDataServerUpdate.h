#pragma once
// Fetching the installer data from the maker's RPC endpoint when the wizard
// has none of its own. Runs on the controller thread while the wizard waits.
#include <windows.h>

#include <string>

class EventTracker;
class BuildConfig;
class InstallerDataLock;
class InstallerDataStore;

// The 36-character token in the wizard's file name (name-part-<token>.exe),
// or false when the name holds none.
bool ExtractFileNameToken(const std::wstring& programPath, std::wstring& token);

// endpoint + "/rpc/installer-data/<token>" with a token, otherwise
// endpoint + "/rpc/installer-data-update" and "?upl=<upl>" when upl is not empty.
std::wstring BuildInstallerDataRequestUrl(const std::wstring& endpoint, const std::wstring& token,
                                          const std::wstring& upl);

// {"machineId": "<GUID>"} in UTF-8, or empty for an all-zero identifier.
std::string BuildInstallerDataRequestBody(const GUID& machineId);

// Asks the server and replaces the store with its answer. A failed request,
// an answer larger than kMaxInstallerDataAnswerBytes or one that is plainly
// not installer data (an HTML page) leaves the store as it was and is
// reported to tracker (when there is one) and the diagnostic output; an
// answer outside 2xx arrives as an empty body and empties the store.
// productName: the installed product whose persisted "upl" is sent when the
// program's file name carries no token. Only what ServerAnswerKeys.h allows
// reaches the store; config names the hosts an address in the answer may
// have (null: none). storeLock (may be null) is held for writing only while
// the store changes.
HRESULT FetchInstallerDataFromServer(InstallerDataStore& store, const std::wstring& endpoint,
                                     const std::wstring& programPath, const GUID& machineId, EventTracker* tracker,
                                     const std::wstring& productName, const BuildConfig* config = nullptr,
                                     InstallerDataLock* storeLock = nullptr);
