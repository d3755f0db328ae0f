#include "desktop/model/cmyk_form.hpp"

#include "desktop/model/number_text.hpp"

namespace folvane {

void CmykForm::setValues(const CmykValues& v) {
    values_ = v;
}

void CmykForm::refreshFields() {
    for (int i = 0; i < kFieldCount; ++i)
        fields_[i] = std::to_string(values_[i]);
}

bool CmykForm::commitFields(Platform& platform) {
    failedField_ = -1;
    for (int i = 0; i < kFieldCount; ++i) {
        const auto v = parseIntegerField(fields_[i]);
        if (!v) {
            failedField_ = i;
            platform.showMessage("Please enter an integer.");
            return false;
        }
        values_[i] = *v;
        if (*v < 0 || *v > 100) {
            failedField_ = i;
            platform.showMessage("Please enter an integer between 0 and 100.");
            return false;
        }
    }
    return true;
}

} // namespace folvane
