#include "host/admin_command_handler.h"

#include <algorithm>
#include <cstdlib>

#include "host/console_command.h"
#include "standard/decimal.h"
#include "standard/throw.h"
#include "standard/time_t.h"

namespace host {

namespace {

constexpr const char* kModule = NBX_MODULE_TAG;
const char* const kVerbs[] = {"add", "modify", "del", "show", "list"};

[[noreturn]] void refuse(const std::string& what, nbx::CMessage reason) {
    NBX_THROW_STATIC(nbx::CException, kModule, "CAdminCommandHandler::handle", nbx::msg("%1", what),
                     std::move(reason));
}

// OIDs travel as signed 32-bit decimals; the unsigned form is taken too.
std::uint32_t oidOf(const CConsoleCommand& command, const std::string& what) {
    std::string text;
    if (!command.keys.get("oid", text)) refuse(what, nbx::msg("Missing key 'oid'."));
    std::uint32_t oid = 0;
    if (!nbx::readOid(text, oid)) refuse(what, nbx::msg("Bad object id '%1'.", text));
    return oid;
}

// "list" with "after" or "limit": one page in increasing oid order.
struct ListPage {
    bool paged = false;
    std::uint32_t after = 0;
    std::uint32_t limit = CAdminCommandHandler::kListLimit;
};

ListPage listPage(const CConsoleCommand& command, const std::string& what) {
    ListPage page;
    for (const auto& entry : command.keys) {
        if (entry.first == "after") {
            if (!nbx::readOid(entry.second, page.after))
                refuse(what, nbx::msg("Bad object id '%1' for key 'after'.", entry.second));
        } else if (entry.first == "limit") {
            const nbx::DecimalPrefix number = nbx::readDecimal(entry.second);
            if (number.status != nbx::DecimalPrefix::ok || number.length != entry.second.size() ||
                number.value < 1 || number.value > CAdminCommandHandler::kListLimit) {
                refuse(what, nbx::msg("Bad limit '%1': a number from 1 to %2.", entry.second,
                                      CAdminCommandHandler::kListLimit));
            }
            page.limit = static_cast<std::uint32_t>(number.value);
        } else {
            refuse(what,
                   nbx::msg("Unknown key '%1': a list takes 'after' and 'limit'.", entry.first));
        }
        page.paged = true;
    }
    return page;
}

nbx::CStringMap textBlock(const CPrstUserBase& object) {
    return nbx::CStringMap(object.string(), "\n");
}

nbx::CStringMap ack() {
    nbx::CStringMap block;
    block.set("code", "ack");
    return block;
}

}  // namespace

CAdminCommandHandler::CAdminCommandHandler(std::map<int, CHostStore*> stores, COutbox& outbox)
    : m_stores(std::move(stores)), m_outbox(outbox) {}

bool CAdminCommandHandler::takes(const std::string& verb) {
    for (const char* known : kVerbs)
        if (verb == known) return true;
    return false;
}

CHostStore& CAdminCommandHandler::_store(const CConsoleSession& session) const {
    const int family = session.context() == "6" ? 6 : 4;
    auto found = m_stores.find(family);
    if (found == m_stores.end() || !found->second) {
        refuse("Cannot serve the command.",
               nbx::msg("The IPv%1 protocol instance is not running.", family));
    }
    return *found->second;
}

void CAdminCommandHandler::onClose(CConsoleSession&) {
    for (const auto& store : m_stores) {
        if (!store.second) continue;
        store.second->releaseThread();
        break;  // one engine: one connection per thread
    }
}

bool CAdminCommandHandler::handle(CConsoleSession& session, const std::string& command,
                                  std::vector<nbx::CStringMap>& blocks) {
    const std::size_t space = command.find_first_of(" \t\n");
    if (!takes(command.substr(0, space))) return false;
    const CConsoleCommand parsed = CConsoleCommand::parse(command);
    const std::string& verb = parsed.words[0];
    if (parsed.words.size() != 2) {
        refuse("Cannot " + verb + ".", nbx::msg("The command names no topic, or more than one."));
    }
    const std::string& topic = parsed.words[1];
    const std::string what = "Cannot " + verb + " " + topic + ".";
    if (!CHostStore::serves(topic)) refuse(what, nbx::msg("Unknown topic '%1'.", topic));
    CHostStore& store = _store(session);
    // A peer record serves both families: the plug-in tells the other family's receiver.
    const int family = store.family();
    blocks.clear();

    if (verb == "list") {
        const ListPage page = listPage(parsed, what);
        bool more = false;
        // Scripts read the unpaged answer as it always was: every object, no "more".
        const CPrstObjectList objects =
            page.paged ? store.page(topic, page.after, page.limit, more) : store.list(topic);
        for (const CPrstObjectPtr& object : objects) blocks.push_back(textBlock(*object));
        nbx::CStringMap last = ack();
        last.set("count", std::to_string(objects.size()));
        if (page.paged) last.set("more", more ? "yes" : "no");
        blocks.push_back(last);
        return true;
    }
    if (verb == "show") {
        CPrstObjectPtr object;
        std::string name;
        if (parsed.keys.has("oid")) {
            object = store.find(topic, oidOf(parsed, what));
        } else if (parsed.keys.get("name", name)) {
            object = store.findByName(topic, name);
        } else {
            refuse(what, nbx::msg("Missing key 'oid' or 'name'."));
        }
        if (!object) refuse(what, nbx::msg("No such object."));
        blocks.push_back(textBlock(*object));
        blocks.push_back(ack());
        return true;
    }
    if (verb == "add") {
        if (parsed.keys.has("oid"))
            refuse(what, nbx::msg("A new object gets its oid from the host."));
        const std::uint32_t oid =
            m_outbox.record(family, store.connection(), "add", topic, [&](CDBTransactionHandle tx) {
                CPrstObjectPtr object = store.create(topic);
                object->string(parsed.body);
                store.check(*object, tx);
                object->commitObject(tx);
                return object->oid();
            });
        nbx::CStringMap block = ack();
        block.set("oid", oidText(oid));
        blocks.push_back(block);
        return true;
    }
    const std::uint32_t oid = oidOf(parsed, what);
    m_outbox.record(family, store.connection(), verb == "del" ? "del" : "modify", topic,
                    [&](CDBTransactionHandle tx) {
                        CPrstObjectPtr object = store.find(topic, oid, tx);
                        if (!object)
                            refuse(what, nbx::msg("No %1 with oid %2.", topic, oidText(oid)));
                        if (verb == "del") {
                            object->removeObject(tx);
                            return oid;
                        }
                        const bool timed = object->hasAttr(CPrstClassDef::kModTime);
                        const std::int64_t last =
                            timed ? object->get<nbx::CTimeT>(CPrstClassDef::kModTime).value() : 0;
                        // The keys given replace those of the stored text; the rest stay.
                        nbx::CStringMap text(object->string(), "\n");
                        for (const auto& entry : parsed.keys) {
                            if (entry.first == "oid") continue;
                            text.erase(entry.first);
                            text.insert(entry.first, entry.second);
                        }
                        object->string(text.string());
                        store.check(*object, tx);
                        if (timed) {
                            // Peers order the changes of an object by this time: two changes
                            // within one second must not carry the same one.
                            const std::int64_t now = nbx::CTimeT::now().value();
                            object->put<nbx::CTimeT>(CPrstClassDef::kModTime,
                                                     nbx::CTimeT(std::max(now, last + 1)));
                        }
                        object->commitObject(tx, !timed);
                        return oid;
                    });
    blocks.push_back(ack());
    return true;
}

}  // namespace host
