// Guid: the 128-bit identity of classes, interfaces and type libraries, in the registry's
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" text form.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlix {

struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  // Braced form, hex digits in either case; nullopt for anything else.
  static std::optional<Guid> Parse(std::string_view text);
  // Braced form with upper-case hex digits.
  std::string ToString() const;

  friend bool operator==(const Guid&, const Guid&) = default;
};

using IID = Guid;
using CLSID = Guid;

}  // namespace vorlix
