// The standard security handler of encrypted PDF files, revisions 2 to 6: it checks a password
// against the /Encrypt dictionary (as the user's or the owner's), derives the file key, and
// encrypts and decrypts the strings and streams of each object with the key for its number and
// generation (RC4 of 40 to 128 bits, AES-128, AES-256; crypt filters, Identity included).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/pdf/pdf_object.hpp"

namespace tavrix {

enum class CryptMethod { Identity, Rc4, Aes128, Aes256 };

// The object whose key encrypts a text.
struct ObjectKey {
    int32_t num = 0;
    int32_t gen = 0;
    bool operator==(const ObjectKey&) const = default;
};

// What the /Encrypt dictionary says, read from the file. `rawP` is /P as written: some files
// write it unsigned (4294967292 for -4), beyond the parser's 32-bit integers.
struct EncryptionParameters {
    const PdfDict* dict = nullptr;
    std::optional<int64_t> rawP;
    std::string id0; // the first string of the trailer's /ID (empty without one)
};

class SecurityHandler {
  public:
    // Opens the file with `password`, tried as the owner's and then as the user's. Throws
    // CPdfException with a reason naming {input}: kind PasswordNeeded when the password opens
    // it as neither; kind Other for a handler, revision or dictionary it cannot use.
    static std::unique_ptr<SecurityHandler> open(const EncryptionParameters& parameters,
                                                 const std::string& password);

    int revision() const { return revision_; }
    // Opened with the owner password: everything is allowed.
    bool ownerAccess() const { return owner_; }
    int32_t permissions() const { return permissions_; }
    // The permission to change the document's content (bit 4 of /P), or owner access.
    bool mayModify() const { return owner_ || (permissions_ & 0x8) != 0; }
    CryptMethod stringMethod() const { return strings_; }
    CryptMethod streamMethod() const { return streams_; }
    bool encryptsMetadata() const { return encryptMetadata_; }

    // Decryption leaves bytes that are no ciphertext of the method (AES data of no whole
    // blocks) as they are.
    std::string decryptString(ObjectKey key, std::string_view data) const;
    std::string encryptString(ObjectKey key, std::string_view data) const;
    std::string decryptStream(ObjectKey key, std::string_view data) const;
    std::string encryptStream(ObjectKey key, std::string_view data) const;
    // The data of a stream whose dictionary names a crypt filter of its own (/Filter /Crypt);
    // nullopt when the stream's data is not encrypted at all.
    std::optional<CryptMethod> methodForStream(const PdfDict& streamDict) const;
    std::string decrypt(CryptMethod method, ObjectKey key, std::string_view data) const;
    std::string encrypt(CryptMethod method, ObjectKey key, std::string_view data) const;

  private:
    SecurityHandler() = default;
    std::string objectKey(CryptMethod method, ObjectKey key) const;

    int revision_ = 0;
    bool owner_ = false;
    int32_t permissions_ = 0;
    bool encryptMetadata_ = true;
    CryptMethod strings_ = CryptMethod::Identity;
    CryptMethod streams_ = CryptMethod::Identity;
    std::string fileKey_;
    // Crypt filters by name, for streams that name one (/DecodeParms << /Name ... >>).
    std::map<std::string, CryptMethod, std::less<>> filters_;
};

} // namespace tavrix
