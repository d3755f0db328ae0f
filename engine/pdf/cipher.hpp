// The primitives that PDF encryption is made of, taken from Nettle: the MD5 and SHA-2 digests,
// RC4, and AES in CBC mode. Keys, data and results are byte strings.
#pragma once

#include <string>
#include <string_view>

namespace tavrix::cipher {

std::string md5(std::string_view data);
std::string sha256(std::string_view data);
std::string sha384(std::string_view data);
std::string sha512(std::string_view data);

// RC4 with a key of 1 to 256 bytes; encryption and decryption are the same operation.
std::string rc4(std::string_view key, std::string_view data);

// AES-CBC (a 16- or 32-byte key) as PDF stores it: the 16-byte initialisation vector first, then
// the data padded to whole blocks (PKCS #7). Encryption takes a fresh vector from the system's
// random generator. Decryption of data that is no such form (shorter than the vector, not whole
// blocks) answers false; padding that does not read as padding is kept as data.
std::string aesEncrypt(std::string_view key, std::string_view data);
bool aesDecrypt(std::string_view key, std::string_view data, std::string& out);

// AES-CBC without padding over whole blocks, with the given 16-byte vector (the key derivation
// of 256-bit encryption uses it so). `data` must be whole blocks.
std::string aesCbcEncryptRaw(std::string_view key, std::string_view iv, std::string_view data);
std::string aesCbcDecryptRaw(std::string_view key, std::string_view iv, std::string_view data);

// `n` bytes from the system's random generator (getrandom); throws CPdfException when it fails.
std::string randomBytes(size_t n);

} // namespace tavrix::cipher
