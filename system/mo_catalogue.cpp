#include "system/mo_catalogue.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

constexpr std::uint32_t kMagic = 0x950412DEu;
constexpr std::uint32_t kMagicSwapped = 0xDE120495u;
// Far above any catalogue of this program; a larger file is not read into memory.
constexpr std::uint64_t kMaxFileSize = 16u << 20;

class Reader {
 public:
  Reader(std::string_view data, bool swapped) : data_(data), swapped_(swapped) {}

  // The 32-bit word at `offset`, or nothing when it does not lie wholly inside the data.
  std::optional<std::uint32_t> Word(std::uint64_t offset) const {
    if (offset > data_.size() || data_.size() - offset < 4) return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + offset);
    std::uint32_t little = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                           std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
    if (!swapped_) return little;
    return (little >> 24) | ((little >> 8) & 0xFF00u) | ((little << 8) & 0xFF0000u) |
           (little << 24);
  }

  // String `index` of the table at `table` (a length and an offset per entry), or nothing when
  // the entry or its bytes lie outside the data.
  std::optional<std::string_view> String(std::uint32_t table, std::uint32_t index) const {
    const std::uint64_t entry = std::uint64_t{table} + std::uint64_t{index} * 8;
    const auto length = Word(entry);
    const auto offset = Word(entry + 4);
    if (!length || !offset) return std::nullopt;
    if (*offset > data_.size() || data_.size() - *offset < *length) return std::nullopt;
    return data_.substr(*offset, *length);
  }

 private:
  std::string_view data_;
  bool swapped_;
};

// Of "singular\0plural" the singular.
std::string_view FirstForm(std::string_view s) {
  return s.substr(0, s.find('\0'));
}

}  // namespace

bool TMoCatalogue::Load(const std::string& path) {
  Clear();
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > kMaxFileSize) return false;
  file.seekg(0, std::ios::beg);
  std::string data(static_cast<std::size_t>(size), '\0');
  if (!file.read(data.data(), size)) return false;
  return Parse(data);
}

bool TMoCatalogue::Parse(std::string_view data) {
  Clear();
  const auto magic = Reader(data, false).Word(0);
  if (!magic || (*magic != kMagic && *magic != kMagicSwapped)) return false;
  const Reader reader(data, *magic == kMagicSwapped);
  const auto revision = reader.Word(4);
  const auto count = reader.Word(8);
  const auto originals = reader.Word(12);
  const auto translations = reader.Word(16);
  if (!revision || !count || !originals || !translations) return false;
  if ((*revision >> 16) > 1) return false;  // a major revision this reader does not know

  std::unordered_map<std::string, std::string> entries;
  for (std::uint32_t i = 0; i < *count; ++i) {
    const auto original = reader.String(*originals, i);
    const auto translation = reader.String(*translations, i);
    if (!original || !translation) return false;
    if (original->empty()) continue;  // the header
    entries.emplace(std::string(FirstForm(*original)), std::string(FirstForm(*translation)));
  }
  entries_ = std::move(entries);
  return true;
}

const std::string* TMoCatalogue::Find(std::string_view original) const {
  const auto it = entries_.find(std::string(original));
  return it != entries_.end() ? &it->second : nullptr;
}
