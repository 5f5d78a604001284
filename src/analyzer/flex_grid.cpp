#include "analyzer/flex_grid.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <algorithm>

#include "analyzer/analyzer_layout.h"

namespace orlix::analyzer {

namespace {

QStringList splitItems(std::string_view part) {
    return QString::fromUtf8(part.data(), static_cast<qsizetype>(part.size())).split(QLatin1Char('|'));
}

}  // namespace

FlexGrid::FlexGrid(int rows, int cols, QWidget* parent) : QTableWidget(rows, cols, parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(px(kGridRowTwips));
    horizontalHeader()->setMinimumSectionSize(1);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);  // a long text is cut at the cell edge
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            auto* it = cell(r, c);
            it->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            if (isFixed(r, c)) it->setBackground(QColor(212, 208, 200));
        }
}

QTableWidgetItem* FlexGrid::cell(int row, int col) {
    auto* it = item(row, col);
    if (!it) {
        it = new QTableWidgetItem;
        it->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setItem(row, col, it);
    }
    return it;
}

QString FlexGrid::textMatrix(int row, int col) const {
    const auto* it = item(row, col);
    return it ? it->text() : QString();
}

void FlexGrid::setTextMatrix(int row, int col, const QString& text) {
    if (row < 0 || col < 0 || row >= rowCount() || col >= columnCount()) return;
    cell(row, col)->setText(text);
}

void FlexGrid::applyFormatString(std::string_view format) {
    const auto semi = format.find(';');
    const std::string_view colPart = format.substr(0, semi);
    if (!colPart.empty()) {
        const QStringList heads = splitItems(colPart);
        for (int c = 0; c < heads.size(); ++c) {
            QString h = heads[c];
            if (!h.isEmpty() && (h[0] == QLatin1Char('<') || h[0] == QLatin1Char('^') || h[0] == QLatin1Char('>')))
                h.remove(0, 1);
            setTextMatrix(0, c, h);
        }
    }
    if (semi != std::string_view::npos) {
        const QStringList rows = splitItems(format.substr(semi + 1));
        for (int r = 0; r < rows.size(); ++r) setTextMatrix(r, 0, rows[r]);
    }
}

void FlexGrid::mousePressEvent(QMouseEvent* e) {
    QTableWidget::mousePressEvent(e);
    const int r = currentRow(), c = currentColumn();
    if (r < 0 || c < 0 || (r > 0 && c > 0)) return;
    setCurrentCell(std::min(std::max(r, 1), rowCount() - 1), std::min(std::max(c, 1), columnCount() - 1));
}

void FlexGrid::setColWidthTwips(int col, int twips) { setColumnWidth(col, px(twips)); }

void FlexGrid::setCellEmphasis(int row, int col, bool bold, const Rgb* color) {
    if (row < 0 || col < 0 || row >= rowCount() || col >= columnCount()) return;
    auto* it = cell(row, col);
    QFont f = it->font();
    f.setBold(bold);
    it->setFont(f);
    if (color) it->setForeground(QColor(color->r, color->g, color->b));
}

bool FlexGrid::cellBold(int row, int col) const {
    const auto* it = item(row, col);
    return it && it->font().bold();
}

}  // namespace orlix::analyzer
