#pragma once
// Maps English message texts to message numbers and translations, read from a message locale
// file: records of "key=value" lines separated by empty lines, each with "en_US" (the English
// text, the lookup key), optionally "id" (the message number) and one key per further locale.

#include <cstdint>
#include <map>
#include <string>

#include "standard/file_reader.h"
#include "standard/message.h"

namespace nbx {

class CMessageStore : public CFileReader {
public:
    CMessageStore() = default;

    const std::string& locale() const { return m_locale; }
    void setLocale(const std::string& locale) { m_locale = locale; }

    // Sets the message's number and replaces its format by the text for the current locale;
    // a message the store does not know keeps its format and gets number -1.
    void translate(CMessage& message) const;

    void onCommand(const std::string& command, unsigned int line) override;

    std::size_t size() const { return m_records.size(); }

protected:
    virtual void _processRecord(const std::string& record, unsigned int line);

private:
    struct Record {
        std::int32_t number = -1;
        std::map<std::string, std::string> texts;  // locale -> text
    };
    std::string _textFor(const Record& record) const;

    std::string m_locale = "en_US";
    std::map<std::string, Record> m_records;  // English text -> record
};

}  // namespace nbx
