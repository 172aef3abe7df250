#pragma once

#include "cdpconnection.h"
#include "pagedocument.h"

namespace pressbird {

// A page's top-level document as it was when it was taken, reached through
// our isolated world of it over the DevTools protocol.
class DevToolsDocument final : public ScriptPageDocument {
public:
    DevToolsDocument(std::shared_ptr<CdpConnection> connection, CdpSessionPtr session,
                     QString uniqueContextId, QString loaderId, std::shared_ptr<PageMemory> memory);

protected:
    bool alive() const override;
    Task<std::optional<QJsonValue>> evaluate(QString expression, bool userGesture) override;
    Task<PressResult> pressScript(QString expression) override;
    int callTimeoutMs() const override { return m_connection->timeouts().callMs; }

private:
    // One Runtime.evaluate in our isolated world, answered by value.
    Task<CdpReply> run(const QString &expression, bool userGesture);

    std::shared_ptr<CdpConnection> m_connection;
    CdpSessionPtr m_session;
    QString m_uniqueContextId;
    QString m_loaderId;
    bool m_gone = false;
};

} // namespace pressbird
