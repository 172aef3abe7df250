#pragma once

#include "memorysettingsstore.h"
#include "scantimer.h"
#include "settingkeys.h"
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

// The memory store, counting the writes that reach it.
class CountingStore final : public SettingsStore {
public:
    MemorySettingsStore memory;
    int writes = 0;

    // The stored text, or nullopt when the key is missing.
    std::optional<QString> value(const QString &section, const QString &key) {
        for (const SettingRow &row :
             GetAllSettings(kAppName.toString(), section).value_or(SettingRows()))
            if (row.key == key)
                return row.value;
        return std::nullopt;
    }
    bool SaveSetting(const QString &app, const QString &section, const QString &key,
                     const QString &value) override {
        ++writes;
        return memory.SaveSetting(app, section, key, value);
    }
    QString GetSetting(const QString &app, const QString &section, const QString &key,
                       const QString &defaultValue) override {
        return memory.GetSetting(app, section, key, defaultValue);
    }
    std::optional<SettingRows> GetAllSettings(const QString &app, const QString &section) override {
        return memory.GetAllSettings(app, section);
    }
    std::optional<SettingRows> GetFirstSettings(const QString &app, const QString &section,
                                                qsizetype limit) override {
        return memory.GetFirstSettings(app, section, limit);
    }
    qsizetype CountSettings(const QString &app, const QString &section) override {
        return memory.CountSettings(app, section);
    }
    bool DeleteSetting(const QString &app, const QString &section) override {
        ++writes;
        return memory.DeleteSetting(app, section);
    }
    bool ReplaceSection(const QString &app, const QString &section,
                        const SettingRows &rows) override {
        ++writes;
        return memory.ReplaceSection(app, section, rows);
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
    WindowMarker tag = WindowMarker::None;
    int fillListCalls = 0;
    bool finalCloseAllowed = false;
    std::function<void()> onFillList;

    QWidget &window() override { return widget; }
    WindowMarker Tag() const override { return tag; }
    void setTag(WindowMarker t) override { tag = t; }
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
    void allowFinalClose() override { finalCloseAllowed = true; }
};

class FakeTray final : public TrayIcon {
public:
    bool available = true;
    bool shown = false;
    qint64 iconKey = 0;
    QString tip;
    int adds = 0;
    QList<std::pair<QString, QString>> messages;

    bool isAvailable() const override { return available; }
    void show(const QIcon &icon, const QString &t) override {
        shown = true;
        iconKey = icon.cacheKey();
        tip = t;
        ++adds;
    }
    void hide() override { shown = false; }
    bool isShown() const override { return shown; }
    void showMessage(const QString &title, const QString &text) override {
        messages.append({title, text});
    }
    void press() { Q_EMIT leftButtonPressed(); }
};

class FakeMessages final : public ShellMessages {
public:
    QStringList warnings;
    void warning(const QString &text) override { warnings << text; }
};

} // namespace pressbird::testing
