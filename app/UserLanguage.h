#pragma once
// The wizard ships string tables for English, German, Spanish, French and
// Japanese. The user's language is mapped to one of them by its primary
// language, so that regional variants (de-AT, fr-CA, es-MX) get their
// language's table and every other language gets English.
#include <windows.h>

LANGID ChooseTableLanguage(LANGID userLanguage);

// Points the calling thread's resource lookups at the table for the user's
// language. Wine chooses string tables by the thread locale and Windows by the
// thread UI language, so both are set. Call on every thread that loads texts.
void ApplyUserLanguage();
