// GUIDs in their braced text form.
#include "tavrixrt/runtime.hpp"

namespace {

int hexValue(OLECHAR c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on anything else.
bool readHex(LPCOLESTR text, int pos, int digits, uint32_t& out) {
    out = 0;
    for (int i = 0; i < digits; ++i) {
        const int v = hexValue(text[pos + i]);
        if (v < 0) return false;
        out = (out << 4) | static_cast<uint32_t>(v);
    }
    return true;
}

} // namespace

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (!clsid) return E_INVALIDARG;
    *clsid = GUID_NULL;
    if (!text) return CO_E_CLASSSTRING;
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: 38 characters. Each character is checked before the
    // next is read, so a short string stops at its NUL.
    static constexpr char kShape[] = "{........-....-....-....-............}";
    for (int i = 0; i < 38; ++i) {
        const OLECHAR c = text[i];
        if (kShape[i] == '.') {
            if (hexValue(c) < 0) return CO_E_CLASSSTRING;
        } else if (c != static_cast<OLECHAR>(kShape[i])) {
            return CO_E_CLASSSTRING;
        }
    }
    if (text[38] != 0) return CO_E_CLASSSTRING;
    uint32_t v = 0;
    GUID g{};
    readHex(text, 1, 8, v);
    g.Data1 = v;
    readHex(text, 10, 4, v);
    g.Data2 = static_cast<uint16_t>(v);
    readHex(text, 15, 4, v);
    g.Data3 = static_cast<uint16_t>(v);
    static constexpr int kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        readHex(text, kBytePos[i], 2, v);
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    *clsid = g;
    return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR out, int max) {
    if (!out || max < 39) return 0;
    static constexpr char kDigits[] = "0123456789ABCDEF";
    int pos = 0;
    auto put = [&](uint32_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            out[pos++] = static_cast<OLECHAR>(kDigits[(value >> (4 * i)) & 0xF]);
    };
    out[pos++] = u'{';
    put(guid.Data1, 8);
    out[pos++] = u'-';
    put(guid.Data2, 4);
    out[pos++] = u'-';
    put(guid.Data3, 4);
    out[pos++] = u'-';
    put(guid.Data4[0], 2);
    put(guid.Data4[1], 2);
    out[pos++] = u'-';
    for (int i = 2; i < 8; ++i)
        put(guid.Data4[i], 2);
    out[pos++] = u'}';
    out[pos++] = 0;
    return pos;
}
