// The two offers: download on accept, extraction right after, and a detached
// start after the payload. Failures only become tracking events.
#include <cstdio>
#include <memory>
#include <new>

#include "config/BuildConfig.h"
#include "config/InstallerDataStore.h"
#include "engine/Installation.h"
#include "engine/InstallerProperties.h"
#include "framework/ComPtr.h"
#include "framework/DiagnosticOutput.h"
#include "framework/ExceptionCodes.h"
#include "framework/Exceptions.h"
#include "framework/ResourceStrings.h"
#include "framework/Win32Error.h"
#include "http/DownloadToStream.h"
#include "payload/BzFile.h"
#include "payload/VerifiedFile.h"
#include "services/EventTracker.h"
#include "services/ProcessLaunching.h"
#include "resources/resource.h"

struct CInstallation::Offer {
    const wchar_t* urlKey;
    const wchar_t* tag;
    const wchar_t* installOnRebootKey;
    const wchar_t* callerOriginKey;
    const wchar_t* offerOriginKey;
    const wchar_t* stubIdKey;
};

const CInstallation::Offer CInstallation::kNox = {L"NoxUrl", L"nox", L"NoxInstallOnReboot", L"NoxCallerP2",
                                                  L"NoxOfferP2", L"NoxStubId"};
const CInstallation::Offer CInstallation::kGearfresh = {L"GearfreshEnUrl", L"gfp", L"GearfreshInstallOnReboot",
                                                        L"GearfreshCallerP2", L"GearfreshOfferP2", L"GearfreshStubId"};

namespace {

void TrackOfferError(IInstallationHost& host, CException* e, const wchar_t* page) noexcept {
    wchar_t line[200];
    std::swprintf(line, ARRAYSIZE(line), L"Offer step %ls failed: 0x%08lX\n", page,
                  static_cast<unsigned long>(HResultFromException(e)));
    WriteDiagnostic(line);
    try {
        if (EventTracker* tracker = host.Tracker()) tracker->TrackException(e, page, L"installing");
    } catch (...) {
        CaptureCurrentException()->Delete();
    }
    e->Delete();
}
}  // namespace

std::wstring& CInstallation::PackageOf(const Offer& offer) {
    return &offer == &kNox ? m_strNoxPackage : m_strGearfreshPackage;
}

std::wstring& CInstallation::SetupOf(const Offer& offer) {
    return &offer == &kNox ? m_strNoxSetup : m_strGearfreshSetup;
}

const std::atomic<bool>& CInstallation::DeclinedOf(const Offer& offer) const {
    return &offer == &kNox ? m_bNoxDeclined : m_bGearfreshDeclined;
}

bool CInstallation::OnDownloadOffer(const Offer& offer) {
    std::wstring& package = PackageOf(offer);
    if (!package.empty()) return true;
    if (DeclinedOf(offer) || ShouldStop()) return false;
    try {
        m_nProgressBase = 50;
        m_nProgressSpan = 50;
        ReportTask(25, IDS_DOWNLOADING);
        if (const wchar_t* url = Host().Configuration().Get(offer.urlKey)) {
            ComPtr<IStream> stream;
            std::wstring path;
            HRESULT hr = CreateTempFileStream(offer.tag, stream.Receive(), path);
            if (FAILED(hr)) ThrowOleException(hr);
            m_proxy.RememberTempFile(path);
            DWORD now = GetTickCount();
            DownloadProgressContext context = {this, &DeclinedOf(offer), now, now};
            hr = DownloadToStream(url, stream.Get(), OnDownloadProgress, &context);
            stream.Reset();
            if (FAILED(hr)) {
                DeleteFileW(path.c_str());  // a stopped or failed download leaves nothing behind
                ThrowOleException(hr);
            }
            package = path;
        }
    } catch (...) {
        TrackOfferError(Host(), CaptureCurrentException(), L"downloadingSecondaryOffer");
    }
    return !package.empty();
}

void CInstallation::OnExtractOffer(const Offer& offer) {
    std::wstring& setup = SetupOf(offer);
    const std::wstring& package = PackageOf(offer);
    if (!setup.empty() || package.empty() || DeclinedOf(offer)) return;
    try {
        m_nProgressBase = 50;
        m_nProgressSpan = 50;
        ReportTask(50, IDS_EXTRACTING);
        std::wstring output = package + L".exe";
        m_proxy.RememberTempFile(output);
        bool stopped = false;
        DecompressionCheck check = [&](ULONGLONG done, ULONGLONG total) -> HRESULT {
            if (m_proxy.IsCancelled() || ShouldStop() || DeclinedOf(offer)) {
                stopped = true;
                return HResultFromWin32(ERROR_CANCELLED);
            }
            // Against the compressed size: passes 100 for compressible data, unclamped.
            ReportStepProgress(IDS_EXTRACTING, total ? static_cast<int>(done * 100 / total) : 100);
            return S_OK;
        };
        try {
            DecompressFile(package, output, check);
        } catch (...) {
            // A stopped or failed extraction leaves neither its output nor, when stopped, the package.
            DeleteFileW(output.c_str());
            if (!stopped) throw;
            DeleteFileW(package.c_str());
            throw;
        }
        setup = output;
    } catch (...) {
        CException* e = CaptureCurrentException();
        if (m_proxy.IsCancelled() || ShouldStop() || DeclinedOf(offer)) {
            e->Delete();  // a cancellation, not a failure
        } else {
            TrackOfferError(Host(), e, L"extractingSecondaryOffer");
        }
    }
}

void CInstallation::InstallOffer(const Offer& offer) {
    const std::wstring& setup = SetupOf(offer);
    if (setup.empty() || ShouldStop() || DeclinedOf(offer)) return;
    try {
        m_nProgressBase = 50;
        m_nProgressSpan = 50;
        ReportTask(75, IDS_INSTALLING);
        ReportStepProgress(IDS_INSTALLING, 0);
        if (&offer != &kNox && &offer != &kGearfresh) ThrowNotSupportedException();
        ReportStepProgress(IDS_INSTALLING, 25);

        // The setup came over plain HTTP and runs elevated: it must carry our
        // signature, and it stays held against writers until the process has started.
        CVerifiedFile verified;
        HRESULT hr = verified.HoldAndVerify(setup, true);
        if (FAILED(hr)) {
            if (EventTracker* tracker = Host().Tracker()) {
                tracker->TrackWindowsError(hr, L"installingSecondaryOffer", L"installing");
            }
            return;
        }

        const InstallerDataStore& data = Host().InstallerData();
        std::wstring command = L"\"" + setup + L"\"";
        const wchar_t* onReboot = data.Get(offer.installOnRebootKey);
        command += onReboot && std::wstring(onReboot) == L"yes" ? L" SI_LAUNCH=onreboot" : L" SI_LAUNCH=immediate";
        auto append = [&](const wchar_t* key, const wchar_t* dataKey) {
            if (const wchar_t* value = data.Get(dataKey)) command += std::wstring(L" ") + key + L"=" + QuoteProgramArgument(value);
        };
        append(L"SI_CHNL", L"SI_CHNL");
        append(L"SI_MODE", L"SI_MODE");
        append(L"SI_DELAY", L"SI_DELAY");
        append(L"@P2_ORIGIN", offer.callerOriginKey);
        append(L"@P2", offer.offerOriginKey);
        append(L"@UL_STUBID", offer.stubIdKey);

        // The offer's setup runs on its own: its handle is closed at once.
        if (!StartProcess(command)) ThrowOleException(FailureFromLastError());
    } catch (...) {
        TrackOfferError(Host(), CaptureCurrentException(), L"installingSecondaryOffer");
    }
}
