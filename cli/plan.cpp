#include "cli/plan.h"

#include <array>
#include <map>

#include "cli/messages.h"
#include "cli/values.h"

namespace {

enum TColumn { kPort, kAddress, kRate, kPowerUp, kOnCommand, kRemember, kNewAddress, kNewRate };
constexpr std::array<std::string_view, 8> kColumnNames = {
    "port", "address", "rate", "power_up", "on_command", "remember", "new_address", "new_rate"};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// Splits one line into cells; false when a quoted cell is not closed.
bool SplitCells(std::string_view line, char separator, std::vector<std::string>& cells) {
  cells.clear();
  std::size_t i = 0;
  for (;;) {
    std::string cell;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
      ++i;
    if (i < line.size() && line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            cell += '"';
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        cell += line[i++];
      }
      if (!closed) return false;
      while (i < line.size() && line[i] != separator) {
        if (line[i] != ' ' && line[i] != '\t' && line[i] != '\r') return false;
        ++i;
      }
    } else {
      const std::size_t end = line.find(separator, i);
      cell = std::string(Trim(line.substr(i, end == std::string_view::npos ? end : end - i)));
      i = end == std::string_view::npos ? line.size() : end;
    }
    cells.push_back(std::move(cell));
    if (i >= line.size()) return true;
    ++i;  // the separator
  }
}

struct TLine {
  int number;
  std::string_view text;
};

std::vector<TLine> Lines(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<TLine> lines;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#') continue;
    lines.push_back({number, line});
  }
  return lines;
}

}  // namespace

TPlan ParsePlan(std::string_view text) {
  TPlan plan;
  const std::vector<TLine> lines = Lines(text);
  if (lines.empty()) {
    plan.errors.push_back({0, Tr("the plan is empty: it needs a header row and a row per device")});
    return plan;
  }

  const TLine& header = lines.front();
  const char separator = header.text.find(',') == std::string_view::npos &&
                                 header.text.find(';') != std::string_view::npos
                             ? ';'
                             : ',';
  std::vector<std::string> cells;
  std::vector<int> columnOf;  // the column kind of each position
  std::array<bool, kColumnNames.size()> present{};
  if (!SplitCells(header.text, separator, cells)) {
    plan.errors.push_back({header.number, Tr("a quoted cell is not closed")});
    return plan;
  }
  for (const std::string& name : cells) {
    int kind = -1;
    for (std::size_t k = 0; k < kColumnNames.size(); ++k)
      if (kColumnNames[k] == name) kind = static_cast<int>(k);
    if (kind < 0) {
      plan.errors.push_back(
          {header.number,
           Format(Tr("unknown column '%s' in the header (columns: port, address, rate, "
                     "power_up, on_command, remember, new_address, new_rate)"),
                  name.c_str())});
      continue;
    }
    if (present[static_cast<std::size_t>(kind)]) {
      plan.errors.push_back(
          {header.number, Format(Tr("column '%s' appears twice in the header"), name.c_str())});
    }
    present[static_cast<std::size_t>(kind)] = true;
    columnOf.push_back(kind);
  }
  if (!present[kPort] || !present[kAddress]) {
    plan.errors.push_back(
        {header.number, Tr("the header row must name the columns port and address")});
  }
  if (!plan.errors.empty()) return plan;

  std::map<std::pair<std::string, unsigned>, int> seen;  // (port, address) -> line
  for (std::size_t l = 1; l < lines.size(); ++l) {
    const TLine& line = lines[l];
    const auto fail = [&](const std::string& message) {
      plan.errors.push_back({line.number, message});
    };
    if (!SplitCells(line.text, separator, cells)) {
      fail(Tr("a quoted cell is not closed"));
      continue;
    }
    if (cells.size() != columnOf.size()) {
      fail(Format(Tr("%zu cells where the header names %zu columns"), cells.size(),
                  columnOf.size()));
      continue;
    }
    TPlanRow row;
    row.line = line.number;
    const std::size_t before = plan.errors.size();
    bool wantsSomething = false;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const std::string& cell = cells[c];
      const std::string_view name = kColumnNames[static_cast<std::size_t>(columnOf[c])];
      if (cell.empty()) continue;
      switch (columnOf[c]) {
        case kPort:
          row.port = cell;
          break;
        case kAddress:
          if (const auto value = ParseAddress(cell))
            row.address = *value;
          else
            fail(AddressFault(name, cell));
          break;
        case kRate:
          if (const auto value = ParseRate(cell))
            row.baudIndex = *value;
          else
            fail(RateFault(name, cell));
          break;
        case kPowerUp:
          if ((row.powerUp = ParseMode(cell)))
            wantsSomething = true;
          else
            fail(ModeFault(name, cell));
          break;
        case kOnCommand:
          if ((row.onCommand = ParseMode(cell)))
            wantsSomething = true;
          else
            fail(ModeFault(name, cell));
          break;
        case kRemember:
          if ((row.remember = ParseYesNo(cell)))
            wantsSomething = true;
          else
            fail(YesNoFault(name, cell));
          break;
        case kNewAddress:
          if ((row.newAddress = ParseAddress(cell)))
            wantsSomething = true;
          else
            fail(AddressFault(name, cell));
          break;
        case kNewRate:
          if ((row.newBaudIndex = ParseRate(cell)))
            wantsSomething = true;
          else
            fail(RateFault(name, cell));
          break;
        default:
          break;
      }
    }
    if (plan.errors.size() != before) continue;
    if (row.port.empty()) {
      fail(Tr("the port is missing"));
      continue;
    }
    if (row.address == 0) {
      fail(Tr("the address is missing"));
      continue;
    }
    if (!wantsSomething) {
      fail(
          Tr("the row asks for no setting (power_up, on_command, remember, new_address or "
             "new_rate)"));
      continue;
    }
    const auto [at, fresh] =
        seen.emplace(std::make_pair(row.port, unsigned{row.address}), row.line);
    if (!fresh) {
      fail(Format(Tr("address %u on %s is already planned on line %d"), unsigned{row.address},
                  row.port.c_str(), at->second));
      continue;
    }
    plan.rows.push_back(std::move(row));
  }
  if (plan.errors.empty() && plan.rows.empty())
    plan.errors.push_back({0, Tr("the plan has a header row but no device")});
  return plan;
}
