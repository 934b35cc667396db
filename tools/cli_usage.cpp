// parse_command_line: CLI11's parse with the program's own exit statuses and a suggestion for a
// mistyped sub-command.
#include "cli_usage.hpp"

#include <algorithm>
#include <numeric>

#include "core/shown_input.hpp"

namespace korvex::tool {

namespace {

// Levenshtein distance; the words are command names and what was typed for one, so quadratic is fine.
size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), size_t{0});
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t replaced = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            diagonal = row[j];
            row[j] = std::min({replaced, row[j] + 1, row[j - 1] + 1});
        }
    }
    return row[b.size()];
}

std::vector<std::string> subcommand_names(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
        names.push_back(sub->get_name());
    return names;
}

// Follows the words of the command line down the sub-commands; the first word where a sub-command
// is required and none has that name, with the command it was given to.
struct UnknownWord {
    const CLI::App* parent = nullptr;
    std::string word;
};

std::optional<UnknownWord> unknown_subcommand(const CLI::App& app, int argc, const char* const* argv) {
    const CLI::App* current = &app;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.empty() || word[0] == '-') return std::nullopt;  // options and their values: not followed
        const auto names = subcommand_names(*current);
        if (std::find(names.begin(), names.end(), word) != names.end()) {
            current = current->get_subcommand(word);
            continue;
        }
        if (current->get_require_subcommand_min() > 0) return UnknownWord{current, word};
        return std::nullopt;
    }
    return std::nullopt;
}

std::string command_path(const CLI::App* app) {
    std::string path = app->get_name();
    for (const CLI::App* p = app->get_parent(); p; p = p->get_parent()) path = p->get_name() + " " + path;
    return path;
}

}  // namespace

std::string nearest_name(const std::string& typed, const std::vector<std::string>& names) {
    std::string best;
    size_t best_distance = 0;
    for (const std::string& name : names) {
        const bool prefix = typed.size() >= 2 && name.compare(0, typed.size(), typed) == 0;
        const size_t d = prefix ? 1 : edit_distance(typed, name);
        if (best.empty() || d < best_distance) best = name, best_distance = d;
    }
    const size_t allowed = std::max<size_t>(2, std::max(typed.size(), best.size()) / 3);
    return best_distance <= allowed ? best : "";
}

std::optional<int> parse_command_line(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                                      std::ostream& err) {
    try {
        app.parse(argc, argv);
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {  // --help, --version
            app.exit(e, out, err);
            return 0;
        }
        if (const auto unknown = unknown_subcommand(app, argc, argv)) {
            const std::string parent = command_path(unknown->parent);
            err << parent << ": '" << Shown_input(unknown->word, kShownInputChars) << "' is not a " << parent
                << " command";
            const std::string nearest = nearest_name(unknown->word, subcommand_names(*unknown->parent));
            if (!nearest.empty()) err << "; did you mean '" << nearest << "'?";
            err << "\nRun '" << parent << " --help' for the list of commands.\n";
        } else {
            app.exit(e, out, err);
        }
        return kUsageStatus;
    }
}

}  // namespace korvex::tool
