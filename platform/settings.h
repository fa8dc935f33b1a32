// The per-user settings store: values kept as text, found again by
// application, section and key. Kept by QSettings in the user's
// configuration folder (~/.config/Kormial/Kormial.conf).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kormial::platform {

inline constexpr const char* kSettingsApplication = "Kormial";

// The stored text, or nothing when the key is absent (or holds no text).
std::optional<std::string> GetSetting(const std::string& section, const std::string& key);
// Stores `value` and writes it out at once. A store that cannot be written
// is not reported.
void SaveSetting(const std::string& section, const std::string& key, const std::string& value);
// Replaces every key of `section` with `values` (key, text) and writes them
// out at once.
void ReplaceSettings(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values);

// A setting's text read as a signed 32-bit whole number (blanks around it
// and a sign allowed); nothing for any other text.
std::optional<int> ParseWholeNumber(const std::string& text);

}  // namespace kormial::platform

namespace kormial {

inline constexpr const char* kOptionsSection = "Options";
inline constexpr const char* kShowTipsKey = "Show Tips at Startup";

// The tip window's switch as stored: 1 when absent, and 1 when the stored
// text is not a whole number.
int ShowTipsAtStartupValue();
// True unless the stored value is 0.
bool ShowTipsAtStartup();
// Writes "1" or "0".
void SetShowTipsAtStartup(bool show);

}  // namespace kormial
