#pragma once
// A typed value whose kind codes follow the OLE variant numbering, plus 256
// for a single-byte text and 72 for a text argument.
#include "platform/SysUtils.h"

#include <cstdint>
#include <string>

namespace platform {

enum VarKind : int {
    varEmpty = 0,
    varNull = 1,
    varSmallint = 2,
    varInteger = 3,
    varSingle = 4,
    varDouble = 5,
    varCurrency = 6,
    varDate = 7,
    varOleStr = 8,
    varDispatch = 9,
    varError = 10,
    varBoolean = 11,
    varByte = 17,
    varStrArg = 72,
    varString = 256,
};

class TVariant {
public:
    TVariant() = default;  // empty
    TVariant(int v) : kind_(varInteger), int_(v) {}
    TVariant(int64_t v) : kind_(varInteger), int_(v) {}
    TVariant(double v) : kind_(varDouble), real_(v) {}
    TVariant(bool v) : kind_(varBoolean), bool_(v) {}
    TVariant(const std::string& v) : kind_(varString), text_(v) {}
    TVariant(const char* v) : kind_(varString), text_(v ? v : "") {}
    TVariant(Currency c) : kind_(varCurrency), int_(c.scaled) {}

    static TVariant Null() { TVariant v; v.kind_ = varNull; return v; }
    static TVariant Date(double days) { TVariant v(days); v.kind_ = varDate; return v; }
    // A value of any kind code, for callers that carry raw codes (and tests of
    // the kinds the settings store cannot convert). Numbers come from
    // `integer` or `real`, texts from `text`, as the kind asks.
    static TVariant OfKind(int kind, int64_t integer = 0, double real = 0, const std::string& text = {});

    int Kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == varEmpty; }
    bool IsText() const { return kind_ == varOleStr || kind_ == varStrArg || kind_ == varString; }

    int64_t AsInteger() const;
    double AsDouble() const;
    bool AsBoolean() const;
    Currency AsCurrency() const;
    // The usual value-to-text conversion: numbers in the user's format,
    // booleans as "True" or "False", empty and null as empty text.
    std::string AsString() const;

    bool operator==(const TVariant& o) const;

private:
    int kind_ = varEmpty;
    int64_t int_ = 0;  // integers, and currency scaled by 10000
    double real_ = 0;  // floating point and dates
    bool bool_ = false;
    std::string text_;
};

} // namespace platform
