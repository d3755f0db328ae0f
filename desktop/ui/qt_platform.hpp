// The Qt implementation of the window model's platform: file dialogs, the colour dialog with its
// sixteen custom colours, message boxes, the CMYK form and the desktop's "open".
#pragma once

#include <QPointer>
#include <QWidget>

#include "desktop/model/platform.hpp"

namespace folvane {

class QtPlatform : public Platform {
  public:
    using Platform::showMessage;

    // Dialogs are centred on `parent` once it is set.
    void setParent(QWidget* parent) { parent_ = parent; }

    Answer showMessage(const std::string& text, const std::string& caption,
                       Buttons buttons) override;
    std::optional<std::string> chooseFileToOpen(const FileChoice& choice) override;
    std::optional<std::string> chooseFileToSave(const FileChoice& choice) override;
    std::optional<uint32_t> chooseColor() override;
    bool editCmyk(CmykForm& form) override;
    void openWithShell(const std::string& path) override;

  private:
    std::optional<std::string> chooseFile(const FileChoice& choice, bool forSaving);

    QPointer<QWidget> parent_;
};

} // namespace folvane
