#pragma once
// The port-choice dialog "Get HbA1c data": the serial ports with the analyzer's adapter
// preselected, a port search, OK and Cancel. Its state lives in GetDataDlgModel; this is only
// the window.

#include "link/PortDiscovery.h"

#include <QDialog>
#include <QPixmap>

class QComboBox;
class QPushButton;

class CGetDataDlg : public QDialog {
    Q_OBJECT
public:
    explicit CGetDataDlg(GetDataDlgModel& model, QWidget* parent = nullptr);
    // Fills the list again from the model (a new scan arrived).
    void Refill();
    GetDataDlgModel::Choice Choice() const { return choice_; }
    QComboBox* Ports() const { return ports_; }
    QPushButton* SearchButton() const { return search_; }
    void accept() override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    GetDataDlgModel& model_;
    QComboBox* ports_;
    QPushButton* search_;
    GetDataDlgModel::Choice choice_;
    QPixmap background_;
};

// Runs the dialog modally for the controller's port choice.
class CGetDataDlgChooser : public IPortChooser {
public:
    explicit CGetDataDlgChooser(QWidget* parent) : parent_(parent) {}
    bool ChoosePort(GetDataDlgModel& model, GetDataDlgModel::Choice& choice) override;
    bool IsOpen() const override { return open_ != nullptr; }
    void Refresh() override;

private:
    QWidget* parent_;
    CGetDataDlg* open_ = nullptr;
};
