#include "ui/PageSequence.h"

#include <cwchar>

#include "services/PackedVersion.h"

const wchar_t kFinishedPageClass[] = L"CFinishedPage";
const wchar_t kProgressPageClass[] = L"CProgressPage";

namespace {
const wchar_t kWelcomePageClass[] = L"CWelcomePage";

std::vector<std::wstring> SplitPageOrder(const wchar_t* pageOrder) {
    std::vector<std::wstring> names;
    SplitString(pageOrder, L",", names);
    return names;
}

// Decimal text-to-integer rules: leading digits, 0 without any; no overflow.
int ParseBudget(const std::wstring& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    bool negative = i < text.size() && text[i] == L'-';
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) ++i;
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        if (value < 1000000) value = value * 10 + (text[i] - L'0');
    }
    return static_cast<int>(negative ? -value : value);
}
}  // namespace

CPageSequence::BuildResult CPageSequence::BuildPageOrder(const wchar_t* pageOrder, bool updateSkipsEula) {
    if (!pageOrder) return BuildResult::NoPageOrder;
    std::vector<std::wstring> names = SplitPageOrder(pageOrder);
    if (names.empty()) return BuildResult::FirstPage;
    if (updateSkipsEula && names.size() >= 2 && names[0] == kWelcomePageClass) {
        m_pageOrder.push_back(names[1]);
        m_bEulaSkipped = true;
        return BuildResult::EulaSkipped;
    }
    m_pageOrder.push_back(names[0]);
    return BuildResult::FirstPage;
}

bool CPageSequence::ExtendPageOrder(const wchar_t* pageOrder, const OfferInputs& offers) {
    if (!pageOrder) return false;
    std::vector<std::wstring> names = SplitPageOrder(pageOrder);
    for (size_t i = m_bEulaSkipped ? 2 : 1; i < names.size(); ++i) {
        if (names[i].empty()) continue;
        if (names[i] == kProgressPageClass) {
            for (std::wstring& offer : SelectOffers(offers)) m_pageOrder.push_back(std::move(offer));
        }
        m_pageOrder.push_back(names[i]);
    }
    return true;
}

std::vector<std::wstring> CPageSequence::SelectOffers(const OfferInputs& offers) {
    std::vector<std::wstring> pages;
    int budget = ParseBudget(offers.maxOffers);
    // All four conditions are evaluated for each offer, the probe included.
    bool noxInstallable = offers.noxInstallable && offers.noxInstallable();
    if (budget > 0 && offers.noxSwitchedOn && offers.noxUrlKnown && noxInstallable) {
        pages.push_back(L"CNoxOfferPage");
        --budget;
    }
    bool gearfreshInstallable = offers.gearfreshInstallable && offers.gearfreshInstallable();
    if (budget > 0 && offers.gearfreshSwitchedOn && offers.gearfreshUrlKnown && gearfreshInstallable) {
        pages.push_back(L"CGearfreshOfferPage");
        --budget;
    }
    return pages;
}

bool CPageSequence::HasNextPage() const {
    return !m_pageOrder.empty() && m_nCurrent < static_cast<int>(m_pageOrder.size()) - 1;
}

std::wstring CPageSequence::NextPage() {
    std::wstring page = m_pageOrder[static_cast<size_t>(m_nCurrent + 1)];
    m_history.push_back(page);
    ++m_nCurrent;
    return page;
}

bool CPageSequence::PreviousPage(std::wstring& page) {
    if (m_history.size() < 2) return false;
    std::wstring left = m_history.back();
    m_history.pop_back();
    page = m_history.back();
    if (m_nCurrent >= 0 && static_cast<size_t>(m_nCurrent) < m_pageOrder.size() &&
        left == m_pageOrder[static_cast<size_t>(m_nCurrent)]) {
        --m_nCurrent;
    }
    return true;
}

bool CPageSequence::JumpToFinishedPage(std::wstring& page) {
    if (m_pageOrder.empty()) return false;
    if (m_pageOrder.back() != kFinishedPageClass) m_pageOrder.push_back(kFinishedPageClass);
    if (IsOnLastPage()) return false;
    m_nCurrent = static_cast<int>(m_pageOrder.size()) - 1;
    page = m_pageOrder.back();
    return true;
}
