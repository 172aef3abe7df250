#pragma once

#include "connectorlink.h"
#include "pagedocument.h"

namespace pressbird {

// A tab's top-level document, or one of its frames' (the extension's frame
// id, 0 for the top), as it was when it was taken, reached through the
// extension's content script. The content script names each document it
// serves; a call naming another one (the tab or frame navigated) or a closed
// tab fails the call, and every later one.
class ConnectorDocument final : public PageDocument {
public:
    ConnectorDocument(std::shared_ptr<ConnectorLink> link, qint64 tab, QString name,
                      std::shared_ptr<PageMemory> memory, qint64 frame = 0);

protected:
    bool alive() const override;
    Task<std::optional<QJsonValue>> call(PageCall call) override;
    Task<PressResult> press(PageCall call) override;
    int callTimeoutMs() const override { return m_link->timeouts().callMs; }

private:
    Task<ConnectorReply> run(const PageCall &call);

    std::shared_ptr<ConnectorLink> m_link;
    qint64 m_tab;
    QString m_name;
    qint64 m_frame;
    bool m_gone = false;
};

} // namespace pressbird
