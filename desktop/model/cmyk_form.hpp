// The CMYK entry form: four percentage fields that commit into the form's own values on every
// change, so the form reopens with what was last typed, even after Cancel.
#pragma once

#include <array>
#include <string>

#include "desktop/model/colour.hpp"
#include "desktop/model/parameters_file.hpp"
#include "desktop/model/platform.hpp"

namespace folvane {

class CmykForm {
  public:
    static constexpr int kFieldCount = 4; // C, M, Y, K

    const CmykValues& values() const { return values_; }
    Cmyk cmyk() const { return Cmyk{values_[0], values_[1], values_[2], values_[3]}; }
    void setValues(const CmykValues& v);

    // The fields as typed.
    const std::string& fieldText(int i) const { return fields_[i]; }
    void setFieldText(int i, std::string text) { fields_[i] = std::move(text); }
    // Shows the form's values in its fields (when it opens).
    void refreshFields();

    // Commits the four fields in order; the first bad one shows its message and ends the commit
    // with its index in failedField(). A value out of 0..100 is stored before its message.
    bool commitFields(Platform& platform);
    int failedField() const { return failedField_; }

    // The rough RGB guide painted in the form's swatch.
    uint32_t swatchColor() const { return cmykToRgb(cmyk()); }

  private:
    CmykValues values_{};
    std::array<std::string, kFieldCount> fields_{"0", "0", "0", "0"};
    int failedField_ = -1;
};

} // namespace folvane
