// The ear-tag batch recorded in the production journal (`korvex eartag … --journal FILE`): before
// the machine is touched, the station recovers (its plates left `marking` become `interrupted`),
// the batch's numbers new to the journal join a pool, and numbers the journal knows as marked,
// voided or held are left out with a word on each; then every plate is claimed (committed) before
// its first pulse, `marked` after the pass returned and each tag's read-back recorded.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "eartag_batch.hpp"
#include "plate_ledger.hpp"
#include "station/journal.hpp"

namespace korvex::tool {

// The journal's side of a batch: plates of given numbers (claim_numbers), or with no numbers the
// next queued plate of `order` (claim), as `korvex station run` marks an order.
class JournalLedger : public PlateLedger {
public:
    JournalLedger(station::Journal& journal, station::Actor station, std::string template_name, std::optional<int64_t> order = {})
        : journal_(journal), station_(std::move(station)), template_name_(std::move(template_name)), order_(order) {}

    std::optional<std::vector<std::string>> begin_plate(const std::vector<std::string>& planned) override;
    void plate_marked() override;
    void plate_stopped(const std::string& why) override;
    void tag_read(int slot, const std::string& read) override;

    int64_t plate_id() const { return plate_id_; }  // the plate begun last (0: none yet)

private:
    station::Journal& journal_;
    station::Actor station_;
    std::string template_name_;
    std::optional<int64_t> order_;
    int64_t plate_id_ = 0;
};

// What a batch's numbers are in the journal.
struct BatchNumbers {
    std::vector<std::string> to_mark, second;  // free numbers, in the batch's order (second: theirs, if given)
    std::vector<std::string> skipped;          // a line per number left out and why
    std::vector<station::Plate> held;          // the station's plates waiting for a decision
};

// Recovers the station, adds the numbers the journal does not know to `pool` (created when
// missing), and sorts the batch's numbers into to_mark and skipped. Throws StationError.
BatchNumbers prepare_batch(station::Journal& journal, const station::Actor& station, const std::string& pool,
                           const std::vector<std::string>& numbers, const std::vector<std::string>& second);

// Where `korvex eartag --journal` records its batch.
struct JournalChoice {
    std::string target;         // a SQLite file or a postgresql:// URI; empty: no journal
    std::string station, pool = "eartag", operator_name;
};

// The batch of `options` recorded in the journal: numbers already marked (or voided, or held) are
// named with when and where and left out; exit status as run_eartag's, 1 also when the journal
// refused or the station holds plates waiting for a decision.
int run_eartag_journal(EartagOptions options, const JournalChoice& journal, std::ostream& out, std::ostream& err);

}  // namespace korvex::tool
