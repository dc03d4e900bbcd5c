#pragma once
// One object of every class that the receiver subscribes to in both families, referenced ones
// first; the resync and process tests add the pools and bindings of each family.

#include <vector>

struct Change {
    const char* topic;
    const char* text;
};

inline const std::vector<Change> kBothFamilies = {
    {"domain", "name=lab\n"},
    {"domain_group", "name=labs\n"},
    {"user_role", "name=auditors\ncapabilities=lab:read\n"},
    {"capability", "rights=1\nrole_id=auditors\ntarget_class=account\n"},
    {"account", "name=desk-1\nclass=modem\n"},
    {"user_account", "name=bob\n"},
    {"keyvalue", "class=ui\nkey=theme\nvalue=dark\n"},
    {"sql_query", "name=big\ntag=report\n"},
    {"sql_query_group", "name=reports\n"},
    {"snmp_query", "name=uptime\nobject_name=sysUpTime\n"},
    {"snmp_query_group", "name=health\n"},
    {"option", "name=routers\ntype=ipaddress\ntagpath=3\n"},
    {"vendor_class", "name=acme\ntype=string\ntagpath=125/4491/1\nclass=vendor\n"},
    {"policy", "name=voip\nenforce=true\n"},
    {"rule", "condition=(eq a b)\npri=3\n"},
};
