#include "engine/pdf/security_handler.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/pdf/cipher.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "tavrixrt/utf8.hpp"

namespace tavrix {
namespace {

// What every password is padded with to 32 bytes (revisions 2 to 4).
constexpr std::array<unsigned char, 32> kPadding = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

std::string_view padding() {
    return {reinterpret_cast<const char*>(kPadding.data()), kPadding.size()};
}

[[noreturn]] void unusable(const std::string& why) {
    throw CPdfException("PDF file is encrypted", "{input} is encrypted in a way this program " +
                                                     why + "; nothing was written");
}

[[noreturn]] void damaged(const std::string& why) {
    throw CPdfException("PDF file is encrypted",
                        "{input}: its encryption dictionary is damaged (" + why + ")");
}

std::string padded(std::string_view password) {
    std::string out(password.substr(0, 32));
    out.append(padding().substr(0, 32 - out.size()));
    return out;
}

std::string withEachByteXored(std::string_view key, unsigned char value) {
    std::string out(key);
    for (char& c : out)
        c = static_cast<char>(static_cast<unsigned char>(c) ^ value);
    return out;
}

std::string littleEndian(uint64_t value, size_t bytes) {
    std::string out;
    for (size_t i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i) & 0xFF);
    return out;
}

// The forms a password may have been made from: the bytes as given (UTF-8 from every client),
// and, for the older revisions whose passwords are single bytes, the same text in Latin-1.
std::vector<std::string> passwordForms(const std::string& password) {
    std::vector<std::string> forms{password};
    std::string latin1;
    for (size_t i = 0; i < password.size();) {
        const auto c = tavrixrt::decodeUtf8(password, i);
        if (!c || c->code > 0xFF) return forms;
        latin1 += static_cast<char>(c->code);
        i += c->length;
    }
    if (latin1 != password) forms.push_back(latin1);
    return forms;
}

// The text of a string entry; nullopt when absent or not a string.
std::optional<std::string> stringEntry(const PdfDict& dict, std::string_view key) {
    const PdfObject v = dict.lookup(key);
    if (!v.isString()) return std::nullopt;
    return v.getText();
}

std::string requiredString(const PdfDict& dict, std::string_view key, size_t length) {
    const std::optional<std::string> v = stringEntry(dict, key);
    if (!v) damaged("/" + std::string(key) + " is missing");
    if (v->size() < length)
        damaged("/" + std::string(key) + " is too short: " + std::to_string(v->size()) + " of " +
                std::to_string(length) + " bytes");
    return v->substr(0, length);
}

// Revisions 2 to 4: the file key for a (padded) user password.
struct LegacyKeyInput {
    int revision;
    size_t keyBytes;
    std::string owner; // /O, 32 bytes
    uint32_t p;
    std::string id0;
    bool encryptMetadata;
};

std::string legacyFileKey(const LegacyKeyInput& in, std::string_view password) {
    std::string data = padded(password) + in.owner + littleEndian(in.p, 4) + in.id0;
    if (in.revision >= 4 && !in.encryptMetadata) data += "\xFF\xFF\xFF\xFF";
    std::string hash = cipher::md5(data);
    if (in.revision >= 3)
        for (int i = 0; i < 50; ++i)
            hash = cipher::md5(std::string_view(hash).substr(0, in.keyBytes));
    return hash.substr(0, in.keyBytes);
}

// Whether `key` is the one the user password gives: /U holds the padding (revision 2) or a hash
// of it with the /ID (later revisions) encrypted with it.
bool legacyUserKeyMatches(const LegacyKeyInput& in, std::string_view key, std::string_view u) {
    if (in.revision == 2) return cipher::rc4(key, padding()) == u.substr(0, 32);
    std::string x = cipher::rc4(key, cipher::md5(std::string(padding()) + in.id0));
    for (unsigned char i = 1; i <= 19; ++i)
        x = cipher::rc4(withEachByteXored(key, i), x);
    return x == u.substr(0, 16);
}

// The user password that /O holds encrypted with the owner password.
std::string legacyUserFromOwner(const LegacyKeyInput& in, std::string_view ownerPassword) {
    std::string hash = cipher::md5(padded(ownerPassword));
    if (in.revision >= 3)
        for (int i = 0; i < 50; ++i)
            hash = cipher::md5(hash);
    const std::string key = hash.substr(0, in.keyBytes);
    if (in.revision == 2) return cipher::rc4(key, in.owner);
    std::string x = in.owner;
    for (int i = 19; i >= 0; --i)
        x = cipher::rc4(withEachByteXored(key, static_cast<unsigned char>(i)), x);
    return x;
}

// Revisions 5 and 6: the hash of a password with a salt (and, for the owner, the /U entry).
std::string modernHash(int revision, std::string_view password, std::string_view salt,
                       std::string_view userData) {
    std::string k =
        cipher::sha256(std::string(password) + std::string(salt) + std::string(userData));
    if (revision == 5) return k;
    // At least 64 rounds, then until the last byte of the round's data says stop.
    std::string e;
    for (int round = 0; round < 64 || static_cast<unsigned char>(e.back()) > round - 32; ++round) {
        std::string block = std::string(password) + k + std::string(userData);
        std::string k1;
        k1.reserve(block.size() * 64);
        for (int i = 0; i < 64; ++i)
            k1 += block;
        e = cipher::aesCbcEncryptRaw(std::string_view(k).substr(0, 16),
                                     std::string_view(k).substr(16, 16), k1);
        unsigned sum = 0;
        for (size_t i = 0; i < 16; ++i)
            sum += static_cast<unsigned char>(e[i]);
        switch (sum % 3) {
        case 0:
            k = cipher::sha256(e);
            break;
        case 1:
            k = cipher::sha384(e);
            break;
        default:
            k = cipher::sha512(e);
            break;
        }
    }
    return k.substr(0, 32);
}

std::optional<CryptMethod> methodOf(const PdfObject& cfm, int version) {
    if (!cfm.isName() || cfm.isName("None")) return CryptMethod::Identity;
    if (cfm.isName("V2")) return CryptMethod::Rc4;
    if (cfm.isName("AESV2")) return CryptMethod::Aes128;
    if (cfm.isName("AESV3") && version == 5) return CryptMethod::Aes256;
    return std::nullopt;
}

} // namespace

std::unique_ptr<SecurityHandler> SecurityHandler::open(const EncryptionParameters& parameters,
                                                       const std::string& password) {
    const PdfDict& dict = *parameters.dict;
    const PdfObject filter = dict.lookup("Filter");
    if (!filter.isName("Standard"))
        unusable("does not know (its security handler is /" +
                 (filter.isName() ? filter.getText() : std::string("?")) +
                 ", not the password handler /Standard)");
    const PdfObject v = dict.lookup("V");
    const PdfObject r = dict.lookup("R");
    const int version = v.isInt() ? v.getInt() : 0;
    if (!r.isInt()) damaged("/R is missing");
    const int revision = r.getInt();
    const bool known = (version <= 1 && revision == 2) || (version == 2 && revision == 3) ||
                       (version == 2 && revision == 2) || (version == 4 && revision == 4) ||
                       (version == 5 && (revision == 5 || revision == 6));
    if (!known)
        unusable("does not know (revision " + std::to_string(revision) + ", version " +
                 std::to_string(version) + ")");

    auto handler = std::unique_ptr<SecurityHandler>(new SecurityHandler);
    handler->revision_ = revision;
    const PdfObject metadata = dict.lookup("EncryptMetadata");
    handler->encryptMetadata_ = !(metadata.isBool() && !metadata.getBool());
    int64_t p = 0;
    if (parameters.rawP)
        p = *parameters.rawP;
    else if (const PdfObject pObj = dict.lookup("P"); pObj.isInt())
        p = pObj.getInt();
    else
        damaged("/P is missing");
    if (p < INT32_MIN || p > UINT32_MAX) damaged("/P " + std::to_string(p) + " is out of range");
    handler->permissions_ = static_cast<int32_t>(static_cast<uint32_t>(p));

    // Which method each kind of data uses: crypt filters from version 4 on, RC4 before.
    size_t keyBytes = 5;
    if (version >= 4) {
        const PdfObject cf = dict.lookup("CF");
        bool aes128 = false;
        std::map<std::string, std::string, std::less<>> unknownFilters;
        if (cf.isDict()) {
            // Every filter is known by name: StmF and StrF name one each, and a stream may name
            // another. A method this program lacks matters only where it is used.
            for (const auto& [name, value] : cf.getDict()->entries()) {
                const PdfObject entry = value.resolve(cf.getDict()->xref());
                if (!entry.isDict()) continue;
                const PdfObject cfm = entry.getDict()->lookup("CFM");
                const std::optional<CryptMethod> m = methodOf(cfm, version);
                if (!m) {
                    unknownFilters[name] = cfm.isName() ? cfm.getText() : std::string("?");
                    continue;
                }
                handler->filters_[name] = *m;
                aes128 = aes128 || *m == CryptMethod::Aes128;
            }
        }
        auto method = [&](const char* key) {
            const PdfObject name = dict.lookup(key);
            if (!name.isName() || name.isName("Identity")) return CryptMethod::Identity;
            if (const auto unknown = unknownFilters.find(name.getText());
                unknown != unknownFilters.end())
                unusable("does not know (crypt filter method /" + unknown->second + ")");
            const auto it = handler->filters_.find(name.getText());
            if (it == handler->filters_.end())
                damaged("/" + std::string(key) + " names the crypt filter /" + name.getText() +
                        ", which /CF lacks");
            return it->second;
        };
        handler->streams_ = method("StmF");
        handler->strings_ = method("StrF");
        keyBytes = version == 5 ? 32 : 16;
        const PdfObject length = dict.lookup("Length");
        if (version == 4 && length.isInt() && !aes128) {
            if (length.getInt() < 40 || length.getInt() > 128 || length.getInt() % 8 != 0)
                damaged("/Length " + std::to_string(length.getInt()));
            keyBytes = static_cast<size_t>(length.getInt() / 8);
        }
    } else {
        handler->streams_ = handler->strings_ = CryptMethod::Rc4;
        const PdfObject length = dict.lookup("Length");
        if (version == 2 && length.isInt()) {
            if (length.getInt() < 40 || length.getInt() > 128 || length.getInt() % 8 != 0)
                damaged("/Length " + std::to_string(length.getInt()));
            keyBytes = static_cast<size_t>(length.getInt() / 8);
        }
    }

    if (revision >= 5) {
        const std::string o = requiredString(dict, "O", 48);
        const std::string u = requiredString(dict, "U", 48);
        const std::string oe = requiredString(dict, "OE", 32);
        const std::string ue = requiredString(dict, "UE", 32);
        // Passwords of these revisions are UTF-8, at most 127 bytes.
        const std::string pw = password.substr(0, 127);
        const std::string zeroIv(16, '\0');
        if (modernHash(revision, pw, o.substr(32, 8), u) == o.substr(0, 32)) {
            handler->owner_ = true;
            handler->fileKey_ =
                cipher::aesCbcDecryptRaw(modernHash(revision, pw, o.substr(40, 8), u), zeroIv, oe);
        } else if (modernHash(revision, pw, u.substr(32, 8), {}) == u.substr(0, 32)) {
            handler->fileKey_ =
                cipher::aesCbcDecryptRaw(modernHash(revision, pw, u.substr(40, 8), {}), zeroIv, ue);
        } else {
            throw CPdfException("PDF file is encrypted",
                                "{input}: the password does not open it (give its user or "
                                "owner password)",
                                FailureKind::PasswordNeeded);
        }
        return handler;
    }

    LegacyKeyInput in{revision,
                      keyBytes,
                      requiredString(dict, "O", 32),
                      static_cast<uint32_t>(handler->permissions_),
                      parameters.id0,
                      handler->encryptMetadata_};
    const std::string u = requiredString(dict, "U", revision == 2 ? 32 : 16);
    for (const std::string& form : passwordForms(password)) {
        const std::string userPassword = legacyUserFromOwner(in, form);
        const std::string key = legacyFileKey(in, userPassword);
        if (legacyUserKeyMatches(in, key, u)) {
            handler->owner_ = true;
            handler->fileKey_ = key;
            return handler;
        }
    }
    for (const std::string& form : passwordForms(password)) {
        const std::string key = legacyFileKey(in, form);
        if (legacyUserKeyMatches(in, key, u)) {
            handler->fileKey_ = key;
            return handler;
        }
    }
    throw CPdfException("PDF file is encrypted",
                        "{input}: the password does not open it (give its user or owner "
                        "password)",
                        FailureKind::PasswordNeeded);
}

std::string SecurityHandler::objectKey(CryptMethod method, ObjectKey key) const {
    if (method == CryptMethod::Aes256) return fileKey_;
    std::string data = fileKey_ + littleEndian(static_cast<uint32_t>(key.num), 3) +
                       littleEndian(static_cast<uint32_t>(key.gen), 2);
    if (method == CryptMethod::Aes128) data += "sAlT";
    return cipher::md5(data).substr(0, std::min<size_t>(fileKey_.size() + 5, 16));
}

std::string SecurityHandler::decrypt(CryptMethod method, ObjectKey key,
                                     std::string_view data) const {
    switch (method) {
    case CryptMethod::Identity:
        return std::string(data);
    case CryptMethod::Rc4:
        return cipher::rc4(objectKey(method, key), data);
    case CryptMethod::Aes128:
    case CryptMethod::Aes256: {
        std::string out;
        if (!cipher::aesDecrypt(objectKey(method, key), data, out)) return std::string(data);
        return out;
    }
    }
    return std::string(data);
}

std::string SecurityHandler::encrypt(CryptMethod method, ObjectKey key,
                                     std::string_view data) const {
    switch (method) {
    case CryptMethod::Identity:
        return std::string(data);
    case CryptMethod::Rc4:
        return cipher::rc4(objectKey(method, key), data);
    case CryptMethod::Aes128:
    case CryptMethod::Aes256:
        return cipher::aesEncrypt(objectKey(method, key), data);
    }
    return std::string(data);
}

std::string SecurityHandler::decryptString(ObjectKey key, std::string_view data) const {
    return decrypt(strings_, key, data);
}

std::string SecurityHandler::encryptString(ObjectKey key, std::string_view data) const {
    return encrypt(strings_, key, data);
}

std::string SecurityHandler::decryptStream(ObjectKey key, std::string_view data) const {
    return decrypt(streams_, key, data);
}

std::string SecurityHandler::encryptStream(ObjectKey key, std::string_view data) const {
    return encrypt(streams_, key, data);
}

std::optional<CryptMethod> SecurityHandler::methodForStream(const PdfDict& streamDict) const {
    const PdfObject type = streamDict.lookup("Type");
    // Cross-reference streams are never encrypted, nor metadata when the dictionary says so.
    if (type.isName("XRef")) return std::nullopt;
    if (type.isName("Metadata") && !encryptMetadata_) return std::nullopt;
    PdfObject filter = streamDict.lookup("Filter");
    PdfObject params = streamDict.lookup("DecodeParms");
    if (filter.isArray() && filter.getArray()->size() > 0) {
        filter = filter.getArray()->get(0);
        if (params.isArray() && params.getArray()->size() > 0) params = params.getArray()->get(0);
    }
    if (!filter.isName("Crypt")) return streams_;
    // A crypt filter of its own, Identity unless its parameters name another.
    const PdfObject name = params.isDict() ? params.getDict()->lookup("Name") : PdfObject();
    if (!name.isName()) return std::nullopt;
    const auto it = filters_.find(name.getText());
    if (it == filters_.end() || it->second == CryptMethod::Identity) return std::nullopt;
    return it->second;
}

} // namespace tavrix
