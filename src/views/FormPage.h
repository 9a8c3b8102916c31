#pragma once
// What the four working views share: a full-size background picture drawn under everything,
// and the row of navigation buttons on the top edge. A page talks to the main frame only
// through the frame-command function it is given (a synchronous call, as the window message
// was).

#include "controls/PngButton.h"

#include <QPixmap>
#include <QWidget>
#include <functional>

class IPrompt;
class IDownloadSession;
class QComboBox;

using FrameCommandFn = std::function<void(int code)>;

inline constexpr const char* kSwitchToAutoQuestion = "Do you want to switch to automatic mode?";

class CFormPage : public QWidget {
    Q_OBJECT
public:
    CFormPage(int backgroundId, FrameCommandFn command, QWidget* parent = nullptr);
    // Called when the page becomes the shown view (the previous one was another view).
    virtual void OnActivate() {}
    // Command 12: the settings changed.
    virtual void Refresh() {}

    // A 105 x 105 navigation button at x on the top edge with its normal and checked images.
    CPngButton* NavButton(int x, int normalImage, int secondImage = 0);
    CPngButton* ActionButton(int image, int x, int y);

protected:
    void paintEvent(QPaintEvent*) override;
    void Send(int code) { command_(code); }
    // In manual mode only: asks whether to switch; on Yes, automatic mode and command 30.
    // True when it switched.
    bool AskForAutomaticMode(IDownloadSession& session, IPrompt& prompt);

private:
    QPixmap background_;
    FrameCommandFn command_;
};

// View 0: the framework's empty first view.
class CTrevanixView : public QWidget {
public:
    using QWidget::QWidget;
};

// The home view: the start page with the navigation buttons.
class CHbA1cDeskMainView : public CFormPage {
    Q_OBJECT
public:
    CHbA1cDeskMainView(FrameCommandFn command, IDownloadSession& session, IPrompt& prompt,
                       QWidget* parent = nullptr);
    CPngButton* Home = nullptr;
    CPngButton* Download = nullptr;
    CPngButton* AllData = nullptr;
    CPngButton* Automatic = nullptr;
    CPngButton* Graph = nullptr;

    // The Automatic button: only in manual mode, and only when the user says Yes.
    void OnAutomatic();

private:
    IDownloadSession& session_;
    IPrompt& prompt_;
};

// The all-data list and the graph view: their pages with background and navigation buttons.
// The list, the search, the chart and their buttons come with the views built on them
// (views/AllDataListView, views/GraphView).
// Nav[0..4]: Home, Download, All data, the automatic-mode switch, Graph.
class CNavigationPage : public CFormPage {
    Q_OBJECT
public:
    CNavigationPage(int backgroundId, int currentView, FrameCommandFn command,
                    IDownloadSession& session, IPrompt& prompt, QWidget* parent = nullptr);
    CPngButton* Nav[5] = {};

protected:
    // The period list at its place: allText (no period), then 1 to 12 weeks.
    QComboBox* MakePeriodList(const QString& allText);

    IDownloadSession& session_;
    IPrompt& prompt_;
};
