#include "engine/pdf/pdf_object.hpp"

#include "engine/pdf/xref_table.hpp"

namespace tavrix {

PdfObject PdfObject::makeBool(bool v) {
    PdfObject o(ObjectKind::Bool);
    o.number_ = v ? 1 : 0;
    return o;
}

PdfObject PdfObject::makeInt(int64_t v) {
    PdfObject o(ObjectKind::Int);
    o.number_ = v;
    return o;
}

PdfObject PdfObject::makeReal(double v) {
    PdfObject o(ObjectKind::Real);
    o.real_ = v;
    return o;
}

PdfObject PdfObject::makeRef(int32_t num, int32_t gen) {
    PdfObject o(ObjectKind::Ref);
    o.number_ = num;
    o.gen_ = gen;
    return o;
}

PdfObject PdfObject::makeString(std::string_view text) {
    PdfObject o(ObjectKind::String);
    o.text_ = text;
    return o;
}

PdfObject PdfObject::makeName(std::string_view text) {
    PdfObject o(ObjectKind::Name);
    o.text_ = text;
    return o;
}

PdfObject PdfObject::makeCommand(std::string_view text) {
    PdfObject o(ObjectKind::Command);
    o.text_ = text;
    return o;
}

PdfObject PdfObject::makeArray(XrefTable* xref) {
    PdfObject o(ObjectKind::Array);
    o.array_ = std::make_shared<PdfArray>(xref);
    return o;
}

PdfObject PdfObject::makeDict(XrefTable* xref) {
    PdfObject o(ObjectKind::Dict);
    o.dict_ = std::make_shared<PdfDict>(xref);
    return o;
}

PdfObject PdfObject::makeDict(std::shared_ptr<PdfDict> dict) {
    if (!dict) return makeNull();
    PdfObject o(ObjectKind::Dict);
    o.dict_ = std::move(dict);
    return o;
}

PdfObject PdfObject::makeStream(std::shared_ptr<PdfStream> stream) {
    if (!stream) return makeError();
    PdfObject o(ObjectKind::Stream);
    o.stream_ = std::move(stream);
    return o;
}

PdfObject PdfObject::resolve(XrefTable* xref) const {
    if (kind_ == ObjectKind::Ref && xref) return xref->fetchObject(getRefNum(), gen_);
    return *this;
}

PdfObject PdfDict::lookup(std::string_view key) const {
    auto it = entries_.find(key);
    if (it == entries_.end()) return PdfObject::makeNull();
    return it->second.resolve(xref_);
}

PdfObject PdfDict::lookupRaw(std::string_view key) const {
    auto it = entries_.find(key);
    if (it == entries_.end()) return PdfObject::makeNull();
    return it->second;
}

} // namespace tavrix
