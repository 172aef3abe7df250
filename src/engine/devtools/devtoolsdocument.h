#pragma once

#include "cdpconnection.h"
#include "pagedocument.h"

namespace pressbird {

// A page's top-level document, or a frame's, as it was when it was taken,
// reached through our isolated world of it over the DevTools protocol. A
// frame lives in the page's session or, out of process, in one of its own;
// either way a dialog or a hang of the page is one of the frame.
class DevToolsDocument final : public ScriptPageDocument {
public:
    struct Frame {
        CdpSessionPtr page; // the page's session, where the frame's is another
        QString frameId;
    };
    DevToolsDocument(std::shared_ptr<CdpConnection> connection, CdpSessionPtr session,
                     QString uniqueContextId, QString loaderId, std::shared_ptr<PageMemory> memory,
                     Frame frame = {});

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
    Frame m_frame; // none for the page's own document
    bool m_gone = false;
};

} // namespace pressbird
