#pragma once
// Field-type tokens of the database layer, as column declarations (CDBTypeStringMap) carry them.

#include <string>

namespace CPrstFieldType {
constexpr const char* kAccessId = "[__DB_TYPE_ACCESS_ID__]";
constexpr const char* kAccessRights = "[__DB_TYPE_ACCESS_RIGHTS__]";
constexpr const char* kAnyNumeric = "[__DB_TYPE_ANY_NUMERIC__]";
constexpr const char* kAny = "[__DB_TYPE_ANY__]";
constexpr const char* kBinaryBlob = "[__DB_TYPE_BINARY_BLOB__]";
constexpr const char* kBinary = "[__DB_TYPE_BINARY__]";
constexpr const char* kBool = "[__DB_TYPE_BOOL__]";
constexpr const char* kBootProto = "[__DB_TYPE_BOOT_PROTO__]";
constexpr const char* kCObject = "[__DB_TYPE_COBJECT__]";
constexpr const char* kDate = "[__DB_TYPE_DATE__]";
constexpr const char* kDomainGroupId = "[__DB_TYPE_DOMAIN_GROUP_ID__]";
constexpr const char* kDomainId = "[__DB_TYPE_DOMAIN_ID__]";
constexpr const char* kDouble = "[__DB_TYPE_DOUBLE__]";
constexpr const char* kExpr = "[__DB_TYPE_EXPR__]";
constexpr const char* kFixedOffset = "[__DB_TYPE_FIXED_OFFSET__]";
constexpr const char* kFloat = "[__DB_TYPE_FLOAT__]";
constexpr const char* kHexStore = "[__DB_TYPE_HEX_STORE__]";
constexpr const char* kInt32 = "[__DB_TYPE_INT32__]";
constexpr const char* kInt64 = "[__DB_TYPE_INT64__]";
constexpr const char* kIPAddress = "[__DB_TYPE_IP_ADDRESS__]";
constexpr const char* kLong = "[__DB_TYPE_LONG__]";
constexpr const char* kNumeric = "[__DB_TYPE_NUMERIC__]";
constexpr const char* kShort = "[__DB_TYPE_SHORT__]";
constexpr const char* kString = "[__DB_TYPE_STRING__]";
constexpr const char* kTextBlob = "[__DB_TYPE_TEXT_BLOB__]";
constexpr const char* kTimeStamp = "[__DB_TYPE_TIME_STAMP__]";
constexpr const char* kTime = "[__DB_TYPE_TIME__]";
constexpr const char* kUInt32 = "[__DB_TYPE_UINT32__]";
constexpr const char* kUInt64 = "[__DB_TYPE_UINT64__]";
constexpr const char* kULong = "[__DB_TYPE_ULONG__]";
constexpr const char* kUnknown = "[__DB_TYPE_UNKNOWN__]";
constexpr const char* kUShort = "[__DB_TYPE_USHORT__]";
constexpr const char* kVarying = "[__DB_TYPE_VARYING__]";

// True for a token of the database layer's field types (CDBFieldType).
bool known(const std::string& token);
}  // namespace CPrstFieldType
