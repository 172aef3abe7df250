#pragma once

// Both stores behind one switch, so that each semantic test runs on the file
// store and on the memory store alike.

#include "memorysettingsstore.h"
#include "sqlitesettingsstore.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace pressbird::testing {

class StoreFixture {
public:
    explicit StoreFixture(bool onFile)
        : m_onFile(onFile) {
        reopen();
    }

    SettingsStore &store() { return *m_store; }
    QString path() const { return m_dir.filePath(QStringLiteral("settings.sqlite3")); }

    // A restart: the file store is closed and opened again; memory stays as is.
    void reopen() {
        if (!m_onFile) {
            if (!m_store)
                m_store = std::make_unique<MemorySettingsStore>();
            return;
        }
        m_store.reset();
        SettingsOpenResult opened = SqliteSettingsStore::open(path(), 100);
        QCOMPARE(opened.outcome, SettingsOpenResult::Outcome::Opened);
        m_store = std::move(opened.store);
    }

private:
    bool m_onFile;
    QTemporaryDir m_dir;
    std::unique_ptr<SettingsStore> m_store;
};

inline void addStoreRows() {
    QTest::addColumn<bool>("onFile");
    QTest::newRow("memory") << false;
    QTest::newRow("sqlite") << true;
}

} // namespace pressbird::testing
