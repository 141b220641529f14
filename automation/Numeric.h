// Currency and decimal values to and from text and double, in the invariant format ("." as the
// decimal point, no grouping). Failures are HRESULTs: DISP_E_TYPEMISMATCH for text that is not
// a number, DISP_E_OVERFLOW for a number the type cannot hold.
//
// Number text is: optional spaces, optional sign, digits with an optional point (at least one
// digit), an optional exponent ("e-5"), optional spaces. Hex, "inf" and "nan" are refused.
//
// A double converts to currency or decimal as the decimal number DoubleToText spells, so 0.00015
// becomes 0.0002 although the nearest double lies a little below it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "automation/HResult.h"
#include "automation/Variant.h"

namespace vorlix {

// Currency is a 64-bit integer counting ten-thousandths.
// "-12.34": no trailing zeros after the point and no point for whole amounts.
std::string CurrencyToText(int64_t cy);
// Rounds to 4 places, half to even as Automation does.
HRESULT CurrencyFromText(std::string_view text, int64_t* cy);
HRESULT CurrencyFromDouble(double value, int64_t* cy);
// The nearest double.
double CurrencyToDouble(int64_t cy);
// d rounded to 4 places, half to even. d must be valid.
HRESULT CurrencyFromDecimal(const Decimal& d, int64_t* cy);

// True when d's scale is 0..28 and its sign byte is 0 or 0x80. The functions below that take a
// Decimal require this; a Decimal from outside (the wire) must be checked first.
bool IsValidDecimal(const Decimal& d);
// Decimal: "-1.5" style, no trailing zeros after the point, no exponent; zero has no sign.
std::string DecimalToText(const Decimal& d);
// Keeps the scale of the text up to maxPlaces (0..28); more digits, or more than the 96-bit
// magnitude holds, are rounded half to even from the full text. Zero gets sign 0. maxPlaces 0
// reads text as a whole number without rounding twice.
HRESULT DecimalFromText(std::string_view text, Decimal* d, int maxPlaces = 28);
HRESULT DecimalFromDouble(double value, Decimal* d);
// The nearest double.
double DecimalToDouble(const Decimal& d);
// d with at most `places` (0..28) places after the point, rounded half to even.
Decimal DecimalRound(const Decimal& d, int places);

// Shortest text that reads back as the same value: plain notation from 1e-7 up to 1e21
// ("0.1", "100000", "-0"), exponent notation outside ("1e+300", "1.5e-08"); "inf"/"nan" never
// arise from valid input but are spelled so. SingleToText does the same for a float, so 0.1f
// is "0.1" rather than its double's digits.
std::string DoubleToText(double value);
std::string SingleToText(float value);
// Parses number text (see above) to the nearest value. DISP_E_TYPEMISMATCH for anything else,
// DISP_E_OVERFLOW when too large for the type; too small a magnitude gives zero of that sign.
HRESULT DoubleFromText(std::string_view text, double* value);
HRESULT SingleFromText(std::string_view text, float* value);

}  // namespace vorlix
