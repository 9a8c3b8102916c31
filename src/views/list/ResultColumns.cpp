#include "views/list/ResultColumns.h"

#include "settings/DisplayFormats.h"
#include "storage/DownloadDecoder.h"
#include "views/list/ListCtrlExt.h"

#include <QFont>
#include <QFontMetrics>
#include <algorithm>

void SetResultColumnSortKeys(CListCtrlExt& list, std::function<int()> dateFormat) {
    auto column = [](int c, ListSortKey (*key)(const std::string&)) {
        return [c, key](const CListModel& m, int row) { return key(m.Text(row, c)); };
    };
    list.SetColumnSortKey(0, column(0, NumberSortKey));
    list.SetColumnSortKey(1, [dateFormat](const CListModel& m, int row) {
        return DateTimeSortKey(m.Text(row, 1), m.Text(row, 2), dateFormat ? dateFormat() : 0);
    });
    list.SetColumnSortKey(2, column(2, TimeSortKey));
    list.SetColumnSortKey(3, column(3, ResultSortKey));
    list.SetColumnSortKey(4, column(4, IdSortKey));
    list.SetColumnSortKey(5, column(5, IdSortKey));
    list.SetColumnSortKey(6, column(6, TextSortKey));
}

std::vector<std::string> ResultColumnSamples(int column) {
    std::vector<std::string> out;
    switch (column) {
    case 0:
        out = {"100000"};
        break;
    case 1:
        for (int f = 0; f < 3; ++f)
            out.push_back(FormatRecordDate("20281228", "2359", f, DateTimeStyle::List));
        break;
    case 2:
        for (int f = 0; f < 2; ++f)
            for (const char* t : {"0000", "1259", "2358"})
                out.push_back(FormatRecordTime("20281228", t, f, DateTimeStyle::List));
        break;
    case 3:
        for (int unit = 0; unit < 2; ++unit)
            for (const char* v : {"150", "030", "108", "138", "088"}) {
                out.push_back(FormatResultListText(v, unit));
                out.push_back(FormatResultText(v, unit));
            }
        break;
    case 4:
    case 5:
        out = {std::string(14, '8'), std::string(14, '0')};
        break;
    case 6:
        out = {kTiltedText};
        break;
    default:
        break;
    }
    return out;
}

int ResultColumnWidth(const QFontMetrics& fm, int column, const QString& title) {
    // The title with room for the sort arrow; each text with the cell's margins and grid line.
    int widest = fm.horizontalAdvance(title) + 32;
    for (const std::string& t : ResultColumnSamples(column))
        widest = std::max(widest, fm.horizontalAdvance(QString::fromLatin1(t.c_str())) + 10);
    return widest;
}

void SetUpResultList(CListCtrlExt& list, const char* const (&titles)[kResultColumnCount],
                     std::function<int()> dateFormat) {
    QFont font(QStringLiteral("Malgun Gothic"));
    font.setPixelSize(15);
    font.setBold(true);
    list.setFont(font);
    list.Header()->setFont(font);
    list.SetCellNavigation(true);
    const QFontMetrics fm(font);
    for (int c = 0; c < kResultColumnCount; ++c)
        list.InsertColumn(c, QString::fromLatin1(titles[c]), Qt::AlignCenter,
                          ResultColumnWidth(fm, c, QString::fromLatin1(titles[c])));
    SetResultColumnSortKeys(list, std::move(dateFormat));
    list.Model()->SetColumnShownTrimmed(kColumnPid, true);
    list.Model()->SetColumnShownTrimmed(kColumnOpid, true);
    list.SetColumnHideable(kColumnNumber, false);
    list.LoadColumnLayout();
}
