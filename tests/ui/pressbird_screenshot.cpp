// Saves a picture of the main window with a few sample rules:
//   pressbird_screenshot <main.png> [--calibration] [--prompt <prompt.png>]
// Run it under an X server (Xvfb) to see the real fonts and style.
#include "form2255.h"
#include "uifixture.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QTextStream>

using namespace pressbird;
using namespace pressbird::testing;

namespace {

bool save(QWidget &widget, const QString &path) {
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget))
        return false;
    QTest::qWait(200);
    return widget.grab().save(path);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("out"),
                                 QStringLiteral("PNG file of the main window"));
    parser.addOption({QStringLiteral("calibration"), QStringLiteral("Show the Calibration frame")});
    parser.addOption({QStringLiteral("prompt"), QStringLiteral("Also save the start-up prompt"),
                      QStringLiteral("file")});
    parser.addHelpOption();
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    UiFixture fx;
    Form1 &form = fx.start();
    form.Combo1()->setCurrentIndex(0);
    form.Combo2()->setCurrentIndex(2);
    for (const char *rule : {"Next", "Continue reading", "Load more"})
        form.ListClick()->append(
            MakeEntryText(QString::fromLatin1(rule), QStringLiteral("Contains ")));
    for (const char *rule : {"OK", "Accept"})
        form.ListPush()->append(
            MakeEntryText(QString::fromLatin1(rule), QStringLiteral("Exact Match")));
    form.ListClick()->setTicked(0, true);
    form.ListClick()->setTicked(2, true);
    form.ListPush()->setTicked(0, true);
    form.ListClick()->setCurrentEntry(1);
    if (parser.isSet(QStringLiteral("calibration")))
        form.Calibration_Click();

    QTextStream err(stderr);

    if (!save(form, parser.positionalArguments().first())) {
        err << "could not save the main window\n";
        return 1;
    }
    if (parser.isSet(QStringLiteral("prompt"))) {
        Form2255 prompt;
        if (!save(prompt, parser.value(QStringLiteral("prompt")))) {
            err << "could not save the prompt\n";
            return 1;
        }
    }
    return 0;
}
