// The list's column layout in the per-user settings: order, widths, visibility and sort, one
// group per list named after its control identifier.

#include "views/list/ListCtrlExt.h"

#include <QByteArray>
#include <QSettings>
#include <algorithm>
#include <cstdint>
#include <memory>

namespace {

// Four bytes per value, least significant first: the layout entries are binary.
void PutInts(QByteArray& out, const std::vector<int>& values) {
    out.resize(static_cast<qsizetype>(values.size() * 4));
    for (size_t i = 0; i < values.size(); ++i) {
        const uint32_t v = static_cast<uint32_t>(values[i]);
        for (int b = 0; b < 4; ++b)
            out[static_cast<qsizetype>(i * 4 + static_cast<size_t>(b))] =
                static_cast<char>((v >> (8 * b)) & 0xFF);
    }
}

std::vector<int> GetInts(const QByteArray& in) {
    std::vector<int> out(static_cast<size_t>(in.size() / 4));
    for (size_t i = 0; i < out.size(); ++i) {
        uint32_t v = 0;
        for (int b = 0; b < 4; ++b)
            v |= static_cast<uint32_t>(static_cast<unsigned char>(
                     in[static_cast<qsizetype>(i * 4 + static_cast<size_t>(b))]))
                 << (8 * b);
        out[i] = static_cast<int>(v);
    }
    return out;
}

} // namespace

QSettings* CListCtrlExt::OpenSettings() {
    return new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                         QString::fromLatin1(kLayoutOrganisation),
                         QString::fromLatin1(kLayoutApplication));
}

void CListCtrlExt::SaveColumnLayout(QSettings* settings) const {
    std::unique_ptr<QSettings> own;
    if (!settings) {
        own.reset(OpenSettings());
        settings = own.get();
    }
    const int count = ColumnCount();
    std::vector<int> order = header_->Order(), widths(static_cast<size_t>(count)),
                     visible(static_cast<size_t>(count));
    order.resize(static_cast<size_t>(count), 0);
    for (int c = 0; c < count; ++c) {
        const ColumnInfo* i = header_->Info(c);
        visible[static_cast<size_t>(c)] = i->visible ? 1 : 0;
        widths[static_cast<size_t>(c)] = i->visible ? header_->sectionSize(c) : 0;
    }
    QByteArray o, w, v;
    PutInts(o, order);
    PutInts(w, widths);
    PutInts(v, visible);
    settings->beginGroup(QString::number(controlId_));
    settings->setValue(QStringLiteral("ColumnCount"), count);
    settings->setValue(QStringLiteral("ColumnOrder"), o);
    settings->setValue(QStringLiteral("ColumnWidth"), w);
    settings->setValue(QStringLiteral("ColumnVisible"), v);
    settings->setValue(QStringLiteral("ColSortNum"), sortColumn_);
    settings->setValue(QStringLiteral("ColSortDir"), sortDirection_);
    settings->endGroup();
    settings->sync();
}

void CListCtrlExt::LoadColumnLayout(QSettings* settings) {
    std::unique_ptr<QSettings> own;
    if (!settings) {
        own.reset(OpenSettings());
        settings = own.get();
    }
    settings->beginGroup(QString::number(controlId_));
    // Whatever does not fit this list is ignored from that entry on.
    [&]() {
        const int count = settings->value(QStringLiteral("ColumnCount"), 0).toInt();
        if (count != ColumnCount() || count <= 0)
            return;
        const qsizetype bytes = static_cast<qsizetype>(count) * 4;
        const QByteArray o = settings->value(QStringLiteral("ColumnOrder")).toByteArray();
        if (o.size() != bytes)
            return;
        const std::vector<int> order = GetInts(o);
        std::vector<bool> seen(static_cast<size_t>(count), false);
        for (int c : order) {
            if (c < 0 || c >= count || seen[static_cast<size_t>(c)])
                return;
            seen[static_cast<size_t>(c)] = true;
        }
        header_->ApplyOrder(order);
        const QByteArray w = settings->value(QStringLiteral("ColumnWidth")).toByteArray();
        if (w.size() != bytes)
            return;
        const std::vector<int> widths = GetInts(w);
        // A column the layout shows at width 0 would be hidden all the same: it takes the width
        // it was inserted with.
        auto width = [&](int c) {
            const int saved = widths[static_cast<size_t>(c)];
            return saved > 0 ? saved : header_->Info(c)->width;
        };
        for (int c = 0; c < count; ++c)
            header_->resizeSection(c, width(c));
        const QByteArray v = settings->value(QStringLiteral("ColumnVisible")).toByteArray();
        if (v.size() != bytes)
            return;
        std::vector<int> visible = GetInts(v);
        // A damaged or hand-edited layout could hide every column and the list would look
        // empty: such flags are ignored, and a column the chooser never hides is always shown.
        if (std::none_of(visible.begin(), visible.end(), [](int on) { return on != 0; }))
            return;
        for (int c = 0; c < count; ++c)
            if (!header_->Info(c)->hideable)
                visible[static_cast<size_t>(c)] = 1;
        for (int c = 0; c < count; ++c)
            ShowColumn(c, visible[static_cast<size_t>(c)] != 0);
        const int sortNum = settings->value(QStringLiteral("ColSortNum"), 0).toInt();
        const int sortDir = settings->value(QStringLiteral("ColSortDir"), 0).toInt();
        SortByColumn(sortNum, sortDir != 0);
    }();
    settings->endGroup();
}
