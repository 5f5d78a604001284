#pragma once
// The command line of every program, read one way: options are written
// "--opt value" or "--opt=value" (a one-letter name "-o value"), "--help"
// and "--version" answer and end the program, and anything wrong ends it
// with one line and exit status 2. Parsing is Qt's (QCommandLineParser); it
// needs no application object, so --help and --version work without a
// display. The help text is made here, in one layout for all programs:
//
//   Usage: <synopsis lines>
//   <description>
//   Options:
//     --name VALUE  what it does ...
//   <notes: exit status and the like>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orlix {

struct OptionSpec {
    std::vector<std::string> names;  // {"o", "output"}: one letter for "-o", longer for "--output"
    std::string valueName;           // "" for a switch without a value
    std::string description;
};

struct ProgramText {
    std::string program;                 // "orlix-decode"
    std::vector<std::string> synopsis;   // "orlix-decode [--json | --csv] [FILE | -]", one per line
    std::string description;             // paragraphs before the options
    std::string notes;                   // paragraphs after the options
};

class OptionReader {
public:
    OptionReader(ProgramText text, std::vector<OptionSpec> options);

    // What a command line asks for, without writing anything.
    struct Outcome {
        enum class Action { Run, ShowHelp, ShowVersion, Fail } action = Action::Run;
        std::string text;  // the help, the version line or what is wrong
    };
    Outcome parse(const std::vector<std::string>& args);

    // Reads the arguments after the program's name. Returns the exit status
    // when the program ends here: after --help or --version (0, or 1 when
    // standard output cannot be written) or a usage error (2, said on
    // standard error); nothing when the program runs.
    std::optional<int> read(const std::vector<std::string>& args);
    std::optional<int> read(int argc, char** argv);

    bool isSet(std::string_view name) const;
    // The last value given for the option ("" when not given).
    std::string value(std::string_view name) const;
    std::vector<std::string> values(std::string_view name) const;
    const std::vector<std::string>& positionals() const { return positionals_; }

    // Says "<program>: <message>" and how to get help on standard error;
    // returns 2, the exit status of a usage error.
    int usageError(const std::string& message) const;

    std::string helpText() const;
    std::string versionLine() const;

private:
    struct Given {
        std::string name;  // the option's first name
        std::vector<std::string> values;
    };
    const Given* find(std::string_view name) const;

    ProgramText text_;
    std::vector<OptionSpec> options_;
    std::vector<Given> given_;
    std::vector<std::string> positionals_;
};

}  // namespace orlix
