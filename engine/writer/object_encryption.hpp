// The encryption of what a run writes into the output of an encrypted input, which keeps the
// input's /Encrypt dictionary and so its keys: every string and stream is encrypted with the
// file key for the number and generation of the object that holds it. Copied objects keep their
// numbers and bytes; only text that is new, or that moves to another object (a member of an
// object stream written as an object of its own, a dictionary copied from a parent node into a
// page), has its strings encrypted anew here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/pdf/security_handler.hpp"

namespace tavrix {

class ObjectEncryption {
  public:
    // `encryptNum`: the /Encrypt dictionary's object, whose strings are never encrypted (-1
    // when it is direct).
    ObjectEncryption(const SecurityHandler& handler, int32_t encryptNum)
        : handler_(handler), encryptNum_(encryptNum) {}

    // A new object's text ("N 0 obj ... endobj"): its strings and its stream data encrypted for
    // object `num`, generation 0, with the stream's /Length set to the encrypted data's.
    std::string newObject(int32_t num, std::string_view text) const;

    // `text` with each string (before any stream data) decrypted from object `from` and
    // encrypted for object `to`; nullopt stands for text that is not encrypted (a member of an
    // object stream, a new text). Strings are written as hexadecimal strings; everything else
    // keeps its bytes. The text itself when `from` and `to` are the same.
    std::string strings(std::string_view text, std::optional<ObjectKey> from,
                        std::optional<ObjectKey> to) const;

    int32_t encryptNum() const { return encryptNum_; }

  private:
    const SecurityHandler& handler_;
    int32_t encryptNum_;
};

} // namespace tavrix
