#pragma once
// What the four working views share: a full-size background picture drawn under everything,
// and the row of navigation buttons on the top edge. A page talks to the main frame only
// through the frame-command function it is given (a synchronous call, as the window message
// was).

#include "controls/PngButton.h"
#include "link/FrameHost.h"
#include "link/LinkCodes.h"

#include <QPixmap>
#include <QWidget>
#include <functional>

class IPrompt;
class IDownloadSession;
class QComboBox;
class QLabel;

inline constexpr const char* kNoMatchText = "No result matches the selection.";

using FrameCommandFn = std::function<void(int code)>;

inline constexpr const char* kSwitchToAutoQuestion = "Do you want to switch to automatic mode?";

class CFormPage : public QWidget {
    Q_OBJECT
public:
    CFormPage(int backgroundId, FrameCommandFn command, QWidget* parent = nullptr);
    // Called when the page becomes the shown view (the previous one was another view).
    virtual void OnActivate() {}
    // kCmdRefreshView: the settings changed.
    virtual void Refresh() {}

    // A 105 x 105 navigation button at x on the top edge with its normal and checked images.
    CPngButton* NavButton(int x, int normalImage, int secondImage = 0);
    // Names a navigation button: its accessible name, and its shortcut Ctrl+1 to Ctrl+5 by its
    // place on the top edge (Home, Download, All data, automatic mode, Graph), named in its
    // tooltip.
    static void NameNavButton(CPngButton* button, const QString& name);
    CPngButton* ActionButton(int image, int x, int y);

    // Where the page says what it shows or why a click did nothing: the message pane of the
    // main window's status bar (the frame sets it; tests give their own).
    std::function<void(const QString&)> ShowMessage;

protected:
    void paintEvent(QPaintEvent*) override;
    void Send(FrameCommandCode code) { sendCommand_(code); }
    // True while the frame has put the page away behind the shown view (a page that was never
    // shown nor hidden, as in a test, counts as shown).
    bool PutAway() const { return isHidden() && testAttribute(Qt::WA_WState_ExplicitShowHide); }
    void Say(const QString& text) {
        if (ShowMessage)
            ShowMessage(text);
    }
    // "3 results: " or "1 result: ", the start of a message about what a search shows.
    static QString CountText(int n) {
        return QStringLiteral("%1 %2: ").arg(n).arg(n == 1 ? QStringLiteral("result")
                                                           : QStringLiteral("results"));
    }
    // In manual mode only: asks whether to switch; on Yes, the session starts automatic mode.
    // True when it switched.
    bool AskForAutomaticMode(IDownloadSession& session, IPrompt& prompt);

private:
    QPixmap background_;
    FrameCommandFn sendCommand_;
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
// Nav[kNavHome .. kNavGraph]: Home, Download, All data, the automatic-mode switch, Graph.
enum NavSlot : int { kNavHome, kNavDownload, kNavAllData, kNavAutomatic, kNavGraph, kNavCount };

class CNavigationPage : public CFormPage {
    Q_OBJECT
public:
    CNavigationPage(int backgroundId, ViewIndex currentView, FrameCommandFn command,
                    IDownloadSession& session, IPrompt& prompt, QWidget* parent = nullptr);
    CPngButton* Nav[kNavCount] = {};

protected:
    // The period list at its place: allText (no period), then 1 to 12 weeks.
    QComboBox* MakePeriodList(const QString& allText);
    // A filter control's visible label, on the strip between the artwork and the control, and
    // its accessible name (an editable control's text field gets it too, so a screen reader
    // does not read the contents as its name).
    QLabel* LabelFilter(QWidget* control, const QString& label, const QString& accessibleName);

    IDownloadSession& session_;
    IPrompt& prompt_;
};
