#include "desktopshell.h"

#include "form1.h"
#include "form2255.h"
#include "helppage.h"
#include "loadstep.h"
#include "messageboxes.h"
#include "programtitle.h"
#include "scancycle.h"
#include "shellhost.h"
#include "shellmessages.h"
#include "startupprompt.h"
#include "traycontroller.h"

#include <QCheckBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>

namespace pressbird {

namespace {
constexpr int kUnwindPollMs = 10;
} // namespace

class DesktopShell::Host final : public ShellHost {
public:
    explicit Host(Form1 &form)
        : m_form(form) {}
    QWidget &window() override { return m_form; }
    QString Tag() const override { return m_form.Tag(); }
    void setTag(const QString &tag) override { m_form.setTag(tag); }
    QComboBox &Combo1() override { return *m_form.Combo1(); }
    QComboBox &Combo2() override { return *m_form.Combo2(); }
    QLineEdit &Text1() override { return *m_form.Text1(); }
    ScanTimer &Timer1() override { return m_form.Timer1(); }
    QAction &MinimizeApplicationonStartup() override {
        return *m_form.MinimizeApplicationonStartup();
    }
    QIcon Image1() const override { return m_form.Image1(); }
    QIcon Image2() const override { return m_form.Image2(); }
    void FillList() override { m_form.FillList(); }
    void stopScan() override { m_form.stopScan(); }
    void allowFinalClose() override { m_form.allowFinalClose(); }

private:
    Form1 &m_form;
};

class DesktopShell::Messages final : public ShellMessages {
public:
    explicit Messages(MessageBoxes &boxes)
        : m_boxes(boxes) {}
    void warning(const QString &text) override { m_boxes.inform(text, kProgramTitle.toString()); }

private:
    MessageBoxes &m_boxes;
};

DesktopShell::DesktopShell(Form1 &form, Services services, QObject *parent)
    : QObject(parent)
    , m_form(form)
    , m_services(services)
    , m_host(std::make_unique<Host>(form))
    , m_messages(std::make_unique<Messages>(services.messages))
    , m_trayController(std::make_unique<TrayController>(*m_host, services.tray, services.store,
                                                        kWindowCaption.toString())) {
    connect(&m_form, &Form1::minimizeRequested, m_trayController.get(), &TrayController::Minimize);
    connect(&m_form, &Form1::exitRequested, m_trayController.get(), &TrayController::ExitM);
    connect(&m_form, &Form1::helpRequested, this, &DesktopShell::Helpf);
    connect(m_trayController.get(), &TrayController::ended, this, [this] {
        if (m_prompt)
            m_prompt->hide();
        endOnceScanHasReturned();
    });
}

DesktopShell::~DesktopShell() = default;

void DesktopShell::start() {
    RunLoadStep(*m_host, m_services.store, [this] { showPrompt(); });
    if (m_trayController->restoreStartMinimized())
        m_trayController->Minimize();
    else
        m_form.show();
}

void DesktopShell::showPrompt() {
    if (!m_prompt) {
        m_prompt = std::make_unique<Form2255>();
        m_promptLogic = std::make_unique<StartupPrompt>(
            StartupPrompt::Controls{m_prompt.get(), m_prompt->Command1(), m_prompt->Command2(),
                                    m_prompt->Check1()},
            m_form, m_services.store, m_services.autostart, *m_messages);
    }
    m_prompt->show();
}

// Once the event loop is told to quit, every nested loop returns at once
// without handling events, so a scan waiting for the browser inside one would
// spin and never return. The scan was told to stop and returns at its next
// step; the program ends when it has, and when no other nested loop runs.
void DesktopShell::endOnceScanHasReturned() {
    if (m_ending)
        return;
    m_ending = true;
    const auto unwound = [this] {
        return !m_form.scanCycle().isScanning() && QThread::currentThread()->loopLevel() <= 1;
    };
    if (unwound()) {
        Q_EMIT ended();
        return;
    }
    auto *poll = new QTimer(this);
    poll->setInterval(kUnwindPollMs);
    connect(poll, &QTimer::timeout, this, [this, poll, unwound] {
        if (!unwound())
            return;
        poll->stop();
        Q_EMIT ended();
    });
    poll->start();
}

void DesktopShell::Helpf() {
    // Nothing to report when no browser opens, as with any desktop link.
    pressbird::Helpf(m_services.urlOpener, m_services.helpPage);
}

} // namespace pressbird
