#include "oodb/db_field_type.h"

#include "standard/throw.h"

namespace {

struct TypeEntry {
    const char* token;
    CDBFieldType::StorageClass storage;
};

// Indexed by CDBFieldType::Type.
constexpr TypeEntry kTypes[CDBFieldType::kTypeCount] = {
    {"[__DB_TYPE_ACCESS_ID__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_ACCESS_RIGHTS__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_ANY_NUMERIC__]", CDBFieldType::kNumericClass},
    {"[__DB_TYPE_ANY__]", CDBFieldType::kBlob},
    {"[__DB_TYPE_BINARY_BLOB__]", CDBFieldType::kBlob},
    {"[__DB_TYPE_BINARY__]", CDBFieldType::kBlob},
    {"[__DB_TYPE_BOOL__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_BOOT_PROTO__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_COBJECT__]", CDBFieldType::kText},
    {"[__DB_TYPE_DATE__]", CDBFieldType::kText},
    {"[__DB_TYPE_DOMAIN_GROUP_ID__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_DOMAIN_ID__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_DOUBLE__]", CDBFieldType::kReal},
    {"[__DB_TYPE_EXPR__]", CDBFieldType::kText},
    {"[__DB_TYPE_FIXED_OFFSET__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_FLOAT__]", CDBFieldType::kReal},
    {"[__DB_TYPE_HEX_STORE__]", CDBFieldType::kText},
    {"[__DB_TYPE_INT32__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_INT64__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_IP_ADDRESS__]", CDBFieldType::kText},
    {"[__DB_TYPE_LONG__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_NUMERIC__]", CDBFieldType::kNumericClass},
    {"[__DB_TYPE_SHORT__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_STRING__]", CDBFieldType::kText},
    {"[__DB_TYPE_TEXT_BLOB__]", CDBFieldType::kText},
    {"[__DB_TYPE_TIME_STAMP__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_TIME__]", CDBFieldType::kText},
    {"[__DB_TYPE_UINT32__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_UINT64__]", CDBFieldType::kText},
    {"[__DB_TYPE_ULONG__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_UNKNOWN__]", CDBFieldType::kBlob},
    {"[__DB_TYPE_USHORT__]", CDBFieldType::kInteger},
    {"[__DB_TYPE_VARYING__]", CDBFieldType::kText},
};

}  // namespace

bool CDBFieldType::fromToken(const std::string& token, Type& type) {
    for (int i = 0; i < kTypeCount; ++i) {
        if (token == kTypes[i].token) {
            type = static_cast<Type>(i);
            return true;
        }
    }
    return false;
}

CDBFieldType::Type CDBFieldType::parse(const std::string& token) {
    Type type = kUnknown;
    if (!fromToken(token, type)) {
        NBX_THROW_STATIC(nbx::CException, "oodb", "CDBFieldType::parse",
                         nbx::msg("Unknown field type '%1'.", token),
                         nbx::msg("No such field type."));
    }
    return type;
}

const char* CDBFieldType::token(Type type) {
    if (type < 0 || type >= kTypeCount) type = kUnknown;
    return kTypes[type].token;
}

CDBFieldType::StorageClass CDBFieldType::storageClass(Type type) {
    if (type < 0 || type >= kTypeCount) type = kUnknown;
    return kTypes[type].storage;
}

const char* CDBFieldType::sqlType(StorageClass storage) {
    switch (storage) {
        case kInteger:
            return "INTEGER";
        case kReal:
            return "REAL";
        case kNumericClass:
            return "NUMERIC";
        case kText:
            return "TEXT";
        case kBlob:
            break;
    }
    return "BLOB";
}
