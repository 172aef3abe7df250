// Today's walk of a tab's frames: after the page and in tree order, within
// the tab's time and its most frames; the classic walk never looks at them.
// A browser that keeps its reads has its frames made and read ahead, all
// together with the page: the walk comes out the same.

#include "scanfixture.h"

#include <QTest>

using namespace pressbird;
using namespace pressbird::testing;

class TestFrameWalk : public QObject {
    Q_OBJECT

    // A tab whose page and each of its frames hold one "Go" input.
    struct Rig {
        ScanFixture f;
        SimulatedPagePtr page = std::make_shared<SimulatedPage>();
        QList<SimulatedElementPtr> inputs; // the page's first, then each frame's
        QStringList pressedIn;             // the frame of each press; empty: the page

        explicit Rig(int frames, bool readsAhead = false) {
            inputs.append(page->addInput(u"Go"_qs));
            for (int i = 0; i < frames; ++i) {
                auto frame = std::make_shared<SimulatedPage>();
                frame->address = u"https://frame.test/"_qs + QString::number(i);
                inputs.append(frame->addInput(u"Go"_qs));
                page->frames.append(frame);
            }
            f.browser.addWindow(page)->readsAhead = readsAhead;
            f.listPush.appendTicked(rule(u"Go"_qs, u"Exact Match"_qs));
            f.engine.setPressObserver(
                [this](const ActivityEntry &press) { pressedIn.append(press.frame); });
        }
        // How many inputs were pressed, checking they are a prefix in walk order.
        int pressedPrefix() const {
            int pressed = 0;
            while (pressed < inputs.size() && inputs.at(pressed)->clicks == 1)
                ++pressed;
            for (qsizetype i = pressed; i < inputs.size(); ++i)
                if (inputs.at(i)->clicks != 0)
                    return -1;
            return pressed;
        }
    };

    static void addReadsAheadRows() {
        QTest::addColumn<bool>("readsAhead");
        QTest::newRow("made as walked") << false;
        QTest::newRow("made and read ahead") << true;
    }

private Q_SLOTS:
    void frames_walkedAfterThePageInOrder_byTodaysWalkOnly_data() { addReadsAheadRows(); }
    void frames_walkedAfterThePageInOrder_byTodaysWalkOnly() {
        QFETCH(bool, readsAhead);
        Rig rig(2, readsAhead);
        runToEnd(rig.f.engine.PushButtons());
        QCOMPARE(rig.pressedPrefix(), 1);
        QCOMPARE(rig.f.callCount(u"frameDocument"_qs), 0);

        rig.f.engine.setPageOptions({.today = true});
        for (const SimulatedElementPtr &input : std::as_const(rig.inputs))
            input->clicks = 0;
        rig.pressedIn.clear();
        runToEnd(rig.f.engine.PushButtons());
        QCOMPARE(rig.pressedPrefix(), 3);
        QCOMPARE(rig.pressedIn,
                 (QStringList{QString(), u"https://frame.test/0"_qs, u"https://frame.test/1"_qs}));
        QVERIFY(rig.f.engine.cutShortPages().isEmpty());
    }

    void mostFrames_walked_andOnlyFramesLeftCutTheTabShort_data() {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("failing"); // a frame whose document cannot be made; -1: none
        QTest::addColumn<int>("pressed"); // the page's input and the frames'
        QTest::addColumn<bool>("cutShort");
        QTest::addColumn<bool>("readsAhead");
        const int most = BrowserWindow::kMostFrames;
        for (const bool ahead : {false, true}) {
            const char *how = ahead ? ", read ahead" : "";
            QTest::addRow("the most%s", how) << most << -1 << 1 + most << false << ahead;
            QTest::addRow("one more%s", how) << most + 1 << -1 << 1 + most << true << ahead;
            QTest::addRow("a frame failing is passed over%s", how) << 3 << 1 << 3 << false << ahead;
            QTest::addRow("the last frame failing%s", how) << 4 << 3 << 4 << false << ahead;
        }
    }
    void mostFrames_walked_andOnlyFramesLeftCutTheTabShort() {
        QFETCH(int, frames);
        QFETCH(int, failing);
        QFETCH(int, pressed);
        QFETCH(bool, cutShort);
        QFETCH(bool, readsAhead);
        Rig rig(frames, readsAhead);
        rig.f.engine.setPageOptions({.today = true});
        rig.f.browser.failWhen = [failing](const SimulatedCallInfo &info) {
            return info.call == SimulatedCall::FrameDocument && info.index == failing;
        };
        runToEnd(rig.f.engine.PushButtons());
        int total = 0;
        for (const SimulatedElementPtr &input : std::as_const(rig.inputs))
            total += input->clicks;
        QCOMPARE(total, pressed);
        if (failing < 0)
            QCOMPARE(rig.pressedPrefix(), pressed);
        else
            QCOMPARE(rig.inputs.at(1 + failing)->clicks, 0);
        QCOMPARE(rig.f.engine.cutShortPages().size(), cutShort ? 1 : 0);
    }

    // A browser slow to make frame documents spends the tab's time on frames
    // walked: those made in time are pressed, the rest wait for a later scan.
    void slowFrames_thoseMadeInTimeWalked_theTabCutShort_data() { addReadsAheadRows(); }
    void slowFrames_thoseMadeInTimeWalked_theTabCutShort() {
        QFETCH(bool, readsAhead);
        Rig rig(40, readsAhead);
        rig.f.engine.setPageOptions({.today = true});
        const int makeMs = ScanEngine::kTodayFramesMs / 20;
        rig.f.browser.answerDelayMs = [makeMs](const SimulatedCallInfo &info) {
            return info.call == SimulatedCall::FrameDocument ? makeMs : 0;
        };
        Task<> scan = rig.f.engine.PushButtons();
        bool done = false;
        scan.start([&done] { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 4 * ScanEngine::kTodayFramesMs);
        const int pressed = rig.pressedPrefix();
        QVERIFY2(pressed > 1 + 5 && pressed <= 1 + 20, qPrintable(QString::number(pressed)));
        QCOMPARE(rig.f.engine.cutShortPages().size(), 1);
    }

    // The page's first read and every frame's go out before any answers.
    void framesReadAhead_askedTogetherWithThePage() {
        Rig rig(3, true);
        rig.f.engine.setPageOptions({.today = true});
        QCOMPARE(rig.f.lengthsAskedTogether(rig.f.engine.PushButtons()), 4);
        QCOMPARE(rig.pressedPrefix(), 4);
        QCOMPARE(rig.f.callCount(u"frameDocument"_qs), 3); // each made once
    }
};

QTEST_GUILESS_MAIN(TestFrameWalk)
#include "tst_framewalk.moc"
