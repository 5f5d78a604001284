#include "platform/option_reader.h"

#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <cstdio>

#include "platform/std_output.h"
#include "platform/version.h"

namespace orlix {
namespace {

constexpr std::size_t kHelpWidth = 79;
constexpr std::size_t kOptionColumn = 24;

QStringList qtNames(const std::vector<std::string>& names) {
    QStringList out;
    for (const std::string& n : names) out << QString::fromStdString(n);
    return out;
}

// "-o, --output OUT" as the help shows an option.
std::string shownNames(const OptionSpec& o) {
    std::string s;
    for (const std::string& n : o.names) {
        if (!s.empty()) s += ", ";
        s += (n.size() == 1 ? "-" : "--") + n;
    }
    if (!o.valueName.empty()) s += " " + o.valueName;
    return s;
}

// `text` wrapped at word boundaries to lines of `width`, each after `indent`
// blanks (the first line after `first` characters already written).
std::string wrapped(const std::string& text, std::size_t indent, std::size_t first) {
    std::string out, word;
    std::size_t column = first;
    auto put = [&] {
        if (word.empty()) return;
        if (column > indent && column + 1 + word.size() > kHelpWidth) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        word.clear();
    };
    for (char c : text) {
        if (c == ' ') put();
        else word += c;
    }
    put();
    return out;
}

}  // namespace

OptionReader::OptionReader(ProgramText text, std::vector<OptionSpec> options)
    : text_(std::move(text)), options_(std::move(options)) {
    options_.push_back({{"h", "help"}, "", "Show this help and exit."});
    options_.push_back({{"v", "version"}, "", "Show the version and exit."});
}

std::optional<int> OptionReader::read(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return read(args);
}

std::optional<int> OptionReader::read(const std::vector<std::string>& args) {
    const Outcome o = parse(args);
    switch (o.action) {
        case Outcome::Action::Run: return std::nullopt;
        case Outcome::Action::Fail: return usageError(o.text);
        case Outcome::Action::ShowHelp:
        case Outcome::Action::ShowVersion: return writeStdout(text_.program.c_str(), o.text) ? 0 : 1;
    }
    return 2;
}

OptionReader::Outcome OptionReader::parse(const std::vector<std::string>& args) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    for (const OptionSpec& o : options_) {
        QCommandLineOption q(qtNames(o.names), QString::fromStdString(o.description));
        if (!o.valueName.empty()) q.setValueName(QString::fromStdString(o.valueName));
        parser.addOption(q);
    }
    QStringList argv{QString::fromStdString(text_.program)};
    for (const std::string& a : args) argv << QString::fromStdString(a);
    if (!parser.parse(argv)) return {Outcome::Action::Fail, parser.errorText().toStdString()};
    if (parser.isSet(QStringLiteral("help"))) return {Outcome::Action::ShowHelp, helpText()};
    if (parser.isSet(QStringLiteral("version"))) return {Outcome::Action::ShowVersion, versionLine()};
    given_.clear();
    for (const OptionSpec& o : options_) {
        const QString name = QString::fromStdString(o.names.front());
        if (!parser.isSet(name)) continue;
        Given g{o.names.front(), {}};
        for (const QString& v : parser.values(name)) g.values.push_back(v.toStdString());
        given_.push_back(std::move(g));
    }
    positionals_.clear();
    for (const QString& p : parser.positionalArguments()) positionals_.push_back(p.toStdString());
    return {};
}

const OptionReader::Given* OptionReader::find(std::string_view name) const {
    for (const OptionSpec& o : options_) {
        if (std::find(o.names.begin(), o.names.end(), name) == o.names.end()) continue;
        for (const Given& g : given_)
            if (g.name == o.names.front()) return &g;
        return nullptr;
    }
    return nullptr;
}

bool OptionReader::isSet(std::string_view name) const { return find(name) != nullptr; }

std::string OptionReader::value(std::string_view name) const {
    const Given* g = find(name);
    return g && !g->values.empty() ? g->values.back() : std::string();
}

std::vector<std::string> OptionReader::values(std::string_view name) const {
    const Given* g = find(name);
    return g ? g->values : std::vector<std::string>{};
}

int OptionReader::usageError(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", text_.program.c_str(), message.c_str(),
                 text_.program.c_str());
    return 2;
}

std::string OptionReader::versionLine() const { return text_.program + " " + versionText() + "\n"; }

std::string OptionReader::helpText() const {
    std::string s;
    for (std::size_t i = 0; i < text_.synopsis.size(); ++i)
        s += (i == 0 ? "Usage: " : "       ") + text_.synopsis[i] + "\n";
    if (!text_.description.empty()) s += "\n" + text_.description + (text_.description.back() == '\n' ? "" : "\n");
    s += "\nOptions:\n";
    for (const OptionSpec& o : options_) {
        const std::string names = "  " + shownNames(o);
        s += names;
        const bool ownLine = names.size() + 2 > kOptionColumn;
        if (ownLine) s += "\n" + std::string(kOptionColumn, ' ');
        else s += std::string(kOptionColumn - names.size(), ' ');
        s += wrapped(o.description, kOptionColumn, kOptionColumn) + "\n";
    }
    if (!text_.notes.empty()) s += "\n" + text_.notes + (text_.notes.back() == '\n' ? "" : "\n");
    return s;
}

}  // namespace orlix
