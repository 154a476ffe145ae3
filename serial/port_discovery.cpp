// The platform-neutral part of port discovery: natural order.
#include "serial/port_discovery.h"

#include <cctype>

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (digitA && digitB) {
      std::size_t endA = i;
      std::size_t endB = j;
      while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
        ++endA;
      while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
        ++endB;
      // Compare the runs as numbers without converting: strip leading zeros, then length, then
      // digits.
      std::size_t startA = i;
      std::size_t startB = j;
      while (startA + 1 < endA && a[startA] == '0')
        ++startA;
      while (startB + 1 < endB && b[startB] == '0')
        ++startB;
      const std::size_t lengthA = endA - startA;
      const std::size_t lengthB = endB - startB;
      if (lengthA != lengthB) return lengthA < lengthB;
      const int order = a.compare(startA, lengthA, b, startB, lengthB);
      if (order != 0) return order < 0;
      i = endA;
      j = endB;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  if ((a.size() - i) != (b.size() - j)) return (a.size() - i) < (b.size() - j);
  return a < b;
}
