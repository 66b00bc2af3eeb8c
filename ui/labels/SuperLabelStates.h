#pragma once
// The state table of the super-label markup. Code units 0 to 7 are markup;
// every other code unit is literal text and leaves the state unchanged.
//
//   0x02 target 0x01 visible text 0x03   a link
//   0x04 text 0x05                       bold text
//   0x06 text 0x07                       italic text
//   0x00                                 end of text (plain state only)
//
// Markup does not nest: any pair of state and markup unit that the table does
// not list leads to the error state.

enum class SuperLabelState {
    Plain,
    LinkTarget,
    LinkText,
    Bold,
    Italic,
    End,
    Error,
};

constexpr bool IsSuperLabelMarkup(wchar_t unit) { return unit <= 7; }

// The state after markup unit (0 to 7) in state; End and Error stay as they are.
SuperLabelState NextSuperLabelState(SuperLabelState state, wchar_t unit);
