#include "platform/user_language.h"

#include <gtest/gtest.h>

#include "tests/support/version_files.h"

namespace {

TEST(UserLanguage, LocaleNamesGiveTheirLanguageIds) {
    struct Case {
        const char* locale;
        std::uint16_t id;
    };
    for (const Case& c :
         {Case{"en_US.UTF-8", 0x0409}, Case{"en_GB.UTF-8", 0x0809}, Case{"en_AU", 0x0C09},
          Case{"nl_NL", 0x0413}, Case{"nl_BE.UTF-8", 0x0813}, Case{"de_DE", 0x0407},
          Case{"de_CH.UTF-8", 0x0807}, Case{"de_DE@euro", 0x0407}, Case{"fr_CA", 0x0C0C},
          Case{"ja_JP.eucJP", 0x0411}, Case{"zh_CN.GB18030", 0x0804}, Case{"zh_TW", 0x0404},
          Case{"pt_BR", 0x0416}, Case{"pt_PT", 0x0816}, Case{"es_ES", 0x0C0A},
          // A language alone, or with a territory the table has no sublanguage for.
          Case{"de", 0x0407}, Case{"nl_SR", 0x0413}, Case{"nn_NO", 0x0814}})
        EXPECT_EQ(platform::languageOfLocale(c.locale), c.id) << c.locale;
}

TEST(UserLanguage, NoLanguageMeansUsEnglish) {
    for (const char* locale : {"C", "POSIX", "C.UTF-8", "", "xx_YY", "_GB"})
        EXPECT_EQ(platform::languageOfLocale(locale), 0x0409) << locale;
}

TEST(UserLanguage, TheFirstOfLcAllLcMessagesAndLangThatIsSetCounts) {
    {
        testenv::UserLocale locale("nl_NL.UTF-8", "de_DE.UTF-8", "en_GB.UTF-8");
        EXPECT_EQ(platform::userDefaultLanguage(), 0x0413);
    }
    {
        testenv::UserLocale locale("", "de_DE.UTF-8", "en_GB.UTF-8");
        EXPECT_EQ(platform::userDefaultLanguage(), 0x0407);
    }
    {
        testenv::UserLocale locale("en_GB.UTF-8");
        EXPECT_EQ(platform::userDefaultLanguage(), 0x0809);
    }
    {
        testenv::UserLocale locale("");
        EXPECT_EQ(platform::userDefaultLanguage(), 0x0409);
    }
}

}  // namespace
