#pragma once
// Where the command-line console takes its password from, in this order: the environment
// variable NBX_CONSOLE_PASSWORD (even when empty), the first line of a password file, a prompt
// on the controlling terminal with echo off. Asked only when the server wants a login, so a
// clear-text console never prompts.

#include <string>

namespace host {

class CConsolePasswordSource {
public:
    static constexpr const char* kVariable = "NBX_CONSOLE_PASSWORD";

    // `variable`: the variable's value, null when it is not set; `file`: empty when none was
    // given; `prompt`: the text shown on the terminal.
    CConsolePasswordSource(const char* variable, const std::string& file,
                           const std::string& prompt);

    // Throws "Cannot read the password file '%1'." with the system's reason, or "No password."
    // when there is neither variable nor file and no terminal to ask on.
    std::string password() const;

private:
    std::string _fromFile() const;
    std::string _fromTerminal() const;

    bool m_hasVariable;
    std::string m_variable;
    std::string m_file;
    std::string m_prompt;
};

}  // namespace host
