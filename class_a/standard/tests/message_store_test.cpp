#include "standard/message_store.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "standard/exception.h"
#include "standard/throw.h"
#include "testing/failure.h"
#include "testing/temp_folder.h"

using nbx::CException;
using nbx::CMessage;
using nbx::CMessageStore;
using nbx::msg;
using nbx::testing::failure;

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
    void write(const std::string& name, const std::string& content) {
        std::ofstream(dir + "/" + name, std::ios::binary) << content;
    }
    nbx::testing::TempFolder folder;
    const std::string dir = folder.path();
    CMessageStore store;
};

CException record(CMessage message, CMessage reason, std::uint32_t code) {
    return nbx::makeException(NBX_STATIC_SITE("standard", "test"), std::move(message),
                              std::move(reason), code);
}

}  // namespace

TEST_F(MessageStoreTest, TranslatesForTheLocale) {
    write("messages.txt", kLocaleFile);
    store.execute(dir, "messages.txt");
    EXPECT_EQ(store.size(), 5u);
    struct Case {
        const char* locale;
        CMessage message;
        std::string text;
        std::int32_t number;
    };
    CMessage numbered("Not in the file.");
    numbered.setNumber(12);
    const std::vector<Case> cases = {
        {"de_DE", msg("Cannot open file '%1'.", "a.txt"),
         "Die Datei 'a.txt' kann nicht geöffnet werden.", 5},
        {"fr_FR", msg("Cannot open file '%1'.", "a.txt"), "Cannot open file 'a.txt'.", 5},
        {"de_DE", msg("Access denied."), "Zugriff verweigert.", 7},  // key and value trimmed
        {"fr_FR", msg("Access denied."), "Access denied.", 7},       // empty translation
        {"de_DE", msg("Invalid value '%1=%2'.", "a", 1), "Ungültiger Wert 'a=1'.", -1},
        {"de_DE", numbered, "Not in the file.", -1},  // an unknown message loses its number
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + ": " + c.message.format());
        store.setLocale(c.locale);
        CMessage message(c.message);
        store.translate(message);
        EXPECT_EQ(message.text(), c.text);
        EXPECT_EQ(message.number(), c.number);
    }

    // Exception texts through the store.
    struct Record {
        const char* name;
        CException exception;
        std::string text;
    };
    const std::vector<Record> records = {
        {"reason translated when there is no error code",
         record(msg("Cannot open file '%1'.", "x"), msg("Access denied."), 0),
         "Die Datei 'x' kann nicht geöffnet werden. (Zugriff verweigert.)"},
        {"system text of an error code stays as the system gave it",
         record(msg("Cannot open file '%1'.", "x"), CMessage(), ENOENT),
         "Die Datei 'x' kann nicht geöffnet werden. (No such file or directory)"},
        {"a set reason stays too when there is an error code",
         record(msg("Cannot open file '%1'.", "x"), msg("Access denied."), ENOENT),
         "Die Datei 'x' kann nicht geöffnet werden. (Access denied.)"},
        {"no reason, no parentheses; the last record needs no final empty line",
         record(msg("Task stopped."), CMessage(), 0), "Aufgabe angehalten."},
    };
    store.setLocale("de_DE");
    for (Record r : records) {
        SCOPED_TRACE(r.name);
        std::string text;
        r.exception.text(text, &store);
        EXPECT_EQ(text, r.text);
        // Translation works on copies: the record itself keeps its English text.
        EXPECT_EQ(r.exception.message().format().rfind("Die", 0), std::string::npos);
    }
}

TEST_F(MessageStoreTest, BadOrMissingFilesAreRefused) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"missing key", "id=1\nen_US=First.\n\n# comment\nid=2\nde_DE=Zweite.\n\n"},
        // An empty English text counts as none; it would otherwise stand for every message.
        {"empty value", "id=1\nen_US=First.\n\n# comment\nid=2\nen_US=\n\n"},
    };
    for (const auto& file : files) {
        SCOPED_TRACE(file.first);
        CMessageStore fresh;
        write("bad.txt", file.second);
        auto f = failure([&] { fresh.execute(dir, "bad.txt"); });
        EXPECT_EQ(f.text(),
                  "Invalid record at line 7 in message locale file. | Missing key 'en_US'.");
        EXPECT_EQ(f.function, "CMessageStore::_processRecord");
        EXPECT_EQ(fresh.size(), 1u);  // the records before it stay
    }
    auto missing = failure([&] { store.execute(dir, "none.txt"); });
    EXPECT_EQ(missing.message, "Cannot open file '" + dir + "/none.txt'.");
    EXPECT_EQ(missing.code, static_cast<std::uint32_t>(ENOENT));
}
