#include "bench/figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

double Quantile(std::vector<double> samples, double q) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(samples.size())));
  return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

double Median(const std::vector<double>& samples) {
  return Quantile(samples, 0.5);
}

double Mean(const std::vector<double>& samples) {
  if (samples.empty()) return 0;
  return std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

void PrintRow(const std::string& figure, const std::string& measured, const std::string& nominal,
              const std::string& ratio, const std::string& target) {
  std::printf("| %s | %s | %s | %s | %s |\n", figure.c_str(), measured.c_str(), nominal.c_str(),
              ratio.c_str(), target.c_str());
  std::fflush(stdout);
}
