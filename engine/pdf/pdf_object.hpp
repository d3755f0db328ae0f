// The value model of the PDF reader: a tagged value that is a scalar, an owned text, or a shared
// handle on an array, a dictionary or a byte stream.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavrix {

class XrefTable;
class PdfArray;
class PdfDict;
class PdfStream;

// The codes are fixed: other code compares and stores them.
enum class ObjectKind : int {
    Bool = 0,
    Int = 1,
    Real = 2,
    String = 3,
    Name = 4,
    Null = 5,
    Array = 6,
    Dict = 7,
    Stream = 8,
    Ref = 9,
    Command = 10,
    Error = 11,
    Eof = 12,
    None = 13,
};

class PdfObject {
  public:
    PdfObject() = default;
    virtual ~PdfObject() = default;
    PdfObject(const PdfObject&) = default;
    PdfObject& operator=(const PdfObject&) = default;
    PdfObject(PdfObject&&) noexcept = default;
    PdfObject& operator=(PdfObject&&) noexcept = default;

    static PdfObject makeBool(bool v);
    // Integers keep 64 bits: offsets and lengths of files over 2 GiB need them.
    static PdfObject makeInt(int64_t v);
    static PdfObject makeReal(double v);
    static PdfObject makeRef(int32_t num, int32_t gen);
    static PdfObject makeString(std::string_view text);
    static PdfObject makeName(std::string_view text);
    static PdfObject makeCommand(std::string_view text);
    static PdfObject makeNull() { return PdfObject(ObjectKind::Null); }
    static PdfObject makeError() { return PdfObject(ObjectKind::Error); }
    static PdfObject makeEof() { return PdfObject(ObjectKind::Eof); }
    static PdfObject makeArray(XrefTable* xref);
    static PdfObject makeDict(XrefTable* xref);
    static PdfObject makeDict(std::shared_ptr<PdfDict> dict);
    static PdfObject makeStream(std::shared_ptr<PdfStream> stream);

    ObjectKind kind() const { return kind_; }
    bool isBool() const { return kind_ == ObjectKind::Bool; }
    bool isInt() const { return kind_ == ObjectKind::Int; }
    bool isReal() const { return kind_ == ObjectKind::Real; }
    bool isString() const { return kind_ == ObjectKind::String; }
    bool isName() const { return kind_ == ObjectKind::Name; }
    bool isNull() const { return kind_ == ObjectKind::Null; }
    bool isArray() const { return kind_ == ObjectKind::Array; }
    bool isDict() const { return kind_ == ObjectKind::Dict; }
    bool isStream() const { return kind_ == ObjectKind::Stream; }
    bool isRef() const { return kind_ == ObjectKind::Ref; }
    bool isCommand() const { return kind_ == ObjectKind::Command; }
    bool isCommand(std::string_view text) const { return isCommand() && text_ == text; }
    bool isName(std::string_view text) const { return isName() && text_ == text; }
    bool isError() const { return kind_ == ObjectKind::Error; }
    bool isEof() const { return kind_ == ObjectKind::Eof; }
    bool isNone() const { return kind_ == ObjectKind::None; }

    bool getBool() const { return number_ != 0; }
    // The value held to 32 bits (counts, numbers, generations): a larger one saturates.
    int32_t getInt() const {
        return number_ > INT32_MAX   ? INT32_MAX
               : number_ < INT32_MIN ? INT32_MIN
                                     : static_cast<int32_t>(number_);
    }
    // The whole value: byte offsets and lengths.
    int64_t getInt64() const { return number_; }
    double getReal() const { return real_; }
    const std::string& getText() const { return text_; }
    int32_t getRefNum() const { return static_cast<int32_t>(number_); }
    int32_t getRefGen() const { return gen_; }
    const std::shared_ptr<PdfArray>& getArray() const { return array_; }
    const std::shared_ptr<PdfDict>& getDict() const { return dict_; }
    const std::shared_ptr<PdfStream>& getStream() const { return stream_; }

    void clear() { *this = PdfObject(); }

    // A reference resolved once through `xref` (when given); any other value is returned as is.
    PdfObject resolve(XrefTable* xref) const;

  private:
    explicit PdfObject(ObjectKind kind) : kind_(kind) {}

    ObjectKind kind_ = ObjectKind::None;
    int64_t number_ = 0; // Bool, Int, Ref number
    int32_t gen_ = 0;    // Ref generation
    double real_ = 0;
    std::string text_; // String, Name, Command
    std::shared_ptr<PdfArray> array_;
    std::shared_ptr<PdfDict> dict_;
    std::shared_ptr<PdfStream> stream_;
};

class PdfArray {
  public:
    explicit PdfArray(XrefTable* xref) : xref_(xref) {}
    virtual ~PdfArray() = default;

    size_t size() const { return items_.size(); }
    PdfObject get(size_t i) const { return items_[i].resolve(xref_); }
    // A copy: assigning an element to the value that holds its array must not dangle.
    PdfObject getRaw(size_t i) const { return items_[i]; }
    void append(const PdfObject& value) { items_.push_back(value); }

  private:
    XrefTable* xref_;
    std::vector<PdfObject> items_;
};

class PdfDict {
  public:
    explicit PdfDict(XrefTable* xref) : xref_(xref) {}
    virtual ~PdfDict() = default;

    // Stored value resolved through the bound table; Null when absent.
    PdfObject lookup(std::string_view key) const;
    // Stored value as it stands (a reference stays a reference); Null when absent.
    PdfObject lookupRaw(std::string_view key) const;
    // The first occurrence of a duplicated key wins.
    void addEntry(std::string key, const PdfObject& value) {
        entries_.emplace(std::move(key), value);
    }
    void setXref(XrefTable* xref) { xref_ = xref; }
    XrefTable* xref() const { return xref_; }
    size_t size() const { return entries_.size(); }
    // Every entry in key order, values as stored.
    const std::map<std::string, PdfObject, std::less<>>& entries() const { return entries_; }

  private:
    XrefTable* xref_;
    // std::string orders byte-wise as unsigned bytes, the shorter key first on a common prefix.
    std::map<std::string, PdfObject, std::less<>> entries_;
};

} // namespace tavrix
