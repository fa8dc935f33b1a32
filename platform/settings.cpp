#include "platform/settings.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include <cctype>
#include <climits>

namespace kormial::platform {

namespace {

QString settingPath(const std::string& section, const std::string& key)
{
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

}  // namespace

std::optional<std::string> GetSetting(const std::string& section, const std::string& key)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kSettingsApplication),
                    QLatin1String(kSettingsApplication));
    const QVariant value = store.value(settingPath(section, key));
    // A value edited into something other than plain text (a list, say)
    // counts as absent.
    if (!value.isValid() || value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString().toStdString();
}

void SaveSetting(const std::string& section, const std::string& key, const std::string& value)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kSettingsApplication),
                    QLatin1String(kSettingsApplication));
    store.setValue(settingPath(section, key), QString::fromStdString(value));
    store.sync();
}

void ReplaceSettings(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values)
{
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kSettingsApplication),
                    QLatin1String(kSettingsApplication));
    store.remove(QString::fromStdString(section));
    for (const auto& [key, value] : values) {
        store.setValue(settingPath(section, key), QString::fromStdString(value));
    }
    store.sync();
}

std::optional<int> ParseWholeNumber(const std::string& text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < n && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    long long value = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i])) != 0) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            return std::nullopt;
        }
        ++i;
    }
    if (i == digitsStart) {
        return std::nullopt;
    }
    while (i < n && isBlank(text[i])) {
        ++i;
    }
    if (i != n) {
        return std::nullopt;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX || value < INT_MIN) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

}  // namespace kormial::platform

namespace kormial {

int ShowTipsAtStartupValue()
{
    const auto text = platform::GetSetting(kOptionsSection, kShowTipsKey);
    if (!text) {
        return 1;
    }
    return platform::ParseWholeNumber(*text).value_or(1);
}

bool ShowTipsAtStartup()
{
    return ShowTipsAtStartupValue() != 0;
}

void SetShowTipsAtStartup(bool show)
{
    platform::SaveSetting(kOptionsSection, kShowTipsKey, show ? "1" : "0");
}

}  // namespace kormial
