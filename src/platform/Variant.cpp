#include "platform/Variant.h"
#include "platform/Exception.h"

#include <cmath>

namespace platform {

namespace {
bool IsIntegerKind(int k) {
    return k == varSmallint || k == varInteger || k == varDispatch || k == varError || k == varByte;
}
bool IsRealKind(int k) { return k == varSingle || k == varDouble || k == varDate; }
} // namespace

TVariant TVariant::OfKind(int kind, int64_t integer, double real, const std::string& text) {
    TVariant v;
    v.kind_ = kind;
    v.int_ = integer;
    v.real_ = real;
    v.text_ = text;
    v.bool_ = integer != 0;
    return v;
}

int64_t TVariant::AsInteger() const {
    if (IsIntegerKind(kind_)) return int_;
    if (IsRealKind(kind_)) return static_cast<int64_t>(std::nearbyint(real_));
    if (kind_ == varCurrency) return static_cast<int64_t>(std::nearbyint(static_cast<double>(int_) / 10000.0));
    if (kind_ == varBoolean) return bool_ ? -1 : 0;
    if (IsText()) return StrToInt(text_);
    if (kind_ == varEmpty) return 0;
    throw EConvertError("Could not convert variant of type (" + std::to_string(kind_) + ") into type (Integer)");
}

double TVariant::AsDouble() const {
    if (IsRealKind(kind_)) return real_;
    if (IsIntegerKind(kind_)) return static_cast<double>(int_);
    if (kind_ == varCurrency) return static_cast<double>(int_) / 10000.0;
    if (kind_ == varBoolean) return bool_ ? -1.0 : 0.0;
    if (IsText()) return StrToFloat(text_);
    if (kind_ == varEmpty) return 0;
    throw EConvertError("Could not convert variant of type (" + std::to_string(kind_) + ") into type (Double)");
}

bool TVariant::AsBoolean() const {
    if (kind_ == varBoolean) return bool_;
    if (IsIntegerKind(kind_) || kind_ == varCurrency) return int_ != 0;
    if (IsRealKind(kind_)) return real_ != 0;
    if (IsText()) {
        if (SameText(text_, "True")) return true;
        if (SameText(text_, "False")) return false;
        return StrToFloat(text_) != 0;
    }
    if (kind_ == varEmpty) return false;
    throw EConvertError("Could not convert variant of type (" + std::to_string(kind_) + ") into type (Boolean)");
}

Currency TVariant::AsCurrency() const {
    if (kind_ == varCurrency) return Currency{int_};
    if (IsText()) return StrToCurr(text_);
    return Currency::FromDouble(AsDouble());
}

std::string TVariant::AsString() const {
    if (kind_ == varEmpty || kind_ == varNull) return {};
    if (IsText()) return text_;
    if (IsIntegerKind(kind_)) return IntToStr(int_);
    if (IsRealKind(kind_)) return FloatToStr(real_);
    if (kind_ == varCurrency) return CurrToStr(Currency{int_});
    if (kind_ == varBoolean) return bool_ ? "True" : "False";
    throw EConvertError("Could not convert variant of type (" + std::to_string(kind_) + ") into type (String)");
}

bool TVariant::operator==(const TVariant& o) const {
    if (kind_ != o.kind_) return false;
    if (IsText()) return text_ == o.text_;
    if (IsRealKind(kind_)) return real_ == o.real_;
    if (kind_ == varBoolean) return bool_ == o.bool_;
    return int_ == o.int_;
}

} // namespace platform
