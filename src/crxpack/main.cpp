// Packs the Connector extension for Chromium-family browsers: a zip made by
// the build, signed with the key kept in the repository, so the packed
// extension keeps the id the host manifests allow.
//
//   pressbird-crxpack ZIP KEY.pem OUT.crx   (prints the id)

#include "crx3.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>

using namespace pressbird;

namespace {
// The extension is a few tens of kilobytes; anything near this is not it.
constexpr qint64 kMaxInputBytes = 64 * 1024 * 1024;

std::optional<QByteArray> readAll(const QString &path, QString *why) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = path + u": "_qs + file.errorString();
        return std::nullopt;
    }
    if (file.size() > kMaxInputBytes) {
        *why = path + u": larger than 64 MiB"_qs;
        return std::nullopt;
    }
    return file.readAll();
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() != 3) {
        err << "usage: pressbird-crxpack ZIP KEY.pem OUT.crx\n";
        return 2;
    }
    QString why;
    const std::optional<QByteArray> zip = readAll(arguments.at(0), &why);
    const std::optional<QByteArray> key = zip ? readAll(arguments.at(1), &why) : std::nullopt;
    const std::optional<QByteArray> crx = key ? crx::packCrx3(*zip, *key, &why) : std::nullopt;
    if (!crx) {
        err << "pressbird-crxpack: " << why << '\n';
        return 1;
    }
    QSaveFile out(arguments.at(2));
    if (!out.open(QIODevice::WriteOnly) || out.write(*crx) != crx->size() || !out.commit()) {
        err << "pressbird-crxpack: " << arguments.at(2) << ": " << out.errorString() << '\n';
        return 1;
    }
    QTextStream(stdout) << crx::extensionId(*crx::publicKeyOf(*key)) << '\n';
    return 0;
}
