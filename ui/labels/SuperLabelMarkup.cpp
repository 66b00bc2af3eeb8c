#include "ui/labels/SuperLabelMarkup.h"

#include "ui/labels/SuperLabelStates.h"

namespace {

unsigned StyleOf(SuperLabelState state) {
    switch (state) {
    case SuperLabelState::Bold: return SuperLabelBold;
    case SuperLabelState::Italic: return SuperLabelItalic;
    case SuperLabelState::LinkTarget:
    case SuperLabelState::LinkText: return SuperLabelLink;
    default: return SuperLabelPlain;
    }
}

class MarkupParser {
public:
    SuperLabelMarkup Parse(std::wstring_view text) {
        if (!text.empty() && text.front() == kSuperLabelMarker) text.remove_prefix(1);
        std::size_t segmentStart = 0;
        for (std::size_t i = 0; i <= text.size(); ++i) {
            // The end of the view counts as the end-of-text unit.
            wchar_t unit = i < text.size() ? text[i] : L'\0';
            if (!IsSuperLabelMarkup(unit)) continue;
            SuperLabelState next = NextSuperLabelState(m_state, unit);
            if (next == SuperLabelState::Error) {
                m_result.wellFormed = false;
                break;
            }
            Leave(text.substr(segmentStart, i - segmentStart), next);
            m_state = next;
            segmentStart = i + 1;
            if (m_state == SuperLabelState::End) break;
        }
        return std::move(m_result);
    }

private:
    // Closes the segment of the state being left and opens the next run.
    void Leave(std::wstring_view segment, SuperLabelState next) {
        if (m_state == SuperLabelState::LinkTarget) {
            m_run.target.assign(segment);
            return;  // the link's visible text follows in the same run
        }
        m_run.text.assign(segment);
        if (!m_run.text.empty()) {
            m_result.plainText += m_run.text;
            m_result.runs.push_back(std::move(m_run));
        }
        m_run = SuperLabelRun();
        m_run.style = StyleOf(next);
    }

    SuperLabelState m_state = SuperLabelState::Plain;
    SuperLabelRun m_run;
    SuperLabelMarkup m_result;
};

}  // namespace

SuperLabelMarkup ParseSuperLabelMarkup(std::wstring_view text) { return MarkupParser().Parse(text); }
