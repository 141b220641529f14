// Currency and decimal values to and from text and double, in the invariant format ("." as the
// decimal point, no grouping). Failures are HRESULTs: DISP_E_TYPEMISMATCH for text that is not
// a number, DISP_E_OVERFLOW for a number the type cannot hold.
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
double CurrencyToDouble(int64_t cy);

// Decimal: "-1.5" style, no trailing zeros after the point, no exponent.
std::string DecimalToText(const Decimal& d);
// Keeps up to 28 places after the point; more digits are rounded half to even.
HRESULT DecimalFromText(std::string_view text, Decimal* d);
HRESULT DecimalFromDouble(double value, Decimal* d);
double DecimalToDouble(const Decimal& d);

// Shortest text that reads back as the same double ("0.1", "1e+300", "-0", "inf"/"nan" never
// arise from valid input but are spelled so).
std::string DoubleToText(double value);
// Parses an invariant-format number (optional sign, digits, point, exponent; surrounding
// spaces allowed). DISP_E_TYPEMISMATCH for anything else, DISP_E_OVERFLOW when out of range.
HRESULT DoubleFromText(std::string_view text, double* value);

}  // namespace vorlix
