// Tracking URLs exactly as the stand-in tracking endpoint receives them.
#include <gtest/gtest.h>

#include "TestServer.h"
#include "TestSupport.h"
#include "framework/ErrorTypes.h"
#include "http/RequestCancellation.h"
#include "services/EventTracker.h"
#include "services/SystemProbes.h"

namespace {
const GUID kMachine = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
const GUID kInstallation = {0xFEDCBA98, 0x7654, 0x3210, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
const GUID kZero = {};

class Tracking : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Available()) << "run under tests/server/with-server.sh";
        m_server.Reset();
    }
    std::wstring Endpoint() const { return L"http://127.0.0.1:" + std::to_wstring(m_server.Port()); }
    // The one tracking request whose query holds marker.
    std::string Received(const std::string& marker) {
        auto requests = m_server.WaitForRequests(marker, 1);
        EXPECT_EQ(requests.size(), 1u) << marker;
        return requests.empty() ? std::string() : requests[0].target;
    }
    std::string Platform() const { return ToUtf8(GetPlatformText()); }

    TestServer m_server;
};

TEST_F(Tracking, EventUrlCarriesEveryValueInOrder) {
    EventTracker tracker(L"ab+c/d=e:f g", kInstallation, kMachine, L"TW6", Endpoint());
    TrackingParameters parameters;
    parameters.Set(L"result", L"ok");
    parameters.Set(L"description", L"first");
    parameters.Set(L"empty", L"");
    tracker.TrackEvent(L"Ordered", false, &parameters);
    EXPECT_EQ(Received("ev=Ordered"),
              "/ulc.php?ev=Ordered&upl=ab%2Bc%2Fd%3De%3Af&machineId=01234567-89AB-CDEF-0123-456789ABCDEF&" +
                  Platform() +
                  "&installer=WS0&installerVersion=2.21.0&product=TW6&installId=FEDCBA98-7654-3210-FEDC-BA9876543210"
                  "&description=first&result=ok");
}

TEST_F(Tracking, EmptyUplAndZeroInstallationId) {
    EventTracker tracker(L"", kZero, kMachine, nullptr, Endpoint());
    tracker.TrackEvent(L"Bare", true);
    EXPECT_EQ(Received("ev=Bare"), "/ulc.php?ev=Bare&upl=&machineId=01234567-89AB-CDEF-0123-456789ABCDEF&" +
                                       Platform() + "&installer=WS0&installerVersion=2.21.0");

    tracker.SetInstallationId(kInstallation);
    tracker.TrackEvent(L"Later", true);
    EXPECT_NE(Received("ev=Later").find("&installId=FEDCBA98-7654-3210-FEDC-BA9876543210"), std::string::npos);
}

// The controller's thread keeps a request cancellation that the user's stop
// has fired; the event that follows the stop (its own report included) still
// leaves when it is sent from that thread.
TEST_F(Tracking, AnEventSentAfterTheUsersStopStillLeaves) {
    WinHTTP::CRequestCancellation cancellation;
    cancellation.Cancel();
    WinHTTP::SetThreadRequestCancellation(&cancellation);
    EventTracker tracker(L"u", kInstallation, kMachine, L"TW6", Endpoint());
    tracker.TrackEvent(L"AfterTheStop", true);
    WinHTTP::SetThreadRequestCancellation(nullptr);
    EXPECT_NE(Received("ev=AfterTheStop").find("&installId=FEDCBA98-7654-3210-FEDC-BA9876543210"), std::string::npos);
}

TEST_F(Tracking, ErrorEventsEscapePageAndAction) {
    EventTracker tracker(L"u", kZero, kMachine, L"TW6", Endpoint());
    tracker.TrackWindowsError(static_cast<HRESULT>(0x800704C7), L"", L"a b=c");
    EXPECT_NE(Received("errorCode=800704C7").find("ev=Error&upl=u"), std::string::npos);
    EXPECT_TRUE(Received("errorCode=800704C7").ends_with("&errorType=windowsDesktopError&errorCode=800704C7&action=a%20b%3Dc"));

    tracker.TrackGenericError(L"CSomething", L"went + wrong", L"pg", L"");
    EXPECT_TRUE(Received("errorCode=CSomething")
                    .ends_with("&errorType=genericDesktopError&errorCode=CSomething&errorDetails=went%20%2B%20wrong&page=pg"));

    tracker.TrackGenericError(L"NoDetails", L"", L"p", L"a");
    tracker.TrackEvent(L"Marker", true);
    Received("ev=Marker");
    // Every send handed to a worker has been answered (and so recorded).
    ASSERT_TRUE(EventTracker::WaitForPendingSends(10000));
    EXPECT_FALSE(m_server.HasRequest("NoDetails")) << "a generic error without details was sent";
}

TEST_F(Tracking, ValuesAreEscapedAsUtf8AndPercentSignsInTheProductStay) {
    EventTracker tracker(L"u", kZero, kMachine, L"T%sW%%6", Endpoint());
    tracker.TrackGenericError(L"CUtf8", L"F\u00FCr a&b=c/\u20AC", L"p%q", L"");
    EXPECT_TRUE(Received("errorCode=CUtf8").ends_with("&product=T%sW%%6&errorType=genericDesktopError&errorCode=CUtf8"
                                                      "&errorDetails=F%C3%BCr%20a%26b%3Dc%2F%E2%82%AC&page=p%25q"));
    tracker.TrackEvent(L"Plain", true);
    EXPECT_NE(Received("ev=Plain").find("&product=T%sW%%6"), std::string::npos);
}

TEST_F(Tracking, ExceptionsMapToCodes) {
    EventTracker tracker(L"u", kZero, kMachine, L"TW6", Endpoint());
    CWindowsException windows(5);
    COleException ole(static_cast<HRESULT>(0x80041234));
    CFileException file(CFileException::accessDenied, 5);
    CToolkitException toolkit(L"broken=config");
    tracker.TrackException(&windows, L"ignored", L"ignored");
    tracker.TrackException(&ole, L"", L"");
    tracker.TrackException(&file, L"", L"");
    try {
        ThrowNotSupportedException();
    } catch (CException* e) {
        tracker.TrackException(e, L"", L"");
        e->Delete();
    }
    tracker.TrackException(&toolkit, L"progress", L"installing");
    EXPECT_TRUE(Received("errorCode=10000005").ends_with("errorCode=10000005&action=installing"));
    EXPECT_TRUE(Received("errorCode=80041234").ends_with("&action=installing"));
    Received("errorCode=80070005");
    Received("errorCode=80070032");
    EXPECT_TRUE(Received("errorCode=CToolkitException")
                    .ends_with("errorCode=CToolkitException&errorDetails=broken%3Dconfig&page=progress&action=installing"));
}

TEST(TrackingParameters, BucketOrderPutsDescriptionBeforeResult) {
    EXPECT_EQ(TrackingParameters::BucketOf(L"description"), 9u);
    EXPECT_EQ(TrackingParameters::BucketOf(L"result"), 13u);
    TrackingParameters parameters;
    parameters.Set(L"result", L"r");
    parameters.Set(L"description", L"d");
    parameters.Set(L"result", L"r2");
    auto ordered = parameters.InOrder();
    ASSERT_EQ(ordered.size(), 2u);
    EXPECT_EQ(ordered[0].first, L"description");
    EXPECT_EQ(ordered[1].second, L"r2");
}
}  // namespace
