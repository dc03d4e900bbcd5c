#pragma once
// The host's services for one protocol instance. They are also the master controller that the
// instance's tasks are given (log sink, the calling thread's exception stack, task registry).
//
// Every operation may be called from any thread of the plug-in.

#include <cstdint>
#include <memory>
#include <string>

#include "dhcp_plugin_api/system_bus.h"
#include "extended/config.h"
#include "extended/master_controller.h"

class CIHostServices : public nbx::CIMasterController {
public:
    // A snapshot of the host's configuration: reading it never races a reload, which replaces
    // the snapshot and announces itself with a "config" bus event.
    virtual std::shared_ptr<const nbx::CConfig> config() = 0;
    // The system bus of this protocol instance.
    virtual CISystemBusPtr systemBus() = 0;
    // The host's implementation of an interface by name, or null. "CIDBFacadeFactory" gives the
    // database engine (a CIDBFacadeFactory*).
    virtual void* queryInterface(const std::string& name) = 0;
    // The application's database schema version.
    virtual std::uint32_t databaseVersion() = 0;
    // The folder under which the spool folders of the replication peers lie.
    virtual std::string baseDirectory() = 0;
    // The folder of the conflict logs.
    virtual std::string resolverDirectory() = 0;
    // Called once by a thread of the plug-in as the last thing it does, so that the host can
    // drop what it keeps for that thread (its exception stack, its database connection).
    virtual void releaseThread() = 0;
};
