// The chaos walk's lines on standard output, each "KIND MS: WHAT" with the
// milliseconds since the wizard was started:
//   pid MS: ID                       the wizard's process id (its run log is named by it)
//   action MS: WHAT on PAGE          one action of the person
//   page MS: NAME                    the page on screen changed
//   finished-page MS: VARIANT        success, interrupted, error or "other: TITLE"
//   box MS: KIND on PAGE: TEXT       a box appeared: cancel-question, error or about
//   second-instance MS: WHAT         what a second start of the wizard showed, and that it ended
//   end MS: exit CODE after-last-action MS   the wizard ended (CODE 99: it had to be ended)
//   outcome MS: VARIANT              the last finished-page variant seen, or no-finished-page
#include "ChaosWalk.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "WizardWindows.h"

namespace {
// The longest a walk may take in all; a wizard still running then is ended
// (and the end line says so).
const DWORD kWalkLimitMs = 300000;
const UINT kTrayCallback = 0x8006, kTrayIconId = 4096;
const int kCancel = 2;

// splitmix64: the same numbers from the same seed on every machine.
class SeededRandom {
public:
    explicit SeededRandom(unsigned long long seed) : m_state(seed) {}
    unsigned long long Next() {
        unsigned long long z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. count-1
    int Below(int count) { return static_cast<int>(Next() % static_cast<unsigned long long>(count)); }
    bool Chance(int percent) { return Below(100) < percent; }

private:
    unsigned long long m_state;
};

class ChaosWalk {
public:
    ChaosWalk(const std::wstring& program, unsigned long long seed, int actions)
        : m_program(program), m_random(seed), m_actionsLeft(actions) {
        QueryPerformanceFrequency(&m_frequency);
    }

    int Run() {
        QueryPerformanceCounter(&m_start);
        if (!StartProgram(m_program, m_wizard.process)) {
            std::printf("end 0: not started\n");
            return 1;
        }
        Say("pid", std::to_wstring(m_wizard.process.dwProcessId));
        bool ended = false;
        while (!(ended = PauseUntilEnd(RandomPauseMs())) && Now() < kWalkLimitMs) Step();
        if (!ended) TerminateProcess(m_wizard.process.hProcess, 99);
        WaitForSingleObject(m_wizard.process.hProcess, 10000);
        const double endedAt = ended ? m_endedAt : Now();
        DWORD code = 0;
        GetExitCodeProcess(m_wizard.process.hProcess, &code);
        std::printf("end %.0f: exit %lu after-last-action %.0f%s\n", endedAt, static_cast<unsigned long>(code),
                    endedAt - m_lastActionMs, ended ? "" : " (ended by the walk)");
        Say("outcome", m_finishedVariant.empty() ? L"no-finished-page" : m_finishedVariant);
        CloseHandle(m_wizard.process.hThread);
        CloseHandle(m_wizard.process.hProcess);
        return ended ? 0 : 1;
    }

private:
    double Now() const {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return 1000.0 * static_cast<double>(now.QuadPart - m_start.QuadPart) / static_cast<double>(m_frequency.QuadPart);
    }

    void Say(const char* kind, const std::wstring& what) {
        std::printf("%s %.0f: %s\n", kind, Now(), ToUtf8(what).c_str());
        std::fflush(stdout);
    }

    void Act(const std::wstring& what, const std::wstring& where) {
        m_lastActionMs = Now();
        Say("action", what + L" on " + where);
    }

    // Random moments: mostly quick, now and then a pause a person takes.
    DWORD RandomPauseMs() {
        if (m_random.Chance(15)) return 1000 + static_cast<DWORD>(m_random.Below(2000));
        return 50 + static_cast<DWORD>(m_random.Below(600));
    }

    // Waits MS; true (and the moment noted) when the wizard ended meanwhile.
    // Looks every 50 ms meanwhile, so that a page on screen only briefly is seen.
    bool PauseUntilEnd(DWORD ms) {
        for (DWORD waited = 0;; waited += 50) {
            if (WaitForSingleObject(m_wizard.process.hProcess, std::min<DWORD>(50, ms - waited)) == WAIT_OBJECT_0) {
                m_endedAt = Now();
                return true;
            }
            Observe();
            if (waited + 50 >= ms) return false;
        }
    }


    static BOOL CALLBACK ListWindow(HWND window, LPARAM param) {
        auto* list = reinterpret_cast<std::pair<DWORD, std::wstring>*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != list->first) return TRUE;
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        list->second += std::wstring(L" [") + className + (IsWindowVisible(window) ? L" visible \"" : L" hidden \"") +
                        Text(window).substr(0, 30) + L"\"]";
        return TRUE;
    }

    // Notes pages, finished-page variants and boxes as they appear.
    void Observe() {
        std::pair<DWORD, std::wstring> list = {m_wizard.process.dwProcessId, L""};
        EnumWindows(ListWindow, reinterpret_cast<LPARAM>(&list));
        if (list.second != m_windows) {
            m_windows = list.second;
            Say("windows", m_windows);
        }
        HWND page = m_wizard.Page();
        std::wstring name = PageName(page);
        if (name != m_page) {
            m_page = name;
            Say("page", name);
        }
        if (name == L"finished") {
            const std::wstring title = ItemText(page, kFinishedTitle);
            std::wstring variant = title == L"Completed the Kelvora Setup Wizard"        ? L"success"
                                   : title == L"Kelvora Setup Wizard was interrupted"    ? L"interrupted"
                                   : title == L"Kelvora Setup Wizard ended prematurely" ? L"error"
                                                                                         : L"other: " + title;
            if (variant != m_finishedVariant) {
                m_finishedVariant = variant;
                Say("finished-page", variant);
            }
        }
        HWND box = m_wizard.Box();
        HWND about = OpenAbout(box);
        HWND shown = about ? about : box;
        if (shown != m_box) {
            m_box = shown;
            if (about) {
                Say("box", L"about on " + m_page + L": " + Text(about));
            } else if (box) {
                Say("box", std::wstring(GetDlgItem(box, IDYES) ? L"cancel-question" : L"error") + L" on " + m_page + L": " +
                               ItemText(box, kBoxText));
            }
        }
    }

    // The about box a person can answer: one that a box opened over it
    // (an error that arrived meanwhile) has disabled waits for that box.
    HWND OpenAbout(HWND box) const {
        HWND about = m_wizard.About();
        if (about && box && !IsWindowEnabled(about)) return nullptr;
        return about;
    }

    bool Usable(HWND page, int id) const {
        HWND control = page ? GetDlgItem(page, id) : nullptr;
        return control && IsWindowVisible(control) && IsWindowEnabled(control);
    }

    void PressKey(WORD key, const wchar_t* name, const std::wstring& where) {
        Act(name, where);
        PressKeys({key});
    }

    void Step() {
        const bool choosing = m_actionsLeft > 0;
        if (choosing) --m_actionsLeft;
        HWND box = m_wizard.Box();
        if (HWND about = OpenAbout(box)) return AnswerAbout(about);
        if (box) return AnswerBox(box);
        HWND main = m_wizard.Main();
        if (!main) {
            // Hidden in the notification area, or no frame yet: the icon is all a person has.
            HWND frame = m_wizard.Frame();
            if (frame && (choosing ? m_random.Chance(30) : m_random.Chance(50))) {
                Act(L"tray icon click", L"hidden frame");
                PostMessageW(frame, kTrayCallback, kTrayIconId, WM_LBUTTONDOWN);
            }
            return;
        }
        HWND page = Wizard::PageOf(main);
        const std::wstring name = PageName(page);
        if (choosing) return ChooseAnything(main, page, name);
        Converge(main, page, name);
    }

    void AnswerAbout(HWND about) {
        if (m_random.Chance(50)) {
            Act(L"Close", L"about");
            Click(about, 8);
        } else {
            PressKey(VK_ESCAPE, L"Escape", L"about");
        }
    }

    void AnswerBox(HWND box) {
        const bool question = GetDlgItem(box, IDYES) != nullptr;
        const wchar_t* where = question ? L"cancel-question" : L"error box";
        switch (m_random.Below(question ? 5 : 2)) {
            case 0: PressKey(VK_RETURN, L"Enter", where); break;
            case 1:
                Act(question ? L"No" : L"OK", where);
                Click(box, question ? IDNO : IDOK);
                break;
            case 2:
            case 3:
                Act(L"Yes", where);
                Click(box, IDYES);
                break;
            default: PressKey(VK_ESCAPE, L"Escape", where); break;
        }
    }

    void ClickIfUsable(HWND page, int id, const wchar_t* what, const std::wstring& where) {
        if (!Usable(page, id)) return;
        Act(what, where);
        Click(page, id);
    }

    void FinishPage(HWND page, const std::wstring& where) {
        if (!Usable(page, kFinish)) return;
        const bool launch = m_random.Chance(50);
        if (IsWindowVisible(GetDlgItem(page, kLaunch))) CheckDlgButton(page, kLaunch, launch ? BST_CHECKED : BST_UNCHECKED);
        Act(launch ? L"Finish, launch on" : L"Finish, launch off", where);
        Click(page, kFinish);
    }

    void ChooseAnything(HWND main, HWND page, const std::wstring& name) {
        switch (m_random.Below(14)) {
            case 0: return ClickIfUsable(page, kAgree, L"I Agree / Next", name);
            case 1: return ClickIfUsable(page, kBack, L"Back", name);
            case 2: return ClickIfUsable(page, kAccept, L"Accept", name);
            case 3: return ClickIfUsable(page, kDecline, L"Decline", name);
            case 4: return ClickIfUsable(page, kCancel, L"Cancel", name);
            case 5:
                Act(L"close box", name);
                PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
                return;
            case 6: return PressKey(VK_ESCAPE, L"Escape", name);
            case 7: return PressKey(VK_RETURN, L"Enter", name);
            case 8: return PressKey(VK_TAB, L"Tab", name);
            case 9:
                Act(L"about item", name);
                PostMessageW(main, WM_SYSCOMMAND, kAboutCommand, 0);
                return;
            case 10:
                if (m_random.Chance(50)) return;  // rarer than the others: each start costs seconds
                Act(L"second instance", name);
                return StartSecondInstance();
            case 11:
                Act(L"tray icon click", name);
                PostMessageW(main, kTrayCallback, kTrayIconId, WM_LBUTTONDOWN);
                return;
            case 12: return FinishPage(page, name);
            default: return;  // a person who only looks
        }
    }

    // After the chosen actions: the shortest way to the end, with a harmless
    // key now and then while the wizard works.
    void Converge(HWND, HWND page, const std::wstring& name) {
        if (name == L"welcome" || name == L"license") return ClickIfUsable(page, kAgree, L"I Agree / Next", name);
        if (name == L"nox-offer" || name == L"gearfresh-offer") {
            return m_random.Chance(50) ? ClickIfUsable(page, kAccept, L"Accept", name)
                                       : ClickIfUsable(page, kDecline, L"Decline", name);
        }
        if (name == L"finished") return FinishPage(page, name);
        if (name == L"progress" && m_random.Chance(30)) PressKey(VK_TAB, L"Tab", name);
    }

    // A second start while the wizard runs: it shows its box (answered) or
    // nothing, and ends; a second wizard on screen is cancelled and finished.
    void StartSecondInstance() {
        Wizard second;
        if (!StartProgram(m_program, second.process)) {
            Say("second-instance", L"could not be started");
            return;
        }
        std::wstring seen = L"nothing";
        WaitFor([&] { return second.Box() || second.Main() || !second.Running(); }, 30000);
        if (HWND box = second.Box()) {
            seen = L"a box: " + ItemText(box, kBoxText);
            Click(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
        } else if (second.Main()) {
            seen = L"its own wizard, page " + PageName(second.Page());
            PostMessageW(second.Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
            WaitFor([&] { return second.Box() != nullptr; }, 10000);
            if (HWND question = second.Box()) Click(question, IDYES);
            WaitFor([&] { return PageName(second.Page()) == L"finished"; }, 30000);
            Click(second.Page(), kFinish);
        }
        const bool ended = WaitForSingleObject(second.process.hProcess, 30000) == WAIT_OBJECT_0;
        Say("second-instance", seen + (ended ? L", then it ended" : L", and it was still running"));
        if (!ended) TerminateProcess(second.process.hProcess, 99);
        CloseHandle(second.process.hThread);
        CloseHandle(second.process.hProcess);
    }

    const std::wstring m_program;
    SeededRandom m_random;
    int m_actionsLeft;
    Wizard m_wizard;
    LARGE_INTEGER m_frequency = {}, m_start = {};
    double m_lastActionMs = 0, m_endedAt = 0;
    std::wstring m_page, m_finishedVariant, m_windows;
    HWND m_box = nullptr;
};
}  // namespace

int RunChaosWalk(const std::wstring& program, unsigned long long seed, int actions) {
    return ChaosWalk(program, seed, actions).Run();
}
