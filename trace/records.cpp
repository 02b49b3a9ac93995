#include "trace/records.h"

#include "i18n/language.h"

namespace hs {
namespace {
std::atomic<int64_t> liveRows{0};
}

namespace {
struct StatusText {
  uint32_t status;
  i18n::Text text;
};
// TRANSLATORS: a hop's name in the results list when it gave this answer.
constexpr StatusText kStatusTexts[] = {
    {IP_BAD_DESTINATION, NC_("188", "Bad Destination")},
    {IP_DEST_NET_UNREACHABLE, NC_("189", "Destination Net Unreachable")},
    {IP_DEST_HOST_UNREACHABLE, NC_("190", "Destination Host Unreachable")},
    {IP_DEST_PORT_UNREACHABLE, NC_("191", "Destination Port Unreachable")},
    // TRANSLATORS: "Protocal" is a misspelling kept in the English text; translate "protocol".
    {IP_DEST_PROT_UNREACHABLE, NC_("192", "Destination Protocal Unreachable")},
    {IP_REQ_TIMED_OUT, NC_("194", "No Response")},
};
}  // namespace

std::string_view StatusRowText(uint32_t status) {
  for (const StatusText& s : kStatusTexts)
    if (s.status == status) return s.text.english;
  return {};
}

std::string ShownName(std::string_view name) {
  // Host names hold no blanks, so no name from the resolver is taken for one of these.
  for (const StatusText& s : kStatusTexts)
    if (name == s.text.english) return i18n::Tr(s.text);
  return std::string(name);
}

bool EndsRoute(uint32_t status) {
  switch (status) {
    case IP_SUCCESS:
    case IP_DEST_NET_UNREACHABLE:
    case IP_DEST_HOST_UNREACHABLE:
    case IP_DEST_PROT_UNREACHABLE:
    case IP_DEST_PORT_UNREACHABLE:
    case IP_BAD_DESTINATION: return true;
    default: return false;
  }
}

HopRecord::HopRecord() { liveRows.fetch_add(1); }
HopRecord::~HopRecord() { liveRows.fetch_sub(1); }

int64_t HopRecord::LiveRows() { return liveRows.load(); }

void HopRecord::Release() const {
  if (refCount_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

std::string HopRecord::Name() const {
  std::lock_guard g(textLock_);
  return name_;
}

void HopRecord::SetName(std::string_view name) {
  if (name.size() > kMaxNameLength) name = name.substr(0, kMaxNameLength);
  std::lock_guard g(textLock_);
  name_.assign(name);
}

GeoLocation HopRecord::Location() const {
  std::lock_guard g(textLock_);
  return location_;
}

void HopRecord::SetLocation(const GeoLocation& location) {
  std::lock_guard g(textLock_);
  location_ = location;
}

std::shared_ptr<const std::string> HopRecord::WhoisText() const {
  std::lock_guard g(textLock_);
  return whoisText_;
}

void HopRecord::SetWhoisText(std::shared_ptr<const std::string> text) {
  std::lock_guard g(textLock_);
  whoisText_ = std::move(text);
}

std::string HopRecord::NetName() const {
  std::lock_guard g(textLock_);
  return netName_;
}

void HopRecord::SetNetName(std::string_view name) {
  std::lock_guard g(textLock_);
  netName_.assign(name);
}

std::shared_ptr<const DomainRecord> HopRecord::DomainRecordOf() const {
  std::lock_guard g(textLock_);
  return domainRecord_;
}

void HopRecord::SetDomainRecord(std::shared_ptr<const DomainRecord> record) {
  std::lock_guard g(textLock_);
  domainRecord_ = std::move(record);
}

int HopRecord::HopResponseClass() const {
  const uint32_t rtt = lastRtt.load();
  for (int32_t t : rttThresholds)
    if (rtt < static_cast<uint32_t>(t)) return 3;
  return 0;
}

void HopTable::Reset(uint64_t generation) {
  std::array<HopRef, kMaxRows> old;
  {
    std::lock_guard g(lock_);
    generation_ = generation;
    rowCount_.store(0);
    old.swap(slots_);
  }
  // `old` drops the table's references outside the lock.
}

uint64_t HopTable::Generation() const {
  std::lock_guard g(lock_);
  return generation_;
}

bool HopTable::SetRow(uint32_t generation, int index, HopRef row) {
  if (index < 0 || index >= kMaxRows) return false;
  std::lock_guard g(lock_);
  if (generation != generation_) return false;
  slots_[index] = std::move(row);
  return true;
}

bool HopTable::SetRowCount(uint32_t generation, int count) {
  if (count < 0 || count > kMaxRows) return false;
  std::lock_guard g(lock_);
  if (generation != generation_) return false;
  rowCount_.store(count);
  return true;
}

bool HopTable::SwapRows(uint32_t generation, int a, int b) {
  if (a < 0 || b < 0 || a >= kMaxRows || b >= kMaxRows) return false;
  std::lock_guard g(lock_);
  if (generation != generation_) return false;
  std::swap(slots_[a], slots_[b]);
  if (slots_[a]) slots_[a]->hopNumber.store(a);
  if (slots_[b]) slots_[b]->hopNumber.store(b);
  return true;
}

HopRef HopTable::Row(int index) const {
  std::lock_guard g(lock_);
  if (index < 0 || index >= rowCount_.load()) return {};
  return slots_[index];
}

std::vector<HopRef> HopTable::Snapshot() const {
  std::lock_guard g(lock_);
  const int n = rowCount_.load();
  std::vector<HopRef> rows;
  rows.reserve(n);
  for (int i = 0; i < n; ++i) rows.push_back(slots_[i]);
  return rows;
}

}  // namespace hs
