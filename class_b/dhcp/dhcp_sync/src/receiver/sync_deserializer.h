#pragma once
// Reads the replicate_peer records of the receiver's session as sync targets.

#include <list>

#include "dhcp_plugin_api/host_services.h"
#include "oodb_persistence/prst_db_session.h"
#include "receiver/sync_target.h"

class CPrstSyncDeserializer {
public:
    // Neither is owned.
    CPrstSyncDeserializer(CIHostServices& services, CPrstDBSession& session);

    // Every peer in the order the store returns them, with the password to log in with in
    // place of the mask of the text form. Database failures pass on.
    std::list<CSyncTarget> readPeers(CDBTransactionHandle tx);

private:
    CIHostServices& m_services;
    CPrstDBSession& m_session;
};
