// The user's UI language, for choosing among the localized records of a profile.
#pragma once

namespace colour {

// ISO 639-1 language and ISO 3166-1 country codes of the user's default UI language
// ("en", "US"); zeros where the system names none.
void UserLanguage(char language[2], char country[2]);

}  // namespace colour
