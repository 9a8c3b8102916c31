#pragma once
// What stands around the link in a test: a port choice that answers from a script, a main
// frame that records what it is asked to show, and the session as a view sees it.

#include "link/DownloadSession.h"
#include "link/FrameHost.h"
#include "link/PortDiscovery.h"

#include <functional>
#include <string>
#include <vector>

class ScriptedChooser : public IPortChooser {
public:
    bool ChoosePort(GetDataDlgModel& model, GetDataDlgModel::Choice& choice) override {
        ++runs;
        items = model.Items();
        if (cancel)
            return false;
        if (!path.empty()) {
            choice.devicePath = path;
            choice.label = label;
        } else {
            choice = model.Accept();
        }
        return true;
    }
    bool IsOpen() const override { return false; }
    void Refresh() override {}
    std::string path;
    std::string label = "COM5";
    bool cancel = false;
    int runs = 0;
    std::vector<std::string> items;
};

class FakeFrame : public IFrameHost {
public:
    int ActiveView() const override { return active; }
    void ShowView(int index) override {
        shown.push_back(index);
        active = index;
    }
    void RefreshActiveView() override { ++refreshes; }
    void SetStatusPane(int pane, const std::string& text) override {
        if (pane >= 0 && pane < 7)
            panes[pane] = text;
    }
    int active = 2;
    std::vector<int> shown;
    int refreshes = 0;
    std::string panes[7];
};

// The download session as a view sees it: what it was asked, and a state the test sets.
class FakeSession : public IDownloadSession {
public:
    const AcquisitionState& State() const override { return state; }
    void StartManual() override { ++manualStarts; }
    void StartAutomatic() override {
        state.AutoMode = kModeAutomatic;
        ++automaticStarts;
    }
    void SwitchToManual() override {
        state.AutoMode = kModeManual;
        ++switchesToManual;
    }
    bool IsIdle() const override { return idle; }
    const SessionOutcome& LastOutcome() const override { return outcome; }
    void SetOutcomeListener(std::function<void(const SessionOutcome&)> l) override {
        listener = std::move(l);
    }
    SessionPrompt PendingPrompt() const override { return pending; }
    void AcknowledgePrompt(SessionPrompt prompt) override { acknowledged.push_back(prompt); }
    AcquisitionState state;
    SessionOutcome outcome;
    std::function<void(const SessionOutcome&)> listener;
    SessionPrompt pending = SessionPrompt::None;
    std::vector<SessionPrompt> acknowledged;
    int manualStarts = 0;
    int automaticStarts = 0;
    int switchesToManual = 0;
    bool idle = true;
};
