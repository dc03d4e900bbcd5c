#include "standard/message_store.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "standard/exception.h"
#include "standard/throw.h"

using nbx::CException;
using nbx::CMessage;
using nbx::CMessageStore;
using nbx::msg;

namespace {

const char* const kLocaleFile =
    "# message locale file\n"
    "id=5\n"
    "en_US=Cannot open file '%1'.\n"
    "de_DE=Die Datei '%1' kann nicht geöffnet werden.\n"
    "\n"
    "id = 7\n"
    "  en_US = Access denied.\n"
    "de_DE=Zugriff verweigert.\r\n"
    "fr_FR=\n"
    "\n"
    "en_US=Invalid value '%1=%2'.\n"
    "de_DE=Ungültiger Wert '%1=%2'.\n"
    "\n"
    "id=9\n"
    "en_US=No such file or directory\n"
    "de_DE=Datei nicht gefunden\n"
    "\n"
    "id=11\n"
    "en_US=Task stopped.\n"
    "de_DE=Aufgabe angehalten.";  // last record without final empty line

class MessageStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nbx-store-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void write(const std::string& name, const std::string& content) {
        std::ofstream(dir + "/" + name, std::ios::binary) << content;
    }
    void load(const std::string& content = kLocaleFile) {
        write("messages.txt", content);
        store.execute(dir, "messages.txt");
    }
    // Translated text and number of a message.
    std::pair<std::string, std::int32_t> translated(CMessage message) {
        store.translate(message);
        return {message.text(), message.number()};
    }
    std::string dir;
    CMessageStore store;
};

CException record(CMessage message, CMessage reason, std::uint32_t code) {
    return nbx::makeException(NBX_STATIC_SITE("standard", "test"), std::move(message),
                              std::move(reason), code);
}

}  // namespace

TEST_F(MessageStoreTest, TranslatesForTheLocale) {
    load();
    EXPECT_EQ(store.size(), 5u);
    struct Case {
        const char* locale;
        CMessage message;
        std::string text;
        std::int32_t number;
    };
    const std::vector<Case> cases = {
        {"de_DE", msg("Cannot open file '%1'.", "a.txt"),
         "Die Datei 'a.txt' kann nicht geöffnet werden.", 5},
        {"en_US", msg("Cannot open file '%1'.", "a.txt"), "Cannot open file 'a.txt'.", 5},
        {"fr_FR", msg("Cannot open file '%1'.", "a.txt"), "Cannot open file 'a.txt'.", 5},
        {"de_DE", msg("Access denied."), "Zugriff verweigert.", 7},  // key and value trimmed
        {"fr_FR", msg("Access denied."), "Access denied.", 7},       // empty translation
        {"de_DE", msg("Invalid value '%1=%2'.", "a", 1), "Ungültiger Wert 'a=1'.", -1},
        {"de_DE", msg("Task stopped."), "Aufgabe angehalten.", 11},
        {"de_DE", msg("Unknown text %1.", 3), "Unknown text 3.", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + ": " + c.message.format());
        store.setLocale(c.locale);
        EXPECT_EQ(translated(c.message), std::make_pair(c.text, c.number));
    }
}

TEST_F(MessageStoreTest, UnknownMessageLosesItsNumber) {
    load();
    CMessage message("Not in the file.");
    message.setNumber(12);
    store.setLocale("de_DE");
    store.translate(message);
    EXPECT_EQ(message.number(), -1);
    EXPECT_EQ(message.format(), "Not in the file.");
}

TEST_F(MessageStoreTest, RecordWithoutEnglishTextIsRejected) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"missing key", "id=1\nen_US=First.\n\n# comment\nid=2\nde_DE=Zweite.\n\n"},
        {"empty value", "id=1\nen_US=First.\n\n# comment\nid=2\nen_US=\n\n"},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.first);
        CMessageStore fresh;
        write("bad.txt", file.second);
        try {
            fresh.execute(dir, "bad.txt");
            ADD_FAILURE() << "no throw";
        } catch (CException& e) {
            EXPECT_EQ(e.message().text(), "Invalid record at line 7 in message locale file.");
            EXPECT_EQ(e.reasonText(), "Missing key 'en_US'.");
            EXPECT_EQ(e.function(), "CMessageStore::_processRecord");
            EXPECT_EQ(e.module(), "standard");
        }
        EXPECT_EQ(fresh.size(), 1u);  // the records before it stay
    }
}

TEST_F(MessageStoreTest, MissingFileThrows) {
    try {
        store.execute(dir, "none.txt");
        FAIL() << "no throw";
    } catch (CException& e) {
        EXPECT_EQ(e.message().text(), "Cannot open file '" + dir + "/none.txt'.");
        EXPECT_EQ(e.errorCode(), static_cast<std::uint32_t>(ENOENT));
    }
}

TEST_F(MessageStoreTest, ExceptionTextThroughTheStore) {
    load();
    store.setLocale("de_DE");
    struct Case {
        const char* name;
        CException exception;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"reason translated when there is no error code",
         record(msg("Cannot open file '%1'.", "x"), msg("Access denied."), 0),
         "Die Datei 'x' kann nicht geöffnet werden. (Zugriff verweigert.)"},
        {"system text of an error code stays as the system gave it",
         record(msg("Cannot open file '%1'.", "x"), CMessage(), ENOENT),
         "Die Datei 'x' kann nicht geöffnet werden. (No such file or directory)"},
        {"a set reason stays too when there is an error code",
         record(msg("Cannot open file '%1'.", "x"), msg("Access denied."), ENOENT),
         "Die Datei 'x' kann nicht geöffnet werden. (Access denied.)"},
        {"no reason, no parentheses", record(msg("Task stopped."), CMessage(), 0),
         "Aufgabe angehalten."},
        {"unknown texts pass unchanged", record(msg("Other %1.", 2), msg("Why."), 0),
         "Other 2. (Why.)"},
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        c.exception.text(text, &store);
        EXPECT_EQ(text, c.text);
        // Translation works on copies: the record itself keeps its English text.
        EXPECT_EQ(c.exception.message().format().rfind("Die", 0), std::string::npos);
    }
}
