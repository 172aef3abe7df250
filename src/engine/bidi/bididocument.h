#pragma once

#include "bidiconnection.h"
#include "pagedocument.h"

namespace pressbird {

// The name of our sandbox in every document, the page operations' world.
inline constexpr QStringView kBidiSandbox = u"pressbird";

// A page's top-level document, or one of its frames' documents, as it was
// when it was taken, reached through our sandbox realm of it over WebDriver
// BiDi: the realm goes with the document, so after a navigation or a closed
// tab every call fails. Reads, blocks and long fields as every in-page
// document has them. A frame's calls count as its page's: a dialog or a
// hang of the page is one of the frame.
class BidiDocument final : public ScriptPageDocument {
public:
    BidiDocument(std::shared_ptr<BidiConnection> connection, QString context, QString realm,
                 std::shared_ptr<PageMemory> memory, QString frameContext = {});

protected:
    bool alive() const override {
        return !m_gone && m_connection->contextUsable(m_context) &&
               (m_frameContext.isEmpty() || m_connection->contextUsable(m_frameContext));
    }
    Task<std::optional<QJsonValue>> evaluate(QString expression, bool userGesture) override;
    Task<PressResult> pressScript(QString expression) override;
    int callTimeoutMs() const override { return m_connection->timeouts().callMs; }

private:
    // Where an evaluation runs: our sandbox of whatever document the context
    // shows (the answer names the realm, to be checked), or the realm itself.
    enum class Target { Sandbox, Realm };
    Task<BidiReply> run(const QString &expression, bool userActivation, Target target);

    std::shared_ptr<BidiConnection> m_connection;
    QString m_context;
    QString m_realm;
    QString m_frameContext; // empty for the page's own document
    bool m_gone = false;
};

} // namespace pressbird
