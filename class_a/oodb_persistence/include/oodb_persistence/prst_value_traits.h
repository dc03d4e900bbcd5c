#pragma once
// How a value type of a persistent attribute is written: its text form (the record's key=value
// text) and its stored form (the column text handed to the database engine), with the
// field-type token its columns get unless a declaration names another.
//
//   type            token           text form                      stored form
//   std::string     STRING          as is                          as is
//   bool            BOOL            "true" / "false"               "1" / "0"
//   std::uint32_t   UINT32          signed 32-bit decimal ("-1")   unsigned decimal
//   std::int32_t    LONG            decimal                        decimal
//   std::uint16_t   USHORT          decimal                        decimal
//   std::int64_t    INT64           decimal                        decimal
//   nbx::CTimeT     TIME_STAMP      asctime form or "infinite"     decimal seconds
//   nbx::CIPAddress IP_ADDRESS      the address's text ("": none)  the address's text
//   nbx::CHexStore  HEX_STORE       hexadecimal pairs              hexadecimal pairs
//   other CObject   COBJECT         the object's text form         the object's text form
//
// Readers are strict: a text that is not a value of the type throws nbx::CException. The record
// reader reports such a failure under the record's own failure text naming the key, except for
// value classes whose own failures already say what is wrong (kExplains: domain memberships and
// other composite values).

#include <cstdint>
#include <string>
#include <type_traits>

#include "oodb_persistence/prst_field_type.h"
#include "standard/hex_store.h"
#include "standard/ip_address.h"
#include "standard/object.h"
#include "standard/time_t.h"

namespace prst {

// Decimal with an optional sign and blanks around it, within [min, max]; throws
// nbx::CNumberConversionException "Cannot convert value '%1' to a number." / "Invalid number." or
// "Number out of range.".
std::int64_t toNumber(const std::string& text, std::int64_t min, std::int64_t max);
// "true", "yes", "1" / "false", "no", "0" in any case; else throws
// nbx::CNumberConversionException "Cannot convert value '%1' to a boolean." / "Invalid boolean.".
bool toBool(const std::string& text);
// The 32-bit value as a signed 32-bit decimal (4294967295 is "-1").
std::string signed32(std::uint32_t value);
// Accepts what signed32 writes and plain unsigned decimals up to 4294967295.
std::uint32_t toULong(const std::string& text);

}  // namespace prst

template <class T, class Enable = void>
struct CPrstValueTraits;

template <>
struct CPrstValueTraits<std::string> {
    static constexpr bool kExplains = false;
    static const char* token() { return CPrstFieldType::kString; }
    static std::string text(const std::string& v) { return v; }
    static void fromText(const std::string& t, std::string& v) { v = t; }
    static std::string stored(const std::string& v) { return v; }
    static void fromStored(const std::string& t, std::string& v) { v = t; }
};

template <>
struct CPrstValueTraits<bool> {
    static constexpr bool kExplains = false;
    static const char* token() { return CPrstFieldType::kBool; }
    static std::string text(bool v) { return v ? "true" : "false"; }
    static void fromText(const std::string& t, bool& v) { v = prst::toBool(t); }
    static std::string stored(bool v) { return v ? "1" : "0"; }
    static void fromStored(const std::string& t, bool& v) { v = prst::toBool(t); }
};

template <>
struct CPrstValueTraits<std::uint32_t> {
    static constexpr bool kExplains = false;
    static const char* token() { return CPrstFieldType::kUInt32; }
    static std::string text(std::uint32_t v) { return prst::signed32(v); }
    static void fromText(const std::string& t, std::uint32_t& v) { v = prst::toULong(t); }
    static std::string stored(std::uint32_t v) { return std::to_string(v); }
    static void fromStored(const std::string& t, std::uint32_t& v) { v = prst::toULong(t); }
};

template <>
struct CPrstValueTraits<std::int32_t> {
    static constexpr bool kExplains = false;
    static const char* token() { return CPrstFieldType::kLong; }
    static std::string text(std::int32_t v) { return std::to_string(v); }
    static void fromText(const std::string& t, std::int32_t& v) {
        v = static_cast<std::int32_t>(prst::toNumber(t, INT32_MIN, INT32_MAX));
    }
    static std::string stored(std::int32_t v) { return text(v); }
    static void fromStored(const std::string& t, std::int32_t& v) { fromText(t, v); }
};

template <>
struct CPrstValueTraits<std::uint16_t> {
    static constexpr bool kExplains = false;
    static const char* token() { return CPrstFieldType::kUShort; }
    static std::string text(std::uint16_t v) { return std::to_string(v); }
    static void fromText(const std::string& t, std::uint16_t& v) {
        v = static_cast<std::uint16_t>(prst::toNumber(t, 0, UINT16_MAX));
    }
    static std::string stored(std::uint16_t v) { return text(v); }
    static void fromStored(const std::string& t, std::uint16_t& v) { fromText(t, v); }
};

template <>
struct CPrstValueTraits<std::int64_t> {
    static constexpr bool kExplains = false;
    static const char* token() { return CPrstFieldType::kInt64; }
    static std::string text(std::int64_t v) { return std::to_string(v); }
    static void fromText(const std::string& t, std::int64_t& v) {
        v = prst::toNumber(t, INT64_MIN, INT64_MAX);
    }
    static std::string stored(std::int64_t v) { return text(v); }
    static void fromStored(const std::string& t, std::int64_t& v) { fromText(t, v); }
};

template <>
struct CPrstValueTraits<nbx::CTimeT> {
    static constexpr bool kExplains = false;
    static const char* token() { return CPrstFieldType::kTimeStamp; }
    static std::string text(const nbx::CTimeT& v) { return v.string(); }
    static void fromText(const std::string& t, nbx::CTimeT& v) { v.string(t); }
    static std::string stored(const nbx::CTimeT& v) { return std::to_string(v.value()); }
    static void fromStored(const std::string& t, nbx::CTimeT& v) {
        v.set(prst::toNumber(t, INT64_MIN, INT64_MAX));
    }
};

// Every other value class is an nbx::CObject with a faithful text form.
template <class T>
struct CPrstValueTraits<
    T, std::enable_if_t<std::is_base_of_v<nbx::CObject, T> && !std::is_same_v<T, nbx::CTimeT>>> {
    static constexpr bool kExplains =
        !std::is_same_v<T, nbx::CIPAddress> && !std::is_same_v<T, nbx::CHexStore>;
    static const char* token() {
        if constexpr (std::is_same_v<T, nbx::CIPAddress>) return CPrstFieldType::kIPAddress;
        if constexpr (std::is_same_v<T, nbx::CHexStore>) return CPrstFieldType::kHexStore;
        return CPrstFieldType::kCObject;
    }
    // An address of unknown type (none set) is the empty text, and the empty text none.
    static std::string text(const T& v) {
        if constexpr (std::is_same_v<T, nbx::CIPAddress>) {
            if (v.isUnknown()) return std::string();
        }
        return v.string();
    }
    static void fromText(const std::string& t, T& v) {
        T fresh;
        if constexpr (std::is_same_v<T, nbx::CIPAddress>) {
            if (t.empty()) {
                v = fresh;
                return;
            }
        }
        fresh.string(t);
        v = fresh;
    }
    static std::string stored(const T& v) { return text(v); }
    static void fromStored(const std::string& t, T& v) { fromText(t, v); }
};
