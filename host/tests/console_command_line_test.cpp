#include "host/console_command_line.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "console_test_support.h"
#include "testing/eventually.h"
#include "testing/failure.h"
#include "testing/temp_folder.h"

extern char** environ;

namespace {

struct Outcome {
    int exitCode = -1;  // -1: did not exit
    std::string out;
    std::string err;
};

class ConsoleCommandLineTest : public ::testing::Test {
protected:
    void SetUp() override { start(false); }
    void start(bool clear) { server = consoletest::serve(clear, script); }
    std::string target() const { return "127.0.0.1:" + std::to_string(server->queryPort()); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(folder.path() + "/" + name, std::ios::binary) << text;
    }
    // Runs the real nbx-console in the test's folder with `arguments` (split at blanks by the
    // shell), `input` on its standard input and NBX_CONSOLE_PASSWORD set to `password` (unset
    // when null).
    Outcome run(const std::string& arguments, const char* password,
                const std::string& input = std::string()) {
        write("in", input);
        std::string line = "cd '" + folder.path() + "' && env -u NBX_CONSOLE_PASSWORD ";
        if (password) line += std::string("NBX_CONSOLE_PASSWORD='") + password + "' ";
        line += "timeout -s KILL 60 '" NBX_CONSOLE_PATH "' " + arguments + " <in >out 2>err";
        // posix_spawn, as fork() is no friend of a process with threads.
        const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
        pid_t pid = 0;
        int status = -1;
        if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) == 0)
            ::waitpid(pid, &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                nbx::testing::readFile(folder.path() + "/out"),
                nbx::testing::readFile(folder.path() + "/err")};
    }
    Outcome console(const std::string& arguments, const char* password = "secret",
                    const std::string& input = std::string()) {
        return run("-s " + target() + " " + arguments, password, input);
    }

    nbx::testing::TempFolder folder{"nbx-console"};
    std::shared_ptr<host::CScriptedCommandHandler> script =
        std::make_shared<host::CScriptedCommandHandler>();
    std::unique_ptr<host::CConsoleServer> server;
};

}  // namespace

TEST(ConsoleCommandLine, ArgumentsBecomeTheCommandText) {
    const struct {
        std::vector<std::string> arguments;
        std::string command;  // or the reason it is refused
    } cases[] = {
        {{"add", "policy", "name=p1", "description=x"}, "add policy\nname=p1\ndescription=x"},
        {{"show", "name=p1"}, "show\nname=p1"},
        {{"-6", "--", "-odd", "note=-6 a=b"}, "-odd\nnote=-6 a=b"},
        {{"modify", "policy", "-6"}, "Argument '-6' is not a key=value pair."},
        {{"show", "policy", "=p1"}, "Argument '=p1' is not a key=value pair."},
        {{"add", "policy", "description=a\n\nlist"},
         "Argument 'description=a\n\nlist' holds a line break."},
        {{"-u", "ops", " "}, "The command is empty."},
        {{"-x", "list"}, "Unknown option '-x'."},
        {{"-p"}, "Option '-p' needs a value."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        std::string command;
        auto f = nbx::testing::failure(
            [&] { command = host::CConsoleCommandLine(c.arguments).command(); });
        EXPECT_EQ(f.thrown ? f.reason : command, c.command);
        if (f.thrown) {
            EXPECT_EQ(f.message, "Invalid command line.");
        }
    }

    const host::CConsoleCommandLine given({"-s", "[::1]:9", "-u", "ops", "-p", "f", "-6", "list"});
    EXPECT_EQ(given.server(), "[::1]:9");
    EXPECT_EQ(given.user(), "ops");
    EXPECT_EQ(given.passwordFile(), "f");
    EXPECT_EQ(given.contextCommand(), "set_context=6");
}

TEST_F(ConsoleCommandLineTest, AnswersPrintedAsSentAndTheirExitCodes) {
    const struct {
        const char* arguments;
        const char* password;
        std::string response;  // as framed on the wire, without the empty line that ends it
        int exitCode;
        std::string received;  // the context, then the command
    } cases[] = {
        {"show policy name=p1", "secret", "description=x\nname=p1\n-\ncode=ack", 0,
         "4:show policy\nname=p1"},
        {"del policy oid=7", "secret", "code=nak\nmessage=No such policy.", 1,
         "4:del policy\noid=7"},
        {"-6 list policy", "secret", "code=ack\ncount=0", 0, "6:list policy"},
        {"-p pw list policy", nullptr, "code=ack\ncount=0", 0, "4:list policy"},
    };
    write("pw", "secret\nignored\n");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::vector<std::string> blocks{c.response};
        for (std::size_t at; (at = blocks.back().find("\n-\n")) != std::string::npos;) {
            blocks.push_back(blocks.back().substr(at + 3));
            blocks[blocks.size() - 2].resize(at);
        }
        script->push(blocks);
        const Outcome outcome = console(c.arguments, c.password);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_EQ(outcome.out, c.response + "\n\n");
        EXPECT_EQ(outcome.err, "");
        const auto records = script->records();
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back().context + ":" + records.back().command, c.received);
        EXPECT_EQ(records.back().index, 2u);  // after set_context
    }
}

TEST_F(ConsoleCommandLineTest, FailuresExitTwoWithOneLine) {
    // Bound but never answering: a port query gets no answer, as from a host that is down.
    const int silent = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = consoletest::loopback(0);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t size = sizeof address;
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string nobody = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    const struct {
        std::string arguments;
        const char* password;
        std::string err;
    } cases[] = {
        {"-s " + target() + " list policy", "Secret", "login refused by " + target()},
        {"-s " + nobody + " list policy", "secret",
         "cannot connect to " + nobody + ": The nbxd service is not running on the remote server."},
        {"-s " + target() + " -p /nonexistent/pw list", nullptr,
         "Cannot read the password file '/nonexistent/pw'. (No such file or directory)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        const Outcome outcome = run(c.arguments, c.password);
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.err, "nbx-console: " + c.err + "\n");
        EXPECT_EQ(outcome.out, "");
    }
    ::close(silent);
    EXPECT_TRUE(script->records().empty());
}

TEST_F(ConsoleCommandLineTest, CommandsFromStandardInput) {
    // A clear-text console wants no password, and there is none to give.
    start(true);
    script->push({"code=ack\ncount=0"});
    script->push({"code=nak\nmessage=No such policy."});
    const Outcome outcome =
        console("", nullptr, "\nlist policy\n\n\nshow policy\nname=p1\n\nquit\nlist policy\n");
    EXPECT_EQ(outcome.exitCode, 1);  // the last command's answer
    EXPECT_EQ(outcome.out, "code=ack\ncount=0\n\ncode=nak\nmessage=No such policy.\n\n");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(script->commands(),
              (std::vector<std::string>{"list policy", "show policy\nname=p1"}));

    // The last command may end with the input instead of an empty line.
    const Outcome unended = console("", nullptr, "show policy\nname=p2");
    EXPECT_EQ(unended.exitCode, 0);
    EXPECT_EQ(script->commands().back(), "show policy\nname=p2");
}
