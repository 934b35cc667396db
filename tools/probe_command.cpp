// korvex probe: the CH365 cards this PC has (bus address, I/O base, the BAR's resource file) and
// whether each opens, by which access, or why not. The integrator's first look at a station.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "core/shown_input.hpp"
#include "platform/ch365_card.hpp"
#include "tool_command.hpp"

namespace korvex::tool {

// 0 when at least one card opened, 1 otherwise.
int run_probe_command(const std::string& sysfs_root, std::ostream& out) {
    std::vector<std::string> unreadable;
    const std::vector<Ch365Found> cards = find_ch365_cards(sysfs_root, &unreadable);
    out << "korvex probe: " << cards.size() << " CH365 card" << (cards.size() == 1 ? "" : "s")
        << " (PCI 4348:5049) under " << Shown_input(sysfs_root, kShownPathChars) << "\n";
    for (const std::string& why : unreadable) out << "skipped: " << Shown_input(why, kShownMessageChars) << "\n";
    int opened = 0;
    for (std::size_t i = 0; i < cards.size(); ++i) {
        Ch365Card::Options o;
        o.sysfs_root = sysfs_root;
        o.device_index = static_cast<int>(i);
        // Only the system's own tree names real ports; a copy or a test tree is reached by its files.
        o.allow_port_io = sysfs_root == ch365::kSysfsPciDevices;
        Ch365Card card(o);
        char base[32];
        std::snprintf(base, sizeof base, "0x%04llX", static_cast<unsigned long long>(cards[i].io_base));
        out << "card " << i << ": " << Shown_input(cards[i].address) << ", I/O base " << base << " (resource"
            << cards[i].bar << "), ";
        if (card.open()) {
            ++opened;
            out << "opens by " << access_name(card.access()) << "\n";
        } else {
            out << "does not open: " << Shown_input(card.failure(), kShownMessageChars) << "\n";
        }
    }
    if (cards.empty())
        out << "no card: direct marking needs the CH365 card; the tools still run on the simulated one\n";
    return opened > 0 ? 0 : 1;
}

ToolCommand add_probe_command(CLI::App& app) {
    auto root = std::make_shared<std::string>(ch365::kSysfsPciDevices);
    ToolCommand c;
    c.sub = app.add_subcommand("probe", "List the CH365 I/O cards found (bus address, I/O base) and whether they open");
    c.sub->add_option("--sysfs", *root, "PCI devices folder to search")->capture_default_str();
    c.run = [root] { return run_probe_command(*root, std::cout); };
    return c;
}

}  // namespace korvex::tool
