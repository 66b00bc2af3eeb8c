#include "app/UserLanguage.h"

LANGID ChooseTableLanguage(LANGID userLanguage) {
    switch (PRIMARYLANGID(userLanguage)) {
        case LANG_GERMAN: return MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
        case LANG_SPANISH: return MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN);
        case LANG_FRENCH: return MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
        case LANG_JAPANESE: return MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN);
        default: return MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    }
}

void ApplyUserLanguage() {
    LANGID language = ChooseTableLanguage(GetUserDefaultUILanguage());
    SetThreadLocale(MAKELCID(language, SORT_DEFAULT));
    SetThreadUILanguage(language);
}
