#pragma once
// The wizard's page sequence without its windows: the page order built from
// "PageOrder", the offer pages inserted before the progress page, the pages
// shown so far and the index of the page last reached by Next. The main
// window owns one and turns its answers into pages. User-interface thread.
#include <functional>
#include <string>
#include <vector>

// What the offer selection needs to know of the run.
struct OfferInputs {
    std::wstring maxOffers;          // installer data "MaxOffers" (decimal, leading digits)
    bool noxSwitchedOn = false;      // "NoxOffer" is exactly "enabled"
    bool gearfreshSwitchedOn = false;
    bool noxUrlKnown = false;        // the build configuration has "NoxUrl"
    bool gearfreshUrlKnown = false;  // ... "GearfreshEnUrl"
    // The product probes (Nox, Gearfresh not installed yet); always asked.
    std::function<bool()> noxInstallable;
    std::function<bool()> gearfreshInstallable;
};

class CPageSequence {
public:
    enum class BuildResult {
        NoPageOrder,  // "PageOrder" is missing: the installer is broken
        FirstPage,    // the first entry is the first page
        EulaSkipped,  // an update skips the welcome page: start the download at once
    };

    // Places the first page. pageOrder is the "PageOrder" value (null when
    // missing); updateSkipsEula: the installer data has both "WS_UPDATE" and "WS_SKIP_EULA".
    BuildResult BuildPageOrder(const wchar_t* pageOrder, bool updateSkipsEula);
    // Appends the rest of the order, with the selected offers directly before
    // "CProgressPage". False when "PageOrder" is missing.
    bool ExtendPageOrder(const wchar_t* pageOrder, const OfferInputs& offers);
    // The offer pages the budget, switches, probes and addresses allow, Nox first.
    static std::vector<std::wstring> SelectOffers(const OfferInputs& offers);

    // Next: true when there is a page after the current one; NextPage then
    // moves there and returns its name (and records it as shown).
    bool HasNextPage() const;
    std::wstring NextPage();
    // Back: false when fewer than two pages were shown; otherwise the page
    // to show again, with the index moved back when the page left was the
    // one Next had reached.
    bool PreviousPage(std::wstring& page);
    // The finished page: appended when missing; false when the current page is
    // already the last one (nothing to do). The caller shows the returned name.
    bool JumpToFinishedPage(std::wstring& page);
    // A page shown by name (the finished page after a jump): recorded in the history only.
    void RecordShown(const std::wstring& page) { m_history.push_back(page); }

    bool IsOnLastPage() const { return !m_pageOrder.empty() && m_nCurrent == static_cast<int>(m_pageOrder.size()) - 1; }

    std::vector<std::wstring> m_pageOrder;
    std::vector<std::wstring> m_history;
    int m_nCurrent = -1;
    bool m_bEulaSkipped = false;
};

extern const wchar_t kFinishedPageClass[];  // "CFinishedPage"
extern const wchar_t kProgressPageClass[];  // "CProgressPage"
