#pragma once
// "Lab system": the settings of the link to the laboratory system (lab_info.ini) and a test
// message whose answer is told in plain words. The test runs on a thread of its own, so the
// window answers while it waits for the receiver.

#include "lab/LabConfig.h"

#include <QDialog>
#include <functional>

class QFormLayout;
class QHBoxLayout;

class IPrompt;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class CLabSystemDlg : public QDialog {
    Q_OBJECT
public:
    CLabSystemDlg(const QString& baseFolder, IPrompt& prompt, QWidget* parent = nullptr);
    ~CLabSystemDlg() override;

    // Told of the saved settings, so the running link follows them.
    std::function<void(const LabConfig&)> Saved;

    QCheckBox* Enabled = nullptr;
    QLineEdit* Host = nullptr;
    QSpinBox* Port = nullptr;
    QCheckBox* Tls = nullptr;
    QLineEdit* CaFile = nullptr;
    QLineEdit* SendingApplication = nullptr;
    QLineEdit* SendingFacility = nullptr;
    QLineEdit* ReceivingApplication = nullptr;
    QLineEdit* ReceivingFacility = nullptr;
    QLineEdit* IdAuthority = nullptr;
    QSpinBox* AckTimeout = nullptr;
    QPushButton* SendTest = nullptr;
    QPushButton* Save = nullptr;
    QPushButton* Close = nullptr;
    QLabel* Answer = nullptr; // the test message's answer

    LabConfig FromControls() const;
    // Checks, writes and hands on the settings; false (the dialog stays) when they cannot be used
    // or written.
    bool OnSave();
    void OnSendTest();
    // The test's answer arrived (also for tests that run the test themselves).
    void ShowAnswer(const QString& text);

private:
    // The settings' rows (the CA file with its browse button); the test, save and close buttons.
    QFormLayout* BuildForm(const LabConfig& config);
    QHBoxLayout* BuildButtons();

    QString baseFolder_;
    IPrompt& prompt_;
    class QThread* test_ = nullptr;
};
