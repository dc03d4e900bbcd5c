// nbx-console: the operator's command-line client of a host's remote console.

#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "host/console_command_line.h"
#include "host/console_command_runner.h"
#include "host/console_password_source.h"
#include "standard/exception.h"

namespace {

bool readTerminalLine(bool continuation, std::string& line) {
    char* text = ::readline(continuation ? "... " : "nbx> ");
    if (text == nullptr) {
        std::cout << std::endl;  // leaves the shell's prompt on a line of its own
        return false;
    }
    line = text;
    if (!line.empty()) ::add_history(text);
    std::free(text);
    return true;
}

bool readStandardInput(bool, std::string& line) {
    return static_cast<bool>(std::getline(std::cin, line));
}

}  // namespace

int main(int argc, char** argv) {
    // A server that goes away must fail the write, not kill the console.
    std::signal(SIGPIPE, SIG_IGN);
    using Runner = host::CConsoleCommandRunner;

    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::unique_ptr<host::CConsoleCommandLine> options;
    try {
        options = std::make_unique<host::CConsoleCommandLine>(arguments);
    } catch (nbx::CException& e) {
        std::cerr << Runner::kProgram << ": " << e.text() << " Try '" << Runner::kProgram << " -h'."
                  << std::endl;
        return Runner::kFailure;
    }
    if (options->help()) {
        std::cout << host::CConsoleCommandLine::usage();
        return Runner::kAck;
    }

    const host::CConsolePasswordSource source(
        std::getenv(host::CConsolePasswordSource::kVariable), options->passwordFile(),
        "Password for " + options->user() + " at " + options->server() + ": ");
    Runner runner(
        *options, [&source] { return source.password(); }, std::cout, std::cerr);
    if (!runner.open()) return Runner::kFailure;
    if (!options->command().empty()) return runner.run(options->command());
    if (!::isatty(STDIN_FILENO)) return runner.runLines(readStandardInput);
    std::cout << runner.greeting();
    std::cout.flush();
    return runner.runLines(readTerminalLine);
}
