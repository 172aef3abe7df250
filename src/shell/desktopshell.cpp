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

namespace pressbird {

class DesktopShell::Host final : public ShellHost {
public:
    explicit Host(Form1 &form)
        : m_form(form) {}
    QWidget &window() override { return m_form; }
    WindowMarker Tag() const override { return m_form.Tag(); }
    void setTag(WindowMarker tag) override { m_form.setTag(tag); }
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
    , m_trayController(std::make_unique<TrayController>(*m_host, services.tray, services.settings,
                                                        kWindowCaption.toString())) {
    connect(&m_form, &Form1::minimizeRequested, m_trayController.get(), &TrayController::Minimize);
    connect(&m_form, &Form1::exitRequested, m_trayController.get(), &TrayController::ExitM);
    connect(&m_form, &Form1::helpRequested, this, &DesktopShell::Helpf);
    connect(m_trayController.get(), &TrayController::ended, this, &DesktopShell::end);
}

DesktopShell::~DesktopShell() = default;

void DesktopShell::start() {
    RunLoadStep(*m_host, m_services.settings, [this] { showPrompt(); });
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
            m_form, m_services.settings, m_services.autostart, *m_messages);
    }
    m_prompt->show();
}

// The scan is cancelled where it waits: its frames go now, nothing of it runs
// again, and the event loop may end at once.
void DesktopShell::end() {
    if (m_prompt)
        m_prompt->hide();
    m_services.scan.stop();
    Q_EMIT ended();
}

void DesktopShell::Helpf() {
    // Nothing to report when no browser opens, as with any desktop link.
    pressbird::Helpf(m_services.urlOpener, m_services.helpPage);
}

} // namespace pressbird
