#include "production/store.h"

#include "production/record_location.h"
#include "production/sql_store.h"

namespace production {

namespace {

// `--record none`: chips are not recorded, and so no number can be promised to be unique.
class NullStore final : public Store {
  public:
    const std::string& Where() const override { return where_; }
    Result<std::uint32_t> TakeSerial(const SerialSequence&) override {
        return Result<std::uint32_t>::Error(
            "serial numbers need a production record to keep them unique; --record none keeps "
            "none");
    }
    core::Outcome Append(const ChipRecord&) override { return core::Outcome::Passed(); }
    Result<std::vector<ChipRecord>> List(const Filter&) override {
        return Result<std::vector<ChipRecord>>::Ok({});
    }
    Result<std::vector<DayWriterStats>> Stats() override {
        return Result<std::vector<DayWriterStats>>::Ok({});
    }

  private:
    std::string where_ = "none";
};

}  // namespace

Result<std::unique_ptr<Store>> OpenRecord(std::string_view url, const OpenOptions& options) {
    auto location = ParseRecordUrl(url);
    if (!location) return Result<std::unique_ptr<Store>>::Error(location.why);
    if (location.value->kind == RecordLocation::Kind::kNone)
        return Result<std::unique_ptr<Store>>::Ok(std::make_unique<NullStore>());
    return OpenSqlStore(*location.value, options);
}

}  // namespace production
