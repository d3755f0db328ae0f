// The "CMYK Values" form: four percentage fields bound to a CmykForm, a rough RGB swatch and
// Save/Exit and Cancel.
#pragma once

#include <QDialog>
#include <array>

class QLineEdit;
class QLabel;

namespace folvane {

class CmykForm;
class Platform;

class CmykDialog : public QDialog {
  public:
    CmykDialog(CmykForm& form, Platform& platform, QWidget* parent = nullptr);

  private:
    void fieldEdited(int index, const QString& text);
    void saveAndExit();
    void paintSwatch();

    CmykForm& form_;
    Platform& platform_;
    std::array<QLineEdit*, 4> fields_{};
    QLabel* swatch_ = nullptr;
};

} // namespace folvane
