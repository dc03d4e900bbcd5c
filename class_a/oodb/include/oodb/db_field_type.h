#pragma once
// The field types of table columns, written in column declarations as tokens such as
// "[__DB_TYPE_STRING__]", and the SQL storage class that an engine gives each of them.

#include <string>

class CDBFieldType {
public:
    // In the tokens' alphabetical order.
    enum Type {
        kAccessId,
        kAccessRights,
        kAnyNumeric,
        kAny,
        kBinaryBlob,
        kBinary,
        kBool,
        kBootProto,
        kCObject,
        kDate,
        kDomainGroupId,
        kDomainId,
        kDouble,
        kExpr,
        kFixedOffset,
        kFloat,
        kHexStore,
        kInt32,
        kInt64,
        kIPAddress,
        kLong,
        kNumeric,
        kShort,
        kString,
        kTextBlob,
        kTimeStamp,
        kTime,
        kUInt32,
        kUInt64,
        kULong,
        kUnknown,
        kUShort,
        kVarying,
    };
    static constexpr int kTypeCount = kVarying + 1;

    // SQL storage classes (column affinities).
    enum StorageClass { kInteger, kReal, kNumericClass, kText, kBlob };

    CDBFieldType() = default;
    CDBFieldType(Type type) : m_type(type) {}
    Type type() const { return m_type; }

    // Token -> type; false for a text that is no token (exact, case-sensitive).
    static bool fromToken(const std::string& token, Type& type);
    // Token -> type; throws "Unknown field type '%1'." / "No such field type." otherwise.
    static Type parse(const std::string& token);
    static const char* token(Type type);

    // Where an engine keeps values of the type. Values cross the engine boundary as text, so the
    // class is chosen to give the text back unchanged: 64-bit unsigned values do not fit the SQL
    // integer and are kept as text; dates, times and addresses are texts, binary data blobs; the
    // untyped "any" and "unknown" columns convert nothing.
    static StorageClass storageClass(Type type);
    // "INTEGER", "REAL", "NUMERIC", "TEXT", "BLOB": the declared column type of a storage class.
    static const char* sqlType(StorageClass storage);
    // Unsigned 32-bit values are written as signed decimals ("-1" is 4294967295); an engine
    // stores them as their unsigned value so that they compare with keys.
    static bool isUnsigned32(Type type) { return type == kUInt32 || type == kULong; }

private:
    Type m_type = kUnknown;
};
