// The page sequence without windows: first page, offer insertion, Next,
// Back and the jump to the finished page.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "ui/PageSequence.h"

namespace {
using Names = std::vector<std::wstring>;
const wchar_t kDefaultOrder[] = L"CWelcomePage,CProgressPage,CFinishedPage";

OfferInputs BothOffers(const wchar_t* maxOffers) {
    OfferInputs offers;
    offers.maxOffers = maxOffers;
    offers.noxSwitchedOn = offers.gearfreshSwitchedOn = true;
    offers.noxUrlKnown = offers.gearfreshUrlKnown = true;
    offers.noxInstallable = [] { return true; };
    offers.gearfreshInstallable = [] { return true; };
    return offers;
}

TEST(PageSequence, OrderAfterLeavingTheFirstPage) {
    struct Case {
        const wchar_t* pageOrder;
        OfferInputs offers;
        Names expected;
    };
    OfferInputs noxOff = BothOffers(L"2");
    noxOff.noxSwitchedOn = false;
    OfferInputs gearfreshInstalled = BothOffers(L"2");
    gearfreshInstalled.gearfreshInstallable = [] { return false; };
    OfferInputs noUrl = BothOffers(L"2");
    noUrl.noxUrlKnown = false;
    const Case cases[] = {
        {kDefaultOrder, OfferInputs{}, {L"CWelcomePage", L"CProgressPage", L"CFinishedPage"}},
        {kDefaultOrder, BothOffers(L"1"), {L"CWelcomePage", L"CNoxOfferPage", L"CProgressPage", L"CFinishedPage"}},
        {kDefaultOrder, BothOffers(L"2"),
         {L"CWelcomePage", L"CNoxOfferPage", L"CGearfreshOfferPage", L"CProgressPage", L"CFinishedPage"}},
        {kDefaultOrder, BothOffers(L"2abc"),
         {L"CWelcomePage", L"CNoxOfferPage", L"CGearfreshOfferPage", L"CProgressPage", L"CFinishedPage"}},
        {kDefaultOrder, BothOffers(L"x2"), {L"CWelcomePage", L"CProgressPage", L"CFinishedPage"}},
        {kDefaultOrder, BothOffers(L"-1"), {L"CWelcomePage", L"CProgressPage", L"CFinishedPage"}},
        {kDefaultOrder, noxOff, {L"CWelcomePage", L"CGearfreshOfferPage", L"CProgressPage", L"CFinishedPage"}},
        {kDefaultOrder, gearfreshInstalled, {L"CWelcomePage", L"CNoxOfferPage", L"CProgressPage", L"CFinishedPage"}},
        {kDefaultOrder, noUrl, {L"CWelcomePage", L"CGearfreshOfferPage", L"CProgressPage", L"CFinishedPage"}},
        {L"CWelcomePage,,CProgressPage,CFinishedPage,", OfferInputs{},
         {L"CWelcomePage", L"CProgressPage", L"CFinishedPage"}},
        {L"CWelcomePage,CFinishedPage", BothOffers(L"2"), {L"CWelcomePage", L"CFinishedPage"}},
        {L"CLicensePage", BothOffers(L"2"), {L"CLicensePage"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.pageOrder) + " MaxOffers=" + ToUtf8(c.offers.maxOffers));
        CPageSequence sequence;
        ASSERT_EQ(sequence.BuildPageOrder(c.pageOrder, false), CPageSequence::BuildResult::FirstPage);
        ASSERT_TRUE(sequence.ExtendPageOrder(c.pageOrder, c.offers));
        EXPECT_EQ(sequence.m_pageOrder, c.expected);
    }
}

TEST(PageSequence, ProbesAreAskedForEveryOfferEvenWithoutBudget) {
    int asked = 0;
    OfferInputs offers = BothOffers(L"0");
    offers.noxInstallable = [&] { ++asked; return true; };
    offers.gearfreshInstallable = [&] { ++asked; return true; };
    EXPECT_TRUE(CPageSequence::SelectOffers(offers).empty());
    EXPECT_EQ(asked, 2);
}

TEST(PageSequence, AnUpdateThatSkipsTheLicenceStartsOnTheSecondEntry) {
    CPageSequence skipped;
    EXPECT_EQ(skipped.BuildPageOrder(L"CWelcomePage,CLicensePage,CProgressPage,CFinishedPage", true),
              CPageSequence::BuildResult::EulaSkipped);
    ASSERT_TRUE(skipped.ExtendPageOrder(L"CWelcomePage,CLicensePage,CProgressPage,CFinishedPage", OfferInputs{}));
    EXPECT_EQ(skipped.m_pageOrder, (Names{L"CLicensePage", L"CProgressPage", L"CFinishedPage"}));

    CPageSequence kept;  // the same flags, but the first entry is not the welcome page
    EXPECT_EQ(kept.BuildPageOrder(L"CLicensePage,CProgressPage", true), CPageSequence::BuildResult::FirstPage);
    EXPECT_EQ(kept.m_pageOrder, (Names{L"CLicensePage"}));

    CPageSequence broken;
    EXPECT_EQ(broken.BuildPageOrder(nullptr, false), CPageSequence::BuildResult::NoPageOrder);
    EXPECT_FALSE(broken.ExtendPageOrder(nullptr, OfferInputs{}));
}

TEST(PageSequence, NextBackAndTheFinishedPage) {
    CPageSequence sequence;
    sequence.BuildPageOrder(kDefaultOrder, false);
    ASSERT_TRUE(sequence.HasNextPage());
    EXPECT_EQ(sequence.NextPage(), L"CWelcomePage");
    std::wstring page;
    EXPECT_FALSE(sequence.PreviousPage(page)) << "Back on the first page";
    sequence.ExtendPageOrder(kDefaultOrder, BothOffers(L"1"));
    EXPECT_EQ(sequence.NextPage(), L"CNoxOfferPage");
    ASSERT_TRUE(sequence.PreviousPage(page));
    EXPECT_EQ(page, L"CWelcomePage");
    EXPECT_EQ(sequence.m_nCurrent, 0);
    EXPECT_EQ(sequence.NextPage(), L"CNoxOfferPage");
    EXPECT_EQ(sequence.NextPage(), L"CProgressPage");

    // Cancel: the finished page is reached by name and does not move Back's index twice.
    ASSERT_TRUE(sequence.JumpToFinishedPage(page));
    EXPECT_EQ(page, L"CFinishedPage");
    sequence.RecordShown(page);
    EXPECT_TRUE(sequence.IsOnLastPage());
    EXPECT_FALSE(sequence.HasNextPage());
    EXPECT_FALSE(sequence.JumpToFinishedPage(page)) << "already there";
    EXPECT_EQ(sequence.m_history, (Names{L"CWelcomePage", L"CNoxOfferPage", L"CProgressPage", L"CFinishedPage"}));

    CPageSequence noFinish;  // an order without the finished page gets it appended
    noFinish.BuildPageOrder(L"CWelcomePage", false);
    noFinish.NextPage();
    ASSERT_TRUE(noFinish.JumpToFinishedPage(page));
    EXPECT_EQ(noFinish.m_pageOrder, (Names{L"CWelcomePage", L"CFinishedPage"}));
}
}  // namespace
