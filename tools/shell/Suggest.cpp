#include "tools/shell/Suggest.h"

#include <algorithm>

#include "automation/AsciiCase.h"

namespace vorlix::shell {
namespace {

// Edit distance with swaps of neighbours (the optimal string alignment distance), since a swap
// is the commonest typing slip.
size_t Distance(std::string_view a, std::string_view b) {
  const size_t columns = b.size() + 1;
  std::vector<size_t> d((a.size() + 1) * columns);
  auto at = [&](size_t i, size_t j) -> size_t& { return d[i * columns + j]; };
  for (size_t i = 0; i <= a.size(); ++i)
    at(i, 0) = i;
  for (size_t j = 0; j <= b.size(); ++j)
    at(0, j) = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t cost = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]) ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + cost});
      if (i > 1 && j > 1 && AsciiLower(a[i - 1]) == AsciiLower(b[j - 2]) &&
          AsciiLower(a[i - 2]) == AsciiLower(b[j - 1])) {
        at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
      }
    }
  }
  return at(a.size(), b.size());
}

}  // namespace

std::string NearestName(std::string_view word, const std::vector<std::string>& names) {
  size_t best = std::max<size_t>(1, word.size() / 3) + 1;  // one more than allowed
  std::string nearest;
  for (const std::string& name : names) {
    const size_t distance = Distance(word, name);
    if (distance < best) {
      best = distance;
      nearest = name;
    }
  }
  return nearest;
}

std::string DidYouMean(std::string_view word, const std::vector<std::string>& names,
                       std::string_view prefix) {
  const std::string nearest = NearestName(word, names);
  return nearest.empty() ? "" : ", did you mean " + std::string(prefix) + nearest + "?";
}

}  // namespace vorlix::shell
