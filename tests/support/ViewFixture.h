#pragma once
// One view of the window side over a database of its own, as the view tests build it: a
// temporary base folder, a scripted prompt, the databases with the given rows stored, default
// settings, a fake download session, a fixed today (2024-06-08), and what the view sent to the
// frame and said in the message pane. View is a view taking (command, session, prompt, db,
// settings), as the all-data list and the graph view do.

#include "LinkFakes.h"
#include "ResultRows.h"
#include "TestSupport.h"
#include "settings/Settings.h"
#include "storage/Databases.h"

#include <QComboBox>
#include <QDate>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>
#include <vector>

template <class View> struct ViewFixture {
    using Texts = std::vector<std::string>;

    explicit ViewFixture(const std::vector<StoredRow>& rows = {}) : db(home.path(), &prompt) {
        db.OpenDatabases();
        StoreRows(db.ResultTable, rows);
        view = std::make_unique<View>(
            [this](int code) {
                codes.push_back(code);
                if (onCommand)
                    onCommand(code);
            },
            session, prompt, db, settings);
        view->SetToday([]() { return QDate(2024, 6, 8); });
        view->ShowMessage = [this](const QString& text) { said = text; };
    }
    virtual ~ViewFixture() = default;

    // The texts of a list column, top to bottom (views with a List).
    Texts Column(int c) const {
        Texts out;
        for (int r = 0; r < view->List->ItemCount(); ++r)
            out.push_back(view->List->ItemText(r, c));
        return out;
    }
    // The entries of a combo box.
    static Texts Items(const QComboBox* box) {
        Texts out;
        for (int i = 0; i < box->count(); ++i)
            out.push_back(box->itemText(i).toStdString());
        return out;
    }

    QTemporaryDir home;
    ScriptedPrompt prompt;
    CResultDatabases db;
    AppSettings settings;
    FakeSession session;
    std::vector<int> codes;             // the frame commands the view sent
    std::function<void(int)> onCommand; // what the frame does with them (nothing by default)
    std::unique_ptr<View> view;
    QString said; // the last message the view gave
};
