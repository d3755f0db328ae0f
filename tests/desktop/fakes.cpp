#include "fakes.hpp"

#include "tavrix/members.hpp"

namespace folvane::testing {
namespace {

std::string nameOf(int32_t dispid) {
    const tavrix::PropertyInfo* info = tavrix::findPropertyByDispid(dispid);
    return info ? std::string(info->name) : "dispid " + std::to_string(dispid);
}

} // namespace

HResult RecordingEngine::putLong(int32_t dispid, int32_t value) {
    const std::string name = nameOf(dispid);
    log_.push_back({name, value, {}});
    return name == failOn ? failure : kOk;
}

HResult RecordingEngine::putText(int32_t dispid, const std::string& value) {
    const std::string name = nameOf(dispid);
    log_.push_back({name, 0, value});
    return name == failOn ? failure : kOk;
}

} // namespace folvane::testing
