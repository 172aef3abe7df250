#pragma once

#include "form1.h"
#include "memorysettingsstore.h"
#include "messageboxes.h"
#include "programtitle.h"
#include "ruleentry.h"
#include "rulelistwidget.h"
#include "scantimer.h"
#include "settings.h"

#include <QComboBox>
#include <QList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace pressbird::testing {

// Keeps every message instead of showing it.
class RecordingMessageBoxes final : public MessageBoxes {
public:
    struct Message {
        QString text;
        QString title;
    };
    QList<Message> shown;

    void inform(const QString &text, const QString &title) override { shown.append({text, title}); }
};

// One main window with everything it needs, over a store that outlives it,
// so that a second window can be made over the same store as a restart.
// Refused saves are reported as the program reports them.
struct UiFixture {
    MemorySettingsStore ownStore;
    SettingsStore *store = &ownStore;
    ScanTimer timer;
    QTemporaryDir asideFolder;
    RecordingMessageBoxes messages;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<Form1> form;

    // Builds the window and fills the kind pick lists as start-up does.
    Form1 &start() {
        form.reset();
        settings = std::make_unique<Settings>(*store, asideFolder.path());
        settings->setReporter(
            [this](const QString &text) { messages.inform(text, kProgramTitle.toString()); });
        form = std::make_unique<Form1>(*settings, timer, messages);
        form->Combo1()->addItems(linkKindCaptions());
        form->Combo2()->addItems(buttonKindCaptions());
        return *form;
    }
    // A new window over the same store, loading the rules as start-up does.
    Form1 &restart() {
        form.reset();
        start();
        form->FillList();
        return *form;
    }

    QString stored(const QString &key) {
        return store->GetSetting(kAppName.toString(), QStringLiteral("list"), key, QString());
    }
    std::optional<SettingRows> storedList() {
        return store->GetAllSettings(kAppName.toString(), QStringLiteral("list"));
    }
};

// What the user sees of a list: the lines with a mark for each tick.
inline QStringList linesOf(const RuleListWidget &list) {
    QStringList lines;
    for (std::int16_t i = 0; i < list.count(); ++i)
        lines.append(
            (list.ticked(i).value_or(false) ? QStringLiteral("[x] ") : QStringLiteral("[ ] ")) +
            list.text(i).value_or(QString()));
    return lines;
}

} // namespace pressbird::testing
