#include "engine/service/tavrix_com.hpp"

#include "engine/service/ansi_text.hpp"
#include "engine/service/job_driver.hpp"
#include "tavrix/members.hpp"

namespace tavrix {

bool TavrixCom::putLong(int32_t dispid, int32_t value) {
    const PropertyInfo* p = findPropertyByDispid(dispid);
    if (!p) return false;
    if (auto field = std::get_if<int32_t StampSettings::*>(&p->field)) {
        settings_.*(*field) = value;
        return true;
    }
    if (auto field = std::get_if<bool StampSettings::*>(&p->field)) {
        settings_.*(*field) = value != 0;
        return true;
    }
    return false;
}

bool TavrixCom::putText(int32_t dispid, std::string_view utf8) {
    const PropertyInfo* p = findPropertyByDispid(dispid);
    if (!p) return false;
    auto field = std::get_if<std::string StampSettings::*>(&p->field);
    if (!field) return false;
    if (p->type != PropertyType::StampText) {
        settings_.*(*field) = std::string(utf8);
        return true;
    }
    // Stamped texts are written in WinAnsiEncoding when Windows-1252 holds every character of
    // the run, else with an embedded font from the text as given: the property keeps both.
    settings_.*(*field) = utf8ToWindows1252(utf8);
    settings_.*(p->original) = std::string(utf8);
    return true;
}

std::string TavrixCom::getTavrixFile(const std::string& input, const std::string& output,
                                     const std::string& params) {
    JobDriver driver(settings_);
    std::string result = driver.run(input, output, params);
    reasons_ = driver.failureReasons();
    kind_ = driver.failureKind();
    return result;
}

std::string TavrixCom::failureDescription() const {
    std::string text;
    for (const std::string& reason : reasons_) {
        if (!text.empty()) text += '\n';
        text += reason;
    }
    return text;
}

} // namespace tavrix
