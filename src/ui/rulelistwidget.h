#pragma once

#include "rulelist.h"

#include <QListWidget>

namespace pressbird {

// A rule list as the user sees it: one line per rule with a tick box. It is
// the only copy of its rules; the scan and the store read it directly. The
// current entry is the highlighted line, -1 when none is highlighted.
class RuleListWidget final : public QListWidget, public EditableRuleList {
    Q_OBJECT

public:
    explicit RuleListWidget(QWidget *parent = nullptr);
    ~RuleListWidget() override;

    std::int16_t count() const override;
    std::optional<QString> text(std::int16_t index) const override;
    std::optional<bool> ticked(std::int16_t index) const override;
    quint64 revision() const override { return m_revision; }

    bool append(const QString &text) override;
    bool insertAtTop(const QString &text) override;
    void setTicked(std::int16_t index, bool ticked) override;
    void remove(std::int16_t index) override;
    std::int16_t currentEntry() const override;
    void setCurrentEntry(std::int16_t index) override;

Q_SIGNALS:
    // The user clicked a line or changed a tick box, by mouse or keyboard.
    // Changes made from code never raise it.
    void Click();
    // A mouse button went down (1 left, 2 right) at a point on the screen.
    void MouseDown(int button, const QPoint &globalPos);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool valid(std::int16_t index) const { return index >= 0 && index < QListWidget::count(); }
    QListWidgetItem *makeItem(const QString &text) const;

    // Set while a user's mouse or key event is being handled, so that a tick
    // or a move of the highlight inside it counts as a click.
    bool m_inUserEvent = false;
    bool m_changedByUser = false;
    bool m_leftPressed = false;
    quint64 m_revision = 0;
    QList<QMetaObject::Connection> m_revisions;
};

} // namespace pressbird
