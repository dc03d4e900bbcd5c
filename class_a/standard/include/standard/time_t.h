#pragma once
// Seconds since 1970 (UTC), 64 bits, with the text form of record and log texts: the C library's
// asctime form of the UTC time without its line feed, "Thu Jan  1 00:00:00 1970".
//
// Only years 1 to 9999 have a text; anything else ("Invalid time.") cannot be written, so it
// cannot be read either. An infinite time (lease durations) is kInfinite, the largest value; it
// is written "infinite" and read from "infinite" or "infinity", so it survives a round trip.
//
// Reading is strict: exactly the form written (day of month blank-padded to two places, the year
// without leading zeros), a real calendar date and the weekday that date falls on.

#include <cstdint>
#include <ctime>
#include <limits>
#include <string>

#include "standard/object.h"

namespace nbx {

class CTimeT : public CObject {
public:
    static constexpr std::int64_t kInfinite = std::numeric_limits<std::int64_t>::max();

    CTimeT() = default;
    explicit CTimeT(std::int64_t seconds) : m_seconds(seconds) {}

    static CTimeT now();
    static CTimeT infinite() { return CTimeT(kInfinite); }

    std::int64_t value() const { return m_seconds; }
    void set(std::int64_t seconds) { m_seconds = seconds; }
    bool isInfinite() const { return m_seconds == kInfinite; }

    // asctime form of the UTC time without the line feed.
    std::string dateUTC() const;
    // strftime with a format of the C standard's conversions only (with E and O modifiers);
    // anything else throws "Cannot format time string." / "Invalid format specifier.".
    std::string formatUTC(const std::string& format) const;
    std::string formatLocal(const std::string& format) const;

    // "infinite" or dateUTC().
    std::string string() const override;
    // Throws "Cannot parse time string." / "Invalid time." on any other text.
    bool string(const std::string& text) override;

    bool operator==(const CTimeT& other) const { return m_seconds == other.m_seconds; }
    bool operator!=(const CTimeT& other) const { return m_seconds != other.m_seconds; }
    bool operator<(const CTimeT& other) const { return m_seconds < other.m_seconds; }
    bool operator<=(const CTimeT& other) const { return m_seconds <= other.m_seconds; }
    bool operator>(const CTimeT& other) const { return m_seconds > other.m_seconds; }
    bool operator>=(const CTimeT& other) const { return m_seconds >= other.m_seconds; }

private:
    std::string _formattedTime(const std::string& format, bool utc) const;
    void _set(const std::string& text);

    std::int64_t m_seconds = 0;
};

}  // namespace nbx
