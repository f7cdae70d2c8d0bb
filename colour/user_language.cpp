#include "user_language.h"

#include <windows.h>

#include <cstring>

namespace colour {

void UserLanguage(char language[2], char country[2]) {
  const LCID locale = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
  char text[9] = {};
  std::memset(language, 0, 2);
  std::memset(country, 0, 2);
  if (GetLocaleInfoA(locale, LOCALE_SISO639LANGNAME, text, sizeof text) > 2)
    std::memcpy(language, text, 2);
  if (GetLocaleInfoA(locale, LOCALE_SISO3166CTRYNAME, text, sizeof text) > 2)
    std::memcpy(country, text, 2);
}

}  // namespace colour
