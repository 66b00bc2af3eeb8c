#include "ui/labels/SuperLabelStates.h"

namespace {

constexpr SuperLabelState E = SuperLabelState::Error;
constexpr SuperLabelState P = SuperLabelState::Plain;

// Rows: Plain, LinkTarget, LinkText, Bold, Italic. Columns: markup units 0 to 7.
constexpr SuperLabelState kTransitions[5][8] = {
    // 0x00                 0x01                       0x02                         0x03  0x04                   0x05  0x06                     0x07
    {SuperLabelState::End, E, SuperLabelState::LinkTarget, E, SuperLabelState::Bold, E, SuperLabelState::Italic, E},
    {E, SuperLabelState::LinkText, E, E, E, E, E, E},
    {E, E, E, P, E, E, E, E},
    {E, E, E, E, E, P, E, E},
    {E, E, E, E, E, E, E, P},
};

}  // namespace

SuperLabelState NextSuperLabelState(SuperLabelState state, wchar_t unit) {
    if (state == SuperLabelState::End || state == SuperLabelState::Error) return state;
    if (!IsSuperLabelMarkup(unit)) return state;
    return kTransitions[static_cast<int>(state)][static_cast<int>(unit)];
}
