#include "host/sync_command_handler.h"

#include <cstdlib>

#include "host/console_command.h"
#include "oodb/db_transaction.h"
#include "standard/decimal.h"
#include "standard/throw.h"
#include "standard/time_t.h"

namespace host {

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;

[[noreturn]] void refuse(const std::string& what, nbx::CMessage reason) {
    NBX_THROW_STATIC(nbx::CException, kModule, "CSyncCommandHandler::handle", nbx::msg("%1", what),
                     std::move(reason));
}

std::string required(const CConsoleCommand& command, const char* key, const std::string& what) {
    std::string value;
    if (!command.keys.get(key, value)) refuse(what, nbx::msg("Missing key '%1'.", key));
    return value;
}

nbx::CTimeT timeOf(const std::string& text, const std::string& key, const std::string& what) {
    nbx::CTimeT time;
    try {
        time.string(text);
    } catch (nbx::CException&) {
        refuse(what, nbx::msg("Bad time '%1' for key '%2'.", text, key));
    }
    return time;
}

nbx::CTimeT modTime(const CPrstUserBase& object) {
    if (!object.hasAttr(CPrstClassDef::kModTime)) return nbx::CTimeT();
    return object.get<nbx::CTimeT>(CPrstClassDef::kModTime);
}

nbx::CStringMap conflict(const std::string& topic, std::uint32_t oid, const nbx::CTimeT& local,
                         const nbx::CTimeT& sent) {
    nbx::CStringMap block;
    block.set("code", "ack");
    block.set("message", nbx::msg("The local %1 %2 was kept: changed at %3, the replicated "
                                  "change at %4.",
                                  topic, oidText(oid), local.dateUTC(), sent.dateUTC())
                             .text());
    return block;
}

}  // namespace

CSyncCommandHandler::CSyncCommandHandler(std::map<int, CHostStore*> stores, std::uint32_t nodeId)
    : m_stores(std::move(stores)), m_nodeId(nodeId) {}

bool CSyncCommandHandler::handle(CConsoleSession& session, const std::string& command,
                                 std::vector<nbx::CStringMap>& blocks) {
    if (command.compare(0, 5, kPrefix) != 0) return false;
    const CConsoleCommand parsed = CConsoleCommand::parse(command);
    const std::string topic = parsed.words[0].substr(5);
    const std::string what = "Cannot apply the replicated " + topic + " change.";
    if (session.context().empty()) {
        refuse(what, nbx::msg("No protocol family was chosen (set_context=)."));
    }
    auto found = m_stores.find(session.context() == "6" ? 6 : 4);
    if (found == m_stores.end() || !found->second) {
        refuse(what, nbx::msg("The protocol instance is not running."));
    }
    CHostStore& store = *found->second;
    if (parsed.words.size() != 1 || !CHostStore::serves(topic)) {
        refuse(what, nbx::msg("Unknown topic '%1'.", topic));
    }
    const std::string operation = required(parsed, "_event_operation", what);
    if (operation != "add" && operation != "modify" && operation != "del") {
        refuse(what, nbx::msg("Unknown operation '%1'.", operation));
    }
    const nbx::CTimeT eventTime =
        timeOf(required(parsed, "_event_time", what), "_event_time", what);
    const std::string oidValue = required(parsed, "_oid", what);
    std::uint32_t oid = 0;
    if (!nbx::readOid(oidValue, oid)) refuse(what, nbx::msg("Bad object id '%1'.", oidValue));

    // The object's own keys: the record without its event entries.
    std::string text;
    for (const auto& entry : parsed.keys) {
        if (entry.first.compare(0, 1, "_") == 0 &&
            (entry.first == "_event_operation" || entry.first == "_event_time" ||
             entry.first == "_oid")) {
            continue;
        }
        text += entry.first + "=" + entry.second + "\n";
    }

    blocks.clear();
    // The lookup and the change in one transaction: writers queue on the database, so two
    // peers' changes of one object are judged one after the other.
    CDBTransaction transaction(store.connection());
    const CDBTransactionHandle tx = transaction.handle();
    nbx::CStringMap answer;
    answer.set("code", "ack");
    CPrstObjectPtr local = store.find(topic, oid, tx);
    if (operation == "del") {
        if (local && modTime(*local) > eventTime) {
            answer = conflict(topic, oid, modTime(*local), eventTime);
        } else if (local) {
            local->removeObject(tx);
        }
    } else {
        CPrstObjectPtr sent = store.create(topic);
        sent->string(text);
        sent->setOID(oid);
        const nbx::CTimeT sentTime = modTime(*sent);
        const bool timed = sent->hasAttr(CPrstClassDef::kModTime);
        if (!local && m_nodeId != 0 && oid >> 24 == m_nodeId) {
            // Made here and gone since, or made by a peer that has this host's node id:
            // either way not an object to create from a peer's word.
            refuse(what, nbx::msg("The object id %1 is in this host's own range (node %2) "
                                  "and no such object is here.",
                                  oidText(oid), m_nodeId));
        } else if (!local) {
            CPrstObjectPtr holder;
            const std::string name = nbx::CStringMap(sent->string(), "\n").get("name");
            if (!name.empty()) holder = store.findByName(topic, name, tx);
            if (holder) {
                answer = conflict(topic, oid, modTime(*holder), sentTime);
            } else {
                store.check(*sent, tx);
                sent->commitObject(tx, !timed);
            }
        } else if (!timed || sentTime > modTime(*local)) {
            local->string(text);
            store.check(*local, tx);
            local->commitObject(tx, !timed);
        } else if (!(sentTime == modTime(*local) && sent->string() == local->string())) {
            answer = conflict(topic, oid, modTime(*local), sentTime);
        }
    }
    transaction.commit();
    blocks.push_back(answer);
    return true;
}

}  // namespace host
