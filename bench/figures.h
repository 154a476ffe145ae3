// Figures of a benchmark run: order statistics of samples and the rows of the result table.
// Pure; any thread.
#pragma once

#include <string>
#include <vector>

// The q-quantile (0 < q <= 1) by nearest rank: the smallest sample with at least q of the
// samples at or below it. 0 for no samples.
double Quantile(std::vector<double> samples, double q);
double Median(const std::vector<double>& samples);
double Mean(const std::vector<double>& samples);

// A number with the given count of decimals.
std::string Fixed(double value, int decimals);

// One row of the result table, printed on stdout at once as a Markdown table row:
// | figure | measured | nominal or reference | ratio | target |
void PrintRow(const std::string& figure, const std::string& measured, const std::string& nominal,
              const std::string& ratio, const std::string& target);
