// The host's console commands on a real store: the administrator's verbs and a peer's
// "sync_" records. Any command is answered or refused with the handler's exception; nothing
// else escapes.
#include <unistd.h>

#include <cstdlib>

#include "fuzz_input.h"
#include "host/admin_command_handler.h"
#include "host/console_command.h"
#include "host/sqlite_engine.h"
#include "host/sync_command_handler.h"

namespace {

struct Host {
    Host() {
        char name[] = "/tmp/nbx-fuzz-host-XXXXXX";
        folder = ::mkdtemp(name) ? name : "/tmp";
        engine = std::make_unique<host::CSQLiteEngine>(host::CSQLiteEngine::Settings{
            folder + "/host.db", NBX_HOST_DB_DIR, 5000, 5, {host::COutbox::kTable}});
        registry.offer("CIDBFacadeFactory", engine.get());
        for (int family : {4, 6})
            stores[family] = std::make_unique<host::CHostStore>(family, registry);
        engine->declare({host::COutbox::tableDef()});
        outbox = std::make_unique<host::COutbox>(*engine);
        std::map<int, host::CHostStore*> byFamily{{4, stores[4].get()}, {6, stores[6].get()}};
        admin = std::make_unique<host::CAdminCommandHandler>(byFamily, *outbox);
        sync = std::make_unique<host::CSyncCommandHandler>(byFamily, 5);
    }
    std::string folder;
    std::unique_ptr<host::CSQLiteEngine> engine;
    host::CInterfaceRegistry registry;
    std::map<int, std::unique_ptr<host::CHostStore>> stores;
    std::unique_ptr<host::COutbox> outbox;
    std::unique_ptr<host::CAdminCommandHandler> admin;
    std::unique_ptr<host::CSyncCommandHandler> sync;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Host* host = new Host();  // lives to the end of the process
    if (size == 0) return 0;
    host::CConsoleSession session(1, "fuzz");
    session.setContext(data[0] & 1 ? "6" : "4");
    const std::string command = fuzzing::text(data + 1, size - 1);
    std::vector<nbx::CStringMap> blocks;
    try {
        host::CConsoleCommand::parse(command);
    } catch (nbx::CException&) {
    }
    try {
        if (!host->sync->handle(session, command, blocks))
            host->admin->handle(session, command, blocks);
    } catch (nbx::CException&) {
    }
    return 0;
}
