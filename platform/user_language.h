// The user's default language as the original platform numbers languages (a LANGID: primary
// language in the low 10 bits, sublanguage above), for the version texts' translations.
//
// It comes from the locale the user runs under: the first of LC_ALL, LC_MESSAGES and LANG that
// is set and not empty ("en_GB.UTF-8" is 0x0809, "nl_NL" 0x0413, "de" 0x0407). "C", "POSIX",
// nothing set, or a language the table does not know give US English, 0x0409.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

std::uint16_t userDefaultLanguage();
// The LANGID of a locale name "language[_TERRITORY][.codeset][@modifier]".
std::uint16_t languageOfLocale(std::string_view locale);

}  // namespace platform
