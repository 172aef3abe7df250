#pragma once

#include <QStringView>

namespace pressbird {

inline constexpr QStringView kAppName = u"Pressbird";

// Every single value Pressbird keeps, with where it lives and what a missing
// one reads as. The rule lists have a section of their own (kListSection).
enum class SettingKey {
    IntervalText,          // the Calibration box's text as typed
    StartUpAnswer,         // the run-at-log-on prompt: "1" answered for good
    StartMinimized,        // Options, Minimize Application on Startup: "True" or "False"
    PagesPreference,       // which elements the walks read: "classic" or "today" (preferences.h)
    VisibleOnlyPreference, // press only what a person could see: "off" or "on"
};

struct SettingKeyInfo {
    QStringView section;
    QStringView key;
    QStringView defaultValue;
};

constexpr SettingKeyInfo infoOf(SettingKey key) {
    switch (key) {
    case SettingKey::IntervalText:
        return {u"Opt", u"Text1Text", u"5000"};
    case SettingKey::StartUpAnswer:
        return {u"StartUpQ", u"qStrup", u"0"};
    case SettingKey::StartMinimized:
        return {u"option", u"minappsu", u"False"};
    case SettingKey::PagesPreference:
        return {u"preferences", u"pages", u"classic"};
    case SettingKey::VisibleOnlyPreference:
        return {u"preferences", u"visible-only", u"off"};
    }
    return {};
}

// The rule lists: one row per rule, button rules first.
inline constexpr QStringView kListSection = u"list";
inline constexpr QStringView kPushKeyPrefix = u"listpush-";
inline constexpr QStringView kClickKeyPrefix = u"listclick-";

// The rules' options: one row per rule that has any, keyed by the list's
// prefix and the rule's line (ruleoptionsbook.h).
inline constexpr QStringView kRuleOptionsSection = u"ruleoptions";
inline constexpr QStringView kLinkOptionsPrefix = u"link:";
inline constexpr QStringView kButtonOptionsPrefix = u"button:";

} // namespace pressbird
