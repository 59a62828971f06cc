#include "platform/user_language.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

constexpr std::uint16_t kUsEnglish = 0x0409;
constexpr std::uint16_t kDefaultSublanguage = 1;

struct Primary {
    const char* language;  // ISO 639
    std::uint16_t id;
};
// Primary language identifiers of the languages a Veltrix customer is likely to run under.
constexpr Primary kPrimaries[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16}, {"ro", 0x18},
    {"ru", 0x19}, {"hr", 0x1A}, {"sk", 0x1B}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F},
    {"id", 0x21}, {"uk", 0x22}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27},
    {"vi", 0x2A}, {"hi", 0x39}, {"ms", 0x3E},
};

struct Sublanguage {
    const char* locale;  // language_TERRITORY
    std::uint16_t sublanguage;
};
// The territories whose sublanguage is not the language's default one.
constexpr Sublanguage kSublanguages[] = {
    {"de_CH", 2}, {"de_AT", 3}, {"de_LU", 4},    {"de_LI", 5}, {"en_GB", 2},    {"en_AU", 3},
    {"en_CA", 4}, {"en_NZ", 5}, {"en_IE", 6},    {"en_ZA", 7}, {"en_IN", 0x10}, {"en_SG", 0x12},
    {"es_MX", 2}, {"es_ES", 3}, {"es_AR", 0x0B}, {"fr_BE", 2}, {"fr_CA", 3},    {"fr_CH", 4},
    {"fr_LU", 5}, {"it_CH", 2}, {"nl_BE", 2},    {"pt_BR", 1}, {"pt_PT", 2},    {"sv_FI", 2},
    {"zh_TW", 1}, {"zh_CN", 2}, {"zh_HK", 3},    {"zh_SG", 4}, {"nn_NO", 2},
};

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return out;
}

}  // namespace

std::uint16_t languageOfLocale(std::string_view locale) {
    locale = locale.substr(0, locale.find_first_of(".@"));
    const std::string_view language = locale.substr(0, locale.find('_'));
    // Norwegian Nynorsk shares the primary language of Bokmål.
    const std::string primaryName = language == "nn" ? "no" : lower(language);
    const Primary* primary =
        std::find_if(std::begin(kPrimaries), std::end(kPrimaries),
                     [&](const Primary& p) { return primaryName == p.language; });
    if (primary == std::end(kPrimaries)) return kUsEnglish;
    std::uint16_t sublanguage = kDefaultSublanguage;
    for (const Sublanguage& s : kSublanguages)
        if (locale == s.locale) sublanguage = s.sublanguage;
    return static_cast<std::uint16_t>(sublanguage << 10 | primary->id);
}

std::uint16_t userDefaultLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return languageOfLocale(value);
    }
    return kUsEnglish;
}

}  // namespace platform
