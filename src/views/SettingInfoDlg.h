#pragma once
// The settings window "Setting information": unit, date and time formats and the physician's
// details. Saving writes set_info.ini, reads it back, and has the shown view re-filled
// (kCmdRefreshView), so every list follows the new formats at once.

#include "settings/DisplayFormats.h"
#include "views/FormPage.h"

#include <QDialog>
#include <QPixmap>
#include <QString>
#include <functional>

class CPngButton;
class IPrompt;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QVBoxLayout;

inline constexpr const char* kSettingsCaption = "Setting information";

class QPushButton;

class CSettingInfoDlg : public QDialog {
    Q_OBJECT
public:
    CSettingInfoDlg(AppSettings& settings, const QString& baseFolder, FrameCommandFn command,
                    IPrompt& prompt, QWidget* parent = nullptr);

    QRadioButton* UnitPercent = nullptr; // 1102
    QRadioButton* UnitMmol = nullptr;    // 1103
    QRadioButton* DateFormat[3] = {};    // 1107, 1108, 1109
    QRadioButton* Time12 = nullptr;      // 1104
    QRadioButton* Time24 = nullptr;      // 1105
    QComboBox* Language = nullptr;       // 1004
    QLineEdit* PhysicianName = nullptr;  // 1085
    QLineEdit* Hospital = nullptr;       // 1090
    QLineEdit* Email = nullptr;          // 1093
    QLineEdit* Note = nullptr;           // 1094
    QComboBox* PidDigits = nullptr;      // 1006, hidden
    QComboBox* OpidDigits = nullptr;     // 1007, hidden
    QLineEdit* High = nullptr;           // 1000, hidden and disabled
    QLineEdit* Low = nullptr;            // 1005, hidden and disabled
    QLabel* HighUnit = nullptr;          // 1018
    QLabel* LowUnit = nullptr;           // 1019
    CPngButton* Save = nullptr;          // 1074
    CPngButton* Close = nullptr;         // 1170
    QPushButton* LabSystem = nullptr;    // opens "Lab system"
    std::function<void()> OpenLabSystem;

    // The save button: the settings from the controls, written, read back, the view re-filled.
    // A file that cannot be written is reported; the dialog then stays open with the settings
    // as they were.
    void OnSave();

protected:
    void paintEvent(QPaintEvent*) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    // The parts of the window, top to bottom.
    void BuildFormats(QVBoxLayout& outer);
    void BuildLanguage(QVBoxLayout& outer);
    void BuildPhysician(QVBoxLayout& outer);
    void BuildKeptFields();
    void BuildButtons(QVBoxLayout& outer);

    AppSettings& settings_;
    QString baseFolder_;
    FrameCommandFn command_;
    IPrompt& prompt_;
    SettingsDialogState state_;
    QPixmap background_;
};
