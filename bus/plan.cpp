#include "bus/plan.h"

#include <array>
#include <map>

#include "bus/messages.h"
#include "bus/values.h"

namespace {

// The columns that say where a device is; the settings' columns follow, column kFirstSetting + i
// for setting i of the table.
enum TColumn { kPort, kAddress, kRate, kFirstSetting };
constexpr std::size_t kColumnCount = kFirstSetting + kSettingCount;

std::string_view ColumnName(std::size_t column) {
  static constexpr std::string_view kPlaceNames[] = {"port", "address", "rate"};
  return column < kFirstSetting ? kPlaceNames[column] : kSettings[column - kFirstSetting].column;
}

std::string ColumnList() {
  std::string names;
  for (std::size_t c = 0; c < kColumnCount; ++c)
    names += (c == 0 ? "" : ", ") + std::string(ColumnName(c));
  return names;
}

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

struct THeader {
  char separator = ',';
  std::vector<std::size_t> columnOf;  // the column of each position
};

// Reads the header row: the separator and the column at each position; false with its errors.
bool ReadHeader(const TLine& header, std::vector<TPlanError>& errors, THeader& columns) {
  columns.separator = header.text.find(',') == std::string_view::npos &&
                              header.text.find(';') != std::string_view::npos
                          ? ';'
                          : ',';
  std::vector<std::string> cells;
  if (!SplitCells(header.text, columns.separator, cells)) {
    errors.push_back({header.number, Tr("a quoted cell is not closed")});
    return false;
  }
  std::array<bool, kColumnCount> present{};
  const std::size_t before = errors.size();
  for (const std::string& name : cells) {
    std::size_t column = 0;
    while (column < kColumnCount && ColumnName(column) != name)
      ++column;
    if (column == kColumnCount) {
      errors.push_back({header.number, Format(Tr("unknown column '%s' in the header (columns: %s)"),
                                              name.c_str(), ColumnList().c_str())});
      continue;
    }
    if (present[column]) {
      errors.push_back(
          {header.number, Format(Tr("column '%s' appears twice in the header"), name.c_str())});
    }
    present[column] = true;
    columns.columnOf.push_back(column);
  }
  if (!present[kPort] || !present[kAddress])
    errors.push_back({header.number, Tr("the header row must name the columns port and address")});
  return errors.size() == before;
}

// One cell into the row; false with the message for a value that is refused.
bool ReadCell(std::size_t column, const std::string& cell, TPlanRow& row, std::string& fault) {
  const std::string_view name = ColumnName(column);
  switch (column) {
    case kPort:
      row.port = cell;
      return true;
    case kAddress:
      if (const auto value = ParseAddress(cell)) {
        row.address = *value;
        return true;
      }
      fault = AddressFault(name, cell);
      return false;
    case kRate:
      if (const auto value = ParseRate(cell)) {
        row.baudIndex = *value;
        return true;
      }
      fault = RateFault(name, cell);
      return false;
    default: {
      const TSetting& setting = kSettings[column - kFirstSetting];
      if ((row.wanted.values[column - kFirstSetting] = setting.parse(cell))) return true;
      fault = setting.fault(name, cell);
      return false;
    }
  }
}

// One row of devices; nothing when it has a fault, which is added to the errors.
std::optional<TPlanRow> ReadRow(const TLine& line, const THeader& header,
                                std::vector<TPlanError>& errors) {
  const auto fail = [&](const std::string& message) {
    errors.push_back({line.number, message});
    return std::nullopt;
  };
  std::vector<std::string> cells;
  if (!SplitCells(line.text, header.separator, cells))
    return fail(Tr("a quoted cell is not closed"));
  if (cells.size() != header.columnOf.size()) {
    return fail(Format(Tr("%zu cells where the header names %zu columns"), cells.size(),
                       header.columnOf.size()));
  }
  TPlanRow row;
  row.line = line.number;
  bool refused = false;
  for (std::size_t c = 0; c < cells.size(); ++c) {
    std::string fault;
    if (!cells[c].empty() && !ReadCell(header.columnOf[c], cells[c], row, fault)) {
      fail(fault);
      refused = true;
    }
  }
  if (refused) return std::nullopt;
  if (row.port.empty()) return fail(Tr("the port is missing"));
  if (row.address == 0) return fail(Tr("the address is missing"));
  if (row.wanted.Empty())
    return fail(Format(Tr("the row asks for no setting (%s)"), SettingColumns().c_str()));
  return row;
}

}  // namespace

TPlan ParsePlan(std::string_view text) {
  TPlan plan;
  const std::vector<TLine> lines = Lines(text);
  if (lines.empty()) {
    plan.errors.push_back({0, Tr("the plan is empty: it needs a header row and a row per device")});
    return plan;
  }
  THeader header;
  if (!ReadHeader(lines.front(), plan.errors, header)) return plan;

  std::map<std::pair<std::string, unsigned>, int> seen;  // (port, address) -> line
  for (std::size_t l = 1; l < lines.size(); ++l) {
    std::optional<TPlanRow> row = ReadRow(lines[l], header, plan.errors);
    if (!row) continue;
    const auto [at, fresh] =
        seen.emplace(std::make_pair(row->port, unsigned{row->address}), row->line);
    if (!fresh) {
      plan.errors.push_back(
          {row->line, Format(Tr("address %u on %s is already planned on line %d"),
                             unsigned{row->address}, row->port.c_str(), at->second)});
      continue;
    }
    plan.rows.push_back(std::move(*row));
  }
  if (plan.errors.empty() && plan.rows.empty())
    plan.errors.push_back({0, Tr("the plan has a header row but no device")});
  return plan;
}
