// The three small modal dialogs that edit picture settings: set_size (the picture window),
// CQuality (the JPEG quality) and CCameraSettingsDlg (the camera values inside the camera
// set-up text). The opener passes the current values in, runs the dialog and takes the values
// back only when it ends with OK. Out-of-range values are refused with a message and the
// dialog stays open for the user to correct them or cancel.
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "picture/engine/capture_protocol.h"

class QLineEdit;

namespace Ui {
class set_size;
class CQuality;
class CCameraSettingsDlg;
}  // namespace Ui

class set_size : public QDialog {
    Q_OBJECT
public:
    explicit set_size(const pictavo::PictureWindow& window, QWidget* parent = nullptr);
    ~set_size() override;
    // The values shown when it opened, or the accepted ones after OK.
    pictavo::PictureWindow Window() const { return window_; }

    QLineEdit* x0Edit() const;
    QLineEdit* y0Edit() const;
    QLineEdit* x1Edit() const;
    QLineEdit* y1Edit() const;

public slots:
    void accept() override;
    void OnDefault();

private:
    void Fill();
    std::unique_ptr<Ui::set_size> ui_;
    pictavo::PictureWindow window_;
};

class CQuality : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDefaultQuality = 65;
    explicit CQuality(int quality, QWidget* parent = nullptr);
    ~CQuality() override;
    int Quality() const { return quality_; }
    QLineEdit* qualityEdit() const;

public slots:
    void accept() override;
    void OnDefault();

private:
    void Fill();
    std::unique_ptr<Ui::CQuality> ui_;
    int quality_;
};

class CCameraSettingsDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCameraSettingsDlg(const std::string& cameraSetup, QWidget* parent = nullptr);
    ~CCameraSettingsDlg() override;
    // The changed text after OK; the text it was given otherwise.
    const std::string& CameraSetup() const { return text_; }

    QLineEdit* autoFocusEdit() const;
    QLineEdit* shutterEdit() const;
    QLineEdit* gainEdit() const;

public slots:
    // Refuses fields shorter than their values (and stays open), and a set-up text without
    // the five places for them (the dialog then ends without a change).
    void accept() override;

private:
    std::unique_ptr<Ui::CCameraSettingsDlg> ui_;
    std::string text_;
};
