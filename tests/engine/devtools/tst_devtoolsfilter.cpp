// The page's own test of the ticked rules, against a real headless Chromium:
// whatever it leaves out, the engine's test would not have matched either.

#include "chromium.h"
#include "rulematches.h"
#include "scanrig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestDevToolsFilter : public QObject {
    Q_OBJECT

private:
    HeadlessChromium m_chromium;
    QString m_tab;

    QStringList pageStrings(const QString &expression) {
        const QString json = m_chromium.evaluate(m_tab, u"JSON.stringify(%1)"_qs.arg(expression));
        QStringList strings;
        for (const QJsonValue value : QJsonDocument::fromJson(json.toUtf8()).array())
            strings.append(value.toString());
        return strings;
    }

private Q_SLOTS:
    void initTestCase() {
        PRESSBIRD_REQUIRE_CHROMIUM();
        QVERIFY(m_chromium.start());
        m_chromium.closeAllPages();
        m_tab = m_chromium.openTab(pageUrl(u"filter.html"_qs));
    }

    void eachRuleAlone_pressesExactlyWhatTheRuleTestMatches_data() {
        QTest::addColumn<QString>("entry");
        const auto row = [](const QString &name, const QString &kind) {
            QTest::newRow(qPrintable(kind + u' ' + name)) << rule(name, kind);
        };
        row(u"next"_qs, u"Starts With"_qs);
        row(u"next"_qs, u"Exact Match"_qs);
        row(u"page"_qs, u"Ends With"_qs);
        row(u"key"_qs, u"Exact Match"_qs);
        row(u"strasse"_qs, u"Exact Match"_qs);
        row(u"ff"_qs, u"Contains"_qs);
        row(u"id"_qs, u"Starts With"_qs);
        row(u"go\tthere"_qs, u"Exact Match"_qs);
        row(u"needle"_qs, u"Ends With"_qs);
        row(u"\u03a3\u039f\u03a6\u039f\u03a3"_qs, u"Exact Match"_qs);
        row(QString(), u"Contains"_qs); // every text but an empty one
        row(u"nothing here"_qs, u"Contains"_qs);
    }
    void eachRuleAlone_pressesExactlyWhatTheRuleTestMatches() {
        QFETCH(QString, entry);
        const QStringList texts = pageStrings(u"[...document.links].map((a) => a.outerText)"_qs);
        const QStringList values =
            pageStrings(u"[...document.querySelectorAll('input')].map((i) => i.value)"_qs);
        QCOMPARE(texts.size(), 12);
        QString expected;
        // An element without text is never pressed.
        const auto pressed = [&](const QString &text) {
            return !text.isEmpty() && RuleMatches(entry, true, text);
        };
        for (int i = 0; i < texts.size(); ++i)
            expected += pressed(texts.at(i)) ? u"L%1;"_qs.arg(i) : QString();
        for (int i = 0; i < values.size(); ++i)
            expected += pressed(values.at(i)) ? u"I%1;"_qs.arg(i) : QString();

        m_chromium.evaluate(m_tab, u"window.clicks = ''"_qs);
        ScanRig rig({m_chromium.endpoint()});
        rig.listClick.appendTicked(entry);
        rig.listPush.appendTicked(entry);
        rig.scan();
        QCOMPARE(m_chromium.evaluate(m_tab, u"window.clicks"_qs), expected);
    }

    void fieldLeftOut_readWhenAsked() {
        DevToolsBrowser browser({}, [this] { return QList<Endpoint>{m_chromium.endpoint()}; });
        std::shared_ptr<ShellWindows> windows = awaitOnLoop(browser.createShellWindows());
        QVERIFY(windows);
        // Tabs closed by other tests may still be listed for a moment.
        std::unique_ptr<BrowserWindow> window;
        for (int count = awaitOnLoop(windows->count()).value_or(0); count > 0; --count) {
            window = awaitOnLoop(windows->next());
            if (window && window->page().title == u"filter")
                break;
        }
        QVERIFY(window && window->page().title == u"filter");
        const std::unique_ptr<Document> document = awaitOnLoop(window->document());
        QVERIFY(document);
        MemoryRuleList rules;
        rules.appendTicked(rule(u"NEXT"_qs, u"Exact Match"_qs));
        document->setTextFilter(Collection::Links,
                                TextFilter::of(rules, TextFilter::Field::OuterText));
        document->setTextFilter(Collection::All,
                                TextFilter::of(rules, TextFilter::Field::InputValue));
        QCOMPARE(awaitOnLoop(document->length(Collection::Links)), std::optional<int>(12));
        QCOMPARE(awaitOnLoop(document->couldMatch(Collection::Links, 0)), std::optional(true));
        QCOMPARE(awaitOnLoop(document->couldMatch(Collection::Links, 1)), std::optional(false));
        QCOMPARE(awaitOnLoop(document->outerText(Collection::Links, 1)),
                 std::optional(u"  next page  "_qs));
        QCOMPARE(awaitOnLoop(document->length(Collection::All)), std::optional<int>(32));
        // The button's value is no input element's: left out, read when asked.
        QCOMPARE(awaitOnLoop(document->couldMatch(Collection::All, 31)), std::optional(false));
        QCOMPARE(awaitOnLoop(document->value(Collection::All, 31)), std::optional(u"Next"_qs));
        QCOMPARE(awaitOnLoop(document->tagName(Collection::All, 31)), std::optional(u"BUTTON"_qs));
    }
};

QTEST_MAIN(TestDevToolsFilter)
#include "tst_devtoolsfilter.moc"
