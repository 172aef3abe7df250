#pragma once

#include "scantimer.h"
#include "settingsstore.h"
#include "shellhost.h"
#include "shellmessages.h"
#include "trayicon.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMap>
#include <QPixmap>
#include <QWidget>

namespace pressbird::testing {

// Sections of text values in memory; a store that can be told to refuse writes.
class FakeStore final : public SettingsStore {
public:
    QMap<QString, SettingRows> sections;
    bool refuseWrites = false;
    int writes = 0;

    std::optional<QString> value(const QString &section, const QString &key) const {
        for (const SettingRow &row : sections.value(section))
            if (row.key == key)
                return row.value;
        return std::nullopt;
    }
    bool SaveSetting(const QString &, const QString &section, const QString &key,
                     const QString &value) override {
        ++writes;
        if (refuseWrites)
            return false;
        SettingRows &rows = sections[section];
        for (SettingRow &row : rows)
            if (row.key == key) {
                row.value = value;
                return true;
            }
        rows.append({key, value});
        return true;
    }
    QString GetSetting(const QString &, const QString &section, const QString &key,
                       const QString &defaultValue) override {
        return value(section, key).value_or(defaultValue);
    }
    std::optional<SettingRows> GetAllSettings(const QString &, const QString &section) override {
        if (sections.value(section).isEmpty())
            return std::nullopt;
        return sections.value(section);
    }
    bool DeleteSetting(const QString &, const QString &section) override {
        return sections.remove(section) > 0;
    }
    bool ReplaceSection(const QString &, const QString &section, const SettingRows &rows) override {
        sections[section] = rows;
        return true;
    }
};

// The main window as the shell sees it, made of plain controls.
class FakeHost final : public ShellHost {
public:
    FakeHost() {
        text1.setText(QStringLiteral("5000"));
        QPixmap red(16, 16);
        red.fill(Qt::red);
        QPixmap blue(16, 16);
        blue.fill(Qt::blue);
        image1 = QIcon(red);
        image2 = QIcon(blue);
    }

    QWidget widget;
    QComboBox combo1;
    QComboBox combo2;
    QLineEdit text1;
    ScanTimer timer1;
    QAction minimizeOnStartup;
    QIcon image1;
    QIcon image2;
    QString tag;
    int fillListCalls = 0;
    int stopScanCalls = 0;
    bool finalCloseAllowed = false;
    std::function<void()> onFillList;

    QWidget &window() override { return widget; }
    QString Tag() const override { return tag; }
    void setTag(const QString &t) override { tag = t; }
    QComboBox &Combo1() override { return combo1; }
    QComboBox &Combo2() override { return combo2; }
    QLineEdit &Text1() override { return text1; }
    ScanTimer &Timer1() override { return timer1; }
    QAction &MinimizeApplicationonStartup() override { return minimizeOnStartup; }
    QIcon Image1() const override { return image1; }
    QIcon Image2() const override { return image2; }
    void FillList() override {
        ++fillListCalls;
        if (onFillList)
            onFillList();
    }
    void stopScan() override { ++stopScanCalls; }
    void allowFinalClose() override { finalCloseAllowed = true; }
};

class FakeTray final : public TrayIcon {
public:
    bool available = true;
    bool shown = false;
    qint64 iconKey = 0;
    QString tip;
    int adds = 0;

    bool isAvailable() const override { return available; }
    void show(const QIcon &icon, const QString &t) override {
        shown = true;
        iconKey = icon.cacheKey();
        tip = t;
        ++adds;
    }
    void hide() override { shown = false; }
    bool isShown() const override { return shown; }
    void press() { Q_EMIT leftButtonPressed(); }
};

class FakeMessages final : public ShellMessages {
public:
    QStringList warnings;
    void warning(const QString &text) override { warnings << text; }
};

} // namespace pressbird::testing
