// A GNU message catalogue (.mo file) read into memory, for platforms without gettext.
//
// Every offset and length in the file is checked against the file's size before it is used, so
// a damaged or hostile file is refused (Load/Parse return false, leaving the catalogue empty)
// and never read outside. Both byte orders are accepted. Of a plural entry the singular is kept;
// the header entry (empty original) is skipped.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

class TMoCatalogue {
 public:
  // Reads and parses the file; false (and empty) when it cannot be read or is damaged.
  bool Load(const std::string& path);
  // Parses a whole file's contents; false (and empty) when damaged.
  bool Parse(std::string_view data);
  void Clear() { entries_.clear(); }

  // The translation of `original`, or null when the catalogue has none.
  const std::string* Find(std::string_view original) const;
  std::size_t Size() const { return entries_.size(); }

 private:
  std::unordered_map<std::string, std::string> entries_;
};
