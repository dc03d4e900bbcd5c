#include "receiver/sync_deserializer.h"

#include "dhcp_database/replicate_peer.h"

CPrstSyncDeserializer::CPrstSyncDeserializer(CIHostServices& services, CPrstDBSession& session)
    : m_services(services), m_session(session) {}

std::list<CSyncTarget> CPrstSyncDeserializer::readPeers(CDBTransactionHandle tx) {
    // A peer without user and password of its own logs in with the host's default, which the
    // record finds in the configuration of its context: lend it the current snapshot.
    const std::shared_ptr<const nbx::CConfig> config = m_services.config();
    CPrstContext& context = *m_session.context();
    const nbx::CConfig* previous = context.config();
    context.setConfig(config.get());
    std::list<CSyncTarget> targets;
    try {
        const CPrstObjectList peers =
            m_session[CPrstReplicatePeer::classDef().textClassName()].select(tx);
        for (const auto& object : peers) {
            const auto* peer = dynamic_cast<const CPrstReplicatePeer*>(object.get());
            if (!peer) continue;
            nbx::CStringMap text(peer->string(), "\n");
            text.set("console_pass", peer->consolePassword());
            targets.emplace_back(text);
        }
    } catch (...) {
        context.setConfig(previous);
        throw;
    }
    context.setConfig(previous);
    return targets;
}
