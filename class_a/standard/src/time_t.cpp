#include "standard/time_t.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "standard/throw.h"

namespace nbx {

namespace {

constexpr const char* kModule = "standard";
constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;

const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Broken-down time of `seconds`; false when the C library cannot convert it or the year has no
// four-digit text.
bool breakDown(std::int64_t seconds, bool utc, std::tm& out) {
    const std::time_t value = static_cast<std::time_t>(seconds);
    if (static_cast<std::int64_t>(value) != seconds) return false;
    if ((utc ? gmtime_r(&value, &out) : localtime_r(&value, &out)) == nullptr) return false;
    const long long year = static_cast<long long>(out.tm_year) + 1900;
    return year >= kFirstYear && year <= kLastYear;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool leapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static const int kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && leapYear(year) ? 29 : kLengths[month - 1];
}

int nameIndex(const std::string& text, std::size_t at, const char* const* names, int count) {
    for (int i = 0; i < count; ++i) {
        if (text.compare(at, 3, names[i]) == 0) return i;
    }
    return -1;
}

bool digit(char c) {
    return c >= '0' && c <= '9';
}

// Two digits at `at` of `text`, value in `out`.
bool twoDigits(const std::string& text, std::size_t at, int& out) {
    if (!digit(text[at]) || !digit(text[at + 1])) return false;
    out = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return true;
}

// "Www Mmm DD hh:mm:ss Y" -> seconds; see the header for what is accepted.
bool parseAsctime(const std::string& text, std::int64_t& seconds) {
    // Fixed part "Www Mmm DD hh:mm:ss " is 20 characters; the year takes 1 to 4 more.
    if (text.size() < 21 || text.size() > 24) return false;
    const int weekday = nameIndex(text, 0, kDays, 7);
    const int month = nameIndex(text, 4, kMonths, 12) + 1;
    if (weekday < 0 || month < 1) return false;
    if (text[3] != ' ' || text[7] != ' ' || text[10] != ' ' || text[13] != ':' || text[16] != ':' ||
        text[19] != ' ') {
        return false;
    }
    int day = 0;
    if (text[8] == ' ') {
        if (!digit(text[9]) || text[9] == '0') return false;
        day = text[9] - '0';
    } else if (!twoDigits(text, 8, day) || day < 10) {
        return false;
    }
    int hour = 0, minute = 0, second = 0;
    if (!twoDigits(text, 11, hour) || !twoDigits(text, 14, minute) ||
        !twoDigits(text, 17, second)) {
        return false;
    }
    if (hour > 23 || minute > 59 || second > 59) return false;
    if (text[20] == '0') return false;  // the writer never pads the year
    int year = 0;
    for (std::size_t i = 20; i < text.size(); ++i) {
        if (!digit(text[i])) return false;
        year = year * 10 + (text[i] - '0');
    }
    if (year < kFirstYear || year > kLastYear || day > daysInMonth(year, month)) return false;

    const std::int64_t days =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    // 1970-01-01 was a Thursday.
    const std::int64_t shifted = (days + 4) % 7;
    if ((shifted < 0 ? shifted + 7 : shifted) != weekday) return false;
    seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

// The conversions of the C standard's strftime, after "%", "%E" or "%O".
bool validConversion(char modifier, char conversion) {
    const char* allowed = modifier == 'E'   ? "cCxXyY"
                          : modifier == 'O' ? "deHImMSuUVwWy"
                                            : "aAbBcCdDeFgGhHIjmMnprRStTuUVwWxXyYzZ%";
    return conversion != '\0' && std::strchr(allowed, conversion) != nullptr;
}

bool validFormat(const std::string& format) {
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '\0') return false;  // strftime would stop there
        if (format[i] != '%') continue;
        if (++i == format.size()) return false;
        char modifier = '\0';
        if (format[i] == 'E' || format[i] == 'O') {
            modifier = format[i];
            if (++i == format.size()) return false;
        }
        if (!validConversion(modifier, format[i])) return false;
    }
    return true;
}

}  // namespace

CTimeT CTimeT::now() {
    return CTimeT(static_cast<std::int64_t>(std::time(nullptr)));
}

std::string CTimeT::dateUTC() const {
    std::tm parts;
    if (!breakDown(m_seconds, true, parts)) {
        NBX_THROW(CException, kModule, "CTimeT::dateUTC", msg("Cannot display time string."),
                  msg("Invalid time."));
    }
    // asctime's layout, written into a buffer that the checked year range always fits.
    char out[32];
    std::snprintf(out, sizeof out, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[parts.tm_wday],
                  kMonths[parts.tm_mon], parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  parts.tm_year + 1900);
    return out;
}

std::string CTimeT::formatUTC(const std::string& format) const {
    return _formattedTime(format, true);
}

std::string CTimeT::formatLocal(const std::string& format) const {
    return _formattedTime(format, false);
}

std::string CTimeT::_formattedTime(const std::string& format, bool utc) const {
    if (!validFormat(format)) {
        NBX_THROW(CException, kModule, "CTimeT::_formattedTime", msg("Cannot format time string."),
                  msg("Invalid format specifier."));
    }
    std::tm parts;
    if (!breakDown(m_seconds, utc, parts)) {
        NBX_THROW(CException, kModule, "CTimeT::_formattedTime", msg("Cannot format time string."),
                  msg("Invalid time."));
    }
    // A trailing blank keeps a successful result from being empty, since strftime's 0 also
    // means "did not fit".
    const std::string padded = format + " ";
    const std::size_t limit = 4096 + padded.size() * 256;
    std::vector<char> buffer(64 + padded.size() * 4);
    for (;;) {
        const std::size_t written =
            std::strftime(buffer.data(), buffer.size(), padded.c_str(), &parts);
        if (written != 0) return std::string(buffer.data(), written - 1);
        if (buffer.size() >= limit) break;
        buffer.resize(buffer.size() * 2);
    }
    NBX_THROW(CException, kModule, "CTimeT::_formattedTime", msg("Cannot format time string."),
              msg("Formatted text too long."));
}

std::string CTimeT::string() const {
    return isInfinite() ? "infinite" : dateUTC();
}

bool CTimeT::string(const std::string& text) {
    _set(text);
    return true;
}

void CTimeT::_set(const std::string& text) {
    if (text == "infinite" || text == "infinity") {
        m_seconds = kInfinite;
        return;
    }
    std::int64_t seconds = 0;
    if (!parseAsctime(text, seconds)) {
        NBX_THROW(CException, kModule, "CTimeT::_set", msg("Cannot parse time string."),
                  msg("Invalid time."));
    }
    m_seconds = seconds;
}

}  // namespace nbx
