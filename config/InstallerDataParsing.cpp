// The store's parsers as the loaders and the server update call them.
#include <new>

#include "config/InstallerDataSources.h"
#include "config/InstallerDataStore.h"
#include "framework/Exceptions.h"

namespace {
template <typename ParseCall>
HRESULT ParseContained(InstallerDataStore& store, ParseCall parse) {
    try {
        return parse();
    } catch (CMemoryException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    store.Parse(L"");  // clearing allocates nothing
    return E_OUTOFMEMORY;
}
}  // namespace

HRESULT ParseInstallerDataUtf8(InstallerDataStore& store, const char* bytes) {
    return ParseContained(store, [&] { return store.ParseUtf8(bytes); });
}

HRESULT ParseInstallerDataText(InstallerDataStore& store, const wchar_t* text) {
    return ParseContained(store, [&] { return store.Parse(text); });
}
