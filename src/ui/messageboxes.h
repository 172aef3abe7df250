#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace pressbird {

// Every message the program shows goes through here, so that tests can read
// the text and the title without a modal box in the way.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // An application-modal box with one OK button and no icon. It returns at
    // once: the box stays up while the event loop, and a scan, go on.
    virtual void inform(const QString &text, const QString &title) = 0;
};

class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget *parent = nullptr)
        : m_parent(parent) {}

    // The window the boxes are centred on; the active window when unset.
    void setParentWidget(QWidget *parent) { m_parent = parent; }

    void inform(const QString &text, const QString &title) override;

private:
    QPointer<QWidget> m_parent;
};

} // namespace pressbird
