// Variants: initialising, clearing, copying, and the coercions that IDispatch::Invoke needs
// between integers, booleans, reals and text.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "tavrixrt/runtime.hpp"
#include "tavrixrt/text.hpp"

namespace {

bool ownsNothing(VARTYPE vt) {
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_ERROR:
        return true;
    default:
        return false;
    }
}

// The value of a variant, by-reference forms followed one level.
struct Scalar {
    VARTYPE vt;
    VARIANT value;
};

std::optional<Scalar> dereference(const VARIANT& v) {
    Scalar s{static_cast<VARTYPE>(v.vt & ~VT_BYREF), {}};
    VariantInit(&s.value);
    s.value.vt = s.vt;
    if (!(v.vt & VT_BYREF)) {
        s.value = v;
        s.value.vt = s.vt;
        return s;
    }
    if (!v.byref) return std::nullopt;
    switch (s.vt) {
    case VT_I1:
    case VT_UI1:
        std::memcpy(&s.value.bVal, v.byref, 1);
        break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        std::memcpy(&s.value.iVal, v.byref, 2);
        break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_R4:
        std::memcpy(&s.value.lVal, v.byref, 4);
        break;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
        std::memcpy(&s.value.llVal, v.byref, 8);
        break;
    case VT_BSTR:
        s.value.bstrVal = *v.pbstrVal;
        break;
    case VT_VARIANT:
        if (v.pvarVal->vt & VT_BYREF) return std::nullopt; // one level only
        return dereference(*v.pvarVal);
    default:
        return std::nullopt;
    }
    return s;
}

// Rounds half to even, as automation converts reals to integers.
std::optional<int64_t> roundReal(double d) {
    if (!std::isfinite(d)) return std::nullopt;
    const double r = std::nearbyint(d);
    if (r < -9.2e18 || r > 9.2e18) return std::nullopt;
    return static_cast<int64_t>(r);
}

// Decimal text: blanks around, optional sign, digits; or a real such as "2.5".
HRESULT integerFromText(BSTR text, int64_t& out) {
    std::string s = tavrixrt::utf8FromBstr(text);
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return DISP_E_TYPEMISMATCH;
    const auto last = s.find_last_not_of(" \t");
    s = s.substr(first, last - first + 1);
    const char* begin = s.data();
    const char* end = s.data() + s.size();
    if (*begin == '+') {
        ++begin;
        if (begin == end || *begin == '-') return DISP_E_TYPEMISMATCH;
    }
    if (std::isalpha(static_cast<unsigned char>(*begin)))
        return DISP_E_TYPEMISMATCH; // "inf", "nan"
    int64_t value = 0;
    auto [p, ec] = std::from_chars(begin, end, value);
    if (ec == std::errc() && p == end) {
        out = value;
        return S_OK;
    }
    if (ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    double real = 0;
    auto [q, ec2] = std::from_chars(begin, end, real);
    if (ec2 == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
    if (ec2 != std::errc() || q != end) return DISP_E_TYPEMISMATCH;
    const auto rounded = roundReal(real);
    if (!rounded) return DISP_E_OVERFLOW;
    out = *rounded;
    return S_OK;
}

HRESULT toInteger(const Scalar& s, int64_t& out) {
    const VARIANT& v = s.value;
    switch (s.vt) {
    case VT_EMPTY:
        out = 0;
        return S_OK;
    case VT_I1:
        out = v.cVal;
        return S_OK;
    case VT_UI1:
        out = v.bVal;
        return S_OK;
    case VT_I2:
        out = v.iVal;
        return S_OK;
    case VT_UI2:
        out = v.uiVal;
        return S_OK;
    case VT_BOOL:
        out = v.boolVal ? -1 : 0;
        return S_OK;
    case VT_I4:
    case VT_INT:
        out = v.lVal;
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        out = v.ulVal;
        return S_OK;
    case VT_I8:
        out = v.llVal;
        return S_OK;
    case VT_UI8:
        if (v.ullVal > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
            return DISP_E_OVERFLOW;
        out = static_cast<int64_t>(v.ullVal);
        return S_OK;
    case VT_R4:
    case VT_R8: {
        const auto r = roundReal(s.vt == VT_R4 ? v.fltVal : v.dblVal);
        if (!r) return DISP_E_OVERFLOW;
        out = *r;
        return S_OK;
    }
    case VT_BSTR:
        return integerFromText(v.bstrVal, out);
    case VT_NULL:
    case VT_ERROR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return DISP_E_TYPEMISMATCH;
    default:
        return DISP_E_BADVARTYPE;
    }
}

HRESULT toText(const Scalar& s, BSTR& out) {
    const VARIANT& v = s.value;
    if (s.vt == VT_BSTR) {
        out = SysAllocStringLen(v.bstrVal, SysStringLen(v.bstrVal));
        return out ? S_OK : E_OUTOFMEMORY;
    }
    std::string text;
    if (s.vt == VT_EMPTY) {
        // empty text
    } else if (s.vt == VT_R4 || s.vt == VT_R8) {
        char buffer[64];
        const double d = s.vt == VT_R4 ? v.fltVal : v.dblVal;
        auto [p, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
        if (ec != std::errc()) return DISP_E_TYPEMISMATCH;
        text.assign(buffer, p);
    } else {
        int64_t value = 0;
        const HRESULT hr = toInteger(s, value);
        if (FAILED(hr)) return hr;
        text = std::to_string(value);
    }
    try {
        out = tavrixrt::bstrFromUtf8(text);
    } catch (...) {
        out = nullptr;
    }
    return out ? S_OK : E_OUTOFMEMORY;
}

} // namespace

void VariantInit(VARIANT* v) {
    if (!v) return;
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (!(v->vt & VT_BYREF)) {
        switch (v->vt) {
        case VT_BSTR:
            SysFreeString(v->bstrVal);
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (v->punkVal) v->punkVal->Release();
            break;
        default:
            if (!ownsNothing(v->vt)) return DISP_E_BADVARTYPE;
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src) return E_INVALIDARG;
    if (dest == src) return S_OK;
    VARIANT copy = *src;
    if (!(src->vt & VT_BYREF)) {
        if (src->vt == VT_BSTR && src->bstrVal) {
            copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
            if (!copy.bstrVal) return E_OUTOFMEMORY;
        } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal) {
            src->punkVal->AddRef();
        } else if (src->vt != VT_BSTR && src->vt != VT_UNKNOWN && src->vt != VT_DISPATCH &&
                   !ownsNothing(src->vt)) {
            return DISP_E_BADVARTYPE;
        }
    }
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *dest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, USHORT /*flags*/, VARTYPE vt) {
    if (!dest || !src) return E_INVALIDARG;
    const auto scalar = dereference(*src);
    if (!scalar) return DISP_E_BADVARTYPE;

    VARIANT result;
    VariantInit(&result);
    result.vt = vt;
    switch (vt) {
    case VT_I2:
    case VT_I4:
    case VT_BOOL: {
        int64_t value = 0;
        const HRESULT hr = toInteger(*scalar, value);
        if (FAILED(hr)) return hr;
        if (vt == VT_BOOL) {
            result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (vt == VT_I2) {
            if (value < INT16_MIN || value > INT16_MAX) return DISP_E_OVERFLOW;
            result.iVal = static_cast<int16_t>(value);
        } else {
            if (value < INT32_MIN || value > INT32_MAX) return DISP_E_OVERFLOW;
            result.lVal = static_cast<LONG>(value);
        }
        break;
    }
    case VT_BSTR: {
        const HRESULT hr = toText(*scalar, result.bstrVal);
        if (FAILED(hr)) return hr;
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
    // The source is read completely before the destination (which may be the same) is cleared.
    const HRESULT hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}
