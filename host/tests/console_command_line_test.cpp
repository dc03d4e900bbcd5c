#include "host/console_command_line.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "console_test_support.h"
#include "host/console_server.h"
#include "host/context_command_handler.h"
#include "host/scripted_command_handler.h"
#include "testing/eventually.h"
#include "testing/failure.h"

extern char** environ;

namespace {

struct Outcome {
    int exitCode = -1;  // -1: killed, or did not end in time
    std::string out;
    std::string err;
};

// A file name of its own for each call, under the test's temporary folder.
std::string scratch(const std::string& suffix) {
    static int count = 0;
    return ::testing::TempDir() + "nbx_console_" + std::to_string(::getpid()) + "_" +
           std::to_string(++count) + suffix;
}

std::string writeScratch(const std::string& suffix, const std::string& text) {
    const std::string path = scratch(suffix);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Runs the real nbx-console with `arguments`, `input` on its standard input and
// NBX_CONSOLE_PASSWORD set to `password` (unset when null).
Outcome runConsole(const std::vector<std::string>& arguments, const char* password,
                   const std::string& input) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "NBX_CONSOLE_PASSWORD=", 21) != 0) environment.push_back(*entry);
    }
    if (password) environment.push_back(std::string("NBX_CONSOLE_PASSWORD=") + password);
    std::vector<std::string> words{NBX_CONSOLE_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    auto pointers = [](std::vector<std::string>& texts) {
        std::vector<char*> out;
        for (std::string& text : texts) out.push_back(&text[0]);
        out.push_back(nullptr);
        return out;
    };
    std::vector<char*> argv = pointers(words);
    std::vector<char*> envp = pointers(environment);

    const std::string in = writeScratch(".in", input);
    const std::string out = scratch(".out");
    const std::string err = scratch(".err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Outcome outcome;
    if (posix_spawn(&pid, NBX_CONSOLE_PATH, &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        if (!nbx::testing::eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; })) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    outcome.out = nbx::testing::readFile(out);
    outcome.err = nbx::testing::readFile(err);
    for (const std::string& path : {in, out, err}) ::unlink(path.c_str());
    return outcome;
}

class ConsoleCommandLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::CConsoleServerConfig config;
        config.listenAddress = "127.0.0.1";
        config.user = "admin";
        config.password = "secret";
        server = std::make_unique<host::CConsoleServer>(config);
        server->addHandler(std::make_shared<host::CContextCommandHandler>());
        server->addHandler(script);
        server->start();
    }
    std::string target() const { return "127.0.0.1:" + std::to_string(server->queryPort()); }
    Outcome console(std::vector<std::string> arguments, const char* password = "secret",
                    const std::string& input = std::string()) {
        arguments.insert(arguments.begin(), {"-s", target()});
        return runConsole(arguments, password, input);
    }

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
        {{"add address_pool", "name=p1", "rangestart=10.0.0.1"},
         "add address_pool\nname=p1\nrangestart=10.0.0.1"},
        {{"show", "name=p1"}, "show\nname=p1"},
        {{"-6", "--", "-odd", "note=-6 a=b"}, "-odd\nnote=-6 a=b"},
        {{"modify", "policy", "-6"}, "Argument '-6' is not a key=value pair."},
        {{"show", "policy", "name"}, "Argument 'name' is not a key=value pair."},
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

    const host::CConsoleCommandLine defaults({});
    EXPECT_EQ(defaults.server(), "127.0.0.1:7071");
    EXPECT_EQ(defaults.user(), "admin");
    EXPECT_EQ(defaults.contextCommand(), "set_context=4");
    EXPECT_EQ(defaults.command(), "");
    const host::CConsoleCommandLine given({"-s", "[::1]:9", "-u", "ops", "-p", "f", "-6", "list"});
    EXPECT_EQ(given.server(), "[::1]:9");
    EXPECT_EQ(given.user(), "ops");
    EXPECT_EQ(given.passwordFile(), "f");
    EXPECT_EQ(given.contextCommand(), "set_context=6");
}

TEST_F(ConsoleCommandLineTest, AnswersPrintedAsSentAndTheirExitCodes) {
    const std::string passwordFile = writeScratch(".pw", "secret\nignored\n");
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        const char* password;
        std::vector<std::string> answer;
        int exitCode;
        std::string out;
        std::string received;
        std::string context;
    } cases[] = {
        {"ack",
         {"show", "policy", "name=p1"},
         "secret",
         {"description=x\nname=p1", "code=ack"},
         0,
         "description=x\nname=p1\n-\ncode=ack\n\n",
         "show policy\nname=p1",
         "4"},
        {"nak",
         {"del", "policy", "oid=7"},
         "secret",
         {"code=nak\nmessage=No such policy."},
         1,
         "code=nak\nmessage=No such policy.\n\n",
         "del policy\noid=7",
         "4"},
        {"-6 chooses the family first",
         {"-6", "list", "policy"},
         "secret",
         {"code=ack\ncount=0"},
         0,
         "code=ack\ncount=0\n\n",
         "list policy",
         "6"},
        {"password from the file",
         {"-p", passwordFile, "list", "policy"},
         nullptr,
         {"code=ack\ncount=0"},
         0,
         "code=ack\ncount=0\n\n",
         "list policy",
         "4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        script->push(c.answer);
        const Outcome outcome = console(c.arguments, c.password);
        EXPECT_EQ(outcome.exitCode, c.exitCode);
        EXPECT_EQ(outcome.out, c.out);
        EXPECT_EQ(outcome.err, "");
        const auto records = script->records();
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back().command, c.received);
        EXPECT_EQ(records.back().context, c.context);
        EXPECT_EQ(records.back().index, 2u);  // after set_context
    }
    ::unlink(passwordFile.c_str());
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
        const char* name;
        std::vector<std::string> arguments;
        const char* password;
        std::string err;
    } cases[] = {
        {"wrong password",
         {"-s", target(), "list", "policy"},
         "Secret",
         "nbx-console: login refused by " + target() + "\n"},
        {"nothing answers",
         {"-s", nobody, "list", "policy"},
         "secret",
         "nbx-console: cannot connect to " + nobody +
             ": The nbxd service is not running on the remote server.\n"},
        {"password file missing",
         {"-s", target(), "-p", "/nonexistent/pw", "list"},
         nullptr,
         "nbx-console: Cannot read the password file '/nonexistent/pw'. "
         "(No such file or directory)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = runConsole(c.arguments, c.password, "");
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_EQ(outcome.err, c.err);
        EXPECT_EQ(outcome.out, "");
    }
    ::close(silent);
    EXPECT_TRUE(script->records().empty());
}

TEST_F(ConsoleCommandLineTest, CommandsFromStandardInput) {
    // A clear-text console wants no password, and there is none to give.
    host::CConsoleServerConfig config;
    config.listenAddress = "127.0.0.1";
    config.clear = true;
    server = std::make_unique<host::CConsoleServer>(config);
    server->addHandler(std::make_shared<host::CContextCommandHandler>());
    server->addHandler(script);
    server->start();
    script->push({"code=ack\ncount=0"});
    script->push({"code=nak\nmessage=No such policy."});

    const Outcome outcome =
        console({}, nullptr, "\nlist policy\n\n\nshow policy\nname=p1\n\nquit\nlist policy\n");
    EXPECT_EQ(outcome.exitCode, 1);  // the last command's answer
    EXPECT_EQ(outcome.out, "code=ack\ncount=0\n\ncode=nak\nmessage=No such policy.\n\n");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(script->commands(),
              (std::vector<std::string>{"list policy", "show policy\nname=p1"}));

    // The last command may end with the input instead of an empty line.
    const Outcome unended = console({}, nullptr, "show policy\nname=p2");
    EXPECT_EQ(unended.exitCode, 0);
    EXPECT_EQ(script->commands().back(), "show policy\nname=p2");
}
