// The Qt implementation of the window model's platform: file dialogs, the colour dialog with its
// sixteen custom colours, message boxes, the CMYK form, the desktop's "open", timers and the
// event queue of the user-interface thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "desktop/model/platform.hpp"

namespace folvane {

class QtPlatform : public Platform {
  public:
    using Platform::showMessage;

    // Dialogs are centred on `parent` once it is set.
    void setParent(QWidget* parent) { parent_ = parent; }

    Answer showMessage(const std::string& text, const std::string& caption, Buttons buttons,
                       Tone tone) override;
    std::optional<std::string> askPassword(const std::string& text,
                                           const std::string& caption) override;
    std::optional<std::string> chooseFileToOpen(const FileChoice& choice) override;
    std::optional<std::string> chooseFileToSave(const FileChoice& choice) override;
    std::optional<uint32_t> chooseColor(uint32_t current) override;
    bool editCmyk(CmykForm& form) override;
    void openWithShell(const std::string& path) override;
    void postToUi(std::function<void()> work) override;
    std::unique_ptr<Timer> createTimer() override;

  private:
    std::optional<std::string> chooseFile(const FileChoice& choice, bool forSaving);

    QPointer<QWidget> parent_;
    // Work posted from other threads runs in this object's (the user-interface) thread, and is
    // dropped once it is gone.
    QObject context_;
};

} // namespace folvane
